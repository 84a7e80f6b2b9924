#include "session/export_session.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "script/script_file.h"
#include "session/name_lookup.h"
#include "session/plain_lists.h"
#include "session/session_texts.h"
#include "support/memory_data_access.h"
#include "support/scratch_folder.h"
#include "support/script_lines.h"

namespace velmora::session {
namespace {

std::string scriptBytes() {
  std::ifstream in(script::ScriptFile::kFileName, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Every table ticked; `onEvents` runs where a window would handle its pending events.
class EventsObserver : public script::RunObserver {
 public:
  bool isTicked(std::size_t) override { return true; }
  void tableStarted(const std::u16string&) override { onEvents(); }
  void columnsChanged(const std::vector<std::u16string>&) override {}
  void rowWritten() override { onEvents(); }
  void finished(const std::u16string&) override {}

  std::function<void()> onEvents;
};

// Runs in a fresh temporary current directory, where the script file goes.
class ExportSessionTest : public ::testing::Test {
 protected:
  test::CurrentScratchFolder folder_{"velmora-session"};
};

TEST_F(ExportSessionTest, ARunStartedDuringARunIsIgnoredAndEachRunStartsAfresh) {
  test::MemoryServer server;
  server.addTable(u"Shop", u"Dept", {test::column(u"ID", "int")}, {{1}, {2}});
  server.setPassword(std::u16string());
  test::MemoryConnectionFactory factory(server);
  const script::Codeset codeset("UTF-8");
  const script::LocaleFormats formats;
  PlainDatabaseList databases;
  PlainTableList tables;
  ExportSession session(factory, codeset, formats);
  const server::ConnectionInputs inputs{u"memory", u"sa", u""};
  session.connectServer(inputs, databases);
  script::RunInput input{.tables = {}, .database = databases.names().at(0), .form = {}};
  session.openDatabase(inputs, input.database, tables);
  input.tables = tables.names();
  session.prepareScript();
  script::ScriptFile(codeset).appendLine(u"left over from an earlier run");

  int eventsSeen = 0;
  EventsObserver observer;
  observer.onEvents = [&] {
    ++eventsSeen;
    EXPECT_TRUE(session.isRunning());
    session.run(input, observer);
    session.connectServer({u"memory", u"sa", u"wrong"}, databases);
  };
  input.form.withGoLines = false;
  session.run(input, observer);

  EXPECT_EQ(eventsSeen, 3);  // the progress text and the two rows
  EXPECT_FALSE(session.isRunning());
  EXPECT_EQ(scriptBytes(), test::crlfLines({"SET DATEFORMAT mdy", "insert Dept (ID) Values(1)",
                                            "insert Dept (ID) Values(2)", "USE master",
                                            "ALTER DATABASE Shop SET AUTO_SHRINK ON",
                                            "ALTER DATABASE Shop SET AUTO_CLOSE ON"}));
}

TEST(FindByName, PrefersTheExactCaseOverACaseInsensitiveMatch) {
  const std::vector<std::u16string> names = {u"shop", u" Shop ", u"SHOP", u" lead", u"lead"};
  EXPECT_EQ(findByName(names, u"Shop"), 1);
  EXPECT_EQ(findByName(names, u"sHOP"), 0);
  EXPECT_EQ(findByName(names, u"Stock"), -1);
  EXPECT_EQ(findByName(names, u"lead"), 4);
  EXPECT_EQ(findByName(names, u" lead"), 3);
}

// A name the user typed that the list lacks fails with the kind of list and the name typed.
TEST(ListedEntry, NamesWhatTheListLacks) {
  const std::vector<std::u16string> names = {u"Dept", u"名称"};
  EXPECT_EQ(listedEntry(names, u" 名称 ", NameNotListed::Kind::table), 1);
  const struct {
    NameNotListed::Kind kind;
    const char* text;
  } cases[] = {{NameNotListed::Kind::database, "Database '货品 ' not found"},
               {NameNotListed::Kind::table, "Table '货品 ' not found"}};
  for (const auto& c : cases) {
    try {
      listedEntry(names, u"货品 ", c.kind);
      ADD_FAILURE() << c.text;
    } catch (const NameNotListed& error) {
      EXPECT_EQ(error.kind(), c.kind);
      EXPECT_EQ(error.name(), u"货品 ");
      EXPECT_STREQ(error.what(), c.text);
    }
  }
}

TEST(ErrorBoxText, AddsNoSecondFullStop) {
  EXPECT_EQ(errorBoxText("Invalid object name 'X'."), "Invalid object name 'X'.");
  EXPECT_EQ(errorBoxText("File not found"), "File not found.");
}

}  // namespace
}  // namespace velmora::session
