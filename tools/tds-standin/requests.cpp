#include "requests.h"

#include "text_codec.h"
#include "tokens.h"
#include "wire.h"

namespace standin {
namespace {

constexpr uint8_t kPreloginEncryption = 1;
constexpr uint8_t kPreloginTerminator = 0xFF;
constexpr uint8_t kEncryptOn = 1;
constexpr uint8_t kEncryptRequired = 3;
constexpr uint8_t kIntegratedSecurity = 0x80;
constexpr uint32_t kLogin7FixedPart = 94;

// Returns the position after ALL_HEADERS, checking every header's length and keeping the
// transaction descriptor when there is one.
std::size_t skipAllHeaders(std::string_view message, uint64_t* descriptor) {
  ByteReader r(message);
  uint32_t total = r.u32();
  if (total < 4 || total > message.size()) {
    throw ProtocolError("ALL_HEADERS length " + std::to_string(total) +
                        " does not fit the message");
  }
  while (r.position() < total) {
    std::size_t start = r.position();
    uint32_t length = r.u32();
    if (length < 6 || start + length > total) {
      throw ProtocolError("a header of length " + std::to_string(length) +
                          " runs past ALL_HEADERS");
    }
    uint16_t type = r.u16();
    if (type == 2 && descriptor != nullptr && length >= 18) {
      uint64_t low = r.u32();
      *descriptor = low | (uint64_t{r.u32()} << 32);
    }
    r.seek(start + length);
  }
  return total;
}

std::size_t bodyStart(std::string_view message, uint32_t tdsVersion, uint64_t* descriptor) {
  return tdsVersion >= kTds72 ? skipAllHeaders(message, descriptor) : 0;
}

std::string decodePassword(std::string_view raw) {
  std::string bytes(raw);
  for (auto& c : bytes) {
    auto b = static_cast<uint8_t>(static_cast<uint8_t>(c) ^ 0xA5);
    c = static_cast<char>(((b & 0x0F) << 4) | (b >> 4));
  }
  return fromUtf16(bytes);
}

}  // namespace

Prelogin parsePrelogin(std::string_view message) {
  ByteReader r(message);
  Prelogin p;
  for (;;) {
    uint8_t option = r.u8();
    if (option == kPreloginTerminator) {
      break;
    }
    uint16_t offset = r.u16be();
    uint16_t length = r.u16be();
    if (static_cast<std::size_t>(offset) + length > message.size()) {
      throw ProtocolError("PRELOGIN option " + std::to_string(option) +
                          " points past the end of the message");
    }
    if (option == kPreloginEncryption && length >= 1) {
      uint8_t value = static_cast<uint8_t>(message[offset]);
      p.wantsEncryption = value == kEncryptOn || value == kEncryptRequired;
    }
  }
  return p;
}

Login7 parseLogin7(std::string_view message) {
  ByteReader r(message);
  uint32_t length = r.u32();
  if (length != message.size() || length < kLogin7FixedPart) {
    throw ProtocolError("LOGIN7 says it is " + std::to_string(length) + " bytes but " +
                        std::to_string(message.size()) + " arrived");
  }
  Login7 login;
  login.tdsVersion = r.u32();
  login.packetSize = r.u32();
  r.take(4 + 4 + 4);  // client program version, process id, connection id
  r.u8();             // option flags 1
  login.integratedSecurity = (r.u8() & kIntegratedSecurity) != 0;
  r.take(1 + 1 + 4 + 4);  // type flags, option flags 3, time zone, LCID
  auto field = [&](bool password = false) {
    uint16_t offset = r.u16();
    uint16_t chars = r.u16();
    if (static_cast<std::size_t>(offset) + std::size_t{chars} * 2 > message.size()) {
      throw ProtocolError("a LOGIN7 field points past the end of the message");
    }
    std::string_view raw = message.substr(offset, std::size_t{chars} * 2);
    return password ? decodePassword(raw) : fromUtf16(raw);
  };
  login.hostName = field();
  login.userName = field();
  login.password = field(true);
  login.appName = field();
  field();    // server name
  r.take(4);  // extension or unused
  field();    // client interface name
  field();    // language
  login.database = field();
  return login;
}

std::string parseSqlBatch(std::string_view message, uint32_t tdsVersion) {
  std::size_t start = bodyStart(message, tdsVersion, nullptr);
  std::string_view text = message.substr(start);
  if (text.size() % 2 != 0) {
    throw ProtocolError("SQL batch text has an odd number of bytes");
  }
  return fromUtf16(text);
}

TransactionRequest parseTransactionRequest(std::string_view message, uint32_t tdsVersion) {
  TransactionRequest request;
  std::size_t start = bodyStart(message, tdsVersion, &request.descriptor);
  ByteReader r(message.substr(start));
  request.type = r.u16();
  return request;
}

std::string parseRpcName(std::string_view message, uint32_t tdsVersion) {
  std::size_t start = bodyStart(message, tdsVersion, nullptr);
  ByteReader r(message.substr(start));
  uint16_t chars = r.u16();
  if (chars == 0xFFFF) {
    std::string name(1, '#');
    name += std::to_string(r.u16());
    return name;
  }
  return r.ucs2(chars);
}

}  // namespace standin
