#include "script/stream_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

#include "script/byte_order_mark.h"
#include "script/planted_link.h"
#include "script/script_file.h"

namespace velmora::script {

StreamOutput::StreamOutput(std::string path, const Codeset& codeset, StreamForm form)
    : path_(std::move(path)),
      codeset_(codeset),
      compression_(form.compression),
      byteOrderMark_(form.byteOrderMark ? utf8ByteOrderMark(codeset) : std::string_view()) {
  filling_.reserve(kBufferBytes + 4096);
  writing_.reserve(kBufferBytes + 4096);
}

StreamOutput::~StreamOutput() {
  if (fd_ >= 0 && !filling_.empty()) {
    try {
      flush();
    } catch (const OutputError& error) {
      std::fprintf(stderr, "%s\n", error.what());
    }
  }
  if (writer_.joinable()) {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    writer_.join();
  }
}

std::string StreamOutput::errorText(std::string_view verb, const std::string& path,
                                    int errnoValue) {
  // The system's reason in English, as every other message of the program is.
  const char* reason = ::strerrordesc_np(errnoValue);
  return "Cannot " + std::string(verb) + ' ' + (path == "-" ? "standard output" : path) + ": " +
         (reason != nullptr ? reason : "error " + std::to_string(errnoValue));
}

OutputError StreamOutput::errorFor(std::string_view verb, int errnoValue) const {
  return OutputError(OutputError::codeForErrno(errnoValue), errorText(verb, path_, errnoValue),
                     path_, errnoValue);
}

void StreamOutput::fail(std::string_view verb, int errnoValue) const {
  throw errorFor(verb, errnoValue);
}

OpenFile StreamOutput::openLocked() const {
  if (isPlantedLink(path_))
    throw OutputError(OutputError::codeForErrno(EACCES),
                      "Cannot open " + path_ +
                          ": it is a link in a shared sticky folder that another user made, "
                          "and is not followed",
                      path_);
  // Not emptied here (no O_TRUNC): a file that another run writes is left as it is.
  OpenFile file = OpenFile::open(path_.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
  if (!file.isOpen())
    fail("open", errno);
  struct stat status;
  if (::fstat(file.fd(), &status) != 0)
    fail("open", errno);
  // Devices, pipes and sockets are no file that two runs could both write whole.
  if (!S_ISREG(status.st_mode))
    return file;
  try {
    if (!lockForRun(file.fd()))
      throw OutputBusyError(path_);
  } catch (const std::system_error& error) {
    fail("open", error.code().value());
  }
  if (::ftruncate(file.fd(), 0) != 0)
    fail("write", errno);
  return file;
}

std::optional<OutputLock> StreamOutput::resetScript() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !handed_; });
    writeError_ = nullptr;
  }
  filling_.assign(byteOrderMark_);
  compressor_.reset();
  file_ = OpenFile();
  fd_ = -1;
  if (path_ == "-") {
    fd_ = STDOUT_FILENO;
  } else {
    file_ = openLocked();
    fd_ = file_.fd();
  }
  startPacking();
  return std::nullopt;
}

void StreamOutput::appendLine(std::u16string_view line) {
  appendConverted(codeset_.fromUtf16(line));
}

void StreamOutput::startPacking() {
  if (compression_ != Compression::none)
    compressor_ = Compressor::create(
        compression_, [fd = fd_](std::string_view bytes) { OpenFile::writeAll(fd, bytes); });
}

void StreamOutput::handOver(Ending ending) {
  if (fd_ < 0) {
    filling_.clear();
    fail("write", EBADF);
  }
  // A packed stream is flushed even when nothing came since the last buffer.
  if (filling_.empty() && (ending == Ending::none || !compressor_))
    return;
  std::unique_lock lock(mutex_);
  awaitWritten(lock);
  writing_.swap(filling_);
  writingEnding_ = ending;
  handed_ = true;
  if (!writer_.joinable())
    writer_ = std::thread([this] { writeOnThread(); });
  lock.unlock();
  changed_.notify_all();
}

void StreamOutput::awaitWritten(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [&] { return !handed_; });
  if (writeError_) {
    // What was written stays; nothing given after it can follow it.
    filling_.clear();
    std::rethrow_exception(std::exchange(writeError_, nullptr));
  }
}

void StreamOutput::writeThrough(Ending ending) {
  handOver(ending);
  std::unique_lock lock(mutex_);
  awaitWritten(lock);
}

void StreamOutput::writeOnThread() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || handed_; });
    if (!handed_)
      return;
    lock.unlock();
    std::exception_ptr error;
    try {
      writeHanded();
    } catch (const std::system_error& failure) {
      error = std::make_exception_ptr(errorFor("write", failure.code().value()));
    } catch (const std::runtime_error&) {
      // A compressor that fails (out of memory) ends the run with its own text.
      error = std::current_exception();
    }
    lock.lock();
    writeError_ = error;
    writing_.clear();
    handed_ = false;
    changed_.notify_all();
  }
}

void StreamOutput::writeHanded() {
  if (!compressor_) {
    OpenFile::writeAll(fd_, writing_);
    return;
  }
  compressor_->write(writing_);
  if (writingEnding_ == Ending::wholeFlush)
    compressor_->flushWhole();
  else if (writingEnding_ == Ending::streamEnd)
    compressor_->finish();
}

}  // namespace velmora::script
