#include "statement.h"

#include <cctype>
#include <optional>

namespace standin {
namespace {

struct Token {
  enum class Kind { Word, Identifier, String, Number, Variable, Symbol, Unclosed } kind;
  std::string text;  // identifiers unquoted, strings without quotes and with '' made '
  std::size_t start = 0, end = 0;  // where the token stands in the batch
};

bool isWordChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '@' || c == '#' || c == '$' || c >= 0x80;
}

std::vector<Token> tokenize(const std::string& s) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  auto closeQuoted = [&](char close, Token::Kind kind) {
    std::string text;
    for (++i; i < s.size(); ++i) {
      if (s[i] == close) {
        if (i + 1 < s.size() && s[i + 1] == close) {
          text.push_back(close);
          ++i;
          continue;
        }
        ++i;
        tokens.push_back({kind, text});
        return;
      }
      text.push_back(s[i]);
    }
    tokens.push_back({Token::Kind::Unclosed, text});
  };
  while (i < s.size()) {
    std::size_t before = tokens.size();
    std::size_t tokenStart = i;
    auto c = static_cast<unsigned char>(s[i]);
    if (std::isspace(c)) {
      ++i;
    } else if (s.compare(i, 2, "--") == 0) {
      while (i < s.size() && s[i] != '\n')
        ++i;
    } else if (s.compare(i, 2, "/*") == 0) {
      auto end = s.find("*/", i + 2);
      i = end == std::string::npos ? s.size() : end + 2;
    } else if (c == '[') {
      closeQuoted(']', Token::Kind::Identifier);
    } else if (c == '"') {
      closeQuoted('"', Token::Kind::Identifier);
    } else if (c == '\'') {
      closeQuoted('\'', Token::Kind::String);
    } else if ((c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'') {
      ++i;
      closeQuoted('\'', Token::Kind::String);
    } else if (std::isdigit(c)) {
      std::size_t start = i;
      while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.'))
        ++i;
      tokens.push_back({Token::Kind::Number, s.substr(start, i - start)});
    } else if (isWordChar(c)) {
      std::size_t start = i;
      while (i < s.size() && isWordChar(static_cast<unsigned char>(s[i])))
        ++i;
      std::string word = s.substr(start, i - start);
      tokens.push_back({word[0] == '@' ? Token::Kind::Variable : Token::Kind::Word, word});
    } else {
      tokens.push_back({Token::Kind::Symbol, std::string(1, s[i])});
      ++i;
    }
    if (tokens.size() > before) {
      tokens.back().start = tokenStart;
      tokens.back().end = i;
    }
  }
  return tokens;
}

bool isKeyword(const Token& t, const char* word) {
  if (t.kind != Token::Kind::Word)
    return false;
  std::size_t n = 0;
  for (; word[n] != '\0'; ++n) {
    if (n >= t.text.size() ||
        std::toupper(static_cast<unsigned char>(t.text[n])) != static_cast<unsigned char>(word[n]))
      return false;
  }
  return n == t.text.size();
}

bool startsStatement(const Token& t) {
  return isKeyword(t, "SELECT") || isKeyword(t, "SET") || isKeyword(t, "USE");
}

std::string trimmed(const std::string& s) {
  auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos)
    return "";
  auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

bool isName(const Token& t) {
  return t.kind == Token::Kind::Word || t.kind == Token::Kind::Identifier;
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
  if (option.kind != Token::Kind::Word)
    return syntaxError(option.text);
  return s;
}

Statement parseSelect(const std::vector<Token>& t, std::size_t begin, std::size_t end) {
  Statement s;
  if (begin + 2 == end && t[begin + 1].kind == Token::Kind::Variable &&
      isKeyword(Token{Token::Kind::Word, t[begin + 1].text}, "@@VERSION")) {
    s.kind = Statement::Kind::SelectVersion;
    return s;
  }
  std::size_t from = begin + 2;
  if (begin + 3 < end && t[begin + 1].kind == Token::Kind::Symbol && t[begin + 1].text == "*") {
    // , SQL_VARIANT_PROPERTY(column, 'BaseType') as often as asked
    auto isSymbol = [&](std::size_t at, const char* symbol) {
      return at < end && t[at].kind == Token::Kind::Symbol && t[at].text == symbol;
    };
    while (isSymbol(from, ",")) {
      if (!(from + 6 < end && isKeyword(t[from + 1], "SQL_VARIANT_PROPERTY") &&
            isSymbol(from + 2, "(") && isName(t[from + 3]) && isSymbol(from + 4, ",") &&
            t[from + 5].kind == Token::Kind::String &&
            isKeyword(Token{Token::Kind::Word, t[from + 5].text}, "BASETYPE") &&
            isSymbol(from + 6, ")"))) {
        return syntaxError(from + 1 < end ? t[from + 1].text : t[from].text);
      }
      s.variantTypesOf.push_back(t[from + 3].text);
      from += 7;
    }
  }
  if (from + 1 < end && t[begin + 1].kind == Token::Kind::Symbol && t[begin + 1].text == "*" &&
      isKeyword(t[from], "FROM")) {
    if (auto name = objectName(t, from + 1, end)) {
      s.kind = Statement::Kind::SelectAll;
      s.object = *name;
      return s;
    }
    return syntaxError(t[from + 1].text);
  }
  return syntaxError(begin + 1 < end ? t[begin + 1].text : t[begin].text);
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
