#include "server/odbc_values.h"

#include <array>
#include <cmath>

namespace velmora::server {
namespace {

// Days from 1 January 1970 to the given civil date (proleptic Gregorian calendar).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// A cursor over the driver's text.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[pos_]; }
  bool take(char c) {
    if (peek() != c)
      return false;
    ++pos_;
    return true;
  }
  void skipBlanks() {
    while (peek() == ' ')
      ++pos_;
  }
  // Between `minDigits` and `maxDigits` decimal digits.
  std::optional<std::string_view> digits(std::size_t minDigits, std::size_t maxDigits) {
    const std::size_t start = pos_;
    while (!atEnd() && pos_ - start < maxDigits && text_[pos_] >= '0' && text_[pos_] <= '9')
      ++pos_;
    if (pos_ - start < minDigits)
      return std::nullopt;
    return text_.substr(start, pos_ - start);
  }
  bool followsDate() const {
    const std::size_t dash = text_.find('-', pos_);
    const std::size_t colon = text_.find(':', pos_);
    return dash != std::string_view::npos && (colon == std::string_view::npos || dash < colon);
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

std::string padded(std::string_view digits, std::size_t width) {
  return std::string(width > digits.size() ? width - digits.size() : 0, '0') + std::string(digits);
}

std::u16string ascii16(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

}  // namespace

std::optional<Decimal> parseDecimal(std::string_view text) {
  while (!text.empty() && text.front() == ' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  Decimal result;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    result.negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const std::size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if ((whole.empty() && fraction.empty()) || fraction.size() > 38)
    return std::nullopt;
  // Leading zeros of the whole part add nothing (and need not count against 38 digits).
  while (whole.size() > 1 && whole.front() == '0')
    whole.remove_prefix(1);
  result.scale = static_cast<std::uint8_t>(fraction.size());

  // Digits gather in a 64-bit chunk of up to 19, which joins the 128-bit value when full.
  static constexpr auto kPowers = [] {
    std::array<std::uint64_t, 20> powers{1};
    for (std::size_t i = 1; i < powers.size(); ++i)
      powers[i] = powers[i - 1] * 10;
    return powers;
  }();
  // The usual case, at most 19 digits in all, fits 64 bits: no chunks, no count of the
  // significant ones.
  if (whole.size() + fraction.size() <= 19) {
    std::uint64_t digits = 0;
    for (const std::string_view part : {whole, fraction}) {
      for (const char c : part) {
        const auto digit = static_cast<unsigned>(c - '0');
        if (digit > 9)
          return std::nullopt;
        digits = digits * 10 + digit;
      }
    }
    result.digits = digits;
    if (digits == 0)
      result.negative = false;
    return result;
  }
  std::uint64_t chunk = 0;
  int chunkDigits = 0;
  int significant = 0;
  for (const std::string_view part : {whole, fraction}) {
    for (const char c : part) {
      const auto digit = static_cast<unsigned>(c - '0');
      if (digit > 9)
        return std::nullopt;
      if ((significant > 0 || digit != 0) && ++significant > 38)
        return std::nullopt;
      chunk = chunk * 10 + digit;
      if (++chunkDigits == 19) {
        result.digits = result.digits * kPowers[19] + chunk;
        chunk = 0;
        chunkDigits = 0;
      }
    }
  }
  result.digits = result.digits * kPowers[chunkDigits] + chunk;
  if (result.digits == 0)
    result.negative = false;
  return result;
}

DateTime dayNumber(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                   unsigned second, unsigned millisecond) {
  const std::int64_t days = daysFromCivil(year, month, day) - daysFromCivil(1899, 12, 30);
  const double milliseconds = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond;
  const double timeOfDay = milliseconds / 86'400'000.0;
  const double whole = static_cast<double>(days);
  return DateTime{days < 0 ? whole - timeOfDay : whole + timeOfDay};
}

std::u16string guidText(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                        const std::array<std::uint8_t, 8>& data4) {
  std::u16string text;
  assignGuidText(text, data1, data2, data3, data4);
  return text;
}

void assignGuidText(std::u16string& text, std::uint32_t data1, std::uint16_t data2,
                    std::uint16_t data3, const std::array<std::uint8_t, 8>& data4) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  text.resize(kGuidTextLength);
  char16_t* out = text.data();
  // A byte at a time, most significant first.
  auto hex = [&out](std::uint64_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
      const auto byte = static_cast<unsigned>(value >> shift) & 0xFFu;
      *out++ = static_cast<char16_t>(kHex[byte >> 4]);
      *out++ = static_cast<char16_t>(kHex[byte & 0xFu]);
    }
  };
  *out++ = u'{';
  hex(data1, 4);
  *out++ = u'-';
  hex(data2, 2);
  *out++ = u'-';
  hex(data3, 2);
  *out++ = u'-';
  for (std::size_t i = 0; i < data4.size(); ++i) {
    if (i == 2)
      *out++ = u'-';
    hex(data4[i], 1);
  }
  *out = u'}';
}

std::optional<std::u16string> temporalText(std::string_view driverText, TemporalKind kind,
                                           unsigned fractionDigits) {
  Scanner in(driverText);
  in.skipBlanks();
  std::string text;

  const bool wantsDate = kind != TemporalKind::time;
  const bool wantsTime = kind != TemporalKind::date;
  if (in.followsDate()) {
    const auto year = in.digits(1, 4);
    if (!year || !in.take('-'))
      return std::nullopt;
    const auto month = in.digits(1, 2);
    if (!month || !in.take('-'))
      return std::nullopt;
    const auto day = in.digits(1, 2);
    if (!day)
      return std::nullopt;
    if (wantsDate)
      text = padded(*year, 4) + '-' + padded(*month, 2) + '-' + padded(*day, 2);
    if (!in.take('T'))
      in.skipBlanks();
  } else if (wantsDate) {
    return std::nullopt;
  }

  if (wantsTime) {
    const auto hour = in.digits(1, 2);
    if (!hour || !in.take(':'))
      return std::nullopt;
    const auto minute = in.digits(2, 2);
    if (!minute || !in.take(':'))
      return std::nullopt;
    const auto second = in.digits(2, 2);
    if (!second)
      return std::nullopt;
    std::string fraction;
    if (in.take('.')) {
      const auto digits = in.digits(0, 9);
      if (!digits)
        return std::nullopt;
      fraction = *digits;
    }
    if (fractionDigits != kDriverFractionDigits)
      fraction.resize(fractionDigits, '0');
    if (!text.empty())
      text += ' ';
    text += padded(*hour, 2) + ':' + std::string(*minute) + ':' + std::string(*second);
    if (!fraction.empty())
      text += '.' + fraction;
  }

  if (kind == TemporalKind::dateTimeOffset) {
    in.skipBlanks();
    const char sign = in.peek();
    if (sign != '+' && sign != '-')
      return std::nullopt;
    in.take(sign);
    const auto hours = in.digits(1, 2);
    if (!hours || !in.take(':'))
      return std::nullopt;
    const auto minutes = in.digits(2, 2);
    if (!minutes)
      return std::nullopt;
    text += std::string(" ") + sign + padded(*hours, 2) + ':' + std::string(*minutes);
  }
  return ascii16(text);
}

}  // namespace velmora::server
