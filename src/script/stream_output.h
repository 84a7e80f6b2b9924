#pragma once

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "script/codeset.h"
#include "script/compressor.h"
#include "script/open_file.h"
#include "script/script_file.h"
#include "script/script_output.h"

namespace velmora::script {

// How a stream output's bytes reach its file.
struct StreamForm {
  // Packed with gzip or zstd; each flush() leaves a file that decompresses whole up to it,
  // and finish() ends the packed stream.
  Compression compression = Compression::none;
  // A UTF-8 byte-order mark before the first line.
  bool byteOrderMark = false;
};

// A script written through a buffer to a file named on the command line, or to standard
// output: unlike MakeInitData.txt, the file stays open for the whole run and lines reach it
// when the buffer fills and at every flush(). A full buffer is written by a thread of the
// output's own while the next one fills, so the run does not wait for the file; flush()
// waits until everything is written.
class StreamOutput final : public ScriptOutput {
 public:
  // `path` "-" is standard output, taken as it is. Any other path is opened at the reset as
  // a shell's redirection opens it: created, or emptied, and written from its start.
  // Throws std::runtime_error when `form` asks for a byte-order mark and the codeset is not
  // UTF-8.
  StreamOutput(std::string path, const Codeset& codeset, StreamForm form = {});
  // Writes what was given and not flushed yet; a write that fails then is reported on
  // standard error, since nothing can be thrown from here.
  ~StreamOutput() override;
  StreamOutput(const StreamOutput&) = delete;
  StreamOutput& operator=(const StreamOutput&) = delete;

  const Codeset& codeset() const override { return codeset_; }
  // Nothing: only a run touches the file.
  void prepare() override {}
  // Opens the file, follows links as a shell does except one that the kernel's rule for
  // protected links refuses (a link in a sticky folder open to all, owned by neither the
  // folder's owner nor the user running), and locks a regular file for the run, as
  // MakeInitData.txt is locked, before it is emptied. The open file holds the lock; standard
  // output belongs to this process alone. Throws OutputBusyError, and OutputError naming the
  // file when it cannot be opened.
  std::optional<OutputLock> resetScript() override;
  void appendLine(std::u16string_view line) override;
  void appendConverted(std::string_view bytes) override {
    filling_.append(bytes);
    filling_.append("\r\n");
    if (filling_.size() >= kBufferBytes || fd_ < 0)
      handOver();
  }
  // Writes everything given so far. Throws OutputError naming the file or "standard output",
  // with the system's reason.
  void flush() override { writeThrough(Ending::wholeFlush); }
  // The same, and a packed stream's end. Throws as flush().
  void finish() override { writeThrough(Ending::streamEnd); }

  // "Cannot <verb> <name>: <reason>", <name> the path or "standard output".
  static std::string errorText(std::string_view verb, const std::string& path, int errnoValue);

 private:
  static constexpr std::size_t kBufferBytes = 256 * 1024;

  // What the writing thread does after a buffer's bytes, for a packed stream.
  enum class Ending { none, wholeFlush, streamEnd };

  // Passes the filled buffer to the writing thread once it is done with the one before.
  // Throws OutputError when a write failed.
  void handOver(Ending ending = Ending::none);
  // Hands over what is given and waits until it is written.
  void writeThrough(Ending ending);
  // Waits until the writing thread is idle; throws what its last write failed with.
  void awaitWritten(std::unique_lock<std::mutex>& lock);
  void writeOnThread();
  // Writes the handed buffer, packed when the output packs. Throws std::system_error for a
  // failed write, std::runtime_error for a failed compression.
  void writeHanded();
  // A new packed stream for the file just opened, when the output packs.
  void startPacking();
  // The file of `path_`, opened and locked, not yet emptied.
  OpenFile openLocked() const;
  // The error of a failed `verb` ("open", "write") on this output, naming it.
  OutputError errorFor(std::string_view verb, int errnoValue) const;
  [[noreturn]] void fail(std::string_view verb, int errnoValue) const;

  std::string path_;
  const Codeset& codeset_;
  const Compression compression_;
  const std::string_view byteOrderMark_;  // empty for none
  OpenFile file_;  // a file named by the path; standard output is never closed here
  int fd_ = -1;
  std::string filling_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::string writing_;  // handed to the thread
  Ending writingEnding_ = Ending::none;
  bool handed_ = false;                     // the thread has work; false when it is idle
  std::unique_ptr<Compressor> compressor_;  // used on the writing thread
  std::exception_ptr writeError_;
  bool stopping_ = false;
  std::thread writer_;
};

}  // namespace velmora::script
