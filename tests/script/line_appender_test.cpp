#include "script/line_appender.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace velmora::script {
namespace {

namespace fs = std::filesystem;

std::string fileBytes() {
  std::ifstream in(ScriptFile::kFileName, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class LineAppenderTest : public testing::Test {
 public:
  void SetUp() override {
    previous_ = fs::current_path();
    char pattern[] = "/tmp/velmora-line-appender-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    fs::current_path(dir_);
    file_.ResetInitDataFile();
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }

  fs::path dir_;
  fs::path previous_;
  Codeset utf8_{"UTF-8"};
  ScriptFile file_{utf8_};
};

// Enough lines for many hand-overs and for the adding side to wait for the appending one.
constexpr int kManyLines = 20000;

TEST_F(LineAppenderTest, LinesLandWholeAndInOrder) {
  const struct {
    const char* name;
    int lines;
    bool finish;
  } cases[] = {
      {"none", 0, true},
      {"fewer than one hand-over", 3, true},
      {"many", kManyLines, true},
      {"left to the destructor", 100, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    file_.ResetInitDataFile();
    std::string expected;
    {
      LineAppender appender(file_);
      for (int i = 0; i < c.lines; ++i) {
        const std::string line = "insert T (A) Values(" + std::to_string(i) + ")";
        appender.add(line);
        expected += line + "\r\n";
      }
      if (c.finish)
        appender.finish();
    }
    EXPECT_TRUE(fileBytes() == expected);
  }
}

TEST_F(LineAppenderTest, AFailedAppendIsRaisedByTheNextAddsAndStopsTheLinesAfterIt) {
  LineAppender appender(file_);
  fs::remove(ScriptFile::kFileName);
  int added = 0;
  try {
    for (; added < kManyLines; ++added)
      appender.add("later");
    ADD_FAILURE() << "no add raised the failure";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorCode, 2);
  }
  EXPECT_LT(added, kManyLines);
  EXPECT_FALSE(fs::exists(ScriptFile::kFileName)) << "an append must never create the file";
}

}  // namespace
}  // namespace velmora::script
