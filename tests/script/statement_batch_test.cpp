#include "script/statement_batch.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace velmora::script {
namespace {

// Keeps the lines it is given; fails the appends it is told to.
class LineOutput : public ScriptOutput {
 public:
  const Codeset& codeset() const override { return codeset_; }
  void prepare() override {}
  std::optional<OutputLock> resetScript() override { return std::nullopt; }
  void appendLine(std::u16string_view line) override { appendConverted(codeset_.fromUtf16(line)); }
  void appendConverted(std::string_view bytes) override {
    if (failuresLeft > 0) {
      --failuresLeft;
      throw std::runtime_error("Disk full");
    }
    lines.emplace_back(bytes);
  }

  std::vector<std::string> lines;
  int failuresLeft = 0;

 private:
  Codeset codeset_{"UTF-8"};
};

// Rows 1..`rows` into `batch`, each with its number as its value unless rows of defaults have
// none; when `halfRow`, one more row is begun but not ended.
void addRows(StatementBatch& batch, int rows, bool defaultsOnly, bool halfRow) {
  for (int row = 1; row <= rows; ++row) {
    std::string& line = batch.beginRow();
    if (!defaultsOnly)
      line += std::to_string(row);
    batch.endRow();
  }
  if (halfRow)
    batch.beginRow() += "9";
}

TEST(StatementBatchTest, RowsGoIntoStatementsOfTheirNumber) {
  const struct {
    const char* name;
    bool defaultsOnly;
    int rowsPerInsert;
    bool withGo;
    int rows;
    bool halfRow;
    std::vector<std::string> lines;
  } cases[] = {
      {"one row a statement, GO after each",
       false,
       1,
       true,
       2,
       false,
       {"insert T (A) Values(1)", "GO", "insert T (A) Values(2)", "GO"}},
      {"full statements, then the rest",
       false,
       2,
       false,
       3,
       false,
       {"insert T (A) Values(1),(2)", "insert T (A) Values(3)"}},
      {"a row begun but not ended is left out",
       false,
       3,
       false,
       2,
       true,
       {"insert T (A) Values(1),(2)"}},
      {"nothing held, nothing written", false, 2, false, 0, true, {}},
      {"rows of defaults stay one a statement",
       true,
       5,
       false,
       2,
       false,
       {"insert T DEFAULT VALUES", "insert T DEFAULT VALUES"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LineOutput output;
    StatementBatch batch(output,
                         c.defaultsOnly ? "insert T DEFAULT VALUES" : "insert T (A) Values(",
                         c.defaultsOnly, c.rowsPerInsert, c.withGo);
    addRows(batch, c.rows, c.defaultsOnly, c.halfRow);
    batch.writeHeldRows();
    EXPECT_EQ(output.lines, c.lines);
  }
}

TEST(StatementBatchTest, AStatementThatFailedToGoOutIsNotTriedAgain) {
  LineOutput output;
  output.failuresLeft = 1;
  StatementBatch batch(output, "insert T (A) Values(", false, 2, false);
  batch.beginRow() += "1";
  batch.endRow();
  batch.beginRow() += "2";
  EXPECT_THROW(batch.endRow(), std::runtime_error);
  batch.writeHeldRows();
  EXPECT_TRUE(output.lines.empty());
}

}  // namespace
}  // namespace velmora::script
