#include "sql_value.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "calendar.h"
#include "cell_parse.h"

namespace standin {
namespace {

constexpr int64_t kTicksPerMinute = 60 * kTicksPerSecond;

__int128 pow10(int n) {
  __int128 v = 1;
  while (n-- > 0)
    v *= 10;
  return v;
}

bool isIntegerType(BaseType base) {
  return base == BaseType::Bit || base == BaseType::TinyInt || base == BaseType::SmallInt ||
         base == BaseType::Int || base == BaseType::BigInt;
}

long double asLongDouble(const Value& v) {
  if (v.kind == Value::Kind::Approximate)
    return v.real;
  return static_cast<long double>(v.scaled) / static_cast<long double>(pow10(v.scale));
}

template <typename T>
int sign(T a, T b) {
  return a < b ? -1 : b < a ? 1 : 0;
}

int compareExact(const Value& a, const Value& b) {
  const Value& wider = a.scale >= b.scale ? a : b;
  const Value& narrower = a.scale >= b.scale ? b : a;
  const __int128 unit = pow10(wider.scale - narrower.scale);
  constexpr __int128 kLargest = ~(__int128{1} << 127);
  if (narrower.scaled > kLargest / unit || narrower.scaled < -(kLargest / unit)) {
    return sign(asLongDouble(a), asLongDouble(b));  // beyond 38 digits once aligned
  }
  const __int128 aligned = narrower.scaled * unit;
  const int order = sign(aligned, wider.scaled);
  return &narrower == &a ? order : -order;
}

std::string trimBlanks(const std::string& s) {
  auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos)
    return "";
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// Simple case folding for the scripts a test fixture uses: Latin, Greek and Cyrillic.
char32_t foldCase(char32_t c) {
  if (c < 0x80)
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
      (c >= 0x410 && c <= 0x42F))
    return c + 32;
  if (c >= 0x400 && c <= 0x40F)
    return c + 80;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
      c != 0x17F) {
    // Latin Extended-A pairs capital and small letters on neighbouring code points, with the
    // parity switching at U+0139 and again at U+014A.
    bool oddCapitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    bool capital = oddCapitals ? (c % 2 == 1) : (c % 2 == 0);
    return capital ? c + 1 : c;
  }
  return c;
}

std::u32string collationKey(const std::string& utf8, bool ignoreCase) {
  std::u32string s = toCodePoints(utf8);
  while (!s.empty() && s.back() == U' ')
    s.pop_back();
  if (ignoreCase)
    std::transform(s.begin(), s.end(), s.begin(), foldCase);
  return s;
}

[[noreturn]] void typeClash(const Value& a, const Value& b) {
  throw SqlError(206, 16,
                 std::string("Operand type clash: ") + baseTypeName(a.type.base) +
                     " is incompatible with " + baseTypeName(b.type.base));
}

// Text to a number of `target`'s type, as SQL Server converts it.
Value textToNumber(const Value& text, const Value& target) {
  const std::string s = trimBlanks(text.text);
  Value v;
  v.type = target.type;
  const bool integer = target.kind == Value::Kind::Exact && isIntegerType(target.type.base);
  if (target.kind == Value::Kind::Approximate) {
    char* end = nullptr;
    v.kind = Value::Kind::Approximate;
    v.real = std::strtod(s.c_str(), &end);
    if (!s.empty() && end == s.c_str() + s.size() && std::isfinite(v.real))
      return v;
  } else if (integer && target.type.base == BaseType::Bit && (s.size() == 4 || s.size() == 5) &&
             std::all_of(s.begin(), s.end(), [](char c) { return std::isalpha(c); })) {
    std::string upper = s;
    for (char& c : upper)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "TRUE" || upper == "FALSE") {
      v.kind = Value::Kind::Exact;
      v.scaled = upper == "TRUE";
      return v;
    }
  } else {
    // [+-]digits, with a decimal point unless the target is an integer type.
    std::size_t digits = 0;
    int fraction = -1;
    bool wellFormed = true;
    for (std::size_t k = !s.empty() && (s[0] == '-' || s[0] == '+') ? 1 : 0; k < s.size(); ++k) {
      if (std::isdigit(static_cast<unsigned char>(s[k]))) {
        ++digits;
        fraction += fraction >= 0;
      } else if (s[k] == '.' && fraction < 0 && !integer) {
        fraction = 0;
      } else {
        wellFormed = false;
      }
    }
    if (wellFormed && digits > 0 && digits <= 38) {
      v.kind = Value::Kind::Exact;
      v.scale = std::max(fraction, 0);
      v.scaled = parseScaled(s, v.scale);
      return v;
    }
  }
  const char* from = baseTypeName(text.type.base);
  const char* to = baseTypeName(target.type.base);
  if (integer) {
    throw SqlError(245, 16,
                   std::string("Conversion failed when converting the ") + from + " value '" +
                       text.text + "' to data type " + to + ".");
  }
  throw SqlError(8114, 16, std::string("Error converting data type ") + from + " to " + to + ".");
}

