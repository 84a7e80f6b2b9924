#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace velmora::e2e {

// True when nothing holds port `port` of 127.0.0.1 for `socketType` (SOCK_STREAM for TCP,
// SOCK_DGRAM for UDP), so that a test's server can take it.
inline bool loopbackPortFree(int socketType, uint16_t port) {
  const int fd = ::socket(AF_INET, socketType, 0);
  // A TCP port left in TIME_WAIT can be listened on again.
  const int yes = 1;
  if (socketType == SOCK_STREAM)
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return free;
}

struct ExportResult {
  int exitCode = -1;  // -1: killed after the time-out or ended by a signal
  std::string standardOutput;
  std::string standardError;
};

// Environment changes for the child: a value sets the variable, std::nullopt removes it.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Where one of the exporter's output streams goes: a file beside the script, read back
// afterwards; a pipe, or a pseudo-terminal that passes bytes unchanged, read while it runs;
// or a pipe whose reading end is closed before the program starts (as after `| head -0`);
// or closed (as after `>&-`).
enum class Stream { file, pipe, terminal, brokenPipe, closed };
struct Streams {
  Stream output = Stream::file;
  Stream error = Stream::file;
};

namespace detail {

// One output stream of the child: the end it writes to, and the end the parent reads.
struct Channel {
  Stream stream = Stream::file;
  std::filesystem::path file;
  int parentFd = -1;
  int childFd = -1;
  std::string bytes;
};

inline Channel openChannel(Stream stream, std::filesystem::path file) {
  Channel channel;
  channel.stream = stream;
  channel.file = std::move(file);
  int fds[2] = {-1, -1};
  switch (stream) {
    case Stream::file:
      channel.childFd =
          ::open(channel.file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      break;
    case Stream::pipe:
    case Stream::brokenPipe:
      if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
      channel.parentFd = fds[0];
      channel.childFd = fds[1];
      if (stream == Stream::brokenPipe) {
        ::close(channel.parentFd);
        channel.parentFd = -1;
      }
      break;
    case Stream::closed:
      return channel;
    case Stream::terminal: {
      termios raw{};
      ::cfmakeraw(&raw);
      if (::openpty(&channel.parentFd, &channel.childFd, nullptr, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
      ::fcntl(channel.parentFd, F_SETFD, FD_CLOEXEC);
      ::fcntl(channel.childFd, F_SETFD, FD_CLOEXEC);
      break;
    }
  }
  if (channel.childFd < 0)
    throw std::runtime_error("cannot open " + channel.file.string());
  return channel;
}

// Reads what is there; false once the writing side is gone (EOF, or EIO from a terminal).
inline bool drain(Channel& channel, int timeoutMs) {
  if (channel.parentFd < 0)
    return false;
  pollfd ready{channel.parentFd, POLLIN, 0};
  if (::poll(&ready, 1, timeoutMs) <= 0)
    return true;
  char buffer[4096];
  const ssize_t got = ::read(channel.parentFd, buffer, sizeof buffer);
  if (got > 0) {
    channel.bytes.append(buffer, static_cast<std::size_t>(got));
    return true;
  }
  if (got < 0 && errno == EINTR)
    return true;
  ::close(channel.parentFd);
  channel.parentFd = -1;
  return false;
}

// What the child wrote to the stream, once it is done.
inline std::string collected(const Channel& channel) {
  if (channel.stream != Stream::file)
    return channel.bytes;
  std::string bytes = readFile(channel.file);
  std::filesystem::remove(channel.file);
  return bytes;
}

}  // namespace detail

// A velmora-export started and not yet waited for.
struct StartedExport {
  pid_t pid = -1;
  detail::Channel out;
  detail::Channel err;
};

// Starts the velmora-export this build made with `directory` as its current directory; its
// output streams go where `streams` says (files beside the script: `stdout.txt`,
// `stderr.txt`, or with `tag` before the dot).
inline StartedExport startExport(const std::filesystem::path& directory,
                                 const std::vector<std::string>& arguments,
                                 const EnvironmentChanges& changes, Streams streams = {},
                                 const std::string& tag = "") {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (const std::size_t equals = text.find('='); equals != std::string::npos)
      variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : changes) {
    if (value)
      variables[name] = *value;
    else
      variables.erase(name);
  }
  std::vector<std::string> texts;
  for (const auto& [name, value] : variables)
    texts.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& text : texts)
    envp.push_back(text.data());
  envp.push_back(nullptr);

  std::string program = VELMORA_EXPORT_PATH;
  std::vector<std::string> argumentTexts = arguments;
  std::vector<char*> argv{program.data()};
  for (std::string& argument : argumentTexts)
    argv.push_back(argument.data());
  argv.push_back(nullptr);

  StartedExport started;
  started.out = detail::openChannel(streams.output, directory / ("stdout" + tag + ".txt"));
  started.err = detail::openChannel(streams.error, directory / ("stderr" + tag + ".txt"));
  started.pid = ::fork();
  if (started.pid < 0)
    throw std::runtime_error("fork failed");
  if (started.pid == 0) {
    auto attach = [](int childFd, int fd) {
      return childFd < 0 ? ::close(fd) == 0 : ::dup2(childFd, fd) >= 0;
    };
    if (!attach(started.out.childFd, STDOUT_FILENO) ||
        !attach(started.err.childFd, STDERR_FILENO) || ::chdir(directory.c_str()) != 0)
      ::_exit(127);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  if (started.out.childFd >= 0)
    ::close(started.out.childFd);
  if (started.err.childFd >= 0)
    ::close(started.err.childFd);
  return started;
}

// Waits for a started export, reading its pipes and terminal meanwhile; kills it when it
// runs longer than `timeout`.
inline ExportResult finishExport(StartedExport started,
                                 std::chrono::seconds timeout = std::chrono::seconds(60)) {
  ExportResult result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  bool exited = false;
  while (!exited) {
    const bool reading = detail::drain(started.out, 5) | detail::drain(started.err, 5);
    exited = ::waitpid(started.pid, &status, WNOHANG) == started.pid;
    if (!exited && std::chrono::steady_clock::now() > deadline) {
      ::kill(started.pid, SIGKILL);
      ::waitpid(started.pid, &status, 0);
      exited = true;
    }
    if (!reading && !exited)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  while (detail::drain(started.out, 0) || detail::drain(started.err, 0)) {
  }
  if (WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  result.standardOutput = detail::collected(started.out);
  result.standardError = detail::collected(started.err);
  return result;
}

// Runs the exporter to its end (see startExport and finishExport).
inline ExportResult runExport(const std::filesystem::path& directory,
                              const std::vector<std::string>& arguments,
                              const EnvironmentChanges& changes,
                              std::chrono::seconds timeout = std::chrono::seconds(60),
                              Streams streams = {}) {
  return finishExport(startExport(directory, arguments, changes, streams), timeout);
}

// A unified diff of the expected file against the bytes written, for a failure message.
inline std::string unifiedDiff(const std::filesystem::path& expected,
                               const std::filesystem::path& actual) {
  const std::string command = "diff -u '" + expected.string() + "' '" + actual.string() + "'";
  std::string output;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
      output.append(buffer, got);
    ::pclose(pipe);
  }
  return output;
}

}  // namespace velmora::e2e
