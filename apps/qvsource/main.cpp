// qvsource: creates and shows the store files that the embedded source serves.
//
//   qvsource init PATH --kind AS400|ODBC|SQLSERVER|ORACLE [--demo] [--force]
//                      [--computer-name NAME] [--instance NAME]
//   qvsource show PATH
//   qvsource serve PATH [--listen HOST:PORT] [--max-sessions N] [--idle-timeout SECONDS]
//
// Exit status: 0 done, 1 refused or failed (the reason on stderr), 2 usage.
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "dllparam/admin/store_admin.h"
#include "presentation/encoding.h"
#include "serve.h"

namespace {

using qv::embedded::CreateStoreOptions;
using qv::embedded::SourceKind;

constexpr const char* kUsage =
    "usage:\n"
    "  qvsource init PATH --kind AS400|ODBC|SQLSERVER|ORACLE [--demo] [--force]\n"
    "                     [--computer-name NAME] [--instance NAME]\n"
    "  qvsource show PATH\n"
    "  qvsource serve PATH [--listen HOST:PORT] [--max-sessions N] [--idle-timeout SECONDS]\n"
    "\n"
    "init creates a store of that kind; --demo adds a small topology whose global\n"
    "master user QVADMIN takes its password from QV_PASSWORD, else from a prompt on a\n"
    "terminal, else \"demo\". --force replaces an existing file.\n"
    "show prints what a store holds; serve serves it to network clients.\n";

int Usage(const std::string& problem) {
  std::cerr << "qvsource: " << problem << "\n" << kUsage;
  return 2;
}

// Reads a line from the terminal without echo.
std::optional<std::string> PromptHidden(const std::string& prompt) {
  std::cerr << prompt << std::flush;
  termios old{};
  bool restore = tcgetattr(STDIN_FILENO, &old) == 0;
  if (restore) {
    termios quiet = old;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string line;
  bool ok = static_cast<bool>(std::getline(std::cin, line));
  if (restore) tcsetattr(STDIN_FILENO, TCSANOW, &old);
  std::cerr << "\n";
  if (!ok) return std::nullopt;
  return line;
}

// Returns the master password in UTF-8: QV_PASSWORD, a prompt, or "demo".
std::string MasterPassword() {
  if (const char* env = std::getenv("QV_PASSWORD"); env && *env) return env;
  if (isatty(STDIN_FILENO)) {
    std::optional<std::string> typed = PromptHidden(std::string("Password of the master user ") +
                                                    qv::embedded::kDemoMasterUser + ": ");
    if (typed && !typed->empty()) return *typed;
    std::cerr << "qvsource: no password typed; the master user " << qv::embedded::kDemoMasterUser
              << " gets the password \"demo\"\n";
    return "demo";
  }
  std::cerr << "qvsource: neither QV_PASSWORD nor a terminal; the master user " << qv::embedded::kDemoMasterUser
            << " gets the password \"demo\"\n";
  return "demo";
}

int Init(const std::vector<std::string>& args) {
  std::optional<std::string> path;
  std::optional<SourceKind> kind;
  bool demo = false;
  CreateStoreOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* name) -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      (void)name;
      return args[++i];
    };
    if (a == "--kind") {
      std::optional<std::string> v = value("--kind");
      if (!v) return Usage("--kind needs a value");
      kind = qv::embedded::ParseKind(*v);
      if (!kind) return Usage("unknown kind \"" + *v + "\"");
    } else if (a == "--demo") {
      demo = true;
    } else if (a == "--force") {
      options.force = true;
    } else if (a == "--computer-name") {
      std::optional<std::string> v = value("--computer-name");
      if (!v || v->empty()) return Usage("--computer-name needs a value");
      options.computerName = qv::Utf8ToCp1252(*v);
    } else if (a == "--instance") {
      std::optional<std::string> v = value("--instance");
      if (!v) return Usage("--instance needs a value");
      options.instance = qv::Utf8ToCp1252(*v);
    } else if (a.rfind("--", 0) == 0) {
      return Usage("unknown option " + a);
    } else if (!path) {
      path = a;
    } else {
      return Usage("more than one path");
    }
  }
  if (!path) return Usage("init needs a PATH");
  if (!kind) return Usage("init needs --kind");
  options.kind = *kind;
  try {
    std::string password = demo ? qv::Utf8ToCp1252(MasterPassword()) : std::string();
    qv::embedded::CreateStore(*path, options);
    if (demo) {
      qv::embedded::StoreAdmin store(*path);
      qv::embedded::WriteDemoTopology(store, password);
    }
  } catch (const std::exception& e) {
    std::cerr << "qvsource: " << qv::Cp1252ToUtf8(e.what()) << "\n";
    return 1;
  }
  std::cout << "created " << *path << " (" << qv::embedded::KindName(*kind) << (demo ? ", demo topology" : "")
            << ")\n";
  return 0;
}

int Show(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].rfind("--", 0) == 0) return Usage("show needs exactly one PATH");
  try {
    std::cout << qv::Cp1252ToUtf8(qv::embedded::DescribeStore(args[0]));
  } catch (const std::exception& e) {
    std::cerr << "qvsource: " << qv::Cp1252ToUtf8(e.what()) << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("no command");
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "init") return Init(args);
  if (command == "show") return Show(args);
  if (command == "serve") return qv::apps::RunServe(args);
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return 0;
  }
  return Usage("unknown command " + command);
}
