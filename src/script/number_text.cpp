#include "script/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <system_error>

namespace velmora::script {

namespace {

constexpr int kSignificantDigits = 15;
// Digits taken from the exact binary value before the final rounding to 15.
constexpr int kExactStepDigits = 18;

// Rounds a digit string up in place at its last digit; returns true when all digits were
// nines (the string then reads "1000...").
bool incrementDigits(std::string& digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return false;
    }
    *it = '0';
  }
  digits.insert(digits.begin(), '1');
  digits.pop_back();
  return true;
}

}  // namespace

std::string integerText(std::int64_t value) {
  std::string text;
  appendIntegerText(text, value);
  return text;
}

void appendIntegerText(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

std::string generalNumberText(double value, std::string_view decimalMark) {
  if (std::isnan(value)) {
    return "NAN";
  }
  if (std::isinf(value)) {
    return value < 0 ? "-INF" : "INF";
  }
  if (value == 0) {
    return "0";
  }

  // The correctly rounded 18 significant digits (ties to even) as "d.ddd...e+XX"; its
  // exponent is the true decimal exponent, corrected for a carry into a new digit.
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                    std::chars_format::scientific, kExactStepDigits - 1);
  const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const std::size_t exponentAt = scientific.find('e');
  std::string digits(1, scientific[0]);
  digits.append(scientific.substr(2, exponentAt - 2));
  int exponent = std::atoi(std::string(scientific.substr(exponentAt + 1)).c_str()) + 1;

  // Half up to 15 digits; trailing zeros carry no information.
  const bool roundUp = digits[kSignificantDigits] >= '5';
  digits.resize(kSignificantDigits);
  if (roundUp && incrementDigits(digits)) {
    ++exponent;
  }
  digits.erase(digits.find_last_not_of('0') + 1);

  std::string text = value < 0 ? "-" : "";
  if (exponent > 15 || exponent < -3) {
    text += digits[0];
    if (digits.size() > 1) {
      text.append(decimalMark);
      text.append(digits, 1);
    }
    text += 'E';
    text += integerText(exponent - 1);
  } else if (exponent <= 0) {
    text += '0';
    text.append(decimalMark);
    text.append(static_cast<std::size_t>(-exponent), '0');
    text += digits;
  } else {
    const auto wholeDigits = static_cast<std::size_t>(exponent);
    if (digits.size() <= wholeDigits) {
      text += digits;
      text.append(wholeDigits - digits.size(), '0');
    } else {
      text.append(digits, 0, wholeDigits);
      text.append(decimalMark);
      text.append(digits, wholeDigits);
    }
  }
  return text;
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
  // The digits, filled from the back in 19-digit chunks so that the 128-bit division runs
  // at most twice; the rest fits 64 bits.
  constexpr std::uint64_t kChunk = 10'000'000'000'000'000'000u;
  char buffer[40];
  char* const end = buffer + sizeof buffer;
  char* first = end;
  unsigned __int128 rest = value.digits;
  while (rest > UINT64_MAX) {
    auto chunk = static_cast<std::uint64_t>(rest % kChunk);
    rest /= kChunk;
    for (int i = 0; i < 19; ++i, chunk /= 10) {
      *--first = static_cast<char>('0' + chunk % 10);
    }
  }
  for (auto low = static_cast<std::uint64_t>(rest); low != 0; low /= 10) {
    *--first = static_cast<char>('0' + low % 10);
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
