#include "memory_data_access.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <stdexcept>
#include <utility>

#include "server/connection_string.h"
#include "server/read_statements.h"
#include "text/ascii_case.h"
#include "text/name_case.h"
#include "text/utf.h"

namespace velmora::test {

namespace {

using server::ColumnDescription;
using server::ColumnKind;
using server::DataAccessError;
using text::utf8FromUtf16;

DataAccessError closedError() {
  return DataAccessError("Operation is not allowed when the object is closed.");
}

// A few reserved words a bare name may not be, enough to show a name sent without brackets.
bool isReservedWord(std::u16string_view word) {
  static constexpr std::array<std::u16string_view, 12> words{
      u"order", u"user", u"select", u"table", u"group", u"from",
      u"where", u"key",  u"index",  u"view",  u"check", u"primary"};
  return std::any_of(words.begin(), words.end(),
                     [&](std::u16string_view w) { return text::sameNameIgnoringCase(w, word); });
}

bool isBareChar(char16_t c, bool first) {
  if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c == u'#' || c >= 0x80)
    return true;
  return !first && ((c >= u'0' && c <= u'9') || c == u'@' || c == u'$');
}

DataAccessError syntaxError(std::u16string_view near) {
  return DataAccessError("Incorrect syntax near '" + text::utf8FromUtf16(near) + "'.", "42000",
                         102);
}

// Splits a name as the server reads it after "select * from": parts separated by '.', each
// bare, [bracketed] with ]] for ] or "quoted" with "" for ".
std::vector<std::u16string> parseMultipartName(std::u16string_view text) {
  std::vector<std::u16string> parts;
  std::size_t i = 0;
  while (true) {
    if (i >= text.size())
      throw syntaxError(text);
    std::u16string part;
    char16_t open = text[i];
    if (open == u'[' || open == u'"') {
      char16_t close = open == u'[' ? u']' : u'"';
      ++i;
      while (true) {
        if (i >= text.size())
          throw DataAccessError("Unclosed quotation mark after the character string '" +
                                    text::utf8FromUtf16(part) + "'.",
                                "42000", 105);
        if (text[i] == close) {
          if (i + 1 < text.size() && text[i + 1] == close) {
            part += close;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        part += text[i++];
      }
    } else {
      while (i < text.size() && isBareChar(text[i], part.empty()))
        part += text[i++];
      if (part.empty())
        throw syntaxError(text.substr(i));
      if (isReservedWord(part))
        throw DataAccessError(
            "Incorrect syntax near the keyword '" + text::utf8FromUtf16(part) + "'.", "42000", 156);
    }
    parts.push_back(std::move(part));
    if (i == text.size())
      break;
    if (text[i] != u'.')
      throw syntaxError(text.substr(i));
    ++i;
  }
  if (parts.size() > 3)
    throw syntaxError(text);
  return parts;
}

constexpr std::u16string_view kDatabasesStatement = u"Select Name from SysDataBases where DBid>6";
constexpr std::u16string_view kTablesStatement =
    u"select name, SCHEMA_NAME(uid) from SysObjects where OBJECTPROPERTY(id, N'IsUserTable')= 1";
constexpr std::u16string_view kComputedPrefix =
    u"select name from syscolumns where id = object_id(N'";
constexpr std::u16string_view kComputedSuffix = u"') and iscomputed = 1";

MemoryResult namesResult(const std::vector<std::u16string>& names) {
  MemoryResult result;
  result.columns.push_back(column(u"name", "sysname"));
  for (const auto& name : names)
    result.rows.push_back({name});
  return result;
}

// What a connection shares with the recordsets it made: whether it is open (a recordset of an
// earlier opening reads nothing more) and whether a result is still unread (the server takes
// one statement at a time).
struct ConnectionState {
  bool open = false;
  int generation = 0;
  bool resultPending = false;
};

class MemoryRecordset : public server::Recordset {
 public:
  MemoryRecordset(std::shared_ptr<ConnectionState> state, MemoryResult result,
                  std::optional<std::size_t> failAfterRows, std::string failureMessage)
      : state_(std::move(state)),
        generation_(state_->generation),
        result_(std::move(result)),
        failAfterRows_(failAfterRows),
        failureMessage_(std::move(failureMessage)) {
    fetch(0);
  }
  ~MemoryRecordset() override { release(); }

  const std::vector<ColumnDescription>& columns() const override { return result_.columns; }
  void moveFirst() override {
    if (moved_)
      throw DataAccessError("Rowset position cannot be restarted.", "HY109");
  }
  bool eof() const override { return position_ >= result_.rows.size(); }
  void moveNext() override {
    if (!state_->open || state_->generation != generation_)
      throw closedError();
    if (eof())
      throw DataAccessError("Either BOF or EOF is True, or the current record has been deleted.");
    moved_ = true;
    fetch(position_ + 1);
  }
  const server::Value& value(std::size_t column) const override {
    if (eof())
      throw DataAccessError("Either BOF or EOF is True, or the current record has been deleted.");
    return result_.rows[position_].at(column);
  }

 private:
  void fetch(std::size_t index) {
    if (failAfterRows_ && index >= *failAfterRows_) {
      release();
      throw DataAccessError(failureMessage_, "08S01");
    }
    position_ = index;
    if (eof())
      release();
  }
  void release() {
    if (pending_ && state_->generation == generation_)
      state_->resultPending = false;
    pending_ = false;
  }

  std::shared_ptr<ConnectionState> state_;
  int generation_;
  MemoryResult result_;
  std::optional<std::size_t> failAfterRows_;
  std::string failureMessage_;
  std::size_t position_ = 0;
  bool moved_ = false;
  bool pending_ = true;
};

class MemoryConnection : public server::Connection {
 public:
  explicit MemoryConnection(MemoryServer& server) : server_(server) {}
  ~MemoryConnection() override { state_->open = false; }

  void open(const server::ConnectionTarget& target) override {
    if (state_->open)
      throw DataAccessError("Operation is not allowed when the object is open.");
    std::u16string catalog = target.database;
    server_.record(LogKind::open, catalog, target.dataSource);
    if (server_.openFailure())
      throw DataAccessError(*server_.openFailure(), "08001");
    if (server_.password() && target.password != *server_.password())
      throw DataAccessError("Login failed for user '" + utf8FromUtf16(target.user) + "'.", "28000",
                            18456);
    if (!text::sameNameIgnoringCase(catalog, u"Master") && !server_.findDatabase(catalog))
      throw DataAccessError("Cannot open database \"" + utf8FromUtf16(catalog) +
                                "\" requested by the login. The login failed.",
                            "42000", 4060);
    catalog_ = std::move(catalog);
    state_->open = true;
    ++state_->generation;
    state_->resultPending = false;
  }

  void close() override {
    if (!state_->open)
      return;
    server_.record(LogKind::close, catalog_, {});
    state_->open = false;
    state_->resultPending = false;
    if (server_.closeFailure())
      throw DataAccessError(*server_.closeFailure());
  }

  bool isOpen() const override { return state_->open; }

  std::unique_ptr<server::Recordset> query(const std::u16string& statement) override {
    checkReady();
    server_.record(LogKind::query, catalog_, statement);
    if (const std::string* failure = server_.failureFor(statement))
      throw DataAccessError(*failure, "42000");
    MemoryResult result = answer(statement);
    const std::optional<std::size_t> failAfterRows = result.failAfterRows;
    std::string failureMessage = result.failureMessage;
    return start(std::move(result), failAfterRows, std::move(failureMessage));
  }

  // Every row, whatever the condition: only the read's text shows it.
  std::unique_ptr<server::Recordset> openTable(const std::u16string& nameAsSent,
                                               std::u16string_view rowCondition) override {
    checkReady();
    server_.record(LogKind::table, catalog_, nameAsSent + server::whereClause(rowCondition));
    const MemoryTable& table = resolve(nameAsSent);
    MemoryResult rows;
    rows.columns = table.columns;
    rows.rows = table.rows;
    return start(std::move(rows), table.failAfterRows, table.failureMessage);
  }

 private:
  void checkReady() const {
    if (!state_->open)
      throw closedError();
    if (state_->resultPending)
      throw DataAccessError("Connection is busy with results for another command", "HY000");
  }

  std::unique_ptr<server::Recordset> start(MemoryResult result,
                                           std::optional<std::size_t> failAfterRows,
                                           std::string failureMessage) {
    state_->resultPending = true;
    return std::make_unique<MemoryRecordset>(state_, std::move(result), failAfterRows,
                                             std::move(failureMessage));
  }

  const MemoryTable& resolve(std::u16string_view nameAsSent) {
    std::vector<std::u16string> parts = parseMultipartName(nameAsSent);
    // Both branches as views: a u"" branch would make the result a temporary string.
    const std::u16string_view schema =
        parts.size() >= 2 ? std::u16string_view(parts[parts.size() - 2]) : std::u16string_view();
    bool otherDatabase = parts.size() == 3 && !text::sameNameIgnoringCase(parts[0], catalog_);
    MemoryTable* table =
        otherDatabase ? nullptr : server_.findTable(catalog_, schema, parts.back());
    if (!table) {
      std::u16string shown;
      for (const auto& part : parts)
        shown += (shown.empty() ? u"" : u".") + part;
      throw DataAccessError("Invalid object name '" + text::utf8FromUtf16(shown) + "'.", "42S02",
                            208);
    }
    return *table;
  }

  MemoryResult answer(const std::u16string& statement) {
    if (const MemoryResult* fixed = server_.answerFor(statement))
      return *fixed;
    if (statement == kDatabasesStatement) {
      std::vector<std::u16string> names;
      for (const MemoryDatabase* database : server_.databases())
        if (database->id > 6)
          names.push_back(database->name);
      return namesResult(names);
    }
    if (statement == kTablesStatement) {
      MemoryResult result;
      result.columns = {column(u"name", "sysname"), column(u"", "sysname")};
      if (MemoryDatabase* database = server_.findDatabase(catalog_))
        for (const auto& table : database->tables)
          result.rows.push_back({table.name, table.schema});
      return result;
    }
    std::u16string_view text = statement;
    if (text.starts_with(kComputedPrefix) && text.ends_with(kComputedSuffix)) {
      text = text.substr(kComputedPrefix.size(),
                         text.size() - kComputedPrefix.size() - kComputedSuffix.size());
      std::u16string name;
      for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\'') {
          if (i + 1 >= text.size() || text[i + 1] != u'\'')
            throw syntaxError(text.substr(i));
          ++i;
        }
        name += text[i];
      }
      // object_id() gives NULL for a name it cannot read or find: no rows.
      try {
        return namesResult(resolve(name).computedColumns);
      } catch (const DataAccessError&) {
        return namesResult({});
      }
    }
    throw DataAccessError("The in-memory server has no answer for: " +
                          text::utf8FromUtf16(statement));
  }

  MemoryServer& server_;
  std::shared_ptr<ConnectionState> state_ = std::make_shared<ConnectionState>();
  std::u16string catalog_;
};

struct TypeInfo {
  std::string_view name;
  ColumnKind kind;
  std::int32_t size;  // declared characters or bytes, or what a long column holds
  bool isLong;
  std::string_view serverName;  // as the driver names it; empty: `name`
};

constexpr std::int32_t kLongSize = 2147483647, kLongWideSize = 1073741823;

// Types whose description takes no length, precision or scale from the spelling.
constexpr std::array<TypeInfo, 23> kPlainTypes{{
    {"bit", ColumnKind::flag, 0, false, ""},
    {"tinyint", ColumnKind::tinyInteger, 0, false, ""},
    {"smallint", ColumnKind::smallInteger, 0, false, ""},
    {"int", ColumnKind::integer, 0, false, ""},
    {"bigint", ColumnKind::bigInteger, 0, false, ""},
    {"real", ColumnKind::real, 0, false, ""},
    {"float", ColumnKind::doubleReal, 0, false, ""},
    {"smallmoney", ColumnKind::money, 0, false, "money"},
    {"money", ColumnKind::money, 0, false, ""},
    {"smalldatetime", ColumnKind::dateTime, 0, false, "datetime"},
    {"datetime", ColumnKind::dateTime, 0, false, ""},
    {"date", ColumnKind::date, 0, false, ""},
    {"text", ColumnKind::text, kLongSize, true, ""},
    {"ntext", ColumnKind::nationalText, kLongWideSize, true, ""},
    {"xml", ColumnKind::nationalText, kLongWideSize, true, ""},
    {"sysname", ColumnKind::nationalText, 128, false, "nvarchar"},
    {"image", ColumnKind::bytes, kLongSize, true, ""},
    {"hierarchyid", ColumnKind::bytes, kLongSize, true, ""},
    {"geometry", ColumnKind::bytes, kLongSize, true, ""},
    {"geography", ColumnKind::bytes, kLongSize, true, ""},
    {"timestamp", ColumnKind::bytes, 8, false, ""},
    {"rowversion", ColumnKind::bytes, 8, false, "timestamp"},
    {"uniqueidentifier", ColumnKind::guid, 0, false, ""},
}};

int parseNumber(std::string_view text, std::string_view sqlType) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size())
    throw std::invalid_argument("bad type argument in " + std::string(sqlType));
  return value;
}

}  // namespace

