#include "session/dependency_order.h"

#include <gtest/gtest.h>

namespace velmora::session {
namespace {

// Tables written "schema|name"; a text without '|' is a dbo table.
server::TableName tableOf(const std::u16string& text) {
  const std::size_t bar = text.find(u'|');
  if (bar == std::u16string::npos)
    return {.name = text};
  return {text.substr(0, bar), text.substr(bar + 1)};
}

std::vector<std::u16string> orderedNames(const std::vector<std::u16string>& entries,
                                         const std::vector<std::size_t>& positions) {
  std::vector<std::u16string> names;
  for (std::size_t position : positions)
    names.push_back(entries.at(position));
  return names;
}

// The exporter's end-to-end test covers a chain and a self-reference on a fixture.
TEST(DependencyOrderTest, CyclesKeepCatalogueOrderAndForeignTablesAreIgnored) {
  struct Case {
    const char* name;
    std::vector<std::u16string> entries;
    std::vector<std::pair<std::u16string, std::u16string>> references;
    std::vector<std::u16string> order;
    std::vector<std::u16string> inCycles;
  };
  const std::vector<Case> cases = {
      {"a cycle stays in catalogue order after what it references, before what references it",
       {u"Audit", u"Pay", u"Emp", u"Region", u"Mgr"},
       {{u"Audit", u"Emp"},
        {u"Emp", u"Mgr"},
        {u"Mgr", u"Pay"},
        {u"Pay", u"Emp"},
        {u"Mgr", u"Region"}},
       {u"Region", u"Pay", u"Emp", u"Mgr", u"Audit"},
       {u"Pay", u"Emp", u"Mgr"}},
      {"keys to tables outside the list are ignored",
       {u"A", u"B"},
       {{u"A", u"Gone"}, {u"Gone", u"B"}, {u"B", u"A"}},
       {u"A", u"B"},
       {}},
      {"tables whose entries read alike are told apart by schema and name",
       {u"a.b", u"a|b"},
       {{u"a.b", u"a|b"}},
       {u"a|b", u"a.b"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<server::TableName> tables;
    for (const std::u16string& entry : c.entries)
      tables.push_back(tableOf(entry));
    std::vector<TableReference> references;
    for (const auto& [referencing, referenced] : c.references)
      references.push_back({tableOf(referencing), tableOf(referenced)});
    const DependencyOrder result = dependencyOrder(tables, references);
    EXPECT_EQ(orderedNames(c.entries, result.order), c.order);
    EXPECT_EQ(orderedNames(c.entries, result.inCycles), c.inCycles);
  }
}

}  // namespace
}  // namespace velmora::session
