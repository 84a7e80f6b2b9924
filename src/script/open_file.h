#pragma once

#include <string_view>

namespace velmora::script {

// One open file descriptor, closed when it goes. Both script outputs write through it. The
// calls throw std::system_error with the system's error number; each output turns that into
// the error its callers expect.
class OpenFile {
 public:
  OpenFile() = default;
  explicit OpenFile(int fd) : fd_(fd) {}
  // Opens `path` as open(2) does, again after an interrupted call. Closed when it failed,
  // with errno telling why.
  static OpenFile open(const char* path, int flags, unsigned mode = 0);
  ~OpenFile();
  OpenFile(OpenFile&& other) noexcept : fd_(other.release()) {}
  OpenFile& operator=(OpenFile&& other) noexcept;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // Writes all of `bytes`, a partial write going on with the bytes left.
  void writeAll(std::string_view bytes) const { writeAll(fd_, bytes); }
  // The same for a descriptor this type does not own (standard output).
  static void writeAll(int fd, std::string_view bytes);
  // The checked close of the good path.
  void close();

 private:
  int release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

  int fd_ = -1;
};

}  // namespace velmora::script
