#pragma once

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "script/date_text.h"
#include "script/locale_formats.h"
#include "script/script_output.h"
#include "script/value_text.h"
#include "server/table_reader.h"
#include "text/utf.h"

namespace velmora::script {

// How a run writes its statements.
struct StatementForm {
  // A line GO after every statement and trailer line.
  bool withGoLines = true;
  // Rows in one insert statement: "insert T (...) Values(...),(...)"; the last statement of
  // a table may hold fewer. At most kMaxRowsPerInsert, SQL Server's limit for a VALUES list.
  int rowsPerInsert = 1;
};
inline constexpr int kMaxRowsPerInsert = 1000;

// What narrows the script of one table.
struct TableCut {
  // A T-SQL search condition, as typed, that the rows written must meet; empty for every row.
  std::u16string rowCondition;
  // Columns left out of the statements, named as the reader names them (any case).
  std::vector<std::u16string> leftOutColumns;
};

// What a run writes.
struct RunInput {
  // The table list's entry texts, in list order. Which of them are written is asked of the
  // observer when the run reaches each.
  std::vector<std::u16string> tables;
  // The chosen database as the database list shows it, named by the trailer; empty for none.
  std::u16string database;
  StatementForm form;
};

// What velmora-export's options add to a run's input.
struct RunOptions {
  // Cuts of some tables, by their index in the input's tables.
  std::map<std::size_t, TableCut> cuts;
  // Tables, as statements name them, whose constraints the script turns off before the first
  // table's lines and checks again after the last table's, so that rows whose foreign keys
  // form a cycle load and are checked once at the end: the tables it writes rows of, in the
  // order it writes them. Empty: no such lines.
  std::vector<std::u16string> constraintTables;
};

// A name that cannot stand in the script: a line break in it would end the statement there
// (and a GO line after it would run what follows on its own), a character the codeset lacks
// would become '?' and name another object. what() is "<Database|Table> <entry> cannot be
// written: <whose> holds <fault>." (UTF-8).
class UnwritableName : public std::runtime_error {
 public:
  enum class Object { database, table };
  // Which of the object's names: its own, its schema's or one of its columns'.
  enum class Part { name, schemaName, columnName };
  // `column` names the column for Part::columnName; `lackingCodeset` is the codeset that
  // lacks a character of the name, empty when the name holds a line break.
  UnwritableName(Object object, std::u16string entry, Part part, std::u16string column,
                 std::string lackingCodeset);
  Object object() const { return object_; }
  const std::u16string& entry() const { return entry_; }
  Part part() const { return part_; }
  const std::u16string& column() const { return column_; }
  const std::string& lackingCodeset() const { return lackingCodeset_; }

 private:
  Object object_;
  std::u16string entry_;
  Part part_;
  std::u16string column_;
  std::string lackingCodeset_;
};

// What a run tells its host as it goes. Every call comes between two steps of the run, on
// its thread, so a host may handle its pending events there.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // Whether entry `index` of the input's tables is to be written, asked when the run
  // reaches it: a host that lets the user change the ticks during a run reads them here.
  virtual bool isTicked(std::size_t index) = 0;
  // A ticked table is reached; `progressText` names it.
  virtual void tableStarted(const std::u16string& progressText) = 0;
  // The columns of the table being written, as its statements name them.
  virtual void columnsChanged(const std::vector<std::u16string>& names) = 0;
  // One more row of the table being written has gone into a statement.
  virtual void rowWritten() {}
  // The trailer is written; `progressText` says the run is done.
  virtual void finished(const std::u16string& progressText) = 0;
};

// For each of `entries` (table-list texts), how many entries before it read alike: the
// dbo table "a.b" and table b of schema a both show as "a.b", and the count tells whose.
std::vector<std::size_t> earlierAlikeCounts(const std::vector<std::u16string>& entries);

// " (" + `names` joined with "," + ") ", each name in its statement form (bracketed where
// needed). `names` holds at least one name.
std::u16string columnPart(const std::vector<std::u16string>& names);

// The generation run: a line that sets the date order, every row of every ticked table as
// INSERT statements, then the trailer.
class GenerationRun {
 public:
  // `formats` are those the value texts write dates by.
  GenerationRun(server::TableReader& reader, ScriptOutput& output, const ValueText& valueText,
                const LocaleFormats& formats)
      : reader_(reader),
        output_(output),
        valueText_(valueText),
        dateOrder_(text::utf16FromUtf8(dateOrder(formats))) {}

  // True while writeScript is under way (also inside the observer's calls).
  bool isRunning() const { return running_; }

  // Appends the script of `input`, as `options` narrow it, to the output as it is. Throws
  // std::invalid_argument for a number of rows per statement out of range,
  // std::runtime_error naming the database or a table whose name the script cannot carry,
  // and whatever the reader, the value texts or the output throw; the lines written so far
  // stay.
  void writeScript(const RunInput& input, RunObserver& observer, const RunOptions& options = {});

 private:
  // Opens table `entry`, the entry after `earlierAlike` others of that text, and reports its
  // columns. Returns the names of the columns that stand in its statements.
  std::vector<std::u16string> openTable(const std::u16string& entry, std::size_t earlierAlike,
                                        const TableCut& cut, RunObserver& observer);
  // The statements of the open table, between its identity lines when it needs them.
  void writeRows(const std::vector<std::u16string>& columnNames, const StatementForm& form,
                 RunObserver& observer);
  void writeTrailer(const std::u16string& database, bool withGo);
  // "ALTER TABLE <table> <action>" for each of `tables`.
  void writeConstraintLines(const std::vector<std::u16string>& tables, std::u16string_view action,
                            bool withGo);
  // The schema, table and column names the script would write hold no line break and no
  // character the output's codeset lacks. Throws std::runtime_error naming the table
  // otherwise.
  void checkNamesCanBeWritten(std::u16string_view entry,
                              const std::vector<std::u16string>& columnNames) const;
  void appendLine(std::u16string_view line, bool withGo);

  server::TableReader& reader_;
  ScriptOutput& output_;
  const ValueText& valueText_;
  // The order of day, month and year in the dates the values are written with.
  const std::u16string dateOrder_;
  bool running_ = false;
};

}  // namespace velmora::script
