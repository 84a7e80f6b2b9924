// The FreeTDS ODBC driver through unixODBC, the stack the product itself uses, reads the
// sample and the type fixture through the stand-in.
#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/standin_process.h"

namespace {

const std::string kSample = std::string(VELMORA_DATA_DIR) + "/sample.json";
const std::string kTypes = std::string(VELMORA_TEST_DATA_DIR) + "/standin/types.json";
const std::string kFilters = std::string(VELMORA_TEST_DATA_DIR) + "/standin/filters.json";

constexpr SQLLEN kSqlServerUdt = -151;

struct OdbcError : std::runtime_error {
  OdbcError(int n, const std::string& text) : std::runtime_error(text), native(n) {}
  int native;  // of the first diagnostic record
  std::vector<std::pair<int, std::string>> records;
};

// The diagnostics of a handle: the server's message numbers and texts without the driver's
// "[FreeTDS][SQL Server]" prefix.
OdbcError diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<std::pair<int, std::string>> records;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6];
    SQLINTEGER native = 0;
    SQLCHAR text[1024];
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(
            SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &length))) {
      break;
    }
    std::string message(reinterpret_cast<char*>(text));
    auto bracket = message.rfind(']');
    records.emplace_back(native,
                         bracket == std::string::npos ? message : message.substr(bracket + 1));
  }
  if (records.empty())
    return OdbcError(0, "no diagnostic");
  OdbcError e(records[0].first, records[0].second);
  e.records = records;
  return e;
}

