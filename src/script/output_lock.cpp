#include "script/output_lock.h"

#include <fcntl.h>

#include <cerrno>
#include <system_error>

namespace velmora::script {

OutputBusyError::OutputBusyError(const std::string& fileName)
    : std::runtime_error(fileName + " is being written by another run.") {}

bool lockForRun(int fd) {
  for (;;) {
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;  // from the start, l_len 0: to the end, however long it grows
    if (::fcntl(fd, F_OFD_SETLK, &whole) == 0)
      return true;
    const int error = errno;
    if (error == EINTR)
      continue;
    // No locks on this file system: there is nothing to share them with.
    if (error == ENOLCK || error == EINVAL || error == EOPNOTSUPP || error == ENOSYS)
      return true;
    if (error != EAGAIN && error != EACCES)
      throw std::system_error(error, std::generic_category());
    // Who holds it: a run holds a write lock, a reader only a read lock.
    struct flock holder = {};
    holder.l_type = F_WRLCK;
    holder.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_GETLK, &holder) != 0)
      throw std::system_error(errno, std::generic_category());
    if (holder.l_type == F_WRLCK)
      return false;
    if (holder.l_type == F_RDLCK)
      return true;
    // Released meanwhile: ask again.
  }
}

}  // namespace velmora::script
