#include "script/stream_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "script/script_file.h"

namespace velmora::script {

StreamOutput::StreamOutput(std::string path, const Codeset& codeset)
    : path_(std::move(path)), codeset_(codeset) {
  filling_.reserve(kBufferBytes + 4096);
  writing_.reserve(kBufferBytes + 4096);
}

StreamOutput::~StreamOutput() {
  if (writer_.joinable()) {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    writer_.join();
  }
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
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return writing_.empty(); });
    writeError_ = nullptr;
  }
  filling_.clear();
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

void StreamOutput::handOver() {
  if (fd_ < 0) {
    filling_.clear();
    throw EInOutError::fromErrno(openError_ != 0 ? openError_ : EBADF);
  }
  if (filling_.empty())
    return;
  std::unique_lock lock(mutex_);
  awaitWritten(lock);
  writing_.swap(filling_);
  if (!writer_.joinable())
    writer_ = std::thread([this] { writeOnThread(); });
  lock.unlock();
  changed_.notify_all();
}

void StreamOutput::awaitWritten(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [&] { return writing_.empty(); });
  if (writeError_) {
    // What was written stays; nothing given after it can follow it.
    filling_.clear();
    std::rethrow_exception(std::exchange(writeError_, nullptr));
  }
}

void StreamOutput::flush() {
  handOver();
  std::unique_lock lock(mutex_);
  awaitWritten(lock);
}

void StreamOutput::writeOnThread() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !writing_.empty(); });
    if (writing_.empty())
      return;
    lock.unlock();
    std::exception_ptr error;
    try {
      writeAll(fd_, writing_);
    } catch (const EInOutError&) {
      error = std::current_exception();
    }
    lock.lock();
    writeError_ = error;
    writing_.clear();
    changed_.notify_all();
  }
}

}  // namespace velmora::script
