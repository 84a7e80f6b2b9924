#include "script/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

namespace velmora::script {

namespace {

// Writes the decimal digits of `value` backwards ending at `end`, four and two at a time;
// returns where they start.
char* digitsBefore(char* end, std::uint64_t value) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  while (value >= 10'000) {
    const auto four = static_cast<std::size_t>(value % 10'000);
    value /= 10'000;
    const std::size_t low = four % 100 * 2;
    const std::size_t high = four / 100 * 2;
    *--end = kPairs[low + 1];
    *--end = kPairs[low];
    *--end = kPairs[high + 1];
    *--end = kPairs[high];
  }
  while (value >= 100) {
    const auto pair = static_cast<std::size_t>(value % 100) * 2;
    value /= 100;
    *--end = kPairs[pair + 1];
    *--end = kPairs[pair];
  }
  if (value >= 10) {
    const auto pair = static_cast<std::size_t>(value) * 2;
    *--end = kPairs[pair + 1];
    *--end = kPairs[pair];
  } else {
    *--end = static_cast<char>('0' + value);
  }
  return end;
}

// The general number text of a finite, nonzero magnitude from its significant digits and its
// decimal exponent E (the magnitude is 0.d1d2d3... times ten to the power E), appended to
// `text`.
void appendNumberForm(std::string& text, bool negative, std::string_view digits, int exponent,
                      std::string_view decimalMark) {
  if (negative) {
    text += '-';
  }
  if (exponent > 15 || exponent < -3) {
    text += digits[0];
    if (digits.size() > 1) {
      text.append(decimalMark);
      text.append(digits.substr(1));
    }
    text += 'E';
    appendIntegerText(text, exponent - 1);
  } else if (exponent <= 0) {
    text += '0';
    text.append(decimalMark);
    text.append(static_cast<std::size_t>(-exponent), '0');
    text.append(digits);
  } else {
    const auto wholeDigits = static_cast<std::size_t>(exponent);
    if (digits.size() <= wholeDigits) {
      text.append(digits);
      text.append(wholeDigits - digits.size(), '0');
    } else {
      text.append(digits.substr(0, wholeDigits));
      text.append(decimalMark);
      text.append(digits.substr(wholeDigits));
    }
  }
}

// The fewest significant digits that read back as `value` (a double, or a float read back
// as a float), written by the general number form. A text above the type's largest value is
// never written (a server may refuse it): the largest float is 3.4028234E38, not the shorter
// 3.4028235E38.
template <typename Floating>
void appendShortestNumberText(std::string& text, Floating value, std::string_view decimalMark) {
  if (std::isnan(value)) {
    text += "NAN";
    return;
  }
  if (std::isinf(value)) {
    text += value < 0 ? "-INF" : "INF";
    return;
  }
  if (value == 0) {
    text += '0';
    return;
  }

  // "d.ddde+XX" or "de+XX": the shortest digits that read back, and the exponent of the first.
  char buffer[64];
  const Floating magnitude = std::fabs(value);
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
  const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const std::size_t exponentAt = scientific.find('e');
  char digits[32];
  std::size_t digitCount = 1;
  digits[0] = scientific[0];
  if (exponentAt > 1) {
    scientific.copy(digits + 1, exponentAt - 2, 2);
    digitCount += exponentAt - 2;
  }
  int exponent = 0;
  std::from_chars(scientific.data() + exponentAt + (scientific[exponentAt + 1] == '+' ? 2 : 1),
                  result.ptr, exponent);
  ++exponent;

  // Only the type's largest value can have shortest digits above it (every smaller value
  // rounds below the midpoint to the next value). Its digits rounded up; with the last one
  // less by one they lie below it and still read back as it.
  if (magnitude == std::numeric_limits<Floating>::max()) {
    double shortest = 0;
    std::from_chars(scientific.data(), result.ptr, shortest);
    if (shortest > static_cast<double>(std::numeric_limits<Floating>::max())) {
      --digits[digitCount - 1];
      while (digitCount > 1 && digits[digitCount - 1] == '0') {
        --digitCount;
      }
    }
  }
  appendNumberForm(text, value < 0, std::string_view(digits, digitCount), exponent, decimalMark);
}

}  // namespace

std::string integerText(std::int64_t value) {
  std::string text;
  appendIntegerText(text, value);
  return text;
}

void appendIntegerText(std::string& out, std::int64_t value) {
  char buffer[24];
  char* const end = buffer + sizeof buffer;
  const std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  char* first = digitsBefore(end, magnitude);
  if (value < 0) {
    *--first = '-';
  }
  out.append(first, end);
}

std::string generalNumberText(double value, std::string_view decimalMark) {
  std::string text;
  appendShortestNumberText(text, value, decimalMark);
  return text;
}

std::string generalNumberText(float value, std::string_view decimalMark) {
  std::string text;
  appendShortestNumberText(text, value, decimalMark);
  return text;
}

void appendGeneralNumberText(std::string& out, double value, std::string_view decimalMark) {
  appendShortestNumberText(out, value, decimalMark);
}

void appendGeneralNumberText(std::string& out, float value, std::string_view decimalMark) {
  appendShortestNumberText(out, value, decimalMark);
}

std::string amountText(const server::Decimal& value, std::string_view decimalMark) {
  std::string text;
  appendAmountText(text, value, decimalMark);
  return text;
}

void appendAmountText(std::string& out, const server::Decimal& value,
                      std::string_view decimalMark) {
  if (value.digits == 0) {
    out += '0';
    return;
  }
  // The digits, filled from the back: a value of 64 bits two digits at a time, a larger one in
  // 19-digit chunks so that the 128-bit division runs at most twice.
  char buffer[40];
  const char* const end = buffer + sizeof buffer;
  const char* first = buffer;
  if (value.digits <= UINT64_MAX) {
    first = digitsBefore(buffer + sizeof buffer, static_cast<std::uint64_t>(value.digits));
  } else {
    constexpr std::uint64_t kChunk = 10'000'000'000'000'000'000u;
    char* start = buffer + sizeof buffer;
    unsigned __int128 rest = value.digits;
    while (rest > UINT64_MAX) {
      auto chunk = static_cast<std::uint64_t>(rest % kChunk);
      rest /= kChunk;
      for (int i = 0; i < 19; ++i, chunk /= 10) {
        *--start = static_cast<char>('0' + chunk % 10);
      }
    }
    for (auto low = static_cast<std::uint64_t>(rest); low != 0; low /= 10) {
      *--start = static_cast<char>('0' + low % 10);
    }
    first = start;
  }

  // The fraction loses its trailing zeros; a value below one gets "0" before the mark and
  // zeros between the mark and its digits.
  const auto count = static_cast<std::size_t>(end - first);
  const std::size_t scale = value.scale;
  const char* fraction = count > scale ? end - scale : first;
  const char* last = end;
  while (last > fraction && last[-1] == '0') {
    --last;
  }

  if (value.negative) {
    out += '-';
  }
  if (count > scale) {
    out.append(first, count - scale);
  } else {
    out += '0';
  }
  if (last > fraction) {
    out.append(decimalMark);
    if (scale > count) {
      out.append(scale - count, '0');
    }
    out.append(fraction, last);
  }
}

}  // namespace velmora::script
