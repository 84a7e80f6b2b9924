#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "server/odbc_column_plan.h"
#include "server/value.h"

// sql_variant values through FreeTDS. Its ODBC driver (1.3) neither answers
// SQL_CA_SS_VARIANT_TYPE (SQLColAttribute gives HY091) nor hands over the variant's header
// with SQL_C_BINARY (it gives the bare bytes of the value): a value comes converted to
// whatever C type is asked for, and its base type stays inside the driver, where even bit
// and tinyint, or varchar and nvarchar, cannot be told apart. So a table with sql_variant
// columns is read with the server naming each value's base type beside the columns.
namespace velmora::server {

// The read of the table sent as `nameAsSent` that adds, after all its columns, the base
// type of each of `variantColumns` in that order:
// "select *, SQL_VARIANT_PROPERTY([Any], 'BaseType') from Sales.T".
std::u16string variantTypesRead(std::u16string_view nameAsSent,
                                const std::vector<std::u16string>& variantColumns);

// How a sql_variant value whose base type is `baseType` ("int", "nvarchar", ... as
// SQL_VARIANT_PROPERTY names it, any case) is fetched, and what the fetched value becomes.
struct VariantFetch {
  enum class Tag { asFetched, national, currency };
  ColumnKind kind = ColumnKind::text;
  Tag tag = Tag::asFetched;
};
VariantFetch variantFetchOf(std::string_view baseType);

// The fetched value as the tagged value of its base type: a Unicode text becomes
// NationalText, a money amount Currency. Null stays Null.
Value taggedVariantValue(Value fetched, VariantFetch::Tag tag);

}  // namespace velmora::server
