#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "script/locale_formats.h"

namespace velmora::script {

enum class DateTimeUse { dateAndTime, dateOnly, timeOnly };

// Date-time text of a day number (days since 30 December 1899, the fraction the time of day)
// by the pattern language of `formats`; at most 256 bytes. Date-and-time and time-only
// values with milliseconds show them after the seconds (".250"), and such a date-and-time
// value always shows its time. A day number whose millisecond count does not fit 64 bits
// (NaN, infinities, magnitudes beyond about 1E14 days) is written as day 0, 30 December 1899.
std::string dateTimeText(double dayNumber, DateTimeUse use, const LocaleFormats& formats);

// The same texts for many values: the patterns are taken apart once, and each value's text
// is appended to a line being built. `formats` must outlive the writer.
class DateTimeWriter {
 public:
  explicit DateTimeWriter(const LocaleFormats& formats);
  ~DateTimeWriter();
  DateTimeWriter(const DateTimeWriter&) = delete;
  DateTimeWriter& operator=(const DateTimeWriter&) = delete;

  void append(std::string& out, double dayNumber, DateTimeUse use) const;

 private:
  struct Programs;
  const LocaleFormats& formats_;
  std::unique_ptr<Programs> programs_;  // filled as values need them
};
// The order of day, month and year in the date pattern of `formats`, as SET DATEFORMAT names
// it: "mdy" for m/d/yyyy, "dmy" for dd.MM.yyyy, "ymd" for yyyy/M/d. Month names count as the
// month, day names as nothing. A part the pattern lacks takes its place after the others, in
// the order m, d, y.
std::string dateOrder(const LocaleFormats& formats);

// A pattern applied to a day number (the `FormatDateTime` of the pattern language).
std::string formatDateTime(std::string_view pattern, double dayNumber,
                           const LocaleFormats& formats);

}  // namespace velmora::script
