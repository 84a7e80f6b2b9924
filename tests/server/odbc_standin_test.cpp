// The ODBC layer against the TDS stand-in, through FreeTDS: every SQL Server type, exact
// values, the catalogue statements as sent, and the failures a user can run into.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>

#include "server/identifier.h"
#include "server/odbc_connection.h"
#include "server/odbc_values.h"
#include "server/server_session.h"
#include "server/table_reader.h"
#include "support/standin_process.h"

namespace velmora::server {
namespace {

namespace fs = std::filesystem;

const std::u16string kTypesPassword = u"p;w= \"q'}x";
const std::u16string kSamplePassword = u"Velmora#2026";

std::u16string wide(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}
// What ServerSession::connectToDatabase opens for `inputs` and `catalog`.
ConnectionTarget targetOf(const ConnectionInputs& inputs, std::u16string catalog) {
  return {.dataSource = inputs.server,
          .database = std::move(catalog),
          .user = inputs.user,
          .password = inputs.password};
}
std::string wideToAscii(std::u16string_view text) {
  return std::string(text.begin(), text.end());
}

std::string typesFixture() {
  return std::string(VELMORA_TEST_DATA_DIR) + "/odbc/types.json";
}
std::string sampleFixture() {
  return std::string(VELMORA_DATA_DIR) + "/sample.json";
}

// A folder of its own for each test, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/velmora-odbc-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~ScratchFolder() { fs::remove_all(path_); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The stand-in's statement log: one JSON string a line.
std::vector<std::string> readStatementLog(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> statements;
  for (std::string line; std::getline(in, line);)
    statements.push_back(nlohmann::json::parse(line).get<std::string>());
  return statements;
}

// A listening loopback socket that never accepts, so a client's login waits for an answer
// that never comes; or, once closed, a port where nobody listens.
class SilentPort {
 public:
  SilentPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 4) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("cannot open a loopback port");
    port_ = ntohs(address.sin_port);
  }
  ~SilentPort() { close(); }
  void close() {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = -1;
  }
  std::u16string serverText() const { return wide("127.0.0.1," + std::to_string(port_)); }

 private:
  int fd_ = -1;
  int port_ = 0;
};

std::vector<std::vector<Value>> readAll(Recordset& rows) {
  std::vector<std::vector<Value>> all;
  rows.moveFirst();
  while (!rows.eof()) {
    std::vector<Value> row;
    for (std::size_t i = 0; i < rows.columns().size(); ++i)
      row.push_back(rows.value(i));
    all.push_back(std::move(row));
    rows.moveNext();
  }
  return all;
}

class StandinTest : public testing::Test {
 protected:
  void start(const std::string& fixture, const std::u16string& password) {
    standin_ = std::make_unique<StandinProcess>(fixture,
                                                std::vector<std::string>{"--statement-log", log()});
    password_ = password;
  }

  std::u16string server() const { return wide(standin_->serverText()); }
  std::string log() const { return scratch_.file("statements.log"); }
  ConnectionInputs inputs() const { return {server(), u"sa", password_}; }
  std::vector<std::string> statementsSent() const { return readStatementLog(log()); }

  // An open connection to `catalog`.
  std::unique_ptr<Connection> connect(const std::u16string& catalog) {
    auto connection = factory_->createConnection();
    connection->open(targetOf(inputs(), catalog));
    return connection;
  }

  ScratchFolder scratch_;
  std::unique_ptr<StandinProcess> standin_;
  std::u16string password_;
  std::unique_ptr<ConnectionFactory> factory_ = makeOdbcConnectionFactory();
};

struct DescriptionCase {
  std::u16string name;
  ColumnKind kind;
  std::int32_t definedSize;
  bool isLong;
  const char* serverTypeName;
};

