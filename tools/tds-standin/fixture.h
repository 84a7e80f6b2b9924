#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cell.h"
#include "sql_type.h"

namespace standin {

struct Collation {
  std::string name;
  std::array<uint8_t, 5> bytes{};  // as COLMETADATA and ENVCHANGE carry it
  std::string codePage;            // iconv name of the code page of char, varchar and text
};

// Parses SQL_Latin1_General_*, Latin1_General_* and Chinese_PRC_* collation names. Throws
// std::invalid_argument for any other name.
Collation parseCollation(const std::string& name);

struct Column {
  std::string name;
  SqlType type;
  bool nullable = true;
  bool identity = false;
  bool computed = false;
};

struct Generate {
  uint64_t rows = 0;
  uint64_t seed = 0;
};

// A foreign key: the table it references, in the same database, spelt as that table is.
struct ForeignKey {
  std::string schema;
  std::string name;
};

// Another session's write, played by the server: once it has served `afterReads` data reads
// (in all sessions together), the table holds `rows` instead.
struct ConcurrentWrite {
  uint64_t afterReads = 0;
  std::vector<std::vector<Cell>> rows;
  // The write came with an ALTER TABLE: a SNAPSHOT transaction that began before it cannot
  // read the table any more (error 3961).
  bool altersTable = false;
};

struct Table {
  std::string schema = "dbo";
  std::string name;
  std::vector<Column> columns;
  std::vector<ForeignKey> foreignKeys;
  std::vector<std::vector<Cell>> rows;
  std::optional<Generate> generate;
  // Fault for client tests: drop the connection once this many rows went out.
  std::optional<uint64_t> closeAfterRows;
  std::optional<ConcurrentWrite> concurrentWrite;

  uint64_t rowCount() const { return generate ? generate->rows : rows.size(); }
  // The rows a read sees that started after `readsServed` data reads.
  const std::vector<std::vector<Cell>>& rowsAsOf(uint64_t readsServed) const {
    return concurrentWrite && readsServed >= concurrentWrite->afterReads ? concurrentWrite->rows
                                                                         : rows;
  }
};

struct Database {
  std::string name;
  int id = 0;
  Collation collation;
  std::vector<Table> tables;
  bool allowSnapshotIsolation = false;  // ALLOW_SNAPSHOT_ISOLATION, off unless the fixture says
};

struct Login {
  std::string user;
  std::string password;
  int delayMs = 0;           // fault: wait this long before answering a login
  bool neverAnswer = false;  // fault: accept connections and never answer them
};

struct Fixture {
  Login login;
  std::vector<Database> databases;  // fixture order, then the system databases not listed

  // Case-insensitive lookup; nullptr when there is no such database.
  const Database* findDatabase(const std::string& name) const;

  // Reads and checks a fixture file. Throws std::runtime_error whose message names the file
  // and the place of the first fault (unknown type, row of the wrong width, bad value ...).
  static Fixture load(const std::string& path);
};

// Case-insensitive lookup of a table of db by schema and name; nullptr when absent.
const Table* findTable(const Database& db, const std::string& schema, const std::string& name);

bool equalsIgnoreCase(const std::string& a, const std::string& b);

}  // namespace standin
