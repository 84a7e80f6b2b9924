#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/connection_target.h"
#include "server/value.h"
#include "text/utf.h"

// The data access layer: connections, statements and tables read by name, each column
// described with its kind. Knows nothing of ODBC.
namespace velmora::server {

// What a column holds, decided once where the column is described: the fetch reads its
// values by it and the script writes them by it.
enum class ColumnKind {
  flag,            // bit: bool
  tinyInteger,     // tinyint: std::uint8_t
  smallInteger,    // smallint: std::int16_t
  integer,         // int, and decimal or numeric of scale 0 below 10 digits: std::int32_t
  bigInteger,      // bigint: std::int64_t
  real,            // real: float
  doubleReal,      // float: double
  decimal,         // decimal, numeric: Decimal
  money,           // money, smallmoney: Decimal of ten-thousandths
  dateTime,        // datetime, smalldatetime: DateTime
  date,            // date: text YYYY-MM-DD
  time,            // time: text hh:mm:ss[.f]
  dateTime2,       // datetime2: text YYYY-MM-DD hh:mm:ss[.f]
  dateTimeOffset,  // datetimeoffset: text YYYY-MM-DD hh:mm:ss[.f] +hh:mm
  guid,            // uniqueidentifier: text {XXXXXXXX-...}
  text,            // char, varchar, text, varchar(max): UTF-16 text
  nationalText,    // nchar, nvarchar, sysname, ntext, nvarchar(max), xml: UTF-16 text
  bytes,           // binary, varbinary, image, varbinary(max), CLR types: Bytes
  variant,         // sql_variant: each value of its own base type's kind
  unknown,         // a type the layer cannot read: no values, and the script leaves it out
};

// One column of a result, as the data access layer describes it.
struct ColumnDescription {
  std::u16string name;
  ColumnKind kind = ColumnKind::unknown;
  // Characters or bytes the column declares; the long columns give the most they can hold.
  std::int32_t definedSize = 0;
  // Read piecewise: text, ntext, image, xml, the (max) types, sql_variant.
  bool isLong = false;
  // An identity column, whose values the server numbers.
  bool isAutoIncrement = false;
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

// A value the driver gave that cannot be read as its column's kind: which column, and why.
// what() is "Cannot read the value of column '<column>': <why>" (UTF-8).
class ColumnUnreadable : public DataAccessError {
 public:
  ColumnUnreadable(std::u16string column, std::string why)
      : DataAccessError("Cannot read the value of column '" + text::utf8FromUtf16(column) +
                        "': " + why),
        column_(std::move(column)),
        why_(std::move(why)) {}
  const std::u16string& column() const { return column_; }
  const std::string& why() const { return why_; }

 private:
  std::u16string column_;
  std::string why_;
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
