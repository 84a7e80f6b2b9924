#pragma once

#include <gnutls/gnutls.h>

#include <cstddef>
#include <exception>
#include <string>

#include "packet_channel.h"

namespace standin {

// The server's TLS identity: an RSA key and a self-signed certificate for it, made at start
// as SQL Server makes its fallback certificate when none is configured.
class TlsCredentials {
 public:
  // Throws std::runtime_error when GnuTLS cannot make them.
  TlsCredentials();
  ~TlsCredentials();
  TlsCredentials(const TlsCredentials&) = delete;
  TlsCredentials& operator=(const TlsCredentials&) = delete;

  gnutls_certificate_credentials_t get() const { return credentials_; }
  const std::string& certificatePem() const { return certificatePem_; }

 private:
  gnutls_certificate_credentials_t credentials_ = nullptr;
  std::string certificatePem_;
};

// The server side of one connection's TLS session. The handshake travels inside PRELOGIN
// packets; after it, TLS records go straight over the socket and carry whole TDS packets.
class TlsStream final : public ByteStream {
 public:
  TlsStream(const TlsCredentials& credentials, int fd);
  ~TlsStream() override;
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // Runs the handshake over `channel`. Throws ProtocolError when the client sends something
  // else than PRELOGIN packets or the handshake fails, ClientGone when the client leaves.
  void handshake(PacketChannel& channel);

  std::size_t receive(char* buffer, std::size_t size) override;
  void send(const char* data, std::size_t size) override;
  bool readable() override;

 private:
  static ssize_t pull(gnutls_transport_ptr_t self, void* data, std::size_t size);
  static ssize_t push(gnutls_transport_ptr_t self, const void* data, std::size_t size);
  static int pullTimeout(gnutls_transport_ptr_t self, unsigned int ms);
  std::size_t pullHandshake(void* data, std::size_t size);
  void flushHandshake();
  [[noreturn]] void fail(int code, const char* what);

  gnutls_session_t session_ = nullptr;
  int fd_;
  PacketChannel* handshakeChannel_ = nullptr;  // set while the handshake runs
  std::string handshakeIn_;
  std::string handshakeOut_;
  std::exception_ptr callbackFailure_;  // exceptions must not cross GnuTLS's C frames
};

}  // namespace standin
