#include "script/open_file.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace velmora::script {
namespace {

// Open, write and close go to the kernel without glibc's wrappers. Those are
// thread-cancellation points: in a process with a second thread (the fetch thread, Qt's) each
// call also switches the calling thread's cancellation state there and back, which costs up
// to a tenth of a line's append. Nothing in this program cancels a thread; the kernel calls
// are the same.
int openDirect(const char* name, int flags, unsigned mode) {
  return static_cast<int>(::syscall(SYS_openat, AT_FDCWD, name, flags, mode));
}
ssize_t writeDirect(int fd, const char* bytes, std::size_t count) {
  return ::syscall(SYS_write, fd, bytes, count);
}
int closeDirect(int fd) {
  return static_cast<int>(::syscall(SYS_close, fd));
}

[[noreturn]] void failWith(int errnoValue) {
  throw std::system_error(errnoValue, std::generic_category());
}

}  // namespace

OpenFile OpenFile::open(const char* path, int flags, unsigned mode) {
  int fd;
  do
    fd = openDirect(path, flags, mode);
  while (fd < 0 && errno == EINTR);
  return OpenFile(fd);
}

OpenFile::~OpenFile() {
  if (fd_ >= 0)
    closeDirect(fd_);
}

OpenFile& OpenFile::operator=(OpenFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0)
      closeDirect(fd_);
    fd_ = other.release();
  }
  return *this;
}

void OpenFile::writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = writeDirect(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR)
        continue;
      failWith(errno);
    }
    // A file that takes nothing has no room left.
    if (written == 0)
      failWith(ENOSPC);
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

void OpenFile::close() {
  // Linux releases the descriptor even when close fails, so it is never closed twice; EINTR
  // leaves the data written and is no failure.
  if (closeDirect(release()) != 0 && errno != EINTR)
    failWith(errno);
}

}  // namespace velmora::script
