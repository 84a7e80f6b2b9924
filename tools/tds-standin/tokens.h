#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace standin {

// TDS versions as LOGIN7 and LOGINACK carry them.
constexpr uint32_t kTds71 = 0x71000001;
constexpr uint32_t kTds72 = 0x72090002;
constexpr uint32_t kTds73A = 0x730A0003;
constexpr uint32_t kTds73B = 0x730B0003;
constexpr uint32_t kTds74 = 0x74000004;

namespace token {
constexpr uint8_t kColMetadata = 0x81;
constexpr uint8_t kError = 0xAA;
constexpr uint8_t kInfo = 0xAB;
constexpr uint8_t kLoginAck = 0xAD;
constexpr uint8_t kRow = 0xD1;
constexpr uint8_t kNbcRow = 0xD2;
constexpr uint8_t kEnvChange = 0xE3;
constexpr uint8_t kReturnStatus = 0x79;
constexpr uint8_t kReturnValue = 0xAC;
constexpr uint8_t kDone = 0xFD;
constexpr uint8_t kDoneProc = 0xFE;
constexpr uint8_t kDoneInProc = 0xFF;
}  // namespace token

namespace done {
constexpr uint16_t kFinal = 0x0000;
constexpr uint16_t kMore = 0x0001;
constexpr uint16_t kError = 0x0002;
constexpr uint16_t kCount = 0x0010;
constexpr uint16_t kAttention = 0x0020;
}  // namespace done

namespace envchange {
constexpr uint8_t kDatabase = 1;
constexpr uint8_t kLanguage = 2;
constexpr uint8_t kPacketSize = 4;
constexpr uint8_t kCollation = 7;
constexpr uint8_t kBeginTransaction = 8;
constexpr uint8_t kCommitTransaction = 9;
constexpr uint8_t kRollbackTransaction = 10;
}  // namespace envchange

constexpr const char* kServerName = "VELMORA-STANDIN";

// ENVCHANGE with text values (database, language, packet size).
void putEnvChangeText(std::string& out, uint8_t type, std::string_view newValue,
                      std::string_view oldValue);
// ENVCHANGE with byte values (collation, transaction descriptors).
void putEnvChangeBytes(std::string& out, uint8_t type, std::string_view newValue,
                       std::string_view oldValue);

struct ServerMessage {
  int32_t number = 0;
  uint8_t state = 1;
  uint8_t severity = 0;  // the "class": 0..10 informational, 11 and above errors
  std::string text;
  int32_t line = 1;
};

// INFO (severity <= 10) or ERROR token.
void putMessage(std::string& out, const ServerMessage& message, uint32_t tdsVersion);
void putLoginAck(std::string& out, uint32_t tdsVersion);
// DONE, or with `token` DONEPROC or DONEINPROC.
void putDone(std::string& out, uint16_t status, uint16_t curCmd, uint64_t rowCount,
             uint32_t tdsVersion, uint8_t token = token::kDone);
void putReturnStatus(std::string& out, int32_t status);
// RETURNVALUE of an int output parameter.
void putReturnInt(std::string& out, uint16_t ordinal, std::string_view name, int32_t value,
                  uint32_t tdsVersion);

}  // namespace standin
