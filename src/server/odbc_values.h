#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "server/value.h"

// Turning what the ODBC driver hands over into the values the data access layer supplies.
// Pure functions, no ODBC types.
namespace velmora::server {

// Parses a decimal number text as the driver writes it ("-12.5000", "0.00001", ".5", "42")
// exactly; leading and trailing blanks are allowed. Nothing when the text is no such number or
// has more than 38 digits.
std::optional<Decimal> parseDecimal(std::string_view text);

// The day number of a calendar date and time of day: whole days since 30 December 1899; for
// days before that the time of day counts away from zero, as the platform's dates do
// (29 December 1899 06:00 is -1.25). Milliseconds 0 to 999.
DateTime dayNumber(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                   unsigned second, unsigned millisecond);

// The text of a GUID in the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::u16string guidText(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                        const std::array<std::uint8_t, 8>& data4);
// The same text put into `text`, whose memory is reused.
void assignGuidText(std::u16string& text, std::uint32_t data1, std::uint16_t data2,
                    std::uint16_t data3, const std::array<std::uint8_t, 8>& data4);
inline constexpr std::size_t kGuidTextLength = 38;

// The SQL Server types whose values are supplied as text in a fixed form.
enum class TemporalKind { date, time, dateTime2, dateTimeOffset };

// As fraction digits: as many as the driver's text has (a sql_variant value, whose own scale
// the driver writes).
inline constexpr unsigned kDriverFractionDigits = ~0u;

// Rewrites the driver's text of a date, time, datetime2 or datetimeoffset value in the form
// "YYYY-MM-DD", "hh:mm:ss[.f]", "YYYY-MM-DD hh:mm:ss[.f]" or "YYYY-MM-DD hh:mm:ss[.f] +hh:mm"
// with exactly `fractionDigits` digits after the seconds (none and no '.' for 0), or those of
// the text for kDriverFractionDigits. Accepts a 'T' between date and time, any number of
// fraction digits and an offset with or without a blank before it. Nothing when the text does
// not have that shape.
std::optional<std::u16string> temporalText(std::string_view driverText, TemporalKind kind,
                                           unsigned fractionDigits);

}  // namespace velmora::server
