#include "progress_display.h"

#include <cmath>

namespace velmora::exporter {
namespace {

// Back to the start of the line, and clear what a longer line before left behind.
constexpr std::string_view kLineStart = "\r";
constexpr std::string_view kClearToEnd = "\x1b[K";

std::string groupedThousands(std::uint64_t number) {
  std::string digits = std::to_string(number);
  for (std::size_t at = digits.size(); at > 3;) {
    at -= 3;
    digits.insert(at, 1, ',');
  }
  return digits;
}

std::string rateText(double rowsPerSecond) {
  char text[32];
  if (rowsPerSecond < 1000)
    std::snprintf(text, sizeof text, "%.0f", rowsPerSecond);
  else if (rowsPerSecond < 1e6)
    std::snprintf(text, sizeof text, "%.0fk", std::floor(rowsPerSecond / 1000));
  else
    std::snprintf(text, sizeof text, "%.1fM", std::floor(rowsPerSecond / 1e5) / 10);
  return text;
}

}  // namespace

std::string withControlsEscaped(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      escaped += c;
      continue;
    }
    char code[5];
    std::snprintf(code, sizeof code, "\\x%02x", byte);
    escaped += code;
  }
  return escaped;
}

std::string rowsAndRate(std::uint64_t rows, std::chrono::nanoseconds elapsed) {
  const double seconds = std::chrono::duration<double>(elapsed).count();
  const double rate = seconds > 0 ? static_cast<double>(rows) / seconds : 0;
  return groupedThousands(rows) + " rows, " + rateText(rate) + " rows/s";
}

ProgressDisplay::~ProgressDisplay() {
  endLine();
}

void ProgressDisplay::show(std::string_view shown) {
  const std::string text = withControlsEscaped(shown);
  switch (mode_) {
    case Mode::quiet:
      return;
    case Mode::lines:
      write(text + '\n');
      return;
    case Mode::redrawn:
      endLine();
      text_ = text;
      rows_ = 0;
      started_ = drawn_ = Clock::now();
      write(text_);
      lineOpen_ = true;
      return;
  }
}

void ProgressDisplay::redrawWhenDue(Clock::time_point now) {
  if (!lineOpen_ || now - drawn_ < kRedrawInterval)
    return;
  drawn_ = now;
  redrawn_ = true;
  write(std::string(kLineStart) + text_ + ' ' + rowsAndRate(rows_, now - started_) +
        std::string(kClearToEnd));
}

void ProgressDisplay::endLine() {
  if (!lineOpen_)
    return;
  lineOpen_ = false;
  // A line that was redrawn becomes the plain text again; one never redrawn still is.
  write(redrawn_ ? std::string(kLineStart) + text_ + std::string(kClearToEnd) + '\n' : "\n");
  redrawn_ = false;
}

// A progress text that cannot be written is no reason to stop the run.
void ProgressDisplay::write(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stream_);
  std::fflush(stream_);
}

}  // namespace velmora::exporter
