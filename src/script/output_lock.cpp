#include "script/output_lock.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "script/script_file.h"

// The lock is a Unix socket bound to a name in the abstract namespace, a name made of the
// output folder's device and inode numbers and the file's name. Only one socket can hold a
// name, the name vanishes with the last descriptor of its socket (also when the process is
// killed), and an abstract name never appears in any folder.
//
// A lock on the file itself would not do: the run's reset deletes the file and creates a new
// one, so two runs could each lock a file of their own under the same name. A lock on the
// folder would make runs that write different files of one folder wait for each other. The
// folder's numbers rather than its path make every path to one folder (relative, through
// links or bind mounts) name the same lock.
//
// The lock reaches the processes of one machine that share a network namespace, which is
// where two runs can meet in one folder; a folder shared with other machines is not covered.
namespace velmora::script {
namespace {

// FNV-1a, 64 bits: stands for a file name too long for the socket's name.
uint64_t nameHash(std::string_view text, uint64_t seed) {
  uint64_t hash = seed;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001B3u;
  }
  return hash;
}

// The abstract socket address for the file at `path`, or an errno value when its folder
// cannot be reached.
int lockAddress(const std::string& path, sockaddr_un& address, socklen_t& length) {
  const size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string_view file = slash == std::string::npos
                                    ? std::string_view(path)
                                    : std::string_view(path).substr(slash + 1);
  struct stat status;
  if (::stat(folder.c_str(), &status) != 0)
    return errno;

  char name[sizeof address.sun_path];
  int size =
      std::snprintf(name, sizeof name, "velmora-output/%jx/%jx/",
                    static_cast<uintmax_t>(status.st_dev), static_cast<uintmax_t>(status.st_ino));
  // The leading NUL of an abstract address takes one byte of sun_path.
  const size_t room = sizeof name - 1 - static_cast<size_t>(size);
  if (file.size() <= room) {
    std::memcpy(name + size, file.data(), file.size());
    size += static_cast<int>(file.size());
  } else {
    size += std::snprintf(name + size, sizeof name - static_cast<size_t>(size), "%016jx%016jx",
                          static_cast<uintmax_t>(nameHash(file, 0xCBF29CE484222325u)),
                          static_cast<uintmax_t>(nameHash(file, 0x84222325CBF29CE4u)));
  }
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, name, static_cast<size_t>(size));
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + static_cast<size_t>(size));
  return 0;
}

// A bound socket, or -1 when another one holds the name. Throws EInOutError otherwise.
int bindLockSocket(const std::string& path) {
  sockaddr_un address;
  socklen_t length = 0;
  if (const int error = lockAddress(path, address, length); error != 0)
    throw EInOutError::fromErrno(error);
  // Close-on-exec: a program started meanwhile must not keep the lock after the run.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    throw EInOutError::fromErrno(errno);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0)
    return fd;
  const int error = errno;
  ::close(fd);
  if (error == EADDRINUSE)
    return -1;
  throw EInOutError::fromErrno(error);
}

}  // namespace

OutputBusyError::OutputBusyError(const std::string& fileName)
    : std::runtime_error(fileName + " is being written by another run.") {}

OutputLock::OutputLock(const std::string& path) : socket_(bindLockSocket(path)) {
  if (socket_ < 0)
    throw OutputBusyError(path);
}

std::optional<OutputLock> OutputLock::tryTake(const std::string& path) {
  const int fd = bindLockSocket(path);
  if (fd < 0)
    return std::nullopt;
  return OutputLock(fd);
}

OutputLock::~OutputLock() {
  if (socket_ >= 0)
    ::close(socket_);
}

OutputLock::OutputLock(OutputLock&& other) noexcept : socket_(other.socket_) {
  other.socket_ = -1;
}

}  // namespace velmora::script
