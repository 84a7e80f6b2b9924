#include "standin_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kStopGrace = std::chrono::seconds(2);
constexpr std::string_view kListeningPrefix = "listening on 127.0.0.1:";

// Reads from fd until a newline arrives or the deadline passes; returns the line without
// its end, or throws when the program closes its output or stays silent.
std::string readFirstLine(int fd, std::chrono::steady_clock::time_point deadline) {
  std::string line;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      throw std::runtime_error("tds-standin wrote no whole line within 10 s (output so far: \"" +
                               line + "\")");
    }
    pollfd p{fd, POLLIN, 0};
    int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready <= 0) {
      continue;
    }
    char c;
    ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      throw std::runtime_error("tds-standin closed its output (output so far: \"" + line + "\")");
    }
    if (c == '\n') {
      return line;
    }
    line.push_back(c);
  }
}

}  // namespace

std::string StandinProcess::programPath() {
#ifdef VELMORA_STANDIN_PATH
  return VELMORA_STANDIN_PATH;
#else
  throw std::runtime_error("this build has no tds-standin program");
#endif
}

StandinProcess::StandinProcess(const std::string& fixturePath, std::vector<std::string> extraArgs) {
  std::string program = programPath();
  std::vector<std::string> args{program, "--fixture", fixturePath, "--port", "0"};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  std::vector<char*> argv;
  for (auto& a : args) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("cannot make a pipe for tds-standin: ") +
                             std::strerror(errno));
  }
  pid_ = ::fork();
  if (pid_ < 0) {
    int err = errno;
    ::close(fds[0]);
    ::close(fds[1]);
    throw std::runtime_error(std::string("cannot start tds-standin: ") + std::strerror(err));
  }
  if (pid_ == 0) {
    // Only async-signal-safe calls between fork and exec: the test may run threads.
    // A test process that dies must not leave a server holding its output open.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::dup2(fds[1], STDOUT_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  stdoutFd_ = fds[0];

  try {
    std::string line = readFirstLine(stdoutFd_, std::chrono::steady_clock::now() + kStartTimeout);
    if (line.rfind(kListeningPrefix, 0) != 0) {
      throw std::runtime_error("tds-standin printed \"" + line + "\" instead of its port");
    }
    port_ = std::stoi(line.substr(kListeningPrefix.size()));
    if (port_ <= 0 || port_ > 65535) {
      throw std::runtime_error("tds-standin reported a bad port: \"" + line + "\"");
    }
  } catch (...) {
    stop();
    throw;
  }
}

StandinProcess::~StandinProcess() {
  stop();
}

std::string StandinProcess::serverText() const {
  return "127.0.0.1," + std::to_string(port_);
}

std::string StandinProcess::readLine() {
  return readFirstLine(stdoutFd_, std::chrono::steady_clock::now() + kStartTimeout);
}

bool StandinProcess::running() {
  if (pid_ <= 0) {
    return false;
  }
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

void StandinProcess::stop() noexcept {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (done == 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
  }
  if (stdoutFd_ >= 0) {
    ::close(stdoutFd_);
    stdoutFd_ = -1;
  }
}

namespace {

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

ProgramResult runProgram(const std::vector<std::string>& argv, const std::string& input,
                         std::chrono::seconds timeout) {
  char dirTemplate[] = "/tmp/velmora-run.XXXXXX";
  if (::mkdtemp(dirTemplate) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder");
  }
  std::string dir = dirTemplate;
  std::string inPath = dir + "/in", outPath = dir + "/out", errPath = dir + "/err";
  std::ofstream(inPath, std::ios::binary) << input;

  std::vector<std::string> args = argv;
  std::vector<char*> raw;
  for (auto& a : args)
    raw.push_back(a.data());
  raw.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid < 0) {
    throw std::runtime_error(std::string("cannot start ") + argv[0] + ": " + std::strerror(errno));
  }
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    int in = ::open(inPath.c_str(), O_RDONLY);
    int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    ::execv(raw[0], raw.data());
    ::_exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  pid_t done = 0;
  while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (done == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  ProgramResult result;
  result.exitCode = done != 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = readWhole(outPath);
  result.err = readWhole(errPath);
  std::remove(inPath.c_str());
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  ::rmdir(dir.c_str());
  return result;
}
