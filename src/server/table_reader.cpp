#include "server/table_reader.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "server/identifier.h"
#include "text/name_case.h"
#include "text/utf.h"

namespace velmora::server {

FieldNotFound::FieldNotFound(std::u16string name)
    : std::runtime_error("AdoTblGetSql: Field '" + text::utf8FromUtf16(name) + "' not found"),
      name_(std::move(name)) {}

namespace {

std::u16string decimalText(std::size_t number) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + number % 10));
    number /= 10;
  } while (number != 0);
  return digits;
}

// A character column of negative size or a binary column of none cannot be read.
void checkFieldSize(const ColumnDescription& column) {
  if (column.isLong)
    return;
  switch (column.kind) {
    case ColumnKind::text:
    case ColumnKind::nationalText:
      if (column.definedSize < 0)
        throw InvalidFieldSize();
      return;
    case ColumnKind::bytes:
      if (column.definedSize == 0)
        throw InvalidFieldSize();
      return;
    default:
      return;
  }
}

DataAccessError closedError() {
  return DataAccessError("Operation is not allowed when the object is closed.");
}

}  // namespace

bool Field::isNull() const {
  return isNullOrEmpty(value());
}

const Value& Field::value() const {
  const Recordset* rows = *rows_;
  if (rows == nullptr)
    throw closedError();
  if (rows->eof())
    throw DataAccessError(
        "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
        "requires a current record.");
  return rows->value(position_);
}

TableReader::TableReader(Connection& connection, const TableCatalogue* catalogue)
    : connection_(connection), catalogue_(catalogue) {}

TableReader::~TableReader() = default;

void TableReader::close() {
  fields_.clear();
  current_ = nullptr;
  rows_.reset();
  hasIdentity_ = false;
  lookupHint_ = 0;
}

void TableReader::setTableName(std::u16string name, std::size_t earlierAlike) {
  tableName_ = std::move(name);
  earlierAlike_ = earlierAlike;
}

std::u16string TableReader::computedColumnsStatement(std::u16string_view nameAsSent) {
  return u"select name from syscolumns where id = object_id(N" +
         enclosed(nameAsSent, u'\'', u'\'') + u") and iscomputed = 1";
}

void TableReader::open() {
  close();
  // Sent in the form a statement needs, so names with blanks, dots or reserved words and
  // tables of other schemas read the table they name.
  table_ =
      catalogue_ ? catalogue_->tableOf(tableName_, earlierAlike_) : TableName{.name = tableName_};
  nameAsSent_ = tableNameAsSent(table_);
  std::vector<std::u16string> computedColumns = readComputedColumns(nameAsSent_);
  rows_ = connection_.openTable(nameAsSent_, rowCondition_);
  try {
    makeFields(computedColumns);
  } catch (...) {
    close();
    throw;
  }
  current_ = rows_.get();
}

// Read to the end before the table is opened: the connection serves one statement at a time.
std::vector<std::u16string> TableReader::readComputedColumns(std::u16string_view nameAsSent) {
  std::vector<std::u16string> names;
  std::unique_ptr<Recordset> result = connection_.query(computedColumnsStatement(nameAsSent));
  for (; !result->eof(); result->moveNext())
    if (const auto* name = std::get_if<std::u16string>(&result->value(0)))
      names.push_back(*name);
  return names;
}

void TableReader::makeFields(const std::vector<std::u16string>& computedColumns) {
  const std::vector<ColumnDescription>& columns = rows_->columns();
  std::vector<Field> fields;
  fields.reserve(columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const ColumnDescription& column = columns[i];
    // The server fills computed and timestamp columns itself and refuses inserts into them.
    bool serverComputed = column.serverTypeName == "timestamp" ||
                          std::any_of(computedColumns.begin(), computedColumns.end(),
                                      [&](const std::u16string& name) {
                                        return text::sameNameIgnoringCase(name, column.name);
                                      });
    if (column.kind == ColumnKind::unknown || serverComputed)
      continue;
    checkFieldSize(column);

    std::u16string name = column.name.empty() ? u"COLUMN" + decimalText(i + 1) : column.name;
    auto listed = [&](std::u16string_view candidate) {
      return std::any_of(fields.begin(), fields.end(), [&](const Field& field) {
        return text::sameNameIgnoringCase(field.name(), candidate);
      });
    };
    if (listed(name)) {
      std::u16string unique;
      for (std::size_t number = 1; listed(unique = name + u"_" + decimalText(number)); ++number) {
      }
      name = std::move(unique);
    }
    if (column.isAutoIncrement)
      hasIdentity_ = true;
    fields.push_back(Field(std::move(name), column, &current_, i));
  }
  fields_ = std::move(fields);
}

bool TableReader::isOpen() const {
  return rows_ != nullptr;
}

void TableReader::requireOpen() const {
  if (!rows_)
    throw closedError();
}

void TableReader::getFieldNames(std::vector<std::u16string>& names) const {
  requireOpen();
  names.clear();
  for (const Field& field : fields_)
    names.push_back(field.name());
}

void TableReader::first() {
  requireOpen();
  rows_->moveFirst();
}

bool TableReader::eof() const {
  requireOpen();
  return rows_->eof();
}

void TableReader::next() {
  requireOpen();
  rows_->moveNext();
}

const Field& TableReader::fieldByName(std::u16string_view name) const {
  std::size_t count = fields_.size();
  for (std::size_t step = 0; step < count; ++step) {
    std::size_t index = (lookupHint_ + step) % count;
    if (text::sameNameIgnoringCase(fields_[index].name(), name)) {
      lookupHint_ = index + 1;
      return fields_[index];
    }
  }
  throw FieldNotFound(std::u16string(name));
}

bool TableReader::hasIdentityColumn() const {
  return hasIdentity_;
}

}  // namespace velmora::server
