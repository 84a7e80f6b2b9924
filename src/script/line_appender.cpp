#include "script/line_appender.h"

#include <utility>

namespace velmora::script {

namespace {

// Lines handed over to the appending thread at a time, and the most that may wait: enough
// that the two threads seldom wait for each other, little enough to keep memory flat.
constexpr std::size_t kHandOver = 256;
constexpr std::size_t kMaxWaiting = 4096;

}  // namespace

LineAppender::LineAppender(ScriptFile& file) : file_(file), thread_([this] { run(); }) {}

LineAppender::~LineAppender() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      finishing_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
}

void LineAppender::add(std::string line) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return lines_.size() < kMaxWaiting || failure_; });
  if (failure_) {
    lock.unlock();
    finish();
  }
  lines_.push_back(std::move(line));
  if (lines_.size() == kHandOver)
    changed_.notify_all();
}

void LineAppender::finish() {
  {
    std::lock_guard lock(mutex_);
    finishing_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable())
    thread_.join();
  if (failure_)
    std::rethrow_exception(failure_);
}

void LineAppender::run() {
  std::vector<std::string> batch;
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return lines_.size() >= kHandOver || finishing_; });
    if (lines_.empty())
      return;
    batch.swap(lines_);
    lock.unlock();
    changed_.notify_all();
    try {
      for (const std::string& line : batch)
        file_.appendConverted(line);
    } catch (...) {
      lock.lock();
      failure_ = std::current_exception();
      lines_.clear();
      changed_.notify_all();
      return;
    }
    batch.clear();
    lock.lock();
  }
}

}  // namespace velmora::script
