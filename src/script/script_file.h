#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "script/codeset.h"
#include "script/script_output.h"

namespace velmora::script {

// The script file cannot be opened or written. what() is the I/O error table's text for
// the code: 2 "File not found", 3 "Invalid filename", 4 "Too many open files",
// 5 "File access denied", 100 "Read beyond end of file", 101 "Disk full",
// 106 "Invalid numeric input", any other "I/O error <code>".
class OutputError : public std::runtime_error {
 public:
  explicit OutputError(int errorCode);
  // An error of another output: the table's code, and a text of the output's own; the file
  // and the system's error number when a system call failed on it.
  OutputError(int errorCode, const std::string& message, std::string filePath = {},
              int errnoValue = 0);
  // The error for a failed system call on the script file: errno translated to the table's
  // codes.
  static OutputError fromErrno(int errnoValue);
  // The table's code for an errno value.
  static int codeForErrno(int errnoValue);
  static std::string messageFor(int errorCode);

  const int code;
  const std::string path;     // the file, empty when not known
  const int systemError = 0;  // the system's error number, 0 when none
};

// The script file, `MakeInitData.txt` in the current directory, and its three operations.
class ScriptFile final : public ScriptOutput {
 public:
  static constexpr const char* kFileName = "MakeInitData.txt";

  explicit ScriptFile(const Codeset& codeset) : codeset_(codeset) {}

  const Codeset& codeset() const override { return codeset_; }

  // When a host first shows itself: replaces the file with an empty one, unless a run (of
  // another process) holds it. Reports nothing.
  void prepare() override;
  // Before every run: leaves the file existing, empty and locked for the run, except a
  // folder, a file this process may not write and a file with no write permission at all
  // (for root too). A link is removed, never followed. Throws OutputBusyError when another
  // run, of any output, writes the file; reports nothing else.
  std::optional<OutputLock> resetScript() override;
  // Appends one line and CR LF: one open, end-of-file append and close. A link in the file's
  // place is not followed. Throws OutputError.
  void appendLine(std::u16string_view line) override;
  // The same for a line already in the file's codeset.
  void appendConverted(std::string_view bytes) override;

 private:
  const Codeset& codeset_;
};

}  // namespace velmora::script
