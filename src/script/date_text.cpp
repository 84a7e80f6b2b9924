#include "script/date_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::script {

namespace {

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;
constexpr std::size_t kMaxTextBytes = 256;
// Day number of 1 January 1970; the calendar arithmetic below counts from there.
constexpr std::int64_t kUnixEpochDay = 25'569;
// Beyond this a millisecond count no longer fits 64 bits.
constexpr double kMaxMilliseconds = 9.2e18;

// A day number taken apart. A date before 1 January of year 1 has year, month and day 0
// and no day of the week (-1, Sunday being 0).
struct Moment {
  std::int64_t year = 0;
  int month = 0;
  int day = 0;
  int dayOfWeek = -1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

void setDate(std::int64_t dayNumber, Moment& moment) {
  // Days to the proleptic Gregorian calendar, counted in 400-year eras from 1 March of year 0.
  const std::int64_t z = dayNumber - kUnixEpochDay + 719'468;
  const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
  const std::int64_t dayOfEra = z - era * 146'097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1'460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  const int month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  if (year < 1) {
    return;
  }
  moment.year = year;
  moment.month = month;
  moment.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  // Day 0 was a Saturday.
  moment.dayOfWeek = static_cast<int>(((dayNumber % 7) + 13) % 7);
}

Moment splitDayNumber(double dayNumber) {
  // Rounded to nearest, ties to even (the default rounding mode).
  const double product = dayNumber * static_cast<double>(kMillisecondsPerDay);
  std::int64_t count = 0;
  if (std::isfinite(product) && std::fabs(product) < kMaxMilliseconds) {
    count = static_cast<std::int64_t>(std::nearbyint(product));
  }
  const std::int64_t magnitude = count < 0 ? -count : count;
  const std::int64_t days =
      count < 0 ? -(magnitude / kMillisecondsPerDay) : magnitude / kMillisecondsPerDay;
  const auto timeOfDay = static_cast<int>(magnitude % kMillisecondsPerDay);

  Moment moment;
  setDate(days, moment);
  moment.hour = timeOfDay / 3'600'000;
  moment.minute = timeOfDay / 60'000 % 60;
  moment.second = timeOfDay / 1'000 % 60;
  moment.millisecond = timeOfDay % 1'000;
  return moment;
}

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
bool isAsciiLetter(char c) {
  return lowerAscii(c) >= 'a' && lowerAscii(c) <= 'z';
}

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size()) {
    return false;
  }
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (lowerAscii(text[at + i]) != prefix[i]) {
      return false;
    }
  }
  return true;
}

// The number of bytes of the character that starts at `at`: a whole UTF-8 sequence, or a
// lead and trail byte in a double-byte codeset; a stray byte counts alone.
std::size_t characterLength(std::string_view text, std::size_t at, bool doubleByte) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    return 1;
  }
  if (doubleByte) {
    if (lead >= 0x81 && lead <= 0xFE && at + 1 < text.size()) {
      const auto trail = static_cast<unsigned char>(text[at + 1]);
      return trail >= 0x40 && trail <= 0xFE && trail != 0x7F ? 2 : 1;
    }
    return 1;
  }
  const std::size_t expected = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  std::size_t length = 1;
  while (length < expected && at + length < text.size() &&
         (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80) {
    ++length;
  }
  return length;
}

// The length of the run of the same letter (either case) that starts at `at`.
std::size_t runLength(std::string_view pattern, std::size_t at) {
  std::size_t end = at + 1;
  while (end < pattern.size() && lowerAscii(pattern[end]) == lowerAscii(pattern[at])) {
    ++end;
  }
  return end - at;
}

// The markers that make the hour a 12-hour one, in the order they are tried.
std::size_t markerLength(std::string_view pattern, std::size_t at) {
  if (startsWithNoCase(pattern, at, "am/pm")) {
    return 5;
  }
  if (startsWithNoCase(pattern, at, "a/p")) {
    return 3;
  }
  if (startsWithNoCase(pattern, at, "ampm")) {
    return 4;
  }
  return 0;
}

// Where the quoted text that opens at `at` ends (past its closing quote, or the pattern end).
std::size_t quotedEnd(std::string_view pattern, std::size_t at) {
  const std::size_t close = pattern.find(pattern[at], at + 1);
  return close == std::string_view::npos ? pattern.size() : close + 1;
}

// Applies patterns to one moment. Patterns applied in place by a token (ddddd, t, c) are
// applied only one level deep: a pattern token inside them gives nothing.
class PatternWriter {
 public:
  // Appends to `out`; what was in it before stays as it is.
  PatternWriter(const LocaleFormats& formats, const Moment& moment, std::string& out)
      : formats_(formats), moment_(moment), text_(out), start_(out.size()) {}

