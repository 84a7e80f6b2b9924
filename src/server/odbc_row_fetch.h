#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "server/odbc_column_plan.h"
#include "server/value.h"

// Reading the rows of a result: the two ways rows are fetched and what both share, the
// values read from the buffers the driver filled. No ODBC types: C type codes are shorts.
namespace velmora::server::odbc {

// Fetches the rows of a result one after the other.
class RowFetch {
 public:
  virtual ~RowFetch() = default;
  // The next row's values, one per column of the recordset, valid until the next call; null
  // after the last row. Throws DataAccessError.
  virtual const Value* next() = 0;
};

// The ODBC C type (SQL_C_*) a value of the planned column is fetched as.
short cTypeOf(const ColumnPlan& plan);
// The bytes the driver adds after a value of the planned column.
std::size_t terminatorBytes(const ColumnPlan& plan);
// The size of a fixed-length C type, 0 for the variable ones. In a column-wise bound block the
// driver puts fixed-length values this far apart, whatever buffer length the binding gave.
std::size_t fixedSizeOf(ColumnKind kind);
// A value as the driver left it in `data` (`length` bytes for the text and byte kinds).
// Throws DataAccessError when the driver's text is not of the column's kind.
Value bufferValue(const ColumnPlan& plan, const std::byte* data, std::size_t length);
// The same value put into `into`, whose memory a text or bytes value reuses.
void assignBufferValue(const ColumnPlan& plan, const std::byte* data, std::size_t length,
                       Value& into);
// Throws DataAccessError "Cannot read the value of column '<name>': <what>".
[[noreturn]] void throwUnreadable(const ColumnPlan& plan, std::string_view what);

}  // namespace velmora::server::odbc
