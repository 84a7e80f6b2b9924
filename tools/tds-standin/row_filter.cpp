#include "row_filter.h"

#include <algorithm>

#include "cell_parse.h"

namespace standin {
namespace {

using Tri = std::optional<bool>;

Tri negate(Tri v) {
  return v ? Tri(!*v) : std::nullopt;
}

Tri both(Tri a, Tri b) {
  if ((a && !*a) || (b && !*b))
    return false;
  return a && b ? Tri(true) : std::nullopt;
}

Tri either(Tri a, Tri b) {
  if ((a && *a) || (b && *b))
    return true;
  return a && b ? Tri(false) : std::nullopt;
}

Tri holds(std::optional<int> order, Condition::Op op) {
  if (!order)
    return std::nullopt;
  switch (op) {
    case Condition::Op::Equal:
      return *order == 0;
    case Condition::Op::NotEqual:
      return *order != 0;
    case Condition::Op::Less:
      return *order < 0;
    case Condition::Op::LessEqual:
      return *order <= 0;
    case Condition::Op::Greater:
      return *order > 0;
    case Condition::Op::GreaterEqual:
      return *order >= 0;
  }
  return std::nullopt;
}

std::optional<std::size_t> columnIndex(const std::vector<Column>& columns,
                                       const std::string& name) {
  auto found = std::find_if(columns.begin(), columns.end(),
                            [&](const Column& c) { return equalsIgnoreCase(c.name, name); });
  if (found == columns.end())
    return std::nullopt;
  return static_cast<std::size_t>(found - columns.begin());
}

void collectUnknown(const Condition& c, const std::vector<Column>& columns,
                    std::vector<std::string>& out) {
  for (const Operand& o : c.operands) {
    if (o.kind == Operand::Kind::Column && !columnIndex(columns, o.text))
      out.push_back(o.text);
  }
  for (const Condition& child : c.children)
    collectUnknown(child, columns, out);
}

// Whether a collation compares without regard to case: its flags sit above the 20-bit locale.
bool ignoresCase(const Collation& collation) {
  uint32_t info = 0;
  for (int i = 3; i >= 0; --i)
    info = (info << 8) | collation.bytes[static_cast<std::size_t>(i)];
  return ((info >> 20) & 0x1) != 0;
}

}  // namespace

RowFilter::RowFilter(const Condition& where, const std::vector<Column>& columns,
                     const Collation& collation)
    : columns_(columns), ignoreCase_(ignoresCase(collation)), decoder_(collation.codePage) {
  CodePageEncoder encoder(collation.codePage);
  root_ = bind(where, encoder);
}

std::vector<std::string> RowFilter::unknownColumns(const Condition& where,
                                                   const std::vector<Column>& columns) {
  std::vector<std::string> names;
  collectUnknown(where, columns, names);
  return names;
}

RowFilter::Node RowFilter::bind(const Condition& c, CodePageEncoder& encoder) {
  Node node{c.kind, c.op, c.negated, {}, {}};
  for (const Operand& o : c.operands)
    node.operands.push_back(bindOperand(o, encoder));
  for (const Condition& child : c.children)
    node.children.push_back(bind(child, encoder));
  return node;
}

RowFilter::Bound RowFilter::bindOperand(const Operand& o, CodePageEncoder& encoder) {
  Bound bound;
  Value& v = bound.literal;
  switch (o.kind) {
    case Operand::Kind::Column:
      bound.column = columnIndex(columns_, o.text);
      break;
    case Operand::Kind::Null:
      break;
    case Operand::Kind::Integer:
    case Operand::Kind::Decimal: {
      auto point = o.text.find('.');
      v.kind = Value::Kind::Exact;
      v.scale = point == std::string::npos ? 0 : static_cast<int>(o.text.size() - point - 1);
      try {
        v.scaled = parseScaled(o.text, v.scale);
      } catch (const std::invalid_argument&) {
        throw SqlError(1007, 15,
                       "The number '" + o.text +
                           "' is out of the range for numeric representation (maximum precision "
                           "38).");
      }
      // An integer literal is an int while it fits, else numeric, as a server types it.
      bool fitsInt =
          o.kind == Operand::Kind::Integer && v.scaled >= INT32_MIN && v.scaled <= INT32_MAX;
      v.type.base = fitsInt ? BaseType::Int : BaseType::Numeric;
      v.type.scale = v.scale;
      break;
    }
    case Operand::Kind::String:
      v.kind = Value::Kind::Text;
      v.type.base = o.national ? BaseType::NVarChar : BaseType::VarChar;
      // A '...' literal is varchar: what the code page lacks becomes '?'.
      v.text = o.national ? o.text : decoder_.decode(encoder.encode(o.text));
      break;
  }
  return bound;
}

bool RowFilter::accepts(const std::vector<Cell>& row) {
  Tri result = evaluate(root_, row);
  return result && *result;
}

Value RowFilter::valueAt(const Bound& operand, const std::vector<Cell>& row) {
  if (!operand.column)
    return operand.literal;
  return valueOf(row[*operand.column], columns_[*operand.column].type, decoder_);
}

std::optional<bool> RowFilter::evaluate(const Node& node, const std::vector<Cell>& row) {
  switch (node.kind) {
    case Condition::Kind::And:
      return both(evaluate(node.children[0], row), evaluate(node.children[1], row));
    case Condition::Kind::Or:
      return either(evaluate(node.children[0], row), evaluate(node.children[1], row));
    case Condition::Kind::Not:
      return negate(evaluate(node.children[0], row));
    default:
      break;
  }
  const Value value = valueAt(node.operands[0], row);
  Tri result;
  switch (node.kind) {
    case Condition::Kind::Compare:
      result = holds(compareValues(value, valueAt(node.operands[1], row), ignoreCase_), node.op);
      break;
    case Condition::Kind::IsNull:
      result = value.kind == Value::Kind::Null;
      break;
    case Condition::Kind::In:
      // True when one item equals the value; unknown when none does but one is unknown.
      result = false;
      for (std::size_t i = 1; i < node.operands.size(); ++i) {
        result =
            either(result, holds(compareValues(value, valueAt(node.operands[i], row), ignoreCase_),
                                 Condition::Op::Equal));
      }
      break;
    case Condition::Kind::Between:
      result = both(holds(compareValues(value, valueAt(node.operands[1], row), ignoreCase_),
                          Condition::Op::GreaterEqual),
                    holds(compareValues(value, valueAt(node.operands[2], row), ignoreCase_),
                          Condition::Op::LessEqual));
      break;
    case Condition::Kind::Like:
      result = likeMatches(value, valueAt(node.operands[1], row), ignoreCase_);
      break;
    default:
      break;
  }
  return node.negated ? negate(result) : result;
}

}  // namespace standin
