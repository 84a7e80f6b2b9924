#include "cell_parse.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "calendar.h"

namespace standin {
namespace {

using nlohmann::json;

[[noreturn]] void fail(const std::string& what) {
  throw std::invalid_argument(what);
}

std::string describe(const json& value) {
  return value.dump();
}

__int128 pow10(int n) {
  __int128 v = 1;
  while (n-- > 0) {
    v *= 10;
  }
  return v;
}

int64_t parseInteger(const json& value, int64_t low, int64_t high) {
  int64_t v = 0;
  if (value.is_number_integer()) {
    if (value.is_number_unsigned() &&
        value.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
      fail(describe(value) + " is out of range");
    }
    v = value.get<int64_t>();
  } else if (value.is_string()) {
    __int128 scaled = parseScaled(value.get<std::string>(), 0);
    if (scaled < std::numeric_limits<int64_t>::min() ||
        scaled > std::numeric_limits<int64_t>::max()) {
      fail(describe(value) + " is out of range");
    }
    v = static_cast<int64_t>(scaled);
  } else {
    fail("expected an integer, got " + describe(value));
  }
  if (v < low || v > high) {
    fail(describe(value) + " is out of range");
  }
  return v;
}

std::string numberText(const json& value) {
  if (value.is_string()) {
    return value.get<std::string>();
  }
  if (value.is_number()) {
    return value.dump();
  }
  fail("expected a number, got " + describe(value));
}

std::string parseHex(const json& value) {
  if (!value.is_string()) {
    fail("expected \"0x...\" bytes, got " + describe(value));
  }
  const std::string& text = value.get_ref<const std::string&>();
  if (text.size() < 2 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X') ||
      text.size() % 2 != 0) {
    fail("expected \"0x\" and pairs of hex digits, got " + describe(value));
  }
  std::string bytes;
  for (std::size_t i = 2; i < text.size(); i += 2) {
    auto nibble = [&](char c) {
      if (!std::isxdigit(static_cast<unsigned char>(c))) {
        fail("bad hex digit in " + describe(value));
      }
      return std::isdigit(static_cast<unsigned char>(c))
                 ? c - '0'
                 : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    };
    bytes.push_back(static_cast<char>(nibble(text[i]) * 16 + nibble(text[i + 1])));
  }
  return bytes;
}

Cell parseMomentCell(const json& value, const SqlType& type) {
  if (!value.is_string()) {
    fail("expected an ISO date or time text, got " + describe(value));
  }
  Moment m = parseMoment(value.get<std::string>());
  bool wantsDate = type.base != BaseType::Time;
  bool wantsTime = type.base != BaseType::Date;
  if ((wantsDate && !m.hasDate) || (!wantsTime && m.hasTime) ||
      (m.hasOffset && type.base != BaseType::DateTimeOffset)) {
    fail(describe(value) + " does not fit the column type");
  }
  Cell cell;
  cell.kind = Cell::Kind::Moment;
  cell.days = m.days;
  cell.ticks = m.ticks;
  cell.offsetMinutes = m.offsetMinutes;
  switch (type.base) {
    case BaseType::DateTime: {
      if (m.days < kDaysTo1900 - 53'690 || m.days > daysFromCivil(9999, 12, 31)) {
        fail(describe(value) + " is out of range for datetime");
      }
      // datetime counts 1/300 s: keep the value it will have on the wire.
      int64_t t300 = (m.ticks * 3 + 50'000) / 100'000;
      cell.ticks = t300 * 100'000 / 3;
      break;
    }
    case BaseType::SmallDateTime: {
      if (m.days < kDaysTo1900 || m.days > daysFromCivil(2079, 6, 6)) {
        fail(describe(value) + " is out of range for smalldatetime");
      }
      if (m.ticks % (60 * kTicksPerSecond) != 0) {
        fail(describe(value) + " has seconds, which smalldatetime does not hold");
      }
      break;
    }
    case BaseType::DateTimeOffset: {
      // The wire carries the moment in UTC, which must stay inside 0001-01-01..9999-12-31.
      int64_t utc = m.ticks - int64_t{m.offsetMinutes} * 60 * kTicksPerSecond;
      if ((m.days == 0 && utc < 0) ||
          (m.days == daysFromCivil(9999, 12, 31) && utc >= kTicksPerDay)) {
        fail(describe(value) + " is out of range in UTC");
      }
      [[fallthrough]];
    }
    case BaseType::Time:
    case BaseType::DateTime2:
      if (m.fractionDigits > type.scale) {
        fail(describe(value) + " has more fraction digits than the column's scale");
      }
      break;
    default:
      break;
  }
  return cell;
}

Cell parseText(const json& value, const SqlType& type, CodePageEncoder& ansi) {
  if (!value.is_string()) {
    fail("expected a string, got " + describe(value));
  }
  const std::string& text = value.get_ref<const std::string&>();
  Cell cell;
  cell.kind = Cell::Kind::Bytes;
  if (type.isAnsiText()) {
    cell.bytes = ansi.encode(text);
    if (!type.isMax() && type.base != BaseType::Text &&
        cell.bytes.size() > static_cast<std::size_t>(type.length)) {
      fail(describe(value) + " is longer than " + std::to_string(type.length) + " bytes");
    }
  } else {
    cell.bytes = toUtf16(text);
    if (!type.isMax() && type.base != BaseType::NText && type.base != BaseType::Xml &&
        cell.bytes.size() / 2 > static_cast<std::size_t>(type.length)) {
      fail(describe(value) + " is longer than " + std::to_string(type.length) + " characters");
    }
  }
  return cell;
}

bool variantAllows(const SqlType& type) {
  switch (type.base) {
    case BaseType::Text:
    case BaseType::NText:
    case BaseType::Image:
    case BaseType::Xml:
    case BaseType::Timestamp:
    case BaseType::SqlVariant:
    case BaseType::HierarchyId:
    case BaseType::Geometry:
    case BaseType::Geography:
      return false;
    default:
      return !type.isMax();
  }
}

}  // namespace

__int128 parseScaled(const std::string& text, int scale) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i++] == '-';
  }
  __int128 digits = 0;
  int digitCount = 0;
  int fraction = 0;
  bool seenPoint = false;
  bool any = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.' && !seenPoint) {
      seenPoint = true;
      continue;
    }
    if (!std::isdigit(static_cast<unsigned char>(c))) {
      break;
    }
    any = true;
    if (digitCount > 0 || c != '0') {
      ++digitCount;
    }
    if (digitCount > 38) {
      fail("\"" + text + "\" has more than 38 digits");
    }
    digits = digits * 10 + (c - '0');
    fraction += seenPoint;
  }
  int exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t used = 0;
    try {
      exponent = std::stoi(text.substr(i + 1), &used);
    } catch (const std::exception&) {
      fail("bad number \"" + text + "\"");
    }
    i += 1 + used;
  }
  if (!any || i != text.size() || exponent > 38 || exponent < -38) {
    fail("bad number \"" + text + "\"");
  }
  int shift = scale - fraction + exponent;
  if (shift < 0) {
    __int128 unit = pow10(-shift);
    if (digits % unit != 0) {
      fail("\"" + text + "\" has more than " + std::to_string(scale) + " decimal places");
    }
    digits /= unit;
  } else {
    if (digitCount + shift > 38) {
      fail("\"" + text + "\" has more than 38 digits");
    }
    digits *= pow10(shift);
  }
  return negative ? -digits : digits;
}

