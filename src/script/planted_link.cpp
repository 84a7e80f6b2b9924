#include "script/planted_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <vector>

namespace velmora::script {
namespace {

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The link at `path` itself, and each link it leads through in turn.
bool isPlantedChain(const std::string& path) {
  // The kernel's own limit on links followed in one lookup.
  constexpr int kMaxLinks = 40;
  std::string current = path;
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    struct stat link;
    if (::lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
      return false;
    const std::string folder = folderOf(current);
    struct stat shared;
    if (::stat(folder.c_str(), &shared) == 0 && (shared.st_mode & S_ISVTX) != 0 &&
        (shared.st_mode & S_IWOTH) != 0 && link.st_uid != shared.st_uid &&
        link.st_uid != ::geteuid())
      return true;
    std::vector<char> target(static_cast<std::size_t>(link.st_size > 0 ? link.st_size : 255) + 1);
    const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
    if (length < 0)
      return false;
    const std::string_view text(target.data(), static_cast<std::size_t>(length));
    current =
        !text.empty() && text.front() == '/' ? std::string(text) : folder + "/" + std::string(text);
  }
  return false;
}

}  // namespace

bool isPlantedLink(const std::string& path) {
  // Each folder on the way, then the file itself.
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (isPlantedChain(path.substr(0, slash)))
      return true;
  }
  return isPlantedChain(path);
}

}  // namespace velmora::script
