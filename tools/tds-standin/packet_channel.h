#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "requests.h"

namespace standin {

// The client closed the connection or it broke; the session ends without an answer.
class ClientGone : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where a channel's bytes come from and go to: the client socket itself, or a TLS session
// over it.
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Reads at least one byte; throws ClientGone when the connection ends or breaks.
  virtual std::size_t receive(char* buffer, std::size_t size) = 0;
  virtual void send(const char* data, std::size_t size) = 0;
  // True when bytes are waiting, so that receive() would not block.
  virtual bool readable() = 0;
};

// One client socket framed as TDS packets. Incoming packets are joined into messages;
// outgoing messages are split into packets of the negotiated size.
class PacketChannel {
 public:
  static constexpr std::size_t kHeaderSize = 8;
  static constexpr std::size_t kDefaultPacketSize = 4096;
  static constexpr std::size_t kLargestPacket = 32767;
  static constexpr std::size_t kLargestMessage = 64 * 1024 * 1024;

  PacketChannel(int fd, uint16_t spid);

  struct Message {
    uint8_t type = 0;
    uint8_t status = 0;  // of the last packet
    std::string payload;
  };

  // Reads one whole message. Returns false when the client closed the connection between
  // messages. Throws ProtocolError for malformed packets and ClientGone when the
  // connection ends inside a message.
  bool read(Message& message);

  // Payload of the reply being built; callers append tokens to it.
  std::string& out() { return out_; }
  // Sends the full packets the reply holds so far, keeping the rest for later.
  void sendFullPackets();
  // Sends all of the reply, the last packet marked end-of-message. The server's part of a
  // TLS handshake goes out as PRELOGIN packets, everything else as replies.
  void endMessage(uint8_t type = packet::kReply);
  // Sends what the reply holds without ending it, then closes the socket (a fault for tests).
  void abandon();
  // True when the client has sent an ATTENTION while a reply is being sent. Throws
  // ProtocolError for any other message arriving in the middle of a reply.
  bool attentionArrived();

  // Carries the following packets over `stream` (a TLS session) instead of the bare socket;
  // with `onePacket`, only the next packet read, and everything after it goes bare again.
  void useStream(ByteStream& stream, bool onePacket);

  void setPacketSize(std::size_t size) { packetSize_ = size; }
  std::size_t packetSize() const { return packetSize_; }

 private:
  class SocketStream final : public ByteStream {
   public:
    explicit SocketStream(int fd) : fd_(fd) {}
    std::size_t receive(char* buffer, std::size_t size) override;
    void send(const char* data, std::size_t size) override;
    bool readable() override;

   private:
    int fd_;
  };

  void fill(std::size_t bytes);  // reads until in_ holds at least `bytes` bytes
  void sendPackets(std::size_t payloadBytes, bool last, uint8_t type);

  int fd_;
  uint16_t spid_;
  SocketStream socket_;
  ByteStream* stream_ = &socket_;
  bool streamForOnePacket_ = false;
  std::size_t packetSize_ = kDefaultPacketSize;
  uint8_t packetId_ = 1;
  std::string in_;
  std::string out_;
  std::string wire_;
};

}  // namespace standin
