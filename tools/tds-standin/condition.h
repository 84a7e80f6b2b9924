#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sql_lexer.h"

namespace standin {

// An operand of a search condition: a column of the table read, or a literal as T-SQL writes
// it.
struct Operand {
  enum class Kind { Column, Null, Integer, Decimal, String };
  Kind kind = Kind::Null;
  std::string text;       // the column name; the literal's digits with their sign; the string
  bool national = false;  // N'...'
};

// The search condition of a WHERE clause, as a tree.
struct Condition {
  enum class Kind { And, Or, Not, Compare, IsNull, In, Between, Like };
  enum class Op { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };

  Kind kind = Kind::Compare;
  Op op = Op::Equal;     // Compare
  bool negated = false;  // IS NOT NULL, NOT IN, NOT BETWEEN, NOT LIKE
  // Compare: left, right. IsNull: the operand. In: the operand, then the list. Between: the
  // operand, the low and the high bound. Like: the operand and the pattern.
  std::vector<Operand> operands;
  std::vector<Condition> children;  // And, Or: two; Not: one
};

struct ConditionParse {
  bool ok = false;
  Condition condition;
  std::string near;  // when not ok: the text the syntax error names
};

// Reads tokens [begin, end) as one whole search condition: comparisons, AND, OR, NOT,
// parentheses, IS [NOT] NULL, [NOT] IN, [NOT] BETWEEN and [NOT] LIKE over bare or bracketed
// column names and literals. Never throws.
ConditionParse parseCondition(const std::vector<Token>& tokens, std::size_t begin, std::size_t end);

}  // namespace standin
