// qvmgr console: serves the web console on one address until interrupted.
#pragma once

#include <string>

#include "qvmgr/commands.h"

namespace qv::cli {

struct ConsoleOptions {
  std::string listen = "127.0.0.1:8131";  // HOST:PORT; port 0 takes a free one
  std::string store;                      // a store file to serve instead of --source
  bool demo = false;                      // serve a fresh demo store
  std::string dir;                        // folder of the demo store (a new temporary one when empty)
};

// Splits HOST:PORT ("[::1]:8131" too). Throws UsageError for a port that is
// not a number from 0 to 65535.
void ParseListen(const std::string& listen, std::string& host, int& port);

// Tells whether host names this machine only: localhost, ::1 or an
// address 127.N.N.N.
bool IsLoopback(const std::string& host);

// Describes DEMOLIB/ORDERS and DEMOLIB/ADDRESS in the file catalog of the
// AS/400 store at path, so that the console can add them to a model.
void WriteDemoCatalog(const std::string& path);

// Serves until SIGINT or SIGTERM; 1 when the address cannot be bound or the
// demo store not made.
int Console(Context& ctx, const ConsoleOptions& options);

}  // namespace qv::cli
