// qvmgr: the command-line host of QVmgr. See `qvmgr --help` and docs/cli.md.
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/command_line.h"
#include "qvmgr/automation_host.h"
#include "qvmgr/commands.h"
#include "qvmgr/console/console.h"
#include "qvmgr/demo.h"
#include "qvmgr/journal.h"
#include "qvmgr/options.h"
#include "qvmgr/output.h"
#include "qvmgr/programs.h"
#include "qvmgr/topology_commands.h"
#include "qvmgr/views.h"

namespace {

using namespace qv::cli;
using qv::apps::DecimalInteger;
using qv::apps::ParseMessage;
using qv::apps::UsageFailure;

constexpr const char* kMainFooter = R"(Environment:
  QV_SOURCE QV_TYPE QV_INSTANCE QV_USER QV_ENV QV_TARGET QV_MODEL QV_LANG QV_TRACE
      stand for the options of the same name.
  QV_PASSWORD   the password of --user; without it qvmgr asks on a terminal,
                and uses an empty password otherwise. It is never an option.
  QV_ODBC_UID QV_ODBC_PWD
                the database login of an odbc: source whose connection
                string has no UID or PWD.
  QV_REGISTRY   the class registry file (register, unregister, automation).
  QV_LIBRARY    the shared library QVmgr_dll to register or load.

Exit status:
  0  done
  1  an operation answered false: ErrorNum, ErrorText and ErrorStep on stderr
     (and in the JSON document with --json)
  2  the command line is wrong: the message says what, --help says how

Example:
  export QV_SOURCE=file:/srv/qv/prod.qvs QV_USER=QVADMIN QV_ENV=PR QV_TARGET=AS1 QV_MODEL=CLI
  qvmgr dist set --reprise-type P --receiver RCV0001 --library QV_USRDATA --point 1234 && qvmgr start)";

