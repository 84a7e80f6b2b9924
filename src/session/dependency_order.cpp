#include "session/dependency_order.h"

#include <algorithm>
#include <functional>
#include <map>
#include <queue>
#include <string_view>

namespace velmora::session {
namespace {

using Graph = std::vector<std::vector<std::size_t>>;

// Tarjan's strongly connected components, without recursion so that a long chain of keys
// cannot exhaust the stack. Returns the component of every node.
std::vector<std::size_t> componentsOf(const Graph& edges, std::size_t& componentCount) {
  constexpr std::size_t kUnvisited = static_cast<std::size_t>(-1);
  const std::size_t n = edges.size();
  std::vector<std::size_t> index(n, kUnvisited), lowLink(n, 0), component(n, kUnvisited);
  std::vector<bool> onStack(n, false);
  std::vector<std::size_t> stack;
  std::vector<std::pair<std::size_t, std::size_t>> calls;  // node, next edge to follow
  std::size_t nextIndex = 0;
  componentCount = 0;

  for (std::size_t root = 0; root < n; ++root) {
    if (index[root] != kUnvisited)
      continue;
    calls.emplace_back(root, 0);
    while (!calls.empty()) {
      auto& [node, edge] = calls.back();
      if (edge == 0 && index[node] == kUnvisited) {
        index[node] = lowLink[node] = nextIndex++;
        stack.push_back(node);
        onStack[node] = true;
      }
      if (edge < edges[node].size()) {
        const std::size_t next = edges[node][edge++];
        if (index[next] == kUnvisited)
          calls.emplace_back(next, 0);
        else if (onStack[next])
          lowLink[node] = std::min(lowLink[node], index[next]);
        continue;
      }
      if (lowLink[node] == index[node]) {
        std::size_t member;
        do {
          member = stack.back();
          stack.pop_back();
          onStack[member] = false;
          component[member] = componentCount;
        } while (member != node);
        ++componentCount;
      }
      const std::size_t finished = node;
      calls.pop_back();
      if (!calls.empty())
        lowLink[calls.back().first] = std::min(lowLink[calls.back().first], lowLink[finished]);
    }
  }
  return component;
}

}  // namespace

DependencyOrder dependencyOrder(const std::vector<server::TableName>& tables,
                                const std::vector<TableReference>& references) {
  const std::size_t n = tables.size();
  std::map<std::pair<std::u16string_view, std::u16string_view>, std::size_t> positions;
  auto key = [](const server::TableName& table) {
    return std::pair<std::u16string_view, std::u16string_view>(table.schema, table.name);
  };
  for (std::size_t i = 0; i < n; ++i)
    positions.emplace(key(tables[i]), i);

  // An edge from each table to the tables it references.
  Graph referenced(n);
  for (const TableReference& reference : references) {
    const auto from = positions.find(key(reference.referencing));
    const auto to = positions.find(key(reference.referenced));
    if (from != positions.end() && to != positions.end() && from->second != to->second)
      referenced[from->second].push_back(to->second);
  }

  std::size_t componentCount = 0;
  const std::vector<std::size_t> component = componentsOf(referenced, componentCount);
  // Members of each component in catalogue order; a component's first member is its place.
  std::vector<std::vector<std::size_t>> members(componentCount);
  for (std::size_t i = 0; i < n; ++i)
    members[component[i]].push_back(i);

  // A component waits for each distinct component its members reference.
  std::vector<std::vector<std::size_t>> waiting(componentCount);  // referenced -> referencing
  std::vector<std::size_t> unmet(componentCount, 0);
  for (std::size_t c = 0; c < componentCount; ++c) {
    std::vector<std::size_t> needs;
    for (std::size_t member : members[c])
      for (std::size_t target : referenced[member])
        if (component[target] != c)
          needs.push_back(component[target]);
    std::sort(needs.begin(), needs.end());
    needs.erase(std::unique(needs.begin(), needs.end()), needs.end());
    unmet[c] = needs.size();
    for (std::size_t need : needs)
      waiting[need].push_back(c);
  }

  DependencyOrder result;
  // Components free to come next, the one whose first member is earliest on top.
  using Ready = std::pair<std::size_t, std::size_t>;  // first member, component
  std::priority_queue<Ready, std::vector<Ready>, std::greater<>> ready;
  for (std::size_t c = 0; c < componentCount; ++c)
    if (unmet[c] == 0)
      ready.emplace(members[c].front(), c);
  while (!ready.empty()) {
    const std::size_t c = ready.top().second;
    ready.pop();
    result.order.insert(result.order.end(), members[c].begin(), members[c].end());
    if (members[c].size() > 1)
      result.inCycles.insert(result.inCycles.end(), members[c].begin(), members[c].end());
    for (std::size_t next : waiting[c])
      if (--unmet[next] == 0)
        ready.emplace(members[next].front(), next);
  }
  std::sort(result.inCycles.begin(), result.inCycles.end());
  return result;
}

}  // namespace velmora::session
