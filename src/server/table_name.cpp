#include "server/table_name.h"

#include <utility>

#include "server/identifier.h"

namespace velmora::server {

std::u16string tableEntryText(const TableName& table) {
  if (table.schema == kDefaultSchema)
    return table.name;
  return tableNameAsSent(table);
}

std::u16string tableNameAsSent(const TableName& table) {
  if (table.schema == kDefaultSchema)
    return sqlIdentifier(table.name);
  return sqlIdentifier(table.schema) + u"." + sqlIdentifier(table.name);
}

TableName TableCatalogue::tableOf(std::u16string_view entryText, std::size_t earlier) const {
  const TableName* first = nullptr;
  for (const TableName& table : tables_) {
    if (tableEntryText(table) != entryText)
      continue;
    if (earlier-- == 0)
      return table;
    if (first == nullptr)
      first = &table;
  }
  if (first != nullptr)
    return *first;
  return TableName{std::u16string(kDefaultSchema), std::u16string(entryText)};
}

void TableCatalogue::keepInOrder(const std::vector<std::size_t>& positions) {
  std::vector<TableName> kept;
  kept.reserve(positions.size());
  for (const std::size_t position : positions)
    kept.push_back(tables_.at(position));
  tables_ = std::move(kept);
}

}  // namespace velmora::server
