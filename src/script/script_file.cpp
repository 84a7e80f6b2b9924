#include "script/script_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

[[noreturn]] void failWith(int errnoValue) {
  throw EInOutError(ioErrorCodeFor(errnoValue));
}

// One open descriptor, closed on every path; close() is the checked close of the good path.
class OpenFile {
 public:
  explicit OpenFile(int fd) : fd_(fd) {}
  ~OpenFile() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  int fd() const { return fd_; }
  // Linux releases the descriptor even when close fails, so it is never closed twice; EINTR
  // leaves the data written and is no failure.
  void close() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR)
      failWith(errno);
  }

 private:
  int fd_;
};

void writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      failWith(errno);
    }
    // A regular file that takes nothing has no room left.
    if (written == 0)
      failWith(ENOSPC);
    data += written;
    size -= static_cast<size_t>(written);
  }
}

// The file's 128-byte output buffer: every full buffer goes to the file in one write, the
// rest when the line is complete.
class PieceWriter {
 public:
  explicit PieceWriter(int fd) : fd_(fd) {}

  void add(std::string_view bytes) {
    while (!bytes.empty()) {
      const size_t taken = std::min(bytes.size(), sizeof buffer_ - used_);
      std::memcpy(buffer_ + used_, bytes.data(), taken);
      used_ += taken;
      bytes.remove_prefix(taken);
      if (used_ == sizeof buffer_)
        flush();
    }
  }
  void flush() {
    writeAll(fd_, buffer_, used_);
    used_ = 0;
  }

 private:
  int fd_;
  char buffer_[128];
  size_t used_ = 0;
};

// Deletes whatever stands under the name unless it is a folder (a link is removed, never
// followed), then creates the file empty. Nothing is reported: a file that cannot be
// replaced shows itself at the first append.
void replaceWithEmptyFile() {
  struct stat status;
  if (::lstat(ScriptFile::kFileName, &status) == 0 && !S_ISDIR(status.st_mode))
    ::unlink(ScriptFile::kFileName);
  const int fd = ::open(ScriptFile::kFileName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd >= 0)
    ::close(fd);
}

}  // namespace

EInOutError::EInOutError(int errorCode)
    : std::runtime_error(messageFor(errorCode)), ErrorCode(errorCode) {}

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

void ScriptFile::prepare() {
  replaceWithEmptyFile();
}

void ScriptFile::ResetInitDataFile() {
  replaceWithEmptyFile();
}

void ScriptFile::AddToText(std::u16string_view line) {
  appendConverted(codeset_.fromUtf16(line));
}

void ScriptFile::appendConverted(std::string_view bytes) {
  int fd;
  do
    fd = ::open(kFileName, O_RDWR | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0)
    failWith(errno);
  OpenFile file(fd);
  if (::lseek(fd, 0, SEEK_END) < 0)
    failWith(errno);
  PieceWriter writer(fd);
  writer.add(bytes);
  writer.add("\r\n");
  writer.flush();
  file.close();
}

}  // namespace velmora::script
