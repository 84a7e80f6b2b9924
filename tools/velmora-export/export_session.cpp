#include "export_session.h"

#include "headless_host.h"
#include "script/generation_run.h"
#include "script/script_file.h"
#include "script/value_text.h"
#include "server/server_session.h"
#include "server/trim.h"
#include "server/utf.h"

namespace velmora::exporter {
namespace {

void tickNamedTables(PlainTableList& tables, const std::vector<std::string>& wanted,
                     const script::Codeset& codeset) {
  tables.untickAll();
  for (const std::string& name : wanted) {
    const std::u16string name16 = codeset.toUtf16(name);
    const int index = findByName(tables.names(), name16);
    if (index < 0)
      throw std::runtime_error("Table '" + server::utf8FromUtf16(name16) + "' not found");
    tables.setTicked(index, true);
  }
}

}  // namespace

ConnectFailure::ConnectFailure()
    : std::runtime_error("无法连接数据库，可能是用户名、密码错或计算机上未安装SQL SERVER") {}

void exportScript(const ExportOptions& options, server::ConnectionFactory& factory,
                  const script::Codeset& codeset, const script::LocaleFormats& formats,
                  std::FILE* progress) {
  const server::ConnectionInputs inputs{codeset.toUtf16(options.server),
                                        codeset.toUtf16(options.user),
                                        codeset.toUtf16(options.password)};
  server::ServerSession session(factory);
  if (!session.ConnectDataBase(u"Master", session.AdoConnDB(), inputs))
    throw ConnectFailure();

  PlainDatabaseList databases;
  session.LoadDBNames(databases);
  const std::u16string wantedDatabase = codeset.toUtf16(options.database);
  const int databaseIndex = findByName(databases.names(), wantedDatabase);
  if (databaseIndex < 0)
    throw std::runtime_error("Database '" + server::utf8FromUtf16(wantedDatabase) + "' not found");
  const std::u16string& databaseText = databases.names()[static_cast<std::size_t>(databaseIndex)];

  // The window connects with the trimmed text of the database list.
  if (!session.ConnectDataBase(std::u16string(trimmed(databaseText)), session.AdoConnDataBase(),
                               inputs))
    throw ConnectFailure();
  PlainTableList tables;
  session.LoadTableNames(tables);
  if (!options.tables.empty())
    tickNamedTables(tables, options.tables, codeset);

  HeadlessHost host(tables, databaseText, codeset, progress);
  script::ScriptFile file(codeset);
  const script::ValueText valueText(codeset, formats);
  script::GenerationRun run(host, session.AdoTblGetSql(), file, valueText);
  if (options.withGo)
    run.BtnMakeSqlClick();
  else
    run.Button2Click();
}

}  // namespace velmora::exporter
