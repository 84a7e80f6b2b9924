#include "script/generation_run.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <utility>

#include "script/statement_batch.h"
#include "server/identifier.h"
#include "text/name_case.h"
#include "text/trim.h"
#include "text/utf.h"

namespace velmora::script {
namespace {

constexpr std::u16string_view kFinishedText = u"初始化数据处理完毕!";

std::u16string progressText(std::u16string_view tableName) {
  std::u16string text = u"正在处理表 ";
  text += tableName;
  text += u" 的初始化数据....";
  return text;
}

// Throws UnwritableName, which says whose name `name` is, unless it can stand in the script.
void requireWritable(std::u16string_view name, const Codeset& codeset,
                     UnwritableName::Object object, std::u16string_view entry,
                     UnwritableName::Part part, std::u16string_view column = {}) {
  if (name.find_first_of(u"\r\n") != std::u16string_view::npos)
    throw UnwritableName(object, std::u16string(entry), part, std::u16string(column), {});
  if (!codeset.holds(name))
    throw UnwritableName(object, std::u16string(entry), part, std::u16string(column),
                         codeset.name());
}

struct BoundColumn {
  const server::Field* field;
  ValueForm form;
};

// Marks a run as under way for as long as it lasts, also when it ends by an exception.
class RunningScope {
 public:
  explicit RunningScope(bool& running) : running_(running), before_(running) { running_ = true; }
  ~RunningScope() { running_ = before_; }
  RunningScope(const RunningScope&) = delete;
  RunningScope& operator=(const RunningScope&) = delete;

 private:
  bool& running_;
  bool before_;
};

}  // namespace

std::vector<std::size_t> earlierAlikeCounts(const std::vector<std::u16string>& entries) {
  std::map<std::u16string, std::size_t> entriesMet;
  std::vector<std::size_t> counts;
  counts.reserve(entries.size());
  for (const std::u16string& entry : entries)
    counts.push_back(entriesMet[entry]++);
  return counts;
}
UnwritableName::UnwritableName(Object object, std::u16string entry, Part part,
                               std::u16string column, std::string lackingCodeset)
    : std::runtime_error([&] {
        std::string text = object == Object::database ? "Database " : "Table ";
        text += text::utf8FromUtf16(entry) + " cannot be written: ";
        if (part == Part::name)
          text += "its name";
        else if (part == Part::schemaName)
          text += "its schema's name";
        else
          text += "the name of its column " + text::utf8FromUtf16(column);
        text += lackingCodeset.empty() ? " holds a line break."
                                       : " holds a character that " + lackingCodeset + " lacks.";
        return text;
      }()),
      object_(object),
      entry_(std::move(entry)),
      part_(part),
      column_(std::move(column)),
      lackingCodeset_(std::move(lackingCodeset)) {}

std::u16string columnPart(const std::vector<std::u16string>& names) {
  std::u16string part = u" (";
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (k > 0)
      part += u',';
    part += server::sqlIdentifier(names[k]);
  }
  part += u") ";
  return part;
}

void GenerationRun::writeScript(const RunInput& input, RunObserver& observer,
                                const RunOptions& options) {
  const StatementForm& form = input.form;
  if (form.rowsPerInsert < 1 || form.rowsPerInsert > kMaxRowsPerInsert)
    throw std::invalid_argument("rows per insert statement must lie between 1 and " +
                                std::to_string(kMaxRowsPerInsert));
  RunningScope scope(running_);
  // The trailer names the database: check it before the first line.
  requireWritable(input.database, output_.codeset(), UnwritableName::Object::database,
                  input.database, UnwritableName::Part::name);
  for (const std::u16string& table : options.constraintTables)
    requireWritable(table, output_.codeset(), UnwritableName::Object::table, table,
                    UnwritableName::Part::name);
  // A login reads dates in the order of its language; this script's dates read the same
  // under every login.
  appendLine(u"SET DATEFORMAT " + dateOrder_, form.withGoLines);
  writeConstraintLines(options.constraintTables, u"NOCHECK CONSTRAINT ALL", form.withGoLines);

  const std::vector<std::size_t> earlierAlike = earlierAlikeCounts(input.tables);
  for (std::size_t i = 0; i < input.tables.size(); ++i) {
    const std::u16string& entry = input.tables[i];
    if (!observer.isTicked(i))
      continue;
    observer.tableStarted(progressText(text::trimmed(entry)));
    const auto cut = options.cuts.find(i);
    writeRows(openTable(entry, earlierAlike[i],
                        cut == options.cuts.end() ? TableCut{} : cut->second, observer),
              form, observer);
    output_.flush();
  }
  writeConstraintLines(options.constraintTables, u"WITH CHECK CHECK CONSTRAINT ALL",
                       form.withGoLines);
  writeTrailer(input.database, form.withGoLines);
  output_.finish();
  observer.finished(std::u16string(kFinishedText));
}

