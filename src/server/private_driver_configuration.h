#pragma once

#include <string>
#include <string_view>

// A freetds.conf of the program's own for one connect, so that the user's and the system's
// files stay untouched.
namespace velmora::server {

// Writes `text` as freetds.conf (mode 0600) in a new folder that only this user can enter,
// and names it to the driver (FREETDSCONF) while the object lives. The folder and all in it
// go with the object, and FREETDSCONF gets its former value back. Throws DataAccessError
// when the folder or the file cannot be made.
class PrivateDriverConfiguration {
 public:
  PrivateDriverConfiguration();
  ~PrivateDriverConfiguration();
  PrivateDriverConfiguration(const PrivateDriverConfiguration&) = delete;
  PrivateDriverConfiguration& operator=(const PrivateDriverConfiguration&) = delete;

  // Where the driver is to log its errors: inside the private folder.
  std::string logFile() const { return folder_ + "/driver.log"; }
  void write(const std::string& text);
  // Why the driver refused the server's TLS, from its error log: empty when it logged none.
  std::string refusalReason(std::string_view host, bool encryptionRequired) const;

 private:
  std::string folder_;
  std::string configFile_;
  std::string formerSetting_;
  bool hadFormerSetting_ = false;
  bool named_ = false;
};

// The reason a FreeTDS error log gives for refusing a server's certificate or TLS handshake,
// or a server without TLS when `encryptionRequired`, in words for the user; empty when the
// log gives none. `host` is the host dialled.
std::string tlsRefusalReason(std::string_view log, std::string_view host, bool encryptionRequired);

}  // namespace velmora::server
