// The wire protocol between the network client of the record-access library
// and the source server (docs/protocol.md): frames, messages and the table of
// operations, encoded and decoded without any I/O so that the decoder can be
// fuzzed on its own.
//
// A frame on the stream:
//
//   u32 length | u8 kind | u32 sequence | payload        (big-endian)
//   length counts kind + sequence + payload: 5 .. kMaxFrame
//
// Decoders throw ProtocolError (a std::runtime_error) with a text for the
// log when the bytes break the protocol; they never read past their input
// and never allocate more than the limits below allow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "connection/dllparam_call.h"

namespace qv::net {

// ---- Constants --------------------------------------------------------------

// Protocol versions this build speaks (both ends announce a range).
inline constexpr uint16_t kProtocolVersion = 1;
inline constexpr uint16_t kLowestVersion = 1;
// Port of a source server when an address names none.
inline constexpr uint16_t kDefaultPort = 1310;
// Magic of the handshake messages: "QVSP".
inline constexpr std::string_view kMagic = "QVSP";
// Size of the length field and of the fixed part of a frame body.
inline constexpr std::size_t kLengthSize = 4;
inline constexpr std::size_t kBodyHeaderSize = 5;  // kind + sequence
// Longest frame body accepted (the length field's largest value).
inline constexpr uint32_t kMaxFrame = 16u << 20;
// Largest size of one text or buffer once expanded, and of all of them in one
// message together.
inline constexpr uint32_t kMaxValue = 16u << 20;
inline constexpr uint64_t kMaxExpanded = 16u << 20;
// Longest peer or server name and fault text carried.
inline constexpr uint32_t kMaxNameSize = 256;
inline constexpr uint32_t kMaxFaultText = 1024;

// ---- Errors -----------------------------------------------------------------

// Bytes that break the protocol.
class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A call frame that is well formed up to an operation code this build does
// not know: the server answers "not supported" and keeps the connection.
class UnknownOperation : public ProtocolError {
 public:
  explicit UnknownOperation(uint8_t code);
  uint8_t code() const { return code_; }

 private:
  uint8_t code_;
};

// ---- Frames -----------------------------------------------------------------

enum class FrameKind : uint8_t {
  Hello = 1,    // client -> server: opens the session
  Welcome = 2,  // server -> client: accepts it
  Fault = 3,    // server -> client: refuses a frame or the session, then closes
  Call = 4,     // client -> server: one operation
  Reply = 5,    // server -> client: its outcome
};

// Returns "hello", "welcome", "fault", "call", "reply", else "unknown".
const char* FrameKindName(FrameKind kind);

struct Frame {
  FrameKind kind = FrameKind::Call;
  uint32_t sequence = 0;
  std::string payload;
};

// Returns the bytes of a whole frame: length, kind, sequence, payload.
// Throws ProtocolError when the payload makes the frame longer than kMaxFrame.
std::string EncodeFrame(FrameKind kind, uint32_t sequence, std::string_view payload);

// Reads the length field (4 bytes) and checks it: the body length, within
// kBodyHeaderSize .. maxFrame. Throws ProtocolError.
uint32_t DecodeLength(std::string_view fourBytes, uint32_t maxFrame = kMaxFrame);

// Reads a frame body (kind, sequence, payload). Throws ProtocolError for a
// short body or an unknown kind.
Frame DecodeBody(std::string_view body);

// Splits a byte stream into frames: Feed() the bytes as they come, then take
// frames with Next() until it returns nothing. A bad length or kind makes
// Next() throw ProtocolError; the reader is then unusable.
class FrameReader {
 public:
  explicit FrameReader(uint32_t maxFrame = kMaxFrame) : maxFrame_(maxFrame) {}
  void Feed(std::string_view bytes) { buffer_.append(bytes); }
  std::optional<Frame> Next();
  // Returns the number of bytes fed but not yet taken as frames.
  std::size_t Pending() const { return buffer_.size() - used_; }

