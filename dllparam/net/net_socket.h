// TCP helpers of the network client and the source server: connecting and
// listening with timeouts, and reading and writing whole frames before a
// deadline. Every function reports failure through IoResult, never throws.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "dllparam/net/net_protocol.h"

namespace qv::net {

using Clock = std::chrono::steady_clock;

// Owns a file descriptor; closes it when it goes.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& o) noexcept : fd_(o.Release()) {}
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) {
      Reset();
      fd_ = o.Release();
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset();

 private:
  int fd_ = -1;
};

// Outcome of an I/O step.
struct IoResult {
  enum Status {
    Ok,
    TimedOut,  // the deadline passed
    Closed,    // the peer closed the connection (end of stream)
    Failed,    // a system error (err holds errno)
    Stopped,   // the stop descriptor became readable
    Refused,   // a frame broke the protocol (text says how)
  };
  Status status = Ok;
  int err = 0;
  std::string text;  // why, for a person ("connection reset by peer")

  bool ok() const { return status == Ok; }
  static IoResult Fail(Status s, int err, std::string text) { return {s, err, std::move(text)}; }
};

// Returns a deadline ms milliseconds from now (far away when ms <= 0).
Clock::time_point DeadlineIn(int ms);

// Formats milliseconds for a message: "5 s", "0.25 s", "90 s".
std::string SecondsText(int ms);

// Opens a TCP connection to where, trying each address the name resolves to,
// within timeoutMs. Sets TCP_NODELAY and close-on-exec.
IoResult ConnectTcp(const HostPort& where, int timeoutMs, Fd& out);

// Binds and listens on where (port 0: the system chooses). Reports the
// bound port in boundPort.
IoResult ListenTcp(const HostPort& where, int backlog, Fd& out, uint16_t& boundPort);

// Writes all of data before deadline (MSG_NOSIGNAL: a closed peer gives
// Failed with EPIPE, never a signal).
IoResult SendAll(int fd, std::string_view data, Clock::time_point deadline);

// Reads exactly n bytes into out before deadline. When stopFd >= 0 and
// becomes readable first, returns Stopped.
IoResult RecvExact(int fd, std::size_t n, std::string& out, Clock::time_point deadline, int stopFd = -1);

// Waits until fd has bytes to read (or its peer closed), stopFd becomes
// readable (Stopped) or the deadline passes (TimedOut).
IoResult WaitReadable(int fd, Clock::time_point deadline, int stopFd = -1);

// Reads one whole frame: waits for its first byte until firstByteDeadline,
// then reads the rest before restDeadline computed from restMs once the
// first byte came. A length outside the limits gives Refused without reading
// the body. TimedOut says in its text whether the frame had begun.
IoResult ReadFrame(int fd, Frame& frame, Clock::time_point firstByteDeadline, int restMs, int stopFd = -1,
                   uint32_t maxFrame = kMaxFrame);

// Returns the peer of a connected socket as "host:port".
std::string PeerName(int fd);

// Returns the host of a "host:port" peer name ("[::1]" for "[::1]:4242").
std::string PeerHost(std::string_view peer);

// Turns TCP keepalive on: the first probe after idleSeconds without traffic,
// then one every intervalSeconds; count unanswered probes drop the
// connection. Returns false when the system refused.
bool SetKeepAlive(int fd, int idleSeconds, int intervalSeconds, int count);

// Returns a short text for errno value err ("connection refused").
std::string ErrnoText(int err);

}  // namespace qv::net
