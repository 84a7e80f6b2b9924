#include "export_script.h"

#include <stdexcept>
#include <utility>

#include "server/connection_string.h"
#include "server/trim.h"
#include "server/utf.h"
#include "session/export_session.h"
#include "session/name_lookup.h"
#include "session/plain_host.h"

namespace velmora::exporter {
namespace {

// The entry of `names` that `typed` (in the codeset) names. Throws "<kind> '<name>' not found".
int entryNamed(const std::vector<std::u16string>& names, const std::string& typed, const char* kind,
               const script::Codeset& codeset) {
  const std::u16string wanted = codeset.toUtf16(typed);
  const int index = session::findByName(names, wanted);
  if (index < 0)
    throw std::runtime_error(std::string(kind) + " '" + server::utf8FromUtf16(wanted) +
                             "' not found");
  return index;
}

// The window shows its one connection-failure message for an input the driver cannot take;
// here the user learns which input it is. Values are checked as the connect uses them.
void refuseWhatTheDriverCannotTake(const server::ConnectionInputs& inputs) {
  const std::pair<const std::u16string*, const char*> checked[] = {
      {&inputs.server, "server name"}, {&inputs.user, "user name"}, {&inputs.password, "password"}};
  for (const auto& [value, what] : checked) {
    if (!server::driverCanTake(trimmed(*value)))
      throw InputRefused(std::string("The ") + what +
                         " holds \"};\", which the ODBC driver cannot take.");
  }
}

// Progress that cannot be written (standard error closed or without a reader) is dropped.
void writeProgress(const std::u16string& text, const script::Codeset& codeset,
                   std::FILE* progress) {
  std::string line = codeset.fromUtf16(text);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), progress);
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
  host.onProgress = [&](const std::u16string& text) { writeProgress(text, codeset, progress); };
  session::ExportSession session(factory, codeset, formats, host);

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
  session.run(options.withGo);
}

}  // namespace velmora::exporter
