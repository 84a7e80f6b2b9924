#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "server/data_access.h"
#include "server/table_name.h"

namespace velmora::server {

// Raised when a column declares a size no value fits (a character column of negative size,
// a binary column of none); what() is "Invalid field size".
class InvalidFieldSize : public std::runtime_error {
 public:
  InvalidFieldSize() : std::runtime_error("Invalid field size") {}
};

// A column looked up by a name the open table does not have. what() is
// "AdoTblGetSql: Field '<name>' not found" (UTF-8).
class FieldNotFound : public std::runtime_error {
 public:
  explicit FieldNotFound(std::u16string name);
  const std::u16string& name() const { return name_; }

 private:
  std::u16string name_;
};

// One column of the table reader, answering for the reader's current row.
class Field {
 public:
  // The column's name, unique within the reader.
  const std::u16string& name() const { return name_; }
  const ColumnDescription& column() const { return column_; }
  ColumnKind kind() const { return column_.kind; }
  // True exactly when the current row's value is Null or empty; converts nothing.
  bool isNull() const;
  // The current row's value as the data access layer supplied it.
  const Value& value() const;

 private:
  friend class TableReader;
  Field(std::u16string name, ColumnDescription column, const Recordset* const* rows,
        std::size_t position)
      : name_(std::move(name)), column_(std::move(column)), rows_(rows), position_(position) {}

  std::u16string name_;
  ColumnDescription column_;
  const Recordset* const* rows_;  // the reader's current recordset
  std::size_t position_;          // the column's position in the recordset
};

// The table reader: one whole table read by name over a database connection.
class TableReader {
 public:
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
  // Case-insensitive lookup. Throws FieldNotFound.
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
