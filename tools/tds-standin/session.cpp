#include "session.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>

#include "requests.h"
#include "row_encoder.h"
#include "row_filter.h"
#include "synthetic_rows.h"
#include "text_codec.h"
#include "tls_stream.h"
#include "wire.h"

namespace standin {
namespace {

constexpr uint16_t kCmdSelect = 0xC1;
constexpr std::size_t kSmallestPacket = 512;
constexpr const char* kVersionText =
    "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tSep 24 2019 13:48:23 \n\t"
    "Copyright (C) 2019 Microsoft Corporation\n\tDeveloper Edition (64-bit) on Linux "
    "(Velmora tds-standin) <X64>";

uint32_t agreedVersion(uint32_t requested) {
  if (requested >= kTds74)
    return kTds74;
  if (requested >= kTds73B)
    return kTds73B;
  if (requested >= kTds73A)
    return kTds73A;
  if (requested >= kTds72)
    return kTds72;
  if (requested >= 0x71000000)
    return kTds71;
  throw ProtocolError("TDS version " + std::to_string(requested >> 24) + " is older than 7.1");
}

ServerMessage loginFailed(const std::string& user) {
  return {18456, 1, 14, "Login failed for user '" + user + "'.", 1};
}

// The data reads this server has served, all sessions together: the clock of the fixture's
// concurrent writes.
std::atomic<uint64_t> dataReadsServed{0};

std::string bytesOf(uint64_t v) {
  std::string out;
  ByteWriter(out).u64(v);
  return out;
}

}  // namespace

Session::Session(int fd, uint16_t spid, const Fixture& fixture, StatementLog* log,
                 const ConnectionOptions& options)
    : fd_(fd), spid_(spid), fixture_(fixture), log_(log), options_(options), channel_(fd, spid) {}

Session::~Session() {
  ::close(fd_);
}

void Session::run() noexcept {
  try {
    serve();
  } catch (const ClientGone& e) {
    std::fprintf(stderr, "tds-standin: connection %u: %s\n", spid_, e.what());
  } catch (const ProtocolError& e) {
    std::fprintf(stderr, "tds-standin: connection %u: bad request, closing: %s\n", spid_, e.what());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tds-standin: connection %u: closing after an error: %s\n", spid_,
                 e.what());
  }
}

void Session::serve() {
  PacketChannel::Message message;
  if (fixture_.login.neverAnswer) {
    while (channel_.read(message)) {
    }
    return;
  }
  bool loggedIn = false;
  while (channel_.read(message)) {
    if (!loggedIn) {
      if (message.type == packet::kPrelogin) {
        prelogin(message);
      } else if (message.type == packet::kLogin7) {
        if (options_.encryption == EncryptionMode::Required && !tls_)
          throw ProtocolError("a login without encryption, which this server requires");
        if (!login(message))
          return;
        loggedIn = true;
      } else {
        throw ProtocolError("request of type " + std::to_string(message.type) +
                            " before the login");
      }
      continue;
    }
    switch (message.type) {
      case packet::kSqlBatch:
        batch(parseSqlBatch(message.payload, tdsVersion_));
        break;
      case packet::kTransactionManager:
        transaction(message);
        break;
      case packet::kAttention:
        // Nothing is running: acknowledge the cancel.
        putDone(channel_.out(), done::kAttention, 0, 0, tdsVersion_);
        channel_.endMessage();
        break;
      case packet::kRpc:
        rpc(message);
        break;
      default:
        throw ProtocolError("unexpected request of type " + std::to_string(message.type));
    }
  }
}

void Session::prelogin(const PacketChannel::Message& message) {
  const Prelogin request = parsePrelogin(message.payload);
  const EncryptionAgreement agreement = agreeEncryption(options_.encryption, request.encryption);
  // The instance option answers whether the client reached the instance it meant.
  const bool instanceMatches = request.instance.empty() ||
                               equalsIgnoreCase(request.instance, "MSSQLServer") ||
                               equalsIgnoreCase(request.instance, options_.instance);
  std::string& out = channel_.out();
  ByteWriter w(out);
  // Option table: VERSION, ENCRYPTION, INSTOPT, THREADID, MARS, then the data.
  const uint8_t options[][2] = {{0, 6}, {1, 1}, {2, 1}, {3, 0}, {4, 1}};
  uint16_t offset = sizeof options / sizeof options[0] * 5 + 1;
  for (const auto& [option, length] : options) {
    w.u8(option);
    w.u16be(offset);
    w.u16be(length);
    offset = static_cast<uint16_t>(offset + length);
  }
  w.u8(0xFF);
  w.u8(15), w.u8(0), w.u16be(2000), w.u16be(0);  // server version 15.0.2000.0
  w.u8(agreement.answer);
  w.u8(instanceMatches ? 0 : 1);
  w.u8(0);  // no MARS
  channel_.endMessage();
  if (agreement.scope != TlsScope::None && !tls_) {
    tls_ = std::make_unique<TlsStream>(*options_.tls, fd_);
    tls_->handshake(channel_);
    channel_.useStream(*tls_, agreement.scope == TlsScope::LoginPacket);
  }
}

