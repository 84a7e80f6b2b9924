#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "script/codeset.h"
#include "script/script_output.h"

namespace velmora::script {

// A script written through a buffer to a file named on the command line, or to standard
// output: unlike MakeInitData.txt, the file stays open for the whole run and lines reach it
// when the buffer fills and at every flush(). A full buffer is written by a thread of the
// output's own while the next one fills, so the run does not wait for the file; flush()
// waits until everything is written.
class StreamOutput final : public ScriptOutput {
 public:
  // `path` "-" is standard output, taken as it is. Any other path is opened at the reset as
  // a shell's redirection opens it: created, or emptied, and written from its start.
  StreamOutput(std::string path, const Codeset& codeset);
  ~StreamOutput() override;
  StreamOutput(const StreamOutput&) = delete;
  StreamOutput& operator=(const StreamOutput&) = delete;

  const Codeset& codeset() const override { return codeset_; }
  // Nothing: only a run touches the file.
  void prepare() override {}
  // A file is written by one run at a time, as MakeInitData.txt is; standard output belongs
  // to this process alone.
  std::optional<OutputLock> lockForRun() override;
  // Opens the file; a file that cannot be opened shows itself at the first line.
  void ResetInitDataFile() override;
  void AddToText(std::u16string_view line) override;
  void appendConverted(std::string_view bytes) override {
    filling_.append(bytes);
    filling_.append("\r\n");
    if (filling_.size() >= kBufferBytes || fd_ < 0)
      handOver();
  }
  // Writes everything given so far. Throws EInOutError.
  void flush() override;

 private:
  static constexpr std::size_t kBufferBytes = 256 * 1024;

  // Passes the filled buffer to the writing thread once it is done with the one before.
  // Throws EInOutError when a write failed.
  void handOver();
  // Waits until the writing thread is idle; throws what its last write failed with.
  void awaitWritten(std::unique_lock<std::mutex>& lock);
  void writeOnThread();
  void closeFile();

  std::string path_;
  const Codeset& codeset_;
  int fd_ = -1;
  bool ownsFd_ = false;
  int openError_ = 0;  // errno of the failed open at the reset
  std::string filling_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::string writing_;  // handed to the thread; empty when it is idle
  std::exception_ptr writeError_;
  bool stopping_ = false;
  std::thread writer_;
};

}  // namespace velmora::script
