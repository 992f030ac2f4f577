// Tests of the wire codec: every operation round trip, the frame reader,
// refusals of malformed input, addresses and timeouts.
#include <gtest/gtest.h>

#include "dllparam/net/net_client.h"
#include "dllparam/net/net_protocol.h"

namespace qv::net {
namespace {

// Builds a call of op whose values exercise each argument kind: numbers
// at the edges, texts with NULs, high bytes and long blank tails.
Call SampleCall(const OpInfo& info, int seed) {
  Call c;
  c.op = info.op;
  int i = 0;
  for (Arg a : info.args) {
    Value v;
    ++i;
    switch (a) {
      case Arg::Number: v.number = seed % 2 ? INT32_MIN : 0x0B000100; break;
      case Arg::NumberRef: v.number = -1 - i; break;
      case Arg::Handle: v.number = 7 + i; break;
      case Arg::HandleRef: v.number = seed % 2 ? -1 : 3; break;
      case Arg::Text: v.bytes = std::string("QV_USRDATA/QV_EX\0\xE9\xFF", 19) + std::string(seed * 5, ' '); break;
      case Arg::Buffer: v.bytes = std::string("AB\0", 3) + std::string(4096 + seed, ' '); break;
    }
    c.args.push_back(std::move(v));
  }
  return c;
}

TEST(Codec, EveryOperationRoundTripsItsCallAndReply) {
  ASSERT_EQ(AllOps().size(), 41u);
  for (const OpInfo& info : AllOps()) {
    SCOPED_TRACE(info.name);
    EXPECT_EQ(FindOp(static_cast<uint8_t>(info.op)), &info);
    for (int seed = 0; seed < 3; ++seed) {
      Call c = SampleCall(info, seed);
      EXPECT_EQ(DecodeCall(EncodeCall(c)), c);

      Reply r;
      r.op = info.op;
      r.result = seed == 0 ? 0 : 1;
      r.code = seed == 0 ? 4 : 0;
      r.errNum = -547;
      r.text = seed == 0 ? "record held by another job" : "";
      for (std::size_t k = 0; k < info.args.size(); ++k)
        if (IsReturned(info.args[k])) r.outs.push_back(c.args[k]);
      EXPECT_EQ(DecodeReply(EncodeReply(r)), r);
      r.outs.clear();  // a refusal without outputs
      EXPECT_EQ(DecodeReply(EncodeReply(r)), r);
    }
  }
}

TEST(Codec, BlankTailsTravelShortAndComeBackWhole) {
  Call c{Op::GetComputerName, {Value{0, std::string(32000, ' ')}}};
  const std::string wire = EncodeCall(c);
  EXPECT_LT(wire.size(), 16u);
  EXPECT_EQ(DecodeCall(wire), c);
  // A short tail is sent as it is; a buffer that is all one byte too.
  for (std::string s : {std::string("X") + std::string(15, ' '), std::string(17, '\0'), std::string(), std::string("Z")}) {
    Call d{Op::GetComputerName, {Value{0, s}}};
    EXPECT_EQ(DecodeCall(EncodeCall(d)).args[0].bytes, s);
  }
}

TEST(Codec, FrameReaderSplitsAStreamFedByteByByte) {
  std::string stream;
  std::vector<Call> calls;
  for (const OpInfo& info : AllOps()) {
    calls.push_back(SampleCall(info, 1));
    stream += EncodeFrame(FrameKind::Call, static_cast<uint32_t>(calls.size()), EncodeCall(calls.back()));
  }
  FrameReader reader;
  std::size_t n = 0;
  for (char ch : stream) {
    reader.Feed(std::string_view(&ch, 1));
    while (auto f = reader.Next()) {
      ASSERT_LT(n, calls.size());
      EXPECT_EQ(f->kind, FrameKind::Call);
      EXPECT_EQ(f->sequence, n + 1);
      EXPECT_EQ(DecodeCall(f->payload), calls[n]);
      ++n;
    }
  }
  EXPECT_EQ(n, calls.size());
  EXPECT_EQ(reader.Pending(), 0u);
}

TEST(Codec, EveryTruncationOfACallIsRefused) {
  const std::string wire = EncodeCall(SampleCall(InfoOf(Op::Rreadk), 0));
  for (std::size_t cut = 0; cut < wire.size(); ++cut)
    EXPECT_THROW(DecodeCall(wire.substr(0, cut)), ProtocolError) << cut;
  EXPECT_THROW(DecodeCall(wire + "x"), ProtocolError);
  const std::string reply = EncodeReply(Reply{Op::Sread, 1, 0, 0, "", {Value{3, {}}, Value{0, "row"}, Value{3, {}}}});
  for (std::size_t cut = 0; cut < reply.size(); ++cut)
    EXPECT_THROW(DecodeReply(reply.substr(0, cut)), ProtocolError) << cut;
}

std::string Be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

TEST(Codec, MalformedInputIsRefusedWithAReason) {
  struct Case {
    const char* name;
    std::string payload;
    const char* says;
  };
  const std::string saction(1, static_cast<char>(Op::Saction));
  const std::vector<Case> cases = {
      {"head longer than size", saction + Be32(3) + Be32(4) + "abcd", "head"},
      {"text over the limit", saction + Be32(kMaxValue + 1) + Be32(0) + " ", "exceeds"},
      {"bytes left over", saction + Be32(1) + Be32(1) + "ab", "left over"},
      {"truncated text", saction + Be32(10) + Be32(10) + "abc", "truncated"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      DecodeCall(c.payload);
      ADD_FAILURE() << "accepted";
    } catch (const ProtocolError& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
  }
  // Three buffers of 16 MiB each declared: over the per-message budget.
  std::string execute(1, static_cast<char>(Op::Execute));
  for (int i = 0; i < 3; ++i) execute += Be32(kMaxValue) + Be32(0) + " ";
  EXPECT_THROW(DecodeCall(execute), ProtocolError);

  EXPECT_THROW(DecodeLength(Be32(4)), ProtocolError);
  EXPECT_THROW(DecodeLength(Be32(kMaxFrame + 1)), ProtocolError);
  EXPECT_EQ(DecodeLength(Be32(5)), 5u);
  EXPECT_THROW(DecodeBody(std::string("\x09") + Be32(1)), ProtocolError);  // unknown kind
  EXPECT_THROW(DecodeHello("QVSX" + std::string(8, '\0')), ProtocolError);
  EXPECT_THROW(DecodeHello(std::string(kMagic) + "\0\3\0\1" + Be32(0) + Be32(0)), ProtocolError);  // range 3..1
  EXPECT_THROW(EncodeCall(Call{Op::Saction, {}}), ProtocolError);
  EXPECT_THROW(EncodeCall(Call{Op::Saction, {Value{0, std::string(kMaxValue + 1, 'x')}}}), ProtocolError);

  FrameReader reader;
  reader.Feed(Be32(kMaxFrame + 1));
  EXPECT_THROW(reader.Next(), ProtocolError);
}

TEST(Address, HostAndPortAreReadAsTyped) {
  using Want = std::optional<std::pair<std::string, int>>;
  const std::pair<const char*, Want> cases[] = {
      {"10.0.0.5", {{"10.0.0.5", 1310}}},       {"  AS400.EXAMPLE:2000 ", {{"AS400.EXAMPLE", 2000}}},
      {"LOCALHOST:1310", {{"LOCALHOST", 1310}}}, {"[::1]:7000", {{"::1", 7000}}},
      {"[::1]", {{"::1", 1310}}},                {"fe80::1", {{"fe80::1", 1310}}},
      {"host:0", {}},  {"host:65536", {}},  {"host:12x", {}},  {"host:", {}},  {":1310", {}},  {"", {}},
      {"[::1", {}},    {"my host", {}},     {"/tmp/store.qvs", {}},
  };
  for (const auto& [text, want] : cases) {
    const auto hp = ParseHostPort(text);
    EXPECT_EQ(hp ? Want({hp->host, hp->port}) : std::nullopt, want) << text;
  }
  EXPECT_EQ(ParseHostPort("127.0.0.1:0", kDefaultPort, true)->port, 0);
  EXPECT_EQ((HostPort{"::1", 1310}).ToString(), "[::1]:1310");
  EXPECT_EQ((HostPort{"10.0.0.5", 1310}).ToString(), "10.0.0.5:1310");
}

TEST(Address, TimeoutsAreSecondsWithDecimals) {
  const std::pair<const char*, std::optional<int>> cases[] = {
      {"5", 5000}, {"0.25", 250}, {"0", {}}, {"-1", {}}, {"5s", {}}, {"", {}}, {nullptr, {}}, {"100000", {}},
  };
  for (const auto& [text, ms] : cases) EXPECT_EQ(ParseTimeoutSeconds(text), ms) << (text ? text : "(null)");
  EXPECT_EQ(SecondsText(5000), "5 s");
  EXPECT_EQ(SecondsText(250), "0.25 s");
  EXPECT_EQ(SecondsText(1500), "1.5 s");
}

}  // namespace
}  // namespace qv::net
