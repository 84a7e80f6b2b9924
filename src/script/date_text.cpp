#include "script/date_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/ascii_case.h"

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

using text::asciiLowerCase;

bool isAsciiLetter(char c) {
  return asciiLowerCase(c) >= 'a' && asciiLowerCase(c) <= 'z';
}

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size()) {
    return false;
  }
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (asciiLowerCase(text[at + i]) != prefix[i]) {
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
  while (end < pattern.size() && asciiLowerCase(pattern[end]) == asciiLowerCase(pattern[at])) {
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

// One piece of a date-time text: bytes of the pattern, or a part of the moment to be filled
// in for each value.
struct Piece {
  enum class Kind { literal, number, name, marker, era };
  enum class Part { year, yearOfCentury, month, day, hour, hour12, minute, second, millisecond };

  Kind kind = Kind::literal;
  std::string text;       // literal; marker: the morning text
  std::string afternoon;  // marker: the afternoon text
  Part part = Part::year;
  std::size_t minDigits = 0;
  const std::string* names = nullptr;  // name: day names (by the day of the week) or months
  bool dayNames = false;
};
using Program = std::vector<Piece>;

// Takes patterns apart into pieces. Patterns applied in place by a token (ddddd, t, c) are
// applied only one level deep: a pattern token inside them gives nothing. The pieces do not
// depend on the moment, except through `hasTime`, which decides whether a c token shows the
// time.
class PatternCompiler {
 public:
  PatternCompiler(const LocaleFormats& formats, bool hasTime)
      : formats_(formats), hasTime_(hasTime) {}

  void apply(std::string_view pattern, bool inPlace);
  // The date pattern, then, when `withTime`, a blank and the time pattern, whose seconds are
  // followed by "." and the three-digit milliseconds when `withMilliseconds`.
  void applyDateAndTime(bool inPlace, bool withTime, bool withMilliseconds = false);
  void applyTime(bool withMilliseconds);

  Program program() && { return std::move(program_); }

 private:
  std::size_t applyLetters(std::string_view pattern, std::size_t at, bool inPlace, bool& afterHour,
                           bool& markerApplied);
  std::size_t applyA(std::string_view pattern, std::size_t at, bool& markerApplied);
  bool markerFollows(std::string_view pattern, std::size_t from) const;
  void literal(std::string_view text);
  void number(Piece::Part part, std::size_t minDigits);
  void name(const std::string* names, bool dayNames);
  void marker(std::string_view morning, std::string_view afternoon);

  const LocaleFormats& formats_;
  bool hasTime_;
  // Seconds are followed by "." and the three-digit milliseconds while this is on.
  bool showMilliseconds_ = false;
  Program program_;
};

void PatternCompiler::literal(std::string_view text) {
  if (text.empty()) {
    return;
  }
  if (program_.empty() || program_.back().kind != Piece::Kind::literal) {
    program_.emplace_back();
  }
  program_.back().text.append(text);
}

void PatternCompiler::number(Piece::Part part, std::size_t minDigits) {
  Piece& piece = program_.emplace_back();
  piece.kind = Piece::Kind::number;
  piece.part = part;
  piece.minDigits = minDigits;
}

void PatternCompiler::name(const std::string* names, bool dayNames) {
  Piece& piece = program_.emplace_back();
  piece.kind = Piece::Kind::name;
  piece.names = names;
  piece.dayNames = dayNames;
}

void PatternCompiler::marker(std::string_view morning, std::string_view afternoon) {
  Piece& piece = program_.emplace_back();
  piece.kind = Piece::Kind::marker;
  piece.text = morning;
  piece.afternoon = afternoon;
}

void PatternCompiler::apply(std::string_view pattern, bool inPlace) {
  // An m token right after an hour token stands for minutes.
  bool afterHour = false;
  bool markerApplied = false;
  std::size_t at = 0;
  while (at < pattern.size()) {
    const char c = pattern[at];
    if (isAsciiLetter(c)) {
      at = applyLetters(pattern, at, inPlace, afterHour, markerApplied);
    } else if (c == '\'' || c == '"') {
      const std::size_t close = pattern.find(c, at + 1);
      const std::size_t textEnd = close == std::string_view::npos ? pattern.size() : close;
      literal(pattern.substr(at + 1, textEnd - at - 1));
      at = textEnd == pattern.size() ? textEnd : textEnd + 1;
    } else if (c == '/') {
      literal(formats_.dateMark);
      ++at;
    } else if (c == ':') {
      literal(formats_.timeMark);
      ++at;
    } else {
      const std::size_t length = characterLength(pattern, at, formats_.doubleByteCodeset);
      literal(pattern.substr(at, length));
      at += length;
    }
  }
}

std::size_t PatternCompiler::applyLetters(std::string_view pattern, std::size_t at, bool inPlace,
                                          bool& afterHour, bool& markerApplied) {
  const char letter = asciiLowerCase(pattern[at]);
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
        number(Piece::Part::day, run);
      } else if (run <= 4) {
        name(run == 3 ? formats_.shortDayNames.data() : formats_.longDayNames.data(), true);
      } else if (!inPlace) {
        apply(run == 5 ? formats_.datePattern : formats_.longDatePattern, true);
      }
      break;
    case 'm':
      if (run <= 2 && wasAfterHour) {
        number(Piece::Part::minute, run);
      } else if (run <= 2) {
        number(Piece::Part::month, run);
      } else {
        name(run == 3 ? formats_.shortMonthNames.data() : formats_.longMonthNames.data(), false);
      }
      break;
    case 'y':
      if (run <= 2) {
        number(Piece::Part::yearOfCentury, 2);
      } else {
        number(Piece::Part::year, 4);
      }
      break;
    case 'h': {
      const bool twelveHour = markerApplied || markerFollows(pattern, at + run);
      number(twelveHour ? Piece::Part::hour12 : Piece::Part::hour, run < 2 ? 1 : 2);
      break;
    }
    case 'n':
      number(Piece::Part::minute, run < 2 ? 1 : 2);
      break;
    case 's':
      number(Piece::Part::second, run < 2 ? 1 : 2);
      if (showMilliseconds_) {
        literal(".");
        number(Piece::Part::millisecond, 3);
      }
      break;
    case 'z':
      number(Piece::Part::millisecond, run < 3 ? run : 3);
      break;
    case 't':
      if (!inPlace) {
        apply(run == 1 ? formats_.shortTimePattern : formats_.timePattern, true);
      }
      break;
    case 'c':
      if (!inPlace) {
        applyDateAndTime(true, hasTime_);
      }
      break;
    case 'g':
      // The Gregorian calendar has one era.
      program_.emplace_back().kind = Piece::Kind::era;
      break;
    case 'e':
      number(Piece::Part::year, run < 2 ? 1 : 2);
      break;
    default:
      literal(pattern.substr(at, run));
      break;
  }
  return at + run;
}

