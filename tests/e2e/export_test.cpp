// velmora-export against the stand-in serving the sample server: the scripts it writes, its
// progress and error output and its exit codes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "e2e/export_runner.h"
#include "support/script_lines.h"
#include "support/standin_process.h"

namespace velmora::e2e {
namespace {

namespace fs = std::filesystem;
using test::crlfLines;

const std::string kSamplePassword = "Velmora#2026";
const std::string kConnectFailure =
    "无法连接数据库，可能是用户名、密码错或计算机上未安装SQL SERVER\n";

std::string progressLines(std::initializer_list<std::string_view> tables) {
  std::string text;
  for (std::string_view table : tables) {
    text += "正在处理表 ";
    text += table;
    text += " 的初始化数据....\n";
  }
  return text;
}

// The first line of a script written under C.UTF-8 without GO lines.
const std::string kDateOrder = crlfLines({"SET DATEFORMAT mdy"});
const std::string kDeptLines =
    crlfLines({"insert Dept (ID,Name,Active,Note) Values(1,N'Sales',1,Null)",
               "insert Dept (ID,Name,Active,Note) Values(2,N'O''Brien & Co',0,N'call back')"});
const std::string kShopTrailer = crlfLines({"USE master", "ALTER DATABASE Shop SET AUTO_SHRINK ON",
                                            "ALTER DATABASE Shop SET AUTO_CLOSE ON"});

class ExportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sample_ = std::make_unique<StandinProcess>(std::string(VELMORA_DATA_DIR) + "/sample.json");
  }
  static void TearDownTestSuite() { sample_.reset(); }

  ExportTest() {
    char pattern[] = "/tmp/velmora-export-e2e-XXXXXX";
    directory_ = ::mkdtemp(pattern);
  }
  ~ExportTest() override { fs::remove_all(directory_); }

  // Runs the exporter on the sample server under C.UTF-8 with the sample's password.
  ExportResult exportSample(std::vector<std::string> arguments, EnvironmentChanges changes = {}) {
    std::vector<std::string> all{"--server", sample_->serverText()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    EnvironmentChanges environment{{"LC_ALL", "C.UTF-8"}, {"VELMORA_PASSWORD", kSamplePassword}};
    for (auto& [name, value] : changes)
      environment[name] = value;
    return runExport(directory_, all, environment);
  }

  fs::path script() const { return directory_ / "MakeInitData.txt"; }

  // Exports Shop from `server` and expects the sample's golden script.
  void expectSampleScript(const std::string& server) {
    const ExportResult result =
        runExport(directory_, {"--server", server, "--database", "Shop"},
                  {{"LC_ALL", "C.UTF-8"}, {"VELMORA_PASSWORD", kSamplePassword}});
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    const fs::path golden = fs::path(VELMORA_DATA_DIR) / "sample-shop.expected.txt";
    EXPECT_TRUE(readFile(script()) == readFile(golden)) << unifiedDiff(golden, script());
  }

  // Expects the connection failure from `server`, with `reason` on a second line, sooner
  // than the login timeout of 15 s.
  void expectConnectFailureInTime(const std::string& server, const std::string& reason) {
    const auto start = std::chrono::steady_clock::now();
    const ExportResult result =
        runExport(directory_, {"--server", server, "--database", "Shop"},
                  {{"LC_ALL", "C.UTF-8"}, {"VELMORA_PASSWORD", kSamplePassword}});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.standardError, kConnectFailure + reason + "\n");
    EXPECT_LT(took, std::chrono::seconds(15));
  }

  static inline std::unique_ptr<StandinProcess> sample_;
  fs::path directory_;
};

