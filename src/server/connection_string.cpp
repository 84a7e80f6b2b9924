#include "server/connection_string.h"

#include <cctype>

#include "server/data_access.h"
#include "text/name_case.h"

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

// Reads a key up to its '=' ("==" stands for one '='); returns the position after the '='.
std::size_t readKey(std::u16string_view text, std::size_t pos, std::u16string& key) {
  while (pos < text.size()) {
    char16_t c = text[pos];
    if (c == u'=') {
      if (pos + 1 < text.size() && text[pos + 1] == u'=') {
        key += u'=';
        pos += 2;
        continue;
      }
      return pos + 1;
    }
    if (c == u';')
      throwMalformed("a key without '='");
    key += c;
    ++pos;
  }
  throwMalformed("a key without '='");
}

// Reads a value up to the ';' that ends it; returns the position after that ';'.
std::size_t readValue(std::u16string_view text, std::size_t pos, std::u16string& value) {
  while (pos < text.size() && isBlank(text[pos]))
    ++pos;
  if (pos < text.size() && (text[pos] == u'"' || text[pos] == u'\'')) {
    const char16_t quote = text[pos++];
    for (;;) {
      if (pos >= text.size())
        throwMalformed("an unclosed quote");
      if (text[pos] == quote) {
        if (pos + 1 < text.size() && text[pos + 1] == quote) {
          value += quote;
          pos += 2;
          continue;
        }
        ++pos;
        break;
      }
      value += text[pos++];
    }
    while (pos < text.size() && isBlank(text[pos]))
      ++pos;
    if (pos < text.size() && text[pos] != u';')
      throwMalformed("text after a quoted value");
    return pos + 1;
  }
  const std::size_t end = std::min(text.find(u';', pos), text.size());
  value = withoutBlanks(text.substr(pos, end - pos));
  return end + 1;
}

std::u16string toUtf16(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace

ConnectionProperties parseConnectionString(std::u16string_view text) {
  ConnectionProperties properties;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == u';' || isBlank(text[pos])) {
      ++pos;
      continue;
    }
    std::u16string key;
    std::u16string value;
    pos = readKey(text, pos, key);
    pos = readValue(text, pos, value);
    const std::u16string_view bareKey = withoutBlanks(key);
    if (bareKey.empty())
      throwMalformed("an empty key");
    properties[text::lowerCaseOf(bareKey)] = std::move(value);
  }
  return properties;
}

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
  // FreeTDS ends a braced value at the first "};" and reads "}}" as two characters: a '}'
  // stays single, and a value holding "};" cannot be passed at all.
  return value.find(u"};") == std::u16string_view::npos;
}

std::u16string odbcConnectionString(const ConnectionProperties& properties,
                                    std::optional<unsigned> instancePort) {
  auto property = [&](const char16_t* key) -> std::u16string {
    const auto found = properties.find(key);
    return found == properties.end() ? std::u16string() : found->second;
  };
  ServerAddress address = parseDataSource(property(u"data source"));
  if (!address.port)
    address.port = instancePort;
  std::u16string server = address.host;
  if (!address.instance.empty())
    server += u'\\' + address.instance;

  std::u16string text = u"Driver=FreeTDS;Server=" + odbcAttributeValue(server);
  if (address.port)
    text += u";Port=" + toUtf16(std::to_string(*address.port));
  text += u";Database=" + odbcAttributeValue(property(u"initial catalog"));
  text += u";UID=" + odbcAttributeValue(property(u"user id"));
  text += u";PWD=" + odbcAttributeValue(property(u"password"));
  // "request": the login is encrypted when the server has a certificate, the whole session
  // when the server demands it, as the OLE DB provider did. FreeTDS checks the server's
  // certificate only against a CA file named in freetds.conf; none is named here.
  text += u";TDS_Version=7.4;ClientCharset=UTF-8;Encryption=request";
  return text;
}

}  // namespace velmora::server
