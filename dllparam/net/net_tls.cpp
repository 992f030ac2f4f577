// Implements TLS for the network client and the source server with OpenSSL.
#include "dllparam/net/net_tls.h"

#include "dllparam/net/net_protocol.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

namespace qv::net {

namespace {

// Returns the text of the oldest OpenSSL error queued (and empties the queue).
std::string OpenSslText(const char* fallback) {
  std::string text = fallback;
  if (unsigned long e = ERR_peek_last_error()) {
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    const char* reason = ERR_reason_error_string(e);
    text = reason ? reason : buf;
  }
  ERR_clear_error();
  return text;
}

// A socket BIO that never raises SIGPIPE and never blocks: writes go out with
// MSG_NOSIGNAL, so that a peer gone away gives EPIPE as on plain streams.
// The BIO's data: the socket, and the first bytes read from it, kept so that
// a handshake that fails on a plain answer can still tell what the server said.
struct BioSocket {
  int fd;
  std::string head;
};
constexpr std::size_t kKeptHead = 4096;

int BioWrite(BIO* b, const char* data, size_t n, size_t* put) {
  BIO_clear_retry_flags(b);
  const int fd = static_cast<BioSocket*>(BIO_get_data(b))->fd;
  for (;;) {
    const ssize_t r = ::send(fd, data, n, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (r >= 0) {
      *put = static_cast<size_t>(r);
      return 1;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) BIO_set_retry_write(b);
    return 0;
  }
}

int BioRead(BIO* b, char* data, size_t n, size_t* got) {
  BIO_clear_retry_flags(b);
  BioSocket* socket = static_cast<BioSocket*>(BIO_get_data(b));
  for (;;) {
    const ssize_t r = ::recv(socket->fd, data, n, MSG_DONTWAIT);
    if (r > 0) {
      *got = static_cast<size_t>(r);
      if (socket->head.size() < kKeptHead)
        socket->head.append(data, std::min(*got, kKeptHead - socket->head.size()));
      return 1;
    }
    if (r == 0) {
      errno = 0;
      return 0;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) BIO_set_retry_read(b);
    return 0;
  }
}

long BioCtrl(BIO*, int cmd, long, void*) { return cmd == BIO_CTRL_FLUSH ? 1 : 0; }

int BioCreate(BIO* b) {
  BIO_set_init(b, 1);
  return 1;
}

int BioDestroy(BIO* b) {
  delete static_cast<BioSocket*>(BIO_get_data(b));
  BIO_set_data(b, nullptr);
  return 1;
}

BIO_METHOD* SocketMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "qv socket");
    BIO_meth_set_write_ex(m, BioWrite);
    BIO_meth_set_read_ex(m, BioRead);
    BIO_meth_set_ctrl(m, BioCtrl);
    BIO_meth_set_create(m, BioCreate);
    BIO_meth_set_destroy(m, BioDestroy);
    return m;
  }();
  return method;
}

// Creates the TLS state of a connection over stream's socket.
SSL* NewSsl(ssl_ctx_st* ctx, int fd) {
  SSL* ssl = SSL_new(ctx);
  if (!ssl) return nullptr;
  BIO* bio = BIO_new(SocketMethod());
  if (!bio) {
    SSL_free(ssl);
    return nullptr;
  }
  BIO_set_data(bio, new BioSocket{fd, {}});
  SSL_set_bio(ssl, bio, bio);
  return ssl;
}

// Drives a handshake step (SSL_accept or SSL_connect) to its end.
template <class Step>
IoResult Handshake(SSL* ssl, int fd, Clock::time_point deadline, int stopFd, Step step) {
  for (;;) {
    ERR_clear_error();
    errno = 0;
    const int rc = step(ssl);
    if (rc == 1) return {};
    const int err = SSL_get_error(ssl, rc);
    if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
      IoResult w = WaitFor(fd, err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline, stopFd);
      if (!w.ok()) {
        if (w.status == IoResult::TimedOut) w.text = "the TLS handshake did not end in time";
        return w;
      }
      continue;
    }
    if (err == SSL_ERROR_SYSCALL && errno != 0) return IoResult::Fail(IoResult::Failed, errno, ErrnoText(errno));
    if (err == SSL_ERROR_SYSCALL || err == SSL_ERROR_ZERO_RETURN)
      return IoResult::Fail(IoResult::Closed, 0, "the peer closed the connection during the TLS handshake");
    const long verify = SSL_get_verify_result(ssl);
    if (verify != X509_V_OK) {
      ERR_clear_error();
      return IoResult::Fail(IoResult::Refused, 0,
                            std::string("server certificate refused: ") + X509_verify_cert_error_string(verify));
    }
    return IoResult::Fail(IoResult::Refused, 0, "TLS handshake failed: " + OpenSslText("no reason given"));
  }
}

