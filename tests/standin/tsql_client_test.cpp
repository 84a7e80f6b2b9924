// FreeTDS's own command-line client, tsql, logs in to the stand-in, lists the sample's
// databases and reads every table of the sample.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "support/standin_process.h"

namespace {

const std::string kSample = std::string(VELMORA_DATA_DIR) + "/sample.json";
const std::string kTypes = std::string(VELMORA_TEST_DATA_DIR) + "/standin/types.json";
const std::string kTsql = "/usr/bin/tsql";

std::vector<std::string> splitLines(const std::string& text, char separator) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    auto end = text.find(separator, start);
    out.push_back(text.substr(start, end - start));
    if (end == std::string::npos)
      return out;
    start = end + 1;
  }
}

ProgramResult tsql(const StandinProcess& server, const std::string& password,
                   const std::string& database, const std::vector<std::string>& statements) {
  std::string input;
  for (const auto& s : statements)
    input += s + "\ngo\n";
  // -o fq: no footers, no prompts; results on standard output, messages on standard error.
  return runProgram({kTsql, "-H", "127.0.0.1", "-p", std::to_string(server.port()), "-U", "sa",
                     "-P", password, "-D", database, "-o", "fq"},
                    input, std::chrono::seconds(30));
}

TEST(TsqlClient, ReadsTheSampleExactly) {
  if (access(kTsql.c_str(), X_OK) != 0)
    GTEST_SKIP() << "tsql (freetds-bin) is not installed";
  StandinProcess server(kSample);
  struct Case {
    std::string statement;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"Select Name from SysDataBases where DBid>6", "name\nShop\nEmpty\n"},
      {"select name from SysObjects where OBJECTPROPERTY(id, N'IsUserTable')= 1",
       "name\nDept\nProducts\nOrder Details\nAudit\nCustomers\n"},
      {"select * from Dept",
       "ID\tName\tActive\tNote\n1\tSales\t1\tNULL\n2\tO'Brien & Co\t0\tcall back\n"},
      {"select * from Products",
       "ProductID\tName\tPrice\tWeight\tRate\tQty\tStock\tBig\tCode\tAdded\tDisc\tPct\tGuid\tPic\t"
       "Total\tRV\n"
       "1\tGreen Tea\t12.5000\t0.100000001\t1000000000000000\t-42\t5\t-9223372036854775808\tAB    "
       "\tJan  5 2023 09:05AM\t12345\t3.14159\t6F9619FF-8B86-D011-B42D-00C04FC964FF\t410042\t7\t"
       "00000000000007d1\n"
       "2\t  Spaced  \tNULL\t0\t-1.5\t0\t255\t9007199254740993\t      \tDec 30 1899 12:00AM\t-1\t"
       "0.00001\tNULL\t\tNULL\t00000000000007d2\n"},
      {"select * from [Order Details]", "OrderID\tUnit Price\tQuantity\n10248\t14.00\t12\n"},
      {"select * from Audit", "At\tWhat\n"},
      {"select * from Customers",
       "Code\tName\tMemo\tBorn\nC001 \t张三\tfirst line\r\nsecond line\tJul  1 1990 12:00AM\n"
       "C002 \tZoë\tNULL\tNULL\n"},
  };
  for (const auto& c : cases) {
    ProgramResult r = tsql(server, "Velmora#2026", "Shop", {c.statement});
    EXPECT_EQ(r.out, c.expected) << c.statement << "\n" << r.err;
  }
}

// tsql asks for encryption when the server offers it: the login packet alone against a
// server with a certificate, everything against one that requires it.
TEST(TsqlClient, ReadsOverEncryptedConnections) {
  if (access(kTsql.c_str(), X_OK) != 0)
    GTEST_SKIP() << "tsql (freetds-bin) is not installed";
  for (const char* mode : {"login", "required"}) {
    SCOPED_TRACE(mode);
    StandinProcess server(kSample, {"--encryption", mode});
    ProgramResult r = tsql(server, "Velmora#2026", "Shop", {"select * from Dept"});
    EXPECT_EQ(r.out, "ID\tName\tActive\tNote\n1\tSales\t1\tNULL\n2\tO'Brien & Co\t0\tcall back\n")
        << r.err;
  }
}

// 5000-character values: cut at the server's default TEXTSIZE of 4096 bytes (2048 UTF-16
// characters), whole after SET TEXTSIZE; xml is never cut.
TEST(TsqlClient, LongValuesAreCutAt4096BytesUntilTextSizeIsSet) {
  if (access(kTsql.c_str(), X_OK) != 0)
    GTEST_SKIP() << "tsql (freetds-bin) is not installed";
  StandinProcess server(kTypes);
  std::string ascii, wide, hex;
  for (int i = 0; i < 500; ++i) {
    ascii += "0123456789";
    wide += "abcdefghi中";
  }
  for (int i = 0; i < 5000; ++i) {
    hex += "0123456789abcdef"[(i % 256) >> 4];
    hex += "0123456789abcdef"[i % 16];
  }
  std::string wideCut;
  for (int i = 0; i < 2048; ++i)
    wideCut += i % 10 == 9 ? "中" : std::string(1, char('a' + i % 10));
  std::string doc = "<r>" + ascii + "</r>";
  std::vector<std::string> cut = {
      "1",     ascii.substr(0, 4096), wideCut, hex.substr(0, 8192), ascii.substr(0, 4096),
      wideCut, hex.substr(0, 8192),   doc};
  std::vector<std::string> whole = {"1", ascii, wide, hex, ascii, wide, hex, doc};
  ProgramResult r = tsql(server, "Standin#1", "Types",
                         {"select * from Long", "SET TEXTSIZE 2147483647", "select * from Long"});
  auto lines = splitLines(r.out, '\n');
  ASSERT_GE(lines.size(), 4u) << r.err;
  EXPECT_EQ(splitLines(lines[1], '\t'), cut);
  EXPECT_EQ(splitLines(lines[3], '\t'), whole);
}

TEST(TsqlClient, SeesTheServerErrorsWithTheirTexts) {
  if (access(kTsql.c_str(), X_OK) != 0)
    GTEST_SKIP() << "tsql (freetds-bin) is not installed";
  StandinProcess server(kSample);
  struct Case {
    std::string password, database, statement;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {"wrong",
       "Shop",
       "",
       {"Msg 18456 (severity 14, state 1)", "\"Login failed for user 'sa'.\""}},
      {"Velmora#2026",
       "NoSuchDb",
       "",
       {"Msg 4060 (severity 11, state 1)",
        "\"Cannot open database \"NoSuchDb\" requested by the login. The login failed.\"",
        "Msg 18456 (severity 14, state 1)"}},
      {"Velmora#2026",
       "Shop",
       "select * from Nope",
       {"Msg 208 (severity 16, state 1)", "\"Invalid object name 'Nope'.\""}},
  };
  for (const auto& c : cases) {
    ProgramResult r = tsql(server, c.password, c.database, {c.statement});
    std::size_t at = 0;
    for (const auto& m : c.messages) {
      at = r.err.find(m, at);
      EXPECT_NE(at, std::string::npos) << m << " missing from:\n" << r.err;
    }
  }
}

}  // namespace
