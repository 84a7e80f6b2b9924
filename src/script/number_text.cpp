#include "script/number_text.h"

#include <charconv>
#include <cmath>
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
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
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
  std::string digits;
  for (unsigned __int128 rest = value.digits; rest != 0; rest /= 10) {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(rest % 10)));
  }
  if (digits.empty()) {
    return "0";
  }
  // At least one digit before the mark.
  if (digits.size() <= value.scale) {
    digits.insert(0, value.scale + 1 - digits.size(), '0');
  }
  const std::size_t wholeDigits = digits.size() - value.scale;
  std::string fraction = digits.substr(wholeDigits);
  fraction.erase(fraction.find_last_not_of('0') + 1);

  std::string text = value.negative ? "-" : "";
  text.append(digits, 0, wholeDigits);
  if (!fraction.empty()) {
    text.append(decimalMark);
    text += fraction;
  }
  return text;
}

}  // namespace velmora::script
