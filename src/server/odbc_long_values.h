#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "server/odbc_row_fetch.h"
#include "server/odbc_statement.h"

namespace velmora::server::odbc {

// Rows fetched one at a time, each value through SQLGetData: text and bytes piece by piece,
// so that a long value of any length arrives whole, and a sql_variant value as its base type.
class LongValueFetch final : public RowFetch {
 public:
  // For each value, `baseTypeColumns` names the result column that names its sql_variant
  // value's base type, or kNoBaseType.
  LongValueFetch(std::shared_ptr<Statement> statement, std::vector<ColumnPlan> plans,
                 std::vector<std::size_t> baseTypeColumns)
      : statement_(std::move(statement)),
        plans_(std::move(plans)),
        baseTypeColumns_(std::move(baseTypeColumns)),
        values_(baseTypeColumns_.size()) {}

  static constexpr std::size_t kNoBaseType = static_cast<std::size_t>(-1);

  const Value* next() override;

 private:
  Value variantValue(std::size_t column);
  Value fetchedValue(std::size_t column, const ColumnPlan& plan);

  std::shared_ptr<Statement> statement_;
  const std::vector<ColumnPlan> plans_;
  const std::vector<std::size_t> baseTypeColumns_;
  std::vector<std::byte> piece_;
  std::vector<Value> values_;  // the current row
};

}  // namespace velmora::server::odbc
