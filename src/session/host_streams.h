#pragma once

namespace velmora::session {

// Which standard streams were closed when the process started.
struct ClosedAtStart {
  bool input = false;
  bool output = false;
  bool error = false;
};

// Standard streams as a host may find them at start: closed by the caller (`2>&-`), or with
// a reader that goes away (`2>&1 | head -1`). A closed standard descriptor is opened on
// /dev/null, so that no file or connection opened later takes its number and receives what
// is meant for the terminal; the host learns which were closed, so that it does not take
// /dev/null for the output it was asked to write. SIGPIPE is ignored, so that a write to a
// pipe without a reader fails with EPIPE instead of ending the process; progress that cannot
// be shown is no error.
ClosedAtStart guardStandardStreams();

}  // namespace velmora::session
