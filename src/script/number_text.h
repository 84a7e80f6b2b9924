#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "script/locale_formats.h"
#include "server/value.h"

namespace velmora::script {

// Integer text: minus sign and digits, no grouping, the whole 64-bit range.
std::string integerText(std::int64_t value);
// General number text: 15 significant digits, exponent form above 1E15 and below 1E-4,
// INF, -INF, NAN. The script always passes "." (the locale's mark would split value lists).
std::string generalNumberText(double value, std::string_view decimalMark = ".");
// Amount text of an exact decimal: every significant decimal kept, trailing zeros dropped,
// never an exponent.
std::string amountText(const server::Decimal& value, std::string_view decimalMark = ".");

enum class DateTimeUse { dateAndTime, dateOnly, timeOnly };

// Date-time text of a day number (days since 30 December 1899, the fraction the time of day)
// by the pattern language of `formats`; at most 256 bytes.
std::string dateTimeText(double dayNumber, DateTimeUse use, const LocaleFormats& formats);
// A pattern applied to a day number (the `FormatDateTime` of the pattern language).
std::string formatDateTime(std::string_view pattern, double dayNumber,
                           const LocaleFormats& formats);

}  // namespace velmora::script
