#include "packet_channel.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "requests.h"
#include "wire.h"

namespace standin {
namespace {

constexpr uint8_t kEndOfMessage = 0x01;
constexpr uint8_t kIgnore = 0x02;

}  // namespace

std::size_t PacketChannel::SocketStream::receive(char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::recv(fd_, buffer, size, 0);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      throw ClientGone(std::string("read failed: ") + std::strerror(errno));
    if (n == 0)
      throw ClientGone("client closed the connection");
    return static_cast<std::size_t>(n);
  }
}

void PacketChannel::SocketStream::send(const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      throw ClientGone(std::string("write failed: ") + std::strerror(errno));
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

bool PacketChannel::SocketStream::readable() {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

PacketChannel::PacketChannel(int fd, uint16_t spid) : fd_(fd), spid_(spid), socket_(fd) {}

void PacketChannel::useStream(ByteStream& stream, bool onePacket) {
  if (!in_.empty())
    throw ProtocolError("bytes arrived before the server's answer to PRELOGIN");
  stream_ = &stream;
  streamForOnePacket_ = onePacket;
}

void PacketChannel::fill(std::size_t bytes) {
  char buffer[65536];
  while (in_.size() < bytes) {
    in_.append(buffer, stream_->receive(buffer, sizeof buffer));
  }
}

bool PacketChannel::read(Message& message) {
  message.payload.clear();
  bool first = true;
  for (;;) {
    if (first && in_.empty()) {
      try {
        fill(1);
      } catch (const ClientGone&) {
        return false;
      }
    }
    fill(kHeaderSize);
    ByteReader header(std::string_view(in_).substr(0, kHeaderSize));
    uint8_t type = header.u8();
    uint8_t status = header.u8();
    uint16_t length = header.u16be();
    if (length < kHeaderSize || length > std::max(packetSize_, kLargestPacket)) {
      throw ProtocolError("packet length " + std::to_string(length) + " is impossible");
    }
    if (!first && type != message.type) {
      throw ProtocolError("packet of type " + std::to_string(type) + " inside a message of type " +
                          std::to_string(message.type));
    }
    fill(length);
    if (message.payload.size() + length > kLargestMessage) {
      throw ProtocolError("message larger than " + std::to_string(kLargestMessage) + " bytes");
    }
    message.type = type;
    message.status = status;
    message.payload.append(in_, kHeaderSize, length - kHeaderSize);
    in_.erase(0, length);
    first = false;
    if (streamForOnePacket_) {
      // Only the login packet was encrypted; the client goes on over the bare socket.
      if (!in_.empty())
        throw ProtocolError("more bytes followed the encrypted login packet");
      stream_ = &socket_;
      streamForOnePacket_ = false;
    }
    if (status & kEndOfMessage) {
      if (status & kIgnore) {
        // The client withdrew this message: wait for the next one.
        message.payload.clear();
        first = true;
        continue;
      }
      return true;
    }
  }
}

void PacketChannel::sendPackets(std::size_t payloadBytes, bool last, uint8_t type) {
  const std::size_t chunk = packetSize_ - kHeaderSize;
  wire_.clear();
  std::size_t pos = 0;
  do {
    std::size_t n = std::min(chunk, payloadBytes - pos);
    bool final = last && pos + n == payloadBytes;
    std::size_t length = n + kHeaderSize;
    const char header[kHeaderSize] = {
        static_cast<char>(type),        static_cast<char>(final ? kEndOfMessage : 0),
        static_cast<char>(length >> 8), static_cast<char>(length),
        static_cast<char>(spid_ >> 8),  static_cast<char>(spid_),
        static_cast<char>(packetId_++), 0};
    wire_.append(header, kHeaderSize);
    wire_.append(out_, pos, n);
    pos += n;
  } while (pos < payloadBytes);
  stream_->send(wire_.data(), wire_.size());
  out_.erase(0, payloadBytes);
}

void PacketChannel::sendFullPackets() {
  const std::size_t chunk = packetSize_ - kHeaderSize;
  std::size_t full = out_.size() / chunk * chunk;
  if (full > 0) {
    sendPackets(full, false, packet::kReply);
  }
}

void PacketChannel::endMessage(uint8_t type) {
  sendPackets(out_.size(), true, type);
  packetId_ = 1;
}

void PacketChannel::abandon() {
  if (!out_.empty()) {
    sendPackets(out_.size(), false, packet::kReply);
  }
  ::shutdown(fd_, SHUT_RDWR);
}

bool PacketChannel::attentionArrived() {
  if (in_.empty() && !stream_->readable()) {
    return false;
  }
  Message message;
  if (!read(message)) {
    throw ClientGone("client closed the connection in the middle of a reply");
  }
  if (message.type != packet::kAttention) {
    throw ProtocolError("a request of type " + std::to_string(message.type) +
                        " arrived in the middle of a reply");
  }
  return true;
}

}  // namespace standin
