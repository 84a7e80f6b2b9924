// python3-tds, a client no one here wrote, reads the sample and the type fixture through the
// stand-in and must see exactly the fixture's values.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/standin_process.h"

namespace {

const std::string kSample = std::string(VELMORA_DATA_DIR) + "/sample.json";
const std::string kTypes = std::string(VELMORA_TEST_DATA_DIR) + "/standin/types.json";
const std::string kSchemas = std::string(VELMORA_TEST_DATA_DIR) + "/standin/schemas.json";
const std::string kDump = std::string(VELMORA_TEST_DATA_DIR) + "/standin/pytds_dump.py";

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    out.push_back(line);
  return out;
}

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    auto bar = line.find('|', start);
    out.push_back(line.substr(start, bar - start));
    if (bar == std::string::npos)
      return out;
    start = bar + 1;
  }
}

std::vector<std::string> dump(const StandinProcess& server, const std::string& password,
                              const std::string& database,
                              const std::vector<std::string>& statements,
                              const std::string& tdsVersion = "7.4",
                              const std::vector<std::string>& tls = {}) {
  std::vector<std::string> argv{"/usr/bin/python3", kDump, "--login-timeout", "10", "--tds",
                                tdsVersion};
  argv.insert(argv.end(), tls.begin(), tls.end());
  argv.insert(argv.end(), {std::to_string(server.port()), "sa", password, database});
  argv.insert(argv.end(), statements.begin(), statements.end());
  ProgramResult r = runProgram(argv);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return lines(r.out);
}

struct TableCase {
  std::string statement;
  std::vector<std::string> expected;
};

TEST(PytdsClient, ReadsTheSampleExactly) {
  StandinProcess server(kSample);
  const std::vector<TableCase> cases = {
      {"Select Name from SysDataBases where DBid>6\r\n",
       {"columns: name", "\"Shop\"", "\"Empty\""}},
      {"select name from SysObjects where OBJECTPROPERTY(id, N'IsUserTable')= 1\r\n",
       {"columns: name", "\"Dept\"", "\"Products\"", "\"Order Details\"", "\"Audit\"",
        "\"Customers\""}},
      {"select * from Dept",
       {"columns: ID|Name|Active|Note", "1|\"Sales\"|1|NULL",
        "2|\"O'Brien & Co\"|0|\"call back\""}},
      {"select * from Products",
       {"columns: ProductID|Name|Price|Weight|Rate|Qty|Stock|Big|Code|Added|Disc|Pct|Guid|Pic|"
        "Total|RV",
        "1|\"Green Tea\"|12.5|0.10000000149011612|1000000000000000.0|-42|5|-9223372036854775808|"
        "\"AB    \"|2023-01-05T09:05:07.250000|12345|3.14159|6F9619FF-8B86-D011-B42D-00C04FC964FF|"
        "0x410042|7|0x00000000000007D1",
        "2|\"  Spaced  \"|NULL|0.0|-1.5|0|255|9007199254740993|\"      \"|1899-12-30T00:00:00|-1|"
        "0.00001|NULL|0x|NULL|0x00000000000007D2"}},
      {"select * from [Order Details]", {"columns: OrderID|Unit Price|Quantity", "10248|14|12"}},
      {"select * from dbo.[Order Details]",
       {"columns: OrderID|Unit Price|Quantity", "10248|14|12"}},
      {"select * from Audit", {"columns: At|What"}},
      {"select * from Customers",
       {"columns: Code|Name|Memo|Born",
        "\"C001 \"|\"张三\"|\"first line\\r\\nsecond line\"|1990-07-01",
        "\"C002 \"|\"Zoë\"|NULL|NULL"}},
      {"select name from syscolumns where id = object_id(N'Products') and iscomputed = 1",
       {"columns: name", "\"Total\""}},
      {"select * from Nope", {"error 208: Invalid object name 'Nope'."}},
  };
  std::vector<std::string> statements;
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    statements.push_back(c.statement);
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
  }
  EXPECT_EQ(dump(server, "Velmora#2026", "Shop", statements), expected);
}

