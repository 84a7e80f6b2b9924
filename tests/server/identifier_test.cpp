#include "server/identifier.h"

#include <gtest/gtest.h>

namespace velmora::server {
namespace {

struct IdentifierCase {
  std::u16string name;
  std::u16string expected;
};

TEST(SqlIdentifier, RegularNamesStayBareOthersAreBracketed) {
  const IdentifierCase cases[] = {
      {u"Dept", u"Dept"},
      {u"_x", u"_x"},
      {u"a1@#$_", u"a1@#$_"},
      {u"张三", u"张三"},
      {u"Zoë", u"Zoë"},
      {u"表1", u"表1"},
      // Names are used whole: blanks at the ends make another name.
      {u" Dept\t", u"[ Dept\t]"},
      {u"Order Details", u"[Order Details]"},
      {u"  Order Details ", u"[  Order Details ]"},
      {u"1abc", u"[1abc]"},
      {u"@var", u"[@var]"},
      {u"#temp", u"[#temp]"},
      {u"$x", u"[$x]"},
      {u"a.b", u"[a.b]"},
      {u"dbo.Dept", u"[dbo.Dept]"},
      {u"a-b", u"[a-b]"},
      {u"a]b", u"[a]]b]"},
      {u"]]", u"[]]]]]"},
      {u"[x]", u"[[x]]]"},
      {u"O'Brien", u"[O'Brien]"},
      {u"a;b", u"[a;b]"},
      {u"", u"[]"},
      {u"   ", u"[   ]"},
  };
  for (const IdentifierCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name.size() << " units");
    EXPECT_EQ(sqlIdentifier(c.name), c.expected);
  }
}

// Letters are the Unicode categories L*, digits Nd; everything else makes a name irregular.
TEST(SqlIdentifier, UnicodeLettersAndDigitsStayBare) {
  const IdentifierCase cases[] = {
      {u"\U00020000表", u"\U00020000表"},  // CJK extension B, a surrogate pair
      {u"Ωμέγα", u"Ωμέγα"},
      {u"a１", u"a１"},  // full-width digit one
      {u"ｘ", u"ｘ"},    // full-width letter
      {u"１a", u"[１a]"},
      {u"a\u3000b", u"[a\u3000b]"},  // ideographic space
      {u"a\u00A0b", u"[a\u00A0b]"},  // no-break space
      {u"a，b", u"[a，b]"},          // full-width comma
      {u"表（一）", u"[表（一）]"},
      {u"a\U0001F600", u"[a\U0001F600]"},  // emoji
      {u"a\xD800"
       u"b",
       u"[a\xD800"
       u"b]"},         // a lone surrogate
      {u"Ⅻ", u"[Ⅻ]"},  // a letter-like number, not a letter
  };
  for (const IdentifierCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name.size() << " units");
    EXPECT_EQ(sqlIdentifier(c.name), c.expected);
  }
}

TEST(SqlIdentifier, ReservedKeywordsAreBracketedInAnyCase) {
  const IdentifierCase cases[] = {
      {u"Order", u"[Order]"},
      {u"order", u"[order]"},
      {u"USER", u"[USER]"},
      {u"Add", u"[Add]"},
      {u"writetext", u"[writetext]"},
      {u"IDENTITY_INSERT", u"[IDENTITY_INSERT]"},
      {u"IdentityCol", u"[IdentityCol]"},
      {u"SemanticSimilarityDetailsTable", u"[SemanticSimilarityDetailsTable]"},
      {u"Key", u"[Key]"},
      {u"Current_Date", u"[Current_Date]"},
      {u"Percent", u"[Percent]"},
      // Near misses and words that are only ODBC or future keywords stay bare.
      {u"Orders", u"Orders"},
      {u"Ad", u"Ad"},
      {u"Name", u"Name"},
      {u"Date", u"Date"},
      {u"Text", u"Text"},
      {u"Value", u"Value"},
      {u"Absolute", u"Absolute"},
      {u"Action", u"Action"},
      {u"Zone", u"Zone"},
      {u"IDENTITY_INSERTX", u"IDENTITY_INSERTX"},
      {u"SemanticSimilarityDetailsTables", u"SemanticSimilarityDetailsTables"},
  };
  for (const IdentifierCase& c : cases) {
    SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
    EXPECT_EQ(sqlIdentifier(c.name), c.expected);
  }
}

}  // namespace
}  // namespace velmora::server
