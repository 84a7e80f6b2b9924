#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace velmora::script {

// Another run, in this or another process, is writing the file.
class OutputBusyError : public std::runtime_error {
 public:
  // "<fileName> is being written by another run."
  explicit OutputBusyError(const std::string& fileName);
};

// One run per output file, across processes: a run holds this lock from the moment it starts
// to touch the file until it ends. The kernel drops it when the process dies, and it leaves
// nothing on disk.
class OutputLock {
 public:
  // Takes the lock on the file at `path` (a plain file name means the current directory).
  // Throws OutputBusyError when another run holds it, EInOutError when the lock cannot be
  // asked for (the folder cannot be reached, no descriptor left).
  explicit OutputLock(const std::string& path);
  // The same, but empty instead of OutputBusyError.
  static std::optional<OutputLock> tryTake(const std::string& path);

  ~OutputLock();
  OutputLock(OutputLock&& other) noexcept;
  OutputLock(const OutputLock&) = delete;
  OutputLock& operator=(const OutputLock&) = delete;
  OutputLock& operator=(OutputLock&&) = delete;

 private:
  explicit OutputLock(int socket) : socket_(socket) {}
  int socket_;
};

}  // namespace velmora::script