TEST_F(ExportTest, SampleScriptsEqualTheGoldenFiles) {
  struct Case {
    std::vector<std::string> arguments;
    const char* golden;
  };
  const std::vector<Case> cases = {
      {{"--database", "Shop"}, "sample-shop.expected.txt"},
      {{"--database", "Shop", "--no-go"}, "sample-shop-nogo.expected.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.golden);
    const ExportResult result = exportSample(c.arguments);
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    EXPECT_EQ(result.standardError,
              progressLines({"Dept", "Products", "Order Details", "Audit", "Customers"}) +
                  "初始化数据处理完毕!\n");
    const fs::path golden = fs::path(VELMORA_DATA_DIR) / c.golden;
    EXPECT_TRUE(readFile(script()) == readFile(golden)) << unifiedDiff(golden, script());
  }
}

// SQL Server 2019 encrypts the login packet (`login`); a server that forces encryption, or
// Azure SQL, the whole session (`required`). The script is the same.
TEST_F(ExportTest, EncryptedServersGiveTheSameScript) {
  for (const char* mode : {"login", "required"}) {
    SCOPED_TRACE(mode);
    const StandinProcess server(std::string(VELMORA_DATA_DIR) + "/sample.json",
                                {"--encryption", mode});
    expectSampleScript(server.serverText());
  }
}

// A named instance is found through the SQL Server Browser on UDP port 1434 of its host,
// which the test needs for itself.
TEST_F(ExportTest, NamedInstanceIsFoundThroughTheBrowser) {
  if (!loopbackPortFree(SOCK_DGRAM, 1434))
    GTEST_SKIP() << "UDP port 127.0.0.1:1434 is in use, so no Browser can be played";
  {
    const StandinProcess server(std::string(VELMORA_DATA_DIR) + "/sample.json",
                                {"--instance", "VELMORA", "--encryption", "login"});
    expectSampleScript("127.0.0.1\\velmora");
    SCOPED_TRACE("an instance the Browser does not know");
    expectConnectFailureInTime("127.0.0.1\\NOPE",
                               "The SQL Server Browser on 127.0.0.1 did not name instance NOPE.");
  }
  SCOPED_TRACE("no Browser");
  expectConnectFailureInTime("127.0.0.1\\VELMORA",
                             "No SQL Server Browser listens on 127.0.0.1 (UDP port 1434).");
}

TEST_F(ExportTest, NamedTablesAreWrittenInCatalogueOrder) {
  const ExportResult result =
      exportSample({"--database", "shop", "--tables", "Order Details,dept", "--no-go"});
  EXPECT_EQ(result.exitCode, 0) << result.standardError;
  EXPECT_EQ(readFile(script()),
            kDateOrder + kDeptLines +
                crlfLines({"insert [Order Details] (OrderID,[Unit Price],Quantity) "
                           "Values(10248,'14',12)"}) +
                kShopTrailer);
}

TEST_F(ExportTest, FailuresExitWithTheirCodeAndText) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    EnvironmentChanges environment;
    int exitCode;
    std::string errorOutput;
  };
  const std::vector<Case> cases = {
      {"wrong password",
       {"--database", "Shop"},
       {{"VELMORA_PASSWORD", "wrong"}},
       2,
       kConnectFailure},
      {"--password wins over the environment",
       {"--database", "Shop", "--password", "wrong"},
       {},
       2,
       kConnectFailure},
      {"no server listening",
       {"--server", "127.0.0.1,1", "--database", "Shop"},
       {},
       2,
       kConnectFailure},
      {"password the driver cannot take",
       {"--database", "Shop"},
       {{"VELMORA_PASSWORD", "a};b"}},
       2,
       "The password holds \"};\", which the ODBC driver cannot take.\n"},
      {"unknown database", {"--database", "Nope"}, {}, 1, "Database 'Nope' not found.\n"},
      {"unknown table",
       {"--database", "Shop", "--tables", "Dept,Nope"},
       {},
       1,
       "Table 'Nope' not found.\n"},
      {"database without tables writes the trailer",
       {"--database", "Empty", "--no-go"},
       {},
       0,
       "初始化数据处理完毕!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(script());
    const ExportResult result = exportSample(c.arguments, c.environment);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(result.standardError, c.errorOutput);
    // A run that cannot start leaves no script behind.
    EXPECT_EQ(fs::exists(script()), c.exitCode == 0);
  }
}

