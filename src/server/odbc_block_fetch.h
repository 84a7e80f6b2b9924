#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "server/odbc_row_fetch.h"
#include "server/odbc_statement.h"

namespace velmora::server::odbc {

// Rows fetched a block at a time into column buffers bound once, for results without long
// columns: each block holds as many rows as fit about 256 KB of buffers, at most 1024.
//
// While the caller reads the rows of one block, a thread of the fetch's own fetches the
// following blocks into buffer sets of their own and turns their rows into values, so that
// the driver's work runs beside the caller's. A fixed number of blocks is held: memory does
// not grow with the row count. A fetch that fails hands on the rows that arrived before the failure
// first; the failure follows when they are read.
class BlockFetch final : public RowFetch {
 public:
  // Binds the buffers of every column in `plans`, which must outlive the fetch, and starts
  // fetching the first block. Throws DataAccessError.
  BlockFetch(Statement& statement, const std::vector<ColumnPlan>& plans);
  // Waits for a block under way.
  ~BlockFetch() override;

  const Value* next() override;

 private:
  struct Block;
  struct BoundColumn;

  // On the fetch thread: fetches into the buffers of block `index` and turns its rows into
  // values.
  void fill(Block& block, std::size_t index);
  void bindColumns(void* handle, std::size_t index);
  void fillOnFetchThread();

  Statement& statement_;
  const std::vector<ColumnPlan>& plans_;
  std::size_t blockRows_ = 1;
  std::vector<BoundColumn> bound_;
  // The blocks' buffers, each `setBytes_` after the one before.
  std::size_t setBytes_ = 0;
  std::unique_ptr<std::byte[]> buffers_;
  // A ring: the blocks fetched one after the other are its entries in turn.
  std::vector<Block> blocks_;
  std::size_t position_ = 0;   // the next row of the block being read
  bool currentReady_ = false;  // that block has been filled and its rows may be read

  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t filled_ = 0;   // blocks fetched so far
  std::size_t reading_ = 0;  // blocks read so far; the one being read is this one
  bool lastFilled_ = false;  // the last block fetched ended the result or failed
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace velmora::server::odbc
