#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "script/locale_formats.h"
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
// The integer and amount texts appended to `out`, for callers that build a line.
void appendIntegerText(std::string& out, std::int64_t value);
void appendAmountText(std::string& out, const server::Decimal& value,
                      std::string_view decimalMark = ".");

enum class DateTimeUse { dateAndTime, dateOnly, timeOnly };

// Date-time text of a day number (days since 30 December 1899, the fraction the time of day)
// by the pattern language of `formats`; at most 256 bytes. Date-and-time and time-only
// values with milliseconds show them after the seconds (".250"), and such a date-and-time
// value always shows its time. A day number whose millisecond count does not fit 64 bits
// (NaN, infinities, magnitudes beyond about 1E14 days) is written as day 0, 30 December 1899.
std::string dateTimeText(double dayNumber, DateTimeUse use, const LocaleFormats& formats);
// A pattern applied to a day number (the `FormatDateTime` of the pattern language).
std::string formatDateTime(std::string_view pattern, double dayNumber,
                           const LocaleFormats& formats);

}  // namespace velmora::script
