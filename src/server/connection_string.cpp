#include "server/connection_string.h"

#include "server/data_access.h"
#include "text/name_case.h"
#include "text/utf.h"

namespace velmora::server {
namespace {

bool isBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

std::u16string_view withoutBlanks(std::u16string_view text) {
  while (!text.empty() && isBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

[[noreturn]] void throwMalformed(std::string_view why) {
  throw DataAccessError("Invalid connection string: " + std::string(why));
}

std::u16string toUtf16(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// The server as FreeTDS is told it: the host, with the instance name beside it, which FreeTDS
// passes on in PRELOGIN.
std::u16string serverText(const ServerAddress& address) {
  std::u16string server = address.host;
  if (!address.instance.empty())
    server += u'\\' + address.instance;
  return server;
}

// The attributes after the server: database and login, each in ODBC quoting.
std::u16string loginAttributes(const ConnectionTarget& target) {
  return u";Database=" + odbcAttributeValue(target.database) + u";UID=" +
         odbcAttributeValue(target.user) + u";PWD=" + odbcAttributeValue(target.password);
}

// A line of freetds.conf; a value with a control character would start another line.
std::string configurationLine(std::string_view key, const std::string& value) {
  for (char c : value)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      throw DataAccessError("The " + std::string(key) +
                            " holds a control character, which the driver cannot be given.");
  return "\t" + std::string(key) + " = " + value + "\n";
}

}  // namespace

ServerAddress parseDataSource(std::u16string_view dataSource) {
  std::u16string_view text = withoutBlanks(dataSource);
  if (text.size() >= 4 && text::lowerCaseOf(text.substr(0, 4)) == u"tcp:")
    text.remove_prefix(4);

  ServerAddress address;
  if (const std::size_t comma = text.find(u','); comma != std::u16string_view::npos) {
    const std::u16string_view portText = withoutBlanks(text.substr(comma + 1));
    unsigned port = 0;
    for (char16_t c : portText) {
      if (c < u'0' || c > u'9' || port > 65535)
        throwMalformed("the port of the data source is not a number");
      port = port * 10 + (c - u'0');
    }
    if (portText.empty() || port == 0 || port > 65535)
      throwMalformed("the port of the data source is out of range");
    address.port = port;
    text = withoutBlanks(text.substr(0, comma));
  }
  if (const std::size_t slash = text.find(u'\\'); slash != std::u16string_view::npos) {
    address.instance = text.substr(slash + 1);
    text = text.substr(0, slash);
  }
  const std::u16string lower = text::lowerCaseOf(text);
  address.host = (lower == u"." || lower == u"(local)") ? u"localhost" : std::u16string(text);
  return address;
}

std::optional<unsigned> portToDial(const ServerAddress& address) {
  if (address.port || !address.instance.empty())
    return address.port;
  return kDefaultPort;
}

std::u16string odbcAttributeValue(std::u16string_view value) {
  const bool plain = value.find_first_of(u";{}=") == std::u16string_view::npos &&
                     (value.empty() || (!isBlank(value.front()) && !isBlank(value.back())));
  if (plain)
    return std::u16string(value);
  if (!driverCanTake(value))
    throw DataAccessError("A connection value holding \"};\" cannot be passed to the driver.");
  return u"{" + std::u16string(value) + u"}";
}

bool driverCanTake(std::u16string_view value) {
  // FreeTDS 1.3 ends a braced value at the first "};" and keeps "}}" as two characters: a
  // '}' stays single, and a value holding "};" cannot be passed at all.
  return value.find(u"};") == std::u16string_view::npos;
}

std::u16string odbcConnectionString(const ConnectionTarget& target, const ServerAddress& address) {
  if (!target.security.isDefault()) {
    return u"Driver=FreeTDS;Servername=" + std::u16string(kConfiguredServerName) +
           loginAttributes(target) + u";ClientCharset=UTF-8";
  }
  std::u16string text = u"Driver=FreeTDS;Server=" + odbcAttributeValue(serverText(address));
  if (const auto port = portToDial(address))
    text += u";Port=" + toUtf16(std::to_string(*port));
  text += loginAttributes(target);
  // "request": the login is encrypted when the server has a certificate, the whole session
  // when the server demands it, as the OLE DB provider did. No certificate is checked.
  text += u";TDS_Version=7.4;ClientCharset=UTF-8;Encryption=request";
  return text;
}

std::string driverConfiguration(const ConnectionTarget& target, const ServerAddress& address,
                                const std::string& logFile) {
  const TransportSecurity& security = target.security;
  std::string text = "[" + text::utf8FromUtf16(kConfiguredServerName) + "]\n";
  text += configurationLine("host", text::utf8FromUtf16(address.host));
  if (const auto port = portToDial(address))
    text += configurationLine("port", std::to_string(*port));
  if (!address.instance.empty())
    text += configurationLine("instance", text::utf8FromUtf16(address.instance));
  text += configurationLine("tds version", "7.4");
  text += configurationLine("encryption", security.encryptionRequired ? "require" : "request");
  if (!security.trustedCertificates.empty()) {
    text += configurationLine("ca file", security.trustedCertificates);
    text += configurationLine("check certificate hostname", "yes");
  }
  // Errors only (severe and error levels): the log stays small for the whole session.
  text += configurationLine("dump file", logFile);
  text += configurationLine("debug flags", "0x6");
  return text;
}

}  // namespace velmora::server
