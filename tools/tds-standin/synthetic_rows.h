#pragma once

#include <cstdint>
#include <vector>

#include "cell.h"
#include "fixture.h"

namespace standin {

// Deterministic rows for a table that says "generate": the value of each cell depends only
// on the seed, the row number and the column number, so rows are made one at a time while
// they are sent and a table of any size needs the memory of one row.
class SyntheticRows {
 public:
  explicit SyntheticRows(const Table& table);

  // Fills `cells` (resized to the column count, strings reused) with row number `row`.
  void fill(uint64_t row, std::vector<Cell>& cells) const;

 private:
  const Table& table_;
  uint64_t seed_;
};

}  // namespace standin
