#pragma once

#include <array>
#include <string>

#include "script/codeset.h"

namespace velmora::script {

// The locale settings behind number and date texts. Every text is in the process codeset
// (the bytes a script line is made of). The defaults are those of the C/POSIX locale.
struct LocaleFormats {
  std::string decimalMark = ".";
  std::string dateMark = "/";
  std::string timeMark = ":";
  std::string datePattern = "m/d/yyyy";
  std::string longDatePattern = "mmmm d, yyyy";
  std::string amText = "am";
  std::string pmText = "pm";
  std::string timePattern = "hh:mm:ss";
  std::string shortTimePattern = "hh:mm";
  std::array<std::string, 12> shortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> longMonthNames{"January",   "February", "March",    "April",
                                             "May",       "June",     "July",     "August",
                                             "September", "October",  "November", "December"};
  // Sunday first.
  std::array<std::string, 7> shortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 7> longDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};
};

// Fills the record from the process locale (QLocale::system()), member by member, with the
// defaults where a setting is missing; two-letter years become four (yy -> yyyy).
LocaleFormats localeFormatsFromSystem(const Codeset& codeset);

}  // namespace velmora::script
