// The source server: serves a record-access library (any DllParam) to
// network clients over TCP, one session per TCP connection, each session
// holding one connection of the served library. Calls of a session run in
// order on that session's own thread; sessions run side by side.
//
// Two ways to serve a library:
// - a factory: every session gets its own instance (the embedded source: each
//   instance opens its own connection to the store file, and record locks
//   and units of work hold across them as they do across processes);
// - one shared instance: calls of all sessions are serialised by a mutex and
//   each first switches the library to the session's connection (for a
//   library that is not safe to use from several threads, such as the test
//   fakes).
//
//   SourceServer server(options, [] { return std::make_unique<EmbeddedSource>(); });
//   if (!server.Start(&error)) ...;
//   std::thread t([&] { server.Run(); });
//   ... server.Stop(); t.join();
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include <poll.h>

#include "connection/dllparam.h"
#include "dllparam/net/net_protocol.h"
#include "dllparam/net/net_socket.h"

namespace qv::net {

class TlsContext;

// Address a server listens on when none is given: loopback only.
inline constexpr const char* kDefaultListen = "127.0.0.1:1310";
// Time a session may stay without a request unless told: 15 minutes.
inline constexpr int kDefaultIdleTimeoutMs = 15 * 60 * 1000;
// Sessions served at once to one client address unless told.
inline constexpr std::size_t kDefaultMaxPerAddress = 8;
// Longest frame a server takes (announced in its welcome), and the most text
// bytes one call may carry; with the buffers bounded by what each operation
// returns (LargestAnswer), a busy session holds a few MiB at most.
inline constexpr uint32_t kServerMaxFrame = 1u << 20;
inline constexpr uint64_t kServerMaxCallTexts = 1u << 20;
// Keepalive timing of the sessions (see ServerOptions::keepAlive).
inline constexpr int kKeepAliveIdleS = 60;
inline constexpr int kKeepAliveIntervalS = 20;
inline constexpr int kKeepAliveCount = 3;

struct ServerOptions {
  // HOST:PORT to listen on; port 0 lets the system choose (see Port()).
  std::string listen = kDefaultListen;
  // Address passed to the served library's OpenMConnection when a client
  // opens its connection ("file:/path/store.qvs").
  std::string storeAddress;
  // Sessions served at once; a client beyond this is refused with a fault.
  std::size_t maxSessions = 64;
  // Sessions served at once to one client address (0: no limit); a client
  // beyond this is refused with a fault.
  std::size_t maxPerAddress = kDefaultMaxPerAddress;
  // TCP keepalive on every session, so that a peer that vanished without
  // closing (a machine switched off, a cable pulled) is dropped after about
  // 2 minutes: the first probe after 60 s without traffic, then 3 more 20 s
  // apart.
  bool keepAlive = true;
  // Time a new client has to send its hello.
  int handshakeTimeoutMs = 10000;
  // Time the rest of a frame has to arrive once its first byte came, and a
  // reply has to leave.
  int frameTimeoutMs = 30000;
  // Time a session may stay without any request (0: no limit); the session
  // then gets a fault and is closed.
  int idleTimeoutMs = kDefaultIdleTimeoutMs;
  // Name and version announced in the welcome.
  std::string serverName = "qvsource";
  // Receives each log line (without line end); stderr when empty.
  std::function<void(const std::string&)> log;

  // The users file (see net_users.h): when given, every client logs in with
  // its hello, and the file is read again at each login so that changes
  // take effect at once. Empty: clients are not asked who they are.
  std::string usersFile;
  // PEM certificate chain and private key: when given, every session speaks
  // TLS from its first byte.
  std::string certFile;
  std::string keyFile;
  // Lets Start() listen beyond loopback without TLS or without a users file.
  bool insecure = false;
  // Time a refused login waits before its fault leaves.
  int loginDelayMs = 1000;
};

class SourceServer {
 public:
  using Factory = std::function<std::unique_ptr<DllParam>()>;

  // Serves a fresh library from factory per session.
  SourceServer(ServerOptions options, Factory factory);
  // Serves the shared library, serialising calls (it must outlive the server).
  SourceServer(ServerOptions options, DllParam& shared);
  // Stops the server and, when Run() is serving on another thread, waits for
  // it to return (every session ended). Run() must not be started once the
  // server is being destroyed.
  ~SourceServer();
  SourceServer(const SourceServer&) = delete;
  SourceServer& operator=(const SourceServer&) = delete;

  // Loads the certificate and checks the users file, then binds and listens.
  // Returns false with a text in *error when it cannot, and for an address
  // beyond loopback served without TLS or without a users file unless
  // options.insecure.
  bool Start(std::string* error);
  // Returns the port listened on (after Start).
  uint16_t Port() const { return port_; }
  // Returns "host:port" listened on (after Start).
  std::string ListenAddress() const;

  // Accepts and serves clients until Stop(); then stops accepting, lets each
  // session finish the request it is running (a request that is still
  // arriving is refused), closes every session's connection of the served
  // library (an open unit of work is abandoned, locks are released) and
  // returns once every session has ended. Returns at once when Run() is
  // already serving on another thread.
  void Run();
  // Asks Run() to stop. Safe from a signal handler and from any thread.
  void Stop();

  // Returns the number of sessions being served.
  std::size_t ActiveSessions() const { return active_.load(); }
  // Returns the number of sessions accepted since the start.
  uint64_t SessionsServed() const { return served_.load(); }

 private:
  struct Session;

  void Serve(Session& session);
  bool Handshake(Session& s);
  // Checks the login of a hello; on refusal logs, waits and sends the fault.
  bool LogIn(Session& s, const Login& login);
  // Runs one call and returns its reply (false: the session ends after it).
  bool Dispatch(Session& s, const Frame& frame);
  Reply Invoke(Session& s, Call& call);
  int32_t Run(DllParam& lib, Session& s, Call& call);
  void EndSession(Session& s);
  void SendFault(Session& s, int32_t code, const std::string& text);
  void Log(const std::string& line);
  void ReapFinished(bool all);

  ServerOptions options_;
  Factory factory_;
  DllParam* shared_ = nullptr;
  std::mutex sharedMutex_;
  std::mutex logMutex_;

  std::shared_ptr<const TlsContext> tls_;
  Fd listener_;
  uint16_t port_ = 0;
  std::string host_;
  int stopPipe_[2] = {-1, -1};
  std::atomic<bool> stopping_{false};
  std::atomic<std::size_t> active_{0};
  std::atomic<uint64_t> served_{0};
  // Tells whether Run() is serving; the destructor waits until it is not, so
  // that only one thread ever reaps the sessions.
  std::mutex runMutex_;
  std::condition_variable runEnded_;
  bool running_ = false;
  // Touched by Run() only, and by the destructor once Run() has returned.
  std::list<std::unique_ptr<Session>> sessions_;
  // Refused clients being closed gently, touched by Run() only: each got its
  // busy fault and is drained until it closes or for half a second, so that
  // it reads the fault rather than a reset. Past kMaxLingering the oldest is
  // closed at once.
  struct Lingering;
  std::list<Lingering> lingering_;
  static constexpr std::size_t kMaxLingering = 256;
  // Returns the busy fault text for a new client from host ("" to serve it).
  std::string RefusalFor(const std::string& host) const;
  void Refuse(Fd sock, const std::string& peer, const std::string& refusal);
  void DrainLingering(std::span<const pollfd> ready);
};

}  // namespace qv::net
