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
// Blocks are fetched in place, on the caller's thread, until one comes back full: a small
// result (a catalogue query) needs no thread. From then on, while the caller reads the rows of
// one block, a thread of the fetch's own fetches the following blocks into buffer sets of
// their own and turns their rows into values, so that the driver's work runs beside the
// caller's. A fixed number of blocks is held: memory does not grow with the row count. A fetch
// that fails hands on the rows that arrived before the failure first; the failure follows
// when they are read.
//
// The fetch shares the statement and owns the plans, so nothing its thread uses can end
// before the thread does.
class BlockFetch final : public RowFetch {
 public:
  // Lays out the buffers of every column in `plans`. Throws DataAccessError.
  BlockFetch(std::shared_ptr<Statement> statement, std::vector<ColumnPlan> plans);
  // Waits for a block under way.
  ~BlockFetch() override;

  const Value* next() override;

 private:
  struct Block;
  struct BoundColumn;

  // Fetches into the buffers of block `index` and turns its rows into values.
  void fill(Block& block, std::size_t index);
  // Fetches the rows of block `index` into its buffers: how many arrived, and what failed
  // after them.
  std::size_t fetchRows(Block& block, std::size_t index, std::exception_ptr& failure);
  void bindColumns(void* handle, std::size_t index);
  // Makes the block being read ready: fills it in place, or waits for the fetch thread.
  void awaitCurrentBlock();
  void fillOnFetchThread();

  std::shared_ptr<Statement> statement_;
  const std::vector<ColumnPlan> plans_;
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
