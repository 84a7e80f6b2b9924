#include "script/script_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

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

// Appends the line and CR LF with one call per 63 of the file's 128-byte output pieces (one
// call for any usual line). The descriptor carries O_APPEND, so Linux appends whatever offset
// a positioned write names, while a positioned write still refuses a pipe or a socket
// (ESPIPE) as the end-of-file seek before every append used to. A partial write goes on with
// the bytes left.
void appendLine(int fd, std::string_view line) {
  constexpr size_t kPiece = 128;
  constexpr int kMaxPieces = 64;
  constexpr std::string_view kLineEnd = "\r\n";
  const size_t total = line.size() + kLineEnd.size();
  size_t done = 0;
  while (done < total) {
    iovec pieces[kMaxPieces];
    int count = 0;
    size_t at = done;
    while (at < line.size() && count < kMaxPieces - 1) {
      const size_t size = std::min(kPiece - at % kPiece, line.size() - at);
      pieces[count++] = {const_cast<char*>(line.data() + at), size};
      at += size;
    }
    if (at >= line.size()) {
      const size_t endAt = at - line.size();
      pieces[count++] = {const_cast<char*>(kLineEnd.data() + endAt), kLineEnd.size() - endAt};
    }
    const ssize_t written = ::pwritev(fd, pieces, count, 0);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      failWith(errno);
    }
    // A regular file that takes nothing has no room left.
    if (written == 0)
      failWith(ENOSPC);
    done += static_cast<size_t>(written);
  }
}

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
  // Read and write, not write only: opening a FIFO for writing alone would wait for a reader.
  int fd;
  do
    fd = ::open(kFileName, O_RDWR | O_APPEND | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0)
    failWith(errno);
  OpenFile file(fd);
  appendLine(fd, bytes);
  file.close();
}

}  // namespace velmora::script