class OdbcClient {
 public:
  OdbcClient(const StandinProcess& server, const std::string& password,
             const std::string& database) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
    std::string text = "Driver=FreeTDS;Server=" + server.serverText() + ";Database=" + database +
                       ";UID=sa;PWD={" + password + "};TDS_Version=7.4;ClientCharset=UTF-8";
    SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS,
                                    nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
      OdbcError e = diagnostic(SQL_HANDLE_DBC, dbc_);
      release();
      throw e;
    }
  }
  ~OdbcClient() {
    SQLDisconnect(dbc_);
    release();
  }

  struct Description {
    std::string typeName;
    bool autoUnique = false;
    bool nullable = false;
    SQLLEN updatable = 0;
  };

  std::vector<Description> describe(const std::string& statement) {
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
    std::string text = statement;
    if (!SQL_SUCCEEDED(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS))) {
      OdbcError e = diagnostic(SQL_HANDLE_STMT, stmt);
      SQLFreeHandle(SQL_HANDLE_STMT, stmt);
      throw e;
    }
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt, &columns);
    std::vector<Description> out;
    for (SQLSMALLINT c = 1; c <= columns; ++c) {
      Description d;
      SQLCHAR name[128];
      SQLSMALLINT length = 0;
      SQLLEN number = 0;
      SQLColAttribute(stmt, c, SQL_DESC_TYPE_NAME, name, sizeof name, &length, nullptr);
      d.typeName = reinterpret_cast<char*>(name);
      SQLColAttribute(stmt, c, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &number);
      d.autoUnique = number == SQL_TRUE;
      SQLColAttribute(stmt, c, SQL_DESC_NULLABLE, nullptr, 0, nullptr, &number);
      d.nullable = number == SQL_NULLABLE;
      SQLColAttribute(stmt, c, SQL_DESC_UPDATABLE, nullptr, 0, nullptr, &d.updatable);
      out.push_back(d);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return out;
  }

  // Prepares a statement once and runs it `times` times; returns the row count of each run.
  std::vector<std::size_t> runPrepared(const std::string& statement, int times) {
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
    std::string text = statement;
    std::vector<std::size_t> counts;
    bool ok = SQL_SUCCEEDED(SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS));
    for (int i = 0; ok && i < times; ++i) {
      ok = SQL_SUCCEEDED(SQLExecute(stmt));
      if (!ok)
        break;
      std::size_t rows = 0;
      while (SQL_SUCCEEDED(SQLFetch(stmt)))
        ++rows;
      counts.push_back(rows);
      SQLCloseCursor(stmt);
    }
    if (!ok) {
      OdbcError e = diagnostic(SQL_HANDLE_STMT, stmt);
      SQLFreeHandle(SQL_HANDLE_STMT, stmt);
      throw e;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return counts;
  }

  // Runs a statement with SQLExecDirect and returns "columns: ..." and one line per row,
  // values as the driver converts them to text, joined by "|"; NULL as NULL.
  std::vector<std::string> query(const std::string& statement) {
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
    std::string text = statement;
    SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
      OdbcError e = diagnostic(SQL_HANDLE_STMT, stmt);
      SQLFreeHandle(SQL_HANDLE_STMT, stmt);
      throw e;
    }
    std::vector<std::string> out;
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt, &columns);
    if (columns > 0) {
      std::string header = "columns: ";
      for (SQLSMALLINT c = 1; c <= columns; ++c) {
        SQLCHAR name[256];
        SQLSMALLINT length = 0;
        SQLColAttribute(stmt, c, SQL_DESC_NAME, name, sizeof name, &length, nullptr);
        header += (c > 1 ? "|" : "") + std::string(reinterpret_cast<char*>(name));
      }
      out.push_back(header);
      while (SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
        std::string row;
        for (SQLSMALLINT c = 1; c <= columns; ++c) {
          row += c > 1 ? "|" : "";
          row += value(stmt, c);
        }
        out.push_back(row);
      }
      if (rc != SQL_NO_DATA) {
        OdbcError e = diagnostic(SQL_HANDLE_STMT, stmt);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        throw e;
      }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return out;
  }

 private:
  // Reads a value piecewise; each piece but the last fills the buffer less its NUL.
  // Binary columns (the driver cannot turn the CLR types into text) come as bytes, shown as
  // upper-case hex.
  static std::string value(SQLHSTMT stmt, SQLSMALLINT column) {
    SQLLEN sqlType = 0;
    SQLColAttribute(stmt, column, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &sqlType);
    bool binary = sqlType == SQL_BINARY || sqlType == SQL_VARBINARY ||
                  sqlType == SQL_LONGVARBINARY || sqlType == kSqlServerUdt;
    std::string text = pieces(stmt, column, binary ? SQL_C_BINARY : SQL_C_CHAR);
    if (!binary || text == "NULL")
      return text;
    std::string hex = "0x";
    for (unsigned char c : text) {
      hex += "0123456789ABCDEF"[c >> 4];
      hex += "0123456789ABCDEF"[c & 15];
    }
    return hex;
  }

  // Reads a whole value piece by piece; a character value's pieces end in a NUL the driver
  // adds, which takes one byte of every full piece.
  static std::string pieces(SQLHSTMT stmt, SQLSMALLINT column, SQLSMALLINT cType) {
    const SQLLEN terminator = cType == SQL_C_CHAR ? 1 : 0;
    std::string data;
    char buffer[1024];
    for (int piece = 0; piece < 100000; ++piece) {
      SQLLEN indicator = 0;
      SQLRETURN rc = SQLGetData(stmt, column, cType, buffer, sizeof buffer, &indicator);
      if (rc == SQL_NO_DATA)
        return data;
      if (!SQL_SUCCEEDED(rc))
        throw diagnostic(SQL_HANDLE_STMT, stmt);
      if (indicator == SQL_NULL_DATA)
        return "NULL";
      bool whole = indicator != SQL_NO_TOTAL && indicator <= SQLLEN(sizeof buffer) - terminator;
      data.append(buffer, whole ? static_cast<std::size_t>(indicator)
                                : sizeof buffer - static_cast<std::size_t>(terminator));
      if (whole)
        return data;
    }
    throw std::runtime_error("a value that never ends");
  }

  void release() {
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }

  SQLHENV env_ = SQL_NULL_HANDLE;
  SQLHDBC dbc_ = SQL_NULL_HANDLE;
};

