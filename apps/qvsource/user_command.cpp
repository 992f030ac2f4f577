// Implements "qvsource user": adds, removes and lists the users who may log
// in to "qvsource serve". Passwords are read without echo from a terminal, or
// as one line from stdin, and only their hashes reach the file.
#include "user_command.h"

#include <unistd.h>

#include <iostream>
#include <optional>

#include <CLI/CLI.hpp>

#include "dllparam/net/net_users.h"
#include "platform/encoding.h"
#include "platform/prompt.h"

namespace qv::apps {

namespace {

// Returns text in the library's single-byte text, or nothing (and says why)
// when it holds a character that has none there.
std::optional<std::string> To1252(const std::string& utf8, const std::string& what) {
  std::string out;
  std::size_t at = 0;
  if (Utf8ToCp1252Exact(utf8, out, at)) return out;
  std::cerr << "qvsource user: the " << what << " holds a character that Windows-1252 does not have (byte " << at + 1
            << ")\n";
  return std::nullopt;
}

// Reads the new password: twice on a terminal, once from other input.
std::optional<std::string> NewPassword(const std::string& name) {
  std::optional<std::string> typed = platform::ReadSecret("Password of " + name + ": ");
  if (!typed || typed->empty()) {
    std::cerr << "qvsource user: no password given\n";
    return std::nullopt;
  }
  if (isatty(STDIN_FILENO)) {
    std::optional<std::string> again = platform::ReadSecret("Password of " + name + " again: ");
    if (!again || *again != *typed) {
      std::cerr << "qvsource user: the two passwords differ\n";
      return std::nullopt;
    }
  }
  return To1252(*typed, "password");
}

}  // namespace

UserCommands AddUserCommand(CLI::App& app, UserArguments& args) {
  CLI::App* user = app.add_subcommand("user", "manage who may log in to qvsource serve --users FILE");
  user->require_subcommand(1);
  user->footer(
      "The users file holds one line per user with a salted PBKDF2-HMAC-SHA256 hash of\n"
      "the password, never the password; it is written with mode 0600. add asks for the\n"
      "password (twice) on a terminal, or reads it as one line from stdin.");
  UserCommands c;
  c.add = user->add_subcommand("add", "add a user, or give a user a new password");
  c.remove = user->add_subcommand("remove", "remove a user");
  c.list = user->add_subcommand("list", "list the users");
  for (CLI::App* sub : {c.add, c.remove, c.list})
    sub->add_option("--users", args.usersFile, "the users file")->required()->type_name("FILE");
  for (CLI::App* sub : {c.add, c.remove})
    sub->add_option("NAME", args.name, "the user's name, as the client logs in")->required()->type_name("");
  return c;
}

int RunUser(const UserCommands& commands, const UserArguments& args) {
  try {
    const bool listing = commands.list->parsed();
    net::UserFile users = net::UserFile::Load(args.usersFile, /*mayBeMissing=*/commands.add->parsed());
    if (listing) {
      for (const std::string& name : users.Names()) std::cout << Cp1252ToUtf8(name) << "\n";
      return 0;
    }
    std::optional<std::string> name = To1252(args.name, "name");
    if (!name) return 1;
    if (commands.remove->parsed()) {
      if (!users.Remove(*name)) {
        std::cerr << "qvsource user: no user " << args.name << " in " << args.usersFile << "\n";
        return 1;
      }
      users.Save(args.usersFile);
      std::cout << "removed " << args.name << "\n";
      return 0;
    }
    const bool known = users.Has(*name);
    std::optional<std::string> password = NewPassword(args.name);
    if (!password) return 1;
    users.Set(*name, *password);
    users.Save(args.usersFile);
    std::cout << (known ? "changed the password of " : "added ") << args.name << "\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "qvsource user: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace qv::apps
