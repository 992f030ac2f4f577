// Implements the network client of the record-access library.
#include "dllparam/net/net_client.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cctype>
#include <cstdlib>
#include <mutex>

#include "dllparam/net/net_tls.h"

namespace qv::net {

namespace {

constexpr int32_t kHandleSpan = 1 << 24;

// Returns text without line ends and NULs, cut to the longest error text.
std::string CleanText(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  if (text.size() > static_cast<std::size_t>(DllParam::kErrorTextMax)) text.resize(DllParam::kErrorTextMax);
  return text;
}

std::mutex gLoginLock;
std::function<Login()> gLoginSource;

std::string EnvText(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Splits "HOST:PORT;key=value;..." into the address and the TLS options it
// names (pin=SHA256, tls=on|off); false (with why) for an unknown key or a
// bad value.
bool SplitAddressOptions(std::string& address, ClientOptions& o, std::string& why) {
  const std::size_t semi = address.find(';');
  if (semi == std::string::npos) return true;
  std::string rest = address.substr(semi + 1);
  address.resize(semi);
  while (!rest.empty()) {
    const std::size_t end = rest.find(';');
    std::string item = rest.substr(0, end);
    rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
    while (!item.empty() && item.front() == ' ') item.erase(0, 1);
    while (!item.empty() && item.back() == ' ') item.pop_back();
    if (item.empty()) continue;
    // The control may pass the address upper-cased: keys and values are
    // read in any case.
    for (char& ch : item) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const std::size_t eq = item.find('=');
    const std::string key = item.substr(0, eq), value = eq == std::string::npos ? "" : item.substr(eq + 1);
    if (key == "pin") {
      o.tlsPin = value;
    } else if (key == "tls" && (value == "on" || value == "off")) {
      o.tlsMode = value;
    } else {
      why = "unknown address option \"" + key + "\" (pin=SHA256, tls=on|off)";
      return false;
    }
  }
  return true;
}

}  // namespace

void SetLoginSource(std::function<Login()> source) {
  std::lock_guard<std::mutex> lock(gLoginLock);
  gLoginSource = std::move(source);
}

std::optional<int> ParseTimeoutSeconds(const char* text) {
  if (!text || !*text) return std::nullopt;
  std::string_view s(text);
  double seconds = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), seconds);
  if (ec != std::errc() || end != s.data() + s.size() || !(seconds > 0) || seconds > 86400) return std::nullopt;
  const int ms = static_cast<int>(seconds * 1000 + 0.5);
  return ms > 0 ? std::optional<int>(ms) : std::nullopt;
}

ClientOptions ClientOptions::FromEnvironment(int32_t handleBase) {
  ClientOptions o;
  o.handleBase = handleBase;
  if (auto v = ParseTimeoutSeconds(std::getenv("QV_CONNECT_TIMEOUT"))) o.connectTimeoutMs = *v;
  if (auto v = ParseTimeoutSeconds(std::getenv("QV_CALL_TIMEOUT"))) o.callTimeoutMs = *v;
  if (auto v = ParseTimeoutSeconds(std::getenv("QV_PING_TIMEOUT"))) o.pingTimeoutMs = *v;
  o.tlsCaFile = EnvText("QV_TLS_CA");
  o.tlsPin = EnvText("QV_TLS_PIN");
  o.tlsMode = EnvText("QV_TLS");
  return o;
}

NetClient::NetClient(ClientOptions options) : options_(std::move(options)) {
  if (options_.clientName.empty()) options_.clientName = "qvmgr pid " + std::to_string(::getpid());
}

NetClient::~NetClient() = default;

bool NetClient::Alive(int32_t hConn) const {
  auto it = connections_.find(hConn);
  return it != connections_.end() && !it->second->dead;
}

int32_t NetClient::Fail(int32_t code, std::string text, int32_t errNum) {
  code_ = code;
  errNum_ = errNum;
  text_ = CleanText(std::move(text));
  return 0;
}

void NetClient::ClearError() {
  code_ = kCodeNone;
  errNum_ = 0;
  text_.clear();
}

int32_t NetClient::GetLastError(int32_t& code, int32_t& errNum, std::string& text) {
  code = code_;
  errNum = errNum_;
  dllparam::PutInBuffer(text, text_);
  return 1;
}

NetClient::Connection* NetClient::Held(int32_t hConn) {
  ClearError();
  Connection* c = Find(hConn);
  if (!c) Fail(kCodeBadCall, "unknown connection " + std::to_string(hConn));
  return c;
}

NetClient::Connection* NetClient::Find(int32_t hConn) {
  auto it = connections_.find(hConn);
  return it == connections_.end() ? nullptr : it->second.get();
}

void NetClient::MarkDead(Connection& c, std::string reason, int32_t errNum) {
  c.dead = true;
  c.deadReason = reason;
  c.sock.Reset();
  Fail(kCodeNetwork, std::move(reason), errNum);
}

