#include "script/stream_output.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "script/script_file.h"
#include "support/scratch_folder.h"

namespace velmora::script {
namespace {

namespace fs = std::filesystem;

const Codeset& utf8() {
  static const Codeset codeset("UTF-8");
  return codeset;
}

std::string fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// What a run into `path` reports: empty when it wrote its line.
std::string failureOf(const std::string& path) {
  try {
    StreamOutput output(path, utf8());
    output.resetScript();
    output.appendLine(u"line");
    output.flush();
  } catch (const OutputError& error) {
    return error.what();
  }
  return "";
}

class StreamOutputTest : public testing::Test {
 public:
  test::CurrentScratchFolder folder_{"velmora-stream-output"};
};

// Errors of these outputs name the file, or standard output, and give the system's reason.
TEST_F(StreamOutputTest, ErrorsNameTheOutputAndTheReason) {
  struct Case {
    std::string path;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"nonexist/x", "Cannot open nonexist/x: No such file or directory"},
      {".", "Cannot open .: Is a directory"},
      {"/dev/full", "Cannot write /dev/full: No space left on device"},
      {"-", "Cannot write standard output: Broken pipe"},  // a pipe whose reader is gone
  };
  std::signal(SIGPIPE, SIG_IGN);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    int savedOutput = -1;
    if (c.path == "-") {
      int ends[2];
      ASSERT_EQ(pipe(ends), 0);
      close(ends[0]);
      std::fflush(stdout);
      savedOutput = dup(STDOUT_FILENO);
      dup2(ends[1], STDOUT_FILENO);
      close(ends[1]);
    }
    const std::string message = failureOf(c.path);
    if (savedOutput >= 0) {
      dup2(savedOutput, STDOUT_FILENO);
      close(savedOutput);
    }
    EXPECT_EQ(message, c.message);
  }
}

// A link another user put in a sticky folder open to all is not followed; one's own is, as
// a shell's redirection follows it.
TEST_F(StreamOutputTest, LinkPlantedByAnotherUserInASharedFolderIsRefused) {
  if (geteuid() != 0)
    GTEST_SKIP() << "only root can make a link that another user owns";
  fs::create_directory("shared");
  ASSERT_EQ(chmod("shared", 01777), 0);
  std::ofstream("victim") << "keep";
  fs::create_symlink("../victim", "shared/planted");
  ASSERT_EQ(lchown("shared/planted", 65534, 65534), 0);
  fs::create_symlink("../own", "shared/mine");

  EXPECT_EQ(failureOf("shared/planted"),
            "Cannot open shared/planted: it is a link in a shared sticky folder that another "
            "user made, and is not followed");
  EXPECT_EQ(fileBytes("victim"), "keep");
  EXPECT_EQ(failureOf("shared/mine"), "");
  EXPECT_EQ(fileBytes("own"), "line\r\n");
}

}  // namespace
}  // namespace velmora::script
