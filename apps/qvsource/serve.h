// The serve command of qvsource: serves one store to network clients.
#pragma once

#include <string>
#include <vector>

namespace qv::apps {

// Usage lines of the command, for the tool's help.
extern const char* const kServeUsage;

// Runs "qvsource serve PATH [--listen HOST:PORT] [--max-sessions N]
// [--idle-timeout SECONDS]" with the arguments after "serve". Returns the
// exit status: 0 stopped by SIGTERM or SIGINT, 1 the store or the address
// cannot be served, 2 usage.
int RunServe(const std::vector<std::string>& args);

}  // namespace qv::apps