// Returns the text of the fault frame a server sent in plain instead of
// its side of the handshake (a server too busy to take the session says why
// before any TLS), or "" when the bytes read are not one. The handshake read
// the frame's first bytes; the rest, if any, is read from fd for a short while.
std::string PlainFaultRead(SSL* ssl, int fd) {
  constexpr uint32_t kLargestFault = 4096;
  const BioSocket* socket = static_cast<const BioSocket*>(BIO_get_data(SSL_get_rbio(ssl)));
  if (!socket || socket->head.size() < 4) return "";
  std::string bytes = socket->head;
  try {
    const std::size_t whole = 4 + static_cast<std::size_t>(DecodeLength(std::string_view(bytes).substr(0, 4), kLargestFault));
    const Clock::time_point deadline = DeadlineIn(500);
    while (bytes.size() < whole) {
      if (!WaitFor(fd, POLLIN, deadline).ok()) return "";
      char buf[512];
      const ssize_t n = ::recv(fd, buf, std::min(sizeof buf, whole - bytes.size()), MSG_DONTWAIT);
      if (n > 0) bytes.append(buf, static_cast<std::size_t>(n));
      else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) return "";
    }
    const Frame frame = DecodeBody(std::string_view(bytes).substr(4, whole - 4));
    return frame.kind == FrameKind::Fault ? DecodeFault(frame.payload).text : "";
  } catch (const std::exception&) {
    return "";
  }
}

std::string Sha256Of(X509* cert) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (!X509_digest(cert, EVP_sha256(), md, &len)) return {};
  return std::string(reinterpret_cast<const char*>(md), len);
}

std::string HexPairs(std::string_view bytes) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ':';
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

ssl_ctx_st* NewContext(bool server) {
  SSL_CTX* ctx = SSL_CTX_new(server ? TLS_server_method() : TLS_client_method());
  if (!ctx) throw std::runtime_error("cannot set up TLS: " + OpenSslText("out of memory"));
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  return ctx;
}

}  // namespace

TlsContext::~TlsContext() {
  if (ctx_) SSL_CTX_free(ctx_);
}

