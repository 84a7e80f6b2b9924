#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "server/odbc_block_fetch.h"
#include "server/odbc_column_plan.h"
#include "server/odbc_diagnostics.h"
#include "server/odbc_long_values.h"
#include "server/odbc_statement.h"

namespace velmora::server::odbc {
namespace {

// FreeTDS binds no column past the 4,000th (SQLBindCol answers "Invalid descriptor index"),
// while a table may have 4,096; wider results are read value by value.
constexpr std::size_t kMostBoundColumns = 4000;

// The rows of one result: its columns described once, its rows fetched in blocks when no
// column is long and all can be bound, else one by one with the long values read piecewise.
class OdbcRecordset final : public Recordset {
 public:
  OdbcRecordset(std::shared_ptr<Statement> statement, std::size_t tableColumns)
      : statement_(std::move(statement)) {
    if (!statement_->hasResults()) {
      eof_ = true;
      return;
    }
    findFirstResult();
    std::vector<ColumnPlan> plans = describeColumns(tableColumns);
    if (plans.empty()) {
      eof_ = true;
      return;
    }
    const bool anyLong = std::any_of(plans.begin(), plans.end(),
                                     [](const ColumnPlan& plan) { return plan.isLong(); });
    if (anyLong || plans.size() > kMostBoundColumns) {
      std::vector<std::size_t> baseTypeColumns = baseTypeColumnsOf(plans);
      fetch_ = std::make_unique<LongValueFetch>(statement_, std::move(plans),
                                                std::move(baseTypeColumns));
    } else
      fetch_ = std::make_unique<BlockFetch>(statement_, std::move(plans));
    advance();
  }

  // The fetch ends first, so that no fetch of its own is under way when the rest goes.
  ~OdbcRecordset() override {
    fetch_.reset();
    statement_->close();
  }

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

  const Value& value(std::size_t column) const override {
    if (column >= descriptions_.size())
      throw std::out_of_range("column " + std::to_string(column) + " of a row of " +
                              std::to_string(descriptions_.size()));
    return row_[column];
  }

 private:
  void* handle() const { return statement_->liveHandle(); }

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

  // Every column of the result, base type columns included. The result's first
  // `tableColumns` columns (all for 0) are its columns; each further one names the base type
  // of the next sql_variant column's value.
  std::vector<ColumnPlan> describeColumns(std::size_t tableColumns) {
    std::vector<ColumnPlan> plans;
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
      info.autoUniqueValue = numericAttribute(column, SQL_DESC_AUTO_UNIQUE_VALUE) == SQL_TRUE;
      plans.push_back(planColumn(info));
      if (plans.size() <= shown)
        descriptions_.push_back(plans.back().description);
    }
    noRow_.assign(descriptions_.size(), Empty{});
    row_ = noRow_.data();
    return plans;
  }

  // For each column, the result column that names its sql_variant value's base type.
  std::vector<std::size_t> baseTypeColumnsOf(const std::vector<ColumnPlan>& plans) const {
    std::vector<std::size_t> columns(descriptions_.size(), LongValueFetch::kNoBaseType);
    std::size_t typeColumn = descriptions_.size();
    for (std::size_t i = 0; i < columns.size() && typeColumn < plans.size(); ++i)
      if (plans[i].kind() == ColumnKind::variant)
        columns[i] = typeColumn++;
    return columns;
  }

  void advance() {
    row_ = fetch_->next();
    if (row_ != nullptr)
      return;
    eof_ = true;
    row_ = noRow_.data();
  }

  std::shared_ptr<Statement> statement_;
  std::vector<ColumnDescription> descriptions_;
  // The current row's values, held by the fetch; at the end the empty values of noRow_.
  const Value* row_ = nullptr;
  std::vector<Value> noRow_;
  std::unique_ptr<RowFetch> fetch_;
  bool eof_ = false;
  bool moved_ = false;
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
