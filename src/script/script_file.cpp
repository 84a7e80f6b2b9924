#include "script/script_file.h"

#include "script/output_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace velmora::script {

namespace {

// The I/O error table speaks in the old platform's error codes; errno values that have a
// counterpart there are translated, all others are passed on as they are.
int ioErrorCodeFor(int errnoValue) {
  switch (errnoValue) {
    case ENOENT:
    case ENOTDIR:
      return 2;
    case ENAMETOOLONG:
      return 3;
    case EMFILE:
    case ENFILE:
      return 4;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
    case ELOOP:  // a link where the file should be (opened without following links)
      return 5;
    case ENOSPC:
    case EDQUOT:
      return 112;
    case EBUSY:
      return 32;
    default:
      return errnoValue;
  }
}

// The open, write and close of an append, and every write of writeAll, go to the kernel
// without glibc's wrappers. Those are thread-cancellation points: in a process with a second
// thread (the fetch thread, Qt's) each call also switches the calling thread's cancellation
// state there and back, which costs up to a tenth of an append. Nothing in this program
// cancels a thread; the kernel calls are the same.
int openDirect(const char* name, int flags) {
  return static_cast<int>(::syscall(SYS_openat, AT_FDCWD, name, flags));
}
ssize_t writeDirect(int fd, const char* bytes, std::size_t count) {
  return ::syscall(SYS_write, fd, bytes, count);
}
int closeDirect(int fd) {
  return static_cast<int>(::syscall(SYS_close, fd));
}

[[noreturn]] void failWith(int errnoValue) {
  throw EInOutError::fromErrno(errnoValue);
}

// One open descriptor, closed on every path; close() is the checked close of the good path.
class OpenFile {
 public:
  explicit OpenFile(int fd) : fd_(fd) {}
  ~OpenFile() {
    if (fd_ >= 0)
      closeDirect(fd_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  int fd() const { return fd_; }
  // Linux releases the descriptor even when close fails, so it is never closed twice; EINTR
  // leaves the data written and is no failure.
  void close() {
    const int fd = fd_;
    fd_ = -1;
    if (closeDirect(fd) != 0 && errno != EINTR)
      failWith(errno);
  }

 private:
  int fd_;
};

// Appends the line and CR LF. The descriptor carries O_APPEND, so every write lands at the
// end of the file, whatever else appends meanwhile; a partial write goes on with the bytes
// left. The line goes out in one write, not in the 128-byte pieces of a buffered text file,
// one write each. That changes the number of calls and, should a write fail half way (a
// full disk), how much of the failing line stays: whatever prefix the kernel took rather
// than whole pieces. It changes nothing in the file a complete line leaves, nor in the
// lines before a failure, which stay whole.
void appendLine(int fd, std::string_view line) {
  constexpr std::string_view kLineEnd = "\r\n";
  // Lines and their line end go out together; most fit the stack buffer.
  char stackBuffer[4096];
  std::string heapBuffer;
  char* bytes = stackBuffer;
  const size_t total = line.size() + kLineEnd.size();
  if (total > sizeof stackBuffer) {
    heapBuffer.resize(total);
    bytes = heapBuffer.data();
  }
  std::memcpy(bytes, line.data(), line.size());
  std::memcpy(bytes + line.size(), kLineEnd.data(), kLineEnd.size());
  writeAll(fd, std::string_view(bytes, total));
}

// Whether this process may write the file; a read-only file is left as it is.
bool mayWrite(const char* name) {
  return ::faccessat(AT_FDCWD, name, W_OK, AT_EACCESS) == 0;
}

// Deletes whatever stands under the name (a link is removed, never followed), then creates
// the file empty and new, so that nothing put under the name meanwhile is opened instead.
// A folder and a file this process may not write are left alone. Nothing is reported: a
// file that cannot be replaced shows itself at the first append.
void replaceWithEmptyFile() {
  struct stat status;
  if (::lstat(ScriptFile::kFileName, &status) == 0) {
    if (S_ISDIR(status.st_mode))
      return;
    if (S_ISREG(status.st_mode) && !mayWrite(ScriptFile::kFileName))
      return;
    ::unlink(ScriptFile::kFileName);
  }
  const int fd =
      ::open(ScriptFile::kFileName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd >= 0)
    ::close(fd);
}

}  // namespace

EInOutError::EInOutError(int errorCode)
    : std::runtime_error(messageFor(errorCode)), ErrorCode(errorCode) {}

EInOutError EInOutError::fromErrno(int errnoValue) {
  return EInOutError(ioErrorCodeFor(errnoValue));
}

std::string EInOutError::messageFor(int errorCode) {
  switch (errorCode) {
    case 2:
      return "File not found";
    case 3:
      return "Invalid filename";
    case 4:
      return "Too many open files";
    case 5:
      return "File access denied";
    case 100:
      return "Read beyond end of file";
    case 101:
      return "Disk full";
    case 106:
      return "Invalid numeric input";
    default:
      return "I/O error " + std::to_string(errorCode);
  }
}

void writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = writeDirect(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR)
        continue;
      failWith(errno);
    }
    // A regular file that takes nothing has no room left.
    if (written == 0)
      failWith(ENOSPC);
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

void ScriptFile::prepare() {
  // A run of another process keeps its file. The lock is held only while the file is
  // replaced; a lock that cannot even be asked for leaves the file alone too, since the
  // preparation reports nothing.
  try {
    if (const auto lock = OutputLock::tryTake(kFileName))
      replaceWithEmptyFile();
  } catch (const EInOutError&) {
  }
}

std::optional<OutputLock> ScriptFile::lockForRun() {
  return OutputLock(kFileName);
}

void ScriptFile::ResetInitDataFile() {
  replaceWithEmptyFile();
}

void ScriptFile::AddToText(std::u16string_view line) {
  appendConverted(codeset_.fromUtf16(line));
}

void ScriptFile::appendConverted(std::string_view bytes) {
  // Read and write, not write only: opening a FIFO for writing alone would wait for a reader.
  // A link put in the file's place is not followed (ELOOP).
  int fd;
  do
    fd = openDirect(kFileName, O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0)
    failWith(errno);
  OpenFile file(fd);
  // O_APPEND places the writes; the seek to the end refuses a pipe put in the file's place
  // (ESPIPE), which would otherwise take the lines and lose them.
  if (::lseek(fd, 0, SEEK_END) < 0)
    failWith(errno);
  appendLine(fd, bytes);
  file.close();
}

}  // namespace velmora::script
