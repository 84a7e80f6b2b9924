#include "server/private_driver_configuration.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "server/data_access.h"

namespace velmora::server {
namespace {

constexpr const char* kSettingName = "FREETDSCONF";

std::string temporaryRoot() {
  const char* root = std::getenv("TMPDIR");
  return root != nullptr && *root == '/' ? root : "/tmp";
}

[[noreturn]] void throwSystemError(const std::string& what) {
  throw DataAccessError(what + ": " + std::strerror(errno));
}

// The words for the status bits GnuTLS gives a certificate it does not trust.
std::string certificateStatusText(unsigned long status) {
  struct Bit {
    unsigned long bit;
    const char* text;
  };
  constexpr Bit bits[] = {
      {0x40, "it is not signed by a trusted authority"},
      {0x80, "its signer is not a certificate authority"},
      {0x800, "its signature does not verify"},
      {0x400, "it has expired"},
      {0x200, "it is not valid yet"},
      {0x20, "it has been revoked"},
      {0x100, "it is signed with an insecure algorithm"},
  };
  std::string text;
  for (const Bit& b : bits)
    if ((status & b.bit) != 0)
      text += (text.empty() ? "" : ", ") + std::string(b.text);
  return text.empty() ? "status " + std::to_string(status) : text;
}

}  // namespace

std::string tlsRefusalReason(std::string_view log, std::string_view host, bool encryptionRequired) {
  std::string handshake;
  bool loginRejected = false;
  while (!log.empty()) {
    const std::size_t end = log.find('\n');
    std::string_view line = log.substr(0, end);
    log.remove_prefix(end == std::string_view::npos ? log.size() : end + 1);
    if (line.starts_with("Certificate hostname does not match"))
      return "The server's certificate does not name " + std::string(host) + ".";
    if (line.starts_with("Certificate status: "))
      return "The server's certificate is not trusted: " +
             certificateStatusText(std::strtoul(line.data() + 20, nullptr, 10)) + ".";
    if (line.starts_with("loading CA file")) {
      // "loading CA file failed: Error while reading file."
      line.remove_prefix(std::min(line.size(), line.rfind(": ") + 2));
      while (line.ends_with('.'))
        line.remove_suffix(1);
      return "The CA file cannot be used: " + std::string(line) + ".";
    }
    if (line.starts_with("handshake failed: "))
      handshake = "The TLS handshake failed: " + std::string(line.substr(18));
    loginRejected = loginRejected || line.starts_with("login packet rejected");
  }
  // Without a handshake, a login the driver would not send is one the server would not
  // encrypt.
  if (handshake.empty() && loginRejected && encryptionRequired)
    return "The server does not encrypt the connection, and encryption is required.";
  return handshake;
}

PrivateDriverConfiguration::PrivateDriverConfiguration() {
  std::string pattern = temporaryRoot() + "/velmora-tds-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr)
    throwSystemError("Cannot make a private folder for the driver's configuration");
  folder_ = pattern;
  configFile_ = folder_ + "/freetds.conf";
}

PrivateDriverConfiguration::~PrivateDriverConfiguration() {
  if (named_) {
    if (hadFormerSetting_)
      ::setenv(kSettingName, formerSetting_.c_str(), 1);
    else
      ::unsetenv(kSettingName);
  }
  ::unlink(configFile_.c_str());
  ::unlink(logFile().c_str());
  ::rmdir(folder_.c_str());
}

void PrivateDriverConfiguration::write(const std::string& text) {
  const int fd = ::open(configFile_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0)
    throwSystemError("Cannot write the driver's configuration");
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  if (!written)
    throwSystemError("Cannot write the driver's configuration");
  if (const char* former = std::getenv(kSettingName)) {
    formerSetting_ = former;
    hadFormerSetting_ = true;
  }
  ::setenv(kSettingName, configFile_.c_str(), 1);
  named_ = true;
}

std::string PrivateDriverConfiguration::refusalReason(std::string_view host,
                                                      bool encryptionRequired) const {
  std::ifstream in(logFile(), std::ios::binary);
  const std::string log{std::istreambuf_iterator<char>(in), {}};
  return tlsRefusalReason(log, host, encryptionRequired);
}

}  // namespace velmora::server
