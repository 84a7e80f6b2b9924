#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace standin {

// What the SQL Server Browser tells about the one instance this server plays.
struct InstanceInfo {
  std::string serverName;  // the machine's name, upper case
  std::string instance;
  uint16_t tcpPort = 0;
};

// The SVR_RESP datagram answering one Browser request: CLNT_BCAST_EX and CLNT_UCAST_EX get
// the instance's entry, CLNT_UCAST_INST gets it when it names this instance. Anything else,
// another instance among them, gets no answer, as from the real Browser.
std::optional<std::string> browserAnswer(std::string_view request, const InstanceInfo& info);

// Answers Browser requests on a UDP port of 127.0.0.1 from a thread of its own.
class Browser {
 public:
  // Binds the port (0 picks a free one). Throws std::runtime_error when it cannot.
  Browser(uint16_t port, InstanceInfo info);
  ~Browser();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  uint16_t port() const { return port_; }
  // Starts answering; the thread runs until the process ends.
  void start();

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  InstanceInfo info_;
};

// The name of this machine as the Browser reports it: the host name up to its first dot,
// in upper case.
std::string machineName();

}  // namespace standin
