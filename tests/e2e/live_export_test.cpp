// velmora-export on a database in use: row conditions, left-out tables and columns,
// constraint lines, one snapshot, packed and marked outputs. Each script is compared with
// the plain run's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

#include "e2e/export_runner.h"
#include "support/script_lines.h"
#include "support/standin_process.h"

namespace velmora::e2e {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const std::string kPassword = "Velmora#2026";
const std::string kFixture = std::string(VELMORA_TEST_DATA_DIR) + "/e2e/live.json";

Lines linesOf(const std::string& bytes) {
  Lines lines;
  for (std::size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(bytes.substr(at, end - at));
  return lines;
}

// A statement and the GO line after it.
void drop(Lines& lines, const std::string& statement) {
  const auto at = std::find(lines.begin(), lines.end(), statement);
  ASSERT_TRUE(at != lines.end() && at + 1 != lines.end() && at[1] == "GO") << statement;
  lines.erase(at, at + 2);
}

void change(Lines& lines, const std::string& from, const std::string& to) {
  const auto at = std::find(lines.begin(), lines.end(), from);
  ASSERT_TRUE(at != lines.end()) << from;
  *at = to;
}

// Statements, each with its GO line, before the line `before`.
void put(Lines& lines, const std::string& before, const Lines& statements) {
  auto at = std::find(lines.begin(), lines.end(), before);
  ASSERT_TRUE(at != lines.end()) << before;
  for (const std::string& statement : statements)
    at = lines.insert(at, {statement, "GO"}) + 2;
}

class LiveExportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { live_ = std::make_unique<StandinProcess>(kFixture); }
  static void TearDownTestSuite() { live_.reset(); }

  LiveExportTest() {
    char pattern[] = "/tmp/velmora-live-export-XXXXXX";
    directory_ = ::mkdtemp(pattern);
  }
  ~LiveExportTest() override { fs::remove_all(directory_); }

  ExportResult exportFrom(const StandinProcess& server, std::vector<std::string> arguments,
                          const std::string& locale = "C.UTF-8") {
    std::vector<std::string> all{"--server", server.serverText(), "-q"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return runExport(directory_, all, {{"LC_ALL", locale}, {"VELMORA_PASSWORD", kPassword}});
  }
  // The bytes of `-o out` of database Live with `arguments` on top.
  std::string outputOf(std::vector<std::string> arguments, const std::string& out = "out.sql") {
    arguments.insert(arguments.end(), {"--database", "Live", "-o", out});
    const ExportResult result = exportFrom(*live_, arguments);
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    return readFile(directory_ / out);
  }

  static inline std::unique_ptr<StandinProcess> live_;
  fs::path directory_;
};

struct OptionCase {
  const char* name;
  std::vector<std::string> arguments;
  // Turns the plain run's lines into the lines expected with the option.
  std::function<void(Lines&)> edit;
};

TEST_F(LiveExportTest, EachOptionRemovesAndAddsOnlyItsOwnLines) {
  const std::string dept1 = "insert Dept (ID,Name,Audit) Values('1',N'Sales','x')";
  const std::string dept2 = "insert Dept (ID,Name,Audit) Values('2',N'R&D','y')";
  const std::string log1 = "insert Log (ID,At,Note) Values(1,'2023-12-31',N'old')";
  const std::string log2 = "insert Log (ID,At,Note) Values(2,'2024-01-01',N'new')";
  const std::string log3 = "insert Log (ID,At,Note) Values(3,'2024-03-05',N'newer')";
  const OptionCase cases[] = {
      {"a date column against a 'yyyymmdd' literal",
       {"--where", "Log=At >= '20240101'"},
       [&](Lines& lines) { drop(lines, log1); }},
      {"a table whose name holds an equals sign, named in brackets",
       {"--where=[a=b]=ID <> 1"},
       [](Lines& lines) { drop(lines, "insert [a=b] (ID) Values(1)"); }},
      {"a table read with the base types of its sql_variant values",
       {"--where", "Var=ID = 2"},
       [](Lines& lines) { drop(lines, "insert Var (ID,V) Values(1,'5')"); }},
      {"a table left out",
       {"--exclude-table", "log"},
       [&](Lines& lines) {
         for (const std::string& line : {log1, log2, log3})
           drop(lines, line);
       }},
      {"the identity column left out",
       {"--exclude-column", "Dept=ID"},
       [&](Lines& lines) {
         drop(lines, "SET IDENTITY_INSERT Dept ON");
         drop(lines, "SET IDENTITY_INSERT Dept OFF");
         change(lines, dept1, "insert Dept (Name,Audit) Values(N'Sales','x')");
         change(lines, dept2, "insert Dept (Name,Audit) Values(N'R&D','y')");
       }},
      {"another column left out, named in another case",
       {"--exclude-column", "dept=audit"},
       [&](Lines& lines) {
         change(lines, dept1, "insert Dept (ID,Name) Values('1',N'Sales')");
         change(lines, dept2, "insert Dept (ID,Name) Values('2',N'R&D')");
       }},
      {"constraints, not for a table empty or filtered empty",
       {"--disable-constraints", "--where", "Log=At > '20250101'"},
       [&](Lines& lines) {
         for (const std::string& line : {log1, log2, log3})
           drop(lines, line);
         put(lines, "SET IDENTITY_INSERT Dept ON",
             {"ALTER TABLE Dept NOCHECK CONSTRAINT ALL", "ALTER TABLE [a=b] NOCHECK CONSTRAINT ALL",
              "ALTER TABLE Var NOCHECK CONSTRAINT ALL"});
         put(lines, "USE master",
             {"ALTER TABLE Dept WITH CHECK CHECK CONSTRAINT ALL",
              "ALTER TABLE [a=b] WITH CHECK CHECK CONSTRAINT ALL",
              "ALTER TABLE Var WITH CHECK CHECK CONSTRAINT ALL"});
       }},
  };
  const Lines plain = linesOf(outputOf({}));
  for (const OptionCase& option : cases) {
    SCOPED_TRACE(option.name);
    Lines expected = plain;
    option.edit(expected);
    EXPECT_EQ(linesOf(outputOf(option.arguments)), expected);
  }
}

TEST_F(LiveExportTest, PackedAndMarkedOutputsHoldThePlainBytes) {
  const struct {
    std::vector<std::string> arguments;
    const char* out;
    const char* unpack;  // null: the bytes as they are
    std::string before;  // what stands before the plain bytes
  } cases[] = {
      {{}, "out.sql.gz", "gzip -dc", ""},
      {{}, "out.sql.zst", "zstd -dcq", ""},
      {{"--compress", "gzip"}, "out.sql", "gzip -dc", ""},
      {{"--compress", "zstd", "--bom"}, "out.sql", "zstd -dcq", "\xEF\xBB\xBF"},
      {{"--bom"}, "out.sql", nullptr, "\xEF\xBB\xBF"},
  };
  const std::string plain = outputOf({}, "plain.sql");
  for (const auto& packed : cases) {
    SCOPED_TRACE(packed.out);
    outputOf(packed.arguments, packed.out);
    const fs::path file = directory_ / packed.out;
    const ProgramResult unpacked =
        packed.unpack == nullptr
            ? ProgramResult{0, readFile(file), ""}
            : runProgram(
                  {"/bin/sh", "-c", std::string(packed.unpack) + " '" + file.string() + "'"});
    EXPECT_EQ(unpacked.exitCode, 0) << unpacked.err;
    EXPECT_TRUE(unpacked.out == packed.before + plain);
    fs::remove(file);
  }
}

// The server drops the connection inside table Cut: the packed file unpacks to what the
// plain output holds, the whole table before included, though its packed stream has no end.
TEST_F(LiveExportTest, APackedOutputOfAFailedRunUnpacksToWhatThePlainOutputHolds) {
  for (const char* out : {"out.sql", "out.sql.gz", "out.sql.zst"})
    EXPECT_EQ(exportFrom(*live_, {"--database", "Failing", "-o", out}).exitCode, 1);
  const std::string plain = readFile(directory_ / "out.sql");
  EXPECT_NE(plain.find("insert Whole (ID) Values(2)"), std::string::npos);
  for (const char* unpack : {"gzip -dc out.sql.gz", "zstd -dcq out.sql.zst"}) {
    const ProgramResult unpacked =
        runProgram({"/bin/sh", "-c", "cd '" + directory_.string() + "' && " + unpack});
    EXPECT_TRUE(unpacked.out == plain) << unpack;
  }
}

TEST_F(LiveExportTest, RefusedOptionsStopBeforeTheScriptIsTouched) {
  const struct {
    std::vector<std::string> arguments;
    std::string error;
    std::string locale = "C.UTF-8";
  } cases[] = {
      {{"--where", "Log=At >>= 1"},
       "Table 'Log': the server refused its row condition: Incorrect syntax near '>'.\n"},
      {{"--where", "Nope=ID = 1"}, "Table 'Nope' not found.\n"},
      {{"--table", "Dept", "--where", "Log=ID = 1"},
       "Table 'Log' of option --where is not exported.\n"},
      {{"--exclude-column", "Dept=Nope"}, "Column 'Nope' of table 'Dept' not found.\n"},
      {{"--where", "Log=ID = 1", "--where", "log=ID = 2"},
       "Table 'log' has two row conditions; join them with AND.\n"},
      {{"--snapshot"},
       "Database Live does not allow snapshot isolation. Allow it with ALTER DATABASE Live SET "
       "ALLOW_SNAPSHOT_ISOLATION ON, or export without --snapshot.\n"},
      {{"--bom", "-o", "out.sql"},
       "A byte-order mark is written only under a UTF-8 locale; this locale's codeset is GBK.\n",
       "zh_CN.GBK"},
  };
  const fs::path script = directory_ / "MakeInitData.txt";
  for (const auto& refused : cases) {
    SCOPED_TRACE(refused.error);
    std::ofstream(script, std::ios::binary) << "earlier\r\n";
    std::vector<std::string> arguments{"--database", "Live"};
    arguments.insert(arguments.end(), refused.arguments.begin(), refused.arguments.end());
    const ExportResult result = exportFrom(*live_, arguments, refused.locale);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.standardError, refused.error);
    EXPECT_EQ(readFile(script), "earlier\r\n");
    EXPECT_FALSE(fs::exists(directory_ / "out.sql"));
  }
}

// Stock is written by another session after the server's first read of a table.
TEST_F(LiveExportTest, SnapshotKeepsTheRowsOfItsFirstReadWhileAPlainRunSeesTheWrite) {
  for (const auto& [arguments, stock] :
       {std::pair{Lines{}, "insert Stock (ID,Qty) Values(1,7)"},
        std::pair{Lines{"--snapshot"}, "insert Stock (ID,Qty) Values(1,10)"}}) {
    SCOPED_TRACE(stock);
    const StandinProcess fresh(kFixture);
    Lines all{"--database", "Moving", "--no-go", "-o", "-"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<std::string> command{"--server", fresh.serverText(), "-q"};
    command.insert(command.end(), all.begin(), all.end());
    const ExportResult result =
        runExport(directory_, command, {{"LC_ALL", "C.UTF-8"}, {"VELMORA_PASSWORD", kPassword}},
                  std::chrono::seconds(60), {Stream::pipe, Stream::pipe});
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    EXPECT_EQ(result.standardOutput,
              test::crlfLines({"SET DATEFORMAT mdy", "insert First (ID) Values(1)", stock,
                               "USE master", "ALTER DATABASE Moving SET AUTO_SHRINK ON",
                               "ALTER DATABASE Moving SET AUTO_CLOSE ON"}));
  }
}

}  // namespace
}  // namespace velmora::e2e
