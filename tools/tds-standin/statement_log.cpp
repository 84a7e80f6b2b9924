#include "statement_log.h"

#include <stdexcept>

#include <nlohmann/json.hpp>

namespace standin {

StatementLog::StatementLog(const std::string& path) : out_(path, std::ios::app) {
  if (!out_) {
    throw std::runtime_error("cannot open statement log " + path);
  }
}

void StatementLog::write(const std::string& statement) {
  std::string line =
      nlohmann::json(statement).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::lock_guard lock(mutex_);
  out_ << line << '\n';
  out_.flush();
}

}  // namespace standin
