// The user command of qvsource: manages the users file of "qvsource serve".
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace qv::apps {

struct UserArguments {
  std::string usersFile;  // --users FILE
  std::string name;       // NAME, in UTF-8 as typed
};

struct UserCommands {
  CLI::App* add = nullptr;
  CLI::App* remove = nullptr;
  CLI::App* list = nullptr;
};

// Adds "user add|remove|list --users FILE [NAME]" to the program's commands.
UserCommands AddUserCommand(CLI::App& app, UserArguments& args);

// Runs the user command that was parsed. Returns the exit status: 0 done,
// 1 refused or failed.
int RunUser(const UserCommands& commands, const UserArguments& args);

}  // namespace qv::apps
