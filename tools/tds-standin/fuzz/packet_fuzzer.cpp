// libFuzzer target for everything that reads client bytes: packet framing, the request
// parsers and the statement splitter. Any input must end in a result or a ProtocolError.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "packet_channel.h"
#include "requests.h"
#include "statement.h"
#include "tokens.h"
#include "wire.h"

namespace {

void parseMessage(uint8_t type, std::string_view payload, uint32_t version) {
  switch (type) {
    case standin::packet::kPrelogin:
      standin::parsePrelogin(payload);
      break;
    case standin::packet::kLogin7:
      standin::parseLogin7(payload);
      break;
    case standin::packet::kSqlBatch:
      standin::parseBatch(standin::parseSqlBatch(payload, version));
      break;
    case standin::packet::kTransactionManager:
      standin::parseTransactionRequest(payload, version);
      break;
    case standin::packet::kRpc:
      standin::parseRpc(payload, version);
      break;
    default:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1)
    return 0;
  const uint32_t version = (data[0] & 1) ? standin::kTds74 : standin::kTds71;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

  // The bytes straight into each parser ...
  for (uint8_t type :
       {standin::packet::kPrelogin, standin::packet::kLogin7, standin::packet::kSqlBatch,
        standin::packet::kTransactionManager, standin::packet::kRpc}) {
    try {
      parseMessage(type, rest, version);
    } catch (const standin::ProtocolError&) {
    }
  }
  // ... as plain statement text ...
  standin::parseBatch(std::string(rest));

  // ... and as a stream of packets from a socket.
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
    return 0;
  std::size_t written = 0;
  while (written < rest.size()) {
    ssize_t n = ::write(fds[1], rest.data() + written, rest.size() - written);
    if (n <= 0)
      break;
    written += static_cast<std::size_t>(n);
  }
  ::close(fds[1]);
  standin::PacketChannel channel(fds[0], 51);
  try {
    standin::PacketChannel::Message message;
    while (channel.read(message)) {
      parseMessage(message.type, message.payload, version);
    }
  } catch (const standin::ProtocolError&) {
  } catch (const standin::ClientGone&) {
  }
  ::close(fds[0]);
  return 0;
}
