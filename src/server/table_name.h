#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora::server {

// The schema that holds a database's tables unless another is named.
inline constexpr std::u16string_view kDefaultSchema = u"dbo";

// A user table as the catalogue lists it: its schema and its name.
struct TableName {
  std::u16string schema{kDefaultSchema};
  std::u16string name;

  friend bool operator==(const TableName&, const TableName&) = default;
};

// The text the table list shows for `table`: a dbo table's name as it is; any other table
// "schema.name", each part in its statement form ("Sales.Customer", "[my sales].[Order]").
std::u16string tableEntryText(const TableName& table);

// How statements name `table`: a dbo table by its name alone in its statement form
// ("[Order Details]"), any other table by its two-part form ("Sales.Customer").
std::u16string tableNameAsSent(const TableName& table);

// The tables of the last table list load, by their entry texts. A text that no listed table
// has names the dbo table of that name.
class TableCatalogue {
 public:
  void clear() { tables_.clear(); }
  void add(TableName table) { tables_.push_back(std::move(table)); }
  // The listed table whose entry text is `entryText`; where several have it (the dbo table
  // "a.b" and table b of schema a), the one after `earlier` others of that text.
  TableName tableOf(std::u16string_view entryText, std::size_t earlier = 0) const;
  // The table list was rebuilt from its entries at `positions`, in that order (the exporter's
  // dependency order): the tables behind the entries follow, so that two entries that read
  // alike still stand for their own tables.
  void keepInOrder(const std::vector<std::size_t>& positions);

 private:
  std::vector<TableName> tables_;
};

}  // namespace velmora::server
