#include "script/generation_run.h"

#include <stdexcept>

#include "server/identifier.h"
#include "server/trim.h"

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
  for (int i = 0; i < count; ++i) {
    // Hosts keep the list fixed during a run; should it shrink anyway, stop at its end rather
    // than ask for entries that are gone.
    if (i >= host_.tableCount())
      break;
    if (!host_.isTableTicked(i))
      continue;
    const std::u16string entry = host_.tableName(i);
    host_.setProgressText(progressText(trimmed(entry)));
    host_.processPendingEvents();
    writeTable(entry, form);
    file_.flush();
  }
  MakeDBOptionSql(form.withGoLines);
  file_.flush();
  host_.setProgressText(std::u16string(kFinishedText));
}

void GenerationRun::writeTable(const std::u16string& entry, const StatementForm& form) {
  const bool withGo = form.withGoLines;
  reader_.close();
  reader_.setTableName(entry);
  reader_.open();
  std::vector<std::u16string> names;
  reader_.getFieldNames(names);
  host_.setColumnNames(names);
  reader_.first();

  const std::u16string& tableName = reader_.nameAsSent();
  std::u16string fieldPart;
  MakeInsertField(fieldPart);
  if (reader_.eof())
    return;

  // Everything that is the same on every row is looked up and converted once per table.
  const std::string head =
      file_.codeset().fromUtf16(u"insert " + tableName + fieldPart + u"Values(");
  std::vector<BoundColumn> columns;
  for (const std::u16string& name : host_.columnNames()) {
    const server::Field& field = reader_.fieldByName(name);
    columns.push_back({&field, valueFormOf(field.dataType())});
  }

  const bool identity = reader_.hasIdentityColumn();
  if (identity)
    appendLine(u"SET IDENTITY_INSERT " + tableName + u" ON", withGo);

  std::string line;
  std::string value;
  int rowsInLine = 0;
  auto writeStatement = [&] {
    file_.appendConverted(line);
    if (withGo)
      file_.appendConverted("GO");
    rowsInLine = 0;
  };
  while (!reader_.eof()) {
    if (rowsInLine == 0)
      line.assign(head);
    else
      line += ",(";
    for (std::size_t k = 0; k < columns.size(); ++k) {
      if (k > 0)
        line += ',';
      valueText_.appendLiteral(line, *columns[k].field, columns[k].form, value);
    }
    line += ')';
    if (++rowsInLine == form.rowsPerInsert)
      writeStatement();
    host_.rowWritten();
    host_.processPendingEvents();
    try {
      reader_.next();
    } catch (...) {
      // The rows the server delivered before it failed are written all the same.
      if (rowsInLine > 0)
        writeStatement();
      throw;
    }
  }
  if (rowsInLine > 0)
    writeStatement();

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
  const std::u16string quotedDatabase =
      server::enclosed(trimmed(host_.databaseName()), u'\'', u'\'');
  appendLine(u"USE master", withGo);
  appendLine(u"EXEC sp_dboption " + quotedDatabase + u",'autoshrink','TRUE'", withGo);
  appendLine(u"EXEC sp_dboption " + quotedDatabase + u",'autoclose','TRUE'", withGo);
}

void GenerationRun::appendLine(std::u16string_view line, bool withGo) {
  file_.AddToText(line);
  if (withGo)
    file_.AddToText(u"GO");
}

}  // namespace velmora::script
