#include "script/locale_formats.h"

#include <QLocale>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "text/ascii_case.h"

namespace velmora::script {

namespace {

std::string toCodeset(const QString& text, const Codeset& codeset) {
  return codeset.fromUtf16(text.toStdU16String());
}

// A setting of exactly one character that the codeset holds, or the default.
std::string singleCharacter(const QString& setting, const std::string& fallback,
                            const Codeset& codeset) {
  const std::u32string characters = setting.toStdU32String();
  if (characters.size() != 1) {
    return fallback;
  }
  const std::string bytes = toCodeset(setting, codeset);
  if (bytes == "?" && characters[0] != U'?') {
    return fallback;
  }
  return bytes;
}

bool isDoubleByteCodeset(const std::string& name) {
  std::string key;
  for (const char c : name) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      key += text::asciiUpperCase(c);
    }
  }
  static constexpr const char* kDoubleByte[] = {
      "GBK",  "GB2312",   "GB18030", "CP936", "EUCCN", "BIG5",  "BIG5HKSCS", "CP950",
      "SJIS", "SHIFTJIS", "CP932",   "EUCJP", "EUCKR", "CP949", "UHC",       "EUCTW"};
  return std::find(std::begin(kDoubleByte), std::end(kDoubleByte), key) != std::end(kDoubleByte);
}

// Walks a Qt date-time format: literal text (quoted with ', '' standing for a quote) and runs
// of ASCII letters, which Qt reads as fields.
template <typename OnField, typename OnLiteral>
void walkQtFormat(const QString& format, OnField onField, OnLiteral onLiteral) {
  qsizetype at = 0;
  while (at < format.size()) {
    const QChar c = format[at];
    if (c == u'\'') {
      if (at + 1 < format.size() && format[at + 1] == u'\'') {
        onLiteral(c);
        at += 2;
        continue;
      }
      ++at;
      while (at < format.size()) {
        if (format[at] == u'\'') {
          if (at + 1 < format.size() && format[at + 1] == u'\'') {
            onLiteral(format[at]);
            at += 2;
            continue;
          }
          ++at;
          break;
        }
        onLiteral(format[at]);
        ++at;
      }
    } else if (c.isLetter() && c.unicode() < 0x80) {
      qsizetype end = at + 1;
      while (end < format.size() && format[end] == c) {
        ++end;
      }
      onField(c.toLatin1(), static_cast<int>(end - at));
      at = end;
    } else {
      onLiteral(c);
      ++at;
    }
  }
}

// The literal text between the first two date fields (or after the hour field of a time
// format).
QString firstSeparator(const QString& format, const char* fieldLetters) {
  QString separator;
  bool inSeparator = false;
  bool done = false;
  walkQtFormat(
      format,
      [&](char letter, int) {
        if (done) {
          return;
        }
        const bool isField = std::strchr(fieldLetters, letter) != nullptr;
        if (inSeparator) {
          done = true;
        } else if (isField) {
          inSeparator = true;
        }
      },
      [&](QChar c) {
        if (inSeparator && !done) {
          separator += c;
        }
      });
  return separator;
}

// Qt's date format in the pattern language. Literal letters and quotes are quoted, so they
// are not read as tokens; '/' and ':' stay marks only where the mark is that character.
// Every year becomes four digits: a two-digit year reads back in the wrong century.
QString datePatternFromQt(const QString& format, const std::string& dateMark,
                          const std::string& timeMark) {
  QString pattern;
  auto literal = [&](QChar c) {
    if ((c == u'/' && dateMark == "/") || (c == u':' && timeMark == ":")) {
      pattern += c;
    } else if (c == u'\'') {
      pattern += u"\"'\"";
    } else if (c == u'"' || c == u'/' || c == u':' || (c.unicode() < 0x80 && c.isLetter())) {
      pattern += u'\'';
      pattern += c;
      pattern += u'\'';
    } else {
      pattern += c;
    }
  };
  walkQtFormat(
      format,
      [&](char letter, int count) {
        if (letter == 'y') {
          pattern += u"yyyy";
        } else if (letter == 'd' || letter == 'M') {
          // Qt reads at most four letters as one field.
          for (int left = count; left > 0; left -= 4) {
            pattern += QString(std::min(left, 4), QChar(letter == 'd' ? u'd' : u'm'));
            if (left > 4) {
              pattern += u"\"\"";
            }
          }
        } else {
          for (int i = 0; i < count; ++i) {
            literal(QChar(letter));
          }
        }
      },
      literal);
  return pattern;
}

