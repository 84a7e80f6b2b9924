#include "text/trim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

TEST(TrimTest, NarrowTextLosesCodesZeroTo32AtBothEnds) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {" \t\r\n", ""},
      {std::string("\0 a b\x1F\0", 7), "a b"},
      {"\x01x\x20", "x"},
      {"!x~", "!x~"},
      {"\x7F"
       "x\x7F",
       "\x7F"
       "x\x7F"},
      // Bytes above 127 (a GBK ideographic space, UTF-8 lead bytes) are characters.
      {"\xA1\xA1"
       "a\xA1\xA1",
       "\xA1\xA1"
       "a\xA1\xA1"},
      {"\xE4\xB8\xAD \xE6\x96\x87", "\xE4\xB8\xAD \xE6\x96\x87"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_EQ(text::trimmed(text), expected);
  }
}

TEST(TrimTest, WideTextLosesCodesZeroTo32AtBothEnds) {
  const std::vector<std::pair<std::u16string, std::u16string>> cases = {
      {u"", u""},
      {std::u16string(u"\0 \t", 3), u""},
      {u" 部门 名称\r\n", u"部门 名称"},
      {u"\u3000x\u3000", u"\u3000x\u3000"},
      {u"\u0120x\u0100", u"\u0120x\u0100"},
      {u"\u00A0x\u0085", u"\u00A0x\u0085"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_TRUE(text::trimmed(text) == expected);
  }
}

}  // namespace
}  // namespace velmora