// Tables of one name in two schemas, names that need brackets, and the names SQL Server
// writes in its errors.
TEST(PytdsClient, ReadsTablesOfEverySchema) {
  StandinProcess server(kSchemas);
  const std::vector<TableCase> cases = {
      {"select name, SCHEMA_NAME(uid) from SysObjects where OBJECTPROPERTY(id, N'IsUserTable')= 1",
       {"columns: name|", "\"T\"|\"dbo\"", "\"T\"|\"sales\"", "\"Only\"|\"hr\"",
        "\" lead\"|\"dbo\"", "\"a]b\"|\"O'Neil\""}},
      {"select OBJECT_SCHEMA_NAME(parent_object_id), OBJECT_NAME(parent_object_id), "
       "OBJECT_SCHEMA_NAME(referenced_object_id), OBJECT_NAME(referenced_object_id) from "
       "sys.foreign_keys",
       {"columns: |||", "\"sales\"|\"T\"|\"dbo\"|\"T\"", "\"hr\"|\"Only\"|\"sales\"|\"T\"",
        "\"hr\"|\"Only\"|\"hr\"|\"Only\"", "\"dbo\"|\" lead\"|\"O'Neil\"|\"a]b\""}},
      {"select * from T", {"columns: ID", "1"}},
      {"select * from [sales].[T]", {"columns: ID|Twice", "2|4"}},
      {"select * from [ lead]", {"columns: ID", "4"}},
      {"select * from [O'Neil].[a]]b]", {"columns: ID|Half", "5|2"}},
      {"select name from syscolumns where id = object_id(N'[O''Neil].[a]]b]') and iscomputed = 1",
       {"columns: name", "\"Half\""}},
      {"select name from syscolumns where id = object_id(N'sales.T') and iscomputed = 1",
       {"columns: name", "\"Twice\""}},
      // A one-part name means the login's default schema, dbo.
      {"select * from Only", {"error 208: Invalid object name 'Only'."}},
      {"select * from [hr].[Nope]", {"error 208: Invalid object name 'hr.Nope'."}},
  };
  std::vector<std::string> statements;
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    statements.push_back(c.statement);
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
  }
  EXPECT_EQ(dump(server, "Standin#1", "Catalog", statements), expected);
}

// python3-tds over TLS (OpenSSL, where FreeTDS uses GnuTLS), trusting the stand-in's
// certificate: each way a client and a server can agree on encryption.
TEST(PytdsClient, ReadsOverEncryptedConnections) {
  const std::string certificate = testing::TempDir() + "standin-certificate.pem";
  const std::vector<std::string> dept = {"columns: ID|Name|Active|Note", "1|\"Sales\"|1|NULL",
                                         "2|\"O'Brien & Co\"|0|\"call back\""};
  struct Case {
    const char* mode;
    std::vector<std::string> clientTls;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"login", {"--cafile", certificate, "--login-only"}, dept},  // the login packet only
      {"login", {"--cafile", certificate}, dept},                  // the client asks for all
      {"login", {}, dept},                                         // a client without TLS
      {"required", {"--cafile", certificate, "--login-only"}, dept},
      {"required",
       {},
       {"login error: None: Client does not have encryption enabled but it is required by "
        "server, enable encryption and try connecting again"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + std::to_string(c.clientTls.size()));
    StandinProcess server(kSample, {"--encryption", c.mode, "--certificate", certificate});
    EXPECT_EQ(dump(server, "Velmora#2026", "Shop", {"select * from Dept"}, "7.4", c.clientTls),
              c.expected);
  }
}

