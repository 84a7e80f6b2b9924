#include "script/script_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

#include "script/open_file.h"
#include "script/output_lock.h"

namespace velmora::script {

namespace {

[[noreturn]] void failWith(int errnoValue) {
  throw OutputError::fromErrno(errnoValue);
}

// Appends the line and CR LF. The descriptor carries O_APPEND, so every write lands at the
// end of the file, whatever else appends meanwhile; a partial write goes on with the bytes
// left. The line goes out in one write, not in the 128-byte pieces of a buffered text file,
// one write each. That changes the number of calls and, should a write fail half way (a
// full disk), how much of the failing line stays: whatever prefix the kernel took rather
// than whole pieces. It changes nothing in the file a complete line leaves, nor in the
// lines before a failure, which stay whole.
void writeLine(const OpenFile& file, std::string_view line) {
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
  file.writeAll(std::string_view(bytes, total));
}

// Whether the reset may replace the file: a file with no write permission bit is read-only
// for everyone, root included, though the kernel would let root write it.
bool mayReplace(const struct stat& status) {
  return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 &&
         ::faccessat(AT_FDCWD, ScriptFile::kFileName, W_OK, AT_EACCESS) == 0;
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether kFileName still names the open file.
bool nameStillNames(const OpenFile& file) {
  struct stat opened, named;
  return ::fstat(file.fd(), &opened) == 0 && ::lstat(ScriptFile::kFileName, &named) == 0 &&
         sameFile(opened, named);
}

bool lockOrFail(const OpenFile& file) {
  try {
    return lockForRun(file.fd());
  } catch (const std::system_error& error) {
    failWith(error.code().value());
  }
}

// Deletes whatever stands under the name (a link is removed, never followed), then creates
// the file empty and new and locks it, so that nothing put under the name meanwhile is opened
// instead. The file that stood there is locked before it goes: a run that writes it (another
// folder's run through a link, a run of another output) keeps it. A folder and a file that
// may not be replaced are left alone, unlocked: the first append fails on them.
std::optional<OutputLock> replaceWithEmptyLockedFile() {
  // Each pass that meets a file which changed under it tries again; only runs change it, and
  // a run that keeps changing it is a run under way.
  for (int pass = 0; pass < 3; ++pass) {
    OpenFile old;  // locked until the new file is
    struct stat status;
    if (::lstat(ScriptFile::kFileName, &status) == 0) {
      if (S_ISDIR(status.st_mode))
        return std::nullopt;
      if (S_ISREG(status.st_mode)) {
        if (!mayReplace(status))
          return std::nullopt;
        old = OpenFile::open(ScriptFile::kFileName, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (!old.isOpen() && errno != ENOENT && errno != ELOOP)
          return std::nullopt;
        if (!old.isOpen() || !nameStillNames(old))
          continue;
        if (!lockOrFail(old))
          throw OutputBusyError(ScriptFile::kFileName);
      }
      if (::unlink(ScriptFile::kFileName) != 0 && errno != ENOENT)
        return std::nullopt;
    }
    OpenFile created = OpenFile::open(ScriptFile::kFileName,
                                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (!created.isOpen()) {
      if (errno == EEXIST)
        continue;
      return std::nullopt;
    }
    // Another run that met the new file first, or replaced it before it was locked, is the
    // run that writes it.
    if (!lockOrFail(created) || !nameStillNames(created))
      throw OutputBusyError(ScriptFile::kFileName);
    return OutputLock(std::move(created));
  }
  throw OutputBusyError(ScriptFile::kFileName);
}

}  // namespace

OutputError::OutputError(int errorCode)
    : std::runtime_error(messageFor(errorCode)), code(errorCode) {}

OutputError::OutputError(int errorCode, const std::string& message, std::string filePath,
                         int errnoValue)
    : std::runtime_error(message),
      code(errorCode),
      path(std::move(filePath)),
      systemError(errnoValue) {}

OutputError OutputError::fromErrno(int errnoValue) {
  const int errorCode = codeForErrno(errnoValue);
  return OutputError(errorCode, messageFor(errorCode), ScriptFile::kFileName, errnoValue);
}

// The I/O error table speaks in the old platform's error codes; errno values that have a
// counterpart there are translated, all others are passed on as they are.
int OutputError::codeForErrno(int errnoValue) {
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

std::string OutputError::messageFor(int errorCode) {
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
  // A run of another process keeps its file; the new file's lock is dropped at once.
  try {
    resetScript();
  } catch (const OutputBusyError&) {
  } catch (const OutputError&) {
  }
}

std::optional<OutputLock> ScriptFile::resetScript() {
  return replaceWithEmptyLockedFile();
}

void ScriptFile::appendLine(std::u16string_view line) {
  appendConverted(codeset_.fromUtf16(line));
}

void ScriptFile::appendConverted(std::string_view bytes) {
  // Read and write, not write only: opening a FIFO for writing alone would wait for a reader.
  // A link put in the file's place is not followed (ELOOP).
  OpenFile file = OpenFile::open(kFileName, O_RDWR | O_APPEND | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (!file.isOpen())
    failWith(errno);
  struct stat status;
  if (::fstat(file.fd(), &status) != 0)
    failWith(errno);
  // O_APPEND places the writes. A pipe put in the file's place would take the lines and lose
  // them; a file with no write permission bit is read-only, for root too.
  if (S_ISFIFO(status.st_mode))
    failWith(ESPIPE);
  if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    failWith(EACCES);
  try {
    writeLine(file, bytes);
    file.close();
  } catch (const std::system_error& error) {
    failWith(error.code().value());
  }
}

}  // namespace velmora::script
