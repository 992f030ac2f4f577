// Helpers of the network tests: a source server on a free loopback port run
// by a thread of the test, and raw sockets that speak (or break) the
// protocol by hand.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dllparam/net/net_client.h"
#include "dllparam/net/net_server.h"
#include "support/lib_client.h"

namespace qv::net::test {

// A source server on 127.0.0.1 and a free port (or the address the options
// name, when they name one), run by a thread until the object goes. Its log
// lines are kept for the test.
class ServerThread {
 public:
  ServerThread(ServerOptions options, DllParam& shared) { Init(std::move(options), &shared, {}); }
  ServerThread(ServerOptions options, SourceServer::Factory factory) {
    Init(std::move(options), nullptr, std::move(factory));
  }
  ~ServerThread() { Stop(); }

  // Stops the server and waits for it (every session ended).
  void Stop() {
    if (thread_.joinable()) {
      server_->Stop();
      thread_.join();
    }
  }
  SourceServer& server() { return *server_; }
  uint16_t port() const { return server_->Port(); }
  std::string address() const { return "127.0.0.1:" + std::to_string(server_->Port()); }
  std::vector<std::string> Logs() {
    std::lock_guard<std::mutex> lock(*logMutex_);
    return *logs_;
  }
  // Tells whether some log line contains text.
  bool Logged(const std::string& text) {
    for (const std::string& line : Logs())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }

 private:
  void Init(ServerOptions options, DllParam* shared, SourceServer::Factory factory) {
    if (options.listen == kDefaultListen) options.listen = "127.0.0.1:0";
    auto logs = logs_;
    auto mutex = logMutex_;
    options.log = [logs, mutex](const std::string& line) {
      std::lock_guard<std::mutex> lock(*mutex);
      logs->push_back(line);
    };
    server_ = shared ? std::make_unique<SourceServer>(std::move(options), *shared)
                     : std::make_unique<SourceServer>(std::move(options), std::move(factory));
    std::string error;
    if (!server_->Start(&error)) {
      ADD_FAILURE() << error;
      return;
    }
    thread_ = std::thread([this] { server_->Run(); });
  }

  std::shared_ptr<std::vector<std::string>> logs_ = std::make_shared<std::vector<std::string>>();
  std::shared_ptr<std::mutex> logMutex_ = std::make_shared<std::mutex>();
  std::unique_ptr<SourceServer> server_;
  std::thread thread_;
};

// Server options that serve storeAddress to at most maxSessions clients.
inline ServerOptions StoreOptions(std::string storeAddress, std::size_t maxSessions = 64) {
  ServerOptions o;
  o.storeAddress = std::move(storeAddress);
  o.maxSessions = maxSessions;
  return o;
}

// Client options for tests: short timeouts so that a failing test ends soon.
inline ClientOptions TestClientOptions(int callMs = 10000) {
  ClientOptions o;
  o.connectTimeoutMs = 5000;
  o.callTimeoutMs = callMs;
  o.pingTimeoutMs = 5000;
  o.clientName = "net test";
  return o;
}

// Returns a loopback port where nothing listens (bound, then released).
inline uint16_t FreePort() {
  Fd fd;
  uint16_t port = 0;
  ListenTcp(HostPort{"127.0.0.1", 0}, 1, fd, port);
  return port;
}

// A raw TCP connection to a server, for sending bytes by hand.
class RawPeer {
 public:
  explicit RawPeer(uint16_t port) {
    IoResult r = ConnectTcp(HostPort{"127.0.0.1", port}, 5000, fd_);
    EXPECT_TRUE(r.ok()) << r.text;
  }
  bool Send(std::string_view bytes) { return SendAll(fd_.get(), bytes, DeadlineIn(5000)).ok(); }
  bool SendFrame(FrameKind kind, uint32_t seq, const std::string& payload) {
    return Send(EncodeFrame(kind, seq, payload));
  }
  // Reads the next frame (Ok), or tells that the server closed (Closed).
  IoResult Read(Frame& frame, int ms = 10000) { return ReadFrame(fd_.get(), frame, DeadlineIn(ms), ms); }
  // Sends a hello and expects the welcome.
  void Handshake() {
    ASSERT_TRUE(SendFrame(FrameKind::Hello, 1, EncodeHello(Hello{1, 1, "raw peer"})));
    Frame f;
    ASSERT_TRUE(Read(f).ok());
    ASSERT_EQ(f.kind, FrameKind::Welcome);
  }
  // Reads until the server closes; returns the fault text if one came first.
  std::string ReadFaultThenClose() {
    std::string text;
    for (int i = 0; i < 4; ++i) {
      Frame f;
      IoResult r = Read(f);
      if (!r.ok()) return text;
      if (f.kind == FrameKind::Fault) text = DecodeFault(f.payload).text;
    }
    ADD_FAILURE() << "the server kept the connection open";
    return text;
  }
  int fd() const { return fd_.get(); }

 private:
  Fd fd_;
};

// The error helpers of the record-access client, for the network tests.
using qv::test::ErrorOf;
inline int32_t ErrorCode(DllParam& lib) { return qv::test::LastError(lib).code; }

}  // namespace qv::net::test
