// Implements the frames, messages and operation table of the wire protocol.
#include "dllparam/net/net_protocol.h"

#include <array>
#include <charconv>

namespace qv::net {

namespace {

// ---- Byte writer and reader -----------------------------------------------

class Writer {
 public:
  void U8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v >> 8));
    U8(static_cast<uint8_t>(v));
  }
  void U32(uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) U8(static_cast<uint8_t>(v >> shift));
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void Raw(std::string_view s) { out_.append(s); }
  // Writes a text or buffer: size, head length, head, and the fill byte that
  // repeats up to size when the head is shorter ("ABC" + 4093 blanks travels
  // as 4096, 3, "ABC", ' ').
  void Bytes(std::string_view s) {
    if (s.size() > kMaxValue) throw ProtocolError("a text of " + std::to_string(s.size()) +
                                                  " bytes exceeds the limit of " + std::to_string(kMaxValue));
    std::size_t head = s.size();
    if (!s.empty()) {
      const char last = s.back();
      std::size_t run = 0;
      while (run < s.size() && s[s.size() - 1 - run] == last) ++run;
      if (run >= kMinRun) head = s.size() - run;
    }
    U32(static_cast<uint32_t>(s.size()));
    U32(static_cast<uint32_t>(head));
    Raw(s.substr(0, head));
    if (head < s.size()) U8(static_cast<uint8_t>(s.back()));
  }
  std::string Take() { return std::move(out_); }

 private:
  static constexpr std::size_t kMinRun = 16;
  std::string out_;
};

class Reader {
 public:
  explicit Reader(std::string_view in, const char* what) : in_(in), what_(what) {}

  uint8_t U8() {
    Need(1);
    return static_cast<uint8_t>(in_[pos_++]);
  }
  uint16_t U16() {
    uint16_t hi = U8();
    return static_cast<uint16_t>((hi << 8) | U8());
  }
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | U8();
    return v;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  // Returns the next four bytes as a number without consuming them.
  uint32_t PeekU32() {
    Need(4);
    uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<uint8_t>(in_[pos_ + i]);
    return v;
  }
  std::string_view Raw(std::size_t n) {
    Need(n);
    std::string_view s = in_.substr(pos_, n);
    pos_ += n;
    return s;
  }
  // Reads a text or buffer written by Writer::Bytes, counting its expanded
  // size against budget.
  std::string Bytes(uint64_t& budget, uint32_t limit = kMaxValue) {
    const uint32_t size = U32();
    const uint32_t head = U32();
    if (size > limit) Fail("a text of " + std::to_string(size) + " bytes exceeds the limit of " + std::to_string(limit));
    if (head > size) Fail("a text head of " + std::to_string(head) + " bytes is longer than its size " + std::to_string(size));
    if (size > budget) Fail("the texts of the message exceed " + std::to_string(kMaxExpanded) + " bytes");
    budget -= size;
    std::string_view h = Raw(head);
    std::string out;
    out.reserve(size);
    out.append(h);
    if (head < size) out.append(size - head, static_cast<char>(U8()));
    return out;
  }
  bool AtEnd() const { return pos_ == in_.size(); }
  void End() {
    if (pos_ != in_.size())
      Fail(std::to_string(in_.size() - pos_) + " bytes left over after the " + std::string(what_));
  }
  [[noreturn]] void Fail(const std::string& why) { throw ProtocolError("malformed " + std::string(what_) + ": " + why); }

 private:
  void Need(std::size_t n) {
    if (in_.size() - pos_ < n) Fail("truncated");
  }
  std::string_view in_;
  std::size_t pos_ = 0;
  const char* what_;
};

// ---- Operation table ----------------------------------------------------------

// The wire kinds of each operation's arguments, then the table itself, in
// code order, from dllparam_ops.def.
template <std::size_t N>
constexpr std::array<Arg, N> WireArgs(const std::array<dllparam::Parameter, N>& params) {
  std::array<Arg, N> args{};
  for (std::size_t i = 0; i < N; ++i) args[i] = WireArg(params[i].kind);
  return args;
}

#define DLLPARAM_LOCAL_OP(Name, Params, Args)
#define DLLPARAM_OP(Name, Code, Params, Args) \
  constexpr auto k##Name##Wire = WireArgs(dllparam::parameters::Name);
#include "connection/dllparam_ops.def"

constexpr OpInfo kOps[] = {
#define DLLPARAM_LOCAL_OP(Name, Params, Args)
#define DLLPARAM_OP(Name, Code, Params, Args) {Op::Name, #Name, k##Name##Wire, DllParamOp::Name},
#include "connection/dllparam_ops.def"
};

