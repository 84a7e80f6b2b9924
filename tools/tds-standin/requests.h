#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// Message types of the packet header.
namespace packet {
constexpr uint8_t kSqlBatch = 1;
constexpr uint8_t kRpc = 3;
constexpr uint8_t kReply = 4;
constexpr uint8_t kAttention = 6;
constexpr uint8_t kTransactionManager = 14;
constexpr uint8_t kLogin7 = 16;
constexpr uint8_t kPrelogin = 18;
}  // namespace packet

// Values of the PRELOGIN encryption option.
namespace encrypt {
constexpr uint8_t kOff = 0;     // available, for the login packet only
constexpr uint8_t kOn = 1;      // for the whole connection
constexpr uint8_t kNotSup = 2;  // not available
constexpr uint8_t kReq = 3;     // required for the whole connection
}  // namespace encrypt

struct Prelogin {
  uint8_t encryption = encrypt::kNotSup;  // what the client offers
  std::string instance;                   // the instance the client means; may be empty
};

struct Login7 {
  uint32_t tdsVersion = 0;
  uint32_t packetSize = 0;
  bool integratedSecurity = false;
  std::string hostName;
  std::string userName;
  std::string password;  // decoded
  std::string appName;
  std::string database;  // empty when the client names none
};

struct TransactionRequest {
  uint16_t type = 0;  // 5 begin, 7 commit, 8 rollback, 9 save; others are refused
  uint64_t descriptor = 0;
};

// One parameter of an RPC request, for the types clients use to call the prepared-statement
// procedures: integers and text.
struct RpcParameter {
  std::string name;
  bool output = false;
  bool isNull = true;
  std::optional<int64_t> integer;
  std::string text;  // UTF-8
};

struct RpcRequest {
  std::string name;     // lower case; empty when sent by number
  uint16_t procId = 0;  // 10 sp_executesql, 11 sp_prepare, 12 sp_execute, 13 sp_prepexec, ...
  std::vector<RpcParameter> parameters;
  // The type token of the first parameter this stand-in cannot read (0 when all were read);
  // the parameters after it are missing.
  uint8_t unsupportedType = 0;
};

// Each parser reads one whole request message and throws ProtocolError when a field or an
// offset points past its end or a length is impossible.
Prelogin parsePrelogin(std::string_view message);
Login7 parseLogin7(std::string_view message);
// Skips ALL_HEADERS (present from TDS 7.2) and returns the UTF-8 text of an SQL batch.
std::string parseSqlBatch(std::string_view message, uint32_t tdsVersion);
TransactionRequest parseTransactionRequest(std::string_view message, uint32_t tdsVersion);
RpcRequest parseRpc(std::string_view message, uint32_t tdsVersion);

}  // namespace standin
