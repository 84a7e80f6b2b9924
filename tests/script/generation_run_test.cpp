#include "script/generation_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "script/script_file.h"
#include "support/memory_data_access.h"
#include "support/script_lines.h"

namespace velmora::script {
namespace {

using server::Bytes;
using server::Null;
using server::Value;
using test::column;
using test::ColumnOptions;
using test::crlfLines;
using test::MemoryTable;

Value text(std::u16string_view value) {
  return std::u16string(value);
}

MemoryTable table(std::u16string name, std::vector<server::ColumnDescription> columns,
                  std::vector<test::Row> rows = {}) {
  MemoryTable result;
  result.name = std::move(name);
  result.columns = std::move(columns);
  result.rows = std::move(rows);
  return result;
}

MemoryTable failingAfter(MemoryTable table, std::size_t rows, std::string message) {
  table.failAfterRows = rows;
  table.failureMessage = std::move(message);
  return table;
}

server::ColumnDescription identityColumn(std::u16string name) {
  ColumnOptions options;
  options.identity = true;
  options.nullable = false;
  return column(std::move(name), "int", options);
}

server::ColumnDescription notNullColumn(std::u16string name, std::string_view sqlType) {
  ColumnOptions options;
  options.nullable = false;
  return column(std::move(name), sqlType, options);
}

// The table list, database text, column list and progress text of a window, as plain data;
// `onEvents` stands for whatever the user does while the run lets events through.
class ListHost : public GenerationHost {
 public:
  struct Entry {
    std::u16string name;
    bool ticked = true;
  };

  int tableCount() const override { return static_cast<int>(tables.size()); }
  std::u16string tableName(int index) const override { return tables.at(index).name; }
  bool isTableTicked(int index) const override { return tables.at(index).ticked; }
  std::u16string databaseName() const override { return database; }
  void setColumnNames(const std::vector<std::u16string>& names) override { columns = names; }
  std::vector<std::u16string> columnNames() const override { return columns; }
  void setProgressText(const std::u16string& value) override { progress.push_back(value); }
  void processPendingEvents() override {
    if (onEvents)
      onEvents();
  }

  std::vector<Entry> tables;
  std::u16string database = u"Shop";
  std::vector<std::u16string> columns;
  std::vector<std::u16string> progress;
  std::function<void()> onEvents;
};

const std::string kShopTrailerGo =
    crlfLines({"USE master", "GO", "EXEC sp_dboption 'Shop','autoshrink','TRUE'", "GO",
               "EXEC sp_dboption 'Shop','autoclose','TRUE'", "GO"});
const std::string kShopTrailer =
    crlfLines({"USE master", "EXEC sp_dboption 'Shop','autoshrink','TRUE'",
               "EXEC sp_dboption 'Shop','autoclose','TRUE'"});

// The worked example's two statements without GO lines.
const std::string kDeptLines =
    crlfLines({"insert Dept (ID,Name,Active,Note) Values(1,'Sales',1,Null)",
               "insert Dept (ID,Name,Active,Note) Values(2,'O''Brien & Co',0,'call back')"});

MemoryTable deptTable() {
  return table(
      u"Dept",
      {notNullColumn(u"ID", "int"), column(u"Name", "nvarchar(50)"), column(u"Active", "bit"),
       column(u"Note", "nvarchar(100)")},
      {{1, text(u"Sales"), true, Null{}}, {2, text(u"O'Brien & Co"), false, text(u"call back")}});
}

// Database Shop on an in-memory server, read through a reader of its own.
struct ShopServer {
  explicit ShopServer(const std::vector<MemoryTable>& tables) {
    server.addDatabase(u"Shop");
    for (const MemoryTable& table : tables)
      server.addTable(u"Shop", table.name, table.columns, table.rows) = table;
    connection->open(u"Initial Catalog=Shop");
  }