bool Session::login(const PacketChannel::Message& message) {
  Login7 request = parseLogin7(message.payload);
  tdsVersion_ = agreedVersion(request.tdsVersion);
  if (fixture_.login.delayMs > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(fixture_.login.delayMs));
  }
  std::string& out = channel_.out();
  auto refuse = [&] {
    putDone(out, done::kError, 0, 0, tdsVersion_);
    channel_.endMessage();
    return false;
  };
  if (request.integratedSecurity || !equalsIgnoreCase(request.userName, fixture_.login.user) ||
      request.password != fixture_.login.password) {
    error(loginFailed(request.userName));
    return refuse();
  }
  std::string wanted = request.database.empty() ? "master" : request.database;
  const Database* db = fixture_.findDatabase(wanted);
  if (db == nullptr) {
    error({4060, 1, 11,
           "Cannot open database \"" + wanted + "\" requested by the login. The login failed.", 1});
    error(loginFailed(request.userName));
    return refuse();
  }
  std::size_t size =
      request.packetSize == 0 ? PacketChannel::kDefaultPacketSize : request.packetSize;
  size = std::clamp(size, kSmallestPacket, PacketChannel::kLargestPacket);

  database_ = loginDatabase_ = db;
  putEnvChangeText(out, envchange::kDatabase, db->name, "master");
  putMessage(out, {5701, 2, 0, "Changed database context to '" + db->name + "'.", 1}, tdsVersion_);
  std::string collation(db->collation.bytes.begin(), db->collation.bytes.end());
  putEnvChangeBytes(out, envchange::kCollation, collation, "");
  putEnvChangeText(out, envchange::kLanguage, "us_english", "");
  putMessage(out, {5703, 1, 0, "Changed language setting to us_english.", 1}, tdsVersion_);
  putLoginAck(out, tdsVersion_);
  putEnvChangeText(out, envchange::kPacketSize, std::to_string(size),
                   std::to_string(channel_.packetSize()));
  putDone(out, done::kFinal, 0, 0, tdsVersion_);
  channel_.endMessage();
  channel_.setPacketSize(size);
  return true;
}

void Session::error(const ServerMessage& message) {
  putMessage(channel_.out(), message, tdsVersion_);
}

uint16_t Session::doneStatus(bool last, bool counted) const {
  uint16_t status = last ? done::kFinal : done::kMore;
  if (counted && !noCount_)
    status |= done::kCount;
  return status;
}

void Session::batch(const std::string& text) {
  if (log_ != nullptr)
    log_->write(text);
  cancelled_ = false;
  runStatements(text);
  channel_.endMessage();
}

bool Session::runStatements(const std::string& text) {
  std::vector<Statement> statements = parseBatch(text);
  if (statements.empty()) {
    endStatement(done::kFinal, 0, 0);
  }
  for (std::size_t i = 0; i < statements.size(); ++i) {
    if (!execute(statements[i], i + 1 == statements.size()))
      return false;
    if (cancelled_)
      return true;
  }
  return true;
}

void Session::endStatement(uint16_t status, uint16_t curCmd, uint64_t rowCount) {
  if (inProcedure_) {
    putDone(channel_.out(), status | done::kMore, curCmd, rowCount, tdsVersion_,
            token::kDoneInProc);
  } else {
    putDone(channel_.out(), status, curCmd, rowCount, tdsVersion_);
  }
}

