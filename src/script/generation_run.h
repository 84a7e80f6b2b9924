#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "script/script_file.h"
#include "script/value_text.h"
#include "server/table_reader.h"

namespace velmora::script {

// The window state a generation run reads and writes: the window implements it over its
// controls, the exporter over plain lists.
class GenerationHost {
 public:
  virtual ~GenerationHost() = default;

  // Table list (`ChkBoxTableName`); the tick is read when the run reaches the entry.
  virtual int tableCount() const = 0;
  virtual std::u16string tableName(int index) const = 0;
  virtual bool isTableTicked(int index) const = 0;
  // The chosen database's text (`CmbDBName`).
  virtual std::u16string databaseName() const = 0;
  // The column-name list (`LstBoxFieldName`).
  virtual void setColumnNames(const std::vector<std::u16string>& names) = 0;
  virtual std::vector<std::u16string> columnNames() const = 0;
  // Panel 0 of `StaBarProcessState`.
  virtual void setProgressText(const std::u16string& text) = 0;
  // Lets pending window events be handled (repaint, clicks, ticks).
  virtual void processPendingEvents() = 0;
};

// The generation run: every row of every ticked table as one INSERT line, then the trailer.
class GenerationRun {
 public:
  GenerationRun(GenerationHost& host, server::TableReader& reader, ScriptFile& file,
                const ValueText& valueText)
      : host_(host), reader_(reader), file_(file), valueText_(valueText) {}

  // The generate buttons: reset the script file, then the run with or without GO lines.
  // Input that would start a second run while one is under way is ignored.
  void BtnMakeSqlClick();
  void Button2Click();
  bool isRunning() const { return running_; }

  // Throws whatever the reader, the value texts or the script file throw; the lines written
  // so far stay.
  void MakeInitDataSql(bool withGo);
  // " (" + names joined with "," + ") ", each name in its statement form (bracketed where
  // needed). Throws std::out_of_range when the column list is empty.
  void MakeInsertField(std::u16string& fieldPart) const;
  void MakeDBOptionSql(bool withGo);

 private:
  void runFromButton(bool withGo);
  // One ticked table: open it, fill the column list, write one statement per row.
  void writeTable(const std::u16string& entry, bool withGo);
  void appendLine(std::u16string_view line, bool withGo);

  GenerationHost& host_;
  server::TableReader& reader_;
  ScriptFile& file_;
  const ValueText& valueText_;
  bool running_ = false;
};

}  // namespace velmora::script