struct QueryCase {
  std::string statement;
  std::vector<std::string> expected;
};

void expectQueries(OdbcClient& client, const std::vector<QueryCase>& cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(client.query(c.statement), c.expected) << c.statement;
  }
}

TEST(OdbcClient, ReadsTheSampleExactly) {
  StandinProcess server(kSample);
  OdbcClient master(server, "Velmora#2026", "Master");
  expectQueries(master, {{"Select Name from SysDataBases where DBid>6\r\n",
                          {"columns: name", "Shop", "Empty"}},
                         // Among other statements of one batch the catalogue statement holds.
                         {"SET NOCOUNT ON; Select Name from SysDataBases where DBid>6\r\n",
                          {"columns: name", "Shop", "Empty"}}});
  OdbcClient shop(server, "Velmora#2026", "Shop");
  expectQueries(
      shop,
      {{"select name from SysObjects where OBJECTPROPERTY(id, N'IsUserTable')= 1\r\n",
        {"columns: name", "Dept", "Products", "Order Details", "Audit", "Customers"}},
       {"select * from Dept",
        {"columns: ID|Name|Active|Note", "1|Sales|1|NULL", "2|O'Brien & Co|0|call back"}},
       {"select * from Products",
        {"columns: ProductID|Name|Price|Weight|Rate|Qty|Stock|Big|Code|Added|Disc|Pct|Guid|Pic|"
         "Total|RV",
         "1|Green Tea|12.5000|0.100000001|1000000000000000|-42|5|-9223372036854775808|AB    |"
         "2023-01-05 09:05:07.250|12345|3.14159|6F9619FF-8B86-D011-B42D-00C04FC964FF|0x410042|7|"
         "0x00000000000007D1",
         "2|  Spaced  |NULL|0|-1.5|0|255|9007199254740993|      |1899-12-30 00:00:00.000|-1|"
         "0.00001|NULL|0x|NULL|0x00000000000007D2"}},
       {"select * from [Order Details]",
        {"columns: OrderID|Unit Price|Quantity", "10248|14.00|12"}},
       {"select * from Audit", {"columns: At|What"}},
       {"select * from Customers",
        {"columns: Code|Name|Memo|Born", "C001 |张三|first line\r\nsecond line|1990-07-01",
         "C002 |Zoë|NULL|NULL"}},
       {"select name from syscolumns where id = object_id(N'Products') and iscomputed = 1",
        {"columns: name", "Total"}},
       {"select name from syscolumns where id = object_id(N'[Order Details]') and iscomputed = 1",
        {"columns: name"}}});
}

// What the data access layer learns from the column descriptions: identity, nullability and
// the type names of money and timestamp.
TEST(OdbcClient, DescribesColumnsAsTheServerDoes) {
  StandinProcess server(kSample);
  OdbcClient client(server, "Velmora#2026", "Shop");
  auto columns = client.describe("select * from Products");
  struct Expected {
    std::size_t index;
    std::string typeName;
    bool autoUnique;
    bool nullable;
    SQLLEN updatable;
  };
  // The driver reports the server's "updatable unknown" flag as writable.
  constexpr SQLLEN kUnknown = SQL_ATTR_WRITE, kReadOnly = SQL_ATTR_READONLY;
  const std::vector<Expected> cases = {
      {0, "int", true, false, kReadOnly},     {1, "nvarchar", false, true, kUnknown},
      {2, "money", false, true, kUnknown},    {9, "datetime", false, true, kUnknown},
      {10, "decimal", false, true, kUnknown}, {12, "uniqueidentifier", false, true, kUnknown},
      {14, "int", false, true, kReadOnly},    {15, "timestamp", false, false, kReadOnly}};
  ASSERT_EQ(columns.size(), 16u);
  for (const auto& c : cases) {
    EXPECT_EQ(columns[c.index].typeName, c.typeName) << c.index;
    EXPECT_EQ(columns[c.index].autoUnique, c.autoUnique) << c.index;
    EXPECT_EQ(columns[c.index].nullable, c.nullable) << c.index;
    EXPECT_EQ(columns[c.index].updatable, c.updatable) << c.index;
  }
}