std::shared_ptr<const TlsContext> TlsContext::ForServer(const std::string& certFile, const std::string& keyFile) {
  std::shared_ptr<TlsContext> t(new TlsContext);
  t->ctx_ = NewContext(true);
  // Sessions are not resumed: no tickets travel after the handshake.
  SSL_CTX_set_num_tickets(t->ctx_, 0);
  SSL_CTX_set_session_cache_mode(t->ctx_, SSL_SESS_CACHE_OFF);
  if (SSL_CTX_use_certificate_chain_file(t->ctx_, certFile.c_str()) != 1)
    throw std::runtime_error("cannot read the certificate " + certFile + ": " + OpenSslText("unreadable"));
  if (SSL_CTX_use_PrivateKey_file(t->ctx_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
    throw std::runtime_error("cannot read the private key " + keyFile + ": " + OpenSslText("unreadable"));
  if (SSL_CTX_check_private_key(t->ctx_) != 1)
    throw std::runtime_error("the private key " + keyFile + " does not match the certificate " + certFile);
  return t;
}

std::shared_ptr<const TlsContext> TlsContext::ForClient(const TlsClientSettings& settings) {
  std::shared_ptr<TlsContext> t(new TlsContext);
  t->ctx_ = NewContext(false);
  if (!settings.pin.empty()) {
    auto pin = ParsePin(settings.pin);
    if (!pin) throw std::runtime_error("the certificate pin is not 64 hexadecimal digits");
    t->pin_ = *pin;
  }
  if (!settings.caFile.empty()) {
    if (SSL_CTX_load_verify_locations(t->ctx_, settings.caFile.c_str(), nullptr) != 1)
      throw std::runtime_error("cannot read the CA file " + settings.caFile + ": " + OpenSslText("unreadable"));
  } else if (t->pin_.empty()) {
    SSL_CTX_set_default_verify_paths(t->ctx_);
  } else {
    t->checkChain_ = false;  // the pin alone names the certificate
  }
  SSL_CTX_set_verify(t->ctx_, t->checkChain_ ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
  return t;
}

IoResult TlsContext::Accept(Stream& stream, Clock::time_point deadline, int stopFd) const {
  SSL* ssl = NewSsl(ctx_, stream.get());
  if (!ssl) return IoResult::Fail(IoResult::Failed, ENOMEM, "cannot set up TLS");
  IoResult r = Handshake(ssl, stream.get(), deadline, stopFd, [](SSL* s) { return SSL_accept(s); });
  if (!r.ok()) {
    SSL_free(ssl);
    return r;
  }
  stream.AttachTls(ssl);
  return {};
}

IoResult TlsContext::Connect(Stream& stream, const std::string& host, Clock::time_point deadline) const {
  SSL* ssl = NewSsl(ctx_, stream.get());
  if (!ssl) return IoResult::Fail(IoResult::Failed, ENOMEM, "cannot set up TLS");
  unsigned char ip[16];
  const bool isIp = ::inet_pton(AF_INET, host.c_str(), ip) == 1 || ::inet_pton(AF_INET6, host.c_str(), ip) == 1;
  if (!isIp) SSL_set_tlsext_host_name(ssl, host.c_str());
  if (checkChain_) {
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    if (isIp) X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
    else SSL_set1_host(ssl, host.c_str());
  }
  IoResult r = Handshake(ssl, stream.get(), deadline, -1, [](SSL* s) { return SSL_connect(s); });
  if (!r.ok() && r.status != IoResult::TimedOut) {
    if (std::string said = PlainFaultRead(ssl, stream.get()); !said.empty()) r = IoResult::Fail(IoResult::Answered, 0, said);
  }
  if (r.ok() && !pin_.empty()) {
    X509* cert = SSL_get1_peer_certificate(ssl);
    const std::string got = cert ? Sha256Of(cert) : std::string();
    if (cert) X509_free(cert);
    if (got.size() != pin_.size() || CRYPTO_memcmp(got.data(), pin_.data(), got.size()) != 0)
      r = IoResult::Fail(IoResult::Refused, 0,
                         "server certificate refused: its SHA-256 fingerprint " +
                             (got.empty() ? std::string("(none)") : HexPairs(got)) + " is not the pinned one");
  }
  if (!r.ok()) {
    SSL_free(ssl);
    return r;
  }
  stream.AttachTls(ssl);
  return {};
}

std::optional<std::string> ParsePin(std::string_view text) {
  std::string bytes;
  int high = -1;
  for (char c : text) {
    if (c == ':' && high < 0) continue;
    int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (v < 0) return std::nullopt;
    if (high < 0) {
      high = v;
    } else {
      bytes += static_cast<char>(high * 16 + v);
      high = -1;
    }
  }
  if (high >= 0 || bytes.size() != 32) return std::nullopt;
  return bytes;
}

std::string CertificateFingerprint(const std::string& certFile) {
  FILE* f = std::fopen(certFile.c_str(), "r");
  if (!f) throw std::runtime_error("cannot read the certificate " + certFile + ": " + ErrnoText(errno));
  X509* cert = PEM_read_X509(f, nullptr, nullptr, nullptr);
  std::fclose(f);
  if (!cert) throw std::runtime_error("no certificate in " + certFile);
  const std::string md = Sha256Of(cert);
  X509_free(cert);
  return HexPairs(md);
}

bool IsLoopbackHost(std::string_view host) {
  if (host == "localhost" || host == "::1") return true;
  std::string h(host);
  in_addr a{};
  return ::inet_pton(AF_INET, h.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

}  // namespace qv::net
