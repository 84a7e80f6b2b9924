#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace standin {

// The client closed the connection or it broke; the session ends without an answer.
class ClientGone : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One client socket framed as TDS packets. Incoming packets are joined into messages;
// outgoing messages are split into packets of the negotiated size.
class PacketChannel {
 public:
  static constexpr std::size_t kHeaderSize = 8;
  static constexpr std::size_t kDefaultPacketSize = 4096;
  static constexpr std::size_t kLargestPacket = 32767;
  static constexpr std::size_t kLargestMessage = 64 * 1024 * 1024;

  PacketChannel(int fd, uint16_t spid) : fd_(fd), spid_(spid) {}

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
  // Sends all of the reply, the last packet marked end-of-message.
  void endMessage();
  // Sends what the reply holds without ending it, then closes the socket (a fault for tests).
  void abandon();
  // True when the client has sent an ATTENTION while a reply is being sent. Throws
  // ProtocolError for any other message arriving in the middle of a reply.
  bool attentionArrived();

  void setPacketSize(std::size_t size) { packetSize_ = size; }
  std::size_t packetSize() const { return packetSize_; }

 private:
  void fill(std::size_t bytes);  // reads until in_ holds at least `bytes` bytes
  void sendPackets(std::size_t payloadBytes, bool last);
  void sendAll(const char* data, std::size_t size);

  int fd_;
  uint16_t spid_;
  std::size_t packetSize_ = kDefaultPacketSize;
  uint8_t packetId_ = 1;
  std::string in_;
  std::string out_;
  std::string wire_;
};

}  // namespace standin
