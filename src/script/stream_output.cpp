#include "script/stream_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "script/script_file.h"

namespace velmora::script {

StreamOutput::StreamOutput(std::string path, const Codeset& codeset)
    : path_(std::move(path)), codeset_(codeset) {
  buffer_.reserve(kBufferBytes + 4096);
}

StreamOutput::~StreamOutput() {
  closeFile();
}

void StreamOutput::closeFile() {
  if (ownsFd_)
    ::close(fd_);
  ownsFd_ = false;
  fd_ = -1;
}

std::optional<OutputLock> StreamOutput::lockForRun() {
  if (path_ == "-")
    return std::nullopt;
  return OutputLock(path_);
}

void StreamOutput::ResetInitDataFile() {
  buffer_.clear();
  closeFile();
  openError_ = 0;
  if (path_ == "-") {
    fd_ = STDOUT_FILENO;
    return;
  }
  do
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0)
    openError_ = errno;
  else
    ownsFd_ = true;
}

void StreamOutput::AddToText(std::u16string_view line) {
  appendConverted(codeset_.fromUtf16(line));
}

void StreamOutput::flush() {
  if (fd_ < 0) {
    buffer_.clear();
    throw EInOutError::fromErrno(openError_ != 0 ? openError_ : EBADF);
  }
  std::size_t done = 0;
  while (done < buffer_.size()) {
    ssize_t written = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    // A file that takes nothing has no room left.
    if (written == 0) {
      written = -1;
      errno = ENOSPC;
    }
    if (written < 0) {
      if (errno == EINTR)
        continue;
      const int error = errno;
      // What was written stays; the rest cannot follow it.
      buffer_.clear();
      throw EInOutError::fromErrno(error);
    }
    done += static_cast<std::size_t>(written);
  }
  buffer_.clear();
}

}  // namespace velmora::script
