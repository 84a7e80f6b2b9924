#include "sql_lexer.h"

#include <cctype>

namespace standin {
namespace {

bool isWordChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '@' || c == '#' || c == '$' || c >= 0x80;
}

}  // namespace

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
    bool national = false;
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
      national = true;
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
      tokens.back().national = national;
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

bool isSymbol(const Token& t, const char* symbol) {
  return t.kind == Token::Kind::Symbol && t.text == symbol;
}

bool isName(const Token& t) {
  return t.kind == Token::Kind::Word || t.kind == Token::Kind::Identifier;
}

}  // namespace standin