TEST_F(StandinTest, DescribesEveryTypeWithItsKind) {
  start(typesFixture(), kTypesPassword);
  auto connection = connect(u"Types");
  auto rows = connection->openTable(u"AllTypes");
  using enum ColumnKind;
  constexpr std::int32_t kLong = 2147483647, kLongWide = 1073741823;
  const DescriptionCase cases[] = {
      {u"Id", integer, 0, false, "int"},
      {u"Flag", flag, 0, false, "bit"},
      {u"Tiny", tinyInteger, 0, false, "tinyint"},
      {u"Small", smallInteger, 0, false, "smallint"},
      {u"Whole", integer, 0, false, "int"},
      {u"Big", bigInteger, 0, false, "bigint"},
      {u"Single", real, 0, false, "real"},
      {u"Double", doubleReal, 0, false, "float"},
      {u"SmallCash", money, 0, false, "money"},
      {u"Cash", money, 0, false, "money"},
      {u"Dec38", decimal, 0, false, "decimal"},
      {u"Dec38s10", decimal, 0, false, "decimal"},
      {u"Num9", integer, 0, false, "numeric"},
      {u"Num10", decimal, 0, false, "numeric"},
      {u"SmallStamp", dateTime, 0, false, "datetime"},
      {u"Stamp", dateTime, 0, false, "datetime"},
      {u"Day", date, 0, false, "date"},
      {u"Clock0", time, 0, false, "time"},
      {u"Clock7", time, 0, false, "time"},
      {u"Stamp2s0", dateTime2, 0, false, "datetime2"},
      {u"Stamp2s3", dateTime2, 0, false, "datetime2"},
      {u"StampOffset", dateTimeOffset, 0, false, "datetimeoffset"},
      {u"Fixed", text, 10, false, "char"},
      {u"Varying", text, 20, false, "varchar"},
      {u"Memo", text, kLong, true, "text"},
      {u"WideFixed", nationalText, 5, false, "nchar"},
      {u"Wide", nationalText, 20, false, "nvarchar"},
      {u"WideMemo", nationalText, kLongWide, true, "ntext"},
      {u"Sys", nationalText, 128, false, "nvarchar"},
      {u"Doc", nationalText, kLongWide, true, "xml"},
      {u"Bin", bytes, 4, false, "binary"},
      {u"VarBin", bytes, 10, false, "varbinary"},
      {u"Picture", bytes, kLong, true, "image"},
      {u"Guid", guid, 0, false, "uniqueidentifier"},
      {u"Any", variant, 0, true, "sql_variant"},
      {u"MaxText", text, kLong, true, "varchar"},
      {u"MaxWide", nationalText, kLongWide, true, "nvarchar"},
      {u"MaxBin", bytes, kLong, true, "varbinary"},
      {u"Total", integer, 0, false, "int"},
      {u"RV", bytes, 8, false, "timestamp"},
  };
  const auto& columns = rows->columns();
  ASSERT_EQ(columns.size(), std::size(cases));
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const DescriptionCase& c = cases[i];
    const ColumnDescription& column = columns[i];
    SCOPED_TRACE(wideToAscii(c.name));
    EXPECT_EQ(column.name, c.name);
    EXPECT_EQ(column.kind, c.kind);
    EXPECT_EQ(column.definedSize, c.definedSize);
    EXPECT_EQ(column.isLong, c.isLong);
    EXPECT_EQ(column.isAutoIncrement, i == 0);
    EXPECT_EQ(column.serverTypeName, c.serverTypeName);
  }
}

constexpr unsigned __int128 kAll38Nines = [] {
  unsigned __int128 value = 0;
  for (int i = 0; i < 38; ++i)
    value = value * 10 + 9;
  return value;
}();

Bytes bytes(std::initializer_list<std::uint8_t> list) {
  return Bytes(list);
}

struct ValueCase {
  std::u16string column;
  Value lowest;   // row 1 of the fixture
  Value highest;  // row 2; row 3 is NULL but for Id and RV
};

std::u16string text(const char16_t* value) {
  return value;
}

