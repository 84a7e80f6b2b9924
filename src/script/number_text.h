#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "server/value.h"

namespace velmora::script {

// Integer text: minus sign and digits, no grouping, the whole 64-bit range.
std::string integerText(std::int64_t value);
// General number text: the fewest significant digits that read back as the same value (at
// most 17 for a double, 9 for a float, which reads back as a float), never a text above the
// type's largest value; exponent form from 1E15 up and below 1E-4 ("1E15", "1.5E-5"), INF,
// -INF, NAN; negative zero is "0". The script always passes "." (the locale's mark would
// split value lists).
std::string generalNumberText(double value, std::string_view decimalMark = ".");
std::string generalNumberText(float value, std::string_view decimalMark = ".");
// Amount text of an exact decimal: every significant decimal kept, trailing zeros dropped,
// "0" before the mark below one, never an exponent.
std::string amountText(const server::Decimal& value, std::string_view decimalMark = ".");
// The integer, general number and amount texts appended to `out`, for callers that build a
// line.
void appendIntegerText(std::string& out, std::int64_t value);
void appendGeneralNumberText(std::string& out, double value, std::string_view decimalMark = ".");
void appendGeneralNumberText(std::string& out, float value, std::string_view decimalMark = ".");
void appendAmountText(std::string& out, const server::Decimal& value,
                      std::string_view decimalMark = ".");

}  // namespace velmora::script
