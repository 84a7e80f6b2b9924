#include "script/output_lock.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "script/codeset.h"
#include "script/script_file.h"
#include "script/stream_output.h"
#include "support/scratch_folder.h"

namespace velmora::script {
namespace {

namespace fs = std::filesystem;

std::string fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A run of the default file is under way in folder "a", its first line written.
class OutputLockTest : public testing::Test {
 public:
  void SetUp() override {
    fs::create_directory(dir_ / "a");
    fs::current_path(dir_ / "a");
    runLock_ = running_.resetScript();
    running_.appendLine(u"line of the run");
    fs::current_path(dir_);
  }

  // What an -o run at `path` meets.
  static std::string refusalOf(const std::string& path) {
    try {
      StreamOutput(path, utf8()).resetScript();
    } catch (const OutputBusyError& error) {
      return error.what();
    }
    return "";
  }
  static const Codeset& utf8() {
    static const Codeset codeset("UTF-8");
    return codeset;
  }

  test::CurrentScratchFolder folder_{"velmora-output-lock"};
  const fs::path& dir_ = folder_.path();
  ScriptFile running_{utf8()};
  std::optional<OutputLock> runLock_;
  const std::string runFile_ = (dir_ / "a" / ScriptFile::kFileName).string();
};

TEST_F(OutputLockTest, EveryLinkToTheFileOfARunMeetsItsLock) {
  fs::create_symlink(runFile_, "symlink.sql");
  fs::create_directory_symlink(dir_ / "a", "folder-link");
  fs::create_hard_link(runFile_, "hardlink.sql");
  for (const std::string path :
       {"symlink.sql", "folder-link/MakeInitData.txt", "hardlink.sql", runFile_.c_str()}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(refusalOf(path), path + " is being written by another run.");
  }
  EXPECT_EQ(fileBytes(runFile_), "line of the run\r\n");
  // Nothing on disk stands for the lock.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "a"), {}), 1);
}

TEST_F(OutputLockTest, DefaultRunLeavesTheFileOfAnOutputRun) {
  fs::create_directory("b");
  StreamOutput output((dir_ / "b" / ScriptFile::kFileName).string(), utf8());
  output.resetScript();
  output.appendLine(u"line of the -o run");
  output.flush();
  fs::current_path("b");
  try {
    ScriptFile(utf8()).resetScript();
    ADD_FAILURE() << "the reset went ahead";
  } catch (const OutputBusyError& error) {
    EXPECT_STREQ(error.what(), "MakeInitData.txt is being written by another run.");
  }
  EXPECT_EQ(fileBytes(ScriptFile::kFileName), "line of the -o run\r\n");
}

// Runs that share no file both go ahead: one file name in two folders, devices.
TEST_F(OutputLockTest, RunsOfDifferentFilesBothGoAhead) {
  fs::create_directory("b");
  fs::current_path("b");
  EXPECT_NO_THROW(ScriptFile(utf8()).resetScript());
  fs::create_directory(dir_ / "c");
  const std::vector<std::pair<std::string, std::string>> pairs = {
      {(dir_ / "b" / "out.sql").string(), (dir_ / "c" / "out.sql").string()},
      {"/dev/null", "/dev/null"},
  };
  for (const auto& [first, second] : pairs) {
    SCOPED_TRACE(first);
    StreamOutput one(first, utf8());
    one.resetScript();
    EXPECT_EQ(refusalOf(second), "");
  }
}

// The kernel's lock knows no network namespace (the run in a container, under unshare -n),
// and is gone with the process that held it.
TEST_F(OutputLockTest, OtherNamespaceMeetsTheLockAndADeadHolderLeavesIt) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
      _exit(2);
    _exit(refusalOf(runFile_).empty() ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2)
    GTEST_SKIP() << "no new network namespace may be made here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "a run in another network namespace went ahead";

  runLock_.reset();
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    StreamOutput output(runFile_, utf8());
    output.resetScript();
    if (write(ready[1], "x", 1) != 1)
      _exit(1);
    pause();
    _exit(0);
  }
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  EXPECT_NE(refusalOf(runFile_), "");
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(refusalOf(runFile_), "");
  close(ready[0]);
  close(ready[1]);
}

}  // namespace
}  // namespace velmora::script
