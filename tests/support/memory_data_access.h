#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/data_access.h"

// An in-memory stand-in for the data access layer, for unit tests: databases holding tables
// with described columns and rows, answers for statement texts, a log of everything sent and
// injected faults.
namespace velmora::test {

using Row = std::vector<server::Value>;

// The rows of a statement's answer or of a table.
struct MemoryResult {
  std::vector<server::ColumnDescription> columns;
  std::vector<Row> rows;
  // When set, only this many rows can be read; fetching the next one fails with
  // `failureMessage`.
  std::optional<std::size_t> failAfterRows;
  std::string failureMessage = "Communication link failure";
};

struct MemoryTable {
  std::u16string name;
  std::u16string schema = u"dbo";
  std::vector<server::ColumnDescription> columns;
  std::vector<Row> rows;
  // Names the computed-column statement answers for this table.
  std::vector<std::u16string> computedColumns;
  // When set, only this many rows can be read; fetching the next one fails with
  // `failureMessage` (0: opening the table fails).
  std::optional<std::size_t> failAfterRows;
  std::string failureMessage = "Communication link failure";
};

struct MemoryDatabase {
  std::u16string name;
  int id = 7;  // the catalogue lists databases whose id is above 6
  std::vector<MemoryTable> tables;
};

enum class LogKind { open, close, query, table };

struct LogEntry {
  LogKind kind;
  std::u16string catalog;  // the connection's "Initial Catalog"
  std::u16string text;     // connection string, statement or table name as sent
};

// The server: its databases, answers and faults. Databases and tables are matched ignoring
// case (sameNameIgnoringCase), as under a case-insensitive collation; "Master" always exists.
class MemoryServer {
 public:
  MemoryDatabase& addDatabase(std::u16string name, int id = 7);
  // Adds a table to the named database (made when missing) and returns it for filling.
  MemoryTable& addTable(std::u16string_view database, std::u16string name,
                        std::vector<server::ColumnDescription> columns, std::vector<Row> rows = {});
  MemoryDatabase* findDatabase(std::u16string_view name);
  std::vector<const MemoryDatabase*> databases() const;
  MemoryTable* findTable(std::u16string_view database, std::u16string_view schema,
                         std::u16string_view name);

  // A fixed answer for a statement text (exact match) on any catalog; it takes precedence over
  // the built-in answers of the catalogue and computed-column statements.
  void setAnswer(std::u16string statement, MemoryResult answer);
  // A statement that fails with `message` when sent.
  void setFailingStatement(std::u16string statement, std::string message);

  // Every open fails with `message` until cleared with std::nullopt.
  void setOpenFailure(std::optional<std::string> message) { openFailure_ = std::move(message); }
  // When set, an open whose "Password" differs fails with SQL Server's login error.
  void setPassword(std::optional<std::u16string> password) { password_ = std::move(password); }
  // When set, closing a connection fails with `message` (the connection still closes).
  void setCloseFailure(std::optional<std::string> message) { closeFailure_ = std::move(message); }

  const std::vector<LogEntry>& log() const { return log_; }
  // The statements and table names sent, in order.
  std::vector<std::u16string> sent() const;
  void clearLog() { log_.clear(); }

  // Used by the connections.
  void record(LogKind kind, std::u16string catalog, std::u16string text);
  const std::optional<std::string>& openFailure() const { return openFailure_; }
  const std::optional<std::u16string>& password() const { return password_; }
  const std::optional<std::string>& closeFailure() const { return closeFailure_; }
  const MemoryResult* answerFor(const std::u16string& statement) const;
  const std::string* failureFor(const std::u16string& statement) const;

 private:
  std::vector<std::unique_ptr<MemoryDatabase>> databases_;
  std::map<std::u16string, MemoryResult> answers_;
  std::map<std::u16string, std::string> failingStatements_;
  std::optional<std::string> openFailure_;
  std::optional<std::u16string> password_;
  std::optional<std::string> closeFailure_;
  std::vector<LogEntry> log_;
};

// Makes connections to `server`, which must outlive them.
class MemoryConnectionFactory : public server::ConnectionFactory {
 public:
  explicit MemoryConnectionFactory(MemoryServer& server) : server_(server) {}
  std::unique_ptr<server::Connection> createConnection() override;

 private:
  MemoryServer& server_;
};

struct ColumnOptions {
  bool identity = false;
};

// A column described as the ODBC layer describes a SQL Server column of `sqlType`, written in
// SQL Server's own spelling: "int", "decimal(10,2)", "nvarchar(max)", "datetime2(3)",
// "timestamp" ... Throws std::invalid_argument for a type it does not know.
server::ColumnDescription column(std::u16string name, std::string_view sqlType,
                                 ColumnOptions options = {});

}  // namespace velmora::test
