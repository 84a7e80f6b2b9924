#include "server/server_session.h"

#include <gtest/gtest.h>

#include "server/connection_string.h"
#include "support/memory_data_access.h"

namespace velmora::server {
namespace {

using test::LogKind;
using test::MemoryConnectionFactory;
using test::MemoryServer;

std::string narrow(std::u16string_view text) {
  return std::string(text.begin(), text.end());
}

// Records every call the catalogue loads make on the lists.
class RecordingDatabaseList : public DatabaseList {
 public:
  void clear() override { calls.push_back("clear"); }
  void add(const std::u16string& name) override { calls.push_back("add " + narrow(name)); }
  void selectFirstWithoutChange() override { calls.push_back("select first"); }
  std::vector<std::string> calls;
};

class RecordingTableList : public TableList {
 public:
  void clear() override { calls.push_back("clear"); }
  void add(const std::u16string& name) override { calls.push_back("add " + narrow(name)); }
  void setTicked(int index, bool ticked) override {
    calls.push_back("tick " + std::to_string(index) + (ticked ? " on" : " off"));
  }
  std::vector<std::string> calls;
};

class ServerSessionTest : public testing::Test {
 protected:
  ServerSessionTest() {
    server.addDatabase(u"Shop", 7);
    server.addTable(u"Shop", u"Dept", {test::column(u"ID", "int")});
    server.addTable(u"Shop", u"Order Details", {test::column(u"ID", "int")});
    server.addDatabase(u"Empty", 8);
    server.addDatabase(u"model", 3);
    server.setPassword(u"pw");
  }