// The server drops the connection after sending two rows of Items: both rows are written,
// then the driver's error, and no trailer.
TEST_F(ExportTest, DroppedConnectionWritesEveryRowSentAndNoTrailer) {
  const StandinProcess dropping(std::string(VELMORA_TEST_DATA_DIR) + "/e2e/drop.json");
  const ExportResult result =
      runExport(directory_, {"--server", dropping.serverText(), "--database", "Shop"},
                {{"LC_ALL", "C.UTF-8"}, {"VELMORA_PASSWORD", kSamplePassword}});

  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.standardError,
            progressLines({"Dept", "Items"}) + "Unexpected EOF from the server.\n");
  EXPECT_EQ(readFile(script()), crlfLines({
                                    "SET DATEFORMAT mdy",
                                    "GO",
                                    "insert Dept (ID,Name) Values(1,N'Sales')",
                                    "GO",
                                    "insert Dept (ID,Name) Values(2,N'O''Brien & Co')",
                                    "GO",
                                    "SET IDENTITY_INSERT Items ON",
                                    "GO",
                                    "insert Items (ID,Label) Values('1','one')",
                                    "GO",
                                    "insert Items (ID,Label) Values('2','two')",
                                    "GO",
                                }));
}

// Progress lines that cannot be written (standard error a pipe that nobody reads any more)
// are no failure: the script is written whole.
TEST_F(ExportTest, BrokenStandardErrorIsNoFailure) {
  const ExportResult result =
      runExport(directory_, {"--server", sample_->serverText(), "--database", "Shop"},
                {{"LC_ALL", "C.UTF-8"}, {"VELMORA_PASSWORD", kSamplePassword}},
                std::chrono::seconds(60), {.error = Stream::brokenPipe});
  EXPECT_EQ(result.exitCode, 0);
  const fs::path golden = fs::path(VELMORA_DATA_DIR) / "sample-shop.expected.txt";
  EXPECT_TRUE(readFile(script()) == readFile(golden)) << unifiedDiff(golden, script());
}

// A second run in the folder of a run under way fails at once and leaves the first run's
// script alone.
TEST_F(ExportTest, SecondRunInTheFolderFailsAtOnce) {
  constexpr int kRows = 400000;
  const StandinProcess bulk(std::string(VELMORA_TEST_DATA_DIR) + "/e2e/many.json");
  const std::vector<std::string> arguments{"--server", bulk.serverText(), "--database", "Bulk",
                                           "--no-go"};
  const EnvironmentChanges environment{{"LC_ALL", "C.UTF-8"},
                                       {"VELMORA_PASSWORD", kSamplePassword}};
  const StartedExport first = startExport(directory_, arguments, environment, {}, "-first");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!fs::exists(script()) || fs::file_size(script()) == 0) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the first run wrote nothing";
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

  const ExportResult second = runExport(directory_, arguments, environment);
  const bool firstStillRunning = ::waitpid(first.pid, nullptr, WNOHANG) == 0;
  const ExportResult firstResult = finishExport(first);

  ASSERT_TRUE(firstStillRunning) << "the first run ended before the second one started";
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_EQ(second.standardError, "MakeInitData.txt is being written by another run.\n");
  EXPECT_EQ(firstResult.exitCode, 0) << firstResult.standardError;
  const std::string text = readFile(script());
  std::size_t inserts = 0;
  for (std::size_t at = 0; (at = text.find("insert Many (ID) Values(", at)) != std::string::npos;
       ++at)
    ++inserts;
  EXPECT_EQ(inserts, static_cast<std::size_t>(kRows));
  EXPECT_TRUE(text.starts_with("SET DATEFORMAT mdy\r\ninsert Many (ID) Values("));
  EXPECT_NE(text.find(")\r\nUSE master\r\n"), std::string::npos);
}

