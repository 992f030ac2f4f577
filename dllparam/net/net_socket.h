// TCP helpers of the network client and the source server: connecting and
// listening with timeouts, and reading and writing whole frames before a
// deadline over a Stream, plain or TLS alike. Every function reports failure
// through IoResult, never throws.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "dllparam/net/net_protocol.h"

struct ssl_st;

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
    Answered,  // the peer refused with a fault of its own (text is its text)
  };
  Status status = Ok;
  int err = 0;
  std::string text;  // why, for a person ("connection reset by peer")

  bool ok() const { return status == Ok; }
  static IoResult Fail(Status s, int err, std::string text) { return {s, err, std::move(text)}; }
};

// A connected socket that carries the frames, plain or (once a TlsContext
// ran its handshake on it) TLS. Owns the socket and the TLS state; closes
// both when it goes. The I/O functions below read and write through it, so
// that the frames are the same on both kinds.
class Stream {
 public:
  Stream() = default;
  explicit Stream(Fd fd) : fd_(std::move(fd)) {}
  ~Stream() { Reset(); }
  Stream(Stream&& o) noexcept;
  Stream& operator=(Stream&& o) noexcept;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  // Returns a plain stream over fd that leaves fd open when it goes.
  static Stream Borrow(int fd);

  int get() const { return fd_.get(); }
  bool valid() const { return fd_.valid(); }
  // Tells whether the stream runs TLS.
  bool Secure() const { return ssl_ != nullptr; }
  // Drops the TLS state and closes the socket.
  void Reset();

  // Outcome of one read or write that does not wait.
  enum class Step { Done, WantRead, WantWrite, End, Failed };
  // Reads up to n bytes into data (got: how many).
  Step ReadSome(char* data, std::size_t n, std::size_t& got, IoResult& failure);
  // Writes up to n bytes of data (put: how many).
  Step WriteSome(const char* data, std::size_t n, std::size_t& put, IoResult& failure);
  // Takes what the TLS layer has received without taking data: Done when
  // data waits, WantRead when none came yet.
  Step Peek(IoResult& failure);
  // Tells whether decrypted bytes wait in the TLS layer.
  bool Buffered() const;

  // Takes the TLS state of a finished handshake (TlsContext only).
  void AttachTls(ssl_st* ssl);

 private:
  Fd fd_;
  ssl_st* ssl_ = nullptr;
  bool borrowed_ = false;
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

// Waits until fd has the events of poll (POLLIN, POLLOUT), stopFd becomes
// readable (Stopped) or the deadline passes (TimedOut).
IoResult WaitFor(int fd, short events, Clock::time_point deadline, int stopFd = -1);

// Writes all of data before deadline (a closed peer gives Failed with EPIPE,
// never a signal).
IoResult SendAll(Stream& stream, std::string_view data, Clock::time_point deadline);
IoResult SendAll(int fd, std::string_view data, Clock::time_point deadline);

// Reads exactly n bytes into out before deadline. When stopFd >= 0 and
// becomes readable first, returns Stopped.
IoResult RecvExact(Stream& stream, std::size_t n, std::string& out, Clock::time_point deadline, int stopFd = -1);
IoResult RecvExact(int fd, std::size_t n, std::string& out, Clock::time_point deadline, int stopFd = -1);

// Waits until the stream has bytes to read (or its peer closed), stopFd
// becomes readable (Stopped) or the deadline passes (TimedOut). Bytes of the
// TLS layer that carry no data (session tickets) do not count.
IoResult WaitReadable(Stream& stream, Clock::time_point deadline, int stopFd = -1);
IoResult WaitReadable(int fd, Clock::time_point deadline, int stopFd = -1);

// Reads one whole frame: waits for its first byte until firstByteDeadline,
// then reads the rest before restDeadline computed from restMs once the
// first byte came. A length outside the limits gives Refused without reading
// the body. TimedOut says in its text whether the frame had begun.
IoResult ReadFrame(Stream& stream, Frame& frame, Clock::time_point firstByteDeadline, int restMs, int stopFd = -1,
                   uint32_t maxFrame = kMaxFrame);
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