  void apply(std::string_view pattern, bool inPlace);
  // The date pattern, then, when `withTime`, a blank and the time pattern, whose seconds are
  // followed by "." and the three-digit milliseconds when `withMilliseconds`.
  void applyDateAndTime(bool inPlace, bool withTime, bool withMilliseconds = false);
  void applyTime(bool withMilliseconds);
  bool hasTime() const { return moment_.hour != 0 || moment_.minute != 0 || moment_.second != 0; }

  // Cuts the text appended after 256 bytes, at the last whole character.
  void finish();

 private:
  bool full() const { return text_.size() - start_ > kMaxTextBytes; }
  std::size_t applyLetters(std::string_view pattern, std::size_t at, bool inPlace, bool& afterHour,
                           bool& markerApplied);
  std::size_t applyA(std::string_view pattern, std::size_t at, bool& markerApplied);
  bool markerFollows(std::string_view pattern, std::size_t from) const;
  void appendNumber(std::int64_t value, std::size_t minDigits);
  void appendName(const std::string* names, std::size_t count, int index);

  const LocaleFormats& formats_;
  const Moment& moment_;
  // Seconds are followed by "." and the three-digit milliseconds while this is on.
  bool showMilliseconds_ = false;
  std::string& text_;
  std::size_t start_;
};

void PatternWriter::apply(std::string_view pattern, bool inPlace) {
  // An m token right after an hour token stands for minutes.
  bool afterHour = false;
  bool markerApplied = false;
  std::size_t at = 0;
  while (at < pattern.size() && !full()) {
    const char c = pattern[at];
    if (isAsciiLetter(c)) {
      at = applyLetters(pattern, at, inPlace, afterHour, markerApplied);
    } else if (c == '\'' || c == '"') {
      const std::size_t close = pattern.find(c, at + 1);
      const std::size_t textEnd = close == std::string_view::npos ? pattern.size() : close;
      text_.append(pattern.substr(at + 1, textEnd - at - 1));
      at = textEnd == pattern.size() ? textEnd : textEnd + 1;
    } else if (c == '/') {
      text_ += formats_.dateMark;
      ++at;
    } else if (c == ':') {
      text_ += formats_.timeMark;
      ++at;
    } else {
      const std::size_t length = characterLength(pattern, at, formats_.doubleByteCodeset);
      text_.append(pattern.substr(at, length));
      at += length;
    }
  }
}

std::size_t PatternWriter::applyLetters(std::string_view pattern, std::size_t at, bool inPlace,
                                        bool& afterHour, bool& markerApplied) {
  const char letter = lowerAscii(pattern[at]);
  if (letter == 'a') {
    afterHour = false;
    return applyA(pattern, at, markerApplied);
  }
  const std::size_t run = runLength(pattern, at);
  const bool wasAfterHour = afterHour;
  afterHour = letter == 'h';
  switch (letter) {
    case 'd':
      if (run <= 2) {
        appendNumber(moment_.day, run);
      } else if (run <= 4) {
        appendName(run == 3 ? formats_.shortDayNames.data() : formats_.longDayNames.data(), 7,
                   moment_.dayOfWeek);
      } else if (!inPlace) {
        apply(run == 5 ? formats_.datePattern : formats_.longDatePattern, true);
      }
      break;
    case 'm':
      if (run <= 2 && wasAfterHour) {
        appendNumber(moment_.minute, run);
      } else if (run <= 2) {
        appendNumber(moment_.month, run);
      } else {
        appendName(run == 3 ? formats_.shortMonthNames.data() : formats_.longMonthNames.data(), 12,
                   moment_.month - 1);
      }
      break;
    case 'y':
      if (run <= 2) {
        appendNumber(moment_.year % 100, 2);
      } else {
        appendNumber(moment_.year, 4);
      }
      break;
    case 'h': {
      int hour = moment_.hour;
      if (markerApplied || markerFollows(pattern, at + run)) {
        hour = hour % 12 == 0 ? 12 : hour % 12;
      }
      appendNumber(hour, run < 2 ? 1 : 2);
      break;
    }
    case 'n':
      appendNumber(moment_.minute, run < 2 ? 1 : 2);
      break;
    case 's':
      appendNumber(moment_.second, run < 2 ? 1 : 2);
      if (showMilliseconds_) {
        text_ += '.';
        appendNumber(moment_.millisecond, 3);
      }
      break;
    case 'z':
      appendNumber(moment_.millisecond, run < 3 ? run : 3);
      break;
    case 't':
      if (!inPlace) {
        apply(run == 1 ? formats_.shortTimePattern : formats_.timePattern, true);
      }
      break;
    case 'c':
      if (!inPlace) {
        applyDateAndTime(true, hasTime());
      }
      break;
    case 'g':
      // The Gregorian calendar has one era.
      if (moment_.year != 0) {
        text_ += "A.D.";
      }
      break;
    case 'e':
      appendNumber(moment_.year, run < 2 ? 1 : 2);
      break;
    default:
      text_.append(pattern.substr(at, run));
      break;
  }
  return at + run;
}