  test::MemoryServer server;
  test::MemoryConnectionFactory factory{server};
  std::unique_ptr<server::Connection> connection = factory.createConnection();
  server::TableReader reader{*connection};
};

// Runs in a fresh temporary current directory, where the script file goes.
class GenerationRunTest : public ::testing::Test {
 protected:
  GenerationRunTest() {
    previousDirectory_ = std::filesystem::current_path();
    char pattern[] = "/tmp/velmora-generation-XXXXXX";
    directory_ = ::mkdtemp(pattern);
    std::filesystem::current_path(directory_);
  }
  ~GenerationRunTest() override {
    std::filesystem::current_path(previousDirectory_);
    std::filesystem::remove_all(directory_);
  }

  // Serves the tables, lists them all ticked in this order and empties the script file.
  GenerationRun& start(const std::vector<MemoryTable>& tables) {
    shop_ = std::make_unique<ShopServer>(tables);
    host_ = ListHost();
    for (const MemoryTable& table : tables)
      host_.tables.push_back({table.name});
    run_ = std::make_unique<GenerationRun>(host_, shop_->reader, file_, valueText_);
    file_.ResetInitDataFile();
    return *run_;
  }

  static std::string scriptBytes() {
    std::ifstream in(ScriptFile::kFileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  std::filesystem::path previousDirectory_;
  std::filesystem::path directory_;
  Codeset codeset_{"UTF-8"};
  LocaleFormats formats_;
  ValueText valueText_{codeset_, formats_};
  ScriptFile file_{codeset_};
  std::unique_ptr<ShopServer> shop_;
  ListHost host_;
  std::unique_ptr<GenerationRun> run_;
};

struct ScriptCase {
  const char* name;
  std::vector<MemoryTable> tables;
  bool withGo;
  std::string expected;
  std::u16string database = u"Shop";
};

TEST_F(GenerationRunTest, WritesStatementsValuesAndTrailer) {
  const std::vector<ScriptCase> cases = {
      {"worked example with GO lines",
       {deptTable()},
       true,
       crlfLines({"insert Dept (ID,Name,Active,Note) Values(1,'Sales',1,Null)", "GO",
                  "insert Dept (ID,Name,Active,Note) Values(2,'O''Brien & Co',0,'call back')",
                  "GO"}) +
           kShopTrailerGo},
      {"one column, no comma",
       {table(u"T", {column(u"Name", "nvarchar(10)")}, {{text(u"x")}})},
       false,
       crlfLines({"insert T (Name) Values('x')"}) + kShopTrailer},
      {"NULL in every class, the first column included",
       {table(u"T",
              {column(u"N", "int"), column(u"F", "bit"), column(u"S", "nvarchar(5)"),
               column(u"B", "varbinary(5)")},
              {{Null{}, Null{}, Null{}, Null{}}})},
       false,
       crlfLines({"insert T (N,F,S,B) Values(Null,Null,Null,Null)"}) + kShopTrailer},
      {"text trimmed at both ends, quotes doubled, inner line breaks kept, cut at NUL",
       {table(u"T", {column(u"S", "nvarchar(50)")},
              {{text(u" \t padded  \r\n")},
               {text(u"")},
               {text(u"it's ''")},
               {text(u"first\r\nsecond")},
               {text(std::u16string(u"a\0b", 3))}})},
       false,
       crlfLines({"insert T (S) Values('padded')", "insert T (S) Values('')",
                  "insert T (S) Values('it''s ''''')", "insert T (S) Values('first", "second')",
                  "insert T (S) Values('a')"}) +
           kShopTrailer},
      {"binary as upper-case hex, never trimmed",
       {table(u"T",
              {column(u"V", "varbinary(10)"), column(u"F", "binary(3)"), column(u"I", "image")},
              {{Bytes{0x00, 0x41, 0x20}, Bytes{0x0D, 0xAB, 0x0A}, Bytes{0xFF}},
               {Bytes{}, Bytes{0x27, 0x27, 0x00}, Bytes{0x5D}}})},
       false,
       crlfLines({"insert T (V,F,I) Values(0x004120,0x0DAB0A,0xFF)",
                  "insert T (V,F,I) Values(0x,0x272700,0x5D)"}) +
           kShopTrailer},
      {"identity table between SET IDENTITY_INSERT lines, with GO",
       {table(u"Items", {identityColumn(u"ID"), column(u"Name", "nvarchar(9)")},
              {{1, text(u"a")}, {2, text(u"b")}})},
       true,
       crlfLines({"SET IDENTITY_INSERT Items ON", "GO", "insert Items (ID,Name) Values('1','a')",
                  "GO", "insert Items (ID,Name) Values('2','b')", "GO",
                  "SET IDENTITY_INSERT Items OFF", "GO"}) +
           kShopTrailerGo},
      {"identity lines without GO; an empty identity table gets none",
       {table(u"Items", {identityColumn(u"ID")}, {{7}}), table(u"Unused", {identityColumn(u"ID")})},
       false,
       crlfLines({"SET IDENTITY_INSERT Items ON", "insert Items (ID) Values('7')",
                  "SET IDENTITY_INSERT Items OFF"}) +
           kShopTrailer},
      {"names bracketed only where needed",
       {table(u"Order Details",
              {column(u"Unit Price", "int"), column(u"order", "int"), column(u"a]b", "int"),
               column(u"名称", "int"), column(u"_x1$", "int")},
              {{1, 2, 3, 4, 5}}),
        table(u"Order", {identityColumn(u"ID")}, {{1}})},
       false,
       crlfLines({"insert [Order Details] ([Unit Price],[order],[a]]b],名称,_x1$) "
                  "Values(1,2,3,4,5)",
                  "SET IDENTITY_INSERT [Order] ON", "insert [Order] (ID) Values('1')",
                  "SET IDENTITY_INSERT [Order] OFF"}) +
           kShopTrailer},
      {"empty table list: trailer only", {}, true, kShopTrailerGo},
      {"no database chosen: empty name in the trailer",
       {},
       false,
       crlfLines({"USE master", "EXEC sp_dboption '','autoshrink','TRUE'",
                  "EXEC sp_dboption '','autoclose','TRUE'"}),
       u""},
      {"database name trimmed, its quote doubled",
       {},
       false,
       crlfLines({"USE master", "EXEC sp_dboption 'O''Shop','autoshrink','TRUE'",
                  "EXEC sp_dboption 'O''Shop','autoclose','TRUE'"}),
       u" O'Shop\t"},
  };

  for (const ScriptCase& c : cases) {
    SCOPED_TRACE(c.name);
    GenerationRun& run = start(c.tables);
    host_.database = c.database;
    run.MakeInitDataSql(c.withGo);
    EXPECT_EQ(scriptBytes(), c.expected);
  }
}

TEST_F(GenerationRunTest, ProgressTextsAndColumnListFollowTheTickedTables) {
  // The progress text shows the entry trimmed; the reader reads the name whole.
  GenerationRun& run = start({deptTable(), table(u"Skipped", {column(u"A", "int")}, {{1}}),
                              table(u" Empty\t", {column(u"X", "int"), column(u"Y", "bit")})});
  host_.tables[1].ticked = false;

  run.MakeInitDataSql(false);

  EXPECT_EQ(host_.progress, (std::vector<std::u16string>{u"正在处理表 Dept 的初始化数据....",
                                                         u"正在处理表 Empty 的初始化数据....",
                                                         u"初始化数据处理完毕!"}));
  EXPECT_EQ(host_.columns, (std::vector<std::u16string>{u"X", u"Y"}));
  EXPECT_EQ(scriptBytes(), kDeptLines + kShopTrailer);
}

TEST_F(GenerationRunTest, TicksAreReadWhenTheRunReachesTheEntry) {
  const auto oneRow = [](std::u16string name) {
    return table(std::move(name), {column(u"A", "int")}, {{1}});
  };
  GenerationRun& run = start({oneRow(u"A"), oneRow(u"B"), oneRow(u"C")});
  host_.tables[2].ticked = false;
  host_.onEvents = [this] {
    host_.tables[1].ticked = false;
    host_.tables[2].ticked = true;
  };

  run.MakeInitDataSql(false);

  EXPECT_EQ(scriptBytes(),
            crlfLines({"insert A (A) Values(1)", "insert C (A) Values(1)"}) + kShopTrailer);
}

TEST_F(GenerationRunTest, TableListShrinkingDuringTheRunEndsItAtTheNewEnd) {
  GenerationRun& run = start({deptTable(), table(u"Gone", {column(u"A", "int")}, {{1}})});
  host_.onEvents = [this] { host_.tables.resize(1); };

  run.MakeInitDataSql(false);

  EXPECT_EQ(scriptBytes(), kDeptLines + kShopTrailer);
  EXPECT_EQ(host_.progress.back(), u"初始化数据处理完毕!");
}

struct FailureCase {
  const char* name;
  std::vector<MemoryTable> serverTables;
  std::vector<std::u16string> listed;
  std::string error;
  std::string linesKept;
  std::u16string lastProgress;
};

TEST_F(GenerationRunTest, AFailureEndsTheRunAndKeepsTheLinesWritten) {
  const MemoryTable items = table(u"Items", {identityColumn(u"ID")}, {{1}, {2}, {3}});
  const MemoryTable dropping = failingAfter(items, 2, "Communication link failure");
  const MemoryTable unopenable = failingAfter(items, 0, "Login timeout expired");
  const std::vector<FailureCase> cases = {
      {"connection dropped after two rows",
       {deptTable(), dropping},
       {u"Dept", u"Items", u"Never"},
       "Communication link failure",
       crlfLines({"insert Dept (ID,Name,Active,Note) Values(1,'Sales',1,Null)", "GO",
                  "insert Dept (ID,Name,Active,Note) Values(2,'O''Brien & Co',0,'call back')", "GO",
                  "SET IDENTITY_INSERT Items ON", "GO", "insert Items (ID) Values('1')", "GO",
                  "insert Items (ID) Values('2')", "GO"}),
       u"正在处理表 Items 的初始化数据...."},
      {"table gone between listing and reading",
       {deptTable()},
       {u"Dept", u"Gone"},
       "Invalid object name 'Gone'.",
       crlfLines({"insert Dept (ID,Name,Active,Note) Values(1,'Sales',1,Null)", "GO",
                  "insert Dept (ID,Name,Active,Note) Values(2,'O''Brien & Co',0,'call back')",
                  "GO"}),
       u"正在处理表 Gone 的初始化数据...."},
      {"table that cannot be opened",
       {unopenable},
       {u"Items"},
       "Login timeout expired",
       "",
       u"正在处理表 Items 的初始化数据...."},
  };

  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    GenerationRun& run = start(c.serverTables);
    host_.tables.clear();
    for (const std::u16string& name : c.listed)
      host_.tables.push_back({name});

    try {
      run.MakeInitDataSql(true);
      ADD_FAILURE() << "the run did not fail";
    } catch (const std::exception& error) {
      EXPECT_EQ(std::string(error.what()), c.error);
    }
    EXPECT_EQ(scriptBytes(), c.linesKept);
    EXPECT_EQ(host_.progress.back(), c.lastProgress);
    EXPECT_FALSE(run.isRunning());
  }
}

// Rows 1 to `count` of an identity table, which puts the identity lines around its statements.
MemoryTable numberedRows(int count) {
  std::vector<test::Row> rows;
  for (int i = 1; i <= count; ++i)
    rows.push_back({i, i * 10});
  return table(u"Seq", {identityColumn(u"ID"), column(u"N", "int")}, std::move(rows));
}

// The rows of each insert line in `script`: one plus the ",(" that join its rows.
std::vector<std::size_t> rowsPerInsertLine(const std::string& script) {
  std::vector<std::size_t> counts;
  for (std::size_t at = 0; (at = script.find("insert ", at)) != std::string::npos;) {
    const std::size_t end = script.find("\r\n", at);
    std::size_t rows = 1;
    for (std::size_t join = at; (join = script.find("),(", join)) < end; ++join)
      ++rows;
    counts.push_back(rows);
    at = end;
  }
  return counts;
}

TEST_F(GenerationRunTest, RowsPerInsertGroupsRowsIntoStatements) {
  const std::string identityOn = crlfLines({"SET IDENTITY_INSERT Seq ON", "GO"});
  const std::string identityOff = crlfLines({"SET IDENTITY_INSERT Seq OFF", "GO"});
  struct Case {
    int rowsPerInsert;
    bool withGo;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {1, false,
       crlfLines({"SET IDENTITY_INSERT Seq ON", "insert Seq (ID,N) Values('1',10)",
                  "insert Seq (ID,N) Values('2',20)", "insert Seq (ID,N) Values('3',30)",
                  "insert Seq (ID,N) Values('4',40)", "SET IDENTITY_INSERT Seq OFF"}) +
           kShopTrailer},
      {3, true,
       identityOn +
           crlfLines({"insert Seq (ID,N) Values('1',10),('2',20),('3',30)", "GO",
                      "insert Seq (ID,N) Values('4',40)", "GO"}) +
           identityOff + kShopTrailerGo},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rowsPerInsert);
    start({numberedRows(4)})
        .MakeInitDataSql({.withGoLines = c.withGo, .rowsPerInsert = c.rowsPerInsert});
    EXPECT_EQ(scriptBytes(), c.expected);
  }