bool NetClient::FaultAnswer(Connection& c, const Frame& frame) {
  try {
    Fault f = DecodeFault(frame.payload);
    MarkDead(c, "source server " + c.where + ": " + f.text, f.errNum);
  } catch (const ProtocolError& e) {
    MarkDead(c, "source server " + c.where + " sent a malformed answer: " + e.what(), 0);
  }
  return false;
}

bool NetClient::RoundTrip(Connection& c, FrameKind kind, const std::string& payload, int timeoutMs, Frame& answer) {
  const uint32_t seq = ++c.sequence;
  std::string frame;
  try {
    frame = EncodeFrame(kind, seq, payload);
  } catch (const ProtocolError& e) {
    Fail(kCodeBadCall, e.what());
    return false;
  }
  // Bytes waiting before the request can only be a fault the server sent
  // when it ended the session (shutting down), or the end of the stream.
  if (WaitReadable(c.sock, Clock::now()).ok()) {
    IoResult pending = ReadFrame(c.sock, answer, Clock::now(), 1000);
    if (pending.ok() && answer.kind == FrameKind::Fault) return FaultAnswer(c, answer);
    if (pending.ok()) {
      MarkDead(c, "source server " + c.where + " sent an answer nobody asked for", 0);
    } else {
      MarkDead(c, "connection to source server " + c.where + " lost: the server closed the connection", ECONNRESET);
    }
    return false;
  }
  const auto deadline = DeadlineIn(timeoutMs);
  IoResult r = SendAll(c.sock, frame, deadline);
  if (!r.ok()) {
    // A server that refused the session has said why before closing.
    Frame fault;
    if (ReadFrame(c.sock, fault, Clock::now(), 200).ok() && fault.kind == FrameKind::Fault)
      return FaultAnswer(c, fault);
  }
  if (r.ok()) {
    const auto now = Clock::now();
    const int left = deadline == Clock::time_point::max()
                         ? 0
                         : static_cast<int>(std::max<int64_t>(
                               1, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count()));
    r = ReadFrame(c.sock, answer, deadline, left);
  }
  if (!r.ok()) {
    switch (r.status) {
      case IoResult::TimedOut:
        MarkDead(c, "source server " + c.where + " did not answer within " + SecondsText(timeoutMs), ETIMEDOUT);
        break;
      case IoResult::Closed:
        MarkDead(c, "connection to source server " + c.where + " lost: the server closed the connection",
                 ECONNRESET);
        break;
      case IoResult::Refused:
        MarkDead(c, "source server " + c.where + " sent a malformed answer: " + r.text, 0);
        break;
      default:
        MarkDead(c, "connection to source server " + c.where + " lost: " + r.text, r.err);
        break;
    }
    return false;
  }
  if (answer.kind == FrameKind::Fault) return FaultAnswer(c, answer);
  if (answer.sequence != seq) {
    MarkDead(c, "source server " + c.where + " answered out of turn (sequence " + std::to_string(answer.sequence) +
                    ", expected " + std::to_string(seq) + ")",
             0);
    return false;
  }
  return true;
}

int32_t NetClient::ClientHandle(Connection& c, int32_t serverHandle) {
  auto key = std::make_pair(c.id, serverHandle);
  if (auto it = serverHandles_.find(key); it != serverHandles_.end()) return it->second;
  int32_t id = 0;
  for (int32_t tries = 0; tries < kHandleSpan; ++tries) {
    id = options_.handleBase + nextHandle_;
    nextHandle_ = nextHandle_ % (kHandleSpan - 1) + 1;
    if (!handles_.count(id)) break;
  }
  handles_[id] = key;
  serverHandles_[key] = id;
  return id;
}

void NetClient::ForgetHandles(int32_t connection) {
  for (auto it = handles_.begin(); it != handles_.end();) {
    if (it->second.first == connection) {
      serverHandles_.erase(it->second);
      it = handles_.erase(it);
    } else {
      ++it;
    }
  }
}

int32_t NetClient::Perform(const DllParamCall& call) { return Send(call); }

