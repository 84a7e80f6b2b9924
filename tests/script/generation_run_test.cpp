#include "script/generation_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "script/script_file.h"
#include "support/memory_data_access.h"
#include "support/scratch_folder.h"
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

// The server reports every column of `table` but its timestamp as computed.
MemoryTable computedOnly(MemoryTable table) {
  for (const server::ColumnDescription& column : table.columns)
    if (column.serverTypeName != "timestamp")
      table.computedColumns.push_back(column.name);
  return table;
}

MemoryTable failingAfter(MemoryTable table, std::size_t rows, std::string message) {
  table.failAfterRows = rows;
  table.failureMessage = std::move(message);
  return table;
}

server::ColumnDescription identityColumn(std::u16string name) {
  ColumnOptions options;
  options.identity = true;
  return column(std::move(name), "int", options);
}

server::ColumnDescription notNullColumn(std::u16string name, std::string_view sqlType) {
  return column(std::move(name), sqlType);
}

// The ticks, progress texts and column names of a window, as plain data; `onEvents` stands
// for whatever the user does while the run reports to the window.
class RecordingObserver : public RunObserver {
 public:
  bool isTicked(std::size_t index) override { return ticks.at(index); }
  void tableStarted(const std::u16string& text) override {
    progress.push_back(text);
    handleEvents();
  }
  void columnsChanged(const std::vector<std::u16string>& names) override { columns = names; }
  void rowWritten() override { handleEvents(); }
  void finished(const std::u16string& text) override { progress.push_back(text); }

  std::vector<bool> ticks;
  std::vector<std::u16string> columns;
  std::vector<std::u16string> progress;
  std::function<void()> onEvents;

 private:
  void handleEvents() {
    if (onEvents)
      onEvents();
  }
};

// The first line of every script, with its GO line when on.
const std::string kDateOrder = crlfLines({"SET DATEFORMAT mdy"});
const std::string kDateOrderGo = crlfLines({"SET DATEFORMAT mdy", "GO"});

const std::string kShopTrailerGo =
    crlfLines({"USE master", "GO", "ALTER DATABASE Shop SET AUTO_SHRINK ON", "GO",
               "ALTER DATABASE Shop SET AUTO_CLOSE ON", "GO"});
const std::string kShopTrailer = crlfLines({"USE master", "ALTER DATABASE Shop SET AUTO_SHRINK ON",
                                            "ALTER DATABASE Shop SET AUTO_CLOSE ON"});

// The worked example's two statements without GO lines.
const std::string kDeptLines =
    crlfLines({"insert Dept (ID,Name,Active,Note) Values(1,N'Sales',1,Null)",
               "insert Dept (ID,Name,Active,Note) Values(2,N'O''Brien & Co',0,N'call back')"});

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
    connection->open({.database = u"Shop"});
  }

  test::MemoryServer server;
  test::MemoryConnectionFactory factory{server};
  std::unique_ptr<server::Connection> connection = factory.createConnection();
  server::TableReader reader{*connection};
};

// Runs in a fresh temporary current directory, where the script file goes.
class GenerationRunTest : public ::testing::Test {
 protected:
  // Serves the tables, lists them all ticked in this order for database Shop and empties the
  // script file.
  void start(const std::vector<MemoryTable>& tables) {
    shop_ = std::make_unique<ShopServer>(tables);
    observer_ = RecordingObserver();
    input_ = RunInput{.tables = {}, .database = u"Shop", .form = {}};
    for (const MemoryTable& table : tables) {
      input_.tables.push_back(table.name);
      observer_.ticks.push_back(true);
    }
    run_ = std::make_unique<GenerationRun>(shop_->reader, file_, valueText_, formats_);
    file_.resetScript();
  }
  // Writes the script of what start() listed into the script file, in UTF-8.
  void write(const StatementForm& form) {
    input_.form = form;
    run_->writeScript(input_, observer_);
  }
  void write(bool withGo) { write(StatementForm{.withGoLines = withGo}); }

