#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "script/script_output.h"

namespace velmora::script {

// A statement of several rows takes no more once it passes this size (mydumper's statement
// size does the same), so that wide rows do not pile up in memory rows-per-insert at a time.
inline constexpr std::size_t kStatementBytesCap = 1024 * 1024;

// The insert statements of one table, built as its rows arrive. Each row's values are
// appended to the statement being built; a statement goes out when it holds its number of
// rows or has passed kStatementBytesCap, and writeHeldRows() sends the whole rows of a shorter one,
// at the table's end or before a failure ends the run (a row begun but not ended is left out).
class StatementBatch {
 public:
  // `head` is everything before the first row's values, in the output's codeset:
  // "insert T (A,B) Values(" or, for a row of defaults, "insert T DEFAULT VALUES" (such a
  // statement holds one row and no value list). `rowsPerInsert` is at least 1.
  StatementBatch(ScriptOutput& output, std::string head, bool defaultsOnly, int rowsPerInsert,
                 bool withGoLines)
      : output_(output),
        head_(std::move(head)),
        rowsPerInsert_(defaultsOnly ? 1 : rowsPerInsert),
        closing_(defaultsOnly ? "" : ")"),
        withGoLines_(withGoLines) {}

  // The line to append the next row's values to, separated by commas.
  std::string& beginRow() {
    if (rows_ == 0)
      line_.assign(head_);
    else
      line_ += ",(";
    return line_;
  }
  // The row begun last is whole. Throws what the output throws.
  void endRow() {
    line_ += closing_;
    wholeRowsEnd_ = line_.size();
    if (++rows_ == rowsPerInsert_ || line_.size() >= kStatementBytesCap)
      writeStatement();
  }
  // Writes the whole rows of the statement being built, if any. Throws what the output throws.
  void writeHeldRows() {
    if (rows_ == 0)
      return;
    line_.resize(wholeRowsEnd_);
    writeStatement();
  }

 private:
  void writeStatement() {
    // Emptied first, so that a failed write is not tried again when the run ends.
    rows_ = 0;
    output_.appendConverted(line_);
    if (withGoLines_)
      output_.appendConverted("GO");
  }

  ScriptOutput& output_;
  const std::string head_;
  const int rowsPerInsert_;
  const std::string_view closing_;
  const bool withGoLines_;
  std::string line_;
  int rows_ = 0;
  std::size_t wholeRowsEnd_ = 0;  // where the last whole row ends in line_
};

}  // namespace velmora::script
