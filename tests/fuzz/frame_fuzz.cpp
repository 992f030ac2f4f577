// Fuzz target of the source server's frame decoder: the input is a byte
// stream as a peer would send it. It is cut into frames, and each frame's
// payload is decoded as its kind says; a call or reply that decodes must
// encode back to something that decodes to the same message. The input is
// also decoded directly as each kind of payload.
//
// Built with -fsanitize=fuzzer (QV_FUZZ, scripts/fuzz) it is a libFuzzer
// target. Built plainly it replays files and folders given on the command
// line (ctest runs it over tests/fuzz/corpus), and "--write-seeds DIR"
// writes the seed corpus.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "dllparam/net/net_protocol.h"

namespace {

using namespace qv::net;

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "frame_fuzz: %s\n", what);
  std::abort();
}

void CheckCall(const std::string& payload) {
  Call c;
  try {
    c = DecodeCall(payload);
  } catch (const ProtocolError&) {
    return;
  }
  if (DecodeCall(EncodeCall(c)) != c) Broken("a call does not survive encode and decode");
}

void CheckReply(const std::string& payload) {
  Reply r;
  try {
    r = DecodeReply(payload);
  } catch (const ProtocolError&) {
    return;
  }
  if (DecodeReply(EncodeReply(r)) != r) Broken("a reply does not survive encode and decode");
}

template <typename Fn>
void Quietly(Fn fn) {
  try {
    fn();
  } catch (const ProtocolError&) {
  }
}

void DecodeAsEveryKind(const std::string& payload) {
  CheckCall(payload);
  CheckReply(payload);
  Quietly([&] { DecodeHello(payload); });
  Quietly([&] { DecodeWelcome(payload); });
  Quietly([&] { DecodeFault(payload); });
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
  DecodeAsEveryKind(bytes);
  return 0;
}

#ifndef QV_LIBFUZZER

namespace {

// Writes one seed per operation (a hello then a call of it, and its reply),
// the handshake answers and a few broken streams.
int WriteSeeds(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
  };
  const std::string hello = EncodeFrame(FrameKind::Hello, 1, EncodeHello(Hello{1, 1, "seed"}));
  for (const OpInfo& info : AllOps()) {
    Call c{info.op, {}};
    Reply r{info.op, 1, 0, 0, "", {}};
    for (Arg a : info.args) {
      Value v;
      if (IsBytes(a)) v.bytes = std::string("QV_EX\0", 6) + std::string(40, ' ');
      else v.number = IsHandle(a) ? 3 : 216;
      if (IsReturned(a)) r.outs.push_back(v);
      c.args.push_back(std::move(v));
    }
    write(std::string("call_") + info.name, hello + EncodeFrame(FrameKind::Call, 2, EncodeCall(c)));
    write(std::string("reply_") + info.name, EncodeFrame(FrameKind::Reply, 2, EncodeReply(r)));
  }
  write("welcome", EncodeFrame(FrameKind::Welcome, 1, EncodeWelcome(Welcome{1, kMaxFrame, "qvsource"})));
  write("fault", EncodeFrame(FrameKind::Fault, 0, EncodeFault(Fault{2, 0, "source server is shutting down"})));
  write("refusal", EncodeFrame(FrameKind::Reply, 3, EncodeReply(Reply{static_cast<Op>(200), 0, 3, 0, "no", {}})));
  write("oversized", std::string("\x7F\xFF\xFF\xFF\x04", 5));
  write("short_length", std::string("\x00\x00\x00\x02\x04\x00", 6));
  write("head_over_size", hello + EncodeFrame(FrameKind::Call, 2, std::string("\x11\x00\x00\x00\x09\x00\x00\x00\x0A", 9)));
  std::cout << "seeds written to " << dir.string() << "\n";
  return 0;
}

int Replay(const std::filesystem::path& path, int& count) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "frame_fuzz: cannot read " << path.string() << "\n";
    return 1;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  ++count;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write-seeds") return WriteSeeds(argv[2]);
  if (argc < 2) {
    std::cerr << "usage: frame_fuzz_replay FILE|DIR...\n       frame_fuzz_replay --write-seeds DIR\n";
    return 2;
  }
  int count = 0, failed = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      for (const auto& entry : std::filesystem::directory_iterator(p))
        if (entry.is_regular_file()) failed += Replay(entry.path(), count);
    } else {
      failed += Replay(p, count);
    }
  }
  std::cout << "replayed " << count << " inputs\n";
  return failed || count == 0 ? 1 : 0;
}

#endif
