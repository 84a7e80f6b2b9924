#include "server/odbc_row_fetch.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "server/odbc_values.h"
#include "text/utf.h"

namespace velmora::server::odbc {
namespace {

template <typename T>
T readAs(const std::byte* data) {
  T value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

// The held value of type T, made when `into` holds another kind, so that a text or bytes
// value reuses the memory of the one before.
template <typename T>
T& reused(Value& into) {
  T* held = std::get_if<T>(&into);
  return held != nullptr ? *held : into.emplace<T>();
}

DateTime dateTimeValue(const std::byte* data) {
  const auto stamp = readAs<SQL_TIMESTAMP_STRUCT>(data);
  return dayNumber(stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second,
                   static_cast<unsigned>((stamp.fraction + 500'000) / 1'000'000));
}

void assignGuid(Value& into, const std::byte* data) {
  const auto guid = readAs<SQLGUID>(data);
  std::array<std::uint8_t, 8> tail;
  std::copy(std::begin(guid.Data4), std::end(guid.Data4), tail.begin());
  assignGuidText(reused<std::u16string>(into), guid.Data1, guid.Data2, guid.Data3, tail);
}

Decimal decimalValue(const ColumnPlan& plan, std::string_view text) {
  if (const auto decimal = parseDecimal(text))
    return *decimal;
  throwUnreadable(plan, "not a decimal number: " + std::string(text));
}

// money: the high 32 bits (signed), then the low 32 bits; smallmoney: 32 bits (signed).
Decimal moneyValue(const ColumnPlan& plan, const std::byte* data, std::size_t length) {
  std::int64_t tenThousandths = 0;
  if (length == 8)
    tenThousandths = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(readAs<std::int32_t>(data))) << 32) |
        readAs<std::uint32_t>(data + 4));
  else if (length == 4)
    tenThousandths = readAs<std::int32_t>(data);
  else
    throwUnreadable(plan, "an amount of " + std::to_string(length) + " bytes");
  const bool negative = tenThousandths < 0;
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(tenThousandths)
                                           : static_cast<std::uint64_t>(tenThousandths);
  return Decimal{negative, magnitude, 4};
}

std::u16string temporalValue(const ColumnPlan& plan, std::string_view text) {
  const TemporalKind kind = plan.kind() == ColumnKind::date        ? TemporalKind::date
                            : plan.kind() == ColumnKind::time      ? TemporalKind::time
                            : plan.kind() == ColumnKind::dateTime2 ? TemporalKind::dateTime2
                                                                   : TemporalKind::dateTimeOffset;
  if (auto converted = temporalText(text, kind, plan.fractionDigits))
    return std::move(*converted);
  throwUnreadable(plan, "not a date or time: " + std::string(text));
}

void assignText(const ColumnPlan& plan, Value& into, const std::byte* data, std::size_t length) {
  if (length % sizeof(char16_t) != 0)
    throwUnreadable(plan, "a text of an odd number of bytes");
  std::u16string& text = reused<std::u16string>(into);
  text.resize(length / sizeof(char16_t));
  if (length != 0)
    std::memcpy(text.data(), data, length);
}

void assignBytes(Value& into, const std::byte* data, std::size_t length) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
  reused<Bytes>(into).assign(bytes, bytes + length);
}

}  // namespace

short cTypeOf(const ColumnPlan& plan) {
  switch (plan.kind()) {
    case ColumnKind::flag:
      return SQL_C_BIT;
    case ColumnKind::tinyInteger:
      return SQL_C_UTINYINT;
    case ColumnKind::smallInteger:
      return SQL_C_SSHORT;
    case ColumnKind::integer:
      return SQL_C_SLONG;
    case ColumnKind::bigInteger:
      return SQL_C_SBIGINT;
    case ColumnKind::real:
      return SQL_C_FLOAT;
    case ColumnKind::doubleReal:
      return SQL_C_DOUBLE;
    case ColumnKind::dateTime:
      return SQL_C_TYPE_TIMESTAMP;
    case ColumnKind::guid:
      return SQL_C_GUID;
    case ColumnKind::text:
    case ColumnKind::variant:
      return SQL_C_WCHAR;
    // FreeTDS hands these over as the server sent them: nchar and nvarchar as UTF-16LE,
    // money as its high and low 32 bits. Asked for text instead, it converts them twice
    // (UTF-16 to the client's UTF-8 and back) or prints them, the costliest steps of a row.
    // The long Unicode texts come piecewise, where only text keeps the pieces whole.
    case ColumnKind::nationalText:
      return plan.isLong() ? SQL_C_WCHAR : SQL_C_BINARY;
    case ColumnKind::money:
    case ColumnKind::bytes:
    case ColumnKind::unknown:
      return SQL_C_BINARY;
    case ColumnKind::decimal:
    case ColumnKind::date:
    case ColumnKind::time:
    case ColumnKind::dateTime2:
    case ColumnKind::dateTimeOffset:
      return SQL_C_CHAR;
  }
  return SQL_C_BINARY;
}

std::size_t terminatorBytes(const ColumnPlan& plan) {
  switch (cTypeOf(plan)) {
    case SQL_C_WCHAR:
      return sizeof(char16_t);
    case SQL_C_CHAR:
      return 1;
    default:
      return 0;
  }
}

std::size_t fixedSizeOf(ColumnKind kind) {
  switch (kind) {
    case ColumnKind::flag:
    case ColumnKind::tinyInteger:
      return 1;
    case ColumnKind::smallInteger:
      return sizeof(SQLSMALLINT);
    case ColumnKind::integer:
      return sizeof(SQLINTEGER);
    case ColumnKind::bigInteger:
      return sizeof(SQLBIGINT);
    case ColumnKind::real:
      return sizeof(SQLREAL);
    case ColumnKind::doubleReal:
      return sizeof(SQLDOUBLE);
    case ColumnKind::dateTime:
      return sizeof(SQL_TIMESTAMP_STRUCT);
    case ColumnKind::guid:
      return sizeof(SQLGUID);
    default:
      return 0;
  }
}

[[noreturn]] void throwUnreadable(const ColumnPlan& plan, std::string_view what) {
  throw ColumnUnreadable(plan.description.name, std::string(what));
}

Value bufferValue(const ColumnPlan& plan, const std::byte* data, std::size_t length) {
  Value value;
  assignBufferValue(plan, data, length, value);
  return value;
}

void assignBufferValue(const ColumnPlan& plan, const std::byte* data, std::size_t length,
                       Value& into) {
  const std::string_view driverText(reinterpret_cast<const char*>(data), length);
  switch (plan.kind()) {
    case ColumnKind::flag:
      into = readAs<unsigned char>(data) != 0;
      return;
    case ColumnKind::tinyInteger:
      into = readAs<std::uint8_t>(data);
      return;
    case ColumnKind::smallInteger:
      into = readAs<std::int16_t>(data);
      return;
    case ColumnKind::integer:
      into = readAs<std::int32_t>(data);
      return;
    case ColumnKind::bigInteger:
      into = readAs<std::int64_t>(data);
      return;
    case ColumnKind::real:
      into = readAs<float>(data);
      return;
    case ColumnKind::doubleReal:
      into = readAs<double>(data);
      return;
    case ColumnKind::dateTime:
      into = dateTimeValue(data);
      return;
    case ColumnKind::guid:
      return assignGuid(into, data);
    case ColumnKind::decimal:
      into = decimalValue(plan, driverText);
      return;
    case ColumnKind::money:
      into = moneyValue(plan, data, length);
      return;
    case ColumnKind::date:
    case ColumnKind::time:
    case ColumnKind::dateTime2:
    case ColumnKind::dateTimeOffset:
      into = temporalValue(plan, driverText);
      return;
    case ColumnKind::text:
    case ColumnKind::nationalText:
    case ColumnKind::variant:
      return assignText(plan, into, data, length);
    case ColumnKind::bytes:
      return assignBytes(into, data, length);
    case ColumnKind::unknown:
      break;
  }
  into = Empty{};
}

}  // namespace velmora::server::odbc
