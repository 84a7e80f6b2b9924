#include "session/host_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace velmora::session {

ClosedAtStart guardStandardStreams() {
  ClosedAtStart closed;
  bool* const wasClosed[] = {&closed.input, &closed.output, &closed.error};
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
      continue;
    *wasClosed[fd] = true;
    // The lowest free number is `fd`, since the ones below it are open by now.
    const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened > fd)
      ::close(opened);
  }
  std::signal(SIGPIPE, SIG_IGN);
  return closed;
}

}  // namespace velmora::session