// FindOp reads the table by code: the codes run from 1 without a gap.
constexpr bool CodesRunFromOne() {
  for (std::size_t i = 0; i < std::size(kOps); ++i)
    if (static_cast<std::size_t>(kOps[i].op) != i + 1) return false;
  return true;
}
static_assert(CodesRunFromOne(), "the operation codes of dllparam_ops.def must run from 1 without a gap");

void WriteValue(Writer& w, Arg a, const Value& v) {
  if (IsBytes(a)) w.Bytes(v.bytes);
  else w.I32(v.number);
}

Value ReadValue(Reader& r, Arg a, uint64_t& budget) {
  Value v;
  if (IsBytes(a)) v.bytes = r.Bytes(budget);
  else v.number = r.I32();
  return v;
}

std::size_t ReturnedCount(const OpInfo& info) {
  std::size_t n = 0;
  for (Arg a : info.args) n += IsReturned(a) ? 1 : 0;
  return n;
}

void CheckSizes(const std::vector<Value>& values) {
  uint64_t total = 0;
  for (const Value& v : values) {
    if (v.bytes.size() > kMaxValue)
      throw ProtocolError("a text of " + std::to_string(v.bytes.size()) + " bytes exceeds the limit of " +
                          std::to_string(kMaxValue));
    total += v.bytes.size();
  }
  if (total > kMaxExpanded)
    throw ProtocolError("the texts of the message (" + std::to_string(total) + " bytes) exceed the limit of " +
                        std::to_string(kMaxExpanded));
}

}  // namespace

UnknownOperation::UnknownOperation(uint8_t code)
    : ProtocolError("unknown operation " + std::to_string(code)), code_(code) {}

const char* FrameKindName(FrameKind kind) {
  switch (kind) {
    case FrameKind::Hello: return "hello";
    case FrameKind::Welcome: return "welcome";
    case FrameKind::Fault: return "fault";
    case FrameKind::Call: return "call";
    case FrameKind::Reply: return "reply";
  }
  return "unknown";
}

// ---- Frames -------------------------------------------------------------------

std::string EncodeFrame(FrameKind kind, uint32_t sequence, std::string_view payload) {
  if (payload.size() > kMaxFrame - kBodyHeaderSize)
    throw ProtocolError("a frame of " + std::to_string(payload.size() + kBodyHeaderSize) +
                        " bytes exceeds the limit of " + std::to_string(kMaxFrame));
  Writer w;
  w.U32(static_cast<uint32_t>(payload.size() + kBodyHeaderSize));
  w.U8(static_cast<uint8_t>(kind));
  w.U32(sequence);
  w.Raw(payload);
  return w.Take();
}

uint32_t DecodeLength(std::string_view fourBytes, uint32_t maxFrame) {
  Reader r(fourBytes, "frame length");
  const uint32_t length = r.U32();
  if (length < kBodyHeaderSize) r.Fail("a frame of " + std::to_string(length) + " bytes is too short");
  if (length > maxFrame)
    throw ProtocolError("a frame of " + std::to_string(length) + " bytes exceeds the limit of " +
                        std::to_string(maxFrame));
  return length;
}

Frame DecodeBody(std::string_view body) {
  Reader r(body, "frame");
  Frame f;
  const uint8_t kind = r.U8();
  if (kind < static_cast<uint8_t>(FrameKind::Hello) || kind > static_cast<uint8_t>(FrameKind::Reply))
    r.Fail("unknown frame kind " + std::to_string(kind));
  f.kind = static_cast<FrameKind>(kind);
  f.sequence = r.U32();
  f.payload = std::string(body.substr(kBodyHeaderSize));
  return f;
}

std::optional<Frame> FrameReader::Next() {
  if (Pending() < kLengthSize) return std::nullopt;
  std::string_view rest = std::string_view(buffer_).substr(used_);
  const uint32_t length = DecodeLength(rest.substr(0, kLengthSize), maxFrame_);
  if (rest.size() - kLengthSize < length) return std::nullopt;
  Frame f = DecodeBody(rest.substr(kLengthSize, length));
  used_ += kLengthSize + length;
  if (used_ == buffer_.size()) {
    buffer_.clear();
    used_ = 0;
  } else if (used_ > 65536 && used_ * 2 > buffer_.size()) {
    buffer_.erase(0, used_);
    used_ = 0;
  }
  return f;
}

// ---- Handshake and faults ---------------------------------------------------

