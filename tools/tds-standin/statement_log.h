#pragma once

#include <fstream>
#include <mutex>
#include <string>

namespace standin {

// Writes every SQL batch text a client sends as one JSON string per line, flushed at once,
// so tests can compare what arrived byte for byte.
class StatementLog {
 public:
  // Throws std::runtime_error when the file cannot be opened.
  explicit StatementLog(const std::string& path);
  void write(const std::string& statement);

 private:
  std::mutex mutex_;
  std::ofstream out_;
};

}  // namespace standin
