#include "server/connection_string.h"

#include <gtest/gtest.h>

#include "server/data_access.h"

namespace velmora::server {
namespace {

std::string narrow(const std::u16string& text) {
  return std::string(text.begin(), text.end());
}

struct ParseCase {
  std::u16string text;
  std::u16string key;
  std::u16string expected;
};

TEST(ParseConnectionString, FollowsTheOleDbGrammar) {
  const ParseCase cases[] = {
      {u"Password=abc;User ID=sa", u"password", u"abc"},
      {u"Password=abc;User ID=sa", u"user id", u"sa"},
      {u"PASSWORD=abc", u"password", u"abc"},
      {u"  Data Source  =  host , 1433 ;", u"data source", u"host , 1433"},
      {u"Password=\"a;b\";User ID=sa", u"password", u"a;b"},
      {u"Password=\"say \"\"hi\"\"\"", u"password", u"say \"hi\""},
      {u"Password='it''s'", u"password", u"it's"},
      {u"Password='a\"b'", u"password", u"a\"b"},
      {u"Password=\"a'b\"", u"password", u"a'b"},
      {u"Password=a=b=c", u"password", u"a=b=c"},
      {u"Password=\"  padded  \"", u"password", u"  padded  "},
      {u"Password=", u"password", u""},
      {u"Password=first;password=second", u"password", u"second"},
      {u"a==b=1", u"a=b", u"1"},
      {u";;Password=x;;", u"password", u"x"},
      {u"Password=张三", u"password", u"张三"},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(narrow(c.text));
    const ConnectionProperties properties = parseConnectionString(c.text);
    const auto found = properties.find(c.key);
    ASSERT_NE(found, properties.end());
    EXPECT_EQ(found->second, c.expected);
  }
}

TEST(ParseConnectionString, RejectsBrokenStrings) {
  const std::u16string cases[] = {
      u"Password=\"unclosed", u"Password='unclosed;User ID=sa", u"Password=\"a\"b;User ID=sa",
      u"JustAWord",           u"JustAWord;Password=x",          u"=value",
  };
  for (const std::u16string& text : cases) {
    SCOPED_TRACE(narrow(text));
    EXPECT_THROW(parseConnectionString(text), DataAccessError);
  }
}

struct DataSourceCase {
  std::u16string text;
  std::u16string host;
  std::optional<unsigned> port;
  std::u16string instance;
};

TEST(ParseDataSource, AcceptsTheServerForms) {
  const DataSourceCase cases[] = {
      {u"dbhost", u"dbhost", {}, u""},
      {u"dbhost,1444", u"dbhost", 1444, u""},
      {u"dbhost , 1444", u"dbhost", 1444, u""},
      {u"tcp:dbhost,1444", u"dbhost", 1444, u""},
      {u"TCP:10.0.0.5", u"10.0.0.5", {}, u""},
      {u"dbhost\\SQLEXPRESS", u"dbhost", {}, u"SQLEXPRESS"},
      {u".", u"localhost", {}, u""},
      {u"(local)", u"localhost", {}, u""},
      {u"(LOCAL)\\Inst", u"localhost", {}, u"Inst"},
      {u".,1500", u"localhost", 1500, u""},
      {u"127.0.0.1,65535", u"127.0.0.1", 65535, u""},
      {u"", u"", {}, u""},
  };
  for (const DataSourceCase& c : cases) {
    SCOPED_TRACE(narrow(c.text));
    const ServerAddress address = parseDataSource(c.text);
    EXPECT_EQ(address.host, c.host);
    EXPECT_EQ(address.port, c.port);
    EXPECT_EQ(address.instance, c.instance);
  }
}

TEST(ParseDataSource, RejectsBadPorts) {
  for (const std::u16string text :
       {u"h,", u"h,0", u"h,65536", u"h,99999999999", u"h,12a", u"h,-1"}) {
    SCOPED_TRACE(narrow(text));
    EXPECT_THROW(parseDataSource(text), DataAccessError);
  }
}

TEST(OdbcAttributeValue, BracesValuesThatWouldBreakTheString) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"plain", u"plain"},     {u"", u""},         {u"with blank", u"with blank"},
      {u"a;b", u"{a;b}"},       {u"a=b", u"{a=b}"}, {u"{x}", u"{{x}}"},
      {u"a}b", u"{a}b}"},       {u"x}", u"{x}}"},   {u" lead", u"{ lead}"},
      {u"trail ", u"{trail }"}, {u"\"q'", u"\"q'"},
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(narrow(value));
    EXPECT_EQ(odbcAttributeValue(value), expected);
  }
  // FreeTDS would end the value at "};" and read the rest as further keys.
  EXPECT_THROW(odbcAttributeValue(u"a};UID=other"), DataAccessError);
}

TEST(OdbcConnectionString, CarriesEveryPartOfTheAdoString) {
  struct Case {
    std::u16string ado;
    std::optional<unsigned> instancePort;
    std::u16string odbc;
  };
  const Case cases[] = {
      {u"Provider=SQLOLEDB.1;Password=pw;Persist Security Info=True;User ID=sa;"
       u"Initial Catalog=Master;Data Source=127.0.0.1,1433",
       std::nullopt,
       u"Driver=FreeTDS;Server=127.0.0.1;Port=1433;Database=Master;UID=sa;PWD=pw;"
       u"TDS_Version=7.4;ClientCharset=UTF-8;Encryption=request"},
      {u"Password=\"a;b}\";User ID=sa;Initial Catalog=Shop;Data Source=(local)", std::nullopt,
       u"Driver=FreeTDS;Server=localhost;Database=Shop;UID=sa;PWD={a;b}};"
       u"TDS_Version=7.4;ClientCharset=UTF-8;Encryption=request"},
      // The Browser's port goes beside the instance name, which FreeTDS passes on in PRELOGIN.
      {u"Password=;User ID=sa;Initial Catalog=;Data Source=host\\INST", 49172,
       u"Driver=FreeTDS;Server=host\\INST;Port=49172;Database=;UID=sa;PWD=;"
       u"TDS_Version=7.4;ClientCharset=UTF-8;Encryption=request"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(narrow(c.ado));
    EXPECT_EQ(odbcConnectionString(parseConnectionString(c.ado), c.instancePort), c.odbc);
  }
}

}  // namespace
}  // namespace velmora::server
