// velmora-export's own options: other outputs, named tables, statement forms and progress.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <regex>

#include "e2e/export_runner.h"
#include "support/script_lines.h"
#include "support/standin_process.h"

namespace velmora::e2e {
namespace {

namespace fs = std::filesystem;
using test::crlfLines;

const std::string kPassword = "Velmora#2026";

class ExportOptionsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sample_ = std::make_unique<StandinProcess>(std::string(VELMORA_DATA_DIR) + "/sample.json");
    options_ =
        std::make_unique<StandinProcess>(std::string(VELMORA_TEST_DATA_DIR) + "/e2e/options.json");
  }
  static void TearDownTestSuite() {
    sample_.reset();
    options_.reset();
  }

  ExportOptionsTest() {
    char pattern[] = "/tmp/velmora-export-options-XXXXXX";
    directory_ = ::mkdtemp(pattern);
  }
  ~ExportOptionsTest() override { fs::remove_all(directory_); }

  ExportResult exportFrom(const StandinProcess& server, std::vector<std::string> arguments,
                          Streams streams = {}) {
    std::vector<std::string> all{"--server", server.serverText()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return runExport(directory_, all, {{"LC_ALL", "C.UTF-8"}, {"VELMORA_PASSWORD", kPassword}},
                     std::chrono::seconds(120), streams);
  }

  fs::path script() const { return directory_ / "MakeInitData.txt"; }

  static inline std::unique_ptr<StandinProcess> sample_;
  static inline std::unique_ptr<StandinProcess> options_;
  fs::path directory_;
};

TEST_F(ExportOptionsTest, StandardOutputThroughAPipeHoldsTheBytesOfMakeInitData) {
  const ExportResult toFile = exportFrom(*sample_, {"--database", "Shop"});
  ASSERT_EQ(toFile.exitCode, 0) << toFile.standardError;
  const std::string expected = readFile(script());
  fs::remove(script());

  const ExportResult piped =
      exportFrom(*sample_, {"--database", "Shop", "-o", "-"}, {Stream::pipe, Stream::pipe});
  EXPECT_EQ(piped.exitCode, 0) << piped.standardError;
  EXPECT_TRUE(piped.standardOutput == expected);
  EXPECT_EQ(piped.standardError, toFile.standardError);
  EXPECT_FALSE(fs::exists(script()));
}

// Standard output closed at start is opened on /dev/null; the script must not vanish there.
TEST_F(ExportOptionsTest, ClosedStandardOutputIsRefusedBeforeAnyLine) {
  const ExportResult closed =
      exportFrom(*sample_, {"--database", "Shop", "-o", "-"}, {Stream::closed, Stream::pipe});
  EXPECT_EQ(closed.exitCode, 1);
  EXPECT_EQ(closed.standardError, "Cannot write standard output: it is closed.\n");
}

// A name holding a line break and a terminal's escape sequence keeps its progress line on
// one line and leaves the terminal alone, in the progress and in the error alike.
TEST_F(ExportOptionsTest, ControlCharactersInNamesAreShownEscaped) {
  const ExportResult result =
      exportFrom(*options_, {"--database", "Odd", "-o", "-"}, {Stream::pipe, Stream::pipe});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.standardError,
            "正在处理表 a\\x0ab\\x1b[31m 的初始化数据....\n"
            "Table a\\x0ab\\x1b[31m cannot be written: its name holds a line break.\n");
}

TEST_F(ExportOptionsTest, TableOptionTakesANameWithACommaWhole) {
  const ExportResult result =
      exportFrom(*options_, {"--database", "Opts", "--table", "Sales, 2024", "--tables", "Plain",
                             "--no-go", "-o", "out.sql"});
  EXPECT_EQ(result.exitCode, 0) << result.standardError;
  EXPECT_EQ(readFile(directory_ / "out.sql"),
            crlfLines({"SET DATEFORMAT mdy", "insert Plain (ID) Values(1)",
                       "insert [Sales, 2024] (ID,Region) Values(7,'North')", "USE master",
                       "ALTER DATABASE Opts SET AUTO_SHRINK ON",
                       "ALTER DATABASE Opts SET AUTO_CLOSE ON"}));
}

// Deps: Lines -> Orders -> Customers, Staff -> Staff, and Pay -> Emp -> Mgr -> Pay with
// Emp -> Region, listed in that order, Region last.
TEST_F(ExportOptionsTest, DependencyOrderPutsReferencedTablesFirst) {
  const ExportResult result =
      exportFrom(*options_, {"--database", "Deps", "--order", "dependencies", "--no-go", "-o", "-"},
                 {Stream::pipe, Stream::pipe});
  EXPECT_EQ(result.exitCode, 0) << result.standardError;
  std::string tables;
  for (std::size_t at = 0; (at = result.standardOutput.find("insert ", at)) != std::string::npos;
       at += 7)
    tables +=
        result.standardOutput.substr(at + 7, result.standardOutput.find(' ', at + 7) - at - 7) +
        ' ';
  EXPECT_EQ(tables, "Customers Orders Lines Staff Region Pay Emp Mgr ");
  EXPECT_TRUE(result.standardError.starts_with(
      "velmora-export: warning: the foreign keys of Pay, Emp, Mgr form a cycle; these tables "
      "keep catalogue order\n正在处理表 Customers 的初始化数据....\n"))
      << result.standardError;
}

// The dbo table "a.b" references table b of schema a; the list shows both as "a.b".
TEST_F(ExportOptionsTest, DependencyOrderTellsTablesThatReadAlikeApart) {
  const ExportResult result = exportFrom(
      *options_, {"--database", "Alike", "--order", "dependencies", "--no-go", "-o", "-"},
      {Stream::pipe, Stream::pipe});
  EXPECT_EQ(result.exitCode, 0) << result.standardError;
  EXPECT_TRUE(result.standardOutput.starts_with(crlfLines(
      {"SET DATEFORMAT mdy", "insert a.b (ID) Values(2)", "insert [a.b] (ID) Values(1)"})))
      << result.standardOutput;
  EXPECT_EQ(result.standardError.find("warning"), std::string::npos) << result.standardError;
}

// Big takes long enough to be redrawn on a terminal; through a pipe the lines stay as they
// always were, and --quiet leaves only errors.
TEST_F(ExportOptionsTest, ProgressIsRedrawnOnATerminalOnly) {
  const std::vector<std::string> arguments{"--database", "Opts", "--table", "Big"};
  const std::string bigLine = "正在处理表 Big 的初始化数据....";
  const std::string lines = bigLine + "\n初始化数据处理完毕!\n";

  const ExportResult terminal = exportFrom(*options_, arguments, {Stream::file, Stream::terminal});
  EXPECT_EQ(terminal.exitCode, 0) << terminal.standardError;
  EXPECT_TRUE(std::regex_search(
      terminal.standardError,
      std::regex("^" + bigLine + "(\r" + bigLine +
                 " [1-9][0-9]{0,2}(,[0-9]{3})* rows, [0-9.]+[kM]? rows/s\x1b\\[K)+\r" + bigLine +
                 "\x1b\\[K\n初始化数据处理完毕!\n$")))
      << terminal.standardError;

  const ExportResult piped = exportFrom(*options_, arguments, {Stream::file, Stream::pipe});
  EXPECT_EQ(piped.exitCode, 0);
  EXPECT_EQ(piped.standardError, lines);

  std::vector<std::string> quietArguments = arguments;
  quietArguments.push_back("-q");
  const ExportResult quiet =
      exportFrom(*options_, quietArguments, {Stream::file, Stream::terminal});
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.standardError, "");
}

}  // namespace
}  // namespace velmora::e2e