// AllTypes holds long columns and is read value by value; BoundedTypes has the same columns
// without the long ones and is read in blocks of bound rows.
TEST_F(StandinTest, SuppliesEveryValueExactly) {
  using std::numeric_limits;
  const ValueCase cases[] = {
      {u"Id", std::int32_t{1}, std::int32_t{2}},
      {u"Flag", true, false},
      {u"Tiny", std::uint8_t{0}, std::uint8_t{255}},
      {u"Small", std::int16_t{-32768}, std::int16_t{32767}},
      {u"Whole", numeric_limits<std::int32_t>::min(), numeric_limits<std::int32_t>::max()},
      {u"Big", numeric_limits<std::int64_t>::min(), numeric_limits<std::int64_t>::max()},
      {u"Single", -3.4e38f, 3.4e38f},
      {u"Double", -1.7976931348623157e308, 1.7976931348623157e308},
      {u"SmallCash", Decimal{true, 2147483648u, 4}, Decimal{false, 2147483647u, 4}},
      {u"Cash", Decimal{true, 9223372036854775808u, 4}, Decimal{false, 9223372036854775807u, 4}},
      {u"Dec38", Decimal{true, kAll38Nines, 0}, Decimal{false, kAll38Nines, 0}},
      {u"Dec38s10", Decimal{true, kAll38Nines, 10}, Decimal{false, kAll38Nines, 10}},
      {u"Num9", std::int32_t{-999999999}, std::int32_t{999999999}},
      {u"Num10", Decimal{true, 9999999999u, 0}, Decimal{false, 9999999999u, 0}},
      {u"SmallStamp", DateTime{2.0}, dayNumber(2079, 6, 6, 23, 59, 0, 0)},
      {u"Stamp", DateTime{-53688.0}, dayNumber(9999, 12, 31, 23, 59, 59, 997)},
      {u"Day", text(u"0001-01-01"), text(u"9999-12-31")},
      {u"Clock0", text(u"00:00:00"), text(u"23:59:59")},
      {u"Clock7", text(u"00:00:00.0000000"), text(u"23:59:59.9999999")},
      {u"Stamp2s0", text(u"0001-01-01 00:00:00"), text(u"9999-12-31 23:59:59")},
      {u"Stamp2s3", text(u"0001-01-01 00:00:00.000"), text(u"2023-01-05 09:05:07.123")},
      {u"StampOffset", text(u"0001-01-01 00:00:00.0000000 -14:00"),
       text(u"9999-12-31 23:59:59.9999999 +14:00")},
      {u"Fixed", text(u"张三      "), text(u"AB        ")},
      {u"Varying", text(u"中文备注"), text(u"O'Brien")},
      {u"Memo", text(u"长文本"), text(u"x")},
      {u"WideFixed", text(u"Zoë  "), text(u"ABCDE")},
      {u"Wide", text(u"张三丰"), text(u"O'Brien & Co")},
      {u"WideMemo", text(u"中文长文本"), text(u"y")},
      {u"Sys", text(u"sys"), text(u"t")},
      {u"Doc", text(u"<a>张</a>"), text(u"<b/>")},
      {u"Bin", bytes({0, 1, 2, 3}), bytes({0xFF, 0xFF, 0xFF, 0xFF})},
      {u"VarBin", Bytes{}, bytes({0, 0x41, 0, 0x42})},
      {u"Picture", bytes({0, 0xFF}), bytes({0x41})},
      {u"Guid", text(u"{00000000-0000-0000-0000-000000000000}"),
       text(u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}")},
      {u"Any", std::int32_t{-5}, NationalText{u"变体"}},
      {u"MaxText", text(u""), text(u"max")},
      {u"MaxWide", text(u""), text(u"最大")},
      {u"MaxBin", Bytes{}, bytes({1, 2})},
      {u"Total", std::int32_t{1}, std::int32_t{2}},
      {u"RV", bytes({0, 0, 0, 0, 0, 0, 0, 1}), bytes({0, 0, 0, 0, 0, 0, 0, 2})},
  };
  start(typesFixture(), kTypesPassword);
  auto connection = connect(u"Types");
  for (const std::u16string table : {u"AllTypes", u"BoundedTypes"}) {
    auto rows = connection->openTable(table);
    const auto columns = rows->columns();
    const auto all = readAll(*rows);
    ASSERT_EQ(all.size(), 3u);
    std::size_t checked = 0;
    for (const ValueCase& c : cases) {
      const auto column = std::find_if(columns.begin(), columns.end(),
                                       [&](const auto& each) { return each.name == c.column; });
      if (column == columns.end())
        continue;
      SCOPED_TRACE(wideToAscii(c.column) + " of " + wideToAscii(table));
      const auto i = static_cast<std::size_t>(column - columns.begin());
      EXPECT_EQ(all[0][i], c.lowest);
      EXPECT_EQ(all[1][i], c.highest);
      if (c.column != u"Id" && c.column != u"RV") {
        EXPECT_TRUE(std::holds_alternative<Null>(all[2][i]));
      }
      ++checked;
    }
    EXPECT_EQ(checked, columns.size());
  }
}

// FreeTDS keeps a sql_variant's base type to itself, so a table with sql_variant columns is
// read with the server naming each value's base type; every base type comes as its own kind.
TEST_F(StandinTest, VariantValuesComeAsTheirBaseType) {
  const Value expected[] = {
      std::uint8_t{255},
      std::int16_t{-32768},
      std::int32_t{INT32_MIN},
      std::int64_t{INT64_MAX},
      0.1f,
      0.30000000000000004,
      Currency{INT64_MIN},
      Currency{2147483647},
      *parseDecimal("-12345.123456789012345678901234567890123"),
      *parseDecimal("123456789012345678"),
      true,
      false,
      dayNumber(2023, 1, 5, 9, 5, 7, 997),
      dayNumber(2079, 6, 6, 23, 59, 0, 0),
      std::u16string(u"0001-01-01"),
      std::u16string(u"23:59:59.999"),
      std::u16string(u"9999-12-31 23:59:59.9999999"),
      std::u16string(u"2023-06-30 20:15:00.25 +08:00"),
      std::u16string(u"AB    "),
      std::u16string(u"长文本"),
      NationalText{u"Zoë "},
      NationalText{u"张三😀"},
      Bytes{1, 2, 0, 0},
      Bytes{0x41, 0x42},
      std::u16string(u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"),
      Null{},
  };
  start(std::string(VELMORA_TEST_DATA_DIR) + "/e2e/catalogue.json", kSamplePassword);
  auto connection = connect(u"Real Works");
  auto rows = connection->openTable(u"Variants");
  ASSERT_EQ(rows->columns().size(), 2u);
  EXPECT_EQ(rows->columns()[1].kind, ColumnKind::variant);
  const auto all = readAll(*rows);
  ASSERT_EQ(all.size(), std::size(expected));
  for (std::size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(all[i][1], expected[i]);
  }
  EXPECT_EQ(statementsSent().back(),
            "select *, SQL_VARIANT_PROPERTY([V], 'BaseType') from Variants");
}

TEST_F(StandinTest, LongValuesArriveWhole) {
  ScratchFolder folder;
  std::u16string wideText;
  std::string narrowText;
  for (int i = 0; i < 100'000; ++i) {
    wideText += i % 1000 == 999 ? u'张' : static_cast<char16_t>(u'a' + i % 26);
    narrowText += static_cast<char>('A' + i % 26);
  }
  std::string hex = "0x";
  Bytes binary;
  for (int i = 0; i < 100'000; ++i) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    binary.push_back(static_cast<std::uint8_t>(i * 7));
    hex += kHex[binary.back() >> 4];
    hex += kHex[binary.back() & 15];
  }
  std::string wideUtf8;
  for (char16_t c : wideText)
    wideUtf8 += c == u'张' ? "张" : std::string(1, static_cast<char>(c));
  nlohmann::json table = {{"name", "T"}, {"columns", nlohmann::json::array()}};
  for (const auto& [name, type] : {std::pair{"A", "text"},
                                   {"B", "varchar(max)"},
                                   {"C", "ntext"},
                                   {"D", "nvarchar(max)"},
                                   {"E", "image"},
                                   {"F", "varbinary(max)"}})
    table["columns"].push_back({{"name", name}, {"type", type}});
  table["rows"] = {{narrowText, narrowText, wideUtf8, wideUtf8, hex, hex}};
  const nlohmann::json fixture = {
      {"login", {{"user", "sa"}, {"password", "pw"}}},
      {"databases",
       {{{"name", "Long"}, {"id", 7}, {"collation", "Chinese_PRC_CI_AS"}, {"tables", {table}}}}}};
  std::ofstream(folder.file("long.json")) << fixture.dump();
  start(folder.file("long.json"), u"pw");
  auto connection = connect(u"Long");
  auto rows = connection->openTable(u"T");
  ASSERT_FALSE(rows->eof());
  EXPECT_EQ(rows->value(0), Value(wide(narrowText)));
  EXPECT_EQ(rows->value(1), Value(wide(narrowText)));
  EXPECT_EQ(rows->value(2), Value(wideText));
  EXPECT_EQ(rows->value(3), Value(wideText));
  EXPECT_EQ(rows->value(4), Value(binary));
  EXPECT_EQ(rows->value(5), Value(binary));
  rows->moveNext();
  EXPECT_TRUE(rows->eof());
}

TEST_F(StandinTest, PasswordBeginningWithEqualsSignConnects) {
  const nlohmann::json fixture = {{"login", {{"user", "sa"}, {"password", "=x="}}},
                                  {"databases", nlohmann::json::array()}};
  std::ofstream(scratch_.file("equals.json")) << fixture.dump();
  start(scratch_.file("equals.json"), u"=x=");
  EXPECT_TRUE(connect(u"Master")->isOpen());
}

TEST_F(StandinTest, CatalogueListsAndStatementsAsSent) {
  start(sampleFixture(), kSamplePassword);
  ServerSession session(*factory_);
  struct Databases : DatabaseList {
    void clear() override { names.clear(); }
    void add(const std::u16string& name) override { names.push_back(name); }
    void selectFirstWithoutChange() override { selected = true; }
    std::vector<std::u16string> names;
    bool selected = false;
  } databases;
  struct Tables : TableList {
    void clear() override { names.clear(); }
    void add(const std::u16string& name) override { names.push_back(name); }
    void setTicked(int index, bool ticked) override { ticks.emplace_back(index, ticked); }
    std::vector<std::u16string> names;
    std::vector<std::pair<int, bool>> ticks;
  } tables;

  ASSERT_TRUE(session.connectToDatabase(u"Master", session.catalogueConnection(), inputs()));
  session.loadDatabaseNames(databases);
  EXPECT_EQ(databases.names, (std::vector<std::u16string>{u"Shop", u"Empty"}));
  EXPECT_TRUE(databases.selected);

  ASSERT_TRUE(session.connectToDatabase(u"Shop", session.databaseConnection(), inputs()));
  session.loadTableNames(tables);
  EXPECT_EQ(tables.names, (std::vector<std::u16string>{u"Dept", u"Products", u"Order Details",
                                                       u"Audit", u"Customers"}));
  EXPECT_EQ(tables.ticks, (std::vector<std::pair<int, bool>>{
                              {0, true}, {1, true}, {2, true}, {3, true}, {4, true}}));

  // Every batch the server received, byte for byte: the catalogue statements end in CR LF.
  const std::vector<std::string> expected = {
      "SET TEXTSIZE 2147483647",
      "Select Name from SysDataBases where DBid>6\r\n",
      "SET TEXTSIZE 2147483647",
      "select name, SCHEMA_NAME(uid) from SysObjects where OBJECTPROPERTY(id, N'IsUserTable')= "
      "1\r\n",
  };
  EXPECT_EQ(statementsSent(), expected);
}

TEST_F(StandinTest, TableReaderReadsTheSampleShop) {
  start(sampleFixture(), kSamplePassword);
  ServerSession session(*factory_);
  ASSERT_TRUE(session.connectToDatabase(u"Shop", session.databaseConnection(), inputs()));
  TableReader& reader = session.tableReader();

  reader.close();
  reader.setTableName(u"Products");
  reader.open();
  std::vector<std::u16string> names;
  reader.getFieldNames(names);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"ProductID", u"Name", u"Price", u"Weight", u"Rate",
                                                u"Qty", u"Stock", u"Big", u"Code", u"Added",
                                                u"Disc", u"Pct", u"Guid", u"Pic"}));
  EXPECT_TRUE(reader.hasIdentityColumn());
  reader.first();
  ASSERT_FALSE(reader.eof());
  const std::pair<std::u16string, Value> first[] = {
      {u"ProductID", std::int32_t{1}},
      {u"Price", Decimal{false, 125000, 4}},
      {u"Weight", 0.1f},
      {u"Rate", 1e15},
      {u"Qty", std::int16_t{-42}},
      {u"Stock", std::uint8_t{5}},
      {u"Big", std::numeric_limits<std::int64_t>::min()},
      {u"Code", std::u16string(u"AB    ")},
      {u"Added", dayNumber(2023, 1, 5, 9, 5, 7, 250)},
      {u"Disc", std::int32_t{12345}},
      {u"Pct", Decimal{false, 314159, 5}},
      {u"Guid", std::u16string(u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}")},
      {u"Pic", bytes({0x41, 0x00, 0x42})},
  };
  for (const auto& [name, value] : first) {
    SCOPED_TRACE(wideToAscii(name));
    EXPECT_EQ(reader.fieldByName(name).value(), value);
  }
  reader.next();
  ASSERT_FALSE(reader.eof());
  EXPECT_EQ(reader.fieldByName(u"big").value(), Value(std::int64_t{9007199254740993}));
  EXPECT_EQ(reader.fieldByName(u"ADDED").value(), Value(DateTime{0.0}));
  EXPECT_TRUE(reader.fieldByName(u"Guid").isNull());
  EXPECT_EQ(reader.fieldByName(u"Pic").value(), Value(Bytes{}));
  reader.next();
  EXPECT_TRUE(reader.eof());

  // Every table of the sample reads to its end, one after the other on the same connection.
  const std::pair<std::u16string, std::size_t> tables[] = {
      {u"Dept", 2}, {u"Products", 2}, {u"Order Details", 1}, {u"Audit", 0}, {u"Customers", 2}};
  for (const auto& [table, rows] : tables) {
    SCOPED_TRACE(wideToAscii(table));
    reader.close();
    reader.setTableName(table);
    reader.open();
    std::size_t count = 0;
    for (reader.first(); !reader.eof(); reader.next())
      ++count;
    EXPECT_EQ(count, rows);
  }
}

