#pragma once

#include <array>
#include <string>
#include <string_view>

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
  // How patterns and texts are split into characters: false for UTF-8; true for a
  // double-byte codeset such as GBK, where a lead byte 0x81..0xFE takes the next byte with it
  // (that byte may look like an ASCII letter and must not be read as a pattern letter).
  bool doubleByteCodeset = false;

  friend bool operator==(const LocaleFormats&, const LocaleFormats&) = default;
};

// Fills the record from the process locale (QLocale::system()), member by member, with the
// defaults where a setting is missing; two-letter years become four (yy -> yyyy).
LocaleFormats localeFormatsFromSystem(const Codeset& codeset);
// The same for a named locale ("zh_CN", "en_US", "C"), as QLocale understands the name.
LocaleFormats localeFormatsForName(std::string_view localeName, const Codeset& codeset);

}  // namespace velmora::script
