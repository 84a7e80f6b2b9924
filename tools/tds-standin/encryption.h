#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace standin {

// How the server is set up for encryption: no certificate (`off`), a certificate that clients
// may use (`login`: at least the login packet is encrypted when the client can), or
// encryption forced for every connection (`required`).
enum class EncryptionMode { Off, Login, Required };

// Reads "off", "login" or "required".
std::optional<EncryptionMode> encryptionModeNamed(std::string_view name);

// What TLS covers on one connection once PRELOGIN is answered.
enum class TlsScope { None, LoginPacket, WholeSession };

struct EncryptionAgreement {
  uint8_t answer;  // the encryption value of the PRELOGIN reply
  TlsScope scope;
};

// SQL Server's answer to the encryption value a client offers in PRELOGIN. With a
// certificate a client that offers nothing logs in bare, one that offers ENCRYPT_OFF gets
// its login packet encrypted and one that asks for encryption gets the whole session
// encrypted; a server forcing encryption answers ENCRYPT_REQ to everyone.
EncryptionAgreement agreeEncryption(EncryptionMode mode, uint8_t clientOffer);

}  // namespace standin
