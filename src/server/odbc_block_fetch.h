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
// next block into a second set of buffers and turns its rows into values, so that the
// driver's work runs beside the caller's. At most two blocks are held: memory does not grow
// with the row count. A fetch that fails hands on the rows that arrived before the failure
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

  // On the fetch thread: fetches into the buffers of `block` and turns its rows into values.
  void fill(std::size_t block);
  void bindColumns(void* handle, std::size_t block);
  void fillOnFetchThread();
  void startFilling(std::size_t block);
  void awaitFilled(std::size_t block);

  Statement& statement_;
  const std::vector<ColumnPlan>& plans_;
  std::size_t blockRows_ = 1;
  std::vector<BoundColumn> bound_;
  // Both blocks' buffers, the second `setBytes_` after the first.
  std::size_t setBytes_ = 0;
  std::unique_ptr<std::byte[]> buffers_;
  std::vector<Block> blocks_;
  std::size_t current_ = 0;    // the block whose rows are read
  std::size_t position_ = 0;   // its next row
  bool currentReady_ = false;  // it has been filled and its rows may be read

  std::mutex mutex_;
  std::condition_variable changed_;
  int requested_ = -1;  // the block the fetch thread is to fill next, or none
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace velmora::server::odbc