std::vector<std::u16string> GenerationRun::openTable(const std::u16string& entry,
                                                     std::size_t earlierAlike, const TableCut& cut,
                                                     RunObserver& observer) {
  reader_.close();
  reader_.setTableName(entry, earlierAlike);
  reader_.setRowCondition(cut.rowCondition);
  reader_.open();
  std::vector<std::u16string> names;
  reader_.getFieldNames(names);
  std::erase_if(names, [&](const std::u16string& name) {
    return std::any_of(
        cut.leftOutColumns.begin(), cut.leftOutColumns.end(),
        [&](const std::u16string& leftOut) { return text::sameNameIgnoringCase(name, leftOut); });
  });
  observer.columnsChanged(names);
  reader_.first();
  checkNamesCanBeWritten(entry, names);
  return names;
}

void GenerationRun::writeRows(const std::vector<std::u16string>& columnNames,
                              const StatementForm& form, RunObserver& observer) {
  if (reader_.eof())
    return;
  // A table of computed and timestamp columns only has no column part: each row is a row of
  // defaults, a statement of its own.
  const std::u16string& tableName = reader_.nameAsSent();
  const bool defaultsOnly = columnNames.empty();
  // Everything that is the same on every row is looked up and converted once per table.
  StatementBatch batch(
      output_,
      output_.codeset().fromUtf16(
          u"insert " + tableName +
          (defaultsOnly ? u" DEFAULT VALUES" : columnPart(columnNames) + u"Values(")),
      defaultsOnly, form.rowsPerInsert, form.withGoLines);
  std::vector<BoundColumn> columns;
  for (const std::u16string& name : columnNames) {
    const server::Field& field = reader_.fieldByName(name);
    columns.push_back({&field, valueFormOf(field)});
  }

  // An identity column left out gets new values from the target: no identity lines then.
  const bool identity = std::any_of(columns.begin(), columns.end(), [](const BoundColumn& column) {
    return column.field->column().isAutoIncrement;
  });
  if (identity)
    appendLine(u"SET IDENTITY_INSERT " + tableName + u" ON", form.withGoLines);
  std::string value;
  try {
    while (!reader_.eof()) {
      std::string& line = batch.beginRow();
      for (std::size_t k = 0; k < columns.size(); ++k) {
        if (k > 0)
          line += ',';
        valueText_.appendLiteral(line, *columns[k].field, columns[k].form, value);
      }
      batch.endRow();
      observer.rowWritten();
      reader_.next();
    }
  } catch (...) {
    // A value that cannot be written, or a server that fails, ends the run after the rows
    // read before it.
    batch.writeHeldRows();
    throw;
  }
  batch.writeHeldRows();
  if (identity)
    appendLine(u"SET IDENTITY_INSERT " + tableName + u" OFF", form.withGoLines);
}

void GenerationRun::writeTrailer(const std::u16string& database, bool withGo) {
  appendLine(u"USE master", withGo);
  if (database.empty())
    return;
  const std::u16string name = server::sqlIdentifier(database);
  appendLine(u"ALTER DATABASE " + name + u" SET AUTO_SHRINK ON", withGo);
  appendLine(u"ALTER DATABASE " + name + u" SET AUTO_CLOSE ON", withGo);
}

void GenerationRun::writeConstraintLines(const std::vector<std::u16string>& tables,
                                         std::u16string_view action, bool withGo) {
  for (const std::u16string& table : tables)
    appendLine(u"ALTER TABLE " + table + u" " + std::u16string(action), withGo);
}

void GenerationRun::checkNamesCanBeWritten(std::u16string_view entry,
                                           const std::vector<std::u16string>& columnNames) const {
  const server::TableName& table = reader_.table();
  const Codeset& codeset = output_.codeset();
  constexpr auto kTable = UnwritableName::Object::table;
  if (table.schema != server::kDefaultSchema)
    requireWritable(table.schema, codeset, kTable, entry, UnwritableName::Part::schemaName);
  requireWritable(table.name, codeset, kTable, entry, UnwritableName::Part::name);
  for (const std::u16string& column : columnNames)
    requireWritable(column, codeset, kTable, entry, UnwritableName::Part::columnName, column);
}

void GenerationRun::appendLine(std::u16string_view line, bool withGo) {
  output_.appendLine(line);
  if (withGo)
    output_.appendLine(u"GO");
}

}  // namespace velmora::script
