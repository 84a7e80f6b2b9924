#include "script/script_file.h"

#include "script/output_lock.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace velmora::script {
namespace {

namespace fs = std::filesystem;

std::string fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int openDescriptorCount() {
  return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

// Every test runs in a fresh, empty current directory; a folder "mnt" in it can carry a
// small tmpfs for the disk-full and read-only cases (root only).
class ScriptFileTest : public testing::Test {
 public:
  void SetUp() override {
    previous_ = fs::current_path();
    char pattern[] = "/tmp/velmora-script-file-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    if (mounted_)
      umount2((dir_ / "mnt").c_str(), MNT_DETACH);
    fs::permissions(dir_, fs::perms::owner_all);
    fs::remove_all(dir_);
  }

  // Mounts a tmpfs of `size` on dir/mnt and makes it the current directory.
  bool enterTmpfs(const char* size) {
    fs::create_directory(dir_ / "mnt");
    const std::string options = std::string("size=") + size;
    if (mount("tmpfs", (dir_ / "mnt").c_str(), "tmpfs", 0, options.c_str()) != 0)
      return false;
    mounted_ = true;
    fs::current_path(dir_ / "mnt");
    return true;
  }
  bool remountReadOnly() {
    return mount(nullptr, (dir_ / "mnt").c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

  fs::path dir_;
  fs::path previous_;
  bool mounted_ = false;
  Codeset utf8_{"UTF-8"};
};

struct LinesCase {
  const char* name;
  const char* codeset;
  std::vector<std::u16string> lines;
  std::string bytes;
};

TEST_F(ScriptFileTest, LinesLandAsCodesetBytesWithCrLf) {
  const std::u16string longChinese(100000, u'表');
  std::string longChineseGbk;
  for (int i = 0; i < 100000; ++i)
    longChineseGbk += "\xB1\xED";
  const std::vector<LinesCase> cases = {
      {"ascii", "UTF-8", {u"insert T (A) Values(1)", u"GO"}, "insert T (A) Values(1)\r\nGO\r\n"},
      {"chinese utf-8",
       "UTF-8",
       {u"insert 部门 Values('研发')"},
       "insert \xE9\x83\xA8\xE9\x97\xA8 Values('\xE7\xA0\x94\xE5\x8F\x91')\r\n"},
      {"chinese gbk",
       "GBK",
       {u"insert 部门 Values('研发')"},
       "insert \xB2\xBF\xC3\xC5 Values('\xD1\xD0\xB7\xA2')\r\n"},
      {"gbk lacks", "GBK", {u"'\U0001F600\u0E01'"}, "'\?\?'\r\n"},
      {"empty line", "UTF-8", {u"", u"", u"x"}, "\r\n\r\nx\r\n"},
      {"breaks and nul",
       "UTF-8",
       {std::u16string(u"a\rb\nc\0d\x01", 8)},
       std::string("a\rb\nc\0d\x01\r\n", 10)},
      {"exactly one piece", "UTF-8", {std::u16string(126, u'a')}, std::string(126, 'a') + "\r\n"},
      {"cr lf in next piece", "UTF-8", {std::u16string(127, u'a')}, std::string(127, 'a') + "\r\n"},
      {"several pieces",
       "UTF-8",
       {std::u16string(300, u'b'), u"c"},
       std::string(300, 'b') + "\r\nc\r\n"},
      {"line end in a call of its own",
       "UTF-8",
       {std::u16string(63 * 128, u'd'), u"e"},
       std::string(63 * 128, 'd') + "\r\ne\r\n"},
      {"100000 characters", "GBK", {longChinese}, longChineseGbk + "\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Codeset codeset(c.codeset);
    ScriptFile file(codeset);
    file.resetScript();
    for (const auto& line : c.lines)
      file.appendLine(line);
    EXPECT_TRUE(fileBytes(ScriptFile::kFileName) == c.bytes);
  }
}

TEST_F(ScriptFileTest, ConvertedBytesAreAppendedAfterWhatIsThere) {
  ScriptFile file(utf8_);
  file.prepare();
  file.appendLine(u"first");
  file.appendConverted(std::string("\xB2\xBF\0", 3));
  file.appendConverted("");
  EXPECT_EQ(fileBytes(ScriptFile::kFileName), std::string("first\r\n\xB2\xBF\0\r\n\r\n", 14));
}

struct ResetCase {
  const char* name;
  std::function<void()> before;
};

TEST_F(ScriptFileTest, PrepareAndResetLeaveAnEmptyFile) {
  const std::vector<ResetCase> cases = {
      {"no file", [] {}},
      {"stale file", [] { std::ofstream(ScriptFile::kFileName) << "old run\r\n"; }},
      // The link goes, the file it pointed to stays as it was.
      {"link",
       [] {
         std::ofstream("elsewhere.txt") << "keep";
         fs::create_symlink("elsewhere.txt", ScriptFile::kFileName);
       }},
  };
  const std::vector<std::function<void(ScriptFile&)>> operations = {
      [](ScriptFile& file) { file.prepare(); }, [](ScriptFile& file) { file.resetScript(); }};
  for (const auto& operation : operations) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      fs::remove(ScriptFile::kFileName);
      c.before();
      ScriptFile file(utf8_);
      operation(file);
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(ScriptFile::kFileName)));
      EXPECT_EQ(fs::file_size(ScriptFile::kFileName), 0u);
    }
  }
  EXPECT_EQ(fileBytes("elsewhere.txt"), "keep");
}

TEST_F(ScriptFileTest, SecondRunReplacesTheFirst) {
  ScriptFile file(utf8_);
  file.prepare();
  file.resetScript();
  file.appendLine(u"run one");
  file.resetScript();
  file.appendLine(u"run two");
  EXPECT_EQ(fileBytes(ScriptFile::kFileName), "run two\r\n");
}

struct FailureCase {
  const char* name;
  // Sets the scene after a reset; false skips the case here (for example when not root).
  std::function<bool(ScriptFileTest&)> scene;
  int code;
  const char* message;
};

TEST_F(ScriptFileTest, AppendFailuresRaiseTheTableCode) {
  const std::vector<FailureCase> cases = {
      {"deleted between appends", [](ScriptFileTest&) { return fs::remove(ScriptFile::kFileName); },
       2, "File not found"},
      {"folder",
       [](ScriptFileTest&) {
         fs::remove(ScriptFile::kFileName);
         return fs::create_directory(ScriptFile::kFileName);
       },
       5, "File access denied"},
      {"read-only file",
       [](ScriptFileTest& test) {
         if (geteuid() != 0) {
           fs::permissions(ScriptFile::kFileName, fs::perms::owner_read);
           return true;
         }
         // Root writes to any file mode: a read-only file system refuses root too.
         if (!test.enterTmpfs("64k"))
           return false;
         ScriptFile(test.utf8_).resetScript();
         return test.remountReadOnly();
       },
       5, "File access denied"},
      {"link swapped in",
       [](ScriptFileTest&) {
         std::ofstream("target.txt") << "keep";
         fs::remove(ScriptFile::kFileName);
         fs::create_symlink("target.txt", ScriptFile::kFileName);
         return true;
       },
       5, "File access denied"},
      {"pipe",
       [](ScriptFileTest&) {
         fs::remove(ScriptFile::kFileName);
         return mkfifo(ScriptFile::kFileName, 0600) == 0;
       },
       29, "I/O error 29"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(ScriptFile::kFileName);
    ScriptFile file(utf8_);
    file.resetScript();
    file.appendLine(u"before");
    const int descriptors = openDescriptorCount();
    if (!c.scene(*this))
      continue;
    try {
      file.appendLine(u"after");
      ADD_FAILURE() << "no error raised";
    } catch (const OutputError& error) {
      EXPECT_EQ(error.code, c.code);
      EXPECT_STREQ(error.what(), c.message);
      EXPECT_EQ(error.path, ScriptFile::kFileName);
      EXPECT_EQ(OutputError::codeForErrno(error.systemError), c.code);
    }
    EXPECT_EQ(openDescriptorCount(), descriptors);
    if (c.code == 2) {
      EXPECT_FALSE(fs::exists(ScriptFile::kFileName)) << "an append must never create the file";
    }
    fs::current_path(dir_);
  }
  EXPECT_EQ(fileBytes("target.txt"), "keep");
}

// Left as it is by the preparation and the reset, refused by the append: a file with no
// write permission bit is read-only for root too, though the kernel lets root write it.
TEST_F(ScriptFileTest, ReadOnlyFileIsLeftAloneAndRefused) {
  std::ofstream(ScriptFile::kFileName) << "old run\r\n";
  fs::permissions(ScriptFile::kFileName,
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  ScriptFile file(utf8_);
  file.prepare();
  file.resetScript();
  try {
    file.appendLine(u"line");
    ADD_FAILURE() << "no error raised";
  } catch (const OutputError& error) {
    EXPECT_STREQ(error.what(), "File access denied");
  }
  EXPECT_EQ(fileBytes(ScriptFile::kFileName), "old run\r\n");
}

TEST_F(ScriptFileTest, PreparationLeavesTheFileOfARunUnderWay) {
  ScriptFile file(utf8_);
  {
    const std::optional<OutputLock> run = file.resetScript();
    file.appendLine(u"run under way");
    file.prepare();
    EXPECT_EQ(fileBytes(ScriptFile::kFileName), "run under way\r\n");
  }
  file.prepare();
  EXPECT_EQ(fileBytes(ScriptFile::kFileName), "");
}

TEST_F(ScriptFileTest, FullDiskRaisesAndKeepsEarlierLines) {
  if (!enterTmpfs("16k"))
    GTEST_SKIP() << "needs root to mount a small tmpfs";
  ScriptFile file(utf8_);
  file.resetScript();
  const std::u16string line = u"insert T (A,B) Values(1,'" + std::u16string(100, u'x') + u"')";
  std::string written;
  try {
    for (int i = 0; i < 1000; ++i) {
      file.appendLine(line);
      written += utf8_.fromUtf16(line) + "\r\n";
    }
    FAIL() << "16 KiB took 1000 lines";
  } catch (const OutputError& error) {
    EXPECT_EQ(error.code, 112);
    EXPECT_STREQ(error.what(), "I/O error 112");
  }
  const std::string onDisk = fileBytes(ScriptFile::kFileName);
  EXPECT_EQ(onDisk.compare(0, written.size(), written), 0);
}

TEST(OutputErrorTest, MessageForEachCode) {
  const std::vector<std::pair<int, const char*>> cases = {
      {2, "File not found"},
      {3, "Invalid filename"},
      {4, "Too many open files"},
      {5, "File access denied"},
      {100, "Read beyond end of file"},
      {101, "Disk full"},
      {106, "Invalid numeric input"},
      {112, "I/O error 112"},
      {32, "I/O error 32"},
      {0, "I/O error 0"},
      {1, "I/O error 1"},
  };
  for (const auto& [code, message] : cases) {
    SCOPED_TRACE(code);
    EXPECT_EQ(OutputError::messageFor(code), message);
    const OutputError error(code);
    EXPECT_EQ(error.code, code);
    EXPECT_STREQ(error.what(), message);
  }
}

}  // namespace
}  // namespace velmora::script
