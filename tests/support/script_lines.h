#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace velmora::test {

// The bytes a script file holds for these lines: each followed by CR LF.
inline std::string crlfLines(std::initializer_list<std::string_view> lines) {
  std::string bytes;
  for (std::string_view line : lines) {
    bytes += line;
    bytes += "\r\n";
  }
  return bytes;
}

}  // namespace velmora::test
