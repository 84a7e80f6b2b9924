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
  // Taken before the reset and held to the end of a run, so that one run at a time writes
  // the output, in any process. Throws OutputBusyError when another run holds it. An output
  // that no other run can share (standard output) needs none.
  virtual std::optional<OutputLock> lockForRun() = 0;
  // Before every run: an empty script. Reports nothing.
  virtual void ResetInitDataFile() = 0;
  // Appends one line. Throws when it cannot be written.
  virtual void AddToText(std::u16string_view line) = 0;
  // The same for a line already in the codeset.
  virtual void appendConverted(std::string_view bytes) = 0;
  // Lines an output holds back reach their destination. The run calls it at the end of each
  // table and of the run, and before an error leaves it. Throws when they cannot be written.
  virtual void flush() {}
};

}  // namespace velmora::script