TEST(PytdsClient, ReadsEveryTypeExactly) {
  StandinProcess server(kTypes);
  std::vector<std::string> expected = {
      "columns: Id|Flag|Tiny|Small|Whole|Big|Single|Double|SmallCash|Cash|Dec|Num|SmallStamp|"
      "Stamp|Day|Clock|Stamp2|StampOffset|Fixed|Varying|Memo|WideFixed|Wide|WideMemo|Sys|Doc|"
      "Bin|VarBin|Picture|Guid|Any|MaxText|MaxWide|MaxBin|Tree|Shape|Place",
      "1|1|255|-32768|-2147483648|-9223372036854775808|1.5|-2.25|-214748.3648|"
      "922337203685477.5807|-12345678.91|12345678901234567890123456789012.123456|"
      "2079-06-06T23:59:00|2023-01-05T09:05:07.997000|0001-01-01|23:59:59.999000|"
      "9999-12-31T23:59:59.999999|2023-06-30T20:15:00.250000+08:00|\"AB    \"|\"café\"|"
      "\"长文本\"|\"Zoë \"|\"张三丰\"|\"中文长文本\"|\"sys\"|\"<a>张</a>\"|0x01020000|"
      "0x00410042|0xFF00|6F9619FF-8B86-D011-B42D-00C04FC964FF|-1.25|\"max\"|\"最大\"|0x0102|"
      "0x58|0x00000000010C|0xE6100000",
      "2|0|0|32767|2147483647|9223372036854775807|-32500000768.0|1e-300|214748.3647|"
      "-922337203685477.5808|0.01|-0.000001|1900-01-01T00:00:00|1753-01-01T00:00:00|"
      "9999-12-31|00:00:00|0001-01-01T00:00:00|0001-01-01T14:00:00-14:00|\"      \"|"
      "\"O'Brien\"|\"\"|\"    \"|\"\"|\"\"|\"t\"|\"<b/>\"|0x00000000|0x|0x|"
      "00000000-0000-0000-0000-000000000000|\"变体\"|\"\"|\"\"|0x|0x|0x|0x",
      "3|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|"
      "NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|"
      "NULL|NULL",
      // NOT NULL columns travel as the fixed types.
      "columns: Flag|Tiny|Small|Whole|Big|Single|Double|SmallCash|Cash|SmallStamp|Stamp",
      "1|7|-7|70000|7000000000|0.5|0.125|1.0001|-1.0001|1999-12-31T23:59:00|"
      "2000-02-29T12:00:00.003000",
      // The Latin database holds code page 1252 text; a character it lacks became '?'.
      "done", "columns: Code|Word", "\"Zoë \"|\"café\"", "\"?   \"|\"x\""};
  EXPECT_EQ(
      dump(server, "Standin#1", "Types",
           {"select * from AllTypes", "select * from NotNull", "use Latin", "select * from Words"}),
      expected);
}

// Row n of Variants holds a sql_variant of the n-th base type below; python3-tds decodes the
// base type's properties (a character kind's collation picks the code page) and the value.
TEST(PytdsClient, ReadsASqlVariantOfEveryBaseType) {
  StandinProcess server(kTypes);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"tinyint", "255"},
      {"smallint", "-32768"},
      {"int", "-2147483648"},
      {"bigint", "9223372036854775807"},
      {"real", "0.10000000149011612"},
      {"float", "0.1"},
      {"money", "-922337203685477.5808"},
      {"smallmoney", "214748.3647"},
      {"decimal(38,33)", "-12345.123456789012345678901234567890123"},
      {"numeric", "123456789012345678"},
      {"bit", "1"},
      {"datetime", "2023-01-05T09:05:07.997000"},
      {"smalldatetime", "2079-06-06T23:59:00"},
      {"date", "0001-01-01"},
      {"time(3)", "23:59:59.999000"},
      {"datetime2(7)", "9999-12-31T23:59:59.999999"},
      {"datetimeoffset(2)", "2023-06-30T20:15:00.250000+08:00"},
      {"char(6)", "\"AB    \""},
      {"varchar(10)", "\"长文本\""},
      {"nchar(4)", "\"Zoë \""},
      {"nvarchar(10)", "\"张三\""},
      {"binary(4)", "0x01020000"},
      {"varbinary(10)", "0x4142"},
      {"uniqueidentifier", "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
  };
  auto out = dump(server, "Standin#1", "Types", {"select * from Variants"});
  ASSERT_EQ(out.size(), cases.size() + 1);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(out[i + 1], std::to_string(i + 1) + "|" + cases[i].second) << cases[i].first;
  }
}

