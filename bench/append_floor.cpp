// The least time that one open, append and close per script line can take: writes ROWS lines
// of LINE_BYTES bytes (plus CR LF), each followed by a "GO" line, to append_floor.txt in the
// current directory, with the very calls the script file makes for every line: an open that
// follows no link, the seek to the end that refuses a pipe, one write and the close. Compares
// the exporter's time with what its file discipline alone costs.
// Usage: append_floor ROWS LINE_BYTES
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool appendLine(const std::string& line) {
  const int fd = ::open("append_floor.txt", O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    return false;
  const bool whole = ::lseek(fd, 0, SEEK_END) >= 0 &&
                     ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  return ::close(fd) == 0 && whole;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: append_floor ROWS LINE_BYTES\n");
    return 2;
  }
  const long rows = std::strtol(argv[1], nullptr, 10);
  const long lineBytes = std::strtol(argv[2], nullptr, 10);
  if (rows <= 0 || lineBytes <= 0) {
    std::fprintf(stderr, "append_floor: ROWS and LINE_BYTES must be positive\n");
    return 2;
  }
  const int fd = ::open("append_floor.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || ::close(fd) != 0) {
    std::perror("append_floor.txt");
    return 1;
  }
  const std::string statement = std::string(static_cast<size_t>(lineBytes), 'x') + "\r\n";
  const std::string go = "GO\r\n";
  for (long row = 0; row < rows; ++row) {
    if (!appendLine(statement) || !appendLine(go)) {
      std::fprintf(stderr, "append_floor.txt: %s\n", std::strerror(errno));
      return 1;
    }
  }
  return 0;
}
