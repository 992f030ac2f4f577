// Implements the TCP helpers of the network client and the source server.
#include "dllparam/net/net_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <cstring>

namespace qv::net {

void Fd::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Stream::Stream(Stream&& o) noexcept : fd_(std::move(o.fd_)), ssl_(o.ssl_), borrowed_(o.borrowed_) {
  o.ssl_ = nullptr;
  o.borrowed_ = false;
}

Stream& Stream::operator=(Stream&& o) noexcept {
  if (this != &o) {
    Reset();
    fd_ = std::move(o.fd_);
    ssl_ = o.ssl_;
    borrowed_ = o.borrowed_;
    o.ssl_ = nullptr;
    o.borrowed_ = false;
  }
  return *this;
}

Stream Stream::Borrow(int fd) {
  Stream s{Fd(fd)};
  s.borrowed_ = true;
  return s;
}

void Stream::Reset() {
  if (ssl_) {
    SSL_free(ssl_);
    ssl_ = nullptr;
  }
  if (borrowed_) fd_.Release();
  borrowed_ = false;
  fd_.Reset();
}

void Stream::AttachTls(ssl_st* ssl) {
  if (ssl_) SSL_free(ssl_);
  ssl_ = ssl;
}

bool Stream::Buffered() const { return ssl_ && SSL_pending(ssl_) > 0; }

namespace {

// Maps the outcome of a TLS read or write that moved nothing.
Stream::Step TlsStep(SSL* ssl, int rc, IoResult& failure) {
  const int err = SSL_get_error(ssl, rc);
  switch (err) {
    case SSL_ERROR_WANT_READ: return Stream::Step::WantRead;
    case SSL_ERROR_WANT_WRITE: return Stream::Step::WantWrite;
    case SSL_ERROR_ZERO_RETURN: return Stream::Step::End;
    case SSL_ERROR_SYSCALL:
      if (errno == 0) return Stream::Step::End;
      failure = IoResult::Fail(IoResult::Failed, errno, ErrnoText(errno));
      return Stream::Step::Failed;
    default: {
      char buf[256] = "TLS failure";
      if (unsigned long e = ERR_get_error()) ERR_error_string_n(e, buf, sizeof buf);
      ERR_clear_error();
      failure = IoResult::Fail(IoResult::Failed, 0, std::string("TLS: ") + buf);
      return Stream::Step::Failed;
    }
  }
}

}  // namespace

Stream::Step Stream::ReadSome(char* data, std::size_t n, std::size_t& got, IoResult& failure) {
  got = 0;
  if (ssl_) {
    ERR_clear_error();
    errno = 0;
    const int rc = SSL_read_ex(ssl_, data, n, &got);
    return rc == 1 ? Step::Done : TlsStep(ssl_, rc, failure);
  }
  for (;;) {
    const ssize_t r = ::recv(fd_.get(), data, n, MSG_DONTWAIT);
    if (r > 0) {
      got = static_cast<std::size_t>(r);
      return Step::Done;
    }
    if (r == 0) return Step::End;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return Step::WantRead;
    failure = IoResult::Fail(IoResult::Failed, errno, ErrnoText(errno));
    return Step::Failed;
  }
}

Stream::Step Stream::Peek(IoResult& failure) {
  if (!ssl_) return Step::Done;
  ERR_clear_error();
  errno = 0;
  char c = 0;
  std::size_t got = 0;
  const int rc = SSL_peek_ex(ssl_, &c, 1, &got);
  return rc == 1 ? Step::Done : TlsStep(ssl_, rc, failure);
}

Stream::Step Stream::WriteSome(const char* data, std::size_t n, std::size_t& put, IoResult& failure) {
  put = 0;
  if (ssl_) {
    ERR_clear_error();
    errno = 0;
    const int rc = SSL_write_ex(ssl_, data, n, &put);
    if (rc == 1) return Step::Done;
    const Step step = TlsStep(ssl_, rc, failure);
    if (step == Step::End) failure = IoResult::Fail(IoResult::Failed, EPIPE, ErrnoText(EPIPE));
    return step == Step::End ? Step::Failed : step;
  }
  for (;;) {
    const ssize_t r = ::send(fd_.get(), data, n, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (r >= 0) {
      put = static_cast<std::size_t>(r);
      return Step::Done;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return Step::WantWrite;
    failure = IoResult::Fail(IoResult::Failed, errno, ErrnoText(errno));
    return Step::Failed;
  }
}

Clock::time_point DeadlineIn(int ms) {
  if (ms <= 0) return Clock::time_point::max();
  return Clock::now() + std::chrono::milliseconds(ms);
}

std::string SecondsText(int ms) {
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  std::string s = std::to_string(ms / 1000) + ".";
  std::string frac = std::to_string(1000 + ms % 1000).substr(1);
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  return s + frac + " s";
}

std::string ErrnoText(int err) {
  switch (err) {
    case ECONNREFUSED: return "connection refused";
    case ECONNRESET: return "connection reset by peer";
    case ETIMEDOUT: return "timed out";
    case EPIPE: return "connection closed by peer";
    case EHOSTUNREACH: return "host unreachable";
    case ENETUNREACH: return "network unreachable";
    case EADDRINUSE: return "address already in use";
    case EADDRNOTAVAIL: return "address not available";
    case EACCES: return "permission denied";
    default: {
      char buf[128];
      const char* s = strerror_r(err, buf, sizeof buf);
      return s;
    }
  }
}

namespace {

int PollTimeout(Clock::time_point deadline) {
  if (deadline == Clock::time_point::max()) return -1;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  // Rounds up so that a wait never ends just before the deadline and spins.
  return left > 1000 * 3600 ? 1000 * 3600 : static_cast<int>(left) + 1;
}

void SetCommonOptions(int fd) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

}  // namespace

IoResult WaitFor(int fd, short events, Clock::time_point deadline, int stopFd) {
  for (;;) {
    pollfd p[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    const int n = ::poll(p, stopFd >= 0 ? 2 : 1, PollTimeout(deadline));
    if (n < 0) {
      if (errno == EINTR) continue;
      return IoResult::Fail(IoResult::Failed, errno, ErrnoText(errno));
    }
    if (stopFd >= 0 && (p[1].revents & POLLIN)) return IoResult::Fail(IoResult::Stopped, 0, "stopping");
    if (p[0].revents) return {};
    if (Clock::now() >= deadline) return IoResult::Fail(IoResult::TimedOut, ETIMEDOUT, "timed out");
  }
}

IoResult WaitReadable(int fd, Clock::time_point deadline, int stopFd) {
  return WaitFor(fd, POLLIN, deadline, stopFd);
}

IoResult WaitReadable(Stream& stream, Clock::time_point deadline, int stopFd) {
  if (!stream.Secure()) return WaitFor(stream.get(), POLLIN, deadline, stopFd);
  for (;;) {
    if (stream.Buffered()) return {};
    IoResult w = WaitFor(stream.get(), POLLIN, deadline, stopFd);
    if (!w.ok()) return w;
    // Peeks through the TLS layer: records without data are taken and the
    // wait goes on.
    IoResult failure;
    switch (stream.Peek(failure)) {
      case Stream::Step::WantRead: if (stream.Buffered()) return {}; continue;
      case Stream::Step::WantWrite: continue;
      default: return {};  // data, the end or a failure: the read tells
    }
  }
}

IoResult ConnectTcp(const HostPort& where, int timeoutMs, Fd& out) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  const std::string port = std::to_string(where.port);
  const int rc = ::getaddrinfo(where.host.c_str(), port.c_str(), &hints, &list);
  if (rc != 0) {
    return IoResult::Fail(IoResult::Failed, rc == EAI_SYSTEM ? errno : 0,
                          "host " + where.host + " not found (" + gai_strerror(rc) + ")");
  }
  const auto deadline = DeadlineIn(timeoutMs);
  IoResult last = IoResult::Fail(IoResult::Failed, 0, "no address");
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    Fd fd(::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol));
    if (!fd.valid()) {
      last = IoResult::Fail(IoResult::Failed, errno, ErrnoText(errno));
      continue;
    }
    if (::connect(fd.get(), ai->ai_addr, ai->ai_addrlen) != 0) {
      if (errno != EINPROGRESS) {
        last = IoResult::Fail(IoResult::Failed, errno, ErrnoText(errno));
        continue;
      }
      IoResult w = WaitFor(fd.get(), POLLOUT, deadline, -1);
      if (!w.ok()) {
        last = w;
        if (w.status == IoResult::TimedOut) break;
        continue;
      }
      int err = 0;
      socklen_t len = sizeof err;
      ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &len);
      if (err != 0) {
        last = IoResult::Fail(IoResult::Failed, err, ErrnoText(err));
        continue;
      }
    }
    SetCommonOptions(fd.get());
    out = std::move(fd);
    ::freeaddrinfo(list);
    return {};
  }
  ::freeaddrinfo(list);
  return last;
}

