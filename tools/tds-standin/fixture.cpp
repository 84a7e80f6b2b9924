#include "fixture.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "cell_parse.h"
#include "statement.h"
#include "text_codec.h"

namespace standin {
namespace {

using nlohmann::json;

constexpr const char* kDefaultCollation = "SQL_Latin1_General_CP1_CI_AS";

// Collation flag bits above the 20-bit locale id.
constexpr uint32_t kIgnoreCase = 0x1, kIgnoreAccent = 0x2, kIgnoreWidth = 0x4, kIgnoreKana = 0x8,
                   kBinary = 0x10, kBinary2 = 0x20;

bool startsWith(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && equalsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

bool endsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && equalsIgnoreCase(s.substr(s.size() - suffix.size()), suffix);
}

// Rejects keys the fixture format does not know, so a misspelt fault option is not silently
// ignored.
void checkKeys(const json& object, std::initializer_list<const char*> allowed,
               const std::string& where) {
  if (!object.is_object()) {
    throw std::invalid_argument(where + " must be a JSON object");
  }
  for (const auto& [key, value] : object.items()) {
    if (std::none_of(allowed.begin(), allowed.end(), [&](const char* k) { return key == k; })) {
      throw std::invalid_argument(where + " has an unknown key \"" + key + "\"");
    }
  }
}

template <typename T>
T get(const json& object, const char* key, const std::string& where) {
  if (!object.contains(key)) {
    throw std::invalid_argument(where + " lacks \"" + key + "\"");
  }
  try {
    return object.at(key).get<T>();
  } catch (const json::exception&) {
    throw std::invalid_argument(where + ": \"" + key + "\" has the wrong kind of value");
  }
}

template <typename T>
T getOr(const json& object, const char* key, T fallback, const std::string& where) {
  return object.contains(key) ? get<T>(object, key, where) : fallback;
}

Column loadColumn(const json& j, const std::string& where) {
  checkKeys(j, {"name", "type", "nullable", "identity", "computed"}, where);
  Column c;
  c.name = get<std::string>(j, "name", where);
  std::string type = get<std::string>(j, "type", where);
  try {
    c.type = SqlType::parse(type);
  } catch (const std::invalid_argument& e) {
    throw std::invalid_argument(where + ": " + e.what());
  }
  c.identity = getOr<bool>(j, "identity", false, where);
  c.computed = getOr<bool>(j, "computed", false, where);
  // Identity and timestamp columns are NOT NULL unless the fixture says otherwise.
  bool notNullByNature = c.identity || c.type.base == BaseType::Timestamp;
  c.nullable = getOr<bool>(j, "nullable", !notNullByNature, where);
  if (c.identity && c.type.base != BaseType::TinyInt && c.type.base != BaseType::SmallInt &&
      c.type.base != BaseType::Int && c.type.base != BaseType::BigInt &&
      !((c.type.base == BaseType::Decimal || c.type.base == BaseType::Numeric) &&
        c.type.scale == 0)) {
    throw std::invalid_argument(where + ": an identity column must have an integer type");
  }
  return c;
}

// Reads "foreignKeys": [{"references": "sales.T"}, ...]; the name is written as a statement
// writes it, without a schema for dbo. loadDatabase checks that each referenced table exists.
std::vector<ForeignKey> loadForeignKeys(const json& table, const std::string& where) {
  std::vector<ForeignKey> keys;
  if (!table.contains("foreignKeys"))
    return keys;
  const json& list = table["foreignKeys"];
  if (!list.is_array()) {
    throw std::invalid_argument(where + ": \"foreignKeys\" must be an array");
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    std::string here = where + " foreign key " + std::to_string(i + 1);
    checkKeys(list[i], {"references"}, here);
    std::string text = get<std::string>(list[i], "references", here);
    auto name = parseObjectName(text);
    if (!name || !(*name)[0].empty()) {
      throw std::invalid_argument(here + ": \"" + text +
                                  "\" is not a table name of the form schema.name");
    }
    keys.push_back({(*name)[1].empty() ? "dbo" : (*name)[1], (*name)[2]});
  }
  return keys;
}

// Reads the "rows" array of a table (or of its concurrent write), checking every value against
// its column.
std::vector<std::vector<Cell>> loadRows(const json& rows, const std::vector<Column>& columns,
                                        const std::string& here, CodePageEncoder& ansi) {
  if (!rows.is_array()) {
    throw std::invalid_argument(here + ": \"rows\" must be an array");
  }
  std::vector<std::vector<Cell>> out;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    std::string rowWhere = here + " row " + std::to_string(r + 1);
    if (!rows[r].is_array() || rows[r].size() != columns.size()) {
      throw std::invalid_argument(rowWhere + " has " +
                                  std::to_string(rows[r].is_array() ? rows[r].size() : 0) +
                                  " values for " + std::to_string(columns.size()) + " columns");
    }
    std::vector<Cell> cells;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      const Column& col = columns[c];
      try {
        cells.push_back(parseCell(rows[r][c], col.type, ansi));
      } catch (const std::invalid_argument& e) {
        throw std::invalid_argument(rowWhere + " column " + col.name + ": " + e.what());
      }
      if (cells.back().isNull() && !col.nullable) {
        throw std::invalid_argument(rowWhere + " column " + col.name +
                                    ": NULL in a NOT NULL column");
      }
    }
    out.push_back(std::move(cells));
  }
  return out;
}

