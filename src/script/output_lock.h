#pragma once

#include <stdexcept>
#include <string>
#include <utility>

#include "script/open_file.h"

namespace velmora::script {

// Another run, in this or another process, is writing the file.
class OutputBusyError : public std::runtime_error {
 public:
  // "<fileName> is being written by another run."
  explicit OutputBusyError(const std::string& fileName);
};

// Takes the run's lock on the regular file open as `fd`: an open-file-description lock for
// writing over the whole file. Returns false when another run holds it. Throws
// std::system_error when the kernel refuses for another reason.
//
// The lock is on the file itself, so every path to it (links of either kind, bind mounts,
// another mount namespace or network namespace) meets it, and it needs the file open for
// writing, so no one who may not write the file can hold it. It belongs to the open file, not
// to the process: other descriptors of the same file may be opened and closed meanwhile (as
// the script file's appends do) without releasing it, and the kernel drops it when the file's
// last descriptor closes, also when the process dies. Nothing is left on disk.
//
// A reader of the file can still hold a read lock over it, which keeps out the write lock;
// runs never take read locks, so such a holder is no run, and the run goes ahead without the
// lock rather than let any reader stop it. So does a run on a file system without locks.
bool lockForRun(int fd);

// A locked file kept open for as long as a run lasts.
class OutputLock {
 public:
  explicit OutputLock(OpenFile file) : file_(std::move(file)) {}

  int fd() const { return file_.fd(); }

 private:
  OpenFile file_;
};

}  // namespace velmora::script
