#include "server/odbc_variant.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "server/identifier.h"
#include "text/ascii_case.h"

namespace velmora::server {
namespace {

struct BaseTypeFetch {
  std::string_view baseType;
  VariantFetch fetch;
};

using Tag = VariantFetch::Tag;

// Every type a sql_variant can hold. The date and time kinds come as the driver's text with
// the value's own fraction digits.
constexpr std::array<BaseTypeFetch, 24> kFetches{{
    {"bit", {ColumnKind::flag}},
    {"tinyint", {ColumnKind::tinyInteger}},
    {"smallint", {ColumnKind::smallInteger}},
    {"int", {ColumnKind::integer}},
    {"bigint", {ColumnKind::bigInteger}},
    {"real", {ColumnKind::real}},
    {"float", {ColumnKind::doubleReal}},
    {"smallmoney", {ColumnKind::decimal, Tag::currency}},
    {"money", {ColumnKind::decimal, Tag::currency}},
    {"decimal", {ColumnKind::decimal}},
    {"numeric", {ColumnKind::decimal}},
    {"smalldatetime", {ColumnKind::dateTime}},
    {"datetime", {ColumnKind::dateTime}},
    {"date", {ColumnKind::date}},
    {"time", {ColumnKind::time}},
    {"datetime2", {ColumnKind::dateTime2}},
    {"datetimeoffset", {ColumnKind::dateTimeOffset}},
    {"char", {ColumnKind::text}},
    {"varchar", {ColumnKind::text}},
    {"nchar", {ColumnKind::text, Tag::national}},
    {"nvarchar", {ColumnKind::text, Tag::national}},
    {"binary", {ColumnKind::bytes}},
    {"varbinary", {ColumnKind::bytes}},
    {"uniqueidentifier", {ColumnKind::guid}},
}};

// A decimal of at most four places as a count of ten-thousandths; nothing when it does not
// fit.
std::optional<Currency> currencyOf(const Decimal& amount) {
  if (amount.scale > 4)
    return std::nullopt;
  unsigned __int128 units = amount.digits;
  for (unsigned scale = amount.scale; scale < 4; ++scale)
    units *= 10;
  if (units > static_cast<unsigned __int128>(INT64_MAX) + (amount.negative ? 1 : 0))
    return std::nullopt;
  const auto low = static_cast<std::uint64_t>(units);
  return Currency{amount.negative ? static_cast<std::int64_t>(0 - low)
                                  : static_cast<std::int64_t>(low)};
}

}  // namespace

std::u16string variantTypesRead(std::u16string_view nameAsSent,
                                const std::vector<std::u16string>& variantColumns) {
  std::u16string text = u"select *";
  for (const std::u16string& column : variantColumns)
    text += u", SQL_VARIANT_PROPERTY(" + enclosed(column, u'[', u']') + u", 'BaseType')";
  text += u" from ";
  text += nameAsSent;
  return text;
}

VariantFetch variantFetchOf(std::string_view baseType) {
  for (const BaseTypeFetch& entry : kFetches)
    if (text::sameKeywordIgnoringCase(entry.baseType, baseType))
      return entry.fetch;
  // A base type of a later server version: its text.
  return {};
}

Value taggedVariantValue(Value fetched, VariantFetch::Tag tag) {
  switch (tag) {
    case Tag::asFetched:
      break;
    case Tag::national:
      if (auto* text = std::get_if<std::u16string>(&fetched))
        return NationalText{std::move(*text)};
      break;
    case Tag::currency:
      if (const auto* amount = std::get_if<Decimal>(&fetched))
        if (const auto currency = currencyOf(*amount))
          return *currency;
      break;
  }
  return fetched;
}

}  // namespace velmora::server