  MemoryServer server;
  MemoryConnectionFactory factory{server};
  ServerSession session{factory};
  ConnectionInputs inputs{u"srv", u"sa", u"pw"};
};

TEST_F(ServerSessionTest, ConnectReconnectsEveryTimeAndFailsQuietly) {
  Connection& connection = session.catalogueConnection();
  EXPECT_TRUE(session.connectToDatabase(u"Master", connection, inputs));
  EXPECT_TRUE(connection.isOpen());
  EXPECT_TRUE(session.connectToDatabase(u"Master", connection, inputs));

  ConnectionInputs wrong = inputs;
  wrong.password = u"nope";
  EXPECT_FALSE(session.connectToDatabase(u"Master", connection, wrong));
  EXPECT_FALSE(connection.isOpen());
  EXPECT_FALSE(session.connectToDatabase(u"Nowhere", session.databaseConnection(), inputs));
  EXPECT_TRUE(session.connectToDatabase(u"Master", connection, inputs));

  std::vector<LogKind> kinds;
  for (const auto& entry : server.log())
    kinds.push_back(entry.kind);
  const std::vector<LogKind> expected = {LogKind::open,  LogKind::close, LogKind::open,
                                         LogKind::close, LogKind::open,  LogKind::open,
                                         LogKind::open};
  EXPECT_EQ(kinds, expected);
}

TEST_F(ServerSessionTest, ErrorsWhileClosingThePreviousConnectionAreNotCaught) {
  ASSERT_TRUE(session.connectToDatabase(u"Master", session.catalogueConnection(), inputs));
  server.setCloseFailure("Communication link failure");
  EXPECT_THROW(session.connectToDatabase(u"Master", session.catalogueConnection(), inputs),
               DataAccessError);
}

TEST_F(ServerSessionTest, DatabaseListShowsUserDatabasesAndSelectsTheFirstQuietly) {
  ASSERT_TRUE(session.connectToDatabase(u"Master", session.catalogueConnection(), inputs));
  RecordingDatabaseList list;
  session.loadDatabaseNames(list);
  const std::vector<std::string> expected = {"clear", "add Shop", "add Empty", "select first"};
  EXPECT_EQ(list.calls, expected);
  EXPECT_EQ(server.sent().back(), u"Select Name from SysDataBases where DBid>6");

  // A second load runs again: the earlier result does not keep the connection busy.
  list.calls.clear();
  session.loadDatabaseNames(list);
  EXPECT_EQ(list.calls, expected);
}

constexpr const char16_t* kTableListStatement =
    u"select name, SCHEMA_NAME(uid) from SysObjects where OBJECTPROPERTY(id, N'IsUserTable')= 1";

// Entry texts: a dbo table (or one whose schema is NULL) by its whole name, any other as
// schema.name with each part in its statement form.
TEST_F(ServerSessionTest, TableListShowsSchemasAndTicksEveryTable) {
  ASSERT_TRUE(session.connectToDatabase(u"Shop", session.databaseConnection(), inputs));
  RecordingTableList list;
  session.loadTableNames(list);
  const std::vector<std::string> expected = {"clear", "add Dept", "tick 0 on", "add Order Details",
                                             "tick 1 on"};
  EXPECT_EQ(list.calls, expected);
  EXPECT_EQ(server.sent().back(), kTableListStatement);

  test::MemoryResult answer;
  answer.columns = {test::column(u"NAME", "sysname"), test::column(u"", "sysname")};
  answer.rows = {{std::u16string(u"  Padded "), Null{}},
                 {Null{}, std::u16string(u"dbo")},
                 {std::u16string(u"T"), std::u16string(u"Sales")},
                 {std::u16string(u"Order"), std::u16string(u"my sales")},
                 {std::u16string(u"a.b"), std::u16string(u"x]")}};
  server.setAnswer(kTableListStatement, answer);
  list.calls.clear();
  session.loadTableNames(list);
  const std::vector<std::string> shown = {
      "clear",     "add   Padded ",   "tick 0 on", "add ",
      "tick 1 on", "add Sales.T",     "tick 2 on", "add [my sales].[Order]",
      "tick 3 on", "add [x]]].[a.b]", "tick 4 on"};
  EXPECT_EQ(list.calls, shown);
}

// The same name in two schemas: each entry reads its own table, and the computed-column
// statement names it the same way.
TEST_F(ServerSessionTest, TableReaderReadsTheTableOfEachEntry) {
  server.addTable(u"Shop", u"T", {test::column(u"V", "int")}, {{std::int32_t{1}}});
  server.addTable(u"Shop", u"T", {test::column(u"V", "int")}, {{std::int32_t{2}}}).schema =
      u"Sales";
  server.addTable(u"Shop", u"Only", {test::column(u"V", "int")}, {{std::int32_t{3}}}).schema =
      u"hr";
  // Two entries that read alike: the dbo table "a.b" and table b of schema a.
  server.addTable(u"Shop", u"a.b", {test::column(u"V", "int")}, {{std::int32_t{4}}});
  server.addTable(u"Shop", u"b", {test::column(u"V", "int")}, {{std::int32_t{5}}}).schema = u"a";
  ASSERT_TRUE(session.connectToDatabase(u"Shop", session.databaseConnection(), inputs));
  RecordingTableList list;
  session.loadTableNames(list);

  const struct {
    std::u16string entry;
    std::size_t earlierAlike;
    std::int32_t value;
    std::u16string nameAsSent;
  } cases[] = {{u"T", 0, 1, u"T"},
               {u"Sales.T", 0, 2, u"Sales.T"},
               {u"hr.Only", 0, 3, u"hr.Only"},
               {u"a.b", 0, 4, u"[a.b]"},
               {u"a.b", 1, 5, u"a.b"}};
  TableReader& reader = session.tableReader();
  for (const auto& c : cases) {
    server.clearLog();
    reader.setTableName(c.entry, c.earlierAlike);
    reader.open();
    reader.first();
    EXPECT_EQ(reader.fieldByName(u"V").value(), Value(c.value));
    EXPECT_EQ(reader.nameAsSent(), c.nameAsSent);
    EXPECT_EQ(server.sent(),
              (std::vector<std::u16string>{u"select name from syscolumns where id = object_id(N'" +
                                               c.nameAsSent + u"') and iscomputed = 1",
                                           c.nameAsSent}));
  }
}

TEST_F(ServerSessionTest, CatalogueErrorsLeaveTheEmptiedListAndReachTheCaller) {
  ASSERT_TRUE(session.connectToDatabase(u"Shop", session.databaseConnection(), inputs));
  server.setFailingStatement(kTableListStatement, "Invalid object name 'SysObjects'.");
  RecordingTableList list;
  EXPECT_THROW(session.loadTableNames(list), DataAccessError);
  EXPECT_EQ(list.calls, std::vector<std::string>{"clear"});

  RecordingDatabaseList databases;
  EXPECT_THROW(session.loadDatabaseNames(databases), DataAccessError);  // server connection closed
  EXPECT_EQ(databases.calls, std::vector<std::string>{"clear"});
}

}  // namespace
}  // namespace velmora::server