struct ClockSettings {
  bool leadingZero = true;
  bool twelveHour = false;
  bool markerInFront = false;
};

ClockSettings clockFromQt(const QString& timeFormat) {
  ClockSettings clock;
  int fieldIndex = 0;
  int hourIndex = -1;
  int markerIndex = -1;
  walkQtFormat(
      timeFormat,
      [&](char letter, int count) {
        if ((letter == 'h' || letter == 'H') && hourIndex < 0) {
          hourIndex = fieldIndex;
          clock.leadingZero = count >= 2;
        } else if ((letter == 'a' || letter == 'A' || letter == 'p' || letter == 'P') &&
                   markerIndex < 0) {
          markerIndex = fieldIndex;
        }
        ++fieldIndex;
      },
      [](QChar) {});
  clock.twelveHour = markerIndex >= 0;
  clock.markerInFront = clock.twelveHour && hourIndex >= 0 && markerIndex < hourIndex;
  return clock;
}

LocaleFormats localeFormatsFromQt(const QLocale& locale, const Codeset& codeset) {
  LocaleFormats formats;
  formats.doubleByteCodeset = isDoubleByteCodeset(codeset.name());
  // The C/POSIX locale keeps the defaults: Qt's C locale has day-first dates and upper-case
  // markers, which are not what scripts made under it have always held.
  if (locale.language() == QLocale::C) {
    return formats;
  }

  const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
  formats.decimalMark = singleCharacter(locale.decimalPoint(), formats.decimalMark, codeset);
  formats.dateMark = singleCharacter(firstSeparator(shortDate, "dMy"), formats.dateMark, codeset);
  formats.timeMark = singleCharacter(firstSeparator(locale.timeFormat(QLocale::ShortFormat), "hH"),
                                     formats.timeMark, codeset);
  formats.datePattern =
      toCodeset(datePatternFromQt(shortDate, formats.dateMark, formats.timeMark), codeset);
  formats.longDatePattern = toCodeset(
      datePatternFromQt(locale.dateFormat(QLocale::LongFormat), formats.dateMark, formats.timeMark),
      codeset);
  if (!locale.amText().isEmpty()) {
    formats.amText = toCodeset(locale.amText(), codeset);
  }
  if (!locale.pmText().isEmpty()) {
    formats.pmText = toCodeset(locale.pmText(), codeset);
  }

  const ClockSettings clock = clockFromQt(locale.timeFormat(QLocale::LongFormat));
  const std::string front = clock.twelveHour && clock.markerInFront ? "AMPM " : "";
  const std::string back = clock.twelveHour && !clock.markerInFront ? " AMPM" : "";
  const std::string hour = clock.leadingZero ? "hh" : "h";
  formats.timePattern = front + hour + ":mm:ss" + back;
  formats.shortTimePattern = front + hour + ":mm" + back;

  for (std::size_t index = 0; index < 12; ++index) {
    const int month = static_cast<int>(index) + 1;
    formats.shortMonthNames[index] =
        toCodeset(locale.monthName(month, QLocale::ShortFormat), codeset);
    formats.longMonthNames[index] =
        toCodeset(locale.monthName(month, QLocale::LongFormat), codeset);
  }
  // Qt counts Monday as 1 and Sunday as 7; the record starts with Sunday.
  for (std::size_t index = 0; index < 7; ++index) {
    const int qtDay = index == 0 ? 7 : static_cast<int>(index);
    formats.shortDayNames[index] = toCodeset(locale.dayName(qtDay, QLocale::ShortFormat), codeset);
    formats.longDayNames[index] = toCodeset(locale.dayName(qtDay, QLocale::LongFormat), codeset);
  }
  return formats;
}

}  // namespace

LocaleFormats localeFormatsForName(std::string_view localeName, const Codeset& codeset) {
  return localeFormatsFromQt(
      QLocale(QString::fromUtf8(localeName.data(), static_cast<qsizetype>(localeName.size()))),
      codeset);
}

LocaleFormats localeFormatsFromSystem(const Codeset& codeset) {
  return localeFormatsFromQt(QLocale::system(), codeset);
}

}  // namespace velmora::script
