#include "script/generation_run.h"

#include <map>
#include <stdexcept>

#include "server/identifier.h"
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

void GenerationRun::MakeInitDataSql(const StatementForm& form) {
  if (form.rowsPerInsert < 1 || form.rowsPerInsert > kMaxRowsPerInsert)
    throw std::invalid_argument("rows per insert statement must lie between 1 and " +
                                std::to_string(kMaxRowsPerInsert));
  RunningScope scope(running_);
  const int count = host_.tableCount();
  // How often each entry text came so far: two tables' entries can read alike.
  std::map<std::u16string, std::size_t> entriesMet;
  for (int i = 0; i < count; ++i) {
    // Hosts keep the list fixed during a run; should it shrink anyway, stop at its end rather
    // than ask for entries that are gone.
    if (i >= host_.tableCount())
      break;
    const std::u16string entry = host_.tableName(i);
    const std::size_t earlierAlike = entriesMet[entry]++;
    if (!host_.isTableTicked(i))
      continue;
    host_.setProgressText(progressText(text::trimmed(entry)));
    host_.processPendingEvents();
    writeTable(entry, earlierAlike, form);
    file_.flush();
  }
  MakeDBOptionSql(form.withGoLines);
  file_.flush();
  host_.setProgressText(std::u16string(kFinishedText));
}

void GenerationRun::writeTable(const std::u16string& entry, std::size_t earlierAlike,
                               const StatementForm& form) {
  const bool withGo = form.withGoLines;
  reader_.close();
  reader_.setTableName(entry, earlierAlike);
  reader_.open();
  std::vector<std::u16string> names;
  reader_.getFieldNames(names);
  host_.setColumnNames(names);
  reader_.first();
  checkNamesCanBeWritten(entry, names);

  // A table of computed and timestamp columns only has no column part: each row is a row of
  // defaults, a statement of its own.
  const std::u16string& tableName = reader_.nameAsSent();
  const std::vector<std::u16string> columnNames = host_.columnNames();
  const bool defaultsOnly = columnNames.empty();
  const int rowsPerInsert = defaultsOnly ? 1 : form.rowsPerInsert;
  std::u16string fieldPart;
  if (!defaultsOnly)
    MakeInsertField(fieldPart);
  if (reader_.eof())
    return;

  // Everything that is the same on every row is looked up and converted once per table.
  const std::string head = file_.codeset().fromUtf16(
      u"insert " + tableName + (defaultsOnly ? u" DEFAULT VALUES" : fieldPart + u"Values("));
  std::vector<BoundColumn> columns;
  for (const std::u16string& name : columnNames) {
    const server::Field& field = reader_.fieldByName(name);
    columns.push_back({&field, valueFormOf(field)});
  }

  const bool identity = reader_.hasIdentityColumn();
  if (identity)
    appendLine(u"SET IDENTITY_INSERT " + tableName + u" ON", withGo);

  std::string line;
  std::string value;
  int rowsInLine = 0;
  std::size_t wholeRowsEnd = 0;  // where the last whole row of the statement ends in `line`
  auto writeStatement = [&] {
    file_.appendConverted(line);
    if (withGo)
      file_.appendConverted("GO");
    rowsInLine = 0;
  };
  // The whole rows of a statement not yet full, at the table's end or before a failure ends
  // the run: rows that were read are written, a row half built is left out.
  auto writeWholeRows = [&] {
    if (rowsInLine == 0)
      return;
    line.resize(wholeRowsEnd);
    writeStatement();
  };
  while (!reader_.eof()) {
    try {
      if (rowsInLine == 0)
        line.assign(head);
      else
        line += ",(";
      for (std::size_t k = 0; k < columns.size(); ++k) {
        if (k > 0)
          line += ',';
        valueText_.appendLiteral(line, *columns[k].field, columns[k].form, value);
      }
    } catch (...) {
      // A value that cannot be written ends the run at its row.
      writeWholeRows();
      throw;
    }
    if (!defaultsOnly)
      line += ')';
    wholeRowsEnd = line.size();
    if (++rowsInLine == rowsPerInsert)
      writeStatement();
    host_.rowWritten();
    host_.processPendingEvents();
    try {
      reader_.next();
    } catch (...) {
      // A server that fails ends the run after the rows it delivered.
      writeWholeRows();
      throw;
    }
  }
  writeWholeRows();

  if (identity)
    appendLine(u"SET IDENTITY_INSERT " + tableName + u" OFF", withGo);
}

void GenerationRun::MakeInsertField(std::u16string& fieldPart) const {
  const std::vector<std::u16string> names = host_.columnNames();
  if (names.empty())
    throw std::out_of_range("List index out of bounds (0)");
  fieldPart = u" (";
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (k > 0)
      fieldPart += u',';
    fieldPart += server::sqlIdentifier(names[k]);
  }
  fieldPart += u") ";
}

void GenerationRun::MakeDBOptionSql(bool withGo) {
  appendLine(u"USE master", withGo);
  const std::u16string database = host_.databaseName();
  if (database.empty())
    return;
  const std::u16string name = server::sqlIdentifier(database);
  appendLine(u"ALTER DATABASE " + name + u" SET AUTO_SHRINK ON", withGo);
  appendLine(u"ALTER DATABASE " + name + u" SET AUTO_CLOSE ON", withGo);
}

void GenerationRun::checkNamesCanBeWritten(std::u16string_view entry,
                                           const std::vector<std::u16string>& columnNames) const {
  const server::TableName& table = reader_.table();
  auto check = [&](std::u16string_view name, std::u16string_view whose) {
    std::u16string fault;
    if (name.find_first_of(u"\r\n") != std::u16string_view::npos)
      fault = u"a line break";
    else if (!file_.codeset().holds(name))
      fault = u"a character that " + file_.codeset().toUtf16(file_.codeset().name()) + u" lacks";
    else
      return;
    throw std::runtime_error(text::utf8FromUtf16(u"Table " + std::u16string(entry) +
                                                 u" cannot be written: " + std::u16string(whose) +
                                                 u" holds " + fault + u"."));
  };
  if (table.schema != server::kDefaultSchema)
    check(table.schema, u"its schema's name");
  check(table.name, u"its name");
  for (const std::u16string& column : columnNames)
    check(column, u"the name of its column " + column);
}

void GenerationRun::appendLine(std::u16string_view line, bool withGo) {
  file_.AddToText(line);
  if (withGo)
    file_.AddToText(u"GO");
}

}  // namespace velmora::script