IoResult ListenTcp(const HostPort& where, int backlog, Fd& out, uint16_t& boundPort) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* list = nullptr;
  const std::string port = std::to_string(where.port);
  const int rc = ::getaddrinfo(where.host.c_str(), port.c_str(), &hints, &list);
  if (rc != 0)
    return IoResult::Fail(IoResult::Failed, 0, "host " + where.host + " not found (" + gai_strerror(rc) + ")");
  IoResult last = IoResult::Fail(IoResult::Failed, 0, "no address");
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    Fd fd(::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol));
    if (!fd.valid()) {
      last = IoResult::Fail(IoResult::Failed, errno, ErrnoText(errno));
      continue;
    }
    int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd.get(), ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd.get(), backlog) != 0) {
      last = IoResult::Fail(IoResult::Failed, errno, ErrnoText(errno));
      continue;
    }
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&ss), &len);
    boundPort = ss.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port)
                                         : ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    out = std::move(fd);
    ::freeaddrinfo(list);
    return {};
  }
  ::freeaddrinfo(list);
  return last;
}

IoResult SendAll(Stream& stream, std::string_view data, Clock::time_point deadline) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    std::size_t put = 0;
    IoResult failure;
    const Stream::Step step = stream.WriteSome(data.data() + sent, data.size() - sent, put, failure);
    switch (step) {
      case Stream::Step::Done: sent += put; break;
      case Stream::Step::WantWrite:
      case Stream::Step::WantRead: {
        IoResult w = WaitFor(stream.get(), step == Stream::Step::WantRead ? POLLIN : POLLOUT, deadline, -1);
        if (!w.ok()) return w;
        break;
      }
      case Stream::Step::End: return IoResult::Fail(IoResult::Failed, EPIPE, ErrnoText(EPIPE));
      case Stream::Step::Failed: return failure;
    }
  }
  return {};
}

