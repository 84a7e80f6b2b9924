#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "server/connection_target.h"
#include "server/value.h"

// The data access layer: connections, statements and tables read by name, with columns
// described as the OLE DB provider for SQL Server described them. Knows nothing of ODBC.
namespace velmora::server {

// ADO type codes (DataTypeEnum). A column may carry any other code too.
namespace ado {
inline constexpr int adEmpty = 0;
inline constexpr int adSmallInt = 2;
inline constexpr int adInteger = 3;
inline constexpr int adSingle = 4;
inline constexpr int adDouble = 5;
inline constexpr int adCurrency = 6;
inline constexpr int adDate = 7;
inline constexpr int adBSTR = 8;
inline constexpr int adIDispatch = 9;
inline constexpr int adError = 10;
inline constexpr int adBoolean = 11;
inline constexpr int adVariant = 12;
inline constexpr int adIUnknown = 13;
inline constexpr int adDecimal = 14;
inline constexpr int adTinyInt = 16;
inline constexpr int adUnsignedTinyInt = 17;
inline constexpr int adUnsignedSmallInt = 18;
inline constexpr int adUnsignedInt = 19;
inline constexpr int adBigInt = 20;
inline constexpr int adUnsignedBigInt = 21;
inline constexpr int adFileTime = 64;
inline constexpr int adGUID = 72;
inline constexpr int adBinary = 128;
inline constexpr int adChar = 129;
inline constexpr int adWChar = 130;
inline constexpr int adNumeric = 131;
inline constexpr int adUserDefined = 132;
inline constexpr int adDBDate = 133;
inline constexpr int adDBTime = 134;
inline constexpr int adDBTimeStamp = 135;
inline constexpr int adChapter = 136;
inline constexpr int adDBFileTime = 137;
inline constexpr int adPropVariant = 138;
inline constexpr int adVarNumeric = 139;
inline constexpr int adVarChar = 200;
inline constexpr int adLongVarChar = 201;
inline constexpr int adVarWChar = 202;
inline constexpr int adLongVarWChar = 203;
inline constexpr int adVarBinary = 204;
inline constexpr int adLongVarBinary = 205;

// Field attribute bits (FieldAttributeEnum).
inline constexpr std::uint32_t adFldUpdatable = 0x4;
inline constexpr std::uint32_t adFldUnknownUpdatable = 0x8;
inline constexpr std::uint32_t adFldFixed = 0x10;
inline constexpr std::uint32_t adFldIsNullable = 0x20;
inline constexpr std::uint32_t adFldMayBeNull = 0x40;
inline constexpr std::uint32_t adFldLong = 0x80;
inline constexpr std::uint32_t adFldRowID = 0x100;
inline constexpr std::uint32_t adFldRowVersion = 0x200;
}  // namespace ado

// One column of a result, as the provider describes it.
struct ColumnDescription {
  std::u16string name;
  int type = ado::adEmpty;  // ADO type code
  std::int32_t definedSize = 0;
  std::uint8_t precision = 0;
  std::uint8_t numericScale = 0;
  std::uint32_t attributes = 0;  // ado::adFld* bits
  // The "ISAUTOINCREMENT" property, where the provider offers it.
  std::optional<bool> isAutoIncrement;
  // SQL Server's own name of the column's type as the driver reports it ("int", "money",
  // "timestamp", ...); tells timestamp/rowversion columns apart from binary(8).
  std::string serverTypeName;
};

// A failed data access call. what() is the provider's (driver's) text, UTF-8.
class DataAccessError : public std::runtime_error {
 public:
  explicit DataAccessError(const std::string& message, std::string sqlState = {},
                           long nativeCode = 0)
      : std::runtime_error(message), sqlState_(std::move(sqlState)), nativeCode_(nativeCode) {}

  const std::string& sqlState() const { return sqlState_; }
  long nativeCode() const { return nativeCode_; }

 private:
  std::string sqlState_;
  long nativeCode_;
};

// A connect refused for a reason the user needs to see: a certificate not trusted, a server
// that does not encrypt, a named instance that no Browser knows. what() is that reason.
class ConnectionRefused : public DataAccessError {
 public:
  using DataAccessError::DataAccessError;
};

// The rows of an executed statement or of a table read by name: forward only, read only.
// Opened positioned on its first row (or at the end when there is none).
class Recordset {
 public:
  virtual ~Recordset() = default;

  virtual const std::vector<ColumnDescription>& columns() const = 0;
  // Positions on the first row; allowed only before the first moveNext (forward-only).
  virtual void moveFirst() = 0;
  virtual bool eof() const = 0;
  // Throws DataAccessError when the server or the connection fails.
  virtual void moveNext() = 0;
  // The current row's value of column `column` (0-based); valid until the next move.
  // Precondition: !eof().
  virtual const Value& value(std::size_t column) const = 0;
};

class Connection {
 public:
  virtual ~Connection() = default;

  // Opens on `target`. Throws DataAccessError (ConnectionRefused for a reason the user must
  // see); leaves the connection closed on failure. Login time-out 15 s.
  virtual void open(const ConnectionTarget& target) = 0;
  // Closing a closed connection does nothing.
  virtual void close() = 0;
  virtual bool isOpen() const = 0;

  // Runs one statement as text (the provider sends it followed by CR LF) and returns its
  // rows. Query time-out 30 s. Throws DataAccessError.
  virtual std::unique_ptr<Recordset> query(const std::u16string& statement) = 0;
  // Reads a table by name: all columns, and the rows that meet `rowCondition` (a T-SQL
  // search condition, passed on as it stands; empty for all rows). `nameAsSent` goes to the
  // server as it stands (the caller brackets it). Throws DataAccessError.
  virtual std::unique_ptr<Recordset> openTable(const std::u16string& nameAsSent,
                                               std::u16string_view rowCondition = {}) = 0;
};

// Makes connection objects: ODBC ones in the product, in-memory ones in unit tests.
class ConnectionFactory {
 public:
  virtual ~ConnectionFactory() = default;
  virtual std::unique_ptr<Connection> createConnection() = 0;
};

}  // namespace velmora::server
