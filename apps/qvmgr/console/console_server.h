// The web console: one page and a small JSON API over HTTP that let a
// browser manage a source the way the management screen does. Every login
// opens a control of its own with the library's login; every use of the
// library is serialised, since a control serves one thread at a time.
//
//   ConsoleServer server(config);
//   int port = server.Bind("127.0.0.1", 0);   // 0 takes a free port
//   std::thread t([&] { server.Run(); });
//   ...
//   server.Stop();
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace qv::cli {

// The source the console serves, in Windows-1252 as the library takes it.
struct ConsoleConfig {
  std::string address;   // file:PATH or HOST[:PORT]
  std::string type;      // "AS400", "ODBC", "SQL Server", "Oracle"; "" for the control's default
  std::string instance;  // engine instance
  std::string env;       // environment the login form offers
  std::string label;     // how the page names the source (UTF-8)
  std::string user;      // user the login form offers (UTF-8)
  // A session unused this long (platform clock seconds) is logged out.
  double idleSeconds = 8 * 3600;
  // Sessions kept at once: a login beyond them logs out the one unused longest.
  std::size_t maxSessions = 32;
  // Failed logins allowed within failWindowSeconds: beyond them a login is
  // refused (429) without asking the source until the oldest one is that old.
  std::size_t maxFailedLogins = 5;
  double failWindowSeconds = 60;
  // Messages of the queue a session keeps for the page; older ones go.
  std::size_t maxMessages = 2000;
};

class ConsoleServer {
 public:
  explicit ConsoleServer(ConsoleConfig config);
  ~ConsoleServer();
  ConsoleServer(const ConsoleServer&) = delete;
  ConsoleServer& operator=(const ConsoleServer&) = delete;

  // Binds host:port (port 0 takes a free one). Returns the port bound, or
  // -1 when the address cannot be bound.
  int Bind(const std::string& host, int port);
  // Serves requests until Stop; false when nothing was bound.
  bool Run();
  // Stops serving and closes every session's connection.
  void Stop();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The page the console serves: its HTML, style sheet and script, built into
// the program.
struct ConsoleAsset {
  const char* path;  // "/", "/console.css", "/console.js"
  const char* type;  // media type ("text/html")
  const unsigned char* data;
  unsigned long size;
};
const ConsoleAsset* ConsoleAssets(int& count);

}  // namespace qv::cli
