#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/data_access.h"
#include "server/field_def.h"
#include "server/table_name.h"

namespace velmora::server {

// One column of the table reader, answering for the reader's current row.
class Field {
 public:
  const TFieldDef& def() const { return def_; }
  // The field object's own type: the definition's, except ftFixedChar, which reports ftString.
  TFieldType dataType() const;
  // A fixed-length text column (ftFixedChar, or faFixed set).
  bool fixedLength() const;
  // True exactly when the current row's value is Null or empty; converts nothing.
  bool isNull() const;
  // The current row's value as the data access layer supplied it.
  const Value& value() const;
  // SQL Server's name of the column's type as the layer reports it ("nvarchar", "date").
  const std::string& serverTypeName() const { return serverTypeName_; }

 private:
  friend class TableReader;
  Field(TFieldDef def, std::string serverTypeName, const Recordset* const* rows, std::size_t column)
      : def_(std::move(def)),
        serverTypeName_(std::move(serverTypeName)),
        rows_(rows),
        column_(column) {}

  TFieldDef def_;
  std::string serverTypeName_;
  const Recordset* const* rows_;  // the reader's current recordset
  std::size_t column_;            // the column's position in the recordset
};

// The table reader: one whole table read by name over a database connection.
class TableReader {
 public:
  // The reader's name, which its field lookup errors begin with.
  static constexpr std::string_view kName = "AdoTblGetSql";

  // `catalogue`, when given, is the table list the entry texts come from; without it every
  // name is a dbo table's.
  explicit TableReader(Connection& connection, const TableCatalogue* catalogue = nullptr);
  ~TableReader();

  // Closing a closed reader does nothing.
  void close();
  // The table list entry's text, untrimmed, and how many entries before it have that text
  // too (entries of two tables can read alike: the dbo table "a.b" and table b of schema a).
  void setTableName(std::u16string name, std::size_t earlierAlike = 0);
  const std::u16string& tableName() const { return tableName_; }
  // The T-SQL search condition the rows read must meet, from the next open on; empty for
  // every row.
  void setRowCondition(std::u16string condition) { rowCondition_ = std::move(condition); }
  // The open table's schema and name, and how statements name it: "[Order Details]",
  // "Sales.Customer".
  const TableName& table() const { return table_; }
  const std::u16string& nameAsSent() const { return nameAsSent_; }
  // Opens the named table: all columns, the rows that meet the condition. Throws DataAccessError,
  // InvalidFieldSize.
  void open();
  bool isOpen() const;

  // Replaces `names` with the reader's column names, in column order.
  void getFieldNames(std::vector<std::u16string>& names) const;
  void first();
  bool eof() const;
  // Throws DataAccessError when the server or the connection fails.
  void next();
  // Case-insensitive lookup. Throws std::runtime_error
  // "AdoTblGetSql: Field '<name>' not found" (UTF-8).
  const Field& fieldByName(std::u16string_view name) const;
  // Whether one of the reader's columns is an identity column.
  bool hasIdentityColumn() const;

  // The statement that lists the computed columns of the table sent as `nameAsSent`.
  static std::u16string computedColumnsStatement(std::u16string_view nameAsSent);

 private:
  void requireOpen() const;
  std::vector<std::u16string> readComputedColumns(std::u16string_view nameAsSent);
  void makeFields(const std::vector<std::u16string>& computedColumns);

  Connection& connection_;
  const TableCatalogue* catalogue_;
  std::u16string tableName_;
  std::size_t earlierAlike_ = 0;
  TableName table_;
  std::u16string nameAsSent_;
  std::u16string rowCondition_;
  std::unique_ptr<Recordset> rows_;
  const Recordset* current_ = nullptr;
  std::vector<Field> fields_;
  bool hasIdentity_ = false;
  // Where the next lookup starts: callers mostly ask for the columns in order.
  mutable std::size_t lookupHint_ = 0;
};

}  // namespace velmora::server
