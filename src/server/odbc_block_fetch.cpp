#include "server/odbc_block_fetch.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <type_traits>

#include "server/odbc_diagnostics.h"

namespace velmora::server::odbc {
namespace {

// Rows fetched per block are chosen so that one block of bound buffers stays near this size.
constexpr std::size_t kBlockBytes = 256 * 1024;
constexpr std::size_t kMaxBlockRows = 256;

// The status and count types the driver writes into must be the ones declared here.
static_assert(std::is_same_v<SQLUSMALLINT, unsigned short>);
static_assert(std::is_same_v<SQLULEN, unsigned long>);

}  // namespace

// The buffers of one bound column: `rows` elements of `stride` bytes and their indicators.
struct BlockFetch::BoundColumn {
  std::unique_ptr<std::byte[]> data;
  std::vector<SQLLEN> indicators;
  std::size_t stride = 0;
};

BlockFetch::BlockFetch(Statement& statement, const std::vector<ColumnPlan>& plans)
    : statement_(statement), plans_(plans) {
  void* handle = statement_.liveHandle();
  std::size_t rowBytes = 0;
  for (const ColumnPlan& plan : plans_)
    rowBytes += plan.bufferBytes + sizeof(SQLLEN);
  blockRows_ =
      std::clamp<std::size_t>(kBlockBytes / std::max<std::size_t>(rowBytes, 1), 1, kMaxBlockRows);
  rowStatus_.assign(blockRows_, SQL_ROW_NOROW);
  check(SQLSetStmtAttr(handle, SQL_ATTR_ROW_BIND_TYPE,
                       reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0),
        HandleKind::statement, handle, "SQLSetStmtAttr");
  check(SQLSetStmtAttr(handle, SQL_ATTR_ROW_ARRAY_SIZE,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(blockRows_)), 0),
        HandleKind::statement, handle, "SQLSetStmtAttr");
  check(SQLSetStmtAttr(handle, SQL_ATTR_ROW_STATUS_PTR, rowStatus_.data(), 0),
        HandleKind::statement, handle, "SQLSetStmtAttr");
  check(SQLSetStmtAttr(handle, SQL_ATTR_ROWS_FETCHED_PTR, &rowsFetched_, 0), HandleKind::statement,
        handle, "SQLSetStmtAttr");

  bound_.resize(plans_.size());
  for (std::size_t i = 0; i < plans_.size(); ++i) {
    const ColumnPlan& plan = plans_[i];
    if (plan.kind == FetchKind::none)
      continue;
    BoundColumn& column = bound_[i];
    const std::size_t fixedSize = fixedSizeOf(plan.kind);
    column.stride = fixedSize != 0 ? fixedSize : plan.bufferBytes;
    column.data = std::make_unique<std::byte[]>(column.stride * blockRows_);
    column.indicators.assign(blockRows_, 0);
    check(
        SQLBindCol(handle, static_cast<SQLUSMALLINT>(i + 1), cTypeOf(plan.kind), column.data.get(),
                   static_cast<SQLLEN>(column.stride), column.indicators.data()),
        HandleKind::statement, handle, "SQLBindCol");
  }
}

BlockFetch::~BlockFetch() = default;

bool BlockFetch::next(std::vector<Value>& values) {
  if (rowInBlock_ + 1 < rowsFetched_) {
    ++rowInBlock_;
  } else {
    if (blockError_)
      throw *blockError_;
    rowsFetched_ = 0;
    const SQLRETURN rc = SQLFetch(statement_.liveHandle());
    if (rc == SQL_NO_DATA)
      return false;
    if (!succeeded(rc))
      keepRowsBeforeTheFailure();
    if (rowsFetched_ == 0)
      return false;
    rowInBlock_ = 0;
  }
  if (rowStatus_[rowInBlock_] == SQL_ROW_ERROR)
    throw DataAccessError("The driver could not read a row of the result.");
  for (std::size_t i = 0; i < values.size(); ++i)
    values[i] = boundValue(i);
  return true;
}

// When the connection fails in the middle of a block, FreeTDS fills the block up to the
// failing row, counts those rows and marks them fetched before it answers SQL_ERROR. They
// are handed on first; the error follows once they are read.
void BlockFetch::keepRowsBeforeTheFailure() {
  DataAccessError error =
      diagnosticError(HandleKind::statement, statement_.liveHandle(), "SQLFetch");
  const auto firstUnread = std::find_if(
      rowStatus_.begin(),
      rowStatus_.begin() + static_cast<std::ptrdiff_t>(std::min<SQLULEN>(rowsFetched_, blockRows_)),
      [](SQLUSMALLINT status) {
        return status != SQL_ROW_SUCCESS && status != SQL_ROW_SUCCESS_WITH_INFO;
      });
  rowsFetched_ = static_cast<SQLULEN>(firstUnread - rowStatus_.begin());
  if (rowsFetched_ == 0)
    throw error;
  blockError_ = std::move(error);
}

Value BlockFetch::boundValue(std::size_t i) const {
  const ColumnPlan& plan = plans_[i];
  if (plan.kind == FetchKind::none)
    return Empty{};
  const BoundColumn& column = bound_[i];
  const SQLLEN indicator = column.indicators[rowInBlock_];
  if (indicator == SQL_NULL_DATA)
    return Null{};
  const std::size_t length = static_cast<std::size_t>(std::max<SQLLEN>(indicator, 0));
  if (indicator == SQL_NO_TOTAL ||
      (fixedSizeOf(plan.kind) == 0 && length > column.stride - terminatorBytes(plan.kind)))
    throwUnreadable(plan, "the value is longer than the column's declared size");
  return bufferValue(plan, column.data.get() + column.stride * rowInBlock_, length);
}

}  // namespace velmora::server::odbc
