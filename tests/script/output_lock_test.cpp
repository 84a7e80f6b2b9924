#include "script/output_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/scratch_folder.h"

namespace velmora::script {
namespace {

namespace fs = std::filesystem;

class OutputLockTest : public testing::Test {
 public:
  test::CurrentScratchFolder folder_{"velmora-output-lock"};
  const fs::path& dir_ = folder_.path();
};

TEST_F(OutputLockTest, OneHolderPerFileWhateverThePathToItsFolder) {
  fs::create_directory_symlink(dir_, "via-link");
  const std::string longName(250, 'n');
  const OutputLock held("MakeInitData.txt");
  const OutputLock heldLong(longName + "a");

  const std::vector<std::string> samePaths = {(dir_ / "MakeInitData.txt").string(),
                                              "via-link/MakeInitData.txt", "./MakeInitData.txt"};
  for (const std::string& path : samePaths) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(OutputLock::tryTake(path).has_value());
  }
  EXPECT_FALSE(OutputLock::tryTake(longName + "a").has_value());
  try {
    OutputLock second("MakeInitData.txt");
    ADD_FAILURE() << "a second lock was taken";
  } catch (const OutputBusyError& error) {
    EXPECT_STREQ(error.what(), "MakeInitData.txt is being written by another run.");
  }
  // Other files, also of one long common beginning, are free.
  EXPECT_TRUE(OutputLock::tryTake("other.txt").has_value());
  EXPECT_TRUE(OutputLock::tryTake(longName + "b").has_value());
  // Nothing on disk stands for the locks.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1);
}

TEST_F(OutputLockTest, KilledHolderReleasesTheLock) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const OutputLock held("MakeInitData.txt");
    if (write(ready[1], "x", 1) != 1)
      _exit(1);
    pause();
    _exit(0);
  }
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  EXPECT_FALSE(OutputLock::tryTake("MakeInitData.txt").has_value());
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(OutputLock::tryTake("MakeInitData.txt").has_value());
  close(ready[0]);
  close(ready[1]);
}

}  // namespace
}  // namespace velmora::script