TEST(OdbcClient, ReadsEveryTypeExactly) {
  StandinProcess server(kTypes);
  OdbcClient client(server, "Standin#1", "Types");
  expectQueries(
      client,
      {{"select * from AllTypes",
        {"columns: Id|Flag|Tiny|Small|Whole|Big|Single|Double|SmallCash|Cash|Dec|Num|SmallStamp|"
         "Stamp|Day|Clock|Stamp2|StampOffset|Fixed|Varying|Memo|WideFixed|Wide|WideMemo|Sys|Doc|"
         "Bin|VarBin|Picture|Guid|Any|MaxText|MaxWide|MaxBin|Tree|Shape|Place",
         "1|1|255|-32768|-2147483648|-9223372036854775808|1.5|-2.25|-214748.3648|"
         "922337203685477.5807|-12345678.91|12345678901234567890123456789012.123456|"
         "2079-06-06 23:59:00|2023-01-05 09:05:07.997|1-01-01|23:59:59.999|"
         "9999-12-31 23:59:59.9999999|2023-06-30 20:15:00.25 +08:00|AB    |café|长文本|Zoë |"
         "张三丰|中文长文本|sys|<a>张</a>|0x01020000|0x00410042|0xFF00|"
         "6F9619FF-8B86-D011-B42D-00C04FC964FF|-1.25|max|最大|0x0102|0x58|0x00000000010C|"
         "0xE6100000",
         "2|0|0|32767|2147483647|9223372036854775807|-3.25000008e+10|1e-300|214748.3647|"
         "-922337203685477.5808|0.01|-0.000001|1900-01-01 00:00:00|1753-01-01 00:00:00.000|"
         "9999-12-31|00:00:00.000|1-01-01 00:00:00.0000000|1-01-01 14:00:00.00 -14:00|      |"
         "O'Brien||    |||t|<b/>|0x00000000|0x|0x|00000000-0000-0000-0000-000000000000|变体|||"
         "0x|0x|0x|0x",
         "3|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|"
         "NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|"
         "NULL|NULL|NULL"}},
       {"select * from NotNull",
        {"columns: Flag|Tiny|Small|Whole|Big|Single|Double|SmallCash|Cash|SmallStamp|Stamp",
         "1|7|-7|70000|7000000000|0.5|0.125|1.0001|-1.0001|1999-12-31 23:59:00|"
         "2000-02-29 12:00:00.003"}},
       // sql_variant values as the driver turns each base type into text.
       {"select * from Variants",
        {"columns: Id|Value",
         "1|255",
         "2|-32768",
         "3|-2147483648",
         "4|9223372036854775807",
         "5|0.100000001",
         "6|0.10000000000000001",
         "7|-922337203685477.5808",
         "8|214748.3647",
         "9|-12345.123456789012345678901234567890123",
         "10|123456789012345678",
         "11|1",
         "12|2023-01-05 09:05:07.997",
         "13|2079-06-06 23:59:00",
         "14|1-01-01",
         "15|23:59:59.999",
         "16|9999-12-31 23:59:59.9999999",
         "17|2023-06-30 20:15:00.25 +08:00",
         "18|AB    ",
         "19|长文本",
         "20|Zoë ",
         "21|张三",
         "22|01020000",
         "23|4142",
         "24|6F9619FF-8B86-D011-B42D-00C04FC964FF"}}});
  // Generated rows are the same on every read; a three-part name reaches them too.
  auto many = client.query("select * from Types.sales.Many");
  ASSERT_EQ(many.size(), 20001u);
  EXPECT_EQ(many[1], "1|zxhacmkdpgzovdvmgb|-14822819865072.0173|7042-09-01 14:25:41.381");
  EXPECT_EQ(client.query("select * from sales.Many"), many);
}