// Text to a date or time of `target`'s type: ISO forms, and yyyymmdd with an optional time.
Value textToMoment(const Value& text, const Value& target) {
  std::string s = trimBlanks(text.text);
  if (s.size() >= 8 &&
      std::all_of(s.begin(), s.begin() + 8, [](char c) { return std::isdigit(c); }) &&
      (s.size() == 8 || s[8] == ' ' || s[8] == 'T')) {
    s = s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6);
  }
  Moment m;
  try {
    m = parseMoment(s);
  } catch (const std::invalid_argument&) {
    throw SqlError(241, 16,
                   "Conversion failed when converting date and/or time from character string.");
  }
  Value v;
  v.kind = Value::Kind::Moment;
  v.type = target.type;
  v.days = m.hasDate ? m.days : kDaysTo1900;
  v.ticks = m.ticks;
  // The literal takes the target's precision first, rounded as a server rounds it.
  int64_t unit = 1;
  switch (target.type.base) {
    case BaseType::Date:
      v.ticks = 0;
      break;
    case BaseType::SmallDateTime:
      unit = kTicksPerMinute;
      break;
    case BaseType::DateTime:
      // 1/300 s, computed as the fixture's datetime values are, so equal values meet.
      v.ticks = (v.ticks * 3 + 50'000) / 100'000 * 100'000 / 3;
      break;
    default:
      for (int digits = target.type.scale; digits < 7; ++digits)
        unit *= 10;
      break;
  }
  v.ticks = (v.ticks + unit / 2) / unit * unit;
  if (v.ticks >= kTicksPerDay && target.type.base != BaseType::Time) {
    v.ticks -= kTicksPerDay;
    ++v.days;
  }
  if (target.type.base == BaseType::Time) {
    v.days = 0;
    v.ticks %= kTicksPerDay;
  }
  if (target.type.base == BaseType::DateTimeOffset)
    v.offsetMinutes = m.offsetMinutes;
  return v;
}

Value textTo(const Value& text, const Value& target) {
  switch (target.kind) {
    case Value::Kind::Exact:
    case Value::Kind::Approximate:
      return textToNumber(text, target);
    case Value::Kind::Moment:
      return textToMoment(text, target);
    case Value::Kind::Guid: {
      Value v = target;
      try {
        v.text = parseGuid(trimBlanks(text.text));
      } catch (const std::invalid_argument&) {
        throw SqlError(8169, 16,
                       "Conversion failed when converting from a character string to "
                       "uniqueidentifier.");
      }
      return v;
    }
    case Value::Kind::Binary: {
      Value v = target;
      v.text = text.text;
      return v;
    }
    default:
      return text;
  }
}

int64_t instant(const Value& v) {
  int64_t utc = v.days * kTicksPerDay + v.ticks;
  return v.type.base == BaseType::DateTimeOffset ? utc - v.offsetMinutes * kTicksPerMinute : utc;
}

// SQL Server orders uniqueidentifiers by their last six bytes first.
int compareGuids(const std::string& a, const std::string& b) {
  static constexpr int kOrder[] = {10, 11, 12, 13, 14, 15, 8, 9, 6, 7, 4, 5, 0, 1, 2, 3};
  for (int i : kOrder) {
    auto x = static_cast<uint8_t>(a[static_cast<std::size_t>(i)]);
    auto y = static_cast<uint8_t>(b[static_cast<std::size_t>(i)]);
    if (x != y)
      return x < y ? -1 : 1;
  }
  return 0;
}

int compareSameKind(const Value& a, const Value& b, bool ignoreCase) {
  switch (a.kind) {
    case Value::Kind::Exact:
      return compareExact(a, b);
    case Value::Kind::Approximate:
      return sign(asLongDouble(a), asLongDouble(b));
    case Value::Kind::Text: {
      std::u32string x = collationKey(a.text, ignoreCase), y = collationKey(b.text, ignoreCase);
      return x.compare(y) < 0 ? -1 : x == y ? 0 : 1;
    }
    case Value::Kind::Moment:
      return sign(instant(a), instant(b));
    case Value::Kind::Guid:
      return compareGuids(a.text, b.text);
    default:
      return a.text.compare(b.text) < 0 ? -1 : a.text == b.text ? 0 : 1;
  }
}

bool numeric(const Value& v) {
  return v.kind == Value::Kind::Exact || v.kind == Value::Kind::Approximate;
}

std::string exactText(const Value& v) {
  __int128 magnitude = v.scaled < 0 ? -v.scaled : v.scaled;
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude > 0);
  if (v.scale > 0) {
    if (digits.size() <= static_cast<std::size_t>(v.scale))
      digits.insert(0, static_cast<std::size_t>(v.scale) - digits.size() + 1, '0');
    digits.insert(digits.size() - static_cast<std::size_t>(v.scale), ".");
  }
  return (v.scaled < 0 ? "-" : "") + digits;
}

