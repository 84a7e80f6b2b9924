#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "server/table_name.h"

namespace velmora::session {

// One foreign key: the table that holds it and the table it references.
struct TableReference {
  server::TableName referencing;
  server::TableName referenced;
};

struct DependencyOrder {
  // Positions in the given entry list: every table after the tables it references.
  std::vector<std::size_t> order;
  // The tables that reference each other in a circle (self-references aside), in entry
  // order; empty when there is none. No order can put each of them after the others.
  std::vector<std::size_t> inCycles;
};

// Orders `tables` (catalogue order) so that each table comes after the tables its foreign
// keys reference, and otherwise keeps catalogue order: of the tables free to come next, the
// earliest in the catalogue comes first. Tables in a cycle stay together in catalogue order,
// after what the cycle as a whole references. A table referencing itself is no constraint;
// references naming a table outside `tables` are ignored. Tables match by schema and name,
// exactly: the dbo table "a.b" is not table b of schema a, though the list shows both as
// "a.b".
DependencyOrder dependencyOrder(const std::vector<server::TableName>& tables,
                                const std::vector<TableReference>& references);

}  // namespace velmora::session
