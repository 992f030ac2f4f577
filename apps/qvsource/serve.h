// The serve command of qvsource: serves one store to network clients.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace qv::apps {

// What "qvsource serve" was given; an empty or zero member takes the server's default.
struct ServeArguments {
  std::string path;
  std::string listen;       // HOST:PORT
  int maxSessions = 0;      // 1 to 4096
  int maxPerAddress = -1;   // 0 (no limit) to 4096; -1: not given
  int idleTimeoutMs = -1;   // from --idle-timeout SECONDS; 0: no limit; -1: not given
  std::string usersFile;    // --users FILE: clients log in
  std::string certFile;     // --cert FILE and --key FILE: TLS
  std::string keyFile;
  bool insecure = false;    // --insecure: beyond loopback without TLS or users
};

// Adds "serve PATH [--listen HOST:PORT] [--max-sessions N] [--max-per-address
// N] [--idle-timeout SECONDS] [--users FILE] [--cert FILE --key FILE]
// [--insecure]" to the program's commands, its options read into args and
// checked as they are parsed.
CLI::App* AddServeCommand(CLI::App& app, ServeArguments& args);

// Serves the store until SIGTERM or SIGINT. Returns the exit status: 0
// stopped by a signal, 1 the store or the address cannot be served.
int RunServe(const ServeArguments& args);

}  // namespace qv::apps
