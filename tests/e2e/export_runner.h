#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace velmora::e2e {

struct ExportResult {
  int exitCode = -1;  // -1: killed after the time-out or by a signal
  std::string standardOutput;
  std::string standardError;
};

// Environment changes for the child: a value sets the variable, std::nullopt removes it.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

// Runs the velmora-export this build made in `directory`, collecting both output streams;
// the program is killed when it runs longer than `timeout`.
inline ExportResult runExport(const std::filesystem::path& directory,
                              const std::vector<std::string>& arguments,
                              const EnvironmentChanges& environment,
                              std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::size_t equals = text.find('=');
    if (equals != std::string::npos)
      variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : environment) {
    if (value)
      variables[name] = *value;
    else
      variables.erase(name);
  }
  std::vector<std::string> environmentTexts;
  for (const auto& [name, value] : variables)
    environmentTexts.push_back(name + "=" + value);

  const std::string program = VELMORA_EXPORT_PATH;
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& text : environmentTexts)
    envp.push_back(text.data());
  envp.push_back(nullptr);

  int outPipe[2];
  int errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid < 0)
    throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::dup2(outPipe[1], STDOUT_FILENO);
    ::dup2(errPipe[1], STDERR_FILENO);
    if (::chdir(directory.c_str()) != 0)
      ::_exit(127);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);

  ExportResult result;
  std::array<pollfd, 2> fds{pollfd{outPipe[0], POLLIN, 0}, pollfd{errPipe[0], POLLIN, 0}};
  std::array<std::string*, 2> sinks{&result.standardOutput, &result.standardError};
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int open = 2;
  bool timedOut = false;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    if (::poll(fds.data(), fds.size(), static_cast<int>(left.count())) < 0)
      continue;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0)
        continue;
      char buffer[4096];
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  if (timedOut)
    ::kill(pid, SIGKILL);
  for (const pollfd& fd : fds) {
    if (fd.fd >= 0)
      ::close(fd.fd);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!timedOut && WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  return result;
}

}  // namespace velmora::e2e