TEST_F(StandinTest, TextUnderALatinCollation) {
  start(typesFixture(), kTypesPassword);
  auto latin = connect(u"Latin");
  auto words = latin->openTable(u"Words");
  ASSERT_FALSE(words->eof());
  EXPECT_EQ(words->value(0), Value(std::u16string(u"Zoë ")));
  EXPECT_EQ(words->value(1), Value(std::u16string(u"café")));
}

TEST_F(StandinTest, TableNamesThatNeedBrackets) {
  start(typesFixture(), kTypesPassword);
  auto connection = connect(u"Types");
  const std::pair<std::u16string, std::int32_t> cases[] = {
      {u"Order Details", 1}, {u"a]b", 2},   {u"O'Brien", 3},
      {u"a.b", 4},           {u"Order", 5}, {u"a?b {fn x}", 6}};
  for (const auto& [name, id] : cases) {
    SCOPED_TRACE(wideToAscii(name));
    auto rows = connection->openTable(sqlIdentifier(name));
    ASSERT_FALSE(rows->eof());
    EXPECT_EQ(rows->value(0), Value(id));
  }
  const std::vector<std::string> sent = statementsSent();
  ASSERT_GE(sent.size(), 6u);
  const std::vector<std::string> tail(sent.end() - 6, sent.end());
  const std::vector<std::string> expected = {
      "select * from [Order Details]", "select * from [a]]b]",  "select * from [O'Brien]",
      "select * from [a.b]",           "select * from [Order]", "select * from [a?b {fn x}]"};
  EXPECT_EQ(tail, expected);
}

