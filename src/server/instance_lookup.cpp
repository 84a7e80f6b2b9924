#include "server/instance_lookup.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

namespace velmora::server {
namespace {

constexpr const char* kBrowserPort = "1434";
constexpr char kUnicastInstanceRequest = 0x04;
constexpr char kServerResponse = 0x05;
constexpr int kRequests = 3;
constexpr std::chrono::milliseconds kWaitForAnswer{1000};
constexpr std::size_t kLargestAnswer = 65535 + 3;

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// One connected UDP socket per address of the host: a refused request then shows at once
// as ECONNREFUSED instead of a silent wait.
class BrowserSockets {
 public:
  explicit BrowserSockets(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (const int rc = ::getaddrinfo(host.c_str(), kBrowserPort, &hints, &found); rc != 0) {
      addressFailure_ = ::gai_strerror(rc);
      return;
    }
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
      const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
      if (fd < 0)
        continue;
      if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
        ::close(fd);
        continue;
      }
      fds_.push_back(fd);
    }
    ::freeaddrinfo(found);
  }
  ~BrowserSockets() {
    for (int fd : fds_)
      if (fd >= 0)
        ::close(fd);
  }
  BrowserSockets(const BrowserSockets&) = delete;
  BrowserSockets& operator=(const BrowserSockets&) = delete;

  // Why the host has no address to ask; empty when it has.
  const std::string& addressFailure() const { return addressFailure_; }

  bool anyOpen() const {
    for (int fd : fds_)
      if (fd >= 0)
        return true;
    return false;
  }

  void sendToAll(const std::string& request) {
    for (int& fd : fds_)
      if (fd >= 0 && ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0)
        closeRefused(fd);
  }

  // Waits until `deadline` for an answer naming the instance.
  std::optional<unsigned> awaitPort(std::chrono::steady_clock::time_point deadline,
                                    std::string_view instance) {
    std::vector<char> answer(kLargestAnswer);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !anyOpen())
        return std::nullopt;
      std::vector<pollfd> waiting;
      for (int fd : fds_)
        if (fd >= 0)
          waiting.push_back({fd, POLLIN, 0});
      if (::poll(waiting.data(), waiting.size(), static_cast<int>(left.count())) <= 0)
        continue;
      for (int& fd : fds_) {
        if (fd < 0)
          continue;
        const ssize_t n = ::recv(fd, answer.data(), answer.size(), MSG_DONTWAIT);
        if (n < 0) {
          if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            closeRefused(fd);
          continue;
        }
        if (auto port = instancePortInReply({answer.data(), static_cast<std::size_t>(n)}, instance))
          return port;
      }
    }
  }

 private:
  static void closeRefused(int& fd) {
    ::close(fd);
    fd = -1;
  }

  std::vector<int> fds_;
  std::string addressFailure_;
};

}  // namespace

std::optional<unsigned> instancePortInReply(std::string_view reply, std::string_view instance) {
  if (reply.size() < 3 || reply[0] != kServerResponse)
    return std::nullopt;
  const std::size_t length = static_cast<unsigned char>(reply[1]) |
                             static_cast<std::size_t>(static_cast<unsigned char>(reply[2])) << 8;
  std::string_view data = reply.substr(3, length);
  // Key;value pairs; an empty key (";;") ends one instance's entry.
  bool ours = false;
  std::optional<unsigned> port;
  while (!data.empty()) {
    const std::size_t keyEnd = data.find(';');
    const std::string_view key = data.substr(0, keyEnd);
    if (keyEnd == std::string_view::npos)
      break;
    data.remove_prefix(keyEnd + 1);
    if (key.empty()) {
      if (ours && port)
        return port;
      ours = false;
      port.reset();
      continue;
    }
    const std::size_t valueEnd = data.find(';');
    const std::string_view value = data.substr(0, valueEnd);
    data.remove_prefix(valueEnd == std::string_view::npos ? data.size() : valueEnd + 1);
    if (sameName(key, "InstanceName")) {
      ours = sameName(value, instance);
    } else if (sameName(key, "tcp")) {
      unsigned number = 0;
      bool digits = !value.empty() && value.size() <= 5;
      for (char c : value) {
        digits = digits && c >= '0' && c <= '9';
        number = number * 10 + static_cast<unsigned>(c - '0');
      }
      if (digits && number >= 1 && number <= 65535)
        port = number;
    }
  }
  return ours && port ? port : std::nullopt;
}

InstanceLookup lookUpInstancePort(const std::string& host, const std::string& instance) {
  BrowserSockets sockets(host);
  if (!sockets.addressFailure().empty())
    return {.failure =
                "The address of " + host + " cannot be found: " + sockets.addressFailure() + "."};
  const std::string request = kUnicastInstanceRequest + instance + '\0';
  for (int i = 0; i < kRequests && sockets.anyOpen(); ++i) {
    sockets.sendToAll(request);
    if (auto port = sockets.awaitPort(std::chrono::steady_clock::now() + kWaitForAnswer, instance))
      return {.port = port};
  }
  if (!sockets.anyOpen())
    return {.failure = "No SQL Server Browser listens on " + host + " (UDP port 1434)."};
  return {.failure =
              "The SQL Server Browser on " + host + " did not name instance " + instance + "."};
}

}  // namespace velmora::server
