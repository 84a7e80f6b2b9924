#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "script/codeset.h"
#include "script/script_output.h"

namespace velmora::script {

// A script written through a buffer to a file named on the command line, or to standard
// output: unlike MakeInitData.txt, the file stays open for the whole run and lines reach it
// when the buffer fills and at every flush().
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
    buffer_.append(bytes);
    buffer_.append("\r\n");
    if (buffer_.size() >= kBufferBytes || fd_ < 0)
      flush();
  }
  // Writes what the buffer holds. Throws EInOutError.
  void flush() override;

 private:
  static constexpr std::size_t kBufferBytes = 256 * 1024;

  void closeFile();

  std::string path_;
  const Codeset& codeset_;
  int fd_ = -1;
  bool ownsFd_ = false;
  int openError_ = 0;  // errno of the failed open at the reset
  std::string buffer_;
};

}  // namespace velmora::script
