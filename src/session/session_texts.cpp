#include "session/session_texts.h"

#include <utility>

namespace velmora::session {

ConnectionFailure::ConnectionFailure(std::string reason)
    : std::runtime_error("无法连接数据库，可能是用户名、密码错或计算机上未安装SQL SERVER"),
      reason_(std::move(reason)) {}

std::string errorBoxText(std::string message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
    message += '.';
  return message;
}

}  // namespace velmora::session
