#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace standin {

struct Condition;

enum class IsolationLevel {
  ReadUncommitted,
  ReadCommitted,
  RepeatableRead,
  Snapshot,
  Serializable
};

// The catalogue statements a client sends, compared exactly (blanks and line ends around
// them aside).
constexpr const char* kListDatabasesStatement = "Select Name from SysDataBases where DBid>6";
constexpr const char* kListUserTablesStatement =
    "select name from SysObjects where OBJECTPROPERTY(id, N'IsUserTable')= 1";
constexpr const char* kListSchemaTablesStatement =
    "select name, SCHEMA_NAME(uid) from SysObjects where OBJECTPROPERTY(id, N'IsUserTable')= 1";
constexpr const char* kListForeignKeysStatement =
    "select OBJECT_SCHEMA_NAME(parent_object_id), OBJECT_NAME(parent_object_id), "
    "OBJECT_SCHEMA_NAME(referenced_object_id), OBJECT_NAME(referenced_object_id) from "
    "sys.foreign_keys";
constexpr const char* kComputedColumnsPrefix =
    "select name from syscolumns where id = object_id(N'";
constexpr const char* kComputedColumnsSuffix = "') and iscomputed = 1";

// One statement of a batch, as far as the stand-in understands it.
struct Statement {
  enum class Kind {
    ListDatabases,
    ListUserTables,
    ListSchemaTables,  // name and schema of each table
    ListForeignKeys,   // schema and name of the referencing and the referenced table
    ComputedColumns,   // `object` names the table; an unparsable name finds no table
    SelectAll,         // select [top n] * from `object` [where ...], maybe with `variantTypesOf`
    SelectVersion,
    Use,  // `object` holds the database name
    SetTextSize,
    SetFmtOnly,
    SetNoCount,
    SetIsolation,  // SET TRANSACTION ISOLATION LEVEL `isolation`
    SetOther,
    BeginTransaction,
    CommitTransaction,
    RollbackTransaction,
    SyntaxError,  // `near` holds the text the error names
  };

  Kind kind = Kind::SyntaxError;
  // A multi-part object name without brackets or quotes: {db, schema, name} aligned right,
  // so a one-part name is {"", "", name}.
  std::vector<std::string> object;
  // select *, SQL_VARIANT_PROPERTY(c, 'BaseType'), ... from `object`: the columns c, whose
  // values' base types follow the table's columns.
  std::vector<std::string> variantTypesOf;
  std::optional<int64_t> top;              // select top n
  std::shared_ptr<const Condition> where;  // the WHERE clause, when given
  IsolationLevel isolation = IsolationLevel::ReadCommitted;
  int64_t number = 0;  // SET TEXTSIZE
  bool on = false;     // SET FMTONLY, SET NOCOUNT
  std::string near;

  // The name as a server quotes it in "Invalid object name": the parts given, joined by ".".
  std::string objectText() const;
};

// Reads an object name as a statement writes it (`T`, `sales.T`, `[a.b]`, `db..T`) into
// {db, schema, name}, aligned right like Statement::object; nullopt when the text is no name.
std::optional<std::vector<std::string>> parseObjectName(const std::string& text);

// Splits a batch into statements. Never throws: what it does not understand becomes a
// SyntaxError statement, after which the batch ends.
std::vector<Statement> parseBatch(const std::string& batch);

}  // namespace standin
