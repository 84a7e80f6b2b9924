#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

// A velmora-export started and not yet waited for.
struct StartedExport {
  pid_t pid = -1;
  std::filesystem::path outPath;
  std::filesystem::path errPath;
};

// Where the child's standard error goes: a file beside the script, read back afterwards, or
// a pipe whose reading end is closed before the program starts (as after `| head -0`).
enum class ErrorStream { file, brokenPipe };

// Starts the velmora-export this build made with `directory` as its current directory; its
// output streams go to files beside the script (`stdout.txt`, `stderr.txt`, or with `tag`
// before the dot).
inline StartedExport startExport(const std::filesystem::path& directory,
                                 const std::vector<std::string>& arguments,
                                 const EnvironmentChanges& changes,
                                 ErrorStream errorStream = ErrorStream::file,
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

  StartedExport started{-1, directory / ("stdout" + tag + ".txt"),
                        directory / ("stderr" + tag + ".txt")};
  int errorPipe[2] = {-1, -1};
  if (errorStream == ErrorStream::brokenPipe && ::pipe(errorPipe) != 0)
    throw std::runtime_error("pipe failed");
  started.pid = ::fork();
  if (started.pid < 0)
    throw std::runtime_error("fork failed");
  if (started.pid == 0) {
    const int out = ::open(started.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = errorStream == ErrorStream::file
                        ? ::open(started.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)
                        : errorPipe[1];
    if (errorStream == ErrorStream::brokenPipe)
      ::close(errorPipe[0]);
    if (out < 0 || err < 0 || ::dup2(out, STDOUT_FILENO) < 0 || ::dup2(err, STDERR_FILENO) < 0 ||
        ::chdir(directory.c_str()) != 0)
      ::_exit(127);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  if (errorStream == ErrorStream::brokenPipe) {
    ::close(errorPipe[0]);
    ::close(errorPipe[1]);
  }
  return started;
}

// Waits for a started export; kills it when it runs longer than `timeout`.
inline ExportResult finishExport(const StartedExport& started,
                                 std::chrono::seconds timeout = std::chrono::seconds(60)) {
  ExportResult result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (::waitpid(started.pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(started.pid, SIGKILL);
      ::waitpid(started.pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  result.standardOutput = readFile(started.outPath);
  result.standardError = readFile(started.errPath);
  std::filesystem::remove(started.outPath);
  std::filesystem::remove(started.errPath);
  return result;
}

// Runs the exporter to its end (see startExport and finishExport).
inline ExportResult runExport(const std::filesystem::path& directory,
                              const std::vector<std::string>& arguments,
                              const EnvironmentChanges& changes,
                              std::chrono::seconds timeout = std::chrono::seconds(60),
                              ErrorStream errorStream = ErrorStream::file) {
  return finishExport(startExport(directory, arguments, changes, errorStream), timeout);
}

}  // namespace velmora::e2e
