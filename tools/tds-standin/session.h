#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "fixture.h"
#include "packet_channel.h"
#include "server.h"
#include "statement.h"
#include "statement_log.h"
#include "tokens.h"

namespace standin {

class TlsStream;

// One client connection, served on its own thread from login to close.
class Session {
 public:
  Session(int fd, uint16_t spid, const Fixture& fixture, StatementLog* log,
          const ConnectionOptions& options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Serves the connection until the client leaves or breaks the protocol; reports why a
  // connection ended early on standard error. Never throws.
  void run() noexcept;

 private:
  void serve();
  bool login(const PacketChannel::Message& message);
  void prelogin(const PacketChannel::Message& message);
  void batch(const std::string& text);
  // Runs the statements of one text; returns false when an error ended them.
  bool runStatements(const std::string& text);
  void rpc(const PacketChannel::Message& message);
  // DONE after a statement, DONEINPROC inside a procedure call.
  void endStatement(uint16_t status, uint16_t curCmd, uint64_t rowCount);
  void transaction(const PacketChannel::Message& message);
  // BEGIN: the outermost one opens a transaction, announced by ENVCHANGE.
  void beginTransaction();
  // COMMIT ends the outermost level, ROLLBACK every level. Without a transaction it sends
  // error 3902 or 3903 and returns false.
  bool endTransaction(bool commit);
  // The count of data reads as of which a read of `table` in `db` sees it: a SNAPSHOT
  // transaction keeps the count of its first read. nullopt after error 3952 (a database that
  // does not allow snapshot isolation) or 3961 (the table was altered since the snapshot).
  // Only a read that returns rows (`counted`) counts.
  std::optional<uint64_t> readPoint(const Database& db, const Table& table, bool counted);
  // Runs one statement; returns false when an error ended the batch.
  bool execute(const Statement& statement, bool last);
  bool selectTable(const Statement& statement, uint16_t doneStatus);
  // A catalogue result of sysname columns: a column named as the catalogue names it is NOT
  // NULL; an unnamed one is a function's result (SCHEMA_NAME, OBJECT_NAME ...), nullable.
  void selectNames(const std::vector<std::string>& columnNames,
                   const std::vector<std::vector<std::string>>& rows, uint16_t doneStatus);
  void useDatabase(const Database& db, bool withCollation);
  void error(const ServerMessage& message);
  uint16_t doneStatus(bool last, bool counted) const;

  int fd_;
  uint16_t spid_;
  const Fixture& fixture_;
  StatementLog* log_;
  const ConnectionOptions& options_;
  PacketChannel channel_;
  std::unique_ptr<TlsStream> tls_;  // once PRELOGIN has agreed on encryption

  uint32_t tdsVersion_ = kTds74;
  const Database* database_ = nullptr;
  const Database* loginDatabase_ = nullptr;
  int64_t textSize_ = 4096;
  bool fmtOnly_ = false;
  bool noCount_ = false;
  uint64_t transaction_ = 0;  // descriptor of the open transaction, 0 when none
  uint64_t nextTransaction_ = 1;
  int transactionLevels_ = 0;  // @@TRANCOUNT
  IsolationLevel isolation_ = IsolationLevel::ReadCommitted;
  std::optional<uint64_t> snapshot_;  // the read point of the open SNAPSHOT transaction
  bool cancelled_ = false;            // an ATTENTION stopped the current reply
  bool inProcedure_ = false;          // statements run by an RPC end with DONEINPROC
  std::map<int32_t, std::string> prepared_;
  int32_t nextHandle_ = 1;
};

}  // namespace standin