void Session::rpc(const PacketChannel::Message& message) {
  RpcRequest request = parseRpc(message.payload, tdsVersion_);
  std::string& out = channel_.out();
  cancelled_ = false;
  const auto& p = request.parameters;
  struct Procedure {
    uint16_t id;
    const char* name;
    std::size_t statementAt;  // index of the statement text parameter, or npos
    std::size_t largest;      // parameters it takes here (values for markers are not supported)
  };
  static constexpr std::size_t kNone = std::string::npos;
  static constexpr Procedure kProcedures[] = {{10, "sp_executesql", 0, 2},
                                              {11, "sp_prepare", 2, 4},
                                              {12, "sp_execute", kNone, 1},
                                              {13, "sp_prepexec", 2, 3},
                                              {15, "sp_unprepare", kNone, 1}};
  const Procedure* procedure = nullptr;
  for (const auto& candidate : kProcedures) {
    if (request.procId == candidate.id || request.name == candidate.name)
      procedure = &candidate;
  }
  auto fail = [&](const ServerMessage& m) {
    error(m);
    putDone(out, done::kError, 0, 0, tdsVersion_, token::kDoneProc);
    channel_.endMessage();
  };
  if (procedure == nullptr) {
    std::string name = request.name.empty() ? "#" + std::to_string(request.procId) : request.name;
    return fail({2812, 62, 16, "Could not find stored procedure '" + name + "'.", 1});
  }
  if (request.unsupportedType != 0) {
    char type[8];
    std::snprintf(type, sizeof type, "0x%02X", request.unsupportedType);
    return fail({8009, 1, 16,
                 "The incoming tabular data stream (TDS) remote procedure call (RPC) protocol "
                 "stream is incorrect. Parameter " +
                     std::to_string(p.size() + 1) + ": Data type " + type + " is unknown.",
                 1});
  }
  std::size_t needed = procedure->statementAt == kNone ? 1 : procedure->statementAt + 1;
  if (p.size() < needed) {
    return fail(
        {201, 4, 16,
         "Procedure or function '" + std::string(procedure->name) + "' expects parameter '" +
             (procedure->statementAt == kNone ? "@handle" : "@stmt") + "', which was not supplied.",
         1});
  }
  if (p.size() > procedure->largest) {
    return fail({8144, 2, 16,
                 "Procedure or function " + std::string(procedure->name) +
                     " has too many arguments specified.",
                 1});
  }
  std::string statement;
  std::optional<int32_t> handle;
  bool run = true;
  switch (procedure->id) {
    case 10:
      statement = p[0].text;
      break;
    case 11:
    case 13:
      statement = p[2].text;
      handle = nextHandle_++;
      prepared_[*handle] = statement;
      run = procedure->id == 13;
      break;
    case 12:
    case 15: {
      auto found =
          p[0].integer ? prepared_.find(static_cast<int32_t>(*p[0].integer)) : prepared_.end();
      if (found == prepared_.end()) {
        return fail({8179, 4, 16,
                     "Could not find prepared statement with handle " +
                         (p[0].integer ? std::to_string(*p[0].integer) : std::string("NULL")) + ".",
                     1});
      }
      statement = found->second;
      run = procedure->id == 12;
      if (!run)
        prepared_.erase(found);
      break;
    }
  }
  bool ok = true;
  if (run) {
    if (log_ != nullptr)
      log_->write(statement);
    inProcedure_ = true;
    ok = runStatements(statement);
    inProcedure_ = false;
  }
  if (!cancelled_) {
    putReturnStatus(out, ok ? 0 : -6);
    if (handle)
      putReturnInt(out, 0, p[0].name, *handle, tdsVersion_);
    putDone(out, ok ? done::kFinal : done::kError, 0, 0, tdsVersion_, token::kDoneProc);
  }
  channel_.endMessage();
}