std::size_t PatternWriter::applyA(std::string_view pattern, std::size_t at, bool& markerApplied) {
  const bool afternoon = moment_.hour >= 12;
  const std::size_t marker = markerLength(pattern, at);
  if (marker == 5 || marker == 3) {
    // "am/pm" and "a/p" give their own letters, in the case written.
    const std::string_view written = pattern.substr(at, marker);
    text_.append(afternoon ? written.substr(marker == 5 ? 3 : 2) : written.substr(0, marker / 2));
    markerApplied = true;
    return at + marker;
  }
  if (marker == 4) {
    text_ += afternoon ? formats_.pmText : formats_.amText;
    markerApplied = true;
    return at + marker;
  }
  if (startsWithNoCase(pattern, at, "aaaa")) {
    appendName(formats_.longDayNames.data(), 7, moment_.dayOfWeek);
    return at + 4;
  }
  if (startsWithNoCase(pattern, at, "aaa")) {
    appendName(formats_.shortDayNames.data(), 7, moment_.dayOfWeek);
    return at + 3;
  }
  text_ += pattern[at];
  return at + 1;
}

// True when the first letter a after an hour token (quoted text skipped), before any further
// letter h, begins a marker.
bool PatternWriter::markerFollows(std::string_view pattern, std::size_t from) const {
  std::size_t at = from;
  while (at < pattern.size()) {
    const char c = lowerAscii(pattern[at]);
    if (c == '\'' || c == '"') {
      at = quotedEnd(pattern, at);
    } else if (c == 'h') {
      return false;
    } else if (c == 'a') {
      return markerLength(pattern, at) != 0;
    } else {
      at += characterLength(pattern, at, formats_.doubleByteCodeset);
    }
  }
  return false;
}

void PatternWriter::applyDateAndTime(bool inPlace, bool withTime, bool withMilliseconds) {
  apply(formats_.datePattern, inPlace);
  if (withTime) {
    text_ += ' ';
    const bool outer = showMilliseconds_;
    showMilliseconds_ = withMilliseconds;
    apply(formats_.timePattern, inPlace);
    showMilliseconds_ = outer;
  }
}

void PatternWriter::applyTime(bool withMilliseconds) {
  showMilliseconds_ = withMilliseconds;
  apply(formats_.timePattern, false);
  showMilliseconds_ = false;
}

void PatternWriter::appendNumber(std::int64_t value, std::size_t minDigits) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const auto length = static_cast<std::size_t>(end - digits);
  if (length < minDigits) {
    text_.append(minDigits - length, '0');
  }
  text_.append(digits, length);
}

void PatternWriter::appendName(const std::string* names, std::size_t count, int index) {
  if (index >= 0 && static_cast<std::size_t>(index) < count) {
    text_ += names[index];
  }
}

void PatternWriter::finish() {
  if (text_.size() - start_ > kMaxTextBytes) {
    const std::string_view written = std::string_view(text_).substr(start_);
    std::size_t cut = 0;
    while (cut < kMaxTextBytes) {
      const std::size_t length = characterLength(written, cut, formats_.doubleByteCodeset);
      if (cut + length > kMaxTextBytes) {
        break;
      }
      cut += length;
    }
    text_.resize(start_ + cut);
  }
}

}  // namespace

std::string dateTimeText(double dayNumber, DateTimeUse use, const LocaleFormats& formats) {
  std::string text;
  appendDateTimeText(text, dayNumber, use, formats);
  return text;
}

void appendDateTimeText(std::string& out, double dayNumber, DateTimeUse use,
                        const LocaleFormats& formats) {
  const Moment moment = splitDayNumber(dayNumber);
  PatternWriter writer(formats, moment, out);
  const bool hasMilliseconds = moment.millisecond != 0;
  switch (use) {
    case DateTimeUse::dateOnly:
      writer.apply(formats.datePattern, false);
      break;
    case DateTimeUse::timeOnly:
      writer.applyTime(hasMilliseconds);
      break;
    case DateTimeUse::dateAndTime:
      // Milliseconds are data: a value with them always shows its time.
      writer.applyDateAndTime(false, writer.hasTime() || hasMilliseconds, hasMilliseconds);
      break;
  }
  writer.finish();
}

std::string formatDateTime(std::string_view pattern, double dayNumber,
                           const LocaleFormats& formats) {
  const Moment moment = splitDayNumber(dayNumber);
  std::string text;
  PatternWriter writer(formats, moment, text);
  writer.apply(pattern, false);
  writer.finish();
  return text;
}

}  // namespace velmora::script