std::size_t PatternCompiler::applyA(std::string_view pattern, std::size_t at, bool& markerApplied) {
  const std::size_t length = markerLength(pattern, at);
  if (length == 5 || length == 3) {
    // "am/pm" and "a/p" give their own letters, in the case written.
    const std::string_view written = pattern.substr(at, length);
    marker(written.substr(0, length / 2), written.substr(length == 5 ? 3 : 2));
    markerApplied = true;
    return at + length;
  }
  if (length == 4) {
    marker(formats_.amText, formats_.pmText);
    markerApplied = true;
    return at + length;
  }
  if (startsWithNoCase(pattern, at, "aaaa")) {
    name(formats_.longDayNames.data(), true);
    return at + 4;
  }
  if (startsWithNoCase(pattern, at, "aaa")) {
    name(formats_.shortDayNames.data(), true);
    return at + 3;
  }
  literal(pattern.substr(at, 1));
  return at + 1;
}

// True when the first letter a after an hour token (quoted text skipped), before any further
// letter h, begins a marker.
bool PatternCompiler::markerFollows(std::string_view pattern, std::size_t from) const {
  std::size_t at = from;
  while (at < pattern.size()) {
    const char c = asciiLowerCase(pattern[at]);
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

void PatternCompiler::applyDateAndTime(bool inPlace, bool withTime, bool withMilliseconds) {
  apply(formats_.datePattern, inPlace);
  if (withTime) {
    literal(" ");
    const bool outer = showMilliseconds_;
    showMilliseconds_ = withMilliseconds;
    apply(formats_.timePattern, inPlace);
    showMilliseconds_ = outer;
  }
}

void PatternCompiler::applyTime(bool withMilliseconds) {
  showMilliseconds_ = withMilliseconds;
  apply(formats_.timePattern, false);
  showMilliseconds_ = false;
}

std::int64_t partOf(const Moment& moment, Piece::Part part) {
  switch (part) {
    case Piece::Part::year:
      return moment.year;
    case Piece::Part::yearOfCentury:
      return moment.year % 100;
    case Piece::Part::month:
      return moment.month;
    case Piece::Part::day:
      return moment.day;
    case Piece::Part::hour:
      return moment.hour;
    case Piece::Part::hour12:
      return moment.hour % 12 == 0 ? 12 : moment.hour % 12;
    case Piece::Part::minute:
      return moment.minute;
    case Piece::Part::second:
      return moment.second;
    case Piece::Part::millisecond:
      return moment.millisecond;
  }
  return 0;
}

void appendNumber(std::string& out, std::int64_t value, std::size_t minDigits) {
  // Most parts (month, day, hour, minute, second) have one or two digits.
  if (value >= 0 && value < 100 && minDigits <= 2) {
    const char pair[2] = {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)};
    if (value >= 10 || minDigits == 2) {
      out.append(pair, 2);
    } else {
      out += pair[1];
    }
    return;
  }
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const auto length = static_cast<std::size_t>(end - digits);
  if (length < minDigits) {
    out.append(minDigits - length, '0');
  }
  out.append(digits, length);
}

// Fills in the pieces for `moment`, appending to `out`, and cuts what it appended after 256
// bytes at the last whole character.
void run(const Program& program, const Moment& moment, bool doubleByte, std::string& out) {
  const std::size_t start = out.size();
  for (const Piece& piece : program) {
    switch (piece.kind) {
      case Piece::Kind::literal:
        out += piece.text;
        break;
      case Piece::Kind::number:
        appendNumber(out, partOf(moment, piece.part), piece.minDigits);
        break;
      case Piece::Kind::name: {
        const int index = piece.dayNames ? moment.dayOfWeek : moment.month - 1;
        if (index >= 0 && index < (piece.dayNames ? 7 : 12)) {
          out += piece.names[index];
        }
        break;
      }
      case Piece::Kind::marker:
        out += moment.hour >= 12 ? piece.afternoon : piece.text;
        break;
      case Piece::Kind::era:
        if (moment.year != 0) {
          out += "A.D.";
        }
        break;
    }
  }
  if (out.size() - start > kMaxTextBytes) {
    const std::string_view written = std::string_view(out).substr(start);
    std::size_t cut = 0;
    while (cut < kMaxTextBytes) {
      const std::size_t length = characterLength(written, cut, doubleByte);
      if (cut + length > kMaxTextBytes) {
        break;
      }
      cut += length;
    }
    out.resize(start + cut);
  }
}

bool hasTime(const Moment& moment) {
  return moment.hour != 0 || moment.minute != 0 || moment.second != 0;
}

// What decides the pieces of a value's text: its use, and whether it has a time of day and
// milliseconds.
std::size_t programIndex(DateTimeUse use, bool withTime, bool withMilliseconds) {
  return static_cast<std::size_t>(use) * 4 + (withTime ? 2 : 0) + (withMilliseconds ? 1 : 0);
}

Program compile(const LocaleFormats& formats, DateTimeUse use, bool withTime,
                bool withMilliseconds) {
  PatternCompiler compiler(formats, withTime);
  switch (use) {
    case DateTimeUse::dateOnly:
      compiler.apply(formats.datePattern, false);
      break;
    case DateTimeUse::timeOnly:
      compiler.applyTime(withMilliseconds);
      break;
    case DateTimeUse::dateAndTime:
      // Milliseconds are data: a value with them always shows its time.
      compiler.applyDateAndTime(false, withTime || withMilliseconds, withMilliseconds);
      break;
  }
  return std::move(compiler).program();
}

}  // namespace

