#pragma once

#include <optional>
#include <string_view>

#include "script/codeset.h"
#include "script/output_lock.h"

namespace velmora::script {

// Where a generation run writes its lines: the script file, or whatever a host puts in its
// place. Each line goes out with CR LF after it.
class ScriptOutput {
 public:
  virtual ~ScriptOutput() = default;

  // The codeset the lines are written in (appendConverted expects bytes in it).
  virtual const Codeset& codeset() const = 0;
  // Before the first run: an empty script. Reports nothing.
  virtual void prepare() = 0;
  // Before every run: takes the run's lock, so that one run at a time writes the output, in
  // any process, then empties the script. Throws OutputBusyError, having touched nothing, when
  // another run is writing it. The run keeps the returned lock to its end; an output that
  // keeps its file open holds the lock with it and returns none, and so does one no other
  // run can share (standard output).
  virtual std::optional<OutputLock> resetScript() = 0;
  // Appends one line. Throws when it cannot be written.
  virtual void appendLine(std::u16string_view line) = 0;
  // The same for a line already in the codeset.
  virtual void appendConverted(std::string_view bytes) = 0;
  // Lines an output holds back reach their destination. The run calls it at the end of each
  // table and of the run, and before an error leaves it. Throws when they cannot be written.
  virtual void flush() {}
  // The run wrote its last line: everything reaches the destination, and an output that packs
  // its bytes ends the packed stream. Throws when they cannot be written.
  virtual void finish() { flush(); }
};

}  // namespace velmora::script
