#pragma once

#include <string>

// What one connect is given: where, which database, whose login, and how far its TLS is
// trusted.
namespace velmora::server {

// How much of the server's TLS a connect insists on. The default is what the old provider
// did: TLS when the server offers it, and no certificate checked.
struct TransportSecurity {
  // A server that does not encrypt the whole session is refused.
  bool encryptionRequired = false;
  // Empty: no certificate check. "system": the certificate must chain to the system's trust
  // store; else to the PEM file of this path. Either way it must name the host dialled.
  std::string trustedCertificates{};

  bool isDefault() const { return !encryptionRequired && trustedCertificates.empty(); }
};

// The inputs of one connect, as the connect uses them (trimmed where the window trims).
struct ConnectionTarget {
  std::u16string dataSource{};  // "host", "host,port", "host\instance", "tcp:host", ...
  std::u16string database{};
  std::u16string user{};
  std::u16string password{};
  TransportSecurity security{};
};

}  // namespace velmora::server