MemoryDatabase& MemoryServer::addDatabase(std::u16string name, int id) {
  databases_.push_back(std::make_unique<MemoryDatabase>(MemoryDatabase{std::move(name), id, {}}));
  return *databases_.back();
}

MemoryTable& MemoryServer::addTable(std::u16string_view database, std::u16string name,
                                    std::vector<ColumnDescription> columns, std::vector<Row> rows) {
  MemoryDatabase* owner = findDatabase(database);
  if (!owner)
    owner = &addDatabase(std::u16string(database));
  MemoryTable table;
  table.name = std::move(name);
  table.columns = std::move(columns);
  table.rows = std::move(rows);
  owner->tables.push_back(std::move(table));
  return owner->tables.back();
}

std::vector<const MemoryDatabase*> MemoryServer::databases() const {
  std::vector<const MemoryDatabase*> all;
  for (const auto& database : databases_)
    all.push_back(database.get());
  return all;
}

MemoryDatabase* MemoryServer::findDatabase(std::u16string_view name) {
  for (auto& database : databases_)
    if (text::sameNameIgnoringCase(database->name, name))
      return database.get();
  return nullptr;
}

MemoryTable* MemoryServer::findTable(std::u16string_view database, std::u16string_view schema,
                                     std::u16string_view name) {
  MemoryDatabase* owner = findDatabase(database);
  if (!owner)
    return nullptr;
  // A name without schema is looked up in the login's default schema, dbo.
  if (schema.empty())
    schema = u"dbo";
  for (auto& table : owner->tables)
    if (text::sameNameIgnoringCase(table.name, name) &&
        text::sameNameIgnoringCase(table.schema, schema))
      return &table;
  return nullptr;
}

