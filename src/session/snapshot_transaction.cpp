#include "session/snapshot_transaction.h"

#include <stdexcept>
#include <utility>

#include "server/identifier.h"
#include "server/read_statements.h"
#include "text/utf.h"

namespace velmora::session {
namespace {

// SQL Server's error for a SNAPSHOT transaction in a database where ALLOW_SNAPSHOT_ISOLATION
// is OFF.
constexpr long kSnapshotNotAllowed = 3952;

}  // namespace

SnapshotTransaction::SnapshotTransaction(server::Connection& connection,
                                         std::u16string_view database,
                                         std::u16string_view firstTable)
    : connection_(connection) {
  connection_.query(u"SET TRANSACTION ISOLATION LEVEL SNAPSHOT");
  connection_.query(u"BEGIN TRANSACTION");
  open_ = true;
  if (firstTable.empty())
    return;
  try {
    connection_.query(server::firstRowStatement(firstTable, {}));
  } catch (const server::DataAccessError& error) {
    // No destructor runs for a transaction that failed to begin.
    rollBack();
    if (error.nativeCode() == kSnapshotNotAllowed)
      throw SnapshotNotAllowed(std::u16string(database));
    throw;
  }
}

SnapshotTransaction::~SnapshotTransaction() {
  rollBack();
}

void SnapshotTransaction::rollBack() noexcept {
  if (!open_)
    return;
  open_ = false;
  try {
    connection_.query(u"ROLLBACK TRANSACTION");
  } catch (const server::DataAccessError&) {
    // The failure that ended the run is the one to report; the server ends the transaction
    // with the connection anyway.
  }
}

void SnapshotTransaction::commit() {
  open_ = false;
  connection_.query(u"COMMIT TRANSACTION");
}

SnapshotNotAllowed::SnapshotNotAllowed(std::u16string database)
    : std::runtime_error([&] {
        const std::u16string name = server::sqlIdentifier(database);
        return text::utf8FromUtf16(u"Database " + name +
                                   u" does not allow snapshot isolation. Allow it with ALTER "
                                   u"DATABASE " +
                                   name +
                                   u" SET ALLOW_SNAPSHOT_ISOLATION ON, or export without "
                                   u"--snapshot.");
      }()),
      database_(std::move(database)) {}

}  // namespace velmora::session