// LIKE's arguments as text: numbers convert, other kinds cannot.
std::u32string likeText(const Value& v, int argument, bool ignoreCase, bool dropTrailing) {
  std::string text;
  if (v.kind == Value::Kind::Text) {
    text = v.text;
  } else if (v.kind == Value::Kind::Exact) {
    text = exactText(v);
  } else {
    throw SqlError(8116, 16,
                   std::string("Argument data type ") + baseTypeName(v.type.base) +
                       " is invalid for argument " + std::to_string(argument) +
                       " of like function.");
  }
  std::u32string s = toCodePoints(text);
  if (dropTrailing) {
    while (!s.empty() && s.back() == U' ')
      s.pop_back();
  }
  if (ignoreCase)
    std::transform(s.begin(), s.end(), s.begin(), foldCase);
  return s;
}

// Whether pattern element p (a character, _ or a [...] set) takes character c; `next` is set
// to the element after it.
bool elementMatches(const std::u32string& p, std::size_t at, char32_t c, std::size_t& next) {
  if (p[at] == U'_') {
    next = at + 1;
    return true;
  }
  if (p[at] == U'[') {
    std::size_t close = p.find(U']', at + 2);
    if (close != std::u32string::npos) {
      next = close + 1;
      std::size_t i = at + 1;
      bool negated = p[i] == U'^' && i + 1 < close;
      i += negated;
      bool found = false;
      for (; i < close; ++i) {
        if (i + 2 < close && p[i + 1] == U'-') {
          found = found || (c >= p[i] && c <= p[i + 2]);
          i += 2;
        } else {
          found = found || c == p[i];
        }
      }
      return found != negated;
    }
  }
  next = at + 1;
  return p[at] == c;
}

bool like(const std::u32string& s, const std::u32string& p) {
  std::size_t si = 0, pi = 0;
  std::size_t starP = std::u32string::npos, starS = 0;
  while (si < s.size()) {
    std::size_t next = 0;
    if (pi < p.size() && p[pi] == U'%') {
      starP = ++pi;
      starS = si;
    } else if (pi < p.size() && elementMatches(p, pi, s[si], next)) {
      pi = next;
      ++si;
    } else if (starP != std::u32string::npos) {
      pi = starP;
      si = ++starS;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == U'%')
    ++pi;
  return pi == p.size();
}

}  // namespace

Value valueOf(const Cell& cell, const SqlType& type, CodePageDecoder& ansi) {
  if (cell.kind == Cell::Kind::Variant)
    return valueOf(cell.variant->cell, cell.variant->type, ansi);
  Value v;
  v.type = type;
  if (cell.isNull())
    return v;
  switch (cell.kind) {
    case Cell::Kind::Integer:
      v.kind = Value::Kind::Exact;
      v.scaled = cell.integer;
      break;
    case Cell::Kind::Real:
      v.kind = Value::Kind::Approximate;
      v.real = cell.real;
      break;
    case Cell::Kind::Decimal:
      v.kind = Value::Kind::Exact;
      v.scaled = cell.scaled;
      v.scale = type.base == BaseType::Money || type.base == BaseType::SmallMoney ? 4 : type.scale;
      break;
    case Cell::Kind::Moment:
      v.kind = Value::Kind::Moment;
      v.days = cell.days;
      v.ticks = cell.ticks;
      v.offsetMinutes = cell.offsetMinutes;
      break;
    default:
      if (type.isAnsiText()) {
        v.kind = Value::Kind::Text;
        v.text = ansi.decode(cell.bytes);
      } else if (type.isUnicodeText()) {
        v.kind = Value::Kind::Text;
        v.text = fromUtf16(cell.bytes);
      } else {
        v.kind = type.base == BaseType::UniqueIdentifier ? Value::Kind::Guid : Value::Kind::Binary;
        v.text = cell.bytes;
      }
      break;
  }
  return v;
}

std::optional<int> compareValues(const Value& a, const Value& b, bool ignoreCase) {
  if (a.kind == Value::Kind::Null || b.kind == Value::Kind::Null)
    return std::nullopt;
  if (a.kind == Value::Kind::Text && b.kind != Value::Kind::Text)
    return compareValues(textTo(a, b), b, ignoreCase);
  if (b.kind == Value::Kind::Text && a.kind != Value::Kind::Text)
    return compareValues(a, textTo(b, a), ignoreCase);
  if (numeric(a) && numeric(b) && a.kind != b.kind)
    return sign(asLongDouble(a), asLongDouble(b));
  if (a.kind != b.kind)
    typeClash(a, b);
  return compareSameKind(a, b, ignoreCase);
}

std::optional<bool> likeMatches(const Value& value, const Value& pattern, bool ignoreCase) {
  if (value.kind == Value::Kind::Null || pattern.kind == Value::Kind::Null)
    return std::nullopt;
  // Trailing blanks of the value count when either side is Unicode, as SQL Server matches.
  const bool unicode = value.type.isUnicodeText() || pattern.type.isUnicodeText();
  return like(likeText(value, 1, ignoreCase, !unicode), likeText(pattern, 2, ignoreCase, false));
}

}  // namespace standin
