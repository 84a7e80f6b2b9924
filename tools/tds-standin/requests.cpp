#include "requests.h"

#include <cctype>

#include "text_codec.h"
#include "tokens.h"
#include "wire.h"

namespace standin {
namespace {

constexpr uint8_t kPreloginEncryption = 1;
constexpr uint8_t kPreloginInstance = 2;
constexpr uint8_t kPreloginTerminator = 0xFF;
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
      p.encryption = static_cast<uint8_t>(message[offset]);
    } else if (option == kPreloginInstance) {
      // A NUL-terminated name in the client's code page; names are ASCII in practice.
      std::string_view name = message.substr(offset, length);
      p.instance = name.substr(0, name.find('\0'));
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

namespace {

std::string latin1(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    auto b = static_cast<uint8_t>(c);
    if (b < 0x80) {
      out.push_back(c);
    } else {
      out.push_back(static_cast<char>(0xC0 | (b >> 6)));
      out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    }
  }
  return out;
}

// Reads a PLP value (8-byte total, then chunks ended by an empty one); nullopt for NULL.
std::optional<std::string> readPlp(ByteReader& r) {
  uint32_t low = r.u32();
  uint64_t total = low | (uint64_t{r.u32()} << 32);
  if (total == ~uint64_t{0})
    return std::nullopt;
  std::string data;
  for (;;) {
    uint32_t chunk = r.u32();
    if (chunk == 0)
      return data;
    data.append(r.take(chunk));
  }
}

// Reads one parameter's type and value; returns false for a type it does not know.
bool readParameter(ByteReader& r, uint8_t type, RpcParameter& p) {
  constexpr uint8_t kIntN = 0x26, kBitN = 0x68, kInt1 = 0x30, kBit = 0x32, kInt2 = 0x34,
                    kInt4 = 0x38, kInt8 = 0x7F, kNVarChar = 0xE7, kNChar = 0xEF, kBigVarChar = 0xA7,
                    kBigChar = 0xAF, kNText = 0x63, kText = 0x23;
  auto integer = [&](std::size_t size) {
    int64_t v = 0;
    for (std::size_t i = 0; i < size; ++i)
      v |= int64_t{r.u8()} << (8 * i);
    if (size < 8 && (v >> (8 * size - 1)) & 1 && size > 1)
      v -= int64_t{1} << (8 * size);
    p.integer = v;
    p.isNull = false;
  };
  switch (type) {
    case kIntN:
    case kBitN: {
      r.u8();  // maximum length
      uint8_t size = r.u8();
      if (size > 8)
        throw ProtocolError("integer parameter of " + std::to_string(size) + " bytes");
      if (size > 0)
        integer(size);
      return true;
    }
    case kInt1:
    case kBit:
      integer(1);
      return true;
    case kInt2:
      integer(2);
      return true;
    case kInt4:
      integer(4);
      return true;
    case kInt8:
      integer(8);
      return true;
    case kNVarChar:
    case kNChar:
    case kBigVarChar:
    case kBigChar: {
      bool wide = type == kNVarChar || type == kNChar;
      uint16_t maxLength = r.u16();
      r.take(5);  // collation
      std::optional<std::string> data;
      if (maxLength == 0xFFFF) {
        data = readPlp(r);
      } else {
        uint16_t length = r.u16();
        if (length != 0xFFFF)
          data = std::string(r.take(length));
      }
      if (data) {
        if (wide && data->size() % 2 != 0)
          throw ProtocolError("odd-length UTF-16 parameter");
        p.text = wide ? fromUtf16(*data) : latin1(*data);
        p.isNull = false;
      }
      return true;
    }
    case kNText:
    case kText: {
      r.u32();    // maximum length
      r.take(5);  // collation
      uint32_t length = r.u32();
      if (length != 0xFFFFFFFF) {
        std::string_view data = r.take(length);
        if (type == kNText && data.size() % 2 != 0) {
          throw ProtocolError("odd-length UTF-16 parameter");
        }
        p.text = type == kNText ? fromUtf16(data) : latin1(data);
        p.isNull = false;
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

RpcRequest parseRpc(std::string_view message, uint32_t tdsVersion) {
  std::size_t start = bodyStart(message, tdsVersion, nullptr);
  ByteReader r(message.substr(start));
  RpcRequest request;
  uint16_t chars = r.u16();
  if (chars == 0xFFFF) {
    request.procId = r.u16();
  } else {
    request.name = r.ucs2(chars);
    for (auto& c : request.name)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  r.u16();  // option flags
  while (r.remaining() > 0) {
    RpcParameter p;
    p.name = r.ucs2(r.u8());
    p.output = (r.u8() & 0x01) != 0;
    uint8_t type = r.u8();
    if (!readParameter(r, type, p)) {
      request.unsupportedType = type;
      break;
    }
    request.parameters.push_back(std::move(p));
  }
  return request;
}

}  // namespace standin