Table loadTable(const json& j, const std::string& where, CodePageEncoder& ansi) {
  checkKeys(j,
            {"name", "schema", "columns", "foreignKeys", "rows", "generate", "close_after_rows",
             "concurrent_write"},
            where);
  Table t;
  t.name = get<std::string>(j, "name", where);
  t.schema = getOr<std::string>(j, "schema", "dbo", where);
  std::string here = where + " (" + t.name + ")";
  t.foreignKeys = loadForeignKeys(j, here);
  const json& columns = j.contains("columns") ? j["columns"] : json();
  if (!columns.is_array() || columns.empty()) {
    throw std::invalid_argument(here + " needs a non-empty \"columns\" array");
  }
  std::set<std::string> seen;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    t.columns.push_back(loadColumn(columns[i], here + " column " + std::to_string(i + 1)));
    std::string key = t.columns.back().name;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!seen.insert(key).second) {
      throw std::invalid_argument(here + " has two columns named " + t.columns.back().name);
    }
  }
  if (j.contains("close_after_rows")) {
    t.closeAfterRows = get<uint64_t>(j, "close_after_rows", here);
  }
  if (j.contains("generate")) {
    for (const char* fixed : {"rows", "concurrent_write"}) {
      if (j.contains(fixed)) {
        throw std::invalid_argument(here + " has both \"" + fixed + "\" and \"generate\"");
      }
    }
    const json& g = j["generate"];
    checkKeys(g, {"rows", "seed"}, here + " generate");
    t.generate = Generate{get<uint64_t>(g, "rows", here + " generate"),
                          getOr<uint64_t>(g, "seed", 0, here + " generate")};
    return t;
  }
  t.rows = loadRows(j.contains("rows") ? j["rows"] : json::array(), t.columns, here, ansi);
  if (j.contains("concurrent_write")) {
    const json& w = j["concurrent_write"];
    std::string wWhere = here + " concurrent_write";
    checkKeys(w, {"after_reads", "rows", "alters_table"}, wWhere);
    t.concurrentWrite =
        ConcurrentWrite{get<uint64_t>(w, "after_reads", wWhere),
                        loadRows(w.contains("rows") ? w["rows"] : json(), t.columns, wWhere, ansi),
                        getOr<bool>(w, "alters_table", false, wWhere)};
  }
  return t;
}

Database loadDatabase(const json& j, const std::string& where) {
  checkKeys(j, {"name", "id", "collation", "tables", "allow_snapshot_isolation"}, where);
  Database db;
  db.name = get<std::string>(j, "name", where);
  std::string here = where + " (" + db.name + ")";
  db.id = get<int>(j, "id", here);
  db.allowSnapshotIsolation = getOr<bool>(j, "allow_snapshot_isolation", false, here);
  try {
    db.collation = parseCollation(getOr<std::string>(j, "collation", kDefaultCollation, here));
  } catch (const std::invalid_argument& e) {
    throw std::invalid_argument(here + ": " + e.what());
  }
  CodePageEncoder ansi(db.collation.codePage);
  const json& tables = j.contains("tables") ? j["tables"] : json::array();
  if (!tables.is_array()) {
    throw std::invalid_argument(here + ": \"tables\" must be an array");
  }
  for (std::size_t i = 0; i < tables.size(); ++i) {
    db.tables.push_back(loadTable(tables[i], here + " table " + std::to_string(i + 1), ansi));
    // findTable returns the first match: an earlier table of the same name shows here.
    if (findTable(db, db.tables.back().schema, db.tables.back().name) != &db.tables.back()) {
      throw std::invalid_argument(here + " has two tables named " + db.tables.back().name);
    }
  }
  for (auto& table : db.tables) {
    for (auto& key : table.foreignKeys) {
      const Table* referenced = findTable(db, key.schema, key.name);
      if (referenced == nullptr) {
        throw std::invalid_argument(here + " table " + table.schema + "." + table.name +
                                    ": a foreign key references the unknown table " + key.schema +
                                    "." + key.name);
      }
      key = {referenced->schema, referenced->name};
    }
  }
  return db;
}

}  // namespace

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

