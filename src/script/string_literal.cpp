#include "script/string_literal.h"

#include <cstring>

#include "server/identifier.h"

namespace velmora::script {
namespace {

bool isBreak(char c) {
  return c == '\r' || c == '\n';
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// "GO" alone on the line but for blanks and tabs, any case, maybe followed by a count. Taken
// loosely ("GO5" counts too): splitting a value needlessly still writes the same value.
bool isBatchSeparator(std::string_view line) {
  std::size_t at = 0;
  while (at < line.size() && isBlank(line[at]))
    ++at;
  if (line.size() - at < 2 || (line[at] != 'G' && line[at] != 'g') ||
      (line[at + 1] != 'O' && line[at + 1] != 'o'))
    return false;
  at += 2;
  while (at < line.size() && isBlank(line[at]))
    ++at;
  while (at < line.size() && line[at] >= '0' && line[at] <= '9')
    ++at;
  while (at < line.size() && isBlank(line[at]))
    ++at;
  return at == line.size();
}

// Works on codeset bytes. A GBK character may end in the byte of '\' (0x5C); before a line
// break it makes the value split needlessly, which writes the same value. CR, LF and the
// letters of GO never occur inside a multi-byte character of a supported codeset.
bool runnerMisreads(std::string_view text) {
  if (text.empty())
    return false;
  // Most values hold no line break: then only the value as a whole can be a separator line.
  if (std::memchr(text.data(), '\n', text.size()) == nullptr &&
      std::memchr(text.data(), '\r', text.size()) == nullptr)
    return isBatchSeparator(text);
  for (std::size_t at = 0; at + 1 < text.size(); ++at)
    if (text[at] == '\\' && isBreak(text[at + 1]))
      return true;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= text.size(); ++at) {
    if (at < text.size() && !isBreak(text[at]))
      continue;
    if (isBatchSeparator(text.substr(start, at - start)))
      return true;
    start = at + 1;
  }
  return false;
}

void appendQuoted(std::string& line, std::string_view text, bool national) {
  if (national)
    line += 'N';
  server::appendEnclosed(line, text, '\'', '\'');
}

}  // namespace

void appendStringLiteral(std::string& line, std::string_view text, bool national) {
  if (!runnerMisreads(text)) {
    appendQuoted(line, text, national);
    return;
  }
  bool first = true;
  auto join = [&] {
    if (!first)
      line += '+';
    first = false;
  };
  std::size_t start = 0;
  for (std::size_t at = 0; at <= text.size(); ++at) {
    if (at < text.size() && !isBreak(text[at]))
      continue;
    if (at > start || at == text.size()) {
      join();
      appendQuoted(line, text.substr(start, at - start), national);
    }
    if (at < text.size()) {
      join();
      line += text[at] == '\r' ? "char(13)" : "char(10)";
    }
    start = at + 1;
  }
}

bool isPlainLiteralText(std::string_view text) {
  if (text.empty())
    return true;
  if (static_cast<unsigned char>(text.front()) <= 32 ||
      static_cast<unsigned char>(text.back()) <= 32)
    return false;
  for (const char c : text)
    if (c == '\'' || isBreak(c))
      return false;
  return !((text.front() == 'G' || text.front() == 'g') && isBatchSeparator(text));
}

}  // namespace velmora::script
