// Fuzz target of the source server's frame decoder: the input is a byte
// stream as a peer would send it. It is cut into frames, and each frame's
// payload is decoded as its kind says; a call or reply that decodes must
// encode back to something that decodes to the same message. The input is
// also decoded directly as each kind of payload.
//
// Built with -fsanitize=fuzzer (QV_FUZZ, scripts/fuzz) it is a libFuzzer
// target; built plainly with replay_main.cpp it replays files and folders
// (ctest runs it over tests/fuzz/corpus).
#include <cstdint>
#include <optional>
#include <string>

#include "dllparam/net/net_protocol.h"
#include "fuzz_check.h"

namespace {

using namespace qv::net;

// Checks that a payload that decodes as a message encodes back to bytes
// that decode to the same message.
template <typename Decode, typename Encode>
void CheckRoundTrip(const std::string& payload, Decode decode, Encode encode) {
  std::optional<decltype(decode(payload))> message;
  try {
    message = decode(payload);
  } catch (const ProtocolError&) {
    return;
  }
  FUZZ_CHECK(decode(encode(*message)) == *message);
}

void CheckCall(const std::string& payload) {
  CheckRoundTrip(payload, [](const std::string& p) { return DecodeCall(p); }, EncodeCall);
}

void CheckReply(const std::string& payload) {
  CheckRoundTrip(payload, [](const std::string& p) { return DecodeReply(p); }, EncodeReply);
}

template <typename Fn>
void Quietly(Fn fn) {
  try {
    fn();
  } catch (const ProtocolError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    FrameReader reader;
    // Feeds in two pieces, as a stream arrives.
    reader.Feed(std::string_view(bytes).substr(0, size / 2));
    while (reader.Next()) {
    }
    reader.Feed(std::string_view(bytes).substr(size / 2));
    FrameReader whole;
    whole.Feed(bytes);
    while (auto frame = whole.Next()) {
      switch (frame->kind) {
        case FrameKind::Call: CheckCall(frame->payload); break;
        case FrameKind::Reply: CheckReply(frame->payload); break;
        case FrameKind::Hello: Quietly([&] { DecodeHello(frame->payload); }); break;
        case FrameKind::Welcome: Quietly([&] { DecodeWelcome(frame->payload); }); break;
        case FrameKind::Fault: Quietly([&] { DecodeFault(frame->payload); }); break;
      }
    }
  } catch (const ProtocolError&) {
  }
  CheckCall(bytes);
  CheckReply(bytes);
  Quietly([&] { DecodeHello(bytes); });
  Quietly([&] { DecodeWelcome(bytes); });
  Quietly([&] { DecodeFault(bytes); });
  return 0;
}
