#pragma once

#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace velmora::test {

// A fresh folder under /tmp that is the current folder for as long as the object lives;
// afterwards the previous current folder comes back and the folder goes with all it holds.
class CurrentScratchFolder {
 public:
  explicit CurrentScratchFolder(const std::string& name = "velmora-test") {
    std::string pattern = "/tmp/" + name + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("cannot make a scratch folder");
    path_ = pattern;
    std::filesystem::current_path(path_);
  }
  ~CurrentScratchFolder() {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(path_);
  }
  CurrentScratchFolder(const CurrentScratchFolder&) = delete;
  CurrentScratchFolder& operator=(const CurrentScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_ = std::filesystem::current_path();
  std::filesystem::path path_;
};

}  // namespace velmora::test
