// qvsource: creates and shows the store files that the embedded source serves,
// and serves them to network clients.
//
//   qvsource init PATH --kind AS400|ODBC|SQLSERVER|ORACLE [--demo] [--force]
//                      [--computer-name NAME] [--instance NAME]
//   qvsource init odbc:CONNECTION-STRING --kind ODBC [--demo] [--force]
//   qvsource show PATH
//   qvsource serve PATH [--listen HOST:PORT] [--max-sessions N] [--max-per-address N]
//                       [--idle-timeout SECONDS] [--users FILE] [--cert FILE --key FILE] [--insecure]
//   qvsource user add|remove NAME --users FILE
//   qvsource user list --users FILE
//   qvsource file add STORE DESCRIPTION-FILE
//   qvsource table add STORE DESCRIPTION
//
// Exit status: 0 done, 1 refused or failed (the reason on stderr), 2 usage.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "common/command_line.h"
#include "dllparam/admin/store_admin.h"
#include "dllparam/odbc/odbc_source.h"
#include "dllparam/odbc/odbc_store.h"
#include "platform/encoding.h"
#include "platform/prompt.h"
#include "file_command.h"
#include "serve.h"
#include "table_command.h"
#include "user_command.h"

namespace {

using qv::embedded::CreateStoreOptions;
using qv::embedded::SourceKind;

constexpr const char* kExitStatus = R"(Exit status:
  0  done
  1  refused or failed: the reason on stderr
  2  the command line is wrong: the message says what, --help says how)";

constexpr const char* kInitNotes = R"(--demo adds a small topology whose global master user QVADMIN takes its
password from QV_PASSWORD, else from a prompt on a terminal, else "demo".
--force replaces an existing file.
PATH "odbc:" + an ODBC connection string ("odbc:DSN=QVSTORE") creates the
configuration tables of a plain ODBC source (--kind ODBC) in that database;
--force then drops the store tables it already has. The database login is
the string's UID and PWD, else QV_ODBC_UID and QV_ODBC_PWD.)";

// Returns the master password in UTF-8: QV_PASSWORD, a prompt, or "demo".
std::string MasterPassword() {
  if (const char* env = std::getenv("QV_PASSWORD"); env && *env) return env;
  if (isatty(STDIN_FILENO)) {
    std::optional<std::string> typed = qv::platform::ReadSecret(std::string("Password of the master user ") +
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

struct InitArguments {
  std::string path;
  SourceKind kind = SourceKind::AS400;
  bool demo = false;
  CreateStoreOptions options;
};

int Init(InitArguments& args) {
  args.options.kind = args.kind;
  const bool odbc = qv::odbc::ConnectStringOfAddress(args.path).has_value();
  if (odbc && args.kind != SourceKind::ODBC) {
    std::cerr << "qvsource: an ODBC data source holds the store of a plain ODBC source: use --kind ODBC\n";
    return 1;
  }
  try {
    std::string password = args.demo ? qv::Utf8ToCp1252(MasterPassword()) : std::string();
    if (odbc) {
      qv::odbc::OdbcStoreOptions options;
      options.demo = args.demo;
      options.masterPassword = password;
      options.force = args.options.force;
      options.store = args.options;
      qv::odbc::CreateOdbcStore(args.path, options);
    } else {
      qv::embedded::CreateStore(args.path, args.options);
    }
    if (args.demo && !odbc) {
      qv::embedded::StoreAdmin store(args.path);
      qv::embedded::WriteDemoTopology(store, password);
    }
  } catch (const std::exception& e) {
    std::cerr << "qvsource: " << qv::Cp1252ToUtf8(e.what()) << "\n";
    return 1;
  }
  std::cout << "created " << (odbc ? qv::odbc::WithoutLogin(args.path, false) : args.path) << " (" << qv::embedded::KindName(args.kind)
            << (args.demo ? ", demo topology" : "") << ")\n";
  return 0;
}

int Show(const std::string& path) {
  try {
    std::cout << qv::Cp1252ToUtf8(qv::embedded::DescribeStore(path));
  } catch (const std::exception& e) {
    std::cerr << "qvsource: " << qv::Cp1252ToUtf8(e.what()) << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"qvsource creates and shows the store files that the embedded source serves, and serves them "
               "to network clients.",
               "qvsource"};
  app.require_subcommand(1);
  app.footer(std::string("init creates a store of that kind; show prints what a store holds; serve serves it\n"
                         "to network clients; user manages who may log in to it; file adds files to the\n"
                         "file catalog of an AS/400 store; table adds source tables to an NT store.\n\n") +
             kExitStatus);

  InitArguments init;
  CLI::App* initCommand = app.add_subcommand("init", "create a store of a kind, empty or with a demo topology");
  initCommand->footer(std::string(kInitNotes) + "\n\n" + kExitStatus);
  initCommand->add_option("PATH", init.path, "the store file to create, or odbc:CONNECTION-STRING")
      ->required()
      ->type_name("");
  initCommand
      ->add_option_function<std::string>(
          "--kind", [&init](const std::string& v) { init.kind = *qv::embedded::ParseKind(v); },
          "AS400, ODBC, SQLSERVER or ORACLE")
      ->required()
      ->type_name("KIND")
      ->check([](const std::string& v) {
        return qv::embedded::ParseKind(v) ? std::string() : "unknown kind \"" + v + "\"";
      });
  initCommand->add_flag("--demo", init.demo, "add the demo topology");
  initCommand->add_flag("--force", init.options.force, "replace an existing file");
  initCommand
      ->add_option_function<std::string>(
          "--computer-name", [&init](const std::string& v) { init.options.computerName = qv::Utf8ToCp1252(v); },
          "computer name of the source")
      ->type_name("NAME")
      ->check([](const std::string& v) { return v.empty() ? std::string("needs a value") : std::string(); });
  initCommand->add_option_function<std::string>(
      "--instance", [&init](const std::string& v) { init.options.instance = qv::Utf8ToCp1252(v); },
      "instance name of the engine")
      ->type_name("NAME");

  std::string showPath;
  CLI::App* showCommand = app.add_subcommand("show", "print what a store holds");
  showCommand->footer(kExitStatus);
  showCommand->add_option("PATH", showPath, "the store file")->required()->type_name("");

  qv::apps::ServeArguments serve;
  CLI::App* serveCommand = qv::apps::AddServeCommand(app, serve);
  qv::apps::UserArguments user;
  const qv::apps::UserCommands userCommands = qv::apps::AddUserCommand(app, user);
  qv::apps::FileArguments file;
  CLI::App* fileAdd = qv::apps::AddFileCommand(app, file);
  qv::apps::TableArguments table;
  CLI::App* tableAdd = qv::apps::AddTableCommand(app, table);

  // "qvsource help" asks for help as --help does.
  if (argc == 2 && std::string(argv[1]) == "help") {
    std::cout << app.help();
    return 0;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    return qv::apps::UsageFailure(app, qv::apps::ParseMessage(app, e));
  }
  if (initCommand->parsed()) return Init(init);
  if (showCommand->parsed()) return Show(showPath);
  if (serveCommand->parsed()) return qv::apps::RunServe(serve);
  if (userCommands.add->parsed() || userCommands.remove->parsed() || userCommands.list->parsed())
    return qv::apps::RunUser(userCommands, user);
  if (fileAdd->parsed()) return qv::apps::RunFileAdd(file);
  if (tableAdd->parsed()) return qv::apps::RunTableAdd(table);
  return qv::apps::UsageFailure(app, "no command");
}