TEST_F(StandinTest, StreamsManyRowsAndOneResultAtATime) {
  start(typesFixture(), kTypesPassword);
  auto connection = connect(u"Types");
  auto first = connection->openTable(u"Many");
  ASSERT_FALSE(first->eof());
  first->moveNext();
  // A second statement while rows of the first are unread: the first gives way.
  auto second = connection->query(
      u"select name, SCHEMA_NAME(uid) from SysObjects where OBJECTPROPERTY(id, N'IsUserTable')= 1");
  EXPECT_FALSE(second->eof());
  EXPECT_THROW(first->moveNext(), DataAccessError);
  second.reset();
  first.reset();

  auto rows = connection->openTable(u"Many");
  std::size_t count = 0;
  while (!rows->eof()) {
    ++count;
    rows->moveNext();
  }
  EXPECT_EQ(count, 100'000u);
}

std::size_t threadsOfThisProcess() {
  const std::filesystem::directory_iterator tasks("/proc/self/task");
  return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

// A small result is fetched in place; a large one fetches ahead on a thread of its own.
TEST_F(StandinTest, OnlyLargeResultsFetchOnAThread) {
  start(typesFixture(), kTypesPassword);
  auto connection = connect(u"Types");
  const std::size_t before = threadsOfThisProcess();
  auto small = connection->openTable(u"[Order Details]");
  EXPECT_FALSE(small->eof());
  EXPECT_EQ(threadsOfThisProcess(), before);
  small.reset();
  auto many = connection->openTable(u"Many");
  EXPECT_EQ(threadsOfThisProcess(), before + 1);
}

// --- failures: each ends as false from connectToDatabase or as an error with the driver's text,
// and the next connect works.

class BadInputTest : public StandinTest {
 protected:
  void SetUp() override { start(typesFixture(), kTypesPassword); }

  void expectNextConnectWorks() {
    EXPECT_TRUE(session_.connectToDatabase(u"Types", session_.databaseConnection(), inputs()));
    auto rows = session_.databaseConnection().openTable(u"[Order Details]");
    EXPECT_FALSE(rows->eof());
  }

  ServerSession session_{*factory_};
};

TEST_F(BadInputTest, ConnectsFailQuietlyAndTheNextConnectWorks) {
  SilentPort closed;
  closed.close();
  struct Case {
    const char* what;
    ConnectionInputs inputs;
    std::u16string catalog;
  };
  const std::u16string here = server();
  const Case cases[] = {
      {"wrong password", {here, u"sa", u"wrong"}, u"Master"},
      {"wrong user", {here, u"nobody", kTypesPassword}, u"Master"},
      {"unknown server", {u"no-such-host.invalid", u"sa", kTypesPassword}, u"Master"},
      {"closed port", {closed.serverText(), u"sa", kTypesPassword}, u"Master"},
      {"database not there", {here, u"sa", kTypesPassword}, u"Nowhere"},
      {"server with ';'", {here + u";Database=x", u"sa", kTypesPassword}, u"Master"},
      {"server with '='", {here + u"=", u"sa", kTypesPassword}, u"Master"},
      {"server with quotes", {u"\"" + here + u"\"", u"sa", kTypesPassword}, u"Master"},
      {"server with blank inside", {u"127.0.0.1 x", u"sa", kTypesPassword}, u"Master"},
      {"password without its ';'", {here, u"sa", u"p"}, u"Master"},
      {"empty server", {u"", u"sa", kTypesPassword}, u"Master"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(session_.connectToDatabase(c.catalog, session_.catalogueConnection(), c.inputs));
    EXPECT_FALSE(session_.catalogueConnection().isOpen());
    expectNextConnectWorks();
  }
  // Blanks around the server and password are trimmed; the password's ';', '=', quotes,
  // blank and '}' reach the server as typed.
  EXPECT_TRUE(
      session_.connectToDatabase(u"Master", session_.catalogueConnection(),
                                 {u"  " + here + u" ", u"sa", u" " + kTypesPassword + u"\t"}));
}

TEST_F(BadInputTest, LoginErrorsCarryTheServersText) {
  auto connection = factory_->createConnection();
  try {
    connection->open(targetOf({server(), u"sa", u"wrong"}, u"Master"));
    FAIL() << "opened with a wrong password";
  } catch (const DataAccessError& error) {
    EXPECT_EQ(std::string(error.what()), "Login failed for user 'sa'.");
    EXPECT_EQ(error.nativeCode(), 18456);
    EXPECT_EQ(error.sqlState().size(), 5u);
  }
  EXPECT_FALSE(connection->isOpen());
  // SQL Server answers a missing database with two errors, 4060 and 18456; either may lead.
  try {
    connection->open(targetOf(inputs(), u"Nowhere"));
    FAIL() << "opened a database that is not there";
  } catch (const DataAccessError& error) {
    EXPECT_TRUE(error.nativeCode() == 4060 || error.nativeCode() == 18456) << error.what();
  }
  EXPECT_FALSE(connection->isOpen());
}

TEST_F(BadInputTest, UnknownTableAndDroppedConnectionAreErrors) {
  ASSERT_TRUE(session_.connectToDatabase(u"Types", session_.databaseConnection(), inputs()));
  Connection& connection = session_.databaseConnection();
  try {
    connection.openTable(u"Missing");
    FAIL() << "opened a table that is not there";
  } catch (const DataAccessError& error) {
    EXPECT_EQ(std::string(error.what()), "Invalid object name 'Missing'.");
    EXPECT_EQ(error.nativeCode(), 208);
  }
  EXPECT_FALSE(connection.openTable(u"[Order Details]")->eof());

  // The server drops the connection after 5000 rows: all of them are read, then the error.
  auto rows = connection.openTable(u"Dropped");
  std::size_t count = 0;
  EXPECT_THROW(
      {
        while (!rows->eof()) {
          ++count;
          rows->moveNext();
        }
      },
      DataAccessError);
  EXPECT_EQ(count, 5000u);
  rows.reset();
  expectNextConnectWorks();
}

// What a table gives before the server drops the connection: the rows read and the error.
struct ReadUntilFailure {
  std::vector<std::vector<Value>> rows;
  std::optional<DataAccessError> error;
};

ReadUntilFailure readUntilFailure(Connection& connection, const std::u16string& table) {
  ReadUntilFailure outcome;
  try {
    auto rows = connection.openTable(table);
    while (!rows->eof()) {
      std::vector<Value> row;
      for (std::size_t i = 0; i < rows->columns().size(); ++i)
        row.push_back(rows->value(i));
      outcome.rows.push_back(std::move(row));
      rows->moveNext();
    }
  } catch (const DataAccessError& error) {
    outcome.error = error;
  }
  return outcome;
}

// Rows arrive in blocks of up to 256 for tables without long columns, one at a time for the
// others. Whatever the server sent before it dropped the connection is handed on, equal to the
// same rows of a twin table that is not dropped, and only then does reading fail.
TEST_F(StandinTest, EveryRowSentBeforeADroppedConnectionIsHandedOn) {
  struct Case {
    const char* what;
    const char* nameType;
    int rowsSent;
  };
  const Case cases[] = {
      {"block path, drop before the first row", "nvarchar(50)", 0},
      {"block path, drop inside the first block", "nvarchar(50)", 3},
      {"block path, drop after one whole block", "nvarchar(50)", 256},
      {"block path, drop inside a later block", "nvarchar(50)", 1234},
      {"long-column path, drop before the first row", "nvarchar(max)", 0},
      {"long-column path, drop after some rows", "nvarchar(max)", 77},
  };
  nlohmann::json tables = nlohmann::json::array();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const nlohmann::json columns = {{{"name", "ID"}, {"type", "int"}},
                                    {{"name", "Name"}, {"type", cases[i].nameType}}};
    const nlohmann::json generate = {{"rows", 2000}, {"seed", i + 1}};
    tables.push_back(
        {{"name", "Whole" + std::to_string(i)}, {"columns", columns}, {"generate", generate}});
    tables.push_back({{"name", "Cut" + std::to_string(i)},
                      {"columns", columns},
                      {"generate", generate},
                      {"close_after_rows", cases[i].rowsSent}});
  }
  const nlohmann::json fixture = {
      {"login", {{"user", "sa"}, {"password", "pw"}}},
      {"databases", {{{"name", "Drop"}, {"id", 7}, {"tables", tables}}}}};
  std::ofstream(scratch_.file("drop.json")) << fixture.dump();
  start(scratch_.file("drop.json"), u"pw");

  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.what);
    const ReadUntilFailure whole =
        readUntilFailure(*connect(u"Drop"), wide("Whole" + std::to_string(i)));
    ASSERT_FALSE(whole.error) << whole.error->what();
    ASSERT_EQ(whole.rows.size(), 2000u);

    const ReadUntilFailure cut =
        readUntilFailure(*connect(u"Drop"), wide("Cut" + std::to_string(i)));
    ASSERT_EQ(cut.rows.size(), static_cast<std::size_t>(c.rowsSent));
    EXPECT_TRUE(std::equal(cut.rows.begin(), cut.rows.end(), whole.rows.begin()));
    ASSERT_TRUE(cut.error);
    EXPECT_EQ(std::string(cut.error->what()), "Unexpected EOF from the server");
    EXPECT_EQ(cut.error->nativeCode(), 20017);
  }
}

TEST_F(BadInputTest, AServerThatNeverAnswersIsGivenUpWithinTheLoginTimeout) {
  SilentPort silent;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(session_.connectToDatabase(u"Master", session_.catalogueConnection(),
                                          {silent.serverText(), u"sa", kTypesPassword}));
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_LT(waited, std::chrono::seconds(17));
  expectNextConnectWorks();
}

}  // namespace
}  // namespace velmora::server
