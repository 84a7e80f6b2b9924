#include "encryption.h"

#include "requests.h"

namespace standin {

std::optional<EncryptionMode> encryptionModeNamed(std::string_view name) {
  if (name == "off")
    return EncryptionMode::Off;
  if (name == "login")
    return EncryptionMode::Login;
  if (name == "required")
    return EncryptionMode::Required;
  return std::nullopt;
}

EncryptionAgreement agreeEncryption(EncryptionMode mode, uint8_t clientOffer) {
  switch (mode) {
    case EncryptionMode::Off:
      return {encrypt::kNotSup, TlsScope::None};
    case EncryptionMode::Login:
      if (clientOffer == encrypt::kNotSup)
        return {encrypt::kNotSup, TlsScope::None};
      if (clientOffer == encrypt::kOff)
        return {encrypt::kOff, TlsScope::LoginPacket};
      return {encrypt::kOn, TlsScope::WholeSession};
    case EncryptionMode::Required:
      break;
  }
  return {encrypt::kReq, TlsScope::WholeSession};
}

}  // namespace standin
