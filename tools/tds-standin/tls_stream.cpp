#include "tls_stream.h"

#include <gnutls/crypto.h>
#include <gnutls/x509.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <stdexcept>

#include "requests.h"
#include "wire.h"

namespace standin {
namespace {

// SQL Server names the certificate it makes for itself so.
constexpr const char* kCommonName = "SSL_Self_Signed_Fallback";
// SQL Server 2019 speaks TLS 1.2, and its clients expect it.
constexpr const char* kPriorities = "NORMAL:-VERS-ALL:+VERS-TLS1.2";

void check(int code, const char* what) {
  if (code < 0)
    throw std::runtime_error(std::string("cannot make the TLS certificate: ") + what + ": " +
                             gnutls_strerror(code));
}

struct KeyDeleter {
  void operator()(gnutls_x509_privkey_t key) const { gnutls_x509_privkey_deinit(key); }
};
struct CertificateDeleter {
  void operator()(gnutls_x509_crt_t certificate) const { gnutls_x509_crt_deinit(certificate); }
};

}  // namespace

TlsCredentials::TlsCredentials() {
  gnutls_x509_privkey_t rawKey = nullptr;
  check(gnutls_x509_privkey_init(&rawKey), "key");
  std::unique_ptr<gnutls_x509_privkey_int, KeyDeleter> key(rawKey);
  check(gnutls_x509_privkey_generate(rawKey, GNUTLS_PK_RSA, 2048, 0), "RSA key");

  gnutls_x509_crt_t raw = nullptr;
  check(gnutls_x509_crt_init(&raw), "certificate");
  std::unique_ptr<gnutls_x509_crt_int, CertificateDeleter> certificate(raw);
  unsigned char serial[8];
  check(gnutls_rnd(GNUTLS_RND_NONCE, serial, sizeof serial), "serial number");
  serial[0] &= 0x7F;  // a positive number
  const std::time_t now = std::time(nullptr);
  check(gnutls_x509_crt_set_version(raw, 3), "version");
  check(gnutls_x509_crt_set_serial(raw, serial, sizeof serial), "serial number");
  check(gnutls_x509_crt_set_activation_time(raw, now - 24 * 3600), "start");
  check(gnutls_x509_crt_set_expiration_time(raw, now + 365 * 24 * 3600), "end");
  check(gnutls_x509_crt_set_dn_by_oid(raw, GNUTLS_OID_X520_COMMON_NAME, 0, kCommonName,
                                      static_cast<unsigned>(std::strlen(kCommonName))),
        "name");
  // The names the stand-in is reached by, for clients that compare them.
  check(gnutls_x509_crt_set_subject_alt_name(raw, GNUTLS_SAN_DNSNAME, "localhost", 9,
                                             GNUTLS_FSAN_SET),
        "host name");
  const unsigned char loopback[4] = {127, 0, 0, 1};
  check(gnutls_x509_crt_set_subject_alt_name(raw, GNUTLS_SAN_IPADDRESS, loopback, sizeof loopback,
                                             GNUTLS_FSAN_APPEND),
        "address");
  check(gnutls_x509_crt_set_basic_constraints(raw, 0, -1), "constraints");
  check(gnutls_x509_crt_set_key_purpose_oid(raw, GNUTLS_KP_TLS_WWW_SERVER, 0), "purpose");
  check(gnutls_x509_crt_set_key(raw, rawKey), "public key");
  check(gnutls_x509_crt_sign2(raw, raw, rawKey, GNUTLS_DIG_SHA256, 0), "signature");

  gnutls_datum_t pem{};
  check(gnutls_x509_crt_export2(raw, GNUTLS_X509_FMT_PEM, &pem), "PEM text");
  certificatePem_.assign(reinterpret_cast<const char*>(pem.data), pem.size);
  gnutls_free(pem.data);

  check(gnutls_certificate_allocate_credentials(&credentials_), "credentials");
  const int stored = gnutls_certificate_set_x509_key(credentials_, &raw, 1, rawKey);
  if (stored < 0) {
    gnutls_certificate_free_credentials(credentials_);
    check(stored, "credentials");
  }
}

TlsCredentials::~TlsCredentials() {
  gnutls_certificate_free_credentials(credentials_);
}

TlsStream::TlsStream(const TlsCredentials& credentials, int fd) : fd_(fd) {
  int rc = gnutls_init(&session_, GNUTLS_SERVER | GNUTLS_NO_TICKETS);
  if (rc < 0)
    throw std::runtime_error(std::string("cannot start TLS: ") + gnutls_strerror(rc));
  if ((rc = gnutls_priority_set_direct(session_, kPriorities, nullptr)) < 0 ||
      (rc = gnutls_credentials_set(session_, GNUTLS_CRD_CERTIFICATE, credentials.get())) < 0) {
    gnutls_deinit(session_);
    throw std::runtime_error(std::string("cannot start TLS: ") + gnutls_strerror(rc));
  }
  gnutls_handshake_set_timeout(session_, 0);  // a client is waited for as long as it takes
  gnutls_transport_set_ptr(session_, this);
  gnutls_transport_set_pull_function(session_, pull);
  gnutls_transport_set_push_function(session_, push);
  gnutls_transport_set_pull_timeout_function(session_, pullTimeout);
}

TlsStream::~TlsStream() {
  gnutls_deinit(session_);
}

void TlsStream::fail(int code, const char* what) {
  if (callbackFailure_) {
    std::exception_ptr failure = callbackFailure_;
    callbackFailure_ = nullptr;
    std::rethrow_exception(failure);
  }
  if (code == GNUTLS_E_PREMATURE_TERMINATION || code == GNUTLS_E_PULL_ERROR ||
      code == GNUTLS_E_PUSH_ERROR) {
    throw ClientGone(std::string(what) + ": " + gnutls_strerror(code));
  }
  throw ProtocolError(std::string(what) + ": " + gnutls_strerror(code));
}

void TlsStream::handshake(PacketChannel& channel) {
  handshakeChannel_ = &channel;
  int rc;
  do {
    rc = gnutls_handshake(session_);
  } while (rc < 0 && !gnutls_error_is_fatal(rc));
  if (rc < 0) {
    handshakeChannel_ = nullptr;
    fail(rc, "TLS handshake failed");
  }
  flushHandshake();  // the server's last flight
  handshakeChannel_ = nullptr;
  // Whatever else the client put in its last handshake packet is padding.
  handshakeIn_.clear();
}

std::size_t TlsStream::pullHandshake(void* data, std::size_t size) {
  if (!handshakeOut_.empty())
    flushHandshake();  // the client answers only what it has been sent
  while (handshakeIn_.empty()) {
    PacketChannel::Message message;
    if (!handshakeChannel_->read(message))
      throw ClientGone("client closed the connection during the TLS handshake");
    if (message.type != packet::kPrelogin) {
      throw ProtocolError("a request of type " + std::to_string(message.type) +
                          " arrived instead of the TLS handshake");
    }
    handshakeIn_ = std::move(message.payload);
  }
  const std::size_t n = std::min(size, handshakeIn_.size());
  std::memcpy(data, handshakeIn_.data(), n);
  handshakeIn_.erase(0, n);
  return n;
}

void TlsStream::flushHandshake() {
  if (handshakeOut_.empty())
    return;
  handshakeChannel_->out() += handshakeOut_;
  handshakeOut_.clear();
  handshakeChannel_->endMessage(packet::kPrelogin);
}

ssize_t TlsStream::pull(gnutls_transport_ptr_t self, void* data, std::size_t size) {
  auto* stream = static_cast<TlsStream*>(self);
  if (stream->handshakeChannel_ != nullptr) {
    try {
      return static_cast<ssize_t>(stream->pullHandshake(data, size));
    } catch (...) {
      stream->callbackFailure_ = std::current_exception();
      gnutls_transport_set_errno(stream->session_, EIO);
      return -1;
    }
  }
  ssize_t n;
  do {
    n = ::recv(stream->fd_, data, size, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0)
    gnutls_transport_set_errno(stream->session_, errno);
  return n;
}

ssize_t TlsStream::push(gnutls_transport_ptr_t self, const void* data, std::size_t size) {
  auto* stream = static_cast<TlsStream*>(self);
  if (stream->handshakeChannel_ != nullptr) {
    stream->handshakeOut_.append(static_cast<const char*>(data), size);
    return static_cast<ssize_t>(size);
  }
  ssize_t n;
  do {
    n = ::send(stream->fd_, data, size, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0)
    gnutls_transport_set_errno(stream->session_, errno);
  return n;
}

int TlsStream::pullTimeout(gnutls_transport_ptr_t self, unsigned int ms) {
  auto* stream = static_cast<TlsStream*>(self);
  if (stream->handshakeChannel_ != nullptr)
    return 1;  // the handshake reads block until the client's packet arrives
  pollfd p{stream->fd_, POLLIN, 0};
  return ::poll(&p, 1, ms == GNUTLS_INDEFINITE_TIMEOUT ? -1 : static_cast<int>(ms));
}

std::size_t TlsStream::receive(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = gnutls_record_recv(session_, buffer, size);
    if (n > 0)
      return static_cast<std::size_t>(n);
    if (n == 0)
      throw ClientGone("client closed the connection");
    if (n != GNUTLS_E_AGAIN && n != GNUTLS_E_INTERRUPTED)
      fail(static_cast<int>(n), "TLS read failed");
  }
}

void TlsStream::send(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = gnutls_record_send(session_, data, size);
    if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED)
      continue;
    if (n < 0)
      fail(static_cast<int>(n), "TLS write failed");
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

bool TlsStream::readable() {
  if (gnutls_record_check_pending(session_) > 0)
    return true;
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

}  // namespace standin
