#include "session/export_session.h"

#include <optional>

#include "script/script_file.h"
#include "session/snapshot_transaction.h"
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

std::vector<TableToRead> ExportSession::tablesToRead(const script::RunInput& input,
                                                     script::RunObserver& observer,
                                                     const LiveOptions& live) {
  std::vector<TableToRead> tables;
  const std::vector<std::size_t> earlierAlike = script::earlierAlikeCounts(input.tables);
  for (std::size_t i = 0; i < input.tables.size(); ++i) {
    const std::u16string& entry = input.tables[i];
    if (!observer.isTicked(i))
      continue;
    const auto cut = live.cuts.find(i);
    tables.push_back({entry, server::tableNameAsSent(tableOf(entry, earlierAlike[i])),
                      cut == live.cuts.end() ? nullptr : &cut->second});
  }
  return tables;
}

void ExportSession::run(const script::RunInput& input, script::RunObserver& observer,
                        const LiveOptions& live) {
  // Events handled while the run lets them through must not reset the script under the run
  // or start a second run inside it.
  if (isRunning())
    return;
  script::RunOptions options{.cuts = live.cuts, .constraintTables = {}};
  // Everything the live options ask of the server comes before the reset, so that a database
  // without snapshot isolation or a cut the server refuses leaves the script untouched, and
  // the constraint lines, which precede every table, know the tables with rows.
  std::optional<SnapshotTransaction> snapshot;
  if (live.snapshot || live.disableConstraints || !live.cuts.empty()) {
    server::Connection& connection = server_.databaseConnection();
    const std::vector<TableToRead> tables = tablesToRead(input, observer, live);
    if (live.snapshot)
      snapshot.emplace(connection, text::trimmed(input.database),
                       tables.empty() ? std::u16string() : tables.front().nameAsSent);
    checkCuts(connection, tables);
    if (live.disableConstraints)
      options.constraintTables = tablesWithRows(connection, tables);
  }
  // From the reset to the last line, no run of another process writes the same script; a
  // run that finds one under way fails here, before it touches the file.
  const std::optional<script::OutputLock> lock = output_->resetScript();
  try {
    run_.writeScript(input, observer, options);
  } catch (...) {
    flushAfterFailure(*output_);
    throw;
  }
  if (snapshot)
    snapshot->commit();
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
