// Implements the source server: accepting clients, the session loop and the
// dispatch of each call to the served record-access library.
#include "dllparam/net/net_server.h"

#include "dllparam/net/net_tls.h"
#include "dllparam/net/net_users.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <ctime>
#include <iterator>
#include <span>
#include <system_error>

namespace qv::net {

struct SourceServer::Session {
  uint64_t id = 0;
  Stream sock;
  std::string peer;
  std::string host;    // the peer's address without its port
  std::string client;  // the name the client announced
  std::thread thread;
  std::atomic<bool> done{false};
  std::unique_ptr<DllParam> own;  // the session's library (factory mode)
  DllParam* lib = nullptr;
  bool open = false;  // holds a connection of the library
  int32_t hConn = 0;
  uint64_t requests = 0;
  bool faulted = false;  // a fault was sent: close gently
  std::string endReason = "ended";
  Clock::time_point started = Clock::now();
};

namespace {

std::string Stamp() {
  char buf[32];
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

std::string ShortText(std::string_view s, std::size_t max = 200) {
  std::string out(dllparam::CutAtNul(s).substr(0, max));
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return out;
}

// Ends the sending side, then reads and drops what the peer still sends for
// a short while, so that closing does not reset the connection and throw
// away the fault just sent before the peer has read it.
void LingerClose(Stream& sock) {
  if (!sock.valid()) return;
  ::shutdown(sock.get(), SHUT_WR);
  const auto deadline = DeadlineIn(500);
  std::string sink;
  for (int i = 0; i < 64; ++i) {
    if (!WaitReadable(sock.get(), deadline).ok()) break;
    char buf[4096];
    const ssize_t n = ::recv(sock.get(), buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break;
  }
  sock.Reset();
}

}  // namespace

struct SourceServer::Lingering {
  Fd sock;
  Clock::time_point until;
};

SourceServer::SourceServer(ServerOptions options, Factory factory)
    : options_(std::move(options)), factory_(std::move(factory)) {
  if (::pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) stopPipe_[0] = stopPipe_[1] = -1;
}

SourceServer::SourceServer(ServerOptions options, DllParam& shared)
    : options_(std::move(options)), shared_(&shared) {
  if (::pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) stopPipe_[0] = stopPipe_[1] = -1;
}

SourceServer::~SourceServer() {
  Stop();
  {
    std::unique_lock<std::mutex> lock(runMutex_);
    runEnded_.wait(lock, [this] { return !running_; });
  }
  ReapFinished(true);
  for (int& fd : stopPipe_)
    if (fd >= 0) ::close(fd);
}

void SourceServer::Log(const std::string& line) {
  if (options_.log) {
    std::lock_guard<std::mutex> lock(logMutex_);
    options_.log(line);
    return;
  }
  const std::string out = Stamp() + " " + line + "\n";
  std::lock_guard<std::mutex> lock(logMutex_);
  ssize_t ignored = ::write(2, out.data(), out.size());
  (void)ignored;
}

std::string SourceServer::ListenAddress() const { return HostPort{host_, port_}.ToString(); }

bool SourceServer::Start(std::string* error) {
  auto where = ParseHostPort(options_.listen, kDefaultPort, /*allowAnyPort=*/true);
  if (!where) {
    if (error) *error = "listen address \"" + options_.listen + "\" is not HOST:PORT";
    return false;
  }
  if (stopPipe_[0] < 0) {
    if (error) *error = "cannot create the stop pipe: " + ErrnoText(errno);
    return false;
  }
  if (options_.certFile.empty() != options_.keyFile.empty()) {
    if (error) *error = "TLS needs both a certificate and its private key";
    return false;
  }
  try {
    if (!options_.certFile.empty()) tls_ = TlsContext::ForServer(options_.certFile, options_.keyFile);
    if (!options_.usersFile.empty()) UserFile::Load(options_.usersFile);
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return false;
  }
  if (!IsLoopbackHost(where->host) && !options_.insecure && (!tls_ || options_.usersFile.empty())) {
    if (error)
      *error = "will not serve " + where->ToString() + " beyond loopback without " +
               std::string(!tls_ ? "TLS (--cert and --key)" : "a users file (--users)") +
               "; --insecure allows it on a trusted network";
    return false;
  }
  IoResult r = ListenTcp(*where, 64, listener_, port_);
  if (!r.ok()) {
    if (error) *error = "cannot listen on " + where->ToString() + ": " + r.text;
    return false;
  }
  host_ = where->host;
  return true;
}

void SourceServer::Stop() {
  stopping_.store(true);
  if (stopPipe_[1] >= 0) {
    const char c = 's';
    ssize_t ignored = ::write(stopPipe_[1], &c, 1);
    (void)ignored;
  }
}

void SourceServer::ReapFinished(bool all) {
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    Session& s = **it;
    if (all || s.done.load()) {
      if (s.thread.joinable()) s.thread.join();
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
}

std::string SourceServer::RefusalFor(const std::string& host) const {
  if (active_.load() >= options_.maxSessions)
    return "source server busy: " + std::to_string(options_.maxSessions) + " sessions already served";
  if (options_.maxPerAddress == 0) return "";
  std::size_t fromHost = 0;
  for (const auto& s : sessions_)
    if (!s->done.load() && s->host == host) ++fromHost;
  if (fromHost < options_.maxPerAddress) return "";
  return "source server busy: " + std::to_string(options_.maxPerAddress) + " sessions already served to " + host;
}

void SourceServer::Refuse(Fd sock, const std::string& peer, const std::string& refusal) {
  Log("refused " + peer + ": " + refusal);
  // A fresh socket's send buffer takes the small fault at once.
  SendAll(sock.get(), EncodeFrame(FrameKind::Fault, 0, EncodeFault({DllParam::kCodeBusy, 0, refusal})),
          DeadlineIn(100));
  ::shutdown(sock.get(), SHUT_WR);
  if (lingering_.size() >= kMaxLingering) lingering_.pop_front();
  lingering_.push_back(Lingering{std::move(sock), DeadlineIn(500)});
}

void SourceServer::DrainLingering(std::span<const pollfd> ready) {
  const auto now = Clock::now();
  auto it = lingering_.begin();
  for (std::size_t i = 0; it != lingering_.end(); ++i) {
    bool close = now >= it->until;
    if (!close && i < ready.size() && (ready[i].revents & (POLLIN | POLLHUP | POLLERR))) {
      char buf[4096];
      ssize_t n;
      while ((n = ::recv(it->sock.get(), buf, sizeof buf, MSG_DONTWAIT)) > 0) {
      }
      close = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    }
    it = close ? lingering_.erase(it) : std::next(it);
  }
}

void SourceServer::Run() {
  {
    std::lock_guard<std::mutex> lock(runMutex_);
    if (running_) return;
    running_ = true;
  }
  // Reaps every session, then lets the destructor go on, even when serving
  // ends by an exception.
  struct Ended {
    SourceServer& server;
    ~Ended() {
      server.listener_.Reset();
      server.lingering_.clear();
      server.stopping_.store(true);
      server.ReapFinished(true);
      std::lock_guard<std::mutex> lock(server.runMutex_);
      server.running_ = false;
      server.runEnded_.notify_all();
    }
  } ended{*this};
  uint64_t nextId = 0;
  std::vector<pollfd> p;
  while (!stopping_.load() && listener_.valid()) {
    p.assign({{listener_.get(), POLLIN, 0}, {stopPipe_[0], POLLIN, 0}});
    for (const Lingering& l : lingering_) p.push_back({l.sock.get(), POLLIN, 0});
    const int n = ::poll(p.data(), p.size(), lingering_.empty() ? 1000 : 100);
    ReapFinished(false);
    if (n < 0 && errno != EINTR) break;
    DrainLingering(std::span<const pollfd>(p).subspan(2));
    if (n <= 0 || (p[1].revents & POLLIN) || !(p[0].revents & POLLIN)) continue;
    Fd sock(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!sock.valid()) {
      // Out of descriptors or memory: waits a little instead of spinning.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        ::poll(nullptr, 0, 100);
      continue;
    }
    int one = 1;
    ::setsockopt(sock.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (options_.keepAlive) SetKeepAlive(sock.get(), kKeepAliveIdleS, kKeepAliveIntervalS, kKeepAliveCount);
    const std::string peer = PeerName(sock.get());
    std::string host = PeerHost(peer);
    if (std::string refusal = RefusalFor(host); !refusal.empty()) {
      Refuse(std::move(sock), peer, refusal);
      continue;
    }
    auto session = std::make_unique<Session>();
    session->id = ++nextId;
    session->peer = peer;
    session->host = std::move(host);
    session->sock = Stream(std::move(sock));
    Session& s = *session;
    sessions_.push_back(std::move(session));
    active_.fetch_add(1);
    served_.fetch_add(1);
    try {
      s.thread = std::thread([this, &s] { Serve(s); });
    } catch (const std::system_error& e) {
      Log("refused " + s.peer + ": cannot start a session: " + e.what());
      active_.fetch_sub(1);
      s.sock.Reset();
      s.done.store(true);
    }
  }
}

void SourceServer::SendFault(Session& s, int32_t code, const std::string& text) {
  try {
    std::string frame = EncodeFrame(FrameKind::Fault, 0, EncodeFault({code, 0, text}));
    SendAll(s.sock, frame, DeadlineIn(1000));
    s.faulted = true;
  } catch (const std::exception&) {
    // The session ends anyway.
  }
}

bool SourceServer::Handshake(Session& s) {
  if (tls_) {
    IoResult t = tls_->Accept(s.sock, DeadlineIn(options_.handshakeTimeoutMs), stopPipe_[0]);
    if (t.status == IoResult::Stopped) {
      s.endReason = "server stopping";
      return false;
    }
    if (!t.ok()) {
      s.endReason = "TLS handshake failed: " + t.text;
      Log("session " + std::to_string(s.id) + " from " + s.peer + ": refused: " + s.endReason);
      return false;
    }
  }
  Frame f;
  IoResult r = ReadFrame(s.sock, f, DeadlineIn(options_.handshakeTimeoutMs), options_.handshakeTimeoutMs,
                         stopPipe_[0], kServerMaxFrame);
  std::string refusal;
  if (r.status == IoResult::Refused) {
    refusal = r.text;
  } else if (r.status == IoResult::Stopped) {
    SendFault(s, DllParam::kCodeNetwork, "source server is shutting down");
    s.endReason = "server stopping";
    return false;
  } else if (!r.ok()) {
    s.endReason = r.status == IoResult::TimedOut ? "no hello within " + SecondsText(options_.handshakeTimeoutMs)
                                                 : r.text;
    if (r.status == IoResult::TimedOut) Log("session " + std::to_string(s.id) + " from " + s.peer + ": refused: " + s.endReason);
    return false;
  } else if (f.kind != FrameKind::Hello) {
    refusal = std::string("expected a hello frame, got a ") + FrameKindName(f.kind) + " frame";
  }
  Hello hello;
  Login login;
  if (refusal.empty()) {
    try {
      hello = DecodeHello(f.payload, &login);
    } catch (const ProtocolError& e) {
      refusal = e.what();
    }
  }
  std::optional<uint16_t> version;
  if (refusal.empty()) {
    version = AgreeVersion(hello);
    if (!version)
      refusal = "protocol versions " + std::to_string(hello.lowest) + ".." + std::to_string(hello.highest) +
                " not served; this server speaks " + std::to_string(kLowestVersion) + ".." +
                std::to_string(kProtocolVersion);
  }
  if (!refusal.empty()) {
    Log("session " + std::to_string(s.id) + " from " + s.peer + ": refused: " + refusal);
    SendFault(s, DllParam::kCodeNetwork, "source server refused the connection: " + refusal);
    s.endReason = "refused";
    return false;
  }
  if (!LogIn(s, login)) return false;
  s.client = ShortText(hello.peer, 80);
  Welcome w;
  w.version = *version;
  w.maxFrame = kServerMaxFrame;
  w.server = options_.serverName;
  std::string frame = EncodeFrame(FrameKind::Welcome, f.sequence, EncodeWelcome(w));
  if (!SendAll(s.sock, frame, DeadlineIn(options_.frameTimeoutMs)).ok()) {
    s.endReason = "client went away during the handshake";
    return false;
  }
  Log("session " + std::to_string(s.id) + " from " + s.peer + " opened (" +
      (s.client.empty() ? std::string("unnamed client") : s.client) + ", protocol " + std::to_string(*version) + ")");
  return true;
}

bool SourceServer::LogIn(Session& s, const Login& login) {
  if (options_.usersFile.empty()) return true;
  std::string why;
  try {
    if (login.user.empty()) why = "no user given";
    else if (!UserFile::Load(options_.usersFile).Verify(login.user, login.password)) why = "wrong user or password";
  } catch (const std::exception& e) {
    why = e.what();
  }
  if (why.empty()) return true;
  Log("session " + std::to_string(s.id) + " from " + s.peer + ": login refused for user \"" + ShortText(login.user, 80) +
      "\": " + why);
  // Slows down guessing without holding up other sessions; a stop ends the wait.
  if (options_.loginDelayMs > 0) WaitFor(stopPipe_[0], POLLIN, DeadlineIn(options_.loginDelayMs));
  SendFault(s, DllParam::kCodeRefused, "login refused");
  s.endReason = "login refused";
  return false;
}

void SourceServer::Serve(Session& s) {
  if (Handshake(s)) {
    for (;;) {
      Frame f;
      IoResult r = ReadFrame(s.sock, f, DeadlineIn(options_.idleTimeoutMs), options_.frameTimeoutMs,
                             stopPipe_[0], kServerMaxFrame);
      if (r.ok()) {
        ++s.requests;
        if (!Dispatch(s, f)) break;
        continue;
      }
      switch (r.status) {
        case IoResult::Stopped:
          SendFault(s, DllParam::kCodeNetwork, "source server is shutting down");
          s.endReason = "server stopping";
          break;
        case IoResult::Closed:
          s.endReason = "client closed the connection";
          break;
        case IoResult::TimedOut:
          if (r.text.rfind("the rest of a frame", 0) == 0) {
            Log("session " + std::to_string(s.id) + " from " + s.peer + ": refused: " + r.text);
            s.endReason = r.text;
          } else {
            s.endReason = "no request within " + SecondsText(options_.idleTimeoutMs);
            SendFault(s, DllParam::kCodeNetwork,
                      "source server closed the session after " + SecondsText(options_.idleTimeoutMs) +
                          " without a request");
          }
          break;
        case IoResult::Refused:
          Log("session " + std::to_string(s.id) + " from " + s.peer + ": refused: " + r.text);
          SendFault(s, DllParam::kCodeNetwork, "source server refused a frame: " + r.text);
          s.endReason = "refused a frame";
          break;
        default:
          s.endReason = r.text;
          break;
      }
      break;
    }
  }
  EndSession(s);
}

void SourceServer::EndSession(Session& s) {
  if (s.open && s.lib) {
    try {
      if (shared_) {
        std::lock_guard<std::mutex> lock(sharedMutex_);
        s.lib->CloseMConnection(s.hConn);
      } else {
        s.lib->CloseMConnection(s.hConn);
      }
    } catch (...) {
      // The connection's state goes with the library below.
    }
    s.open = false;
  }
  s.own.reset();
  s.lib = nullptr;
  if (s.faulted) LingerClose(s.sock);
  s.sock.Reset();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - s.started).count();
  Log("session " + std::to_string(s.id) + " from " + s.peer + " closed after " + std::to_string(s.requests) +
      " requests in " + SecondsText(static_cast<int>(ms)) + ": " + s.endReason);
  active_.fetch_sub(1);
  s.done.store(true);
}

bool SourceServer::Dispatch(Session& s, const Frame& frame) {
  const std::string who = "session " + std::to_string(s.id) + " from " + s.peer + ": ";
  if (frame.kind != FrameKind::Call) {
    const std::string text = std::string("unexpected ") + FrameKindName(frame.kind) + " frame";
    Log(who + "refused: " + text);
    SendFault(s, DllParam::kCodeNetwork, "source server refused a frame: " + text);
    s.endReason = "refused a frame";
    return false;
  }
  Reply reply;
  bool keep = true;
  try {
    Call call = DecodeCall(frame.payload, CallLimits{kServerMaxCallTexts});
    reply = Invoke(s, call);
    if (call.op == Op::CloseMConnection) {
      keep = false;
      s.endReason = "client closed its connection";
    }
  } catch (const OversizedCall& e) {
    // Refused before anything is expanded; the caller's arguments stay as they were.
    reply = Reply{};
    reply.op = e.op();
    reply.code = DllParam::kCodeBadCall;
    reply.text = std::string("source server refused the call: ") + e.what();
    Log(who + "refused: " + e.what());
  } catch (const UnknownOperation& e) {
    reply = Reply{};
    reply.op = static_cast<Op>(e.code());
    reply.code = DllParam::kCodeNotSupported;
    reply.text = "operation " + std::to_string(e.code()) + " not supported by this source server";
    Log(who + "refused: " + reply.text);
  } catch (const ProtocolError& e) {
    Log(who + "refused: " + e.what());
    SendFault(s, DllParam::kCodeNetwork, std::string("source server refused a frame: ") + e.what());
    s.endReason = "refused a frame";
    return false;
  }
  std::string bytes;
  try {
    bytes = EncodeFrame(FrameKind::Reply, frame.sequence, EncodeReply(reply));
  } catch (const ProtocolError& e) {
    Reply small{reply.op, 0, DllParam::kCodeRefused, 0, std::string("reply too large: ") + e.what(), {}};
    bytes = EncodeFrame(FrameKind::Reply, frame.sequence, EncodeReply(small));
    Log(who + "refused: " + small.text);
  }
  IoResult w = SendAll(s.sock, bytes, DeadlineIn(options_.frameTimeoutMs));
  if (!w.ok()) {
    s.endReason = "reply not delivered: " + w.text;
    return false;
  }
  return keep;
}

Reply SourceServer::Invoke(Session& s, Call& call) {
  Reply reply;
  reply.op = call.op;
  const OpInfo& info = InfoOf(call.op);
  auto refuse = [&](int32_t code, std::string text) {
    reply.code = code;
    reply.text = std::move(text);
    Log("session " + std::to_string(s.id) + " from " + s.peer + ": refused " + info.name + ": " + reply.text);
    return reply;
  };
  if (call.op == Op::OpenMConnection) {
    if (s.open) return refuse(DllParam::kCodeBadCall, "this session already holds a connection");
    if (!s.lib) {
      if (shared_) {
        s.lib = shared_;
      } else {
        try {
          s.own = factory_();
        } catch (const std::exception& e) {
          return refuse(DllParam::kCodeRefused, std::string("source server cannot serve: ") + e.what());
        }
        s.lib = s.own.get();
        if (!s.lib) return refuse(DllParam::kCodeRefused, "source server cannot serve");
      }
    }
  } else if (!s.open) {
    return refuse(DllParam::kCodeBadCall, "no current connection: the connection is not open");
  }

  std::vector<std::size_t> sizes;
  for (const Value& v : call.args) sizes.push_back(v.bytes.size());

  std::unique_lock<std::mutex> lock(sharedMutex_, std::defer_lock);
  if (shared_) lock.lock();
  try {
    if (shared_ && call.op != Op::OpenMConnection) s.lib->SwitchMConnection(s.hConn);
    reply.result = Run(*s.lib, s, call);
    if (reply.result == 0) {
      int32_t code = DllParam::kCodeNone, num = 0;
      std::string text(DllParam::kErrorTextBuffer, ' ');
      s.lib->GetLastError(code, num, text);
      reply.code = code == DllParam::kCodeNone ? DllParam::kCodeRefused : code;
      reply.errNum = num;
      reply.text = std::string(dllparam::CutAtNul(text).substr(0, DllParam::kErrorTextMax));
      while (!reply.text.empty() && reply.text.back() == ' ') reply.text.pop_back();
    }
  } catch (const std::exception& e) {
    reply.result = 0;
    reply.code = DllParam::kCodeRefused;
    reply.text = std::string("source server fault: ") + e.what();
    Log("session " + std::to_string(s.id) + " from " + s.peer + ": " + info.name + ": " + reply.text);
  }
  if (lock.owns_lock()) lock.unlock();

  for (std::size_t i = 0; i < info.args.size(); ++i) {
    if (!IsReturned(info.args[i])) continue;
    std::string& b = call.args[i].bytes;
    if (info.args[i] == Arg::Buffer && b.size() != sizes[i]) b.resize(sizes[i], ' ');  // keeps the caller's size
    reply.outs.push_back(std::move(call.args[i]));
  }
  return reply;
}

int32_t SourceServer::Run(DllParam& lib, Session& s, Call& call) {
  std::vector<Value>& v = call.args;
  switch (call.op) {
    case Op::OpenMConnection: {
      // The session's connection opens the served store, whatever address
      // the client named.
      int32_t h = 0;
      const int32_t r = lib.OpenMConnection(options_.storeAddress, v[1].bytes, v[2].bytes, h);
      if (r) {
        s.open = true;
        s.hConn = h;
      }
      v[3].number = h;
      return r;
    }
    case Op::CloseMConnection: {
      const int32_t r = lib.CloseMConnection(s.hConn);
      s.open = false;
      return r;
    }
    default: {
      const OpInfo& info = InfoOf(call.op);
      std::array<void*, dllparam::kMaxArgs> at{};
      for (std::size_t i = 0; i < v.size(); ++i)
        at[i] = IsBytes(info.args[i]) ? static_cast<void*>(&v[i].bytes) : static_cast<void*>(&v[i].number);
      return DllParamCall(info.member, std::span<void* const>(at.data(), v.size())).RunOn(lib);
    }
  }
}

}  // namespace qv::net
