#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The texts a user sees from a session, the same in the window and in velmora-export.
namespace velmora::session {

// The message of a failed connect, whatever the cause (UTF-8).
inline constexpr std::string_view kConnectionFailureText =
    "无法连接数据库，可能是用户名、密码错或计算机上未安装SQL SERVER";

// A connect failed, whatever the cause. what() is the connection-failure message, which hosts
// show as it is; reason() why the connect was refused, when the user must learn it (a
// certificate, a named instance), else empty.
class ConnectionFailure : public std::runtime_error {
 public:
  explicit ConnectionFailure(std::string reason = {});
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

// A name the user typed that the server's list does not hold. what() is
// "<Database|Table> '<name>' not found" (UTF-8).
class NameNotListed : public std::runtime_error {
 public:
  enum class Kind { database, table };
  NameNotListed(Kind kind, std::u16string name);
  Kind kind() const { return kind_; }
  const std::u16string& name() const { return name_; }

 private:
  Kind kind_;
  std::u16string name_;
};

// How an error's text (UTF-8) is shown: a full stop is appended when the text is not empty
// and its last byte sorts after ".". Every character beyond ASCII ends in a byte of 0x80 or
// more, in UTF-8 as in GBK, so it gets the full stop too.
std::string errorBoxText(std::string message);
// The text of an error that ended a handler or a run: its what() taken as UTF-8, shown by the
// rule above.
std::string errorBoxText(const std::exception& error);

}  // namespace velmora::session
