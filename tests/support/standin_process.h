#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// Runs the tds-standin program for the length of a test: starts it on a free loopback port,
// waits until it listens, and stops and reaps it when the object goes away.
class StandinProcess {
 public:
  // Starts the stand-in with `--fixture fixturePath --port 0` plus extraArgs and waits up to
  // 10 s for its "listening on 127.0.0.1:PORT" line. Throws std::runtime_error with the
  // reason when the program cannot be started or does not report a port in time.
  explicit StandinProcess(const std::string& fixturePath, std::vector<std::string> extraArgs = {});
  ~StandinProcess();

  StandinProcess(const StandinProcess&) = delete;
  StandinProcess& operator=(const StandinProcess&) = delete;

  int port() const { return port_; }
  // The server text a client connects to: "127.0.0.1,PORT".
  std::string serverText() const;
  pid_t pid() const { return pid_; }
  // The next line the program writes on standard output (waits up to 10 s; throws
  // std::runtime_error when none comes), such as the "browser on 127.0.0.1:PORT" line.
  std::string readLine();
  // True while the program has not exited (reaps it when it has).
  bool running();

  // The path of the stand-in program this build made.
  static std::string programPath();

 private:
  void stop() noexcept;

  pid_t pid_ = -1;
  int stdoutFd_ = -1;
  int port_ = 0;
};

// What a finished program left behind.
struct ProgramResult {
  int exitCode = -1;  // -1 when it was killed (time-out or signal)
  std::string out;
  std::string err;
};

// Runs argv[0] (a path, no shell) with `input` on its standard input and collects its
// output; kills it when it runs longer than `timeout`. Throws std::runtime_error when it
// cannot be started.
ProgramResult runProgram(const std::vector<std::string>& argv, const std::string& input = "",
                         std::chrono::seconds timeout = std::chrono::seconds(60));