std::string EncodeHello(const Hello& hello, const Login& login) {
  Writer w;
  w.Raw(kMagic);
  w.U16(hello.lowest);
  w.U16(hello.highest);
  w.Bytes(hello.peer.substr(0, kMaxNameSize));
  if (!login.user.empty()) {
    w.Bytes(login.user.substr(0, kMaxNameSize));
    w.Bytes(login.password.substr(0, kMaxNameSize));
  }
  return w.Take();
}

Hello DecodeHello(std::string_view payload, Login* login) {
  Reader r(payload, "hello");
  if (r.Raw(kMagic.size()) != kMagic) r.Fail("not a source client (bad magic)");
  Hello h;
  h.lowest = r.U16();
  h.highest = r.U16();
  if (h.lowest > h.highest) r.Fail("version range " + std::to_string(h.lowest) + ".." + std::to_string(h.highest));
  uint64_t budget = kMaxNameSize;
  h.peer = r.Bytes(budget, kMaxNameSize);
  if (!r.AtEnd()) {
    budget = 2 * kMaxNameSize;
    Login given;
    given.user = r.Bytes(budget, kMaxNameSize);
    given.password = r.Bytes(budget, kMaxNameSize);
    if (login) *login = std::move(given);
  }
  r.End();
  return h;
}

std::string EncodeWelcome(const Welcome& welcome) {
  Writer w;
  w.Raw(kMagic);
  w.U16(welcome.version);
  w.U32(welcome.maxFrame);
  w.Bytes(welcome.server.substr(0, kMaxNameSize));
  return w.Take();
}

Welcome DecodeWelcome(std::string_view payload) {
  Reader r(payload, "welcome");
  if (r.Raw(kMagic.size()) != kMagic) r.Fail("not a source server (bad magic)");
  Welcome w;
  w.version = r.U16();
  w.maxFrame = r.U32();
  if (w.maxFrame < kBodyHeaderSize) r.Fail("frame limit " + std::to_string(w.maxFrame));
  uint64_t budget = kMaxNameSize;
  w.server = r.Bytes(budget, kMaxNameSize);
  r.End();
  return w;
}

std::string EncodeFault(const Fault& fault) {
  Writer w;
  w.I32(fault.code);
  w.I32(fault.errNum);
  w.Bytes(fault.text.substr(0, kMaxFaultText));
  return w.Take();
}

Fault DecodeFault(std::string_view payload) {
  Reader r(payload, "fault");
  Fault f;
  f.code = r.I32();
  f.errNum = r.I32();
  uint64_t budget = kMaxFaultText;
  f.text = r.Bytes(budget, kMaxFaultText);
  r.End();
  return f;
}

std::optional<uint16_t> AgreeVersion(const Hello& hello) {
  const uint16_t high = hello.highest < kProtocolVersion ? hello.highest : kProtocolVersion;
  const uint16_t low = hello.lowest > kLowestVersion ? hello.lowest : kLowestVersion;
  if (low > high) return std::nullopt;
  return high;
}

// ---- Operations -----------------------------------------------------------------

const OpInfo* FindOp(uint8_t code) {
  if (code == 0 || code > std::size(kOps)) return nullptr;
  return &kOps[code - 1];
}

const OpInfo& InfoOf(Op op) { return kOps[static_cast<uint8_t>(op) - 1]; }

std::span<const OpInfo> AllOps() { return kOps; }

std::string EncodeCall(const Call& call) {
  const OpInfo& info = InfoOf(call.op);
  if (call.args.size() != info.args.size())
    throw ProtocolError(std::string(info.name) + " takes " + std::to_string(info.args.size()) + " arguments, not " +
                        std::to_string(call.args.size()));
  CheckSizes(call.args);
  Writer w;
  w.U8(static_cast<uint8_t>(call.op));
  for (std::size_t i = 0; i < info.args.size(); ++i) WriteValue(w, info.args[i], call.args[i]);
  return w.Take();
}

