#pragma once

#include <cstddef>
#include <vector>

#include "server/odbc_row_fetch.h"
#include "server/odbc_statement.h"

namespace velmora::server::odbc {

// Rows fetched one at a time, each value through SQLGetData: text and bytes piece by piece,
// so that a long value of any length arrives whole, and a sql_variant value as its base type.
class LongValueFetch final : public RowFetch {
 public:
  // For each value, `baseTypeColumns` names the result column that names its sql_variant
  // value's base type, or kNoBaseType. `plans` and `baseTypeColumns` must outlive the fetch.
  LongValueFetch(Statement& statement, const std::vector<ColumnPlan>& plans,
                 const std::vector<std::size_t>& baseTypeColumns)
      : statement_(statement),
        plans_(plans),
        baseTypeColumns_(baseTypeColumns),
        values_(baseTypeColumns.size()) {}

  static constexpr std::size_t kNoBaseType = static_cast<std::size_t>(-1);

  const Value* next() override;

 private:
  Value variantValue(std::size_t column);
  Value fetchedValue(std::size_t column, const ColumnPlan& plan);

  Statement& statement_;
  const std::vector<ColumnPlan>& plans_;
  const std::vector<std::size_t>& baseTypeColumns_;
  std::vector<std::byte> piece_;
  std::vector<Value> values_;  // the current row
};

}  // namespace velmora::server::odbc
