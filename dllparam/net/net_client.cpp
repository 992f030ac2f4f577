// Implements the network client of the record-access library.
#include "dllparam/net/net_client.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>

namespace qv::net {

namespace {

constexpr int32_t kHandleSpan = 1 << 24;

using B = NetClient::Bind;
B Num(int32_t v) { return B{Arg::Number, v}; }
B NumRef(int32_t& v) { return B{Arg::NumberRef, 0, &v}; }
B Hnd(int32_t v) { return B{Arg::Handle, v}; }
B HndRef(int32_t& v) { return B{Arg::HandleRef, 0, &v}; }
B Txt(const std::string& s) { return B{Arg::Text, 0, nullptr, &s}; }
B Buf(std::string& s) { return B{Arg::Buffer, 0, nullptr, nullptr, &s}; }

// Returns text without line ends and NULs, cut to the longest error text.
std::string CleanText(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  if (text.size() > static_cast<std::size_t>(DllParam::kErrorTextMax)) text.resize(DllParam::kErrorTextMax);
  return text;
}

}  // namespace

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

int32_t NetClient::GetLastError(int32_t& code, int32_t& errNum, std::string& text) {
  code = code_;
  errNum = errNum_;
  dllparam::PutInBuffer(text, text_);
  return 1;
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
  if (WaitReadable(c.sock.get(), Clock::now()).ok()) {
    IoResult pending = ReadFrame(c.sock.get(), answer, Clock::now(), 1000);
    if (pending.ok() && answer.kind == FrameKind::Fault) return FaultAnswer(c, answer);
    if (pending.ok()) {
      MarkDead(c, "source server " + c.where + " sent an answer nobody asked for", 0);
    } else {
      MarkDead(c, "connection to source server " + c.where + " lost: the server closed the connection", ECONNRESET);
    }
    return false;
  }
  const auto deadline = DeadlineIn(timeoutMs);
  IoResult r = SendAll(c.sock.get(), frame, deadline);
  if (!r.ok()) {
    // A server that refused the session has said why before closing.
    Frame fault;
    if (ReadFrame(c.sock.get(), fault, Clock::now(), 200).ok() && fault.kind == FrameKind::Fault)
      return FaultAnswer(c, fault);
  }
  if (r.ok()) {
    const auto now = Clock::now();
    const int left = deadline == Clock::time_point::max()
                         ? 0
                         : static_cast<int>(std::max<int64_t>(
                               1, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count()));
    r = ReadFrame(c.sock.get(), answer, deadline, left);
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

int32_t NetClient::Call(Op op, std::initializer_list<Bind> binds, int timeoutMs) {
  code_ = kCodeNone;
  errNum_ = 0;
  text_.clear();
  const OpInfo& info = InfoOf(op);
  if (binds.size() != info.args.size()) return Fail(kCodeBadCall, std::string(info.name) + ": wrong arguments");

  // Finds the connection: the owner of the first handle, else the current one.
  Connection* c = nullptr;
  for (const Bind& b : binds) {
    if (!IsHandle(b.kind)) continue;
    const int32_t h = b.kind == Arg::Handle ? b.number : *b.numberRef;
    if (h < 0) break;
    auto it = handles_.find(h);
    if (it == handles_.end()) return Fail(kCodeBadCall, "unknown or closed handle " + std::to_string(h));
    c = Find(it->second.first);
    break;
  }
  if (!c) c = current_;
  if (!c) return Fail(kCodeBadCall, "no current connection");
  if (c->dead) return Fail(kCodeNetwork, c->deadReason + " (the connection is lost; close it and open a new one)");

  ::qv::net::Call call;
  call.op = op;
  call.args.reserve(binds.size());
  for (const Bind& b : binds) {
    Value v;
    switch (b.kind) {
      case Arg::Number: v.number = b.number; break;
      case Arg::NumberRef: v.number = *b.numberRef; break;
      case Arg::Handle:
      case Arg::HandleRef: {
        const int32_t h = b.kind == Arg::Handle ? b.number : *b.numberRef;
        auto it = handles_.find(h);
        v.number = h < 0 ? h : (it != handles_.end() && it->second.first == c->id ? it->second.second : -1);
        if (h >= 0 && (it == handles_.end() || it->second.first != c->id))
          return Fail(kCodeBadCall, "handle " + std::to_string(h) + " belongs to another connection");
        break;
      }
      case Arg::Text: v.bytes = *b.text; break;
      case Arg::Buffer: v.bytes = *b.buffer; break;
    }
    call.args.push_back(std::move(v));
  }
  std::string payload;
  try {
    payload = EncodeCall(call);
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
    for (const Bind& b : binds) {
      if (!IsReturned(b.kind) || reply.outs.empty()) continue;
      if (b.kind == Arg::Buffer && reply.outs[k].bytes.size() != b.buffer->size())
        throw ProtocolError("a buffer of " + std::to_string(reply.outs[k].bytes.size()) + " bytes for one of " +
                            std::to_string(b.buffer->size()));
      ++k;
    }
  } catch (const ProtocolError& e) {
    MarkDead(*c, "source server " + c->where + " sent a malformed answer: " + e.what(), 0);
    return 0;
  }

  if (!reply.outs.empty()) {
    std::size_t k = 0;
    for (const Bind& b : binds) {
      if (!IsReturned(b.kind)) continue;
      Value& v = reply.outs[k++];
      switch (b.kind) {
        case Arg::NumberRef: *b.numberRef = v.number; break;
        case Arg::HandleRef: *b.numberRef = v.number < 0 ? v.number : ClientHandle(*c, v.number); break;
        case Arg::Buffer: b.buffer->replace(0, v.bytes.size(), v.bytes); break;
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
  code_ = kCodeNone;
  errNum_ = 0;
  text_.clear();
  const std::string shown(dllparam::CutAtNul(address));
  auto where = ParseHostPort(shown);
  if (!where) return Fail(kCodeNetwork, "no source server at \"" + CleanText(shown) + "\": not HOST or HOST:PORT");

  if (connections_.size() >= static_cast<std::size_t>(kHandleSpan - 1))
    return Fail(kCodeBadCall, "too many connections");
  auto c = std::make_unique<Connection>();
  c->where = where->ToString();
  IoResult r = ConnectTcp(*where, options_.connectTimeoutMs, c->sock);
  if (!r.ok()) {
    if (r.status == IoResult::TimedOut)
      return Fail(kCodeNetwork, "source server " + c->where + " did not answer within " +
                                    SecondsText(options_.connectTimeoutMs), ETIMEDOUT);
    return Fail(kCodeNetwork, "no source server at " + c->where + ": " + r.text, r.err);
  }

  // Handshake.
  Hello hello;
  hello.peer = options_.clientName;
  Frame answer;
  if (!RoundTrip(*c, FrameKind::Hello, EncodeHello(hello), options_.connectTimeoutMs, answer)) return 0;
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
  const int32_t ok = Call(Op::OpenMConnection, {Txt(address), Buf(serverVersion), Buf(serverJob), NumRef(serverConn)},
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
  code_ = kCodeNone;
  errNum_ = 0;
  text_.clear();
  Connection* c = Find(hConn);
  if (!c) return Fail(kCodeBadCall, "unknown connection " + std::to_string(hConn));
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
  code_ = kCodeNone;
  errNum_ = 0;
  text_.clear();
  Connection* c = Find(hConn);
  if (!c) return Fail(kCodeBadCall, "unknown connection " + std::to_string(hConn));
  if (!c->dead) {
    // Waits (briefly) for the server to close its side, so that locks and
    // units of work of this connection are gone when the call returns.
    Connection* previous = current_;
    current_ = c;
    Call(Op::CloseMConnection, {Num(0)}, options_.pingTimeoutMs);
    current_ = previous;
  }
  DropConnection(hConn);
  code_ = kCodeNone;
  errNum_ = 0;
  text_.clear();
  return 1;
}

int32_t NetClient::PingPong() { return Call(Op::PingPong, {}, options_.pingTimeoutMs); }

// ---- Files and records -------------------------------------------------------------

int32_t NetClient::Ropen(const std::string& file, const std::string& mode, int32_t& h) {
  // The handle travels as an output only: what the caller held is not sent.
  int32_t opened = -1;
  const int32_t r = Call(Op::Ropen, {Txt(file), Txt(mode), HndRef(opened)});
  if (r || opened >= 0) h = opened;
  return r;
}

int32_t NetClient::Rreadk(int32_t h, std::string& rec, int32_t& len, int32_t opts, const std::string& key,
                          int32_t keyLen) {
  return Call(Op::Rreadk, {Hnd(h), Buf(rec), NumRef(len), Num(opts), Txt(key), Num(keyLen)});
}
int32_t NetClient::Rreadf(int32_t h, std::string& rec, int32_t& len, int32_t opts) {
  return Call(Op::Rreadf, {Hnd(h), Buf(rec), NumRef(len), Num(opts)});
}
int32_t NetClient::Rreadn(int32_t h, std::string& rec, int32_t& len, int32_t opts) {
  return Call(Op::Rreadn, {Hnd(h), Buf(rec), NumRef(len), Num(opts)});
}
int32_t NetClient::Rreadblock(int32_t h, std::string& buf, int32_t& count, int32_t recLen, const std::string& key,
                              int32_t keyLen) {
  return Call(Op::Rreadblock, {Hnd(h), Buf(buf), NumRef(count), Num(recLen), Txt(key), Num(keyLen)});
}
int32_t NetClient::RreadblockD(int32_t h, std::string& buf, int32_t& count, int32_t recLen) {
  return Call(Op::RreadblockD, {Hnd(h), Buf(buf), NumRef(count), Num(recLen)});
}
int32_t NetClient::Rupdate(int32_t h, const std::string& rec, int32_t len) {
  return Call(Op::Rupdate, {Hnd(h), Txt(rec), Num(len)});
}
int32_t NetClient::Rwrite(int32_t h, const std::string& rec, int32_t len) {
  return Call(Op::Rwrite, {Hnd(h), Txt(rec), Num(len)});
}
int32_t NetClient::Rdelete(int32_t h) { return Call(Op::Rdelete, {Hnd(h)}); }

int32_t NetClient::Rclose(int32_t h) {
  const int32_t r = Call(Op::Rclose, {Hnd(h)});
  // The caller drops its copy whatever the outcome; so does the map.
  if (auto it = handles_.find(h); it != handles_.end()) {
    serverHandles_.erase(it->second);
    handles_.erase(it);
  }
  return r;
}

// ---- SQL --------------------------------------------------------------------------------

int32_t NetClient::Sread(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql, int32_t option) {
  return Call(Op::Sread, {HndRef(hStmt), Buf(buf), NumRef(len), Txt(sql), Num(option)});
}
int32_t NetClient::Snext(int32_t& hStmt, std::string& rec, int32_t& len, int32_t& flag) {
  return Call(Op::Snext, {HndRef(hStmt), Buf(rec), NumRef(len), NumRef(flag)});
}
int32_t NetClient::Sreadblock(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                              const std::string& first, int32_t& flag) {
  return Call(Op::Sreadblock, {HndRef(hStmt), Buf(buf), NumRef(len), Txt(sql), Txt(first), NumRef(flag)});
}
int32_t NetClient::Saction(const std::string& sql) { return Call(Op::Saction, {Txt(sql)}); }
int32_t NetClient::SetConnectOption(int32_t option) { return Call(Op::SetConnectOption, {Num(option)}); }

// ---- ODBC login and settings ------------------------------------------------------------

int32_t NetClient::ConnectDSN(const std::string& connect, const std::string& user, const std::string& password,
                              std::string& out) {
  return Call(Op::ConnectDSN, {Txt(connect), Txt(user), Txt(password), Buf(out)});
}
int32_t NetClient::CloseConnectionDSN(const std::string& connect, std::string& out) {
  return Call(Op::CloseConnectionDSN, {Txt(connect), Buf(out)});
}
int32_t NetClient::GetConfigStringWithoutDefVal(const std::string& section, const std::string& key,
                                                std::string& value, int32_t& len) {
  return Call(Op::GetConfigStringWithoutDefVal, {Txt(section), Txt(key), Buf(value), NumRef(len)});
}
int32_t NetClient::GetDBParamKeys(std::string& connect, std::string& driver, std::string& user,
                                  std::string& password, std::string& database) {
  return Call(Op::GetDBParamKeys, {Buf(connect), Buf(driver), Buf(user), Buf(password), Buf(database)});
}
int32_t NetClient::GetComputerName(std::string& name) { return Call(Op::GetComputerName, {Buf(name)}); }

// ---- Remote commands and engine services -------------------------------------------------

int32_t NetClient::Execute(std::string& code, std::string& ctl, std::string& data) {
  return Call(Op::Execute, {Buf(code), Buf(ctl), Buf(data)});
}
int32_t NetClient::StrReplication(const std::string& name, const std::string& kind, const std::string& instance) {
  return Call(Op::StrReplication, {Txt(name), Txt(kind), Txt(instance)});
}
int32_t NetClient::SJobList(const std::string& job, std::string& answer, const std::string& kind) {
  return Call(Op::SJobList, {Txt(job), Buf(answer), Txt(kind)});
}
int32_t NetClient::Activity(std::string& name, const std::string& request) {
  return Call(Op::Activity, {Buf(name), Txt(request)});
}
int32_t NetClient::ReadQVMSGQ(std::string& queue, int32_t& count, const std::string& kind) {
  return Call(Op::ReadQVMSGQ, {Buf(queue), NumRef(count), Txt(kind)});
}
int32_t NetClient::WriteFile(const std::string& file, const std::string& text, int32_t replace) {
  return Call(Op::WriteFile, {Txt(file), Txt(text), Num(replace)});
}
int32_t NetClient::DeleteFile(const std::string& file) { return Call(Op::DeleteFile, {Txt(file)}); }
int32_t NetClient::WriteFileWithFullPath(const std::string& path, const std::string& text, int32_t replace) {
  return Call(Op::WriteFileWithFullPath, {Txt(path), Txt(text), Num(replace)});
}
int32_t NetClient::DeleteFileWithFullPath(const std::string& path) {
  return Call(Op::DeleteFileWithFullPath, {Txt(path)});
}

// ---- Catalogs -------------------------------------------------------------------------------

int32_t NetClient::GetDSNsAndDrivers(std::string& list, int32_t& len, int32_t first) {
  return Call(Op::GetDSNsAndDrivers, {Buf(list), NumRef(len), Num(first)});
}
int32_t NetClient::FillDB(const std::string& filter, std::string& list, int32_t& len, int32_t first) {
  return Call(Op::FillDB, {Txt(filter), Buf(list), NumRef(len), Num(first)});
}
int32_t NetClient::FillTBL(const std::string& database, const std::string& mask, std::string& list, int32_t& len,
                           int32_t first) {
  return Call(Op::FillTBL, {Txt(database), Txt(mask), Buf(list), NumRef(len), Num(first)});
}
int32_t NetClient::FillColumnsList(const std::string& database, const std::string& table, const std::string& mask,
                                   std::string& list, int32_t& len, int32_t first) {
  return Call(Op::FillColumnsList, {Txt(database), Txt(table), Txt(mask), Buf(list), NumRef(len), Num(first)});
}
int32_t NetClient::FillColumnsListSource(const std::string& kind, const std::string& table, std::string& list,
                                         int32_t& len, int32_t first) {
  return Call(Op::FillColumnsListSource, {Txt(kind), Txt(table), Buf(list), NumRef(len), Num(first)});
}
int32_t NetClient::GetPrimaryKey(const std::string& table, std::string& keys, int32_t& len) {
  return Call(Op::GetPrimaryKey, {Txt(table), Buf(keys), NumRef(len)});
}
int32_t NetClient::TableNTExist(const std::string& table) { return Call(Op::TableNTExist, {Txt(table)}); }
int32_t NetClient::CreateTable(const std::string& table, const std::string& definition) {
  return Call(Op::CreateTable, {Txt(table), Txt(definition)});
}
int32_t NetClient::BuildReceiverListNT(const std::string& journal, const std::string& library, std::string& list,
                                       int32_t& len, int32_t first) {
  return Call(Op::BuildReceiverListNT, {Txt(journal), Txt(library), Buf(list), NumRef(len), Num(first)});
}

}  // namespace qv::net