TEST(OdbcClient, LongValuesAreCutAt4096BytesUntilTextSizeIsSet) {
  StandinProcess server(kTypes);
  OdbcClient client(server, "Standin#1", "Types");
  std::string ascii, wide, binary = "0x";
  for (int i = 0; i < 500; ++i) {
    ascii += "0123456789";
    wide += "abcdefghi中";
  }
  for (int i = 0; i < 5000; ++i) {
    binary += "0123456789ABCDEF"[(i % 256) >> 4];
    binary += "0123456789ABCDEF"[i % 16];
  }
  std::string wideCut;  // 4096 bytes of UTF-16 are 2048 characters
  for (int i = 0; i < 2048; ++i)
    wideCut += i % 10 == 9 ? "中" : std::string(1, char('a' + i % 10));
  std::string doc = "<r>" + ascii + "</r>";
  std::string cut = "1|" + ascii.substr(0, 4096) + "|" + wideCut + "|" + binary.substr(0, 8194) +
                    "|" + ascii.substr(0, 4096) + "|" + wideCut + "|" + binary.substr(0, 8194) +
                    "|" + doc;
  std::string whole = "1|" + ascii + "|" + wide + "|" + binary + "|" + ascii + "|" + wide + "|" +
                      binary + "|" + doc;
  std::string header = "columns: Id|VText|WText|BText|OldText|OldWide|OldImage|Doc";
  expectQueries(client, {{"select * from Long", {header, cut}},
                         {"SET TEXTSIZE 2147483647", {}},
                         {"select * from Long", {header, whole}},
                         {"SET TEXTSIZE 0", {}},
                         {"select * from Long", {header, cut}}});
}

// The driver runs prepared statements through sp_prepexec and sp_execute.
TEST(OdbcClient, RunsPreparedStatements) {
  StandinProcess server(kSample);
  OdbcClient client(server, "Velmora#2026", "Shop");
  EXPECT_EQ(client.runPrepared("select * from Products", 3), (std::vector<std::size_t>{2, 2, 2}));
  EXPECT_EQ(client.runPrepared("Select Name from SysDataBases where DBid>6\r\n", 2),
            (std::vector<std::size_t>{2, 2}));
  try {
    client.runPrepared("select * from Nope", 1);
    ADD_FAILURE() << "an unknown table was read";
  } catch (const OdbcError& e) {
    EXPECT_EQ(e.native, 208);
  }
}

TEST(OdbcClient, SeesTheServerErrorsWithTheirTexts) {
  StandinProcess server(kSample);
  using Records = std::vector<std::pair<int, std::string>>;
  struct LoginCase {
    std::string password, database;
    Records records;
  };
  const std::vector<LoginCase> logins = {
      // The driver adds its own record (native 0) to the server's messages.
      {"wrong",
       "Shop",
       {{0, "Unable to connect to data source"}, {18456, "Login failed for user 'sa'."}}},
      {"Velmora#2026",
       "NoSuchDb",
       {{0, "Unable to connect to data source"},
        {4060, "Cannot open database \"NoSuchDb\" requested by the login. The login failed."},
        {18456, "Login failed for user 'sa'."}}}};
  for (const auto& c : logins) {
    try {
      OdbcClient client(server, c.password, c.database);
      ADD_FAILURE() << "login to " << c.database << " succeeded";
    } catch (const OdbcError& e) {
      Records seen = e.records;
      std::sort(seen.begin(), seen.end());  // the driver may list the latest first
      EXPECT_EQ(seen, c.records) << c.database;
    }
  }
  OdbcClient client(server, "Velmora#2026", "Shop");
  try {
    client.query("select * from [Order X]");
    ADD_FAILURE() << "an unknown table was read";
  } catch (const OdbcError& e) {
    EXPECT_EQ(e.native, 208);
    EXPECT_EQ(std::string(e.what()), "Invalid object name 'Order X'.");
  }
  // The connection serves on after the error.
  EXPECT_EQ(client.query("select * from [Order Details]").size(), 2u);
}

