#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "server/odbc_row_fetch.h"
#include "server/odbc_statement.h"

namespace velmora::server::odbc {

// Rows fetched a block at a time into column buffers bound once, for results without long
// columns: each block holds as many rows as fit about 256 KB of buffers, at most 256.
class BlockFetch final : public RowFetch {
 public:
  // Binds the buffers of every column in `plans`, which must outlive the fetch. Throws
  // DataAccessError.
  BlockFetch(Statement& statement, const std::vector<ColumnPlan>& plans);
  ~BlockFetch() override;

  // Rows of a block that arrived before the connection failed are handed on first; the
  // failure follows when they are read.
  bool next(std::vector<Value>& values) override;

 private:
  struct BoundColumn;

  void keepRowsBeforeTheFailure();
  Value boundValue(std::size_t column) const;

  Statement& statement_;
  const std::vector<ColumnPlan>& plans_;
  std::size_t blockRows_ = 1;
  std::vector<BoundColumn> bound_;
  std::vector<unsigned short> rowStatus_;
  unsigned long rowsFetched_ = 0;
  std::size_t rowInBlock_ = 0;
  // The failure of the last block fetch, due once the rows fetched before it are read.
  std::optional<DataAccessError> blockError_;
};

}  // namespace velmora::server::odbc
