// The table command of qvsource: creates source tables in an NT store, whose
// columns and keys the embedded source's catalog services then describe.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace qv::apps {

struct TableArguments {
  std::string store;        // STORE
  std::string description;  // DESCRIPTION: a file, or "-" for stdin
};

// Adds "table add STORE DESCRIPTION" to the program's commands; returns the
// "add" command.
CLI::App* AddTableCommand(CLI::App& app, TableArguments& args);

// Runs "table add". Returns the exit status: 0 done, 1 refused or failed.
int RunTableAdd(const TableArguments& args);

}  // namespace qv::apps
