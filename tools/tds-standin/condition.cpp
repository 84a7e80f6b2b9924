#include "condition.h"

#include <cctype>

namespace standin {
namespace {

// Words that end an operand: a bare column name cannot be one of them.
constexpr const char* kReserved[] = {"AND",  "OR",      "NOT",    "IS",     "NULL",     "IN",
                                     "LIKE", "BETWEEN", "ESCAPE", "SELECT", "FROM",     "WHERE",
                                     "SET",  "USE",     "BEGIN",  "COMMIT", "ROLLBACK", "TOP"};
// Deeper nesting than this is refused rather than recursed into.
constexpr int kDeepest = 128;

struct SyntaxFault {
  std::size_t at;
};

class Parser {
 public:
  Parser(const std::vector<Token>& tokens, std::size_t begin, std::size_t end)
      : t_(tokens), pos_(begin), end_(end) {}

  Condition whole() {
    Condition c = orExpression();
    if (pos_ != end_)
      throw SyntaxFault{pos_};
    return c;
  }

 private:
  bool atKeyword(const char* word) const { return pos_ < end_ && isKeyword(t_[pos_], word); }
  bool atSymbol(const char* symbol) const { return pos_ < end_ && isSymbol(t_[pos_], symbol); }
  // The next token, when it follows the current one without a blank (`<=` is two tokens).
  bool joinedSymbol(const char* symbol) const {
    return pos_ + 1 < end_ && isSymbol(t_[pos_ + 1], symbol) && t_[pos_ + 1].start == t_[pos_].end;
  }
  void expectKeyword(const char* word) {
    if (!atKeyword(word))
      throw SyntaxFault{pos_};
    ++pos_;
  }
  void expectSymbol(const char* symbol) {
    if (!atSymbol(symbol))
      throw SyntaxFault{pos_};
    ++pos_;
  }

  Condition orExpression() { return chain("OR", Condition::Kind::Or); }
  Condition andExpression() { return chain("AND", Condition::Kind::And); }

  Condition chain(const char* word, Condition::Kind kind) {
    Condition left = kind == Condition::Kind::Or ? andExpression() : notExpression();
    while (atKeyword(word)) {
      ++pos_;
      Condition right = kind == Condition::Kind::Or ? andExpression() : notExpression();
      Condition joined;
      joined.kind = kind;
      joined.children = {std::move(left), std::move(right)};
      left = std::move(joined);
    }
    return left;
  }

  Condition notExpression() {
    if (++depth_ > kDeepest)
      throw SyntaxFault{pos_};
    Condition c;
    if (atKeyword("NOT")) {
      ++pos_;
      c.kind = Condition::Kind::Not;
      c.children = {notExpression()};
    } else if (atSymbol("(")) {
      ++pos_;
      c = orExpression();
      expectSymbol(")");
    } else {
      c = predicate();
    }
    --depth_;
    return c;
  }

  Condition predicate() {
    Condition c;
    c.operands.push_back(operand());
    if (atKeyword("IS")) {
      ++pos_;
      c.kind = Condition::Kind::IsNull;
      c.negated = atKeyword("NOT");
      pos_ += c.negated;
      expectKeyword("NULL");
      return c;
    }
    c.negated = atKeyword("NOT");
    pos_ += c.negated;
    if (atKeyword("IN")) {
      ++pos_;
      c.kind = Condition::Kind::In;
      expectSymbol("(");
      c.operands.push_back(operand());
      while (atSymbol(",")) {
        ++pos_;
        c.operands.push_back(operand());
      }
      expectSymbol(")");
    } else if (atKeyword("BETWEEN")) {
      ++pos_;
      c.kind = Condition::Kind::Between;
      c.operands.push_back(operand());
      expectKeyword("AND");
      c.operands.push_back(operand());
    } else if (atKeyword("LIKE")) {
      ++pos_;
      c.kind = Condition::Kind::Like;
      c.operands.push_back(operand());
    } else if (!c.negated) {
      c.kind = Condition::Kind::Compare;
      c.op = comparison();
      c.operands.push_back(operand());
    } else {
      throw SyntaxFault{pos_};
    }
    return c;
  }

