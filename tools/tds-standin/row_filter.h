#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "cell.h"
#include "condition.h"
#include "fixture.h"
#include "sql_value.h"
#include "text_codec.h"

namespace standin {

// A WHERE clause bound to the columns of one table, deciding row by row with SQL's
// three-valued logic: a row goes out only when the condition is true, not when it is false
// or unknown (NULL).
class RowFilter {
 public:
  // Literals take the database's code page and collation, as a server reads them.
  RowFilter(const Condition& where, const std::vector<Column>& columns, const Collation& collation);

  // The names of the condition that are no column of the table, in the order written.
  static std::vector<std::string> unknownColumns(const Condition& where,
                                                 const std::vector<Column>& columns);

  // Throws SqlError when a value does not convert or two types do not compare.
  bool accepts(const std::vector<Cell>& row);

 private:
  struct Bound {
    std::optional<std::size_t> column;  // a column of the row, or else `literal`
    Value literal;
  };
  struct Node {
    Condition::Kind kind = Condition::Kind::Compare;
    Condition::Op op = Condition::Op::Equal;
    bool negated = false;
    std::vector<Bound> operands;
    std::vector<Node> children;
  };

  Node bind(const Condition& c, CodePageEncoder& encoder);
  Bound bindOperand(const Operand& o, CodePageEncoder& encoder);
  std::optional<bool> evaluate(const Node& node, const std::vector<Cell>& row);
  Value valueAt(const Bound& operand, const std::vector<Cell>& row);

  const std::vector<Column>& columns_;
  bool ignoreCase_;
  CodePageDecoder decoder_;
  Node root_;
};

}  // namespace standin