bool Session::execute(const Statement& s, bool last) {
  std::string& out = channel_.out();
  switch (s.kind) {
    case Statement::Kind::ListDatabases: {
      std::vector<std::vector<std::string>> rows;
      for (const auto& db : fixture_.databases) {
        if (db.id > 6)
          rows.push_back({db.name});
      }
      selectNames({"name"}, rows, doneStatus(last, true));
      return true;
    }
    case Statement::Kind::ListUserTables:
    case Statement::Kind::ListSchemaTables: {
      bool withSchema = s.kind == Statement::Kind::ListSchemaTables;
      std::vector<std::vector<std::string>> rows;
      for (const auto& t : database_->tables) {
        rows.push_back({t.name});
        if (withSchema)
          rows.back().push_back(t.schema);
      }
      selectNames(
          withSchema ? std::vector<std::string>{"name", ""} : std::vector<std::string>{"name"},
          rows, doneStatus(last, true));
      return true;
    }
    case Statement::Kind::ListForeignKeys: {
      std::vector<std::vector<std::string>> rows;
      for (const auto& t : database_->tables) {
        for (const auto& key : t.foreignKeys)
          rows.push_back({t.schema, t.name, key.schema, key.name});
      }
      selectNames({"", "", "", ""}, rows, doneStatus(last, true));
      return true;
    }
    case Statement::Kind::ComputedColumns: {
      std::vector<std::vector<std::string>> rows;
      const Database* db =
          s.object.empty() || s.object[0].empty() ? database_ : fixture_.findDatabase(s.object[0]);
      const Table* table =
          db == nullptr || s.object.empty()
              ? nullptr
              : findTable(*db, s.object[1].empty() ? "dbo" : s.object[1], s.object[2]);
      if (table != nullptr) {
        for (const auto& c : table->columns) {
          if (c.computed)
            rows.push_back({c.name});
        }
      }
      selectNames({"name"}, rows, doneStatus(last, true));
      return true;
    }
    case Statement::Kind::SelectAll:
      return selectTable(s, doneStatus(last, true));
    case Statement::Kind::SelectVersion: {
      std::vector<Column> columns{{"", SqlType{BaseType::NVarChar, 300}, false}};
      EncodeContext context{tdsVersion_, textSize_, database_};
      RowEncoder encoder(columns, "", context);
      encoder.putColMetadata(out);
      if (!fmtOnly_) {
        Cell cell;
        cell.kind = Cell::Kind::Bytes;
        cell.bytes = toUtf16(kVersionText);
        encoder.putRow(out, {cell});
      }
      endStatement(doneStatus(last, true), kCmdSelect, fmtOnly_ ? 0 : 1);
      return true;
    }
    case Statement::Kind::Use: {
      const Database* db = fixture_.findDatabase(s.object[0]);
      if (db == nullptr) {
        error({911, 1, 16,
               "Database '" + s.object[0] +
                   "' does not exist. Make sure that the name is entered correctly.",
               1});
        endStatement(done::kError, 0, 0);
        return false;
      }
      useDatabase(*db, true);
      endStatement(doneStatus(last, false), 0, 0);
      return true;
    }
    case Statement::Kind::SetTextSize:
      // 0 restores the default; a negative size means no limit.
      textSize_ = s.number == 0 ? 4096 : s.number < 0 ? -1 : s.number;
      break;
    case Statement::Kind::SetFmtOnly:
      fmtOnly_ = s.on;
      break;
    case Statement::Kind::SetNoCount:
      noCount_ = s.on;
      break;
    case Statement::Kind::SetIsolation:
      isolation_ = s.isolation;
      break;
    case Statement::Kind::SetOther:
      break;
    case Statement::Kind::BeginTransaction:
      beginTransaction();
      endStatement(doneStatus(last, false), 0, 0);
      return true;
    case Statement::Kind::CommitTransaction:
    case Statement::Kind::RollbackTransaction:
      if (!endTransaction(s.kind == Statement::Kind::CommitTransaction)) {
        endStatement(done::kError, 0, 0);
        return false;
      }
      endStatement(doneStatus(last, false), 0, 0);
      return true;
    case Statement::Kind::SyntaxError:
      error({102, 1, 15, "Incorrect syntax near '" + s.near + "'.", 1});
      endStatement(done::kError, 0, 0);
      return false;
  }
  // SET statements answer nothing of their own; only the end of the batch needs a DONE.
  if (last)
    endStatement(doneStatus(last, false), 0, 0);
  return true;
}

void Session::useDatabase(const Database& db, bool withCollation) {
  std::string& out = channel_.out();
  putEnvChangeText(out, envchange::kDatabase, db.name, database_->name);
  putMessage(out, {5701, 1, 0, "Changed database context to '" + db.name + "'.", 1}, tdsVersion_);
  if (withCollation) {
    std::string collation(db.collation.bytes.begin(), db.collation.bytes.end());
    putEnvChangeBytes(out, envchange::kCollation, collation, "");
  }
  database_ = &db;
}