int32_t NetClient::Send(const DllParamCall& call, int timeoutMs) {
  ClearError();
  const uint8_t code = call.info().wireCode;
  if (code == 0) return Fail(kCodeNotSupported, std::string(call.name()) + " does not travel");
  const Op op = static_cast<Op>(code);
  const OpInfo& info = InfoOf(op);

  // Finds the connection: the owner of the first handle, else the current one.
  Connection* c = nullptr;
  for (std::size_t i = 0; i < call.size(); ++i) {
    if (!IsHandle(info.args[i])) continue;
    const int32_t h = call.Number(i);
    if (h < 0) break;
    auto it = handles_.find(h);
    if (it == handles_.end()) return Fail(kCodeBadCall, "unknown or closed handle " + std::to_string(h));
    c = Find(it->second.first);
    break;
  }
  if (!c) c = current_;
  if (!c) return Fail(kCodeBadCall, "no current connection");
  if (c->dead) return Fail(kCodeNetwork, c->deadReason + " (the connection is lost; close it and open a new one)");

  ::qv::net::Call wire;
  wire.op = op;
  wire.args.reserve(call.size());
  for (std::size_t i = 0; i < call.size(); ++i) {
    Value v;
    if (IsBytes(info.args[i])) {
      v.bytes = call.Text(i);
    } else if (IsHandle(info.args[i])) {
      const int32_t h = call.Number(i);
      auto it = handles_.find(h);
      v.number = h < 0 ? h : (it != handles_.end() && it->second.first == c->id ? it->second.second : -1);
      if (h >= 0 && (it == handles_.end() || it->second.first != c->id))
        return Fail(kCodeBadCall, "handle " + std::to_string(h) + " belongs to another connection");
    } else {
      v.number = call.Number(i);
    }
    wire.args.push_back(std::move(v));
  }
  std::string payload;
  try {
    payload = EncodeCall(wire);
  } catch (const ProtocolError& e) {
    return Fail(kCodeBadCall, std::string(info.name) + ": " + e.what());
  }

  Frame answer;
  if (!RoundTrip(*c, FrameKind::Call, payload, timeoutMs > 0 ? timeoutMs : options_.callTimeoutMs, answer)) return 0;
  Reply reply;
  try {
    if (answer.kind != FrameKind::Reply) throw ProtocolError(std::string("a ") + FrameKindName(answer.kind) + " frame");
    reply = DecodeReply(answer.payload);
    if (reply.op != op) throw ProtocolError("a reply to another operation");
    // Checks the returned arguments before touching the caller's.
    std::size_t k = 0;
    for (std::size_t i = 0; i < call.size(); ++i) {
      if (!IsReturned(info.args[i]) || reply.outs.empty()) continue;
      if (info.args[i] == Arg::Buffer && reply.outs[k].bytes.size() != call.Text(i).size())
        throw ProtocolError("a buffer of " + std::to_string(reply.outs[k].bytes.size()) + " bytes for one of " +
                            std::to_string(call.Text(i).size()));
      ++k;
    }
  } catch (const ProtocolError& e) {
    MarkDead(*c, "source server " + c->where + " sent a malformed answer: " + e.what(), 0);
    return 0;
  }

  if (!reply.outs.empty()) {
    std::size_t k = 0;
    for (std::size_t i = 0; i < call.size(); ++i) {
      if (!IsReturned(info.args[i])) continue;
      Value& v = reply.outs[k++];
      switch (info.args[i]) {
        case Arg::NumberRef: call.Number(i) = v.number; break;
        case Arg::HandleRef: call.Number(i) = v.number < 0 ? v.number : ClientHandle(*c, v.number); break;
        case Arg::Buffer: call.Buffer(i).replace(0, v.bytes.size(), v.bytes); break;
        default: break;
      }
    }
  }
  if (reply.result == 0) {
    code_ = reply.code == kCodeNone ? kCodeRefused : reply.code;
    errNum_ = reply.errNum;
    text_ = CleanText(reply.text);
  }
  return reply.result;
}

// ---- Connections -----------------------------------------------------------------

