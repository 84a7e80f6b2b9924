#include "server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "loopback.h"
#include "session.h"

namespace standin {

Server::Server(const Fixture& fixture, uint16_t port, StatementLog* log,
               const ConnectionOptions& options)
    : fixture_(fixture), log_(log), options_(options) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) {
    throw std::runtime_error(std::string("cannot make a socket: ") + std::strerror(errno));
  }
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (!bindLoopback(listenFd_, port) || ::listen(listenFd_, 64) != 0) {
    int err = errno;
    ::close(listenFd_);
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
                             std::strerror(err));
  }
  port_ = boundPort(listenFd_);
}

Server::~Server() {
  ::close(listenFd_);
}

void Server::serveForever() {
  uint16_t nextSpid = 51;  // SQL Server numbers user sessions from 51
  for (;;) {
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EINTR && errno != ECONNABORTED) {
        std::fprintf(stderr, "tds-standin: accept failed: %s\n", std::strerror(errno));
      }
      continue;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    uint16_t spid = nextSpid++;
    if (nextSpid == 0)
      nextSpid = 51;
    std::thread([fd, spid, this] {
      Session session(fd, spid, fixture_, log_, options_);
      session.run();
    }).detach();
  }
}

}  // namespace standin