// Clients before TDS 7.3 get the time types as text and, before 7.2, the (max) types and xml
// as text, ntext and image, as from a real server; the values stay the same.
TEST(PytdsClient, OlderTdsVersionsGetTheirOwnTypes) {
  StandinProcess server(kTypes);
  struct Case {
    std::string version;
    std::string timeColumns;  // Day..StampOffset of the first row
  };
  const std::vector<Case> cases = {
      {"7.1",
       "\"0001-01-01\"|\"23:59:59.999\"|\"9999-12-31 23:59:59.9999999\"|"
       "\"2023-06-30 20:15:00.25 +08:00\""},
      {"7.2",
       "\"0001-01-01\"|\"23:59:59.999\"|\"9999-12-31 23:59:59.9999999\"|"
       "\"2023-06-30 20:15:00.25 +08:00\""},
      {"7.3",
       "0001-01-01|23:59:59.999000|9999-12-31T23:59:59.999999|2023-06-30T20:15:00.250000+08:00"},
  };
  for (const auto& c : cases) {
    auto out = dump(server, "Standin#1", "Types", {"select * from AllTypes"}, c.version);
    ASSERT_EQ(out.size(), 4u) << c.version;
    auto fields = split(out[1]);
    ASSERT_EQ(fields.size(), 37u);
    std::string times = fields[14] + "|" + fields[15] + "|" + fields[16] + "|" + fields[17];
    EXPECT_EQ(times, c.timeColumns) << c.version;
    EXPECT_EQ(fields[31] + "|" + fields[32] + "|" + fields[34], "\"max\"|\"最大\"|0x58")
        << c.version;
    std::string nulls = "3";
    for (int i = 0; i < 36; ++i)
      nulls += "|NULL";
    EXPECT_EQ(out[3], nulls) << c.version;
  }
}

// The long values are 5000 characters (and 5000 bytes); the server's default TEXTSIZE of 4096
// bytes cuts text, ntext, image and the (max) types, but never xml.
TEST(PytdsClient, LongValuesAreCutAt4096BytesUntilTextSizeIsSet) {
  StandinProcess server(kTypes);
  std::string ascii, wide, binary = "0x";
  for (int i = 0; i < 500; ++i) {
    ascii += "0123456789";
    wide += "abcdefghi中";
  }
  for (int i = 0; i < 5000; ++i) {
    static const char* hex = "0123456789ABCDEF";
    binary += hex[(i % 256) >> 4];
    binary += hex[i % 16];
  }
  auto quoted = [](const std::string& s) { return "\"" + s + "\""; };
  // 4096 bytes are 2048 UTF-16 characters; "中" is three bytes in UTF-8.
  std::string wideCut;
  for (int i = 0; i < 2048; ++i)
    wideCut += i % 10 == 9 ? "中" : std::string(1, char('a' + i % 10));
  std::vector<std::string> cut = {"1",
                                  quoted(ascii.substr(0, 4096)),
                                  quoted(wideCut),
                                  binary.substr(0, 2 + 2 * 4096),
                                  quoted(ascii.substr(0, 4096)),
                                  quoted(wideCut),
                                  binary.substr(0, 2 + 2 * 4096),
                                  quoted("<r>" + ascii + "</r>")};
  std::vector<std::string> whole = {
      "1",           quoted(ascii), quoted(wide), binary,
      quoted(ascii), quoted(wide),  binary,       quoted("<r>" + ascii + "</r>")};
  auto out = dump(server, "Standin#1", "Types",
                  {"select * from Long", "SET TEXTSIZE 2147483647", "select * from Long"});
  ASSERT_EQ(out.size(), 5u);
  EXPECT_EQ(split(out[1]), cut);
  EXPECT_EQ(out[2], "done");
  EXPECT_EQ(split(out[4]), whole);
}

TEST(PytdsClient, SeesTheServerErrorsWithTheirTexts) {
  StandinProcess server(kSample);
  struct Case {
    std::string password, database;
    std::vector<std::string> statements;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"wrong", "Shop", {}, {"login error: 18456: Login failed for user 'sa'."}},
      {"Velmora#2026",
       "NoSuchDb",
       {},
       // python3-tds reports the last number and joins the texts of both messages.
       {"login error: 18456: Cannot open database \"NoSuchDb\" requested by the login. The "
        "login failed. Login failed for user 'sa'."}},
      {"Velmora#2026",
       "Shop",
       {"select * from [No Table]", "select * from dbo.Missing", "select Name from Dept"},
       {"error 208: Invalid object name 'No Table'.",
        "error 208: Invalid object name 'dbo.Missing'.",
        "error 102: Incorrect syntax near 'Name'."}},
  };
  for (const auto& c : cases) {
    auto out = dump(server, c.password, c.database, c.statements);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out, c.expected) << c.database;
  }
}

}  // namespace
