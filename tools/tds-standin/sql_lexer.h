#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace standin {

// One token of a T-SQL batch.
struct Token {
  enum class Kind { Word, Identifier, String, Number, Variable, Symbol, Unclosed } kind;
  std::string text;  // identifiers unquoted, strings without quotes and with '' made '
  std::size_t start = 0, end = 0;  // where the token stands in the batch
  bool national = false;           // a string written N'...'
};

// Splits T-SQL text into tokens; comments and blanks go. Symbols are one character each.
std::vector<Token> tokenize(const std::string& text);

// A bare word equal to `word` (given in upper case) without regard to case.
bool isKeyword(const Token& t, const char* word);
bool isSymbol(const Token& t, const char* symbol);
// A bare or quoted name.
bool isName(const Token& t);

}  // namespace standin
