#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace velmora::exporter {

// `text` (bytes in the locale's codeset) with each control character written as \xHH: a
// name from the server can hold a line break or a terminal's escape sequence, which must
// neither break a line of the progress nor act on the terminal.
std::string withControlsEscaped(std::string_view text);

// "412,000 rows, 251k rows/s": the rows of a table written so far and their rate.
std::string rowsAndRate(std::uint64_t rows, std::chrono::nanoseconds elapsed);

// The progress texts of a run on standard error. As lines, one per text, exactly as the
// window shows them in turn (scripts parse them). On a terminal the current table's line is
// redrawn in place, at most ten times a second, with rowsAndRate() after the text, and ends
// as the plain text. Quiet prints nothing.
class ProgressDisplay {
 public:
  enum class Mode { lines, redrawn, quiet };
  using Clock = std::chrono::steady_clock;

  ProgressDisplay(std::FILE* stream, Mode mode) : stream_(stream), mode_(mode) {}
  // Ends a redrawn line, so that whatever follows (an error) starts on a line of its own.
  ~ProgressDisplay();
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  // A new progress text (bytes in the locale's codeset), its control characters escaped; the
  // row count starts again at 0.
  void show(std::string_view text);
  // One more row of the current table is written.
  void rowWritten() {
    if (mode_ == Mode::redrawn && (++rows_ & kRowsBetweenClockReads) == 0)
      redrawWhenDue(Clock::now());
  }

  // For tests: what the clock says is passed in.
  void redrawWhenDue(Clock::time_point now);

 private:
  static constexpr std::uint64_t kRowsBetweenClockReads = 255;
  static constexpr std::chrono::milliseconds kRedrawInterval{100};

  void endLine();
  void write(std::string_view bytes);

  std::FILE* stream_;
  Mode mode_;
  std::string text_;
  bool lineOpen_ = false;
  bool redrawn_ = false;
  std::uint64_t rows_ = 0;
  Clock::time_point started_;
  Clock::time_point drawn_;
};

}  // namespace velmora::exporter