  start({numberedRows(1003)}).MakeInitDataSql({.withGoLines = true, .rowsPerInsert = 1000});
  const std::string script = scriptBytes();
  EXPECT_TRUE(script.starts_with(identityOn + "insert Seq (ID,N) Values('1',10),('2',20),"));
  EXPECT_TRUE(script.ends_with("('1003',10030)\r\nGO\r\n" + identityOff + kShopTrailerGo));
  EXPECT_EQ(rowsPerInsertLine(script), (std::vector<std::size_t>{1000, 3}));

  // The rows that arrived before the server failed are written, though the statement is short.
  try {
    start({failingAfter(numberedRows(4), 2, "Communication link failure")})
        .MakeInitDataSql({.withGoLines = false, .rowsPerInsert = 3});
    ADD_FAILURE() << "the run did not fail";
  } catch (const server::DataAccessError& error) {
    EXPECT_STREQ(error.what(), "Communication link failure");
  }
  EXPECT_EQ(scriptBytes(),
            crlfLines({"SET IDENTITY_INSERT Seq ON", "insert Seq (ID,N) Values('1',10),('2',20)"}));
}

TEST_F(GenerationRunTest, ScriptFileRemovedDuringTheRunEndsItWithTheFileError) {
  GenerationRun& run = start({deptTable()});
  host_.onEvents = [] { std::filesystem::remove(ScriptFile::kFileName); };

  try {
    run.MakeInitDataSql(true);
    ADD_FAILURE() << "the run did not fail";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorCode, 2);
    EXPECT_STREQ(error.what(), "File not found");
  }
  EXPECT_EQ(host_.progress.back(), u"正在处理表 Dept 的初始化数据....");
  EXPECT_FALSE(run.isRunning());
}

TEST_F(GenerationRunTest, LinesAreWrittenInTheFileCodeset) {
  const Codeset gbk("GBK");
  ScriptFile gbkFile(gbk);
  const ValueText gbkValues(gbk, formats_);
  start({table(u"部门", {column(u"名称", "nvarchar(10)")}, {{text(u"销售")}, {text(u"Zoë")}})});
  GenerationRun run(host_, shop_->reader, gbkFile, gbkValues);
  host_.database = u"销售";

  run.MakeInitDataSql(false);

  EXPECT_EQ(scriptBytes(),
            crlfLines({"insert \xB2\xBF\xC3\xC5 (\xC3\xFB\xB3\xC6) "
                       "Values('\xCF\xFA\xCA\xDB')",
                       "insert \xB2\xBF\xC3\xC5 (\xC3\xFB\xB3\xC6) Values('Zo?')", "USE master",
                       "EXEC sp_dboption '\xCF\xFA\xCA\xDB','autoshrink','TRUE'",
                       "EXEC sp_dboption '\xCF\xFA\xCA\xDB','autoclose','TRUE'"}));
}

TEST_F(GenerationRunTest, ColumnPartNeedsAColumn) {
  GenerationRun& run = start({});
  std::u16string fieldPart;
  EXPECT_THROW(run.MakeInsertField(fieldPart), std::out_of_range);
  host_.columns = {u" A ", u"B C"};
  run.MakeInsertField(fieldPart);
  EXPECT_EQ(fieldPart, u" ([ A ],[B C]) ");
}

}  // namespace
}  // namespace velmora::script
