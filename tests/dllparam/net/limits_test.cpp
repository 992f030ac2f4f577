// The limits of the source server: sessions per client address, a busy fault
// for every refused client however many come at once, keepalive, and output
// buffers bounded by what each operation can return.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "net_test.h"
#include "support/recording_fake.h"

namespace qv::net::test {
namespace {

using qv::test::RecordingFake;

ServerOptions Options(std::size_t maxSessions, std::size_t maxPerAddress) {
  ServerOptions o = StoreOptions("FAKE", maxSessions);
  o.maxPerAddress = maxPerAddress;
  return o;
}

TEST(ServerLimits, OneAddressGetsAtMostItsShareOfTheSessions) {
  RecordingFake fake;
  ServerThread server(Options(64, 2), fake);
  NetClient a(TestClientOptions()), b(TestClientOptions()), c(TestClientOptions());
  const int32_t first = Open(a, server.address());
  ASSERT_NE(first, 0) << ErrorOf(a);
  ASSERT_NE(Open(b, server.address()), 0) << ErrorOf(b);
  EXPECT_EQ(Open(c, server.address()), 0);
  EXPECT_EQ(ErrorOf(c), "network 0 source server " + server.address() +
                            ": source server busy: 2 sessions already served to 127.0.0.1");
  // A place freed by one client of the address goes to the next.
  ASSERT_NE(a.CloseMConnection(first), 0);
  bool opened = false;
  for (int i = 0; i < 200 && !opened; ++i) {
    opened = Open(c, server.address()) != 0;
    if (!opened) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(opened) << ErrorOf(c);
}

TEST(ServerLimits, EveryRefusedClientReadsTheBusyFaultEvenInACrowd) {
  RecordingFake fake;
  ServerThread server(Options(1, 0), fake);
  RawPeer holder(server.port());
  holder.Handshake();
  // Far more refusals at once than a server would take threads for.
  std::vector<std::unique_ptr<RawPeer>> crowd;
  for (int i = 0; i < 60; ++i) {
    crowd.push_back(std::make_unique<RawPeer>(server.port()));
    crowd.back()->SendFrame(FrameKind::Hello, 1, EncodeHello(Hello{1, 1, "crowd"}));
  }
  int faults = 0;
  for (auto& peer : crowd) {
    Frame f;
    const IoResult r = peer->Read(f, 5000);
    ASSERT_TRUE(r.ok()) << "client " << faults << ": " << r.text;
    ASSERT_EQ(f.kind, FrameKind::Fault);
    const Fault fault = DecodeFault(f.payload);
    EXPECT_EQ(fault.code, DllParam::kCodeBusy);
    EXPECT_EQ(fault.text, "source server busy: 1 sessions already served");
    ++faults;
  }
  EXPECT_EQ(faults, 60);
  EXPECT_EQ(server.server().SessionsServed(), 1u);
  EXPECT_TRUE(server.Logged("refused 127.0.0.1:"));
}

// Returns the descriptor, in this process, of the server's end of the
// connection of peer (-1 when there is none).
int ServerEndOf(const RawPeer& peer) {
  sockaddr_storage local{};
  socklen_t len = sizeof local;
  ::getsockname(peer.fd(), reinterpret_cast<sockaddr*>(&local), &len);
  const auto* in = reinterpret_cast<const sockaddr_in*>(&local);
  const std::string me = "127.0.0.1:" + std::to_string(ntohs(in->sin_port));
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    const int fd = std::stoi(entry.path().filename().string());
    if (fd != peer.fd() && PeerName(fd) == me) return fd;
  }
  return -1;
}

TEST(ServerLimits, SessionsHaveKeepaliveUnlessItIsTurnedOff) {
  for (bool keepAlive : {true, false}) {
    RecordingFake fake;
    ServerOptions options = Options(4, 4);
    options.keepAlive = keepAlive;
    ServerThread server(options, fake);
    RawPeer peer(server.port());
    peer.Handshake();
    const int fd = ServerEndOf(peer);
    ASSERT_GE(fd, 0);
    int on = -1, idle = -1;
    socklen_t size = sizeof on;
    ASSERT_EQ(::getsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, &size), 0);
    EXPECT_EQ(on != 0, keepAlive);
    size = sizeof idle;
    ASSERT_EQ(::getsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, &size), 0);
    if (keepAlive) {
      EXPECT_EQ(idle, kKeepAliveIdleS);
    }
  }
}

TEST(ServerLimits, AnOutputBufferBeyondWhatTheOperationReturnsIsRefusedAndTheSessionGoesOn) {
  RecordingFake fake;
  ServerThread server(Options(4, 4), fake);
  NetClient client(TestClientOptions());
  ASSERT_NE(Open(client, server.address()), 0) << ErrorOf(client);
  struct Case {
    const char* op;
    std::size_t size;
    bool served;
  };
  const Case cases[] = {
      {"GetComputerName", 4096, true},
      {"GetComputerName", 4097, false},
      {"GetComputerName", 16u << 20, false},
      {"GetDSNsAndDrivers", 32768, true},
      {"GetDSNsAndDrivers", 16u << 20, false},
  };
  for (const Case& c : cases) {
    std::string buffer(c.size, ' ');
    int32_t len = 0;
    const int32_t result = std::string(c.op) == "GetComputerName"
                               ? client.GetComputerName(buffer)
                               : client.GetDSNsAndDrivers(buffer, len, DllParam::kFirstCall);
    const std::string error = ErrorOf(client);
    if (c.served) {
      EXPECT_EQ(error.find("refused the call"), std::string::npos) << c.op << " " << c.size << ": " << error;
      continue;
    }
    EXPECT_EQ(result, 0) << c.op << " " << c.size;
    EXPECT_EQ(error.rfind("bad-call 0 source server refused the call: " + std::string(c.op) + " fills at most ", 0), 0u)
        << error;
    EXPECT_EQ(buffer, std::string(c.size, ' ')) << "the caller's buffer is left as it was";
  }
  EXPECT_NE(client.PingPong(), 0) << ErrorOf(client);
  EXPECT_TRUE(server.Logged("refused: GetComputerName fills at most 4096 bytes; a buffer of 16777216 bytes is refused"));
}

}  // namespace
}  // namespace qv::net::test