int32_t NetClient::OpenMConnection(const std::string& address, std::string& serverVersion, std::string& serverJob,
                                   int32_t& hConn) {
  ClearError();
  std::string shown(dllparam::CutAtNul(address));
  ClientOptions settings = options_;
  std::string why;
  if (!SplitAddressOptions(shown, settings, why))
    return Fail(kCodeNetwork, "no source server at \"" + CleanText(shown) + "\": " + why);
  auto where = ParseHostPort(shown);
  if (!where) return Fail(kCodeNetwork, "no source server at \"" + CleanText(shown) + "\": not HOST or HOST:PORT");

  if (connections_.size() >= static_cast<std::size_t>(kHandleSpan - 1))
    return Fail(kCodeBadCall, "too many connections");
  auto c = std::make_unique<Connection>();
  c->where = where->ToString();
  const bool tls = settings.tlsMode == "on" ||
                   (settings.tlsMode != "off" &&
                    (!settings.tlsCaFile.empty() || !settings.tlsPin.empty() || !IsLoopbackHost(where->host)));
  std::shared_ptr<const TlsContext> tlsContext;
  if (tls) {
    try {
      tlsContext = TlsContext::ForClient({settings.tlsCaFile, settings.tlsPin});
    } catch (const std::exception& e) {
      return Fail(kCodeNetwork, "cannot reach source server " + c->where + ": " + e.what());
    }
  }
  Fd sock;
  const auto connectDeadline = DeadlineIn(options_.connectTimeoutMs);
  IoResult r = ConnectTcp(*where, options_.connectTimeoutMs, sock);
  if (!r.ok()) {
    if (r.status == IoResult::TimedOut)
      return Fail(kCodeNetwork, "source server " + c->where + " did not answer within " +
                                    SecondsText(options_.connectTimeoutMs), ETIMEDOUT);
    return Fail(kCodeNetwork, "no source server at " + c->where + ": " + r.text, r.err);
  }
  c->sock = Stream(std::move(sock));
  if (tlsContext) {
    r = tlsContext->Connect(c->sock, where->host, connectDeadline);
    if (!r.ok()) {
      if (r.status == IoResult::TimedOut)
        return Fail(kCodeNetwork, "source server " + c->where + " did not answer within " +
                                      SecondsText(options_.connectTimeoutMs), ETIMEDOUT);
      if (r.status == IoResult::Answered) return Fail(kCodeNetwork, "source server " + c->where + ": " + r.text);
      return Fail(kCodeNetwork, "no TLS with source server " + c->where + ": " + r.text, r.err);
    }
  }

  // Handshake, with the login.
  Hello hello;
  hello.peer = options_.clientName;
  std::function<Login()> source = options_.login;
  if (!source) {
    std::lock_guard<std::mutex> lock(gLoginLock);
    source = gLoginSource;
  }
  Login login;
  if (source) login = source();
  while (!login.user.empty() && login.user.back() == ' ') login.user.pop_back();
  Frame answer;
  if (!RoundTrip(*c, FrameKind::Hello, EncodeHello(hello, login), options_.connectTimeoutMs, answer)) return 0;
  try {
    if (answer.kind != FrameKind::Welcome) throw ProtocolError(std::string("a ") + FrameKindName(answer.kind) + " frame");
    DecodeWelcome(answer.payload);
  } catch (const ProtocolError& e) {
    return Fail(kCodeNetwork, "no source server at " + c->where + ": the peer does not speak the source protocol (" +
                                  e.what() + ")");
  }

  // Opens the server's connection to its store.
  int32_t id = 0;
  for (int32_t tries = 0; tries < kHandleSpan; ++tries) {
    id = options_.handleBase + nextConnection_;
    nextConnection_ = nextConnection_ % (kHandleSpan - 1) + 1;
    if (!connections_.count(id)) break;
  }
  c->id = id;
  Connection* conn = c.get();
  connections_[id] = std::move(c);
  Connection* previous = current_;
  current_ = conn;
  int32_t serverConn = 0;
  const int32_t ok =
      Send(DllParamCall::Of<DllParamOp::OpenMConnection>(address, serverVersion, serverJob, serverConn),
           options_.callTimeoutMs);
  if (!ok) {
    current_ = previous;
    connections_.erase(id);
    return 0;
  }
  hConn = id;
  return ok;
}

int32_t NetClient::SwitchMConnection(int32_t hConn) {
  Connection* c = Held(hConn);
  if (!c) return 0;
  current_ = c;
  return 1;
}

void NetClient::DropConnection(int32_t hConn) {
  ForgetHandles(hConn);
  auto it = connections_.find(hConn);
  if (it == connections_.end()) return;
  if (current_ == it->second.get()) current_ = nullptr;
  connections_.erase(it);
}

int32_t NetClient::CloseMConnection(int32_t hConn) {
  Connection* c = Held(hConn);
  if (!c) return 0;
  if (!c->dead) {
    // Waits (briefly) for the server to close its side, so that locks and
    // units of work of this connection are gone when the call returns.
    Connection* previous = current_;
    current_ = c;
    int32_t serverConn = 0;
    Send(DllParamCall::Of<DllParamOp::CloseMConnection>(serverConn), options_.pingTimeoutMs);
    current_ = previous;
  }
  DropConnection(hConn);
  ClearError();
  return 1;
}

int32_t NetClient::PingPong() { return Send(DllParamCall::Of<DllParamOp::PingPong>(), options_.pingTimeoutMs); }

// ---- Files and records -------------------------------------------------------------

int32_t NetClient::Ropen(const std::string& file, const std::string& mode, int32_t& h) {
  // The handle travels as an output only: what the caller held is not sent.
  int32_t opened = -1;
  const int32_t r = Send(DllParamCall::Of<DllParamOp::Ropen>(file, mode, opened));
  if (r || opened >= 0) h = opened;
  return r;
}

int32_t NetClient::Rclose(int32_t h) {
  const int32_t r = Send(DllParamCall::Of<DllParamOp::Rclose>(h));
  // The caller drops its copy whatever the outcome; so does the map.
  if (auto it = handles_.find(h); it != handles_.end()) {
    serverHandles_.erase(it->second);
    handles_.erase(it);
  }
  return r;
}

}  // namespace qv::net
