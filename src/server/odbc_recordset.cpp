#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "server/odbc_column_plan.h"
#include "server/odbc_diagnostics.h"
#include "server/odbc_statement.h"
#include "server/odbc_values.h"
#include "server/odbc_variant.h"

namespace velmora::server::odbc {
namespace {

// Rows fetched per block are chosen so that one block of bound buffers stays near this size.
constexpr std::size_t kBlockBytes = 256 * 1024;
constexpr std::size_t kMaxBlockRows = 256;
// Long values come through SQLGetData in pieces of this size.
constexpr std::size_t kPieceBytes = 64 * 1024;

SQLSMALLINT cTypeOf(FetchKind kind) {
  switch (kind) {
    case FetchKind::flag:
      return SQL_C_BIT;
    case FetchKind::unsigned8:
      return SQL_C_UTINYINT;
    case FetchKind::integer16:
      return SQL_C_SSHORT;
    case FetchKind::integer32:
      return SQL_C_SLONG;
    case FetchKind::integer64:
      return SQL_C_SBIGINT;
    case FetchKind::real32:
      return SQL_C_FLOAT;
    case FetchKind::real64:
      return SQL_C_DOUBLE;
    case FetchKind::dateTime:
      return SQL_C_TYPE_TIMESTAMP;
    case FetchKind::guid:
      return SQL_C_GUID;
    case FetchKind::text:
    case FetchKind::variant:
      return SQL_C_WCHAR;
    case FetchKind::bytes:
    case FetchKind::none:
      return SQL_C_BINARY;
    case FetchKind::decimal:
    case FetchKind::date:
    case FetchKind::time:
    case FetchKind::dateTime2:
    case FetchKind::dateTimeOffset:
      return SQL_C_CHAR;
  }
  return SQL_C_BINARY;
}

// The bytes the driver adds after a value of this kind.
std::size_t terminatorBytes(FetchKind kind) {
  switch (cTypeOf(kind)) {
    case SQL_C_WCHAR:
      return sizeof(char16_t);
    case SQL_C_CHAR:
      return 1;
    default:
      return 0;
  }
}

// The size of a fixed-length C type, 0 for the variable ones. In a column-wise bound block the
// driver puts fixed-length values this far apart, whatever buffer length the binding gave.
std::size_t fixedSizeOf(FetchKind kind) {
  switch (kind) {
    case FetchKind::flag:
    case FetchKind::unsigned8:
      return 1;
    case FetchKind::integer16:
      return sizeof(SQLSMALLINT);
    case FetchKind::integer32:
      return sizeof(SQLINTEGER);
    case FetchKind::integer64:
      return sizeof(SQLBIGINT);
    case FetchKind::real32:
      return sizeof(SQLREAL);
    case FetchKind::real64:
      return sizeof(SQLDOUBLE);
    case FetchKind::dateTime:
      return sizeof(SQL_TIMESTAMP_STRUCT);
    case FetchKind::guid:
      return sizeof(SQLGUID);
    default:
      return 0;
  }
}

template <typename T>
T readAs(const std::byte* data) {
  T value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

[[noreturn]] void throwUnreadable(const ColumnPlan& plan, std::string_view what) {
  throw DataAccessError("Cannot read the value of column '" +
                        std::string(plan.description.name.begin(), plan.description.name.end()) +
                        "': " + std::string(what));
}

// A fixed-size value, as the driver left it in `data` (`length` bytes for the text kinds).
Value fixedValue(const ColumnPlan& plan, const std::byte* data, std::size_t length) {
  switch (plan.kind) {
    case FetchKind::flag:
      return readAs<unsigned char>(data) != 0;
    case FetchKind::unsigned8:
      return readAs<std::uint8_t>(data);
    case FetchKind::integer16:
      return readAs<std::int16_t>(data);
    case FetchKind::integer32:
      return readAs<std::int32_t>(data);
    case FetchKind::integer64:
      return readAs<std::int64_t>(data);
    case FetchKind::real32:
      return readAs<float>(data);
    case FetchKind::real64:
      return readAs<double>(data);
    case FetchKind::dateTime: {
      const auto stamp = readAs<SQL_TIMESTAMP_STRUCT>(data);
      return dayNumber(stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second,
                       static_cast<unsigned>((stamp.fraction + 500'000) / 1'000'000));
    }
    case FetchKind::guid: {
      const auto guid = readAs<SQLGUID>(data);
      std::array<std::uint8_t, 8> tail;
      std::copy(std::begin(guid.Data4), std::end(guid.Data4), tail.begin());
      return guidText(guid.Data1, guid.Data2, guid.Data3, tail);
    }
    case FetchKind::decimal: {
      const std::string_view text(reinterpret_cast<const char*>(data), length);
      if (const auto decimal = parseDecimal(text))
        return *decimal;
      throwUnreadable(plan, "not a decimal number: " + std::string(text));
    }
    case FetchKind::date:
    case FetchKind::time:
    case FetchKind::dateTime2:
    case FetchKind::dateTimeOffset: {
      const std::string_view text(reinterpret_cast<const char*>(data), length);
      const TemporalKind kind = plan.kind == FetchKind::date        ? TemporalKind::date
                                : plan.kind == FetchKind::time      ? TemporalKind::time
                                : plan.kind == FetchKind::dateTime2 ? TemporalKind::dateTime2
                                                                    : TemporalKind::dateTimeOffset;
      if (auto converted = temporalText(text, kind, plan.fractionDigits))
        return std::move(*converted);
      throwUnreadable(plan, "not a date or time: " + std::string(text));
    }
    case FetchKind::text:
    case FetchKind::variant: {
      std::u16string text(length / sizeof(char16_t), u'\0');
      if (!text.empty())
        std::memcpy(text.data(), data, text.size() * sizeof(char16_t));
      return text;
    }
    case FetchKind::bytes: {
      if (length == 0)
        return Bytes{};
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
      return Bytes(bytes, bytes + length);
    }
    case FetchKind::none:
      return Empty{};
  }
  return Empty{};
}

// The buffers of one bound column: `rows` elements of `stride` bytes and their indicators.
struct BoundColumn {
  std::unique_ptr<std::byte[]> data;
  std::vector<SQLLEN> indicators;
  std::size_t stride = 0;
};

class OdbcRecordset final : public Recordset {
 public:
  OdbcRecordset(std::shared_ptr<Statement> statement, std::size_t tableColumns)
      : statement_(std::move(statement)) {
    findFirstResult();
    describeColumns(tableColumns);
    if (!plans_.empty()) {
      blockFetch_ = std::none_of(plans_.begin(), plans_.end(),
                                 [](const ColumnPlan& plan) { return plan.isLong; });
      if (blockFetch_)
        bindColumns();
      advance();
    } else {
      eof_ = true;
    }
  }

  ~OdbcRecordset() override { statement_->close(); }

  const std::vector<ColumnDescription>& columns() const override { return descriptions_; }

  void moveFirst() override {
    if (moved_)
      throw DataAccessError("The rowset cannot go back to its first row: it reads forward only.");
  }

  bool eof() const override { return eof_; }

  void moveNext() override {
    if (eof_)
      throw DataAccessError("Either BOF or EOF is True, or the current record has been deleted.");
    moved_ = true;
    handle();  // rows of a statement that a later one closed are gone, buffered or not
    advance();
  }

  const Value& value(std::size_t column) const override { return values_.at(column); }

 private:
  void* handle() const {
    if (statement_->isClosed())
      throw DataAccessError(
          "The rows can no longer be read: a later statement on the connection closed them.");
    return statement_->handle();
  }

  // Skips results without columns (row counts of statements that return no rows).
  void findFirstResult() {
    for (;;) {
      SQLSMALLINT count = 0;
      check(SQLNumResultCols(handle(), &count), HandleKind::statement, handle(),
            "SQLNumResultCols");
      if (count > 0)
        return;
      const SQLRETURN rc = SQLMoreResults(handle());
      if (rc == SQL_NO_DATA)
        return;
      check(rc, HandleKind::statement, handle(), "SQLMoreResults");
    }
  }

  SQLLEN numericAttribute(SQLUSMALLINT column, SQLUSMALLINT field) {
    SQLLEN value = 0;
    check(SQLColAttributeW(handle(), column, field, nullptr, 0, nullptr, &value),
          HandleKind::statement, handle(), "SQLColAttribute");
    return value;
  }

  std::u16string textAttribute(SQLUSMALLINT column, SQLUSMALLINT field) {
    std::u16string text(256, u'\0');
    SQLSMALLINT bytes = 0;
    check(
        SQLColAttributeW(handle(), column, field, text.data(),
                         static_cast<SQLSMALLINT>(text.size() * sizeof(char16_t)), &bytes, nullptr),
        HandleKind::statement, handle(), "SQLColAttribute");
    if (static_cast<std::size_t>(bytes) >= text.size() * sizeof(char16_t)) {
      text.assign(static_cast<std::size_t>(bytes) / sizeof(char16_t) + 1, u'\0');
      check(SQLColAttributeW(handle(), column, field, text.data(),
                             static_cast<SQLSMALLINT>(text.size() * sizeof(char16_t)), &bytes,
                             nullptr),
            HandleKind::statement, handle(), "SQLColAttribute");
    }
    text.resize(std::min(text.size(), static_cast<std::size_t>(bytes) / sizeof(char16_t)));
    return text;
  }

  // The result's first `tableColumns` columns (all for 0) are its columns; each further one
  // names the base type of the next sql_variant column's value.
  void describeColumns(std::size_t tableColumns) {
    SQLSMALLINT count = 0;
    check(SQLNumResultCols(handle(), &count), HandleKind::statement, handle(), "SQLNumResultCols");
    const std::size_t shown = tableColumns == 0 ? static_cast<std::size_t>(count) : tableColumns;
    for (SQLUSMALLINT column = 1; column <= count; ++column) {
      OdbcColumnInfo info;
      info.name = textAttribute(column, SQL_DESC_NAME);
      info.sqlType = static_cast<int>(numericAttribute(column, SQL_DESC_CONCISE_TYPE));
      const std::u16string typeName = textAttribute(column, SQL_DESC_TYPE_NAME);
      info.typeName.assign(typeName.begin(), typeName.end());
      info.length = numericAttribute(column, SQL_DESC_LENGTH);
      info.precision = static_cast<int>(numericAttribute(column, SQL_DESC_PRECISION));
      info.scale = static_cast<int>(numericAttribute(column, SQL_DESC_SCALE));
      info.isUnsigned = numericAttribute(column, SQL_DESC_UNSIGNED) == SQL_TRUE;
      info.autoUniqueValue = numericAttribute(column, SQL_DESC_AUTO_UNIQUE_VALUE) == SQL_TRUE;
      info.updatable = numericAttribute(column, SQL_DESC_UPDATABLE) != SQL_ATTR_READONLY;
      info.nullable = numericAttribute(column, SQL_DESC_NULLABLE) != SQL_NO_NULLS;
      plans_.push_back(planColumn(info));
      if (plans_.size() <= shown)
        descriptions_.push_back(plans_.back().description);
    }
    std::size_t typeColumn = shown;
    baseTypeColumns_.assign(descriptions_.size(), kNoBaseType);
    for (std::size_t i = 0; i < descriptions_.size() && typeColumn < plans_.size(); ++i)
      if (plans_[i].kind == FetchKind::variant)
        baseTypeColumns_[i] = typeColumn++;
    values_.assign(descriptions_.size(), Empty{});
  }

  void bindColumns() {
    std::size_t rowBytes = 0;
    for (const ColumnPlan& plan : plans_)
      rowBytes += plan.bufferBytes + sizeof(SQLLEN);
    blockRows_ =
        std::clamp<std::size_t>(kBlockBytes / std::max<std::size_t>(rowBytes, 1), 1, kMaxBlockRows);
    rowStatus_.assign(blockRows_, SQL_ROW_NOROW);
    check(SQLSetStmtAttr(handle(), SQL_ATTR_ROW_BIND_TYPE,
                         reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0),
          HandleKind::statement, handle(), "SQLSetStmtAttr");
    check(SQLSetStmtAttr(handle(), SQL_ATTR_ROW_ARRAY_SIZE,
                         reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(blockRows_)), 0),
          HandleKind::statement, handle(), "SQLSetStmtAttr");
    check(SQLSetStmtAttr(handle(), SQL_ATTR_ROW_STATUS_PTR, rowStatus_.data(), 0),
          HandleKind::statement, handle(), "SQLSetStmtAttr");
    check(SQLSetStmtAttr(handle(), SQL_ATTR_ROWS_FETCHED_PTR, &rowsFetched_, 0),
          HandleKind::statement, handle(), "SQLSetStmtAttr");

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
      check(SQLBindCol(handle(), static_cast<SQLUSMALLINT>(i + 1), cTypeOf(plan.kind),
                       column.data.get(), static_cast<SQLLEN>(column.stride),
                       column.indicators.data()),
            HandleKind::statement, handle(), "SQLBindCol");
    }
  }

  void advance() {
    if (blockFetch_ ? nextBlockRow() : fetchOneRow())
      return;
    eof_ = true;
    values_.assign(descriptions_.size(), Empty{});
  }

  bool nextBlockRow() {
    if (rowInBlock_ + 1 < rowsFetched_) {
      ++rowInBlock_;
    } else {
      if (blockError_)
        throw *blockError_;
      rowsFetched_ = 0;
      const SQLRETURN rc = SQLFetch(handle());
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
    for (std::size_t i = 0; i < values_.size(); ++i)
      values_[i] = boundValue(i);
    return true;
  }

  // When the connection fails in the middle of a block, FreeTDS fills the block up to the
  // failing row, counts those rows and marks them fetched before it answers SQL_ERROR. They
  // are handed on first; the error follows once they are read.
  void keepRowsBeforeTheFailure() {
    DataAccessError error = diagnosticError(HandleKind::statement, handle(), "SQLFetch");
    const auto firstUnread =
        std::find_if(rowStatus_.begin(),
                     rowStatus_.begin() +
                         static_cast<std::ptrdiff_t>(std::min<SQLULEN>(rowsFetched_, blockRows_)),
                     [](SQLUSMALLINT status) {
                       return status != SQL_ROW_SUCCESS && status != SQL_ROW_SUCCESS_WITH_INFO;
                     });
    rowsFetched_ = static_cast<SQLULEN>(firstUnread - rowStatus_.begin());
    if (rowsFetched_ == 0)
      throw error;
    blockError_ = std::move(error);
  }

  Value boundValue(std::size_t i) const {
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
    return fixedValue(plan, column.data.get() + column.stride * rowInBlock_, length);
  }

  bool fetchOneRow() {
    const SQLRETURN rc = SQLFetch(handle());
    if (rc == SQL_NO_DATA)
      return false;
    check(rc, HandleKind::statement, handle(), "SQLFetch");
    for (std::size_t i = 0; i < values_.size(); ++i)
      values_[i] =
          baseTypeColumns_[i] == kNoBaseType ? fetchedValue(i, plans_[i]) : variantValue(i);
    return true;
  }

  // A sql_variant value, fetched as its base type, which the column after the table's
  // columns names.
  Value variantValue(std::size_t i) {
    const std::size_t typeColumn = baseTypeColumns_[i];
    const Value baseType = fetchedValue(typeColumn, plans_[typeColumn]);
    const auto* name = std::get_if<std::u16string>(&baseType);
    if (name == nullptr)
      return Null{};
    const VariantFetch fetch = variantFetchOf(std::string(name->begin(), name->end()));
    ColumnPlan plan = plans_[i];
    plan.kind = fetch.kind;
    plan.fractionDigits = kDriverFractionDigits;
    return taggedVariantValue(fetchedValue(i, plan), fetch.tag);
  }

  // One column of the current row through SQLGetData: text and bytes piece by piece, so a
  // value of any length arrives whole.
  Value fetchedValue(std::size_t i, const ColumnPlan& plan) {
    if (plan.kind == FetchKind::none)
      return Empty{};
    const auto column = static_cast<SQLUSMALLINT>(i + 1);
    const SQLSMALLINT cType = cTypeOf(plan.kind);
    if (plan.kind != FetchKind::text && plan.kind != FetchKind::bytes &&
        plan.kind != FetchKind::variant) {
      std::byte buffer[64] = {};
      SQLLEN indicator = 0;
      check(SQLGetData(handle(), column, cType, buffer, sizeof buffer, &indicator),
            HandleKind::statement, handle(), "SQLGetData");
      if (indicator == SQL_NULL_DATA)
        return Null{};
      const std::size_t length = std::min<std::size_t>(
          static_cast<std::size_t>(std::max<SQLLEN>(indicator, 0)), sizeof buffer - 1);
      return fixedValue(plan, buffer, length);
    }

    const std::size_t terminator = terminatorBytes(plan.kind);
    std::vector<std::byte> whole;
    piece_.resize(kPieceBytes);
    for (;;) {
      SQLLEN indicator = 0;
      const SQLRETURN rc = SQLGetData(handle(), column, cType, piece_.data(),
                                      static_cast<SQLLEN>(piece_.size()), &indicator);
      if (rc == SQL_NO_DATA)
        break;
      check(rc, HandleKind::statement, handle(), "SQLGetData");
      if (indicator == SQL_NULL_DATA)
        return Null{};
      const std::size_t room = piece_.size() - terminator;
      const bool more = indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room;
      const std::size_t taken = more ? room : static_cast<std::size_t>(indicator);
      whole.insert(whole.end(), piece_.begin(),
                   piece_.begin() + static_cast<std::ptrdiff_t>(taken));
      if (!more)
        break;
    }
    return fixedValue(plan, whole.data(), whole.size());
  }

  static constexpr std::size_t kNoBaseType = static_cast<std::size_t>(-1);

  std::shared_ptr<Statement> statement_;
  std::vector<ColumnPlan> plans_;  // every column of the result, base type columns included
  std::vector<ColumnDescription> descriptions_;
  // For each column, the result column that names its sql_variant value's base type.
  std::vector<std::size_t> baseTypeColumns_;
  std::vector<Value> values_;
  bool eof_ = false;
  bool moved_ = false;

  bool blockFetch_ = false;
  std::size_t blockRows_ = 1;
  std::vector<BoundColumn> bound_;
  std::vector<SQLUSMALLINT> rowStatus_;
  SQLULEN rowsFetched_ = 0;
  std::size_t rowInBlock_ = 0;
  // The failure of the last block fetch, due once the rows fetched before it are read.
  std::optional<DataAccessError> blockError_;
  std::vector<std::byte> piece_;
};

}  // namespace

std::unique_ptr<Recordset> openRecordset(std::shared_ptr<Statement> statement,
                                         std::size_t tableColumns) {
  return std::make_unique<OdbcRecordset>(std::move(statement), tableColumns);
}

std::vector<std::u16string> variantColumnNames(const Statement& statement,
                                               std::size_t& columnCount) {
  SQLSMALLINT count = 0;
  check(SQLNumResultCols(statement.handle(), &count), HandleKind::statement, statement.handle(),
        "SQLNumResultCols");
  columnCount = static_cast<std::size_t>(count);
  std::vector<std::u16string> names;
  for (SQLUSMALLINT column = 1; column <= count; ++column) {
    std::u16string name(256, u'\0');
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    check(SQLDescribeColW(statement.handle(), column, reinterpret_cast<SQLWCHAR*>(name.data()),
                          static_cast<SQLSMALLINT>(name.size()), &length, &type, &size, &digits,
                          &nullable),
          HandleKind::statement, statement.handle(), "SQLDescribeCol");
    if (type == kSqlSsVariant) {
      name.resize(std::min(name.size() - 1, static_cast<std::size_t>(length)));
      names.push_back(std::move(name));
    }
  }
  return names;
}

}  // namespace velmora::server::odbc