  static std::string scriptBytes() {
    std::ifstream in(ScriptFile::kFileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  test::CurrentScratchFolder folder_{"velmora-generation"};
  Codeset codeset_{"UTF-8"};
  LocaleFormats formats_;
  ValueText valueText_{codeset_, formats_};
  ScriptFile file_{codeset_};
  std::unique_ptr<ShopServer> shop_;
  RunInput input_;
  RecordingObserver observer_;
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
       crlfLines({"insert Dept (ID,Name,Active,Note) Values(1,N'Sales',1,Null)", "GO",
                  "insert Dept (ID,Name,Active,Note) Values(2,N'O''Brien & Co',0,N'call back')",
                  "GO"}) +
           kShopTrailerGo},
      {"one column, no comma",
       {table(u"T", {column(u"Name", "nvarchar(10)")}, {{text(u"x")}})},
       false,
       crlfLines({"insert T (Name) Values(N'x')"}) + kShopTrailer},
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
       crlfLines({"insert T (S) Values(N'padded')", "insert T (S) Values(N'')",
                  "insert T (S) Values(N'it''s ''''')", "insert T (S) Values(N'first", "second')",
                  "insert T (S) Values(N'a')"}) +
           kShopTrailer},
      {"N before the quoted values of Unicode columns: the server's type decides",
       {table(u"T",
              {column(u"NV", "nvarchar(5)"), column(u"NC", "nchar(2)"), column(u"NT", "ntext"),
               column(u"X", "xml"), column(u"S", "sysname"), column(u"V", "varchar(5)"),
               column(u"C", "char(2)"), column(u"D", "date"), column(u"T", "datetime2(0)")},
              {{text(u"张"), text(u"a"), text(u"b"), text(u"<x/>"), text(u"s"), text(u"v"),
                text(u"c"), text(u"2023-01-05"), text(u"2023-01-05 09:05:07")}})},
       false,
       crlfLines({"insert T (NV,NC,NT,X,S,V,C,D,T) Values(N'张',N'a',N'b',N'<x/>',N's','v','c',"
                  "'2023-01-05','2023-01-05 09:05:07')"}) +
           kShopTrailer},
      {"pieces joined by char(13) and char(10) where a runner would misread a line break",
       {table(u"T", {column(u"N", "nvarchar(50)"), column(u"V", "varchar(50)")},
              {{text(u"a\\\r\nb"), text(u"it's\\\nok")},
               {text(u"x\nGO\ny"), text(u"go 2\r\nz")},
               {text(u"GO\t\n\nend"), text(u"GOTO\nx")}})},
       false,
       crlfLines({"insert T (N,V) Values(N'a\\'+char(13)+char(10)+N'b','it''s\\'+char(10)+'ok')",
                  "insert T (N,V) Values(N'x'+char(10)+N'GO'+char(10)+N'y','go 2'+char(13)+"
                  "char(10)+'z')",
                  "insert T (N,V) Values(N'GO\t'+char(10)+char(10)+N'end','GOTO\nx')"}) +
           kShopTrailer},
      {"sql_variant values by their kind",
       {table(u"T", {column(u"V", "sql_variant")},
              {{std::int32_t{5}},
               {0.1f},
               {server::NationalText{u"张三"}},
               {text(u"ab")},
               {Bytes{0x41, 0x42}},
               {true},
               {Null{}}})},
       false,
       crlfLines({"insert T (V) Values('5')", "insert T (V) Values('0.1')",
                  "insert T (V) Values(N'张三')", "insert T (V) Values('ab')",
                  "insert T (V) Values(0x4142)", "insert T (V) Values('True')",
                  "insert T (V) Values(Null)"}) +
           kShopTrailer},
      {"computed and timestamp columns only: a row of defaults for each row, with GO",
       {computedOnly(table(u"Audit", {column(u"Total", "int"), column(u"RV", "timestamp")},
                           {{1, Bytes(8)}, {2, Bytes(8)}}))},
       true,
       crlfLines({"insert Audit DEFAULT VALUES", "GO", "insert Audit DEFAULT VALUES", "GO"}) +
           kShopTrailerGo},
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
       crlfLines({"SET IDENTITY_INSERT Items ON", "GO", "insert Items (ID,Name) Values('1',N'a')",
                  "GO", "insert Items (ID,Name) Values('2',N'b')", "GO",
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
      {"no database chosen: USE master alone", {}, true, crlfLines({"USE master", "GO"}), u""},
      {"database name whole, in its statement form",
       {},
       false,
       crlfLines({"USE master", "ALTER DATABASE [ Bob's Depot] SET AUTO_SHRINK ON",
                  "ALTER DATABASE [ Bob's Depot] SET AUTO_CLOSE ON"}),
       u" Bob's Depot"},
  };

  for (const ScriptCase& c : cases) {
    SCOPED_TRACE(c.name);
    start(c.tables);
    input_.database = c.database;
    write(c.withGo);
    EXPECT_EQ(scriptBytes(), (c.withGo ? kDateOrderGo : kDateOrder) + c.expected);
  }
}

TEST_F(GenerationRunTest, ProgressTextsAndColumnListFollowTheTickedTables) {
  // The progress text shows the entry trimmed; the reader reads the name whole.
  start({deptTable(), table(u"Skipped", {column(u"A", "int")}, {{1}}),
         table(u" Empty\t", {column(u"X", "int"), column(u"Y", "bit")})});
  observer_.ticks[1] = false;

  write(false);

  EXPECT_EQ(observer_.progress, (std::vector<std::u16string>{u"正在处理表 Dept 的初始化数据....",
                                                             u"正在处理表 Empty 的初始化数据....",
                                                             u"初始化数据处理完毕!"}));
  EXPECT_EQ(observer_.columns, (std::vector<std::u16string>{u"X", u"Y"}));
  EXPECT_EQ(scriptBytes(), kDateOrder + kDeptLines + kShopTrailer);
}

TEST_F(GenerationRunTest, TicksAreReadWhenTheRunReachesTheEntry) {
  const auto oneRow = [](std::u16string name) {
    return table(std::move(name), {column(u"A", "int")}, {{1}});
  };
  start({oneRow(u"A"), oneRow(u"B"), oneRow(u"C")});
  observer_.ticks[2] = false;
  observer_.onEvents = [this] {
    observer_.ticks[1] = false;
    observer_.ticks[2] = true;
  };

  write(false);

  EXPECT_EQ(
      scriptBytes(),
      kDateOrder + crlfLines({"insert A (A) Values(1)", "insert C (A) Values(1)"}) + kShopTrailer);
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
       crlfLines({"insert Dept (ID,Name,Active,Note) Values(1,N'Sales',1,Null)", "GO",
                  "insert Dept (ID,Name,Active,Note) Values(2,N'O''Brien & Co',0,N'call back')",
                  "GO", "SET IDENTITY_INSERT Items ON", "GO", "insert Items (ID) Values('1')", "GO",
                  "insert Items (ID) Values('2')", "GO"}),
       u"正在处理表 Items 的初始化数据...."},
      {"table gone between listing and reading",
       {deptTable()},
       {u"Dept", u"Gone"},
       "Invalid object name 'Gone'.",
       crlfLines({"insert Dept (ID,Name,Active,Note) Values(1,N'Sales',1,Null)", "GO",
                  "insert Dept (ID,Name,Active,Note) Values(2,N'O''Brien & Co',0,N'call back')",
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
    start(c.serverTables);
    input_.tables = c.listed;
    observer_.ticks.assign(c.listed.size(), true);

    try {
      write(true);
      ADD_FAILURE() << "the run did not fail";
    } catch (const std::exception& error) {
      EXPECT_EQ(std::string(error.what()), c.error);
    }
    EXPECT_EQ(scriptBytes(), kDateOrderGo + c.linesKept);
    EXPECT_EQ(observer_.progress.back(), c.lastProgress);
    EXPECT_FALSE(run_->isRunning());
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
    start({numberedRows(4)});
    write({.withGoLines = c.withGo, .rowsPerInsert = c.rowsPerInsert});
    EXPECT_EQ(scriptBytes(), (c.withGo ? kDateOrderGo : kDateOrder) + c.expected);
  }

  start({numberedRows(1003)});
  write({.withGoLines = true, .rowsPerInsert = 1000});
  const std::string script = scriptBytes();
  EXPECT_TRUE(
      script.starts_with(kDateOrderGo + identityOn + "insert Seq (ID,N) Values('1',10),('2',20),"));
  EXPECT_TRUE(script.ends_with("('1003',10030)\r\nGO\r\n" + identityOff + kShopTrailerGo));
  EXPECT_EQ(rowsPerInsertLine(script), (std::vector<std::size_t>{1000, 3}));

  // A statement that passes 1 MiB takes no more rows.
  const std::u16string wide(600 * 1024, u'w');
  start({table(u"W", {column(u"M", "varchar(max)")}, {{text(wide)}, {text(wide)}, {text(wide)}})});
  write({.withGoLines = false, .rowsPerInsert = 1000});
  EXPECT_EQ(rowsPerInsertLine(scriptBytes()), (std::vector<std::size_t>{2, 1}));

  // The rows that arrived before the server failed are written, though the statement is short.
  try {
    start({failingAfter(numberedRows(4), 2, "Communication link failure")});
    write({.withGoLines = false, .rowsPerInsert = 3});
    ADD_FAILURE() << "the run did not fail";
  } catch (const server::DataAccessError& error) {
    EXPECT_STREQ(error.what(), "Communication link failure");
  }
  EXPECT_EQ(scriptBytes(), kDateOrder + crlfLines({"SET IDENTITY_INSERT Seq ON",
                                                   "insert Seq (ID,N) Values('1',10),('2',20)"}));

  // So are the rows before a value that cannot be written.
  MemoryTable unwritable = numberedRows(4);
  unwritable.rows[2][1] = text(u"x");
  try {
    start({unwritable});
    write({.withGoLines = false, .rowsPerInsert = 3});
    ADD_FAILURE() << "the run did not fail";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Could not convert variant of type (OleStr) into type (Integer)");
  }
  EXPECT_EQ(scriptBytes(), kDateOrder + crlfLines({"SET IDENTITY_INSERT Seq ON",
                                                   "insert Seq (ID,N) Values('1',10),('2',20)"}));
}

TEST_F(GenerationRunTest, ScriptFileRemovedDuringTheRunEndsItWithTheFileError) {
  start({deptTable()});
  observer_.onEvents = [] { std::filesystem::remove(ScriptFile::kFileName); };

  try {
    write(true);
    ADD_FAILURE() << "the run did not fail";
  } catch (const OutputError& error) {
    EXPECT_EQ(error.code, 2);
    EXPECT_STREQ(error.what(), "File not found");
  }
  EXPECT_EQ(observer_.progress.back(), u"正在处理表 Dept 的初始化数据....");
  EXPECT_FALSE(run_->isRunning());
}

TEST_F(GenerationRunTest, LinesAreWrittenInTheFileCodeset) {
  const Codeset gbk("GBK");
  ScriptFile gbkFile(gbk);
  const ValueText gbkValues(gbk, formats_);
  start({table(u"部门", {column(u"名称", "nvarchar(10)")}, {{text(u"销售")}, {text(u"Zoë")}})});
  GenerationRun run(shop_->reader, gbkFile, gbkValues, formats_);
  input_.database = u"销售";
  input_.form.withGoLines = false;

  run.writeScript(input_, observer_);

  EXPECT_EQ(scriptBytes(),
            crlfLines({"SET DATEFORMAT mdy",
                       "insert \xB2\xBF\xC3\xC5 (\xC3\xFB\xB3\xC6) "
                       "Values(N'\xCF\xFA\xCA\xDB')",
                       "insert \xB2\xBF\xC3\xC5 (\xC3\xFB\xB3\xC6) Values(N'Zo?')", "USE master",
                       "ALTER DATABASE \xCF\xFA\xCA\xDB SET AUTO_SHRINK ON",
                       "ALTER DATABASE \xCF\xFA\xCA\xDB SET AUTO_CLOSE ON"}));
}

// A name the script would write with a line break, or with a character the codeset lacks,
// stops the run when it reaches that table, before any line of it, rows or not.
TEST_F(GenerationRunTest, NamesTheScriptCannotWriteStopTheRunAtTheirTable) {
  const Codeset gbk("GBK");
  ScriptFile gbkFile(gbk);
  const ValueText gbkValues(gbk, formats_);
  using Part = UnwritableName::Part;
  const struct {
    MemoryTable table;
    Part part;
    std::u16string column;
    std::string lackingCodeset;
    const char* error;
  } cases[] = {
      {table(u"Emoji😀", {column(u"ID", "int")}), Part::name, u"", "GBK",
       "Table Emoji😀 cannot be written: its name holds a character that GBK lacks."},
      {table(u"T", {column(u"a\nb", "int")}, {{1}}), Part::columnName, u"a\nb", "",
       "Table T cannot be written: the name of its column a\nb holds a line break."},
      {table(u"T", {column(u"Café\u00A0Menu", "int")}, {{1}}), Part::columnName, u"Café\u00A0Menu",
       "GBK",
       "Table T cannot be written: the name of its column Café\u00A0Menu holds a character "
       "that GBK lacks."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    start({table(u"First", {column(u"A", "int")}, {{1}}), c.table});
    GenerationRun run(shop_->reader, gbkFile, gbkValues, formats_);
    input_.form.withGoLines = false;
    try {
      run.writeScript(input_, observer_);
      ADD_FAILURE();
    } catch (const UnwritableName& error) {
      EXPECT_STREQ(error.what(), c.error);
      EXPECT_EQ(error.object(), UnwritableName::Object::table);
      EXPECT_EQ(error.part(), c.part);
      EXPECT_EQ(error.column(), c.column);
      EXPECT_EQ(error.lackingCodeset(), c.lackingCodeset);
    }
    EXPECT_EQ(scriptBytes(), kDateOrder + crlfLines({"insert First (A) Values(1)"}));
  }
}

// The trailer names the database: a name it cannot carry stops the run before any line.
TEST_F(GenerationRunTest, DatabaseNameTheScriptCannotWriteStopsTheRunAtOnce) {
  const Codeset gbk("GBK");
  ScriptFile gbkFile(gbk);
  const ValueText gbkValues(gbk, formats_);
  const struct {
    std::u16string database;
    ScriptOutput& output;
    const ValueText& values;
    const char* error;
  } cases[] = {
      {u"Shop\r\nGO\r\nDROP DATABASE Shop", file_, valueText_,
       "Database Shop\r\nGO\r\nDROP DATABASE Shop cannot be written: its name holds a line "
       "break."},
      {u"Shop😀", gbkFile, gbkValues,
       "Database Shop😀 cannot be written: its name holds a character that GBK lacks."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    start({deptTable()});
    input_.database = c.database;
    GenerationRun run(shop_->reader, c.output, c.values, formats_);
    try {
      run.writeScript(input_, observer_);
      ADD_FAILURE() << "the run did not fail";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), c.error);
    }
    EXPECT_EQ(scriptBytes(), "");
    EXPECT_TRUE(observer_.progress.empty());
  }
}

TEST(ColumnPart, NamesInTheirStatementForm) {
  EXPECT_EQ(columnPart({u" A ", u"B C", u"名称"}), u" ([ A ],[B C],名称) ");
}

}  // namespace
}  // namespace velmora::script
