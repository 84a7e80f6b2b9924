#include "server/table_reader.h"

#include <gtest/gtest.h>

#include "support/memory_data_access.h"

namespace velmora::server {
namespace {

using test::column;

class TableReaderTest : public testing::Test {
 protected:
  TableReaderTest() {
    server.addDatabase(u"Shop");
    connection->open({.dataSource = u".", .database = u"Shop"});
    server.clearLog();
  }

  std::vector<std::u16string> openAndListNames(const std::u16string& table) {
    reader.close();
    reader.setTableName(table);
    reader.open();
    std::vector<std::u16string> names{u"left over"};
    reader.getFieldNames(names);
    return names;
  }

  test::MemoryServer server;
  test::MemoryConnectionFactory factory{server};
  std::unique_ptr<Connection> connection = factory.createConnection();
  TableReader reader{*connection};
};

struct NameCase {
  std::u16string tableName;  // as the table list gives it
  std::u16string stored;     // as the server holds it
  std::u16string sent;
};

TEST_F(TableReaderTest, SendsTheNameBracketedWhereNeededAfterAskingForComputedColumns) {
  const NameCase cases[] = {
      {u"Dept", u"Dept", u"Dept"},
      {u" lead", u" lead", u"[ lead]"},
      {u"Order Details", u"Order Details", u"[Order Details]"},
      {u"Order", u"Order", u"[Order]"},
      {u"user", u"user", u"[user]"},
      {u"a.b", u"a.b", u"[a.b]"},
      {u"O'Brien", u"O'Brien", u"[O'Brien]"},
      {u"x]y", u"x]y", u"[x]]y]"},
      {u"it's [1]", u"it's [1]", u"[it's [1]]]"},
      {u"订单", u"订单", u"订单"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(std::string(c.stored.begin(), c.stored.end()));
    server.addTable(u"Shop", c.stored, {column(u"ID", "int")}, {{std::int32_t{1}}});
    server.clearLog();
    std::u16string quoted;
    for (char16_t ch : c.sent)
      quoted += ch == u'\'' ? u"''" : std::u16string(1, ch);
    EXPECT_EQ(openAndListNames(c.tableName), std::vector<std::u16string>{u"ID"});
    EXPECT_EQ(server.sent(),
              (std::vector<std::u16string>{u"select name from syscolumns where id = object_id(N'" +
                                               quoted + u"') and iscomputed = 1",
                                           c.sent}));
  }
  EXPECT_EQ(TableReader::computedColumnsStatement(u"[O'Brien]"),
            u"select name from syscolumns where id = object_id(N'[O''Brien]') and iscomputed = 1");
}

TEST_F(TableReaderTest, LeavesOutColumnsTheScriptCannotInsertAndKeepsTheOrderOfTheRest) {
  ColumnDescription userDefined = column(u"Udt", "int");
  userDefined.kind = ColumnKind::unknown;
  test::MemoryTable& table = server.addTable(
      u"Shop", u"Products",
      {column(u"ID", "int", {.identity = true}), userDefined, column(u"Name", "nvarchar(40)"),
       column(u"Total", "int"), column(u"RV", "timestamp"), column(u"Ver", "rowversion"),
       column(u"Pic", "binary(8)"), column(u"Price", "money")});
  table.computedColumns = {u"TOTAL"};
  EXPECT_EQ(openAndListNames(u"Products"),
            (std::vector<std::u16string>{u"ID", u"Name", u"Pic", u"Price"}));
  EXPECT_TRUE(reader.hasIdentityColumn());
  EXPECT_EQ(reader.fieldByName(u"Pic").kind(), ColumnKind::bytes);
}

struct NamingCase {
  std::vector<std::u16string> columns;
  std::vector<std::u16string> listed;
};

TEST_F(TableReaderTest, NamesUnnamedColumnsAndNumbersRepeatedNames) {
  const NamingCase cases[] = {
      {{u"A", u"", u"B"}, {u"A", u"COLUMN2", u"B"}},
      {{u"A", u"A", u"A"}, {u"A", u"A_1", u"A_2"}},
      {{u"Id", u"ID", u"id"}, {u"Id", u"ID_1", u"id_2"}},
      {{u"A_1", u"A", u"A"}, {u"A_1", u"A", u"A_2"}},
      {{u"", u""}, {u"COLUMN1", u"COLUMN2"}},
      {{u"COLUMN2", u""}, {u"COLUMN2", u"COLUMN2_1"}},
  };
  int number = 0;
  for (const NamingCase& c : cases) {
    SCOPED_TRACE(number);
    std::vector<ColumnDescription> columns;
    for (const auto& name : c.columns)
      columns.push_back(column(name, "int"));
    std::u16string table = u"T" + std::u16string(1, static_cast<char16_t>(u'a' + number++));
    server.addTable(u"Shop", table, columns);
    EXPECT_EQ(openAndListNames(table), c.listed);
  }
}

TEST_F(TableReaderTest, LooksUpColumnsIgnoringCaseAndNamesTheMissingOne) {
  server.addTable(u"Shop", u"Dept",
                  {column(u"ID", "int"), column(u"Name", "nvarchar(50)"), column(u"Zoë", "bit"),
                   column(u"RV", "timestamp")},
                  {{std::int32_t{1}, std::u16string(u"Sales"), true, Bytes{1}}});
  openAndListNames(u"Dept");
  EXPECT_EQ(&reader.fieldByName(u"name"), &reader.fieldByName(u"NAME"));
  EXPECT_EQ(reader.fieldByName(u"ZOË").kind(), ColumnKind::flag);
  EXPECT_EQ(reader.fieldByName(u"Id").value(), Value(std::int32_t{1}));
  const std::pair<std::u16string, std::string> missing[] = {
      {u"Nope", "AdoTblGetSql: Field 'Nope' not found"},
      {u"RV", "AdoTblGetSql: Field 'RV' not found"},
      {u"名称", "AdoTblGetSql: Field '名称' not found"},
      {u"Name ", "AdoTblGetSql: Field 'Name ' not found"},
  };
  for (const auto& [name, text] : missing) {
    try {
      reader.fieldByName(name);
      ADD_FAILURE() << text;
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(error.what(), text);
    }
  }
}

TEST_F(TableReaderTest, WalksTheRowsAndFieldsAnswerForTheCurrentRow) {
  server.addTable(u"Shop", u"Customers",
                  {column(u"Code", "char(5)"), column(u"Name", "nvarchar(20)")},
                  {{std::u16string(u"C001 "), std::u16string(u"张三")},
                   {std::u16string(u"C002 "), Null{}},
                   {std::u16string(u"C003 "), Empty{}}});
  openAndListNames(u"Customers");
  const Field& code = reader.fieldByName(u"Code");
  const Field& name = reader.fieldByName(u"Name");

  std::vector<std::pair<Value, bool>> seen;
  for (reader.first(); !reader.eof(); reader.next())
    seen.emplace_back(code.value(), name.isNull());
  EXPECT_EQ(seen, (std::vector<std::pair<Value, bool>>{{std::u16string(u"C001 "), false},
                                                       {std::u16string(u"C002 "), true},
                                                       {std::u16string(u"C003 "), true}}));
  EXPECT_THROW(code.value(), DataAccessError);
}

TEST_F(TableReaderTest, FailuresLeaveTheReaderClosedAndTheConnectionUsable) {
  server.addTable(u"Shop", u"Empty", {column(u"ID", "int"), column(u"B", "binary(0)")});
  server.addTable(u"Shop", u"Fine", {column(u"ID", "int")}, {{std::int32_t{7}}});
  test::MemoryTable& dropping =
      server.addTable(u"Shop", u"Dropping", {column(u"ID", "int")},
                      {{std::int32_t{1}}, {std::int32_t{2}}, {std::int32_t{3}}});
  dropping.failAfterRows = 2;

  reader.setTableName(u"Empty");
  EXPECT_THROW(reader.open(), InvalidFieldSize);
  EXPECT_FALSE(reader.isOpen());

  reader.setTableName(u"Missing");
  try {
    reader.open();
    ADD_FAILURE();
  } catch (const DataAccessError& error) {
    EXPECT_STREQ(error.what(), "Invalid object name 'Missing'.");
  }
  EXPECT_FALSE(reader.isOpen());

  reader.setTableName(u"Dropping");
  reader.open();
  reader.first();
  reader.next();
  EXPECT_EQ(reader.fieldByName(u"ID").value(), Value(std::int32_t{2}));
  EXPECT_THROW(reader.next(), DataAccessError);

  reader.close();
  reader.close();
  EXPECT_EQ(openAndListNames(u"Fine"), std::vector<std::u16string>{u"ID"});
  EXPECT_FALSE(reader.hasIdentityColumn());
  EXPECT_EQ(reader.fieldByName(u"ID").value(), Value(std::int32_t{7}));
}

}  // namespace
}  // namespace velmora::server