Collation parseCollation(const std::string& name) {
  Collation c;
  c.name = name;
  uint32_t lcid = 0;
  uint32_t version = 0;
  uint8_t sortId = 0;
  bool sqlCollation = false;
  if (startsWith(name, "Chinese_PRC_")) {
    lcid = 0x0804;
    c.codePage = "GBK";
    version = startsWith(name, "Chinese_PRC_90_")    ? 1
              : startsWith(name, "Chinese_PRC_100_") ? 2
                                                     : 0;
  } else if (startsWith(name, "SQL_Latin1_General_CP1_")) {
    lcid = 0x0409;
    c.codePage = "CP1252";
    sqlCollation = true;
    sortId = endsWith(name, "_CS_AS") ? 51 : endsWith(name, "_CI_AI") ? 54 : 52;
  } else if (startsWith(name, "Latin1_General_")) {
    lcid = 0x0409;
    c.codePage = "CP1252";
    version = startsWith(name, "Latin1_General_100_") ? 2 : 0;
  } else {
    throw std::invalid_argument("unsupported collation \"" + name +
                                "\" (use SQL_Latin1_General_CP1_*, Latin1_General_* or "
                                "Chinese_PRC_*)");
  }
  uint32_t flags = 0;
  if (endsWith(name, "_BIN")) {
    flags = kBinary;
  } else if (endsWith(name, "_BIN2")) {
    flags = kBinary2;
  } else {
    if (name.find("_CI") != std::string::npos)
      flags |= kIgnoreCase;
    if (name.find("_AI") != std::string::npos)
      flags |= kIgnoreAccent;
    if (sqlCollation || name.find("_WS") == std::string::npos)
      flags |= kIgnoreWidth;
    if (sqlCollation || name.find("_KS") == std::string::npos)
      flags |= kIgnoreKana;
  }
  uint32_t info = lcid | (flags << 20) | (version << 28);
  for (int i = 0; i < 4; ++i) {
    c.bytes[i] = static_cast<uint8_t>(info >> (8 * i));
  }
  c.bytes[4] = sortId;
  return c;
}

const Database* Fixture::findDatabase(const std::string& name) const {
  for (const auto& db : databases) {
    if (equalsIgnoreCase(db.name, name)) {
      return &db;
    }
  }
  return nullptr;
}

const Table* findTable(const Database& db, const std::string& schema, const std::string& name) {
  for (const auto& t : db.tables) {
    if (equalsIgnoreCase(t.name, name) && equalsIgnoreCase(t.schema, schema)) {
      return &t;
    }
  }
  return nullptr;
}

Fixture Fixture::load(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    throw std::runtime_error("cannot read fixture " + path);
  }
  json j;
  try {
    j = json::parse(in);
  } catch (const json::parse_error& e) {
    throw std::runtime_error("fixture " + path + " is not valid JSON: " + e.what());
  }
  try {
    checkKeys(j, {"login", "databases"}, "the fixture");
    Fixture f;
    const json& login = j.contains("login") ? j["login"] : json();
    checkKeys(login, {"user", "password", "delay_ms", "never_answer"}, "\"login\"");
    f.login.user = get<std::string>(login, "user", "\"login\"");
    f.login.password = get<std::string>(login, "password", "\"login\"");
    f.login.delayMs = getOr<int>(login, "delay_ms", 0, "\"login\"");
    f.login.neverAnswer = getOr<bool>(login, "never_answer", false, "\"login\"");
    const json& dbs = j.contains("databases") ? j["databases"] : json();
    if (!dbs.is_array()) {
      throw std::invalid_argument("the fixture needs a \"databases\" array");
    }
    for (std::size_t i = 0; i < dbs.size(); ++i) {
      Database db = loadDatabase(dbs[i], "database " + std::to_string(i + 1));
      for (const auto& other : f.databases) {
        if (equalsIgnoreCase(other.name, db.name) || other.id == db.id) {
          throw std::invalid_argument("database " + db.name + " repeats the name or id of " +
                                      other.name);
        }
      }
      f.databases.push_back(std::move(db));
    }
    // Every server has its system databases; the catalogue never lists them (ids <= 6).
    const std::pair<const char*, int> system[] = {
        {"master", 1}, {"tempdb", 2}, {"model", 3}, {"msdb", 4}};
    for (const auto& [name, id] : system) {
      if (f.findDatabase(name) == nullptr) {
        Database db;
        db.name = name;
        db.id = id;
        db.collation = parseCollation(kDefaultCollation);
        // As installed, master and msdb allow snapshot isolation; tempdb and model do not.
        db.allowSnapshotIsolation = id == 1 || id == 4;
        f.databases.push_back(std::move(db));
      }
    }
    return f;
  } catch (const std::invalid_argument& e) {
    throw std::runtime_error("fixture " + path + ": " + e.what());
  }
}

}  // namespace standin