namespace {

// Decodes a call, within limits when they are given.
Call DecodeCallWithin(std::string_view payload, const CallLimits* limits) {
  Reader r(payload, "call");
  const uint8_t code = r.U8();
  const OpInfo* info = FindOp(code);
  if (!info) throw UnknownOperation(code);
  Call c;
  c.op = info->op;
  uint64_t budget = kMaxExpanded;
  uint64_t texts = 0;
  c.args.reserve(info->args.size());
  for (Arg a : info->args) {
    if (limits && a == Arg::Buffer && r.PeekU32() > LargestAnswer(info->op))
      throw OversizedCall(info->op, std::string(info->name) + " fills at most " +
                                        std::to_string(LargestAnswer(info->op)) + " bytes; a buffer of " +
                                        std::to_string(r.PeekU32()) + " bytes is refused");
    if (limits && a == Arg::Text && (texts += r.PeekU32()) > limits->texts)
      throw OversizedCall(info->op, std::string(info->name) + " with texts of more than " +
                                        std::to_string(limits->texts) + " bytes is refused");
    c.args.push_back(ReadValue(r, a, budget));
  }
  r.End();
  return c;
}

}  // namespace

Call DecodeCall(std::string_view payload) { return DecodeCallWithin(payload, nullptr); }

Call DecodeCall(std::string_view payload, const CallLimits& limits) { return DecodeCallWithin(payload, &limits); }

uint32_t LargestAnswer(Op op) {
  switch (op) {
    case Op::OpenMConnection: return 256;
    case Op::GetConfigStringWithoutDefVal:
    case Op::GetDBParamKeys:
    case Op::GetComputerName:
    case Op::Activity: return 4096;
    case Op::ReadQVMSGQ: return 65536;
    case Op::Execute: return 131072;
    default: return 32768;  // records, rows, blocks, lists, login messages
  }
}

std::string EncodeReply(const Reply& reply) {
  // An operation this build does not know is answered without outputs.
  const OpInfo* info = FindOp(static_cast<uint8_t>(reply.op));
  const std::size_t returned = info ? ReturnedCount(*info) : 0;
  if (!reply.outs.empty() && reply.outs.size() != returned)
    throw ProtocolError(std::string(info ? info->name : "an unknown operation") + " returns " +
                        std::to_string(returned) + " arguments, not " + std::to_string(reply.outs.size()));
  CheckSizes(reply.outs);
  Writer w;
  w.U8(static_cast<uint8_t>(reply.op));
  w.I32(reply.result);
  w.I32(reply.code);
  w.I32(reply.errNum);
  w.Bytes(reply.text.substr(0, kMaxFaultText));
  w.U8(reply.outs.empty() ? 0 : 1);
  if (!reply.outs.empty()) {
    std::size_t k = 0;
    for (Arg a : info->args)
      if (IsReturned(a)) WriteValue(w, a, reply.outs[k++]);
  }
  return w.Take();
}

Reply DecodeReply(std::string_view payload) {
  Reader r(payload, "reply");
  const uint8_t code = r.U8();
  const OpInfo* info = FindOp(code);
  Reply rep;
  rep.op = static_cast<Op>(code);
  rep.result = r.I32();
  rep.code = r.I32();
  rep.errNum = r.I32();
  uint64_t textBudget = kMaxFaultText;
  rep.text = r.Bytes(textBudget, kMaxFaultText);
  const uint8_t withOuts = r.U8();
  if (withOuts > 1) r.Fail("bad outputs flag " + std::to_string(withOuts));
  if (withOuts) {
    if (!info) r.Fail("outputs of unknown operation " + std::to_string(code));
    uint64_t budget = kMaxExpanded;
    for (Arg a : info->args)
      if (IsReturned(a)) rep.outs.push_back(ReadValue(r, a, budget));
  }
  r.End();
  return rep;
}

// ---- Addresses ----------------------------------------------------------------------

std::string HostPort::ToString() const {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<HostPort> ParseHostPort(std::string_view text, uint16_t defaultPort, bool allowAnyPort) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\0')) text.remove_suffix(1);
  HostPort hp;
  hp.port = defaultPort;
  std::string_view portText;
  bool hasPort = false;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    hp.host = std::string(text.substr(1, close - 1));
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      portText = rest.substr(1);
      hasPort = true;
    }
  } else {
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos) {
      hp.host = std::string(text.substr(0, colon));
      portText = text.substr(colon + 1);
      hasPort = true;
    } else {
      hp.host = std::string(text);  // a name, an IPv4 address, or an IPv6 address without a port
    }
  }
  if (hp.host.empty()) return std::nullopt;
  for (char c : hp.host)
    if (c == ' ' || c == '/' || c == '\0' || c == '\t') return std::nullopt;
  if (hasPort) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
    if (portText.empty() || ec != std::errc() || end != portText.data() + portText.size() || value > 65535)
      return std::nullopt;
    if (value == 0 && !allowAnyPort) return std::nullopt;
    hp.port = static_cast<uint16_t>(value);
  }
  return hp;
}

}  // namespace qv::net
