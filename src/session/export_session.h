#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/codeset.h"
#include "script/generation_run.h"
#include "script/locale_formats.h"
#include "script/script_output.h"
#include "script/value_text.h"
#include "server/data_access.h"
#include "server/server_session.h"
#include "session/dependency_order.h"
#include "session/live_reading.h"
#include "session/session_texts.h"

namespace velmora::session {

// One export as both hosts drive it: connect to the server and list its databases, connect
// to one database and list its tables, then write the script of the ticked tables. The host
// turns clicks or arguments into these calls and shows what they throw. While a run is under
// way (the host may let events through when the run reports to it), every call that would
// connect or start a second run is ignored.
class ExportSession {
 public:
  // Writes MakeInitData.txt in the current directory, in `codeset`. Everything given must
  // outlive the session.
  ExportSession(server::ConnectionFactory& factory, const script::Codeset& codeset,
                const script::LocaleFormats& formats);
  // Writes to `output` instead, in its codeset.
  ExportSession(server::ConnectionFactory& factory, const script::LocaleFormats& formats,
                std::unique_ptr<script::ScriptOutput> output);
  ~ExportSession();

  bool isRunning() const { return run_.isRunning(); }

  // Every later connect asks this much of the server's TLS (the default: nothing checked).
  void setTransportSecurity(server::TransportSecurity security) {
    server_.setTransportSecurity(std::move(security));
  }

  // When the host first shows itself: an empty script. Reports nothing.
  void prepareScript() { output_->prepare(); }
  // Connects the catalogue connection to "Master" and fills `databases` from it. Throws
  // ConnectionFailure when the connect fails, DataAccessError when the list cannot be read.
  void connectServer(const server::ConnectionInputs& inputs, server::DatabaseList& databases);
  // Connects the database connection to the database listed as `listedName` (trimmed) and
  // fills `tables`, every entry ticked. Throws as connectServer.
  void openDatabase(const server::ConnectionInputs& inputs, std::u16string_view listedName,
                    server::TableList& tables);
  // Empties the script, then writes the script of `input` (GenerationRun::writeScript),
  // reporting to `observer`. Throws script::OutputBusyError, touching nothing, while a run of
  // another process writes the same script; else what the run throws; the lines written so
  // far stay. Lines an output holds back are flushed before an error leaves the run.
  // With `live` options the ticks are read first, and before the reset the snapshot is
  // taken and the cuts checked (see SnapshotTransaction and checkCuts for what they throw,
  // touching nothing).
  void run(const script::RunInput& input, script::RunObserver& observer,
           const LiveOptions& live = {});
  // The order in which `tables` (in list order) come after the tables their foreign keys
  // reference, read from the open database. Throws DataAccessError.
  DependencyOrder dependencyOrder(const std::vector<server::TableName>& tables);
  // The table behind a table-list entry: the one after `earlierAlike` other entries that read
  // alike (the dbo table "a.b" and table b of schema a).
  server::TableName tableOf(std::u16string_view entry, std::size_t earlierAlike);
  // The table list was rebuilt from its entries at `positions`, in that order: the run is to
  // read the table each entry stood for.
  void keepTablesInOrder(const std::vector<std::size_t>& positions) {
    server_.catalogue().keepInOrder(positions);
  }

 private:
  // The ticked tables of `input`, in its order, with their cuts.
  std::vector<TableToRead> tablesToRead(const script::RunInput& input,
                                        script::RunObserver& observer, const LiveOptions& live);

  std::unique_ptr<script::ScriptOutput> output_;
  script::ValueText valueText_;
  server::ServerSession server_;
  script::GenerationRun run_;
};

}  // namespace velmora::session
