#include "export_script.h"

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <utility>

#include "error_messages.h"
#include "progress_display.h"
#include "script/script_file.h"
#include "script/stream_output.h"
#include "server/connection_string.h"
#include "session/export_session.h"
#include "session/name_lookup.h"
#include "session/plain_lists.h"
#include "table_choice.h"
#include "text/trim.h"
#include "text/utf.h"

namespace velmora::exporter {
namespace {

// The window shows its one connection-failure message for an input the driver cannot take;
// here the user learns which input it is. Values are checked as the connect uses them.
void refuseIfTheDriverCannotTake(const std::u16string& value, InputRefused::Input input) {
  if (!server::driverCanTake(text::trimmed(value)))
    throw InputRefused(input, value);
}

void refuseWhatTheDriverCannotTake(const server::ConnectionInputs& inputs) {
  refuseIfTheDriverCannotTake(inputs.server, InputRefused::Input::serverName);
  refuseIfTheDriverCannotTake(inputs.user, InputRefused::Input::userName);
  refuseIfTheDriverCannotTake(inputs.password, InputRefused::Input::password);
}

// What the options ask of the server's TLS. A CA file is named to the driver by its full
// path, as the driver does not run in the current directory's terms.
server::TransportSecurity transportSecurity(const ExportOptions& options) {
  server::TransportSecurity security{.encryptionRequired = options.encryptionRequired,
                                     .trustedCertificates = options.trustedCertificates};
  if (!security.trustedCertificates.empty() && security.trustedCertificates != "system")
    security.trustedCertificates = std::filesystem::absolute(security.trustedCertificates);
  return security;
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
  return std::make_unique<script::StreamOutput>(
      options.output, codeset,
      script::StreamForm{.compression = options.compression,
                         .byteOrderMark = options.byteOrderMark});
}

// The run's reports on standard error; the ticks are those the arguments chose.
class ExportProgress final : public script::RunObserver {
 public:
  ExportProgress(const session::PlainTableList& tables, ProgressDisplay& display,
                 const script::Codeset& codeset)
      : tables_(tables), display_(display), codeset_(codeset) {}

  bool isTicked(std::size_t index) override { return tables_.isTicked(static_cast<int>(index)); }
  void tableStarted(const std::u16string& progressText) override { show(progressText); }
  void columnsChanged(const std::vector<std::u16string>&) override {}
  void rowWritten() override { display_.rowWritten(); }
  void finished(const std::u16string& progressText) override { show(progressText); }

 private:
  void show(const std::u16string& text) { display_.show(codeset_.fromUtf16(text)); }

  const session::PlainTableList& tables_;
  ProgressDisplay& display_;
  const script::Codeset& codeset_;
};

// Puts the ticked tables of `tables`, and only those, in the order of their foreign keys.
// Tables in a cycle are named in one warning, unless the run is to be quiet.
void orderByDependencies(session::PlainTableList& tables, session::ExportSession& session,
                         const ExportOptions& options, const script::Codeset& codeset,
                         std::FILE* progress) {
  std::vector<std::u16string> ticked;
  std::vector<std::size_t> tickedPositions;
  std::vector<server::TableName> tickedTables;
  const std::vector<std::size_t> earlierAlike = script::earlierAlikeCounts(tables.names());
  for (std::size_t i = 0; i < tables.names().size(); ++i) {
    const std::u16string& entry = tables.names()[i];
    if (!tables.isTicked(static_cast<int>(i)))
      continue;
    ticked.push_back(entry);
    tickedPositions.push_back(i);
    tickedTables.push_back(session.tableOf(entry, earlierAlike[i]));
  }
  const session::DependencyOrder order = session.dependencyOrder(tickedTables);

  tables.clear();
  std::vector<std::size_t> listPositions;
  for (std::size_t position : order.order) {
    tables.add(ticked[position]);
    tables.setTicked(static_cast<int>(tables.names().size() - 1), true);
    listPositions.push_back(tickedPositions[position]);
  }
  session.keepTablesInOrder(listPositions);
  if (order.inCycles.empty() || options.quiet)
    return;
  std::u16string names;
  for (std::size_t position : order.inCycles)
    names += (names.empty() ? u"" : u", ") + ticked[position];
  const std::string warning = cycleWarningText(withControlsEscaped(codeset.fromUtf16(names)));
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
  ProgressDisplay display(progress, progressMode(options, progress));
  session::ExportSession session(factory, formats, scriptOutput(options, codeset));

  refuseWhatTheDriverCannotTake(inputs);
  session.setTransportSecurity(transportSecurity(options));
  session.connectServer(inputs, databases);
  const int database = session::listedEntry(databases.names(), codeset.toUtf16(options.database),
                                            session::NameNotListed::Kind::database);
  script::RunInput input;
  input.database = databases.names()[static_cast<std::size_t>(database)];
  // The second connect uses the database's name as the server lists it.
  refuseIfTheDriverCannotTake(input.database, InputRefused::Input::databaseName);
  session.openDatabase(inputs, input.database, tables);
  tickChosenTables(options, tables, codeset);
  if (options.dependencyOrder)
    orderByDependencies(tables, session, options, codeset, progress);
  input.tables = tables.names();
  input.form = {.withGoLines = options.withGo, .rowsPerInsert = options.rowsPerInsert};
  const session::LiveOptions live = liveOptions(options, tables, codeset);
  ExportProgress observer(tables, display, codeset);
  session.run(input, observer, live);
}

}  // namespace velmora::exporter
