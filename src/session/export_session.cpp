#include "session/export_session.h"

#include "script/script_file.h"
#include "text/trim.h"

namespace velmora::session {
namespace {

// The lines written before a failure reach the output. The failure that ended the run is
// what the user must see; should the output fail too, its own error would only hide it.
void flushAfterFailure(script::ScriptOutput& output) {
  try {
    output.flush();
  } catch (const script::OutputError&) {
  }
}

}  // namespace

ExportSession::ExportSession(server::ConnectionFactory& factory, const script::Codeset& codeset,
                             const script::LocaleFormats& formats)
    : ExportSession(factory, formats, std::make_unique<script::ScriptFile>(codeset)) {}

ExportSession::ExportSession(server::ConnectionFactory& factory,
                             const script::LocaleFormats& formats,
                             std::unique_ptr<script::ScriptOutput> output)
    : output_(std::move(output)),
      valueText_(output_->codeset(), formats),
      server_(factory),
      run_(server_.tableReader(), *output_, valueText_, formats) {}

ExportSession::~ExportSession() = default;

void ExportSession::connectServer(const server::ConnectionInputs& inputs,
                                  server::DatabaseList& databases) {
  if (isRunning())
    return;
  if (!server_.connectToDatabase(u"Master", server_.catalogueConnection(), inputs))
    throw ConnectionFailure(server_.lastRefusal());
  server_.loadDatabaseNames(databases);
}

void ExportSession::openDatabase(const server::ConnectionInputs& inputs,
                                 std::u16string_view listedName, server::TableList& tables) {
  if (isRunning())
    return;
  if (!server_.connectToDatabase(std::u16string(text::trimmed(listedName)),
                                 server_.databaseConnection(), inputs))
    throw ConnectionFailure(server_.lastRefusal());
  server_.loadTableNames(tables);
}

void ExportSession::run(const script::RunInput& input, script::RunObserver& observer) {
  // Events handled while the run lets them through must not reset the script under the run
  // or start a second run inside it.
  if (isRunning())
    return;
  // From the reset to the last line, no run of another process writes the same script; a
  // run that finds one under way fails here, before it touches the file.
  const std::optional<script::OutputLock> lock = output_->resetScript();
  try {
    run_.writeScript(input, observer);
  } catch (...) {
    flushAfterFailure(*output_);
    throw;
  }
}

DependencyOrder ExportSession::dependencyOrder(const std::vector<server::TableName>& tables) {
  std::vector<TableReference> references;
  for (auto& [referencing, referenced] : server_.loadForeignKeys())
    references.push_back({std::move(referencing), std::move(referenced)});
  return session::dependencyOrder(tables, references);
}

server::TableName ExportSession::tableOf(std::u16string_view entry, std::size_t earlierAlike) {
  return server_.catalogue().tableOf(entry, earlierAlike);
}

}  // namespace velmora::session
