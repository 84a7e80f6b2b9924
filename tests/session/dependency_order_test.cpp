#include "session/dependency_order.h"

#include <gtest/gtest.h>

namespace velmora::session {
namespace {

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
    std::vector<TableReference> references;
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
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DependencyOrder result = dependencyOrder(c.entries, c.references);
    EXPECT_EQ(orderedNames(c.entries, result.order), c.order);
    EXPECT_EQ(orderedNames(c.entries, result.inCycles), c.inCycles);
  }
}

}  // namespace
}  // namespace velmora::session