CLI::App* Command(CLI::App& parent, const std::string& name, const std::string& description,
                  const std::string& example) {
  CLI::App* sub = parent.add_subcommand(name, description);
  std::string footer = "Global options (--source, --type, --user, --env, --target, --model, --json, ...) may "
                       "come before or after the command; see qvmgr --help.";
  if (!example.empty()) footer = "Example:\n  " + example + "\n\n" + footer;
  sub->footer(footer);
  return sub;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"qvmgr drives a QVmgr source the way a scheduler script does: connect, read and change "
               "a distribution's recovery point and flags, start and stop it, read its activity and "
               "messages; and hosts QVmanager for scripts (automation).",
               "qvmgr"};
  app.require_subcommand(1);
  app.fallthrough();
  app.footer(kMainFooter);

  GlobalOptions o;
  app.add_option("--source", o.source,
                 "source address: file:PATH of an embedded store, HOST[:PORT] of a source server, or "
                 "odbc:CONNECTION-STRING (odbc:DSN=NAME) of a plain ODBC source (--type ODBC)")
      ->envname("QV_SOURCE");
  app.add_option("--type", o.type, "source kind: AS400 (default), ODBC, \"SQL Server\" or Oracle")
      ->envname("QV_TYPE");
  app.add_option("--instance", o.instance, "instance name of the engine")->envname("QV_INSTANCE");
  app.add_option("--user", o.user, "user identifier (password from QV_PASSWORD or a prompt)")
      ->envname("QV_USER");
  app.add_option("--env", o.env, "environment identifier (2 characters)")->envname("QV_ENV");
  app.add_option("--target", o.target, "target identifier (3 characters)")->envname("QV_TARGET");
  app.add_option("--model", o.model, "model identifier (3 characters)")->envname("QV_MODEL");
  app.add_option("--lang", o.lang, "language: 1033, 1036, 2060, 3084, 4108, 5132 or a locale such as fr_CA")
      ->envname("QV_LANG");
  app.add_option("--trace", o.trace, "append a trace of every call to the source to FILE")
      ->envname("QV_TRACE");
  app.add_flag("--json", o.json, "write one JSON document for scripts instead of text");

  auto group = [&](const std::string& name, const std::string& description) {
    CLI::App* sub = app.add_subcommand(name, description);
    sub->require_subcommand(1);
    return sub;
  };

  CLI::App* env = group("env", "environments");
  CLI::App* envShow = Command(*env, "show", "show the record of an environment", "qvmgr --source file:prod.qvs --user QVADMIN env show --env PR");
  CLI::App* target = group("target", "targets");
  CLI::App* targetShow = Command(*target, "show", "show the record of a target", "qvmgr target show --env PR --target AS1");
  CLI::App* model = group("model", "models");
  CLI::App* modelShow = Command(*model, "show", "show the record of a model", "qvmgr model show --env PR --model CLI");
  CLI::App* table = group("table", "tables of a model");
  CLI::App* tableAdd = Command(*table, "add", "add an AS/400 source file to a model, with its fields",
                               "qvmgr table add --env PR --model CLI --library DEMOLIB --file CUSTOMER");
  TableAddOptions tableOptions;
  tableAdd->add_option("--library", tableOptions.library, "library of the source file")->required();
  tableAdd->add_option("--file", tableOptions.file, "the source file")->required();
  tableAdd->add_option("--description", tableOptions.description, "description of the new table");
  std::string fieldsTable;
  CLI::App* fields = Command(app, "fields", "show the fields of a table of a model",
                             "qvmgr fields --env PR --model CLI --table 3 --json");
  fields->add_option("--table", fieldsTable, "the table's number (FICID)")->required();
  CLI::App* catalog = Command(app, "catalog", "list the libraries, files, journals, receivers or record formats of "
                              "an AS/400 source, or the data sources, databases or tables of an NT source",
                              "qvmgr catalog files --library DEMOLIB --type PF");
  CatalogOptions catalogOptions;
  catalog->add_option("what", catalogOptions.what, "libraries, files, journals, receivers, formats, dsn, databases or tables")
      ->required()
      ->check(CLI::IsMember({"libraries", "files", "journals", "receivers", "formats", "dsn", "databases", "tables"}));
  catalog->add_option("--library", catalogOptions.library, "library of the files, journals, receivers or formats");
  catalog->add_option("--type", catalogOptions.type, "files: PF (physical) or LF (logical); both when left out");
  catalog->add_option("--journal", catalogOptions.journal, "files journaled to this journal; receivers of it");
  catalog->add_option("--file", catalogOptions.file, "formats: the file");
  catalog->add_option("--kind", catalogOptions.kind, "dsn: the driver kind, \"SQL Server\", Oracle or MS-Access");
  catalog->add_option("--database", catalogOptions.database, "tables: the database (schema on Oracle)");
  catalog->add_option("--mask", catalogOptions.mask, "tables: the names to list, % any run, _ one character");
  CLI::App* dist = group("dist", "distributions (a model sent to a target)");
  CLI::App* distShow = Command(*dist, "show", "show a distribution: recovery point, flags and its whole record",
                               "qvmgr dist show --env PR --target AS1 --model CLI --json");
  CLI::App* distSet = Command(*dist, "set", "move a distribution's recovery point, or change its schedule and hold flags",
                              "qvmgr dist set --env PR --target AS1 --model CLI --reprise-type P --receiver RCV0001 "
                              "--library QV_USRDATA --point 1234");
  DistChanges changes;
  std::string repriseType, receiver, library, scheduled, hold;
  std::int64_t point = 0;
  CLI::Option* oType = distSet->add_option("--reprise-type", repriseType, "recovery point type: P, C or \"\" (none)");
  CLI::Option* oReceiver = distSet->add_option("--receiver", receiver, "journal receiver of the recovery point");
  CLI::Option* oLibrary = distSet->add_option("--library", library, "library of that receiver");
  CLI::Option* oPoint = distSet->add_option("--point", point, "journal entry number of the recovery point")
                              ->transform(DecimalInteger());
  CLI::Option* oScheduled = distSet->add_option("--scheduled", scheduled, "on or off: the distribution runs on its planning");
  CLI::Option* oHold = distSet->add_option("--hold", hold, "on or off: the distribution is held");

  CLI::App* start = Command(app, "start", "ask the source to start a distribution", "qvmgr start --env PR --target AS1 --model CLI");
  CLI::App* stop = Command(app, "stop", "ask a distribution's engine job to stop", "qvmgr stop --env PR --target AS1 --model CLI");
  CLI::App* status = Command(app, "status", "tell whether a distribution's engine job runs",
                             "qvmgr status --json | jq .running");
  CLI::App* activity = Command(app, "activity", "show the activity of a distribution's engine job (27 fields)",
                               "qvmgr activity --env PR --target AS1 --model CLI");
  CLI::App* messages = Command(app, "messages", "show the engine's message queue",
                               "qvmgr messages --follow --interval 10");
  MessageOptions messageOptions;
  messages->add_flag("--follow", messageOptions.follow, "keep reading and print new messages until interrupted");
  messages->add_option("--interval", messageOptions.interval, "seconds between reads with --follow (default 5)")
      ->transform(DecimalInteger());

  CLI::App* program = group("program", "the transformation program of a table of a model");
  ProgramOptions programOptions;
  CLI::App* programCheck = Command(*program, "check", "check a program's two texts (offline unless --source is given)",
                                   "qvmgr --type AS400 program check --declarations decl.txt --instructions inst.txt");
  CLI::App* programShow = Command(*program, "show", "show the two texts of a table's program",
                                  "qvmgr program show --env PR --model CLI --table 3");
  CLI::App* programStore = Command(*program, "store", "check and store a table's program from its two texts",
                                   "qvmgr program store --env PR --model CLI --table 3 --declarations decl.txt "
                                   "--instructions inst.txt");
  for (CLI::App* sub : {programCheck, programShow, programStore}) {
    sub->add_option("--table", programOptions.table, "the table's number (FICID)");
    if (sub == programShow) continue;
    sub->add_option("--declarations", programOptions.declarations, "file of the declarations text");
    sub->add_option("--instructions", programOptions.instructions, "file of the instructions text");
  }
  programShow->add_option("--place", programOptions.place, "place of the lines (default: I on AS/400, blank on NT)");
  programStore->add_option("--place", programOptions.place, "place of the lines (AS/400; default I)");
  programStore->add_option("--count", programOptions.count, "count kept in the table's record (AS/400)")
      ->transform(DecimalInteger());
  CLI::App* endscript = group("endscript", "the end-of-distribution script of a distribution");
  EndScriptOptions endOptions;
  CLI::App* endShow = Command(*endscript, "show", "show a distribution's end script as the editor's rich text",
                              "qvmgr endscript show --env PR --target AS1 --model CLI --place T");
  CLI::App* endStore = Command(*endscript, "store", "replace a distribution's end script with the lines of a file",
                               "qvmgr endscript store --env PR --target AS1 --model CLI --file end.txt");
  endShow->add_option("--place", endOptions.place, "place of the script (default T)");
  endStore->add_option("--place", endOptions.place, "place of the script (default T; NT sources always use T)");
  endStore->add_option("--file", endOptions.file, "file of the script, one command a line")->required();
  JournalOptions journalOptions;
  CLI::App* journal = AddJournalCommand(app, journalOptions);
  CLI::App* tree = Command(app, "tree", "show the topology of an environment: targets with their distributions and "
                          "tables, models with their tables", "qvmgr tree --env PR");
  int superviseWatch = 0;
  CLI::App* supervise = Command(app, "supervise", "show the supervision list: one row per distribution with its "
                               "state, position in the journal and counters", "qvmgr supervise --env PR --watch 5");
  supervise->add_option("--watch", superviseWatch, "read again every SECONDS until interrupted")
      ->transform(DecimalInteger());

  // Topology commands: one subcommand per object and action, each with the
  // options of what it sets.
  struct TopologyAction {
    CLI::App* app;
    std::string object, action;
  };
  std::vector<TopologyAction> topologyActions;
  TopologyValues topo;
  std::string tDescription, tType, tAddress, tName, tSecure, tManual, tAllMembers, tTo;
  std::vector<std::pair<CLI::Option*, std::pair<std::string*, std::optional<std::string>*>>> topoOptions;
  auto topoOption = [&](CLI::App* sub, const std::string& name, std::string& value, std::optional<std::string>& target,
                        const std::string& help) {
    topoOptions.push_back({sub->add_option(name, value, help), {&value, &target}});
  };
  auto topology = [&](CLI::App* group, const std::string& object, const std::string& action,
                      const std::string& description, const std::string& example) {
    CLI::App* sub = Command(*group, action, description, example);
    topologyActions.push_back({sub, object, action});
    if (action == "add" || action == "change") {
      if (object != "dist") topoOption(sub, "--description", tDescription, topo.description, "the description");
      if (object == "env") {
        topoOption(sub, "--env-type", tType, topo.type, "the environment's type letter (P when added)");
        topoOption(sub, "--secure", tSecure, topo.secure, "on or off: users need an entry of the environment");
      } else if (object == "target") {
        topoOption(sub, "--target-type", tType, topo.type, "as400 (when added) or nt");
        topoOption(sub, "--address", tAddress, topo.address, "the target's network address");
        topoOption(sub, "--name", tName, topo.name, "the target's system name (its code when added)");
      } else if (object == "model") {
        topoOption(sub, "--model-type", tType, topo.type, "the model's type (0 when added)");
        topoOption(sub, "--manual", tManual, topo.manual, "on or off: tables are distributed by hand");
        topoOption(sub, "--all-members", tAllMembers, topo.allMembers, "on or off: every member is distributed");
      }
    }
    if (object == "table") sub->add_option("--table", topo.table, "the table's number (FICID)")->required();
    if (action == "delete") sub->add_flag("--yes", topo.yes, "delete without asking (scripts)");
  };
  topology(env, "env", "add", "add an environment", "qvmgr env add --env PR --description Production");
  topology(env, "env", "change", "change an environment's description, type or security",
           "qvmgr env change --env PR --secure on");
  topology(env, "env", "delete", "delete an environment with everything in it", "qvmgr env delete --env PR --yes");
  for (const char* action : {"add", "change", "delete", "hold", "release"})
    topology(target, "target", action, std::string(action) + " a target",
             std::string("qvmgr target ") + action + " --env PR --target AS2" +
                 (std::string(action) == "add" ? " --target-type nt --address nt2.example.local" : ""));
  for (const char* action : {"add", "change", "delete"})
    topology(model, "model", action, std::string(action) + " a model",
             std::string("qvmgr model ") + action + " --env PR --model ORD" +
                 (std::string(action) == "add" ? " --description Orders" : ""));
  for (const char* action : {"change", "delete", "hold", "release"})
    topology(table, "table", action, std::string(action) + " a table of a model",
             std::string("qvmgr table ") + action + " --env PR --model CLI --table 2");
  for (const char* action : {"add", "delete", "hold", "release"})
    topology(dist, "dist", action, std::string(action) + " a distribution (a model sent to a target)",
             std::string("qvmgr dist ") + action + " --env PR --target AS1 --model ORD");
  CLI::App* map = Command(app, "map", "map a field of a table to a field of a target, or remove the mapping",
                          "qvmgr map --env PR --target AS1 --model CLI --table 1 --field CUSTNO --to CLIENT_NO");
  map->add_option("--table", topo.table, "the table's number (FICID)")->required();
  map->add_option("--field", topo.field, "the field of the source table")->required();
  topoOption(map, "--to", tTo, topo.to, "the target's field; \"\" removes the mapping");

  ListOptions listOptions;
  CLI::App* list = Command(app, "list", "list the targets, models, distributions of a target, tables of a model or "
                           "distribution, fields of a table or field mapping of a distributed table",
                           "qvmgr list tables --env PR --target AS1 --model CLI");
  list->add_option("what", listOptions.what, "targets, models, dists, tables, fields or mapping")
      ->required()
      ->check(CLI::IsMember({"targets", "models", "dists", "tables", "fields", "mapping"}));
  list->add_option("--table", listOptions.table, "fields, mapping: the table's number (FICID)");

  std::string registerLibrary, unregisterLibrary;
  CLI::App* reg = Command(app, "register", "register the shared library QVmgr_dll in the class registry",
                          "QV_REGISTRY=$HOME/.config/qvmgr/registry qvmgr register");
  reg->add_option("--library", registerLibrary, "the library to register (default: the one shipped with qvmgr)");
  CLI::App* unreg = Command(app, "unregister", "remove the classes of QVmgr_dll from the class registry", "qvmgr unregister");
  unreg->add_option("--library", unregisterLibrary, "the library to unregister (default: the one shipped with qvmgr)");
  CLI::App* automation = Command(app, "automation",
                                 "late-bound automation host: one JSON call a line on stdin, one JSON answer a line "
                                 "on stdout (see docs/automation.md)",
                                 "echo '{\"create\":\"QVmgr_dll.QVmanager\",\"as\":\"m\"}' | qvmgr automation");
  ConsoleOptions consoleOptions;
  CLI::App* console = Command(app, "console", "serve the web console: the topology, lists, supervision, messages "
                              "and actions of the source in a browser", "qvmgr console --demo");
  console->add_option("--listen", consoleOptions.listen, "HOST:PORT to serve on (default 127.0.0.1:8131)");
  console->add_flag("--demo", consoleOptions.demo, "serve a fresh demo store (log in as QVADMIN, password demo)");
  console->add_option("--dir", consoleOptions.dir, "folder of the demo store (default: a new temporary folder)");
  console->add_option("store", consoleOptions.store, "a store file to serve instead of --source");

  DemoOptions demoOptions;
  CLI::App* demo = Command(app, "demo", "create a demo store and walk a scheduler's road through QVmanager",
                           "qvmgr demo --kind SQLSERVER --dir /tmp/qvdemo");
  demo->add_option("--kind", demoOptions.kind, "AS400 (default), ODBC, SQLSERVER or ORACLE");
  demo->add_option("--dir", demoOptions.dir, "folder of the store (default: a new temporary folder)");

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--password" || arg.rfind("--password=", 0) == 0)
      return UsageFailure(app, "the password is never given as an option: set QV_PASSWORD, or let qvmgr ask "
                               "on a terminal");
    if (arg == "--") break;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    return UsageFailure(app, ParseMessage(app, e));
  }

  Reporter reporter(o.json, std::cout, std::cerr);
  Context ctx{o, reporter};
  try {
    ApplyProcessOptions(o, std::cerr);
    if (envShow->parsed()) return EnvShow(ctx);
    if (targetShow->parsed()) return TargetShow(ctx);
    if (modelShow->parsed()) return ModelShow(ctx);
    if (distShow->parsed()) return DistShow(ctx);
    if (tableAdd->parsed()) return TableAdd(ctx, tableOptions);
    if (fields->parsed()) return FieldsShow(ctx, fieldsTable);
    if (catalog->parsed()) return Catalog(ctx, catalogOptions);
    if (programCheck->parsed()) return ProgramCheck(ctx, programOptions);
    if (programShow->parsed()) return ProgramShow(ctx, programOptions);
    if (programStore->parsed()) return ProgramStore(ctx, programOptions);
    if (endShow->parsed()) return EndScriptShow(ctx, endOptions);
    if (endStore->parsed()) return EndScriptStore(ctx, endOptions);
    if (distSet->parsed()) {
      if (oType->count() > 0) changes.repriseType = repriseType;
      if (oReceiver->count() > 0) changes.receiver = receiver;
      if (oLibrary->count() > 0) changes.library = library;
      if (oPoint->count() > 0) changes.point = point;
      if (oScheduled->count() > 0) changes.scheduled = scheduled;
      if (oHold->count() > 0) changes.hold = hold;
      return DistSet(ctx, changes);
    }
    if (start->parsed()) return Start(ctx);
    if (stop->parsed()) return Stop(ctx);
    if (status->parsed()) return Status(ctx);
    if (activity->parsed()) return ActivityShow(ctx);
    if (messages->parsed()) return Messages(ctx, messageOptions);
    if (journal->parsed()) return Journal(ctx, journalOptions);
    for (auto& [option, binding] : topoOptions)
      if (option->count() > 0) *binding.second = *binding.first;
    for (const TopologyAction& t : topologyActions)
      if (t.app->parsed()) return TopologyCommand(ctx, t.object, t.action, topo);
    if (map->parsed()) return MapField(ctx, topo);
    if (tree->parsed()) return TreeShow(ctx);
    if (list->parsed()) return ListShow(ctx, listOptions);
    if (supervise->parsed()) return Supervise(ctx, superviseWatch);
    if (reg->parsed()) return Register(ctx, registerLibrary);
    if (unreg->parsed()) return Unregister(ctx, unregisterLibrary);
    if (automation->parsed()) return RunAutomationHost(std::cin, std::cout, std::cerr);
    if (demo->parsed()) return Demo(ctx, demoOptions);
    if (console->parsed()) return Console(ctx, consoleOptions);
  } catch (const UsageError& e) {
    return UsageFailure(app, e.what());
  } catch (const std::exception& e) {
    std::cerr << "qvmgr: " << e.what() << "\n";
    return 1;
  }
  return UsageFailure(app, "no command");
}
