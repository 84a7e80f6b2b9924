#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "script/script_file.h"

namespace velmora::script {

// Appends lines to the script file on a thread of its own, in the order they are added, each
// with the file's one open, append and close, so that the file work overlaps reading and
// converting the next rows. The first failed append stops it: the lines after it are
// dropped and its error is raised by the next add() or by finish().
class LineAppender {
 public:
  explicit LineAppender(ScriptFile& file);
  // Writes what is left and waits for it without raising (for paths that already unwind).
  ~LineAppender();
  LineAppender(const LineAppender&) = delete;
  LineAppender& operator=(const LineAppender&) = delete;

  // Queues a line in the file's codeset; waits while many lines are still waiting.
  void add(std::string line);
  // Returns once every added line is in the file; raises the failure of an append.
  void finish();

 private:
  void run();

  ScriptFile& file_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  bool finishing_ = false;
  std::exception_ptr failure_;
  // Started last, once the members it uses exist.
  std::thread thread_;
};

}  // namespace velmora::script
