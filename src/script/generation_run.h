#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "script/script_output.h"
#include "script/value_text.h"
#include "server/table_reader.h"

namespace velmora::script {

// The state a generation run reads and writes: the window implements it over its controls,
// the exporter over plain lists.
class GenerationHost {
 public:
  virtual ~GenerationHost() = default;

  // The table list; the tick is read when the run reaches the entry.
  virtual int tableCount() const = 0;
  virtual std::u16string tableName(int index) const = 0;
  virtual bool isTableTicked(int index) const = 0;
  // The chosen database's text, as the database list shows it.
  virtual std::u16string databaseName() const = 0;
  // The column-name list.
  virtual void setColumnNames(const std::vector<std::u16string>& names) = 0;
  virtual std::vector<std::u16string> columnNames() const = 0;
  // The progress text.
  virtual void setProgressText(const std::u16string& text) = 0;
  // Lets the host handle what is pending (repaint, clicks, ticks); may do nothing.
  virtual void processPendingEvents() = 0;
  // One more row of the current table has gone into a statement.
  virtual void rowWritten() {}
};

// How a run writes its statements.
struct StatementForm {
  // A line GO after every statement and trailer line.
  bool withGoLines = true;
  // Rows in one insert statement: "insert T (...) Values(...),(...)"; the last statement of
  // a table may hold fewer. At most kMaxRowsPerInsert, SQL Server's limit for a VALUES list.
  int rowsPerInsert = 1;
};
inline constexpr int kMaxRowsPerInsert = 1000;
// A statement of several rows takes no more once it passes this size (mydumper's statement
// size does the same), so that wide rows do not pile up in memory rows-per-insert at a time.
inline constexpr std::size_t kStatementBytesCap = 1024 * 1024;

// The generation run: every row of every ticked table as one INSERT line, then the trailer.
class GenerationRun {
 public:
  GenerationRun(GenerationHost& host, server::TableReader& reader, ScriptOutput& file,
                const ValueText& valueText)
      : host_(host), reader_(reader), file_(file), valueText_(valueText) {}

  // True while MakeInitDataSql is under way (also inside the host's pending events).
  bool isRunning() const { return running_; }

  // Appends the statements of every ticked table, then the trailer, to the script as it is.
  // Throws whatever the reader, the value texts or the script file throw; the lines written
  // so far stay.
  void MakeInitDataSql(bool withGo) { MakeInitDataSql(StatementForm{.withGoLines = withGo}); }
  void MakeInitDataSql(const StatementForm& form);
  // " (" + names joined with "," + ") ", each name in its statement form (bracketed where
  // needed). Throws std::out_of_range when the column list is empty.
  void MakeInsertField(std::u16string& fieldPart) const;
  void MakeDBOptionSql(bool withGo);

 private:
  // One ticked table, the entry after `earlierAlike` others of that text: open it, fill the
  // column list, write its statements.
  void writeTable(const std::u16string& entry, std::size_t earlierAlike, const StatementForm& form);
  // The schema, table and column names the script would write hold no line break and no
  // character the script's codeset lacks (it would become '?' and name another object).
  // Throws std::runtime_error naming the table otherwise.
  void checkNamesCanBeWritten(std::u16string_view entry,
                              const std::vector<std::u16string>& columnNames) const;
  void appendLine(std::u16string_view line, bool withGo);

  GenerationHost& host_;
  server::TableReader& reader_;
  ScriptOutput& file_;
  const ValueText& valueText_;
  bool running_ = false;
};

}  // namespace velmora::script