  Condition::Op comparison() {
    using Op = Condition::Op;
    if (pos_ >= end_ || t_[pos_].kind != Token::Kind::Symbol)
      throw SyntaxFault{pos_};
    const std::string& first = t_[pos_].text;
    auto take = [&](std::size_t tokens, Op op) {
      pos_ += tokens;
      return op;
    };
    if (first == "=")
      return take(1, Op::Equal);
    if (first == "<") {
      if (joinedSymbol(">"))
        return take(2, Op::NotEqual);
      if (joinedSymbol("="))
        return take(2, Op::LessEqual);
      return take(1, Op::Less);
    }
    if (first == ">")
      return joinedSymbol("=") ? take(2, Op::GreaterEqual) : take(1, Op::Greater);
    if (first == "!") {
      if (joinedSymbol("="))
        return take(2, Op::NotEqual);
      if (joinedSymbol("<"))
        return take(2, Op::GreaterEqual);
      if (joinedSymbol(">"))
        return take(2, Op::LessEqual);
    }
    throw SyntaxFault{pos_};
  }

  Operand operand() {
    if (pos_ >= end_)
      throw SyntaxFault{pos_};
    const Token& t = t_[pos_];
    Operand o;
    if ((isSymbol(t, "-") || isSymbol(t, "+")) && pos_ + 1 < end_ &&
        t_[pos_ + 1].kind == Token::Kind::Number) {
      ++pos_;
      o = number(t.text == "-" ? "-" : "");
    } else if (t.kind == Token::Kind::Number) {
      o = number("");
    } else if (t.kind == Token::Kind::String) {
      o.kind = Operand::Kind::String;
      o.text = t.text;
      o.national = t.national;
    } else if (isKeyword(t, "NULL")) {
      o.kind = Operand::Kind::Null;
    } else if (t.kind == Token::Kind::Identifier || (t.kind == Token::Kind::Word && !reserved(t))) {
      // A function call or a qualified name is more than this stand-in reads.
      if (pos_ + 1 < end_ && (isSymbol(t_[pos_ + 1], "(") || isSymbol(t_[pos_ + 1], ".")))
        throw SyntaxFault{pos_ + 1};
      o.kind = Operand::Kind::Column;
      o.text = t.text;
    } else {
      throw SyntaxFault{pos_};
    }
    ++pos_;
    return o;
  }

  Operand number(const std::string& sign) {
    const std::string& digits = t_[pos_].text;
    std::size_t points = 0;
    for (char c : digits)
      points += c == '.';
    if (points > 1)
      throw SyntaxFault{pos_};
    // 1e3 and 0x1F arrive as a number glued to a word.
    if (pos_ + 1 < end_ && t_[pos_ + 1].kind == Token::Kind::Word &&
        t_[pos_ + 1].start == t_[pos_].end)
      throw SyntaxFault{pos_ + 1};
    Operand o;
    o.kind = points == 0 ? Operand::Kind::Integer : Operand::Kind::Decimal;
    o.text = sign + digits;
    return o;
  }

  static bool reserved(const Token& t) {
    for (const char* word : kReserved) {
      if (isKeyword(t, word))
        return true;
    }
    return false;
  }

  const std::vector<Token>& t_;
  std::size_t pos_;
  std::size_t end_;
  int depth_ = 0;
};

}  // namespace

ConditionParse parseCondition(const std::vector<Token>& tokens, std::size_t begin,
                              std::size_t end) {
  ConditionParse result;
  try {
    result.condition = Parser(tokens, begin, end).whole();
    result.ok = true;
  } catch (const SyntaxFault& fault) {
    // At the end of the text a server names the last token it read.
    std::size_t at = fault.at < end ? fault.at : end - 1;
    result.near = end > 0 && at < tokens.size() ? tokens[at].text : "";
  }
  return result;
}

}  // namespace standin
