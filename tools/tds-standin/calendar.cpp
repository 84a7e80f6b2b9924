#include "calendar.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace standin {

int32_t daysFromCivil(int year, int month, int day) {
  // Howard Hinnant's days_from_civil, moved from 1970-01-01 to 0001-01-01.
  year -= month <= 2;
  const int era = (year >= 0 ? year : year - 399) / 400;
  const int yoe = year - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719'468 + 719'162;
}

void civilFromDays(int32_t days, int& year, int& month, int& day) {
  int32_t z = days - 719'162 + 719'468;
  const int era = (z >= 0 ? z : z - 146096) / 146097;
  const int doe = z - era * 146097;
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = yoe + era * 400 + (month <= 2);
}

namespace {

class Scanner {
 public:
  explicit Scanner(const std::string& text) : text_(text) {}
  bool done() const { return pos_ == text_.size(); }
  char peek() const { return done() ? '\0' : text_[pos_]; }
  bool accept(char c) {
    if (peek() == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  int digits(int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(peek()))) {
        fail();
      }
      value = value * 10 + (text_[pos_++] - '0');
    }
    return value;
  }
  [[noreturn]] void fail() const {
    throw std::invalid_argument("bad date or time \"" + text_ + "\"");
  }

 private:
  const std::string& text_;
  std::size_t pos_ = 0;
};

void readTime(Scanner& s, Moment& m) {
  int hour = s.digits(2);
  if (!s.accept(':')) {
    s.fail();
  }
  int minute = s.digits(2);
  int second = 0;
  int64_t fraction = 0;
  if (s.accept(':')) {
    second = s.digits(2);
    if (s.accept('.')) {
      while (std::isdigit(static_cast<unsigned char>(s.peek()))) {
        if (m.fractionDigits == 7) {
          s.fail();
        }
        fraction = fraction * 10 + s.digits(1);
        ++m.fractionDigits;
      }
      if (m.fractionDigits == 0) {
        s.fail();
      }
    }
  }
  if (hour > 23 || minute > 59 || second > 59) {
    s.fail();
  }
  for (int i = m.fractionDigits; i < 7; ++i) {
    fraction *= 10;
  }
  m.ticks = ((hour * 60 + minute) * 60 + second) * kTicksPerSecond + fraction;
  m.hasTime = true;
}

}  // namespace

Moment parseMoment(const std::string& text) {
  Scanner s(text);
  Moment m;
  bool dateFirst = text.size() >= 5 && text[4] == '-';
  if (dateFirst) {
    int year = s.digits(4);
    s.accept('-');
    int month = s.digits(2);
    if (!s.accept('-')) {
      s.fail();
    }
    int day = s.digits(2);
    static constexpr int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1] ||
        (month == 2 && day == 29 && !leap)) {
      s.fail();
    }
    m.days = daysFromCivil(year, month, day);
    m.hasDate = true;
    if (!s.accept('T') && !s.accept(' ')) {
      if (!s.done()) {
        s.fail();
      }
      return m;
    }
  }
  readTime(s, m);
  if (s.accept('Z')) {
    m.hasOffset = true;
  } else if (s.peek() == '+' || s.peek() == '-') {
    int sign = s.accept('-') ? -1 : (s.accept('+'), 1);
    int hours = s.digits(2);
    if (!s.accept(':')) {
      s.fail();
    }
    int minutes = s.digits(2);
    if (hours > 14 || minutes > 59 || hours * 60 + minutes > 14 * 60) {
      s.fail();
    }
    m.offsetMinutes = static_cast<int16_t>(sign * (hours * 60 + minutes));
    m.hasOffset = true;
  }
  if (!s.done()) {
    s.fail();
  }
  return m;
}

std::string formatDate(int32_t days) {
  int y, mo, d;
  civilFromDays(days, y, mo, d);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, mo, d);
  return buf;
}

std::string formatTime(int64_t ticks, int scale) {
  int64_t seconds = ticks / kTicksPerSecond;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  std::string out = buf;
  if (scale > 0) {
    std::snprintf(buf, sizeof buf, "%07lld", static_cast<long long>(ticks % kTicksPerSecond));
    out += '.';
    out.append(buf, static_cast<std::size_t>(scale));
  }
  return out;
}

std::string formatOffset(int16_t minutes) {
  char buf[48];
  int m = minutes < 0 ? -minutes : minutes;
  std::snprintf(buf, sizeof buf, "%c%02d:%02d", minutes < 0 ? '-' : '+', m / 60, m % 60);
  return buf;
}

}  // namespace standin
