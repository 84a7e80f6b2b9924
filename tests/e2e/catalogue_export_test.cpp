// velmora-export over a database shaped like a real catalogue: tables of several schemas, one
// name in two of them, names that need brackets, a table of computed columns only, exact
// decimals of 38 places, float and real edge values, line breaks a script runner misreads and
// sql_variant values of every base type.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "e2e/export_runner.h"
#include "support/script_lines.h"
#include "support/standin_process.h"

namespace velmora::e2e {
namespace {

namespace fs = std::filesystem;

class CatalogueExportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = std::make_unique<StandinProcess>(std::string(VELMORA_TEST_DATA_DIR) +
                                               "/e2e/catalogue.json");
  }
  static void TearDownTestSuite() { server_.reset(); }

  CatalogueExportTest() {
    char pattern[] = "/tmp/velmora-catalogue-e2e-XXXXXX";
    directory_ = ::mkdtemp(pattern);
  }
  ~CatalogueExportTest() override { fs::remove_all(directory_); }

  ExportResult exportCatalogue(const std::string& locale, std::vector<std::string> arguments = {}) {
    std::vector<std::string> all{"--server", server_->serverText(), "--database", "Real Works"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return runExport(directory_, all, {{"LC_ALL", locale}, {"VELMORA_PASSWORD", "Velmora#2026"}});
  }

  fs::path script() const { return directory_ / "MakeInitData.txt"; }

  static inline std::unique_ptr<StandinProcess> server_;
  fs::path directory_;
};

TEST_F(CatalogueExportTest, WholeCatalogueGivesTheExpectedScript) {
  const ExportResult result = exportCatalogue("C.UTF-8");
  EXPECT_EQ(result.exitCode, 0) << result.standardError;
  const fs::path expected = fs::path(VELMORA_TEST_DATA_DIR) / "e2e/catalogue.expected.txt";
  EXPECT_TRUE(readFile(script()) == readFile(expected)) << unifiedDiff(expected, script());
}

// The tables before the one whose name GBK lacks are written, then the run stops there.
TEST_F(CatalogueExportTest, TableNameTheCodesetLacksStopsTheRunAtThatTable) {
  const ExportResult result = exportCatalogue("zh_CN.GBK");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(result.standardError.ends_with(
      "Table Emoji? cannot be written: its name holds a character that GBK lacks.\n"))
      << result.standardError;
  EXPECT_TRUE(readFile(script()).ends_with(
      test::crlfLines({"insert Variants (Id,V) Values(26,Null)", "GO"})));
}

// --tables takes the entries as the table list shows them, a comma inside brackets included.
TEST_F(CatalogueExportTest, NamedTablesByTheirEntryTexts) {
  const ExportResult result = exportCatalogue(
      "C.UTF-8",
      {"--tables", "Production.[x]],y],Sales.Customer,[my sales].[Order Details]", "--no-go"});
  EXPECT_EQ(result.exitCode, 0) << result.standardError;
  EXPECT_EQ(readFile(script()),
            test::crlfLines(
                {"SET DATEFORMAT mdy", "SET IDENTITY_INSERT Sales.Customer ON",
                 "insert Sales.Customer (CustomerID,Name,Region) Values('7',N'Sales side',N'East')",
                 "SET IDENTITY_INSERT Sales.Customer OFF",
                 "insert [my sales].[Order Details] (OrderID,[Unit Price]) Values(10248,'14')",
                 "insert Production.[x]],y] (ID) Values(6)", "USE master",
                 "ALTER DATABASE [Real Works] SET AUTO_SHRINK ON",
                 "ALTER DATABASE [Real Works] SET AUTO_CLOSE ON"}));
}

// Rows of defaults cannot share a statement: each stays one, whatever rows per insert.
TEST_F(CatalogueExportTest, RowsOfDefaultsStayOneAStatement) {
  const ExportResult result =
      exportCatalogue("C.UTF-8", {"--tables", "Audit", "--rows-per-insert", "2", "--no-go"});
  EXPECT_EQ(result.exitCode, 0) << result.standardError;
  EXPECT_TRUE(readFile(script()).starts_with(
      test::crlfLines({"SET DATEFORMAT mdy", "insert Audit DEFAULT VALUES",
                       "insert Audit DEFAULT VALUES", "USE master"})));
}

}  // namespace
}  // namespace velmora::e2e
