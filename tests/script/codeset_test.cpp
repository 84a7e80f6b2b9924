#include "script/codeset.h"

#include <gtest/gtest.h>

#include <clocale>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora::script {
namespace {

std::u16string units(std::initializer_list<char16_t> list) {
  return std::u16string(list);
}

struct NarrowCase {
  const char* codeset;
  std::u16string text;
  std::string bytes;
};

TEST(CodesetTest, FromUtf16GivesTheCodesetsBytes) {
  const std::vector<NarrowCase> cases = {
      {"UTF-8", u"", ""},
      {"UTF-8", u"insert T (A) Values(1)", "insert T (A) Values(1)"},
      {"UTF-8", u"中文", "\xE4\xB8\xAD\xE6\x96\x87"},
      {"UTF-8", u"\u00E9\u07FF\u0800\uFFFF", "\xC3\xA9\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {"UTF-8", u"\U0001F600\U0010FFFF", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
      {"UTF-8", units({u'A', 0xD800}), "A?"},
      {"UTF-8", units({u'A', 0xD800, u'B'}), "A?B"},
      {"UTF-8", units({0xDC00, 0xD800}), "??"},
      {"UTF-8", units({u'A', 0, u'\r', u'\n', 1, u'B'}),
       std::string("A\0\r\n\x01"
                   "B",
                   6)},
      {"GBK", u"insert T", "insert T"},
      {"GBK", u"中文", "\xD6\xD0\xCE\xC4"},
      {"GBK", u"中\u0E01文", "\xD6\xD0?\xCE\xC4"},
      {"GBK", u"A\U0001F600B", "A?B"},
      {"GBK", units({u'A', 0xD800, u'B'}), "A?B"},
      {"GBK", units({u'A', 0xDC00}), "A?"},
      {"GBK", units({u'A', 0xD800}), "A?"},
      {"GBK", units({u'A', 0, u'\r', u'\n', u'B'}), std::string("A\0\r\nB", 5)},
      {"GB18030", u"\u0E01\u0E01", "\x81\x32\xCE\x39\x81\x32\xCE\x39"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.codeset) + " case of " + std::to_string(c.text.size()) + " units");
    Codeset codeset(c.codeset);
    EXPECT_EQ(codeset.fromUtf16(c.text), c.bytes);
  }
}

struct WideCase {
  const char* codeset;
  std::string bytes;
  std::u16string text;
};

TEST(CodesetTest, ToUtf16ReplacesIllFormedBytes) {
  const std::vector<WideCase> cases = {
      {"UTF-8", "", u""},
      {"UTF-8", "\xE4\xB8\xAD\xE6\x96\x87", u"中文"},
      {"UTF-8", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"UTF-8",
       "A\x80"
       "B",
       u"A\uFFFDB"},
      {"UTF-8", "A\xE4\xB8", u"A\uFFFD"},
      {"UTF-8",
       "\xE4\xB8"
       "A",
       u"\uFFFDA"},
      {"UTF-8", "\xC0\x80", u"\uFFFD\uFFFD"},
      {"UTF-8", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"UTF-8", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"UTF-8", std::string("A\0B", 3), units({u'A', 0, u'B'})},
      {"GBK", "\xD6\xD0\xCE\xC4", u"中文"},
      {"GBK", "A\xD6", u"A\uFFFD"},
      {"GBK",
       "A\xFF"
       "B",
       u"A\uFFFDB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.codeset) + " case of " + std::to_string(c.bytes.size()) + " bytes");
    Codeset codeset(c.codeset);
    EXPECT_EQ(codeset.toUtf16(c.bytes), c.text);
  }
}

// The hand-written UTF-8 path must agree with iconv for every character.
TEST(CodesetTest, Utf8PathAgreesWithIconvForEveryCharacter) {
  std::u16string all;
  for (char32_t code = 1; code < 0x110000; code += code < 0x10000 ? 1 : 97) {
    if (code >= 0xD800 && code <= 0xDFFF)
      continue;
    if (code < 0x10000) {
      all += static_cast<char16_t>(code);
    } else {
      all += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      all += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    }
  }
  // glibc's own name for UTF-8 takes the iconv path.
  Codeset iconvUtf8("ISO-10646/UTF8/");
  Codeset utf8("UTF-8");
  const std::string encoded = utf8.fromUtf16(all);
  EXPECT_TRUE(encoded == iconvUtf8.fromUtf16(all));
  EXPECT_TRUE(utf8.toUtf16(encoded) == all);
}

TEST(CodesetTest, LongTextConvertsWhole) {
  std::u16string text(100000, u'中');
  text[50000] = u'\u0E01';
  Codeset gbk("GBK");
  const std::string bytes = gbk.fromUtf16(text);
  ASSERT_EQ(bytes.size(), 199999u);
  EXPECT_EQ(bytes.substr(99998, 5), "\xD6\xD0?\xD6\xD0");
  // Thai takes four bytes per unit in GB18030: more than the first output estimate.
  Codeset gb18030("GB18030");
  EXPECT_EQ(gb18030.fromUtf16(std::u16string(100000, u'\u0E01')).size(), 400000u);
}

// Characters the codeset lacks are remembered and the text is converted in runs between
// them; the bytes must be those of a character-by-character conversion, text after text.
TEST(CodesetTest, LackedCharactersAmidHeldOnesInLaterTexts) {
  Codeset gbk("GBK");
  std::u16string text;
  std::string bytes;
  for (int i = 0; i < 300; ++i) {
    text += u"中\U0001F600\u0E01a";
    bytes += "\xD6\xD0??a";
  }
  text += units({0xD800});
  bytes += "?";
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    EXPECT_EQ(gbk.fromUtf16(text), bytes);
    EXPECT_EQ(gbk.fromUtf16(u"\u0E01文\U0001F600"), "?\xCE\xC4?");
  }
}

TEST(CodesetTest, HoldsTellsWhetherEveryCharacterIsThere) {
  const struct {
    const char* codeset;
    std::u16string text;
    bool held;
  } cases[] = {
      {"GBK", u"张三　（一）", true},  {"GBK", u"a\u00A0b", false},  {"GBK", u"x\U0001F600", false},
      {"UTF-8", u"x\U0001F600", true}, {"UTF-8", u"a\xD800", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codeset);
    EXPECT_EQ(Codeset(c.codeset).holds(c.text), c.held);
  }
}

TEST(CodesetTest, UnknownCodesetIsRefused) {
  EXPECT_THROW(Codeset("NO-SUCH-CODESET"), std::runtime_error);
}

TEST(CodesetTest, ProcessCodesetFollowsTheLocale) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"C", "UTF-8"},
      {"POSIX", "UTF-8"},
      {"zh_CN.GBK", "GBK"},
      {"zh_CN.UTF-8", "UTF-8"},
  };
  for (const auto& [locale, codeset] : cases) {
    SCOPED_TRACE(locale);
    if (std::setlocale(LC_ALL, locale) == nullptr)
      continue;  // Not installed here (scripts/setup.sh installs it).
    EXPECT_EQ(Codeset::processCodesetName(), codeset);
  }
  std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace velmora::script
