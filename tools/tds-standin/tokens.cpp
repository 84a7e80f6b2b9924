#include "tokens.h"

#include "wire.h"

namespace standin {

void putEnvChangeText(std::string& out, uint8_t type, std::string_view newValue,
                      std::string_view oldValue) {
  ByteWriter w(out);
  w.u8(token::kEnvChange);
  std::size_t lengthAt = w.size();
  w.u16(0);
  w.u8(type);
  w.bVarchar(newValue);
  w.bVarchar(oldValue);
  w.patchU16(lengthAt, static_cast<uint16_t>(w.size() - lengthAt - 2));
}

void putEnvChangeBytes(std::string& out, uint8_t type, std::string_view newValue,
                       std::string_view oldValue) {
  ByteWriter w(out);
  w.u8(token::kEnvChange);
  w.u16(static_cast<uint16_t>(3 + newValue.size() + oldValue.size()));
  w.u8(type);
  w.u8(static_cast<uint8_t>(newValue.size()));
  w.bytes(newValue);
  w.u8(static_cast<uint8_t>(oldValue.size()));
  w.bytes(oldValue);
}

void putMessage(std::string& out, const ServerMessage& message, uint32_t tdsVersion) {
  ByteWriter w(out);
  w.u8(message.severity > 10 ? token::kError : token::kInfo);
  std::size_t lengthAt = w.size();
  w.u16(0);
  w.u32(static_cast<uint32_t>(message.number));
  w.u8(message.state);
  w.u8(message.severity);
  w.usVarchar(message.text);
  w.bVarchar(kServerName);
  w.bVarchar("");
  if (tdsVersion >= kTds72) {
    w.u32(static_cast<uint32_t>(message.line));
  } else {
    w.u16(static_cast<uint16_t>(message.line));
  }
  w.patchU16(lengthAt, static_cast<uint16_t>(w.size() - lengthAt - 2));
}

void putLoginAck(std::string& out, uint32_t tdsVersion) {
  ByteWriter w(out);
  w.u8(token::kLoginAck);
  std::size_t lengthAt = w.size();
  w.u16(0);
  w.u8(1);  // interface: SQL_TSQL
  w.u32be(tdsVersion);
  w.bVarchar("Microsoft SQL Server");
  // Server version 15.0.2000 (SQL Server 2019).
  w.u8(15);
  w.u8(0);
  w.u16be(2000);
  w.patchU16(lengthAt, static_cast<uint16_t>(w.size() - lengthAt - 2));
}

void putDone(std::string& out, uint16_t status, uint16_t curCmd, uint64_t rowCount,
             uint32_t tdsVersion, uint8_t token) {
  ByteWriter w(out);
  w.u8(token);
  w.u16(status);
  w.u16(curCmd);
  if (tdsVersion >= kTds72) {
    w.u64(rowCount);
  } else {
    w.u32(static_cast<uint32_t>(rowCount));
  }
}

}  // namespace standin

namespace standin {

void putReturnStatus(std::string& out, int32_t status) {
  ByteWriter w(out);
  w.u8(token::kReturnStatus);
  w.u32(static_cast<uint32_t>(status));
}

void putReturnInt(std::string& out, uint16_t ordinal, std::string_view name, int32_t value,
                  uint32_t tdsVersion) {
  ByteWriter w(out);
  w.u8(token::kReturnValue);
  w.u16(ordinal);
  w.bVarchar(name);
  w.u8(0x01);  // an output parameter
  if (tdsVersion >= kTds72) {
    w.u32(0);
  } else {
    w.u16(0);
  }
  w.u16(0x0001);  // nullable
  w.u8(0x26);     // INTN
  w.u8(4);
  w.u8(4);
  w.u32(static_cast<uint32_t>(value));
}

}  // namespace standin
