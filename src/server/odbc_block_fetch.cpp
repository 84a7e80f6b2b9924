#include "server/odbc_block_fetch.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <type_traits>

#include "server/odbc_diagnostics.h"

namespace velmora::server::odbc {
namespace {

// Rows fetched per block are chosen so that one block of bound buffers stays near this size.
constexpr std::size_t kBlockBytes = 256 * 1024;
constexpr std::size_t kMaxBlockRows = 1024;
// Blocks fetched ahead of the one being read, so that the fetch thread seldom waits for the
// reader or the reader for it.
constexpr std::size_t kBlocks = 4;

// The status and count types the driver writes into must be the ones declared here.
static_assert(std::is_same_v<SQLUSMALLINT, unsigned short>);
static_assert(std::is_same_v<SQLULEN, unsigned long>);

// Where a block's buffers and the driver's view of them start: aligned for any bound type.
std::size_t aligned(std::size_t bytes) {
  constexpr std::size_t kAlignment = alignof(std::max_align_t);
  return (bytes + kAlignment - 1) / kAlignment * kAlignment;
}

}  // namespace

// Where one bound column's values and indicators lie within a block's buffers.
struct BlockFetch::BoundColumn {
  std::size_t dataOffset = 0;
  std::size_t indicatorOffset = 0;
  std::size_t stride = 0;
  // The longest value that fits the buffer of a variable-length kind; a fixed-length kind has
  // no length to check.
  std::size_t longestValue = SIZE_MAX;
  bool bound = false;
};

// One block: what the driver reported for it, and its rows as values.
struct BlockFetch::Block {
  std::vector<SQLUSMALLINT> rowStatus;
  SQLULEN rowsFetched = 0;
  // Row after row, one value per column; a text or bytes value keeps its memory for the
  // next fill.
  std::vector<Value> values;
  std::size_t rows = 0;  // rows whose values are ready
  bool ended = false;    // no block follows
  // What went wrong after the ready rows; no block follows either.
  std::exception_ptr failure;
};

BlockFetch::BlockFetch(std::shared_ptr<Statement> statement, std::vector<ColumnPlan> plans)
    : statement_(std::move(statement)), plans_(std::move(plans)) {
  void* handle = statement_->liveHandle();
  std::size_t rowBytes = 0;
  for (const ColumnPlan& plan : plans_)
    rowBytes += plan.bufferBytes + sizeof(SQLLEN);
  blockRows_ =
      std::clamp<std::size_t>(kBlockBytes / std::max<std::size_t>(rowBytes, 1), 1, kMaxBlockRows);

  bound_.resize(plans_.size());
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < plans_.size(); ++i) {
    const ColumnPlan& plan = plans_[i];
    if (plan.kind() == ColumnKind::unknown)
      continue;
    BoundColumn& column = bound_[i];
    const std::size_t fixedSize = fixedSizeOf(plan.kind());
    column.stride = fixedSize != 0 ? fixedSize : plan.bufferBytes;
    if (fixedSize == 0)
      column.longestValue = column.stride - terminatorBytes(plan);
    column.dataOffset = bytes;
    bytes = aligned(bytes + column.stride * blockRows_);
    column.indicatorOffset = bytes;
    bytes = aligned(bytes + sizeof(SQLLEN) * blockRows_);
    column.bound = true;
  }
  setBytes_ = std::max<std::size_t>(bytes, 1);
  // Not zeroed: the driver writes what is read. Pages of blocks never fetched stay untouched.
  buffers_ = std::make_unique_for_overwrite<std::byte[]>(kBlocks * setBytes_);
  blocks_.resize(kBlocks);
  for (Block& block : blocks_)
    block.rowStatus.assign(blockRows_, SQL_ROW_NOROW);

  check(SQLSetStmtAttr(handle, SQL_ATTR_ROW_BIND_TYPE,
                       reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0),
        HandleKind::statement, handle, "SQLSetStmtAttr");
  check(SQLSetStmtAttr(handle, SQL_ATTR_ROW_ARRAY_SIZE,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(blockRows_)), 0),
        HandleKind::statement, handle, "SQLSetStmtAttr");
}

BlockFetch::~BlockFetch() {
  if (!thread_.joinable())
    return;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

const Value* BlockFetch::next() {
  for (;;) {
    if (!currentReady_) {
      awaitCurrentBlock();
      currentReady_ = true;
      position_ = 0;
    }
    const Block& block = blocks_[reading_ % blocks_.size()];
    if (position_ < block.rows)
      return block.values.data() + position_++ * plans_.size();
    if (block.failure)
      std::rethrow_exception(block.failure);
    if (block.ended)
      return nullptr;
    // Done with this block: the fetch thread may fill it again.
    {
      const std::lock_guard lock(mutex_);
      ++reading_;
    }
    changed_.notify_all();
    currentReady_ = false;
  }
}

void BlockFetch::awaitCurrentBlock() {
  if (thread_.joinable()) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return filled_ > reading_; });
    return;
  }
  // No thread yet, so no lock: the block is filled here, and the thread, once started, takes
  // the counters from here on.
  Block& block = blocks_[reading_ % blocks_.size()];
  fill(block, reading_ % blocks_.size());
  ++filled_;
  lastFilled_ = block.ended || block.failure;
  if (!lastFilled_ && block.rows == blockRows_)
    thread_ = std::thread([this] { fillOnFetchThread(); });
}