// The first value of each row a statement returns, joined by blanks: the IDs a condition
// selected.
std::string firstValues(OdbcClient& client, const std::string& statement) {
  std::string ids;
  auto lines = client.query(statement);
  for (std::size_t i = 1; i < lines.size(); ++i)
    ids += (ids.empty() ? "" : " ") + lines[i].substr(0, lines[i].find('|'));
  return ids;
}

// Conditions over the fixture's rows select what SQL Server would: three-valued logic, text
// compared without case and trailing blanks, literals converted to the column's type.
TEST(OdbcClient, WhereConditionsSelectTheRowsAServerWould) {
  StandinProcess server(kFilters);
  OdbcClient client(server, "Standin#1", "Shop");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ID = 1", "1"},
      {"ID <> 1 and ID != 2", "3 4 5 6"},
      {"ID < 2 or ID >= 6", "1 6"},
      {"ID <= 2 and not ID > 1", "1"},
      {"ID !> 1 or ID !< 6", "1 6"},
      {"ID > -1 and ID < +2", "1"},
      {"Name = 'anna'", "1 5"},  // case and trailing blanks aside
      {"Name = N'zoë'", "3"},
      {"[Name] = 'o''brien'", "2"},
      {"Name <> 'anna'", "2 3 4"},  // NULL is neither equal nor unequal
      {"Name is null", "6"},
      {"Name is not null and Code is null", "3"},
      {"ID in (1, 3, 9)", "1 3"},
      {"ID not in (1, 3)", "2 4 5 6"},
      {"ID not in (1, 3, NULL)", ""},
      {"ID between 2 and 4", "2 3 4"},
      {"ID not between 2 and 4", "1 5 6"},
      {"Name like 'a%'", "1 5"},
      {"Name like '_nna'", "1"},  // a Unicode value keeps its trailing blanks
      {"Code like 'A1'", "1 6"},  // a char value does not
      {"Name like '50[%][_]%' or Name like '[n-p]%'", "2 4"},
      {"Name not like '[^a]%'", "1 5"},
      {"Born = '19900701'", "1"},
      {"Born >= '1990-07-01T10:00:00'", "1 4 5"},
      {"Seen = '2023-01-05'", "2"},
      {"Seen < '2023-01-05T09:05:08'", "1 2"},
      {"Score = 12.5", "1 5"},
      {"Score = '12.50' or Score < -3", "1 2 5"},
      {"Rate >= 1000 or Rate < 0", "4 5"},
      {"Active = 'true' and ID > 1", "4 6"},
      {"Tag = '6f9619ff-8b86-d011-b42d-00c04fc964ff'", "1"},
      {"Score = NULL or Score <> NULL", ""},
      {"NOT (Name = 'anna' OR Score IS NULL)", "2 4"},
      {"ID = 1 or ID = 2 and ID = 3", "1"},
  };
  for (const auto& [condition, ids] : cases) {
    EXPECT_EQ(firstValues(client, "select * from People where (" + condition + ")"), ids)
        << condition;
  }
  // The read form for sql_variant columns takes the clause too; TOP 0 gives the columns alone.
  EXPECT_EQ(firstValues(client,
                        "select *, SQL_VARIANT_PROPERTY([ID], 'BaseType') from People "
                        "where (ID = 4)"),
            "4");
  EXPECT_EQ(client.query("select top 0 * from People where (ID = 1)"),
            (std::vector<std::string>{"columns: ID|Name|Code|Born|Seen|Score|Rate|Active|Tag"}));
  // A case-sensitive collation tells the cases apart.
  EXPECT_EQ(client.query("select * from Strict..Words where W = 'ABC'"),
            (std::vector<std::string>{"columns: W", "ABC"}));
}

