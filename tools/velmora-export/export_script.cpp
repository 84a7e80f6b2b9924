#include "export_script.h"

#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <utility>

#include "progress_display.h"
#include "script/script_file.h"
#include "script/stream_output.h"
#include "server/connection_string.h"
#include "session/export_session.h"
#include "session/name_lookup.h"
#include "session/plain_host.h"
#include "text/trim.h"
#include "text/utf.h"

namespace velmora::exporter {
namespace {

// The entry of `names` that `typed` (in the codeset) names. Throws "<kind> '<name>' not found".
int entryNamed(const std::vector<std::u16string>& names, const std::string& typed, const char* kind,
               const script::Codeset& codeset) {
  const std::u16string wanted = codeset.toUtf16(typed);
  const int index = session::findByName(names, wanted);
  if (index < 0)
    throw std::runtime_error(std::string(kind) + " '" + text::utf8FromUtf16(wanted) +
                             "' not found");
  return index;
}

// The window shows its one connection-failure message for an input the driver cannot take;
// here the user learns which input it is. Values are checked as the connect uses them.
void refuseWhatTheDriverCannotTake(const server::ConnectionInputs& inputs) {
  const std::pair<const std::u16string*, const char*> checked[] = {
      {&inputs.server, "server name"}, {&inputs.user, "user name"}, {&inputs.password, "password"}};
  for (const auto& [value, what] : checked) {
    if (!server::driverCanTake(text::trimmed(*value)))
      throw InputRefused(std::string("The ") + what +
                         " holds \"};\", which the ODBC driver cannot take.");
  }
}

ProgressDisplay::Mode progressMode(const ExportOptions& options, std::FILE* progress) {
  if (options.quiet)
    return ProgressDisplay::Mode::quiet;
  return ::isatty(::fileno(progress)) ? ProgressDisplay::Mode::redrawn
                                      : ProgressDisplay::Mode::lines;
}

std::unique_ptr<script::ScriptOutput> scriptOutput(const ExportOptions& options,
                                                   const script::Codeset& codeset) {
  if (options.output.empty())
    return std::make_unique<script::ScriptFile>(codeset);
  return std::make_unique<script::StreamOutput>(options.output, codeset);
}

// Puts the ticked tables of `tables`, and only those, in the order of their foreign keys.
// Tables in a cycle are named in one warning, unless the run is to be quiet.
void orderByDependencies(session::PlainTableList& tables, session::ExportSession& session,
                         const ExportOptions& options, const script::Codeset& codeset,
                         std::FILE* progress) {
  std::vector<std::u16string> ticked;
  for (std::size_t i = 0; i < tables.names().size(); ++i)
    if (tables.isTicked(static_cast<int>(i)))
      ticked.push_back(tables.names()[i]);
  const session::DependencyOrder order = session.dependencyOrder(ticked);

  tables.clear();
  for (std::size_t position : order.order) {
    tables.add(ticked[position]);
    tables.setTicked(static_cast<int>(tables.names().size() - 1), true);
  }
  if (order.inCycles.empty() || options.quiet)
    return;
  std::u16string names;
  for (std::size_t position : order.inCycles)
    names += (names.empty() ? u"" : u", ") + ticked[position];
  const std::string warning = "velmora-export: warning: the foreign keys of " +
                              codeset.fromUtf16(names) +
                              " form a cycle; these tables keep catalogue order\n";
  std::fwrite(warning.data(), 1, warning.size(), progress);
  std::fflush(progress);
}

}  // namespace

void exportScript(const ExportOptions& options, server::ConnectionFactory& factory,
                  const script::Codeset& codeset, const script::LocaleFormats& formats,
                  std::FILE* progress) {
  const server::ConnectionInputs inputs{codeset.toUtf16(options.server),
                                        codeset.toUtf16(options.user),
                                        codeset.toUtf16(options.password)};
  session::PlainDatabaseList databases;
  session::PlainTableList tables;
  session::PlainHost host(tables);
  ProgressDisplay display(progress, progressMode(options, progress));
  host.onProgress = [&](const std::u16string& text) { display.show(codeset.fromUtf16(text)); };
  host.onRowWritten = [&] { display.rowWritten(); };
  session::ExportSession session(factory, formats, host, scriptOutput(options, codeset));

  refuseWhatTheDriverCannotTake(inputs);
  session.connectServer(inputs, databases);
  const int database = entryNamed(databases.names(), options.database, "Database", codeset);
  host.database = databases.names()[static_cast<std::size_t>(database)];
  session.openDatabase(inputs, host.database, tables);
  if (!options.tables.empty()) {
    tables.untickAll();
    for (const std::string& name : options.tables)
      tables.setTicked(entryNamed(tables.names(), name, "Table", codeset), true);
  }
  if (options.dependencyOrder)
    orderByDependencies(tables, session, options, codeset, progress);
  session.run(
      script::StatementForm{.withGoLines = options.withGo, .rowsPerInsert = options.rowsPerInsert});
}

}  // namespace velmora::exporter