IoResult SendAll(int fd, std::string_view data, Clock::time_point deadline) {
  Stream s = Stream::Borrow(fd);
  return SendAll(s, data, deadline);
}

IoResult RecvExact(Stream& stream, std::size_t n, std::string& out, Clock::time_point deadline, int stopFd) {
  out.resize(n);
  std::size_t got = 0;
  while (got < n) {
    std::size_t step = 0;
    IoResult failure;
    switch (stream.ReadSome(out.data() + got, n - got, step, failure)) {
      case Stream::Step::Done: got += step; break;
      case Stream::Step::WantRead: {
        IoResult w = WaitFor(stream.get(), POLLIN, deadline, stopFd);
        if (!w.ok()) return w;
        break;
      }
      case Stream::Step::WantWrite: {
        IoResult w = WaitFor(stream.get(), POLLOUT, deadline, stopFd);
        if (!w.ok()) return w;
        break;
      }
      case Stream::Step::End: return IoResult::Fail(IoResult::Closed, 0, "the peer closed the connection");
      case Stream::Step::Failed: return failure;
    }
  }
  return {};
}

IoResult RecvExact(int fd, std::size_t n, std::string& out, Clock::time_point deadline, int stopFd) {
  Stream s = Stream::Borrow(fd);
  return RecvExact(s, n, out, deadline, stopFd);
}

IoResult ReadFrame(int fd, Frame& frame, Clock::time_point firstByteDeadline, int restMs, int stopFd,
                   uint32_t maxFrame) {
  Stream s = Stream::Borrow(fd);
  return ReadFrame(s, frame, firstByteDeadline, restMs, stopFd, maxFrame);
}

IoResult ReadFrame(Stream& stream, Frame& frame, Clock::time_point firstByteDeadline, int restMs, int stopFd,
                   uint32_t maxFrame) {
  IoResult w = WaitReadable(stream, firstByteDeadline, stopFd);
  if (!w.ok()) return w;
  const auto deadline = DeadlineIn(restMs);
  auto incomplete = [&](IoResult r) {
    if (r.status == IoResult::TimedOut) r.text = "the rest of a frame did not come within " + SecondsText(restMs);
    return r;
  };
  std::string head;
  IoResult r = RecvExact(stream, kLengthSize, head, deadline, stopFd);
  if (!r.ok()) return incomplete(r);
  uint32_t length = 0;
  try {
    length = DecodeLength(head, maxFrame);
  } catch (const ProtocolError& e) {
    return IoResult::Fail(IoResult::Refused, 0, e.what());
  }
  std::string body;
  r = RecvExact(stream, length, body, deadline, stopFd);
  if (!r.ok()) return incomplete(r);
  try {
    frame = DecodeBody(body);
  } catch (const ProtocolError& e) {
    return IoResult::Fail(IoResult::Refused, 0, e.what());
  }
  return {};
}

std::string PeerName(int fd) {
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return "?";
  char host[INET6_ADDRSTRLEN] = "?";
  uint16_t port = 0;
  if (ss.ss_family == AF_INET) {
    auto* a = reinterpret_cast<sockaddr_in*>(&ss);
    ::inet_ntop(AF_INET, &a->sin_addr, host, sizeof host);
    port = ntohs(a->sin_port);
    return std::string(host) + ":" + std::to_string(port);
  }
  if (ss.ss_family == AF_INET6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
    ::inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
    port = ntohs(a->sin6_port);
    return "[" + std::string(host) + "]:" + std::to_string(port);
  }
  return "?";
}

std::string PeerHost(std::string_view peer) {
  const std::size_t colon = peer.rfind(':');
  return std::string(colon == std::string_view::npos ? peer : peer.substr(0, colon));
}

bool SetKeepAlive(int fd, int idleSeconds, int intervalSeconds, int count) {
  const int on = 1;
  return ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
         ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds) == 0 &&
         ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds) == 0 &&
         ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count) == 0;
}

}  // namespace qv::net