void Session::selectNames(const std::vector<std::string>& columnNames,
                          const std::vector<std::vector<std::string>>& rows, uint16_t status) {
  std::string& out = channel_.out();
  std::vector<Column> columns;
  for (const auto& name : columnNames)
    columns.push_back({name, SqlType{BaseType::SysName, 128}, name.empty()});
  EncodeContext context{tdsVersion_, textSize_, database_};
  RowEncoder encoder(columns, "", context);
  encoder.putColMetadata(out);
  std::vector<Cell> cells(columns.size());
  uint64_t count = 0;
  if (!fmtOnly_) {
    for (const auto& row : rows) {
      for (std::size_t i = 0; i < cells.size(); ++i) {
        cells[i].kind = Cell::Kind::Bytes;
        cells[i].bytes = toUtf16(row[i]);
      }
      encoder.putRow(out, cells);
      ++count;
    }
  }
  endStatement(status, kCmdSelect, count);
}

bool Session::selectTable(const Statement& s, uint16_t status) {
  std::string& out = channel_.out();
  auto fail = [&](const ServerMessage& message) {
    error(message);
    endStatement(done::kError, 0, 0);
    return false;
  };
  const Database* db = s.object[0].empty() ? database_ : fixture_.findDatabase(s.object[0]);
  const Table* table = db == nullptr
                           ? nullptr
                           : findTable(*db, s.object[1].empty() ? "dbo" : s.object[1], s.object[2]);
  if (table == nullptr)
    return fail({208, 1, 16, "Invalid object name '" + s.objectText() + "'.", 1});
  // SQL_VARIANT_PROPERTY(c, 'BaseType') columns follow the table's: a sql_variant holding
  // the name of the base type of c's value (NULL for NULL).
  std::vector<Column> columns = table->columns;
  std::vector<std::size_t> variantColumns;
  std::vector<std::string> unknown;
  for (const std::string& name : s.variantTypesOf) {
    auto found = std::find_if(table->columns.begin(), table->columns.end(),
                              [&](const Column& c) { return equalsIgnoreCase(c.name, name); });
    if (found == table->columns.end()) {
      unknown.push_back(name);
      continue;
    }
    variantColumns.push_back(static_cast<std::size_t>(found - table->columns.begin()));
    columns.push_back({"", SqlType{BaseType::SqlVariant}, true});
  }
  if (s.where) {
    for (auto& name : RowFilter::unknownColumns(*s.where, table->columns))
      unknown.push_back(std::move(name));
  }
  if (!unknown.empty()) {
    // A server names every unknown column, each in an error of its own.
    for (const std::string& name : unknown)
      error({207, 1, 16, "Invalid column name '" + name + "'.", 1});
    endStatement(done::kError, 0, 0);
    return false;
  }
  std::optional<RowFilter> filter;
  try {
    if (s.where)
      filter.emplace(*s.where, table->columns, db->collation);
  } catch (const SqlError& e) {
    return fail({e.number, 1, e.severity, e.what(), 1});
  }
  const uint64_t limit = fmtOnly_ ? 0 : s.top ? static_cast<uint64_t>(*s.top) : UINT64_MAX;
  std::optional<uint64_t> readsServed = readPoint(*db, *table, limit > 0);
  if (!readsServed) {
    endStatement(done::kError, 0, 0);
    return false;
  }

  std::vector<Cell> extended;
  auto withBaseTypes = [&](const std::vector<Cell>& row) -> const std::vector<Cell>& {
    if (variantColumns.empty())
      return row;
    extended = row;
    for (std::size_t column : variantColumns) {
      const Cell& value = row[column];
      Cell name;
      if (!value.isNull()) {
        Cell text;
        text.kind = Cell::Kind::Bytes;
        text.bytes = toUtf16(baseTypeName(value.kind == Cell::Kind::Variant
                                              ? value.variant->type.base
                                              : table->columns[column].type.base));
        name.kind = Cell::Kind::Variant;
        name.variant = std::make_shared<const TypedCell>(
            TypedCell{SqlType{BaseType::NVarChar, 128}, std::move(text)});
      }
      extended.push_back(std::move(name));
    }
    return extended;
  };

  EncodeContext context{tdsVersion_, textSize_, db};
  RowEncoder encoder(columns, table->name, context);
  encoder.putColMetadata(out);
  const std::vector<std::vector<Cell>>& rows = table->rowsAsOf(*readsServed);
  const uint64_t total = limit == 0 ? 0 : table->generate ? table->generate->rows : rows.size();
  uint64_t sent = 0;
  SyntheticRows synthetic(*table);
  std::vector<Cell> generated;
  const std::size_t flushAt = channel_.packetSize() * 16;
  for (uint64_t at = 0; at < total && sent < limit; ++at) {
    if (table->generate)
      synthetic.fill(at, generated);
    const std::vector<Cell>& row = table->generate ? generated : rows[at];
    try {
      if (filter && !filter->accepts(row))
        continue;
    } catch (const SqlError& e) {
      // A conversion that fails part-way ends the result after the rows already sent.
      return fail({e.number, 1, e.severity, e.what(), 1});
    }
    if (table->closeAfterRows && sent == *table->closeAfterRows) {
      channel_.abandon();
      throw ClientGone("closed after " + std::to_string(sent) + " rows of " + table->name +
                       ", as the fixture asks");
    }
    encoder.putRow(out, withBaseTypes(row));
    ++sent;
    if (out.size() >= flushAt) {
      channel_.sendFullPackets();
      if (channel_.attentionArrived()) {
        putDone(out, done::kAttention, 0, 0, tdsVersion_);
        cancelled_ = true;
        return false;
      }
    }
  }
  endStatement(status, kCmdSelect, sent);
  return true;
}