void MemoryServer::setAnswer(std::u16string statement, MemoryResult answer) {
  answers_[std::move(statement)] = std::move(answer);
}

void MemoryServer::setFailingStatement(std::u16string statement, std::string message) {
  failingStatements_[std::move(statement)] = std::move(message);
}

std::vector<std::u16string> MemoryServer::sent() const {
  std::vector<std::u16string> texts;
  for (const auto& entry : log_)
    if (entry.kind == LogKind::query || entry.kind == LogKind::table)
      texts.push_back(entry.text);
  return texts;
}

void MemoryServer::record(LogKind kind, std::u16string catalog, std::u16string text) {
  log_.push_back({kind, std::move(catalog), std::move(text)});
}

const MemoryResult* MemoryServer::answerFor(const std::u16string& statement) const {
  auto found = answers_.find(statement);
  return found == answers_.end() ? nullptr : &found->second;
}

const std::string* MemoryServer::failureFor(const std::u16string& statement) const {
  auto found = failingStatements_.find(statement);
  return found == failingStatements_.end() ? nullptr : &found->second;
}

std::unique_ptr<server::Connection> MemoryConnectionFactory::createConnection() {
  return std::make_unique<MemoryConnection>(server_);
}

ColumnDescription column(std::u16string name, std::string_view sqlType, ColumnOptions options) {
  std::string type;
  for (char c : sqlType)
    if (c != ' ')
      type += text::asciiLowerCase(c);
  std::string base = type.substr(0, type.find('('));
  std::vector<std::string> arguments;
  if (std::size_t open = type.find('('); open != std::string::npos) {
    std::string inside = type.substr(open + 1, type.rfind(')') - open - 1);
    std::size_t start = 0;
    while (true) {
      std::size_t comma = inside.find(',', start);
      arguments.push_back(inside.substr(start, comma - start));
      if (comma == std::string::npos)
        break;
      start = comma + 1;
    }
  }
  bool isMax = !arguments.empty() && arguments[0] == "max";
  auto argument = [&](std::size_t index, int fallback) {
    return index < arguments.size() ? parseNumber(arguments[index], sqlType) : fallback;
  };
  if (base == "float" && argument(0, 53) <= 24)
    base = "real";

  ColumnDescription description;
  description.name = std::move(name);
  description.serverTypeName = base;
  auto plain = std::find_if(kPlainTypes.begin(), kPlainTypes.end(),
                            [&](const TypeInfo& info) { return info.name == base; });
  if (plain != kPlainTypes.end()) {
    description.kind = plain->kind;
    description.definedSize = plain->size;
    description.isLong = plain->isLong;
    if (!plain->serverName.empty())
      description.serverTypeName = plain->serverName;
  } else if (base == "decimal" || base == "numeric") {
    // Small whole numbers of numeric type read as integers.
    description.kind =
        argument(1, 0) == 0 && argument(0, 18) < 10 ? ColumnKind::integer : ColumnKind::decimal;
  } else if (base == "time" || base == "datetime2" || base == "datetimeoffset") {
    description.kind = base == "time"        ? ColumnKind::time
                       : base == "datetime2" ? ColumnKind::dateTime2
                                             : ColumnKind::dateTimeOffset;
  } else if (base == "char" || base == "varchar" || base == "nchar" || base == "nvarchar") {
    const bool wide = base[0] == 'n';
    description.kind = wide ? ColumnKind::nationalText : ColumnKind::text;
    description.isLong = isMax;
    description.definedSize = !isMax ? argument(0, 1) : wide ? kLongWideSize : kLongSize;
  } else if (base == "binary" || base == "varbinary") {
    description.kind = ColumnKind::bytes;
    description.isLong = isMax;
    description.definedSize = isMax ? kLongSize : argument(0, 1);
  } else if (base == "sql_variant") {
    description.kind = ColumnKind::variant;
    description.isLong = true;
  } else {
    throw std::invalid_argument("unknown SQL Server type " + std::string(sqlType));
  }
  description.isAutoIncrement = options.identity;
  return description;
}

}  // namespace velmora::test
