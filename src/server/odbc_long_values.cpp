#include "server/odbc_long_values.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <string>

#include "server/odbc_diagnostics.h"
#include "server/odbc_values.h"
#include "server/odbc_variant.h"

namespace velmora::server::odbc {
namespace {

// Long values come through SQLGetData in pieces of this size.
constexpr std::size_t kPieceBytes = 64 * 1024;

}  // namespace

const Value* LongValueFetch::next() {
  void* handle = statement_->liveHandle();
  const SQLRETURN rc = SQLFetch(handle);
  if (rc == SQL_NO_DATA)
    return nullptr;
  check(rc, HandleKind::statement, handle, "SQLFetch");
  for (std::size_t i = 0; i < values_.size(); ++i)
    values_[i] = baseTypeColumns_[i] == kNoBaseType ? fetchedValue(i, plans_[i]) : variantValue(i);
  return values_.data();
}

// A sql_variant value, fetched as its base type, which the column after the table's columns
// names.
Value LongValueFetch::variantValue(std::size_t i) {
  const std::size_t typeColumn = baseTypeColumns_[i];
  const Value baseType = fetchedValue(typeColumn, plans_[typeColumn]);
  const auto* name = std::get_if<std::u16string>(&baseType);
  if (name == nullptr)
    return Null{};
  const VariantFetch fetch = variantFetchOf(std::string(name->begin(), name->end()));
  ColumnPlan plan = plans_[i];
  plan.description.kind = fetch.kind;
  plan.fractionDigits = kDriverFractionDigits;
  return taggedVariantValue(fetchedValue(i, plan), fetch.tag);
}

Value LongValueFetch::fetchedValue(std::size_t i, const ColumnPlan& plan) {
  if (plan.kind() == ColumnKind::unknown)
    return Empty{};
  void* handle = statement_->liveHandle();
  const auto column = static_cast<SQLUSMALLINT>(i + 1);
  const SQLSMALLINT cType = cTypeOf(plan);
  const ColumnKind kind = plan.kind();
  if (kind != ColumnKind::text && kind != ColumnKind::nationalText && kind != ColumnKind::bytes &&
      kind != ColumnKind::variant) {
    std::byte buffer[64] = {};
    SQLLEN indicator = 0;
    check(SQLGetData(handle, column, cType, buffer, sizeof buffer, &indicator),
          HandleKind::statement, handle, "SQLGetData");
    if (indicator == SQL_NULL_DATA)
      return Null{};
    const std::size_t length = std::min<std::size_t>(
        static_cast<std::size_t>(std::max<SQLLEN>(indicator, 0)), sizeof buffer - 1);
    return bufferValue(plan, buffer, length);
  }

  const std::size_t terminator = terminatorBytes(plan);
  std::vector<std::byte> whole;
  piece_.resize(kPieceBytes);
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(handle, column, cType, piece_.data(),
                                    static_cast<SQLLEN>(piece_.size()), &indicator);
    if (rc == SQL_NO_DATA)
      break;
    check(rc, HandleKind::statement, handle, "SQLGetData");
    if (indicator == SQL_NULL_DATA)
      return Null{};
    const std::size_t room = piece_.size() - terminator;
    const bool more = indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room;
    const std::size_t taken = more ? room : static_cast<std::size_t>(indicator);
    whole.insert(whole.end(), piece_.begin(), piece_.begin() + static_cast<std::ptrdiff_t>(taken));
    if (!more)
      break;
  }
  return bufferValue(plan, whole.data(), whole.size());
}

}  // namespace velmora::server::odbc
