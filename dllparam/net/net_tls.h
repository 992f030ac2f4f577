// TLS for the network client and the source server: a context per side that
// runs the handshake on a connected Stream, after which the frames travel
// through the stream as they do on a plain one.
//
// The client checks the server's certificate against the CAs of a file, or
// pins it by the SHA-256 fingerprint of the server's own certificate, or
// both; with neither it takes the system's CAs. A CA check also checks that
// the certificate names the host connected to (DNS name or IP address).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dllparam/net/net_socket.h"

struct ssl_ctx_st;

namespace qv::net {

struct TlsClientSettings {
  std::string caFile;  // PEM file of the CAs to trust
  std::string pin;     // SHA-256 of the server's certificate (see ParsePin)
};

class TlsContext {
 public:
  // Loads the server's certificate chain and private key (PEM files).
  // Throws std::runtime_error saying which file failed and why.
  static std::shared_ptr<const TlsContext> ForServer(const std::string& certFile, const std::string& keyFile);
  // Prepares the checks of a client. Throws std::runtime_error for a CA file
  // that cannot be read or a malformed pin.
  static std::shared_ptr<const TlsContext> ForClient(const TlsClientSettings& settings);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  // Runs the server's side of the handshake on stream before deadline (or
  // until stopFd becomes readable: Stopped).
  IoResult Accept(Stream& stream, Clock::time_point deadline, int stopFd = -1) const;
  // Runs the client's side for host (as the client named it) and checks the
  // certificate; a certificate that fails gives Refused, saying why, before
  // the caller has sent anything. A server that refused the session in plain
  // (too busy) gives Answered with the server's own text.
  IoResult Connect(Stream& stream, const std::string& host, Clock::time_point deadline) const;

 private:
  TlsContext() = default;
  ssl_ctx_st* ctx_ = nullptr;
  std::string pin_;  // raw 32 bytes; empty: no pin
  bool checkChain_ = true;
};

// Reads a SHA-256 fingerprint: 64 hex digits, pairs optionally separated by
// colons; returns the 32 bytes, or nothing when malformed.
std::optional<std::string> ParsePin(std::string_view text);

// Returns the SHA-256 fingerprint of the first certificate of a PEM file as
// "AB:CD:...". Throws std::runtime_error when the file holds none.
std::string CertificateFingerprint(const std::string& certFile);

// Tells whether host names the loopback interface ("localhost", 127.x.x.x,
// "::1").
bool IsLoopbackHost(std::string_view host);

}  // namespace qv::net
