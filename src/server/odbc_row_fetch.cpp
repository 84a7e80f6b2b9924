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
  switch (plan.kind) {
    case FetchKind::flag:
      return readAs<unsigned char>(data) != 0;
    case FetchKind::unsigned8:
      return readAs<std::uint8_t>(data);
    case FetchKind::integer16:
      return readAs<std::int16_t>(data);
    case FetchKind::integer32:
      return readAs<std::int32_t>(data);
    case FetchKind::integer64:
      return readAs<std::int64_t>(data);
    case FetchKind::real32:
      return readAs<float>(data);
    case FetchKind::real64:
      return readAs<double>(data);
    case FetchKind::dateTime: {
      const auto stamp = readAs<SQL_TIMESTAMP_STRUCT>(data);
      return dayNumber(stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second,
                       static_cast<unsigned>((stamp.fraction + 500'000) / 1'000'000));
    }
    case FetchKind::guid: {
      const auto guid = readAs<SQLGUID>(data);
      std::array<std::uint8_t, 8> tail;
      std::copy(std::begin(guid.Data4), std::end(guid.Data4), tail.begin());
      return guidText(guid.Data1, guid.Data2, guid.Data3, tail);
    }
    case FetchKind::decimal: {
      const std::string_view text(reinterpret_cast<const char*>(data), length);
      if (const auto decimal = parseDecimal(text))
        return *decimal;
      throwUnreadable(plan, "not a decimal number: " + std::string(text));
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
      if (auto converted = temporalText(text, kind, plan.fractionDigits))
        return std::move(*converted);
      throwUnreadable(plan, "not a date or time: " + std::string(text));
    }
    case FetchKind::text:
    case FetchKind::variant: {
      std::u16string text(length / sizeof(char16_t), u'\0');
      if (!text.empty())
        std::memcpy(text.data(), data, text.size() * sizeof(char16_t));
      return text;
    }
    case FetchKind::bytes: {
      if (length == 0)
        return Bytes{};
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
      return Bytes(bytes, bytes + length);
    }
    case FetchKind::none:
      return Empty{};
  }
  return Empty{};
}

}  // namespace velmora::server::odbc
