#include "server/odbc_row_fetch.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "server/odbc_values.h"

namespace velmora::server::odbc {
namespace {

template <typename T>
T readAs(const std::byte* data) {
  T value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

}  // namespace

short cTypeOf(FetchKind kind) {
  switch (kind) {
    case FetchKind::flag:
      return SQL_C_BIT;
    case FetchKind::unsigned8:
      return SQL_C_UTINYINT;
    case FetchKind::integer16:
      return SQL_C_SSHORT;
    case FetchKind::integer32:
      return SQL_C_SLONG;
    case FetchKind::integer64:
      return SQL_C_SBIGINT;
    case FetchKind::real32:
      return SQL_C_FLOAT;
    case FetchKind::real64:
      return SQL_C_DOUBLE;
    case FetchKind::dateTime:
      return SQL_C_TYPE_TIMESTAMP;
    case FetchKind::guid:
      return SQL_C_GUID;
    case FetchKind::text:
    case FetchKind::variant:
      return SQL_C_WCHAR;
    case FetchKind::bytes:
    case FetchKind::none:
    // FreeTDS hands these over as the server sent them: nchar and nvarchar as UTF-16LE,
    // money as its high and low 32 bits. Asked for text instead, it converts them twice
    // (UTF-16 to the client's UTF-8 and back) or prints them, the costliest steps of a row.
    case FetchKind::nationalText:
    case FetchKind::money:
      return SQL_C_BINARY;
    case FetchKind::decimal:
    case FetchKind::date:
    case FetchKind::time:
    case FetchKind::dateTime2:
    case FetchKind::dateTimeOffset:
      return SQL_C_CHAR;
  }
  return SQL_C_BINARY;
}

std::size_t terminatorBytes(FetchKind kind) {
  switch (cTypeOf(kind)) {
    case SQL_C_WCHAR:
      return sizeof(char16_t);
    case SQL_C_CHAR:
      return 1;
    default:
      return 0;
  }
}

std::size_t fixedSizeOf(FetchKind kind) {
  switch (kind) {
    case FetchKind::flag:
    case FetchKind::unsigned8:
      return 1;
    case FetchKind::integer16:
      return sizeof(SQLSMALLINT);
    case FetchKind::integer32:
      return sizeof(SQLINTEGER);
    case FetchKind::integer64:
      return sizeof(SQLBIGINT);
    case FetchKind::real32:
      return sizeof(SQLREAL);
    case FetchKind::real64:
      return sizeof(SQLDOUBLE);
    case FetchKind::dateTime:
      return sizeof(SQL_TIMESTAMP_STRUCT);
    case FetchKind::guid:
      return sizeof(SQLGUID);
    default:
      return 0;
  }
}

[[noreturn]] void throwUnreadable(const ColumnPlan& plan, std::string_view what) {
  throw DataAccessError("Cannot read the value of column '" +
                        std::string(plan.description.name.begin(), plan.description.name.end()) +
                        "': " + std::string(what));
}

Value bufferValue(const ColumnPlan& plan, const std::byte* data, std::size_t length) {
  Value value;
  assignBufferValue(plan, data, length, value);
  return value;
}

namespace {

// Text into `into`, reusing the memory of the text it held.
void assignText(Value& into, const std::byte* data, std::size_t units) {
  std::u16string* text = std::get_if<std::u16string>(&into);
  if (text == nullptr)
    text = &into.emplace<std::u16string>();
  text->resize(units);
  if (units != 0)
    std::memcpy(text->data(), data, units * sizeof(char16_t));
}

}  // namespace

void assignBufferValue(const ColumnPlan& plan, const std::byte* data, std::size_t length,
                       Value& into) {
  switch (plan.kind) {
    case FetchKind::flag:
      into = readAs<unsigned char>(data) != 0;
      return;
    case FetchKind::unsigned8:
      into = readAs<std::uint8_t>(data);
      return;
    case FetchKind::integer16:
      into = readAs<std::int16_t>(data);
      return;
    case FetchKind::integer32:
      into = readAs<std::int32_t>(data);
      return;
    case FetchKind::integer64:
      into = readAs<std::int64_t>(data);
      return;
    case FetchKind::real32:
      into = readAs<float>(data);
      return;
    case FetchKind::real64:
      into = readAs<double>(data);
      return;
    case FetchKind::dateTime: {
      const auto stamp = readAs<SQL_TIMESTAMP_STRUCT>(data);
      into = dayNumber(stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second,
                       static_cast<unsigned>((stamp.fraction + 500'000) / 1'000'000));
      return;
    }
    case FetchKind::guid: {
      const auto guid = readAs<SQLGUID>(data);
      std::array<std::uint8_t, 8> tail;
      std::copy(std::begin(guid.Data4), std::end(guid.Data4), tail.begin());
      std::u16string* text = std::get_if<std::u16string>(&into);
      if (text == nullptr)
        text = &into.emplace<std::u16string>();
      assignGuidText(*text, guid.Data1, guid.Data2, guid.Data3, tail);
      return;
    }
    case FetchKind::decimal: {
      const std::string_view text(reinterpret_cast<const char*>(data), length);
      if (const auto decimal = parseDecimal(text)) {
        into = *decimal;
        return;
      }
      throwUnreadable(plan, "not a decimal number: " + std::string(text));
    }
    case FetchKind::money: {
      // money: the high 32 bits (signed), then the low 32 bits; smallmoney: 32 bits (signed).
      std::int64_t tenThousandths = 0;
      if (length == 8)
        tenThousandths = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(static_cast<std::uint32_t>(readAs<std::int32_t>(data)))
             << 32) |
            readAs<std::uint32_t>(data + 4));
      else if (length == 4)
        tenThousandths = readAs<std::int32_t>(data);
      else
        throwUnreadable(plan, "an amount of " + std::to_string(length) + " bytes");
      const bool negative = tenThousandths < 0;
      const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(tenThousandths)
                                               : static_cast<std::uint64_t>(tenThousandths);
      into = Decimal{negative, magnitude, 4};
      return;
    }
    case FetchKind::date:
    case FetchKind::time:
    case FetchKind::dateTime2:
    case FetchKind::dateTimeOffset: {
      const std::string_view text(reinterpret_cast<const char*>(data), length);
      const TemporalKind kind = plan.kind == FetchKind::date        ? TemporalKind::date
                                : plan.kind == FetchKind::time      ? TemporalKind::time
                                : plan.kind == FetchKind::dateTime2 ? TemporalKind::dateTime2
                                                                    : TemporalKind::dateTimeOffset;
      if (auto converted = temporalText(text, kind, plan.fractionDigits)) {
        into = std::move(*converted);
        return;
      }
      throwUnreadable(plan, "not a date or time: " + std::string(text));
    }
    case FetchKind::text:
    case FetchKind::variant:
    case FetchKind::nationalText:
      if (length % sizeof(char16_t) != 0)
        throwUnreadable(plan, "a text of an odd number of bytes");
      assignText(into, data, length / sizeof(char16_t));
      return;
    case FetchKind::bytes: {
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
      Bytes* held = std::get_if<Bytes>(&into);
      if (held == nullptr)
        held = &into.emplace<Bytes>();
      held->assign(bytes, bytes + length);
      return;
    }
    case FetchKind::none:
      into = Empty{};
      return;
  }
  into = Empty{};
}

}  // namespace velmora::server::odbc
