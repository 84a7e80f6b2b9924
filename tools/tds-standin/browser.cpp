#include "browser.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "fixture.h"
#include "loopback.h"

namespace standin {
namespace {

constexpr uint8_t kBroadcastEx = 0x02;
constexpr uint8_t kUnicastEx = 0x03;
constexpr uint8_t kUnicastInstance = 0x04;
constexpr uint8_t kServerResponse = 0x05;
constexpr std::size_t kLongestInstanceName = 32;
constexpr const char* kVersion = "15.0.2000.5";

}  // namespace

std::optional<std::string> browserAnswer(std::string_view request, const InstanceInfo& info) {
  if (request.empty())
    return std::nullopt;
  const auto kind = static_cast<uint8_t>(request[0]);
  if (kind == kUnicastInstance) {
    // The name, NUL-terminated, of at most 32 bytes.
    std::string_view name = request.substr(1);
    name = name.substr(0, name.find('\0'));
    if (name.size() > kLongestInstanceName || !equalsIgnoreCase(std::string(name), info.instance))
      return std::nullopt;
  } else if ((kind != kBroadcastEx && kind != kUnicastEx) || request.size() != 1) {
    return std::nullopt;
  }
  const std::string data = "ServerName;" + info.serverName + ";InstanceName;" + info.instance +
                           ";IsClustered;No;Version;" + kVersion + ";tcp;" +
                           std::to_string(info.tcpPort) + ";;";
  std::string answer;
  answer += static_cast<char>(kServerResponse);
  answer += static_cast<char>(data.size() & 0xFF);
  answer += static_cast<char>(data.size() >> 8);
  return answer + data;
}

std::string machineName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0)
    return "LOCALHOST";
  std::string name(host, std::strcspn(host, "."));
  for (char& c : name)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

Browser::Browser(uint16_t port, InstanceInfo info) : info_(std::move(info)) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0)
    throw std::runtime_error(std::string("cannot make a UDP socket: ") + std::strerror(errno));
  if (!bindLoopback(fd_, port)) {
    const int err = errno;
    ::close(fd_);
    throw std::runtime_error("cannot answer Browser requests on UDP 127.0.0.1:" +
                             std::to_string(port) + ": " + std::strerror(err));
  }
  port_ = boundPort(fd_);
}

Browser::~Browser() {
  ::close(fd_);
}

void Browser::start() {
  std::thread([this] {
    char request[2048];
    for (;;) {
      sockaddr_in from{};
      socklen_t fromLength = sizeof from;
      const ssize_t n = ::recvfrom(fd_, request, sizeof request, 0,
                                   reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (n < 0) {
        if (errno != EINTR)
          std::fprintf(stderr, "tds-standin: Browser read failed: %s\n", std::strerror(errno));
        continue;
      }
      const auto answer =
          browserAnswer(std::string_view(request, static_cast<std::size_t>(n)), info_);
      if (answer) {
        ::sendto(fd_, answer->data(), answer->size(), 0, reinterpret_cast<sockaddr*>(&from),
                 fromLength);
      }
    }
  }).detach();
}

}  // namespace standin