std::string parseGuid(const std::string& text) {
  std::string hex;
  for (char c : text) {
    if (c != '-' && c != '{' && c != '}') {
      hex.push_back(c);
    }
  }
  if (hex.size() != 32) {
    fail("bad uniqueidentifier \"" + text + "\"");
  }
  std::string raw = parseHex(json("0x" + hex));
  // The first three groups travel little-endian.
  std::string wire = raw;
  for (int i = 0; i < 4; ++i)
    wire[i] = raw[3 - i];
  wire[4] = raw[5];
  wire[5] = raw[4];
  wire[6] = raw[7];
  wire[7] = raw[6];
  return wire;
}

Cell parseCell(const json& value, const SqlType& type, CodePageEncoder& ansi) {
  if (value.is_null()) {
    return Cell{};
  }
  Cell cell;
  switch (type.base) {
    case BaseType::Bit:
      cell.kind = Cell::Kind::Integer;
      if (value.is_boolean()) {
        cell.integer = value.get<bool>() ? 1 : 0;
      } else {
        cell.integer = parseInteger(value, 0, 1);
      }
      return cell;
    case BaseType::TinyInt:
      cell.kind = Cell::Kind::Integer;
      cell.integer = parseInteger(value, 0, 255);
      return cell;
    case BaseType::SmallInt:
      cell.kind = Cell::Kind::Integer;
      cell.integer = parseInteger(value, -32768, 32767);
      return cell;
    case BaseType::Int:
      cell.kind = Cell::Kind::Integer;
      cell.integer = parseInteger(value, std::numeric_limits<int32_t>::min(),
                                  std::numeric_limits<int32_t>::max());
      return cell;
    case BaseType::BigInt:
      cell.kind = Cell::Kind::Integer;
      cell.integer = parseInteger(value, std::numeric_limits<int64_t>::min(),
                                  std::numeric_limits<int64_t>::max());
      return cell;
    case BaseType::Real:
    case BaseType::Float: {
      cell.kind = Cell::Kind::Real;
      if (value.is_number()) {
        cell.real = value.get<double>();
      } else if (value.is_string()) {
        try {
          std::size_t used = 0;
          cell.real = std::stod(value.get<std::string>(), &used);
          if (used != value.get_ref<const std::string&>().size()) {
            fail("");
          }
        } catch (const std::exception&) {
          fail("bad number " + describe(value));
        }
      } else {
        fail("expected a number, got " + describe(value));
      }
      if (!std::isfinite(cell.real) ||
          (type.base == BaseType::Real && std::fabs(cell.real) > 3.40282347e38)) {
        fail(describe(value) + " is out of range");
      }
      return cell;
    }
    case BaseType::SmallMoney:
    case BaseType::Money:
    case BaseType::Decimal:
    case BaseType::Numeric: {
      bool money = type.base == BaseType::Money || type.base == BaseType::SmallMoney;
      cell.kind = Cell::Kind::Decimal;
      cell.scaled = parseScaled(numberText(value), money ? 4 : type.scale);
      __int128 limit = type.base == BaseType::Money        ? __int128{INT64_MAX}
                       : type.base == BaseType::SmallMoney ? __int128{INT32_MAX}
                                                           : pow10(type.precision) - 1;
      if (cell.scaled > limit || cell.scaled < -limit - (money ? 1 : 0)) {
        fail(describe(value) + " is out of range for the column type");
      }
      return cell;
    }
    case BaseType::SmallDateTime:
    case BaseType::DateTime:
    case BaseType::Date:
    case BaseType::Time:
    case BaseType::DateTime2:
    case BaseType::DateTimeOffset:
      return parseMomentCell(value, type);
    case BaseType::Char:
    case BaseType::VarChar:
    case BaseType::Text:
    case BaseType::NChar:
    case BaseType::NVarChar:
    case BaseType::NText:
    case BaseType::SysName:
    case BaseType::Xml:
      return parseText(value, type, ansi);
    case BaseType::Binary:
    case BaseType::VarBinary:
    case BaseType::Image:
    case BaseType::Timestamp:
    case BaseType::HierarchyId:
    case BaseType::Geometry:
    case BaseType::Geography:
      cell.kind = Cell::Kind::Bytes;
      cell.bytes = parseHex(value);
      if ((type.base == BaseType::Binary || type.base == BaseType::VarBinary ||
           type.base == BaseType::Timestamp) &&
          !type.isMax() && cell.bytes.size() > static_cast<std::size_t>(type.length)) {
        fail(describe(value) + " is longer than " + std::to_string(type.length) + " bytes");
      }
      return cell;
    case BaseType::UniqueIdentifier:
      if (!value.is_string()) {
        fail("expected a uniqueidentifier text, got " + describe(value));
      }
      cell.kind = Cell::Kind::Bytes;
      cell.bytes = parseGuid(value.get<std::string>());
      return cell;
    case BaseType::SqlVariant: {
      if (!value.is_object() || !value.contains("type") || !value.contains("value") ||
          !value["type"].is_string() || value.size() != 2) {
        fail("expected {\"type\": ..., \"value\": ...} for sql_variant, got " + describe(value));
      }
      SqlType inner = SqlType::parse(value["type"].get<std::string>());
      if (!variantAllows(inner)) {
        fail("sql_variant cannot hold type " + value["type"].get<std::string>());
      }
      Cell innerCell = parseCell(value["value"], inner, ansi);
      if (innerCell.isNull()) {
        return Cell{};
      }
      cell.kind = Cell::Kind::Variant;
      cell.variant = std::make_shared<const TypedCell>(TypedCell{inner, std::move(innerCell)});
      return cell;
    }
  }
  fail("unhandled column type");
}

}  // namespace standin
