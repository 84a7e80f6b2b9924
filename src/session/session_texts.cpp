#include "session/session_texts.h"

#include <utility>

#include "text/utf.h"

namespace velmora::session {

ConnectionFailure::ConnectionFailure(std::string reason)
    : std::runtime_error(std::string(kConnectionFailureText)), reason_(std::move(reason)) {}

NameNotListed::NameNotListed(Kind kind, std::u16string name)
    : std::runtime_error(std::string(kind == Kind::database ? "Database" : "Table") + " '" +
                         text::utf8FromUtf16(name) + "' not found"),
      kind_(kind),
      name_(std::move(name)) {}

std::string errorBoxText(std::string message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
    message += '.';
  return message;
}

std::string errorBoxText(const std::exception& error) {
  return errorBoxText(std::string(error.what()));
}

}  // namespace velmora::session