TEST(OdbcClient, RefusedConditionsGetTheServersErrors) {
  StandinProcess server(kFilters);
  OdbcClient client(server, "Standin#1", "Shop");
  struct Case {
    std::string condition;
    int native;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"ID = ", 102, "Incorrect syntax near ')'."},
      {"ID = 1 or", 102, "Incorrect syntax near ')'."},
      {"len(Name) = 4", 102, "Incorrect syntax near '('."},
      {"ID == 1", 102, "Incorrect syntax near '='."},
      {"Name like 'a%' escape '!'", 102, "Incorrect syntax near 'escape'."},
      {"Nope = 1", 207, "Invalid column name 'Nope'."},
      {"Born = '2023-13-45'", 241,
       "Conversion failed when converting date and/or time from character string."},
      {"Name = 5", 245,
       "Conversion failed when converting the nvarchar value 'Anna' to data type int."},
  };
  for (const auto& c : cases) {
    try {
      client.query("select * from People where (" + c.condition + ")");
      ADD_FAILURE() << c.condition << " was accepted";
    } catch (const OdbcError& e) {
      EXPECT_EQ(e.native, c.native) << c.condition;
      EXPECT_EQ(std::string(e.what()), c.text) << c.condition;
    }
  }
  EXPECT_EQ(firstValues(client, "select * from People where (ID = 2)"), "2");
}

// Another session's write lands after the first read: a plain read sees it, a SNAPSHOT
// transaction keeps the rows of its first read until it commits.
TEST(OdbcClient, SnapshotTransactionKeepsTheRowsOfItsFirstRead) {
  const std::vector<std::string> before = {"columns: ID|Qty", "1|10"};
  const std::vector<std::string> after = {"columns: ID|Qty", "1|7", "2|3"};
  {
    StandinProcess server(kFilters);
    OdbcClient client(server, "Standin#1", "Shop");
    EXPECT_EQ(client.query("select * from sales.Stock"), before);
    EXPECT_EQ(client.query("select * from sales.Stock"), after);
  }
  StandinProcess server(kFilters);
  OdbcClient client(server, "Standin#1", "Shop");
  client.query("SET TRANSACTION ISOLATION LEVEL SNAPSHOT; BEGIN TRANSACTION");
  EXPECT_EQ(client.query("select top 0 * from sales.Stock where (Qty > 0)"),
            (std::vector<std::string>{"columns: ID|Qty"}));
  EXPECT_EQ(client.query("select * from sales.Stock"), before);
  EXPECT_EQ(client.query("select * from sales.Stock"), before);
  // A database without snapshot isolation, and a table altered since the first read.
  const std::vector<std::pair<std::string, int>> refused = {{"select * from Strict..Words", 3952},
                                                            {"select * from Prices", 3961}};
  for (const auto& [statement, native] : refused) {
    try {
      client.query(statement);
      ADD_FAILURE() << statement << " was read";
    } catch (const OdbcError& e) {
      EXPECT_EQ(e.native, native) << statement;
      if (native == 3952) {
        EXPECT_EQ(std::string(e.what()),
                  "Snapshot isolation transaction failed accessing database 'Strict' because "
                  "snapshot isolation is not allowed in this database. Use ALTER DATABASE to "
                  "allow snapshot isolation.");
      }
    }
  }
  client.query("COMMIT");
  EXPECT_EQ(client.query("select * from sales.Stock"), after);
  try {
    client.query("COMMIT TRANSACTION");
    ADD_FAILURE() << "a second COMMIT was accepted";
  } catch (const OdbcError& e) {
    EXPECT_EQ(e.native, 3902);
  }
}

}  // namespace
