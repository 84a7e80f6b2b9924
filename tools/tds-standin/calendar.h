#pragma once

#include <cstdint>
#include <string>

namespace standin {

constexpr int64_t kTicksPerSecond = 10'000'000;  // 100 ns units
constexpr int64_t kTicksPerDay = 86'400 * kTicksPerSecond;
constexpr int32_t kDaysTo1900 = 693'595;  // 1900-01-01 counted from 0001-01-01

// Days since 0001-01-01 of a proleptic Gregorian date, and back.
int32_t daysFromCivil(int year, int month, int day);
void civilFromDays(int32_t days, int& year, int& month, int& day);

struct Moment {
  int32_t days = 0;
  int64_t ticks = 0;
  int16_t offsetMinutes = 0;
  int fractionDigits = 0;  // digits the text gave after the seconds
  bool hasDate = false;
  bool hasTime = false;
  bool hasOffset = false;
};

// Parses "YYYY-MM-DD", "hh:mm[:ss[.fffffff]]", or both joined by 'T' or a blank, with an
// optional "Z" or "+hh:mm"/"-hh:mm" offset. Throws std::invalid_argument.
Moment parseMoment(const std::string& text);

// The ISO texts a server sends for the time types to clients older than TDS 7.3.
std::string formatDate(int32_t days);
std::string formatTime(int64_t ticks, int scale);
std::string formatOffset(int16_t minutes);

}  // namespace standin
