#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "server/data_access.h"

namespace velmora::session {

// One SNAPSHOT transaction around every read of a run on the reading connection, so that the
// script shows the database as it stood at one moment while others keep writing to it. The
// server fixes that moment at the transaction's first read of data.
class SnapshotTransaction {
 public:
  // Begins the transaction on `connection` and fixes its moment with a read of one row of
  // `firstTable` (a name as statements name it); an empty name leaves the moment to the
  // run's first read. `database` is the chosen database as the database list shows it.
  // Throws SnapshotNotAllowed when the database does not allow snapshot isolation (server
  // error 3952), DataAccessError for any other failure.
  SnapshotTransaction(server::Connection& connection, std::u16string_view database,
                      std::u16string_view firstTable);
  // A transaction not committed is rolled back, so the connection is left as it was found.
  ~SnapshotTransaction();
  SnapshotTransaction(const SnapshotTransaction&) = delete;
  SnapshotTransaction& operator=(const SnapshotTransaction&) = delete;

  // Ends the transaction once the last table is read. Throws DataAccessError.
  void commit();

 private:
  // Ends a transaction still open without keeping anything; a failure here is dropped, as
  // the failure that ended the run is the one to report.
  void rollBack() noexcept;

  server::Connection& connection_;
  bool open_ = false;
};

// A database that refuses snapshot isolation (ALLOW_SNAPSHOT_ISOLATION is OFF). what() names
// the statement that allows it, the database in its statement form (UTF-8).
class SnapshotNotAllowed : public std::runtime_error {
 public:
  explicit SnapshotNotAllowed(std::u16string database);
  const std::u16string& database() const { return database_; }

 private:
  std::u16string database_;
};

}  // namespace velmora::session
