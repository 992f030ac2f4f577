// The network client of the record-access library: a DllParam whose
// connections are TCP sessions with source servers (qvsource serve). Every
// operation travels to the server of its connection with its arguments and
// in-place buffers, and comes back with the result, the buffers and the
// error state (docs/protocol.md).
//
// - An address is "HOST" or "HOST:PORT" (default port 1310), "[IPV6]:PORT"
//   for IPv6. Several connections may be open at once, to the same server or
//   to different ones; OpenMConnection makes the new one current and
//   SwitchMConnection selects another.
// - A call with a file or statement handle goes to the connection that gave
//   out that handle; every other call goes to the current connection.
//   Handles are the client's own (from the handle base up), mapped to the
//   server's.
// - Timeouts: connecting (and the handshake) QV_CONNECT_TIMEOUT, default
//   5 s; each call QV_CALL_TIMEOUT, default 30 s; PingPong and the goodbye
//   of CloseMConnection QV_PING_TIMEOUT, default 5 s. Values are seconds
//   (decimals allowed). A source that stops answering fails the call with
//   kCodeNetwork; the connection is then dead: every later call on it fails
//   the same way at once, until CloseMConnection.
// - TLS: the client speaks TLS to a host beyond loopback, and to any host
//   when a CA file or a pin is given; options after the address (in any
//   case) override the environment for that connection:
//     "HOST:PORT;pin=SHA256;tls=on|off"
//   Environment: QV_TLS_CA (PEM file of the CAs to trust), QV_TLS_PIN (the
//   SHA-256 fingerprint of the server's certificate, as "qvsource serve"
//   prints it), QV_TLS=on|off (off: plain even beyond loopback, for a server
//   started with --insecure). Without a CA file or a pin the system's CAs
//   are trusted. A certificate that fails closes the connection before any
//   request leaves.
// - Login: the hello carries the user and password of the login source
//   (SetLoginSource; the control's process user and password), so that a
//   server with a users file lets the session in. A refused login fails
//   OpenMConnection with kCodeNetwork ("source server HOST:PORT: login
//   refused").
// - GetLastError tells a network failure (kCodeNetwork: "source server
//   10.0.0.5:1310 did not answer within 5 s") from the source's own answer
//   (its code, number and text, passed through unchanged).
//
// Not safe to use from several threads at once (as every DllParam).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "connection/dllparam.h"
#include "connection/dllparam_wrapper.h"
#include "dllparam/net/net_protocol.h"
#include "dllparam/net/net_socket.h"

namespace qv::net {

// Sets where every client without its own ClientOptions::login takes its
// login when it opens a connection (the automation layer gives the control's
// process user and password). Safe from any thread.
void SetLoginSource(std::function<Login()> source);

struct ClientOptions {
  int connectTimeoutMs = 5000;
  int callTimeoutMs = 30000;
  int pingTimeoutMs = 5000;
  // Connection, file and statement handles are given out from here up
  // (handleBase + 1 .. handleBase + 2^24 - 1).
  int32_t handleBase = 0;
  // Name sent to the server for its log; "qvmgr pid N" when empty.
  std::string clientName;
  // The login sent in the hello; empty: the login source's (SetLoginSource).
  std::function<Login()> login;
  // Checks of the server's certificate, and whether TLS is forced on or off
  // (empty: TLS beyond loopback or when a CA file or pin is given).
  std::string tlsCaFile;
  std::string tlsPin;
  std::string tlsMode;  // "", "on" or "off"

  // Returns the defaults with the timeouts of QV_CONNECT_TIMEOUT,
  // QV_CALL_TIMEOUT and QV_PING_TIMEOUT when set to a positive number of
  // seconds (anything else keeps the default), and the TLS settings of
  // QV_TLS_CA, QV_TLS_PIN and QV_TLS.
  static ClientOptions FromEnvironment(int32_t handleBase = 0);
};

// Reads a timeout in seconds ("5", "0.5") as milliseconds; nothing for an
// empty, negative, zero or malformed text, or more than a day.
std::optional<int> ParseTimeoutSeconds(const char* text);

class NetClient final : public DllParamDispatch {
 public:
  explicit NetClient(ClientOptions options = ClientOptions::FromEnvironment());
  ~NetClient() override;
  NetClient(const NetClient&) = delete;
  NetClient& operator=(const NetClient&) = delete;

  const ClientOptions& options() const { return options_; }
  // Returns the number of connections held (alive or dead).
  std::size_t ConnectionCount() const { return connections_.size(); }
  // Tells whether connection hConn is held and has not failed.
  bool Alive(int32_t hConn) const;

  // Answered here: the error state, the connections, the handles they give
  // out, and PingPong with its own timeout. Every other operation travels
  // as it is (Perform).
  int32_t GetLastError(int32_t& code, int32_t& errNum, std::string& text) override;
  int32_t OpenMConnection(const std::string& address, std::string& serverVersion, std::string& serverJob,
                          int32_t& hConn) override;
  int32_t SwitchMConnection(int32_t hConn) override;
  int32_t CloseMConnection(int32_t hConn) override;
  int32_t PingPong() override;
  int32_t Ropen(const std::string& file, const std::string& mode, int32_t& h) override;
  int32_t Rclose(int32_t h) override;

 protected:
  int32_t Perform(const DllParamCall& call) override;

 private:
  struct Connection {
    int32_t id = 0;
    std::string where;  // "host:port" as shown in messages
    Stream sock;
    uint32_t sequence = 0;
    bool dead = false;
    std::string deadReason;
  };

  // Sends call to the connection it belongs to and writes the returned
  // arguments back; sets the error state. timeoutMs 0: the call timeout.
  int32_t Send(const DllParamCall& call, int timeoutMs = 0);
  // Sends one frame on c and reads its answer; on any failure marks c dead,
  // sets the error state and returns false.
  bool RoundTrip(Connection& c, FrameKind kind, const std::string& payload, int timeoutMs, Frame& answer);
  void MarkDead(Connection& c, std::string reason, int32_t errNum);
  // Takes a fault frame as the end of c; returns false.
  bool FaultAnswer(Connection& c, const Frame& frame);
  void ClearError();
  int32_t Fail(int32_t code, std::string text, int32_t errNum = 0);
  Connection* Find(int32_t hConn);
  // Clears the error state and returns connection hConn; an unknown one sets
  // kCodeBadCall and gives nullptr.
  Connection* Held(int32_t hConn);
  // Returns the client handle for handle serverHandle of connection c (a new
  // one the first time).
  int32_t ClientHandle(Connection& c, int32_t serverHandle);
  void ForgetHandles(int32_t connection);
  void DropConnection(int32_t hConn);

  ClientOptions options_;
  std::map<int32_t, std::unique_ptr<Connection>> connections_;
  Connection* current_ = nullptr;
  // client handle -> (connection, server handle), and back.
  std::map<int32_t, std::pair<int32_t, int32_t>> handles_;
  std::map<std::pair<int32_t, int32_t>, int32_t> serverHandles_;
  int32_t nextConnection_ = 1;
  int32_t nextHandle_ = 1;
  int32_t code_ = kCodeNone;
  int32_t errNum_ = 0;
  std::string text_;
};

}  // namespace qv::net
