#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace velmora::session {

// One foreign key as table entries: the table that holds it and the table it references.
struct TableReference {
  std::u16string referencing;
  std::u16string referenced;
};

struct DependencyOrder {
  // Positions in the given entry list: every table after the tables it references.
  std::vector<std::size_t> order;
  // The tables that reference each other in a circle (self-references aside), in entry
  // order; empty when there is none. No order can put each of them after the others.
  std::vector<std::size_t> inCycles;
};

// Orders `entries` (catalogue order) so that each table comes after the tables its foreign
// keys reference, and otherwise keeps catalogue order: of the tables free to come next, the
// earliest in the catalogue comes first. Tables in a cycle stay together in catalogue order,
// after what the cycle as a whole references. A table referencing itself is no constraint;
// references naming a table outside `entries` are ignored. Entries match exactly.
DependencyOrder dependencyOrder(const std::vector<std::u16string>& entries,
                                const std::vector<TableReference>& references);

}  // namespace velmora::session
