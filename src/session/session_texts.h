#pragma once

#include <stdexcept>
#include <string>

// The texts a user sees from a session, the same in the window and in velmora-export.
namespace velmora::session {

// A connect failed, whatever the cause. what() is the connection-failure message (UTF-8),
// which hosts show as it is; reason() why the connect was refused, when the user must learn
// it (a certificate, a named instance), else empty.
class ConnectionFailure : public std::runtime_error {
 public:
  explicit ConnectionFailure(std::string reason = {});
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

// How an error's text (UTF-8) is shown: a full stop is appended when the text is not empty
// and its last byte sorts after ".". Every character beyond ASCII ends in a byte of 0x80 or
// more, in UTF-8 as in GBK, so it gets the full stop too.
std::string errorBoxText(std::string message);

}  // namespace velmora::session