TEST_F(ExportTest, CommandLine) {
  struct Case {
    std::vector<std::string> arguments;
    int exitCode;
    std::string outputStart;
    std::string errorStart;
  };
  const std::vector<Case> cases = {
      {{"--help"}, 0, "Usage: velmora-export --server S --database D", ""},
      {{"--version"}, 0, "velmora-export 0.", ""},
      {{"--database", "Shop"}, 1, "", "velmora-export: option --server is required\n"},
      {{"--server", "x", "--database"}, 1, "", "velmora-export: option --database needs a value\n"},
      {{"--server", "x", "--database", "D", "--frobnicate"},
       1,
       "",
       "velmora-export: unknown argument --frobnicate\n"},
      {{"--server=x", "--database=D", "--no-go=1"}, 1, "", "velmora-export: option --no-go"},
      {{"--server=x", "--database=D", "--", "extra"},
       1,
       "",
       "velmora-export: unexpected argument extra\n"},
      {{"--server=x", "--", "--database=D"}, 1, "", "velmora-export: unexpected argument"},
      {{"--server=x", "--database", "D", "--encrypt=always"},
       1,
       "",
       "velmora-export: option --encrypt takes optional or mandatory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    const ExportResult result = runExport(directory_, c.arguments, {{"LC_ALL", "C.UTF-8"}});
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_TRUE(result.standardOutput.starts_with(c.outputStart)) << result.standardOutput;
    EXPECT_TRUE(result.standardError.starts_with(c.errorStart)) << result.standardError;
  }
}

TEST_F(ExportTest, GbkLocaleWritesGbkBytes) {
  if (std::setlocale(LC_ALL, "zh_CN.GBK") == nullptr)
    GTEST_SKIP() << "locale zh_CN.GBK is not installed (scripts/setup.sh makes it)";
  std::setlocale(LC_ALL, "C");

  const ExportResult result = exportSample(
      {"--database", "Shop", "--tables", "Customers,Dept", "--no-go"}, {{"LC_ALL", "zh_CN.GBK"}});

  EXPECT_EQ(result.exitCode, 0) << result.standardError;
  // Zoë: GBK has no ë. Dates are written year first under zh_CN, and read so.
  EXPECT_EQ(
      readFile(script()),
      crlfLines({"SET DATEFORMAT ymd"}) + kDeptLines +
          crlfLines({"insert Customers (Code,Name,Memo,Born) Values(N'C001',N'\xD5\xC5\xC8\xFD',"
                     "N'first line",
                     "second line','1990-07-01')",
                     "insert Customers (Code,Name,Memo,Born) Values(N'C002',N'Zo?',Null,Null)"}) +
          kShopTrailer);
  EXPECT_TRUE(result.standardError.ends_with(
      "\xB3\xF5\xCA\xBC\xBB\xAF\xCA\xFD\xBE\xDD\xB4\xA6\xC0\xED\xCD\xEA\xB1\xCF!\n"));
}

// SQL Server allows 4,096 columns; FreeTDS binds at most 4,000 of them.
TEST_F(ExportTest, TableOfTheMostColumnsIsWrittenWhole) {
  constexpr int kColumns = 4096;
  std::string columns, values, names, literals;
  for (int i = 1; i <= kColumns; ++i) {
    const std::string separator = i == 1 ? "" : ",";
    const std::string number = std::to_string(i);
    columns += separator + R"({"name": "C)" + number + R"(", "type": "int"})";
    values += separator + number;
    names += separator + "C" + number;
    literals += separator + number;
  }
  const fs::path fixture = directory_ / "wide.json";
  std::ofstream(fixture) << R"({"login": {"user": "sa", "password": ")" << kSamplePassword
                         << R"("}, "databases": [{"name": "Wide", "id": 7, "tables": [)"
                         << R"({"name": "W", "columns": [)" << columns << R"(], "rows": [[)"
                         << values << "]]}]}]}";
  const StandinProcess wide(fixture.string());

  const ExportResult result =
      runExport(directory_, {"--server", wide.serverText(), "--database", "Wide", "--no-go"},
                {{"LC_ALL", "C.UTF-8"}, {"VELMORA_PASSWORD", kSamplePassword}});

  EXPECT_EQ(result.exitCode, 0) << result.standardError;
  EXPECT_EQ(readFile(script()),
            crlfLines({"SET DATEFORMAT mdy", "insert W (" + names + ") Values(" + literals + ")",
                       "USE master", "ALTER DATABASE Wide SET AUTO_SHRINK ON",
                       "ALTER DATABASE Wide SET AUTO_CLOSE ON"}));
}

}  // namespace
}  // namespace velmora::e2e