struct DateTimeWriter::Programs {
  std::array<std::optional<Program>, 12> byCase;
};

DateTimeWriter::DateTimeWriter(const LocaleFormats& formats)
    : formats_(formats), programs_(std::make_unique<Programs>()) {}

DateTimeWriter::~DateTimeWriter() = default;

void DateTimeWriter::append(std::string& out, double dayNumber, DateTimeUse use) const {
  const Moment moment = splitDayNumber(dayNumber);
  const bool withTime = hasTime(moment);
  const bool withMilliseconds = moment.millisecond != 0;
  std::optional<Program>& program =
      programs_->byCase[programIndex(use, withTime, withMilliseconds)];
  if (!program) {
    program = compile(formats_, use, withTime, withMilliseconds);
  }
  run(*program, moment, formats_.doubleByteCodeset, out);
}

std::string dateTimeText(double dayNumber, DateTimeUse use, const LocaleFormats& formats) {
  std::string text;
  DateTimeWriter(formats).append(text, dayNumber, use);
  return text;
}

std::string dateOrder(const LocaleFormats& formats) {
  std::string order;
  auto add = [&order](char part) {
    if (order.find(part) == std::string::npos)
      order += part;
  };
  PatternCompiler compiler(formats, false);
  compiler.apply(formats.datePattern, false);
  for (const Piece& piece : std::move(compiler).program()) {
    if (piece.kind == Piece::Kind::name && !piece.dayNames)
      add('m');
    if (piece.kind != Piece::Kind::number)
      continue;
    if (piece.part == Piece::Part::month)
      add('m');
    else if (piece.part == Piece::Part::day)
      add('d');
    else if (piece.part == Piece::Part::year || piece.part == Piece::Part::yearOfCentury)
      add('y');
  }
  for (char part : {'m', 'd', 'y'})
    add(part);
  return order;
}

std::string formatDateTime(std::string_view pattern, double dayNumber,
                           const LocaleFormats& formats) {
  const Moment moment = splitDayNumber(dayNumber);
  PatternCompiler compiler(formats, hasTime(moment));
  compiler.apply(pattern, false);
  std::string text;
  run(std::move(compiler).program(), moment, formats.doubleByteCodeset, text);
  return text;
}

}  // namespace velmora::script