void Session::transaction(const PacketChannel::Message& message) {
  TransactionRequest request = parseTransactionRequest(message.payload, tdsVersion_);
  std::string& out = channel_.out();
  constexpr uint16_t kBegin = 5, kCommit = 7, kRollback = 8, kSave = 9;
  bool ok = true;
  switch (request.type) {
    case kBegin:
      beginTransaction();
      break;
    case kCommit:
    case kRollback:
      ok = endTransaction(request.type == kCommit);
      break;
    case kSave:
      break;
    default:
      error({8509, 1, 16, "The transaction manager request is not supported.", 1});
      ok = false;
      break;
  }
  putDone(out, ok ? done::kFinal : done::kError, 0, 0, tdsVersion_);
  channel_.endMessage();
}

void Session::beginTransaction() {
  if (transactionLevels_++ > 0)
    return;
  transaction_ = nextTransaction_++;
  putEnvChangeBytes(channel_.out(), envchange::kBeginTransaction, bytesOf(transaction_), "");
}

bool Session::endTransaction(bool commit) {
  if (transactionLevels_ == 0) {
    error({commit ? 3902 : 3903, 1, 16,
           commit ? "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."
                  : "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.",
           1});
    return false;
  }
  transactionLevels_ = commit ? transactionLevels_ - 1 : 0;
  if (transactionLevels_ > 0)
    return true;
  putEnvChangeBytes(channel_.out(),
                    commit ? envchange::kCommitTransaction : envchange::kRollbackTransaction, "",
                    bytesOf(transaction_));
  transaction_ = 0;
  snapshot_.reset();
  return true;
}

std::optional<uint64_t> Session::readPoint(const Database& db, const Table& table, bool counted) {
  const bool snapshot = isolation_ == IsolationLevel::Snapshot;
  if (snapshot && !db.allowSnapshotIsolation) {
    error({3952, 1, 16,
           "Snapshot isolation transaction failed accessing database '" + db.name +
               "' because snapshot isolation is not allowed in this database. Use ALTER DATABASE "
               "to allow snapshot isolation.",
           1});
    return std::nullopt;
  }
  const uint64_t now = counted ? dataReadsServed.fetch_add(1) : dataReadsServed.load();
  if (!snapshot || transactionLevels_ == 0)
    return now;
  // SQL Server fixes a SNAPSHOT transaction's view at its first data access.
  if (!snapshot_ && counted)
    snapshot_ = now;
  const auto& write = table.concurrentWrite;
  if (snapshot_ && write && write->altersTable && *snapshot_ < write->afterReads &&
      now >= write->afterReads) {
    error({3961, 1, 16,
           "Snapshot isolation transaction failed in database '" + db.name +
               "' because the object accessed by the statement has been modified by a DDL "
               "statement in another concurrent transaction since the start of this "
               "transaction. It is disallowed because the metadata is not versioned. A "
               "concurrent update to metadata can lead to inconsistency if mixed with snapshot "
               "isolation.",
           1});
    return std::nullopt;
  }
  return snapshot_ ? *snapshot_ : now;
}

}  // namespace standin