void BlockFetch::fillOnFetchThread() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(
        lock, [&] { return stopping_ || (!lastFilled_ && filled_ - reading_ < blocks_.size()); });
    if (stopping_)
      return;
    Block& block = blocks_[filled_ % blocks_.size()];
    lock.unlock();
    fill(block, filled_ % blocks_.size());
    lock.lock();
    lastFilled_ = block.ended || block.failure;
    ++filled_;
    changed_.notify_all();
  }
}

// The columns are bound again before every fetch, to the buffers of the block it fills: FreeTDS
// places column-wise bound rows wrongly once a bind offset is set.
void BlockFetch::bindColumns(void* handle, std::size_t block) {
  std::byte* set = buffers_.get() + block * setBytes_;
  for (std::size_t i = 0; i < plans_.size(); ++i) {
    const BoundColumn& column = bound_[i];
    if (!column.bound)
      continue;
    check(SQLBindCol(handle, static_cast<SQLUSMALLINT>(i + 1), cTypeOf(plans_[i]),
                     set + column.dataOffset, static_cast<SQLLEN>(column.stride),
                     reinterpret_cast<SQLLEN*>(set + column.indicatorOffset)),
          HandleKind::statement, handle, "SQLBindCol");
  }
}

std::size_t BlockFetch::fetchRows(Block& block, std::size_t index, std::exception_ptr& failure) {
  // A later statement on the connection closes this one only between two fetches.
  return statement_->useFromOtherThread([&](void* handle) -> std::size_t {
    bindColumns(handle, index);
    block.rowsFetched = 0;
    check(SQLSetStmtAttr(handle, SQL_ATTR_ROW_STATUS_PTR, block.rowStatus.data(), 0),
          HandleKind::statement, handle, "SQLSetStmtAttr");
    check(SQLSetStmtAttr(handle, SQL_ATTR_ROWS_FETCHED_PTR, &block.rowsFetched, 0),
          HandleKind::statement, handle, "SQLSetStmtAttr");
    const SQLRETURN rc = SQLFetch(handle);
    if (rc == SQL_NO_DATA)
      return 0;
    const auto rows = std::min<std::size_t>(block.rowsFetched, blockRows_);
    if (succeeded(rc))
      return rows;
    // When the connection fails in the middle of a block, FreeTDS fills the block up to the
    // failing row, counts those rows and marks them fetched before it answers SQL_ERROR.
    failure = std::make_exception_ptr(diagnosticError(HandleKind::statement, handle, "SQLFetch"));
    const auto fetched = block.rowStatus.begin() + static_cast<std::ptrdiff_t>(rows);
    return static_cast<std::size_t>(std::find_if(block.rowStatus.begin(), fetched,
                                                 [](SQLUSMALLINT status) {
                                                   return status != SQL_ROW_SUCCESS &&
                                                          status != SQL_ROW_SUCCESS_WITH_INFO;
                                                 }) -
                                    block.rowStatus.begin());
  });
}

void BlockFetch::fill(Block& block, std::size_t index) {
  block.rows = 0;
  block.ended = false;
  block.failure = nullptr;
  std::size_t rows = 0;
  std::exception_ptr fetchFailure;
  try {
    rows = fetchRows(block, index, fetchFailure);
  } catch (...) {
    block.failure = std::current_exception();
    return;
  }
  if (rows == 0 && !fetchFailure)
    block.ended = true;

  const std::byte* set = buffers_.get() + index * setBytes_;
  const std::size_t columns = plans_.size();
  // Values are made for the rows that came, and keep their memory for the next fill.
  if (block.values.size() < rows * columns)
    block.values.resize(rows * columns, Empty{});
  try {
    for (std::size_t row = 0; row < rows; ++row) {
      if (block.rowStatus[row] == SQL_ROW_ERROR)
        throw DataAccessError("The driver could not read a row of the result.");
      Value* values = block.values.data() + row * columns;
      for (std::size_t i = 0; i < columns; ++i) {
        const ColumnPlan& plan = plans_[i];
        const BoundColumn& column = bound_[i];
        if (!column.bound) {
          values[i] = Empty{};
          continue;
        }
        SQLLEN indicator;
        std::memcpy(&indicator, set + column.indicatorOffset + row * sizeof(SQLLEN),
                    sizeof indicator);
        if (indicator == SQL_NULL_DATA) {
          values[i] = Null{};
          continue;
        }
        const auto length = static_cast<std::size_t>(std::max<SQLLEN>(indicator, 0));
        if (indicator == SQL_NO_TOTAL || length > column.longestValue)
          throwUnreadable(plan, "the value is longer than the column's declared size");
        assignBufferValue(plan, set + column.dataOffset + row * column.stride, length, values[i]);
      }
      block.rows = row + 1;
    }
  } catch (...) {
    block.failure = std::current_exception();
    return;
  }
  block.failure = fetchFailure;
}

}  // namespace velmora::server::odbc
