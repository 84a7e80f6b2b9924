#include "statement.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>

#include "condition.h"
#include "sql_lexer.h"

namespace standin {
namespace {

bool startsStatement(const Token& t) {
  return isKeyword(t, "SELECT") || isKeyword(t, "SET") || isKeyword(t, "USE") ||
         isKeyword(t, "BEGIN") || isKeyword(t, "COMMIT") || isKeyword(t, "ROLLBACK");
}

std::string trimmed(const std::string& s) {
  auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos)
    return "";
  auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

// Reads db.schema.name, schema.name or name from tokens [pos, end); nullopt unless the
// name takes exactly that range.
std::optional<std::vector<std::string>> objectName(const std::vector<Token>& tokens,
                                                   std::size_t pos, std::size_t end) {
  std::vector<std::string> parts;
  bool expectName = true;
  for (; pos < end; ++pos) {
    const Token& t = tokens[pos];
    if (t.kind == Token::Kind::Symbol && t.text == ".") {
      if (expectName)
        parts.emplace_back();  // db..name leaves the schema out
      expectName = true;
      continue;
    }
    if (!expectName || !isName(t))
      return std::nullopt;
    parts.push_back(t.text);
    expectName = false;
  }
  if (expectName || parts.empty() || parts.size() > 3)
    return std::nullopt;
  while (parts.size() < 3)
    parts.insert(parts.begin(), "");
  return parts;
}

Statement kindOnly(Statement::Kind kind) {
  Statement s;
  s.kind = kind;
  return s;
}

Statement syntaxError(const std::string& near) {
  Statement s;
  s.kind = Statement::Kind::SyntaxError;
  s.near = near;
  return s;
}

// ISOLATION LEVEL <level>, after SET TRANSACTION.
Statement parseIsolation(const std::vector<Token>& t, std::size_t pos, std::size_t end) {
  for (const char* word : {"ISOLATION", "LEVEL"}) {
    if (pos >= end || !isKeyword(t[pos], word))
      return syntaxError(t[pos < end ? pos : end - 1].text);
    ++pos;
  }
  struct Level {
    const char* first;
    const char* second;  // nullptr for one-word levels
    IsolationLevel level;
  };
  static constexpr Level kLevels[] = {{"READ", "UNCOMMITTED", IsolationLevel::ReadUncommitted},
                                      {"READ", "COMMITTED", IsolationLevel::ReadCommitted},
                                      {"REPEATABLE", "READ", IsolationLevel::RepeatableRead},
                                      {"SNAPSHOT", nullptr, IsolationLevel::Snapshot},
                                      {"SERIALIZABLE", nullptr, IsolationLevel::Serializable}};
  // The syntax error names the first token after the longest start of a level.
  std::size_t matched = 0;
  for (const Level& level : kLevels) {
    const char* words[] = {level.first, level.second};
    std::size_t n = 0;
    while (n < 2 && words[n] != nullptr && pos + n < end && isKeyword(t[pos + n], words[n]))
      ++n;
    bool whole = n == (level.second == nullptr ? 1u : 2u);
    if (whole && pos + n == end) {
      Statement s = kindOnly(Statement::Kind::SetIsolation);
      s.isolation = level.level;
      return s;
    }
    matched = std::max(matched, n);
  }
  return syntaxError(t[pos + matched < end ? pos + matched : end - 1].text);
}

Statement parseSet(const std::vector<Token>& t, std::size_t begin, std::size_t end) {
  Statement s;
  s.kind = Statement::Kind::SetOther;
  if (begin + 1 >= end)
    return syntaxError(t[begin].text);
  const Token& option = t[begin + 1];
  if (isKeyword(option, "TEXTSIZE")) {
    std::size_t pos = begin + 2;
    bool negative = pos < end && t[pos].kind == Token::Kind::Symbol && t[pos].text == "-";
    pos += negative;
    if (pos + 1 != end || t[pos].kind != Token::Kind::Number ||
        t[pos].text.find('.') != std::string::npos || t[pos].text.size() > 10) {
      return syntaxError(pos < end ? t[pos].text : option.text);
    }
    s.kind = Statement::Kind::SetTextSize;
    s.number = std::stoll(t[pos].text) * (negative ? -1 : 1);
    return s;
  }
  if (isKeyword(option, "FMTONLY") || isKeyword(option, "NOCOUNT")) {
    if (begin + 3 != end || (!isKeyword(t[begin + 2], "ON") && !isKeyword(t[begin + 2], "OFF"))) {
      return syntaxError(begin + 2 < end ? t[begin + 2].text : option.text);
    }
    s.kind =
        isKeyword(option, "FMTONLY") ? Statement::Kind::SetFmtOnly : Statement::Kind::SetNoCount;
    s.on = isKeyword(t[begin + 2], "ON");
    return s;
  }
  if (isKeyword(option, "TRANSACTION"))
    return parseIsolation(t, begin + 2, end);
  if (option.kind != Token::Kind::Word)
    return syntaxError(option.text);
  return s;
}

// Reads TOP n or TOP (n), if present, at `pos` into `top` and moves `pos` past it. Returns
// false, `pos` at the token to blame, when the clause is malformed.
bool readTop(const std::vector<Token>& t, std::size_t& pos, std::size_t end,
             std::optional<int64_t>& top) {
  if (pos >= end || !isKeyword(t[pos], "TOP"))
    return true;
  ++pos;
  const bool parenthesised = pos < end && isSymbol(t[pos], "(");
  pos += parenthesised;
  if (pos >= end || t[pos].kind != Token::Kind::Number ||
      t[pos].text.find('.') != std::string::npos || t[pos].text.size() > 18) {
    return false;
  }
  top = std::stoll(t[pos++].text);
  if (parenthesised) {
    if (pos >= end || !isSymbol(t[pos], ")"))
      return false;
    ++pos;
  }
  return true;
}

Statement parseSelect(const std::vector<Token>& t, std::size_t begin, std::size_t end) {
  Statement s;
  if (begin + 2 == end && t[begin + 1].kind == Token::Kind::Variable &&
      isKeyword(Token{Token::Kind::Word, t[begin + 1].text}, "@@VERSION")) {
    s.kind = Statement::Kind::SelectVersion;
    return s;
  }
  std::size_t star = begin + 1;
  if (!readTop(t, star, end, s.top) || star >= end || !isSymbol(t[star], "*"))
    return syntaxError(star < end ? t[star].text : t[end - 1].text);
  std::size_t from = star + 1;
  auto symbolAt = [&](std::size_t at, const char* symbol) {
    return at < end && isSymbol(t[at], symbol);
  };
  // , SQL_VARIANT_PROPERTY(column, 'BaseType') as often as asked
  while (symbolAt(from, ",")) {
    if (!(from + 6 < end && isKeyword(t[from + 1], "SQL_VARIANT_PROPERTY") &&
          symbolAt(from + 2, "(") && isName(t[from + 3]) && symbolAt(from + 4, ",") &&
          t[from + 5].kind == Token::Kind::String &&
          isKeyword(Token{Token::Kind::Word, t[from + 5].text}, "BASETYPE") &&
          symbolAt(from + 6, ")"))) {
      return syntaxError(from + 1 < end ? t[from + 1].text : t[from].text);
    }
    s.variantTypesOf.push_back(t[from + 3].text);
    from += 7;
  }
  if (from + 1 >= end || !isKeyword(t[from], "FROM"))
    return syntaxError(from < end ? t[from].text : t[end - 1].text);
  std::size_t where = from + 1;
  while (where < end && !isKeyword(t[where], "WHERE"))
    ++where;
  auto name = objectName(t, from + 1, where);
  if (!name)
    return syntaxError(t[from + 1].text);
  s.kind = Statement::Kind::SelectAll;
  s.object = *name;
  if (where < end) {
    ConditionParse condition = parseCondition(t, where + 1, end);
    if (!condition.ok)
      return syntaxError(condition.near);
    s.where = std::make_shared<const Condition>(std::move(condition.condition));
  }
  return s;
}

// BEGIN TRAN[SACTION], COMMIT [TRAN[SACTION]|WORK], ROLLBACK [TRAN[SACTION]|WORK].
Statement parseTransaction(const std::vector<Token>& t, std::size_t begin, std::size_t end) {
  const Token& verb = t[begin];
  bool begins = isKeyword(verb, "BEGIN");
  auto isTran = [&](const Token& word) {
    return isKeyword(word, "TRAN") || isKeyword(word, "TRANSACTION") ||
           (!begins && isKeyword(word, "WORK"));
  };
  std::size_t words = begin + 1 < end && isTran(t[begin + 1]) ? 2 : 1;
  if (begin + words != end || (begins && words != 2))
    return syntaxError(begin + words < end ? t[begin + words].text : verb.text);
  return kindOnly(begins                      ? Statement::Kind::BeginTransaction
                  : isKeyword(verb, "COMMIT") ? Statement::Kind::CommitTransaction
                                              : Statement::Kind::RollbackTransaction);
}

// The catalogue statements, recognised by their exact text.
std::optional<Statement> catalogueStatement(const std::string& text) {
  if (text == kListDatabasesStatement) {
    return kindOnly(Statement::Kind::ListDatabases);
  }
  if (text == kListUserTablesStatement) {
    return kindOnly(Statement::Kind::ListUserTables);
  }
  if (text == kListSchemaTablesStatement) {
    return kindOnly(Statement::Kind::ListSchemaTables);
  }
  if (text == kListForeignKeysStatement) {
    return kindOnly(Statement::Kind::ListForeignKeys);
  }
  std::string prefix = kComputedColumnsPrefix;
  std::string suffix = kComputedColumnsSuffix;
  if (text.size() >= prefix.size() + suffix.size() && text.rfind(prefix, 0) == 0 &&
      text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
    std::string literal = text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
    Statement s = kindOnly(Statement::Kind::ComputedColumns);
    // The literal must be one well-formed string: every quote inside it doubled.
    auto asString = tokenize("'" + literal + "'");
    if (asString.size() == 1 && asString[0].kind == Token::Kind::String) {
      if (auto name = parseObjectName(asString[0].text))
        s.object = *name;
      return s;
    }
    return syntaxError(literal);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::vector<std::string>> parseObjectName(const std::string& text) {
  auto tokens = tokenize(text);
  return objectName(tokens, 0, tokens.size());
}

std::string Statement::objectText() const {
  std::string text;
  for (const auto& part : object) {
    if (part.empty() && text.empty())
      continue;
    if (!text.empty())
      text += ".";
    text += part;
  }
  return text;
}

std::vector<Statement> parseBatch(const std::string& batch) {
  std::string whole = trimmed(batch);
  if (auto special = catalogueStatement(whole)) {
    return {*special};
  }
  std::vector<Token> tokens = tokenize(batch);
  std::vector<Statement> statements;
  std::size_t pos = 0;
  while (pos < tokens.size()) {
    const Token& first = tokens[pos];
    if (first.kind == Token::Kind::Symbol && first.text == ";") {
      ++pos;
      continue;
    }
    if (first.kind == Token::Kind::Unclosed) {
      statements.push_back(syntaxError(first.text));
      break;
    }
    std::size_t end = pos + 1;
    int depth = 0;
    for (; end < tokens.size(); ++end) {
      const Token& t = tokens[end];
      if (t.kind == Token::Kind::Symbol) {
        if (t.text == "(")
          ++depth;
        if (t.text == ")")
          --depth;
        if (t.text == ";" && depth == 0)
          break;
      }
      if (depth == 0 && startsStatement(t))
        break;
    }
    Statement s;
    if (isKeyword(first, "SET")) {
      s = parseSet(tokens, pos, end);
    } else if (isKeyword(first, "SELECT")) {
      // A catalogue statement may also come among others in one batch.
      auto special =
          catalogueStatement(batch.substr(first.start, tokens[end - 1].end - first.start));
      s = special ? *special : parseSelect(tokens, pos, end);
    } else if (isKeyword(first, "BEGIN") || isKeyword(first, "COMMIT") ||
               isKeyword(first, "ROLLBACK")) {
      s = parseTransaction(tokens, pos, end);
    } else if (isKeyword(first, "USE")) {
      if (end == pos + 2 && isName(tokens[pos + 1])) {
        s.kind = Statement::Kind::Use;
        s.object = {tokens[pos + 1].text};
      } else {
        s = syntaxError(end > pos + 1 ? tokens[pos + 1].text : first.text);
      }
    } else {
      s = syntaxError(first.text);
    }
    statements.push_back(s);
    if (s.kind == Statement::Kind::SyntaxError)
      break;
    pos = end;
  }
  return statements;
}

}  // namespace standin