 private:
  uint32_t maxFrame_;
  std::string buffer_;
  std::size_t used_ = 0;
};

// ---- Handshake and faults --------------------------------------------------

struct Hello {
  uint16_t lowest = kLowestVersion;
  uint16_t highest = kProtocolVersion;
  std::string peer;  // who connects, for the server's log ("qvmgr pid 42")
};

// The user and password a client logs in with, at the end of its hello
// (only when user is not empty); a server with a users file refuses a hello
// without them.
struct Login {
  std::string user;
  std::string password;
};

struct Welcome {
  uint16_t version = kProtocolVersion;
  uint32_t maxFrame = kMaxFrame;
  std::string server;  // the server's name and version ("qvsource 0.1")
};

struct Fault {
  int32_t code = 0;  // a DllParam error category
  int32_t errNum = 0;
  std::string text;
};

std::string EncodeHello(const Hello& hello, const Login& login = {});
// Decodes a hello; its login (if any) goes to *login when given.
Hello DecodeHello(std::string_view payload, Login* login = nullptr);
std::string EncodeWelcome(const Welcome& welcome);
Welcome DecodeWelcome(std::string_view payload);
std::string EncodeFault(const Fault& fault);
Fault DecodeFault(std::string_view payload);

// Returns the version both ends speak (the highest common one), or nothing.
std::optional<uint16_t> AgreeVersion(const Hello& hello);

// ---- Operations ------------------------------------------------------------

// One code per member of the record-access library that travels, from
// dllparam_ops.def. Codes are never reused; a new member takes a new code.
enum class Op : uint8_t {
#define DLLPARAM_LOCAL_OP(Name, Params, Args)
#define DLLPARAM_OP(Name, Code, Params, Args) Name = Code,
#include "connection/dllparam_ops.def"
};

// How one argument of an operation travels.
enum class Arg : uint8_t {
  Number,     // int32_t by value: sent
  NumberRef,  // int32_t& : sent, and returned in the reply
  Handle,     // file or statement handle by value: sent
  HandleRef,  // handle by reference: sent, and returned in the reply
  Text,       // const std::string& : sent
  Buffer,     // std::string& in-place buffer: sent whole, returned whole (same size)
};

inline bool IsReturned(Arg a) { return a == Arg::NumberRef || a == Arg::HandleRef || a == Arg::Buffer; }
inline bool IsBytes(Arg a) { return a == Arg::Text || a == Arg::Buffer; }
inline bool IsHandle(Arg a) { return a == Arg::Handle || a == Arg::HandleRef; }

struct OpInfo {
  Op op;
  const char* name;  // the member's name
  std::span<const Arg> args;  // in the member's order
  DllParamOp member;  // the member it calls
};

// Returns how an argument of kind travels.
constexpr Arg WireArg(dllparam::ArgKind kind) {
  switch (kind) {
    case dllparam::ArgKind::Number: return Arg::Number;
    case dllparam::ArgKind::NumberOut:
    case dllparam::ArgKind::NumberInOut: return Arg::NumberRef;
    case dllparam::ArgKind::Handle: return Arg::Handle;
    case dllparam::ArgKind::HandleOut:
    case dllparam::ArgKind::HandleInOut: return Arg::HandleRef;
    case dllparam::ArgKind::Text: return Arg::Text;
    case dllparam::ArgKind::Buffer:
    case dllparam::ArgKind::BufferInOut: return Arg::Buffer;
  }
  return Arg::Number;
}

// Returns the operation with this code, or nullptr.
const OpInfo* FindOp(uint8_t code);
// Returns the operation (never nullptr for a declared Op).
const OpInfo& InfoOf(Op op);
// Returns every operation, in code order.
std::span<const OpInfo> AllOps();

// One argument's value: number for Number/NumberRef/Handle/HandleRef, bytes
// for Text/Buffer.
struct Value {
  int32_t number = 0;
  std::string bytes;
  friend bool operator==(const Value&, const Value&) = default;
};

struct Call {
  Op op = Op::PingPong;
  std::vector<Value> args;  // one per argument of the operation
  friend bool operator==(const Call&, const Call&) = default;
};

struct Reply {
  Op op = Op::PingPong;
  int32_t result = 0;
  int32_t code = 0;  // the error state after the call
  int32_t errNum = 0;
  std::string text;
  // The by-reference arguments after the call, in the operation's order;
  // empty when the server refused the call without running it (the caller's
  // arguments are then left as they were).
  std::vector<Value> outs;
  friend bool operator==(const Reply&, const Reply&) = default;
};

// Encodes a call; args must match the operation (count; a Text or Buffer
// within kMaxValue; kMaxExpanded in all). Throws ProtocolError otherwise.
std::string EncodeCall(const Call& call);
// Decodes a call payload. Throws UnknownOperation for an unknown code and
// ProtocolError for anything else that is wrong.
Call DecodeCall(std::string_view payload);

// Returns the largest buffer that op fills (4096 for Activity, 32768 for a
// block read or a list, 131072 for a remote command's area): no answer of
// the operation is longer, so a larger buffer only costs memory.
uint32_t LargestAnswer(Op op);

// Limits that a server puts on the calls it decodes, before expanding them.
struct CallLimits {
  uint64_t texts = kMaxExpanded;  // the texts of one call together
};

// A call that is well formed but asks for more than the limits allow; the
// server refuses it and keeps the connection.
class OversizedCall : public ProtocolError {
 public:
  OversizedCall(Op op, const std::string& text) : ProtocolError(text), op_(op) {}
  Op op() const { return op_; }

 private:
  Op op_;
};

// Decodes a call as DecodeCall does, and throws OversizedCall, before
// expanding it, for a buffer larger than LargestAnswer of its operation or
// texts beyond limits.texts.
Call DecodeCall(std::string_view payload, const CallLimits& limits);

// Encodes a reply; outs is empty or holds one value per returned argument.
// Throws ProtocolError when it does not fit.
std::string EncodeReply(const Reply& reply);
// Decodes a reply payload. An operation this build does not know is taken
// only without outputs (a refusal of it). Throws ProtocolError.
Reply DecodeReply(std::string_view payload);

// ---- Addresses ---------------------------------------------------------------

struct HostPort {
  std::string host;
  uint16_t port = kDefaultPort;
  // Returns "host:port" ("[::1]:1310" for an IPv6 address).
  std::string ToString() const;
};

// Reads "HOST", "HOST:PORT", "[IPV6]" or "[IPV6]:PORT" (blanks around are
// dropped; an IPv6 address without brackets takes the default port).
// Returns nothing for an empty host or a port outside 1..65535 (0 is accepted
// when allowAnyPort, for a server that lets the system choose).
std::optional<HostPort> ParseHostPort(std::string_view text, uint16_t defaultPort = kDefaultPort,
                                      bool allowAnyPort = false);

}  // namespace qv::net
