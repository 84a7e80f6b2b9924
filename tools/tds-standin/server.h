#pragma once

#include <cstdint>
#include <string>

#include "encryption.h"
#include "fixture.h"
#include "statement_log.h"

namespace standin {

class TlsCredentials;

// How connections are met, beyond the fixture.
struct ConnectionOptions {
  EncryptionMode encryption = EncryptionMode::Off;
  const TlsCredentials* tls = nullptr;  // needed unless encryption is off
  std::string instance;                 // empty: the default instance
};

// Listens on 127.0.0.1 and serves each accepted connection on a thread of its own.
class Server {
 public:
  // Binds the port (0 picks a free one). Throws std::runtime_error when it cannot listen.
  Server(const Fixture& fixture, uint16_t port, StatementLog* log,
         const ConnectionOptions& options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  uint16_t port() const { return port_; }
  // Accepts connections until the process ends.
  [[noreturn]] void serveForever();

 private:
  const Fixture& fixture_;
  StatementLog* log_;
  const ConnectionOptions& options_;
  int listenFd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace standin
