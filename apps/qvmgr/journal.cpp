// `qvmgr journal`: creates, asks about and removes the journal of a database
// or schema, and starts, stops and asks about the capture of its tables.
#include "qvmgr/journal.h"

#include <memory>
#include <vector>

#include "automation/hidden_form.h"
#include "automation/qvmanager.h"
#include "connection/dllparam_wrapper.h"
#include "dllparam/source_library.h"
#include "dllparam/trace/trace_secrets.h"
#include "platform/prompt.h"
#include "qvmgr/connected.h"

namespace qv::cli {
namespace {

using platform::DispResult;
using platform::Variant;

// Runs the queries a journal operation needs and keeps, instead of sending
// them, the statements that would change the source, their passwords masked
// as the trace masks them.
class DryRunLibrary : public DllParamWrapper {
 public:
  DryRunLibrary(std::unique_ptr<DllParam> inner, std::vector<std::string>& statements)
      : DllParamWrapper(std::move(inner)), statements_(statements) {}

  int32_t Saction(const std::string& sql) override {
    statements_.push_back(trace::MaskSqlPasswords(sql));
    return 1;
  }
  int32_t SetConnectOption(int32_t) override { return 1; }

 private:
  std::vector<std::string>& statements_;
};

// The statements a dry run kept; the library of every form made meanwhile
// keeps them here.
std::vector<std::string> gDryRun;

constexpr const char* kFooter =
    "Global options (--source, --type, --user, --json, ...) may come before or after the command; see qvmgr --help.";

void AddCommon(CLI::App* sub, JournalOptions& o, bool changes) {
  sub->add_option("--database", o.database, "the SQL Server database or the Oracle schema")
      ->envname("QV_DATABASE");
  if (changes)
    sub->add_flag("--dry-run", o.dryRun,
                  "print the statements that would be sent (queries still run) and change nothing");
  sub->footer(kFooter);
}

// Reads a Boolean answer; a false one that left an error state is a failure.
bool Answer(Connected& c, const DispResult& r, const std::string& member, const std::string& what, bool& value,
            int& status) {
  if (!r.ok()) {
    status = c.Fail(what, DispatchFailure("QVmanager", member, r));
    return false;
  }
  value = false;
  try {
    value = r.value.ToBool();
  } catch (const std::exception&) {
  }
  if (value) return true;
  OperationError e = c.s().TakeError();
  if (e.num != 0 || !e.text.empty()) {
    status = c.Fail(what, e);
    return false;
  }
  return true;
}

}  // namespace

CLI::App* AddJournalCommand(CLI::App& app, JournalOptions& o) {
  CLI::App* journal = app.add_subcommand(
      "journal", "journalisation of a SQL Server database or an Oracle schema (SQL Server and Oracle sources)");
  journal->require_subcommand(1);
  CLI::App* create = journal->add_subcommand("create", "create the journal of the database in a directory");
  create->add_option("--dir", o.directory, "directory of the journal file on the source machine")->required();
  create->add_option("--wait", o.waitMs, "milliseconds to let the server take the change in (default 1000)")
      ->check(CLI::Range(0, 600000));
  AddCommon(create, o, true);
  create->final_callback([&o] { o.action = "create"; });
  CLI::App* status = journal->add_subcommand("status", "tell whether the database is journalised");
  AddCommon(status, o, false);
  status->final_callback([&o] { o.action = "status"; });
  CLI::App* path = journal->add_subcommand("path", "show the journal file of the database");
  AddCommon(path, o, false);
  path->final_callback([&o] { o.action = "path"; });
  CLI::App* remove = journal->add_subcommand("remove", "remove the journal of the database");
  remove->add_option("--wait", o.waitMs, "milliseconds to let the server take the change in (default 1000)")
      ->check(CLI::Range(0, 600000));
  AddCommon(remove, o, true);
  remove->final_callback([&o] { o.action = "remove"; });

  CLI::App* table = journal->add_subcommand("table", "capture of one table of the database");
  table->require_subcommand(1);
  table->footer(kFooter);
  const struct {
    const char* name;
    const char* description;
    bool changes;
  } tableCommands[] = {{"start", "capture the table's changes into the journal", true},
                       {"stop", "stop capturing the table", true},
                       {"status", "tell whether the table is captured", false}};
  for (const auto& t : tableCommands) {
    CLI::App* sub = table->add_subcommand(t.name, t.description);
    sub->add_option("table", o.table, "the table")->required();
    if (std::string(t.name) == "start")
      sub->add_option("--maxlen", o.maxlen,
                      "length of every long text column (SQL Server); without it qvmgr asks on a terminal")
          ->check(CLI::Range(1, 30000));
    AddCommon(sub, o, t.changes);
    const std::string name = t.name;
    sub->final_callback([&o, name] {
      o.action = "table";
      o.tableAction = name;
    });
  }
  journal->footer(
      "Example:\n  qvmgr --type \"SQL Server\" journal create --database SALES --dir 'D:\\QVJournal' --dry-run\n\n" +
      std::string(kFooter));
  return journal;
}

int Journal(Context& ctx, const JournalOptions& o) {
  const std::string command = "journal " + (o.action == "table" ? "table " + o.tableAction : o.action);
  if (o.database.empty())
    throw UsageError(command + " needs --database NAME: the SQL Server database or the Oracle schema (or QV_DATABASE)");
  std::string database, directory, table;
  try {
    database = To1252Exact(o.database, "--database");
    directory = To1252Exact(o.directory, "--dir");
    table = To1252Exact(o.table, "the table");
  } catch (const ArgumentError& e) {
    throw UsageError(e.what());
  }
  const std::string type = ctx.options.type.empty() ? "AS400" : CanonicalSourceType(ctx.options.type);

  if (o.dryRun) {
    gDryRun.clear();
    automation::SetLibraryFactory([] { return std::make_unique<DryRunLibrary>(MakeSourceLibrary(), gDryRun); });
  }
  // Nothing reaches the server in a dry run: there is nothing to wait for.
  if (o.waitMs || o.dryRun) automation::QVmanager::SetJournalWait(o.dryRun ? 0 : *o.waitMs);
  platform::CallbackPrompter maxlen([&o](const platform::PromptRequest&) -> std::optional<std::string> {
    return std::to_string(*o.maxlen);
  });
  std::optional<platform::ScopedPrompter> answering;
  if (o.maxlen) answering.emplace(maxlen);

  Connected c(ctx, command, 0);
  if (!c.Open()) return 1;
  for (const char* member : {"SQL_DBname", "ORACLE_SchemaName"}) {
    const DispResult r = c.s().Put(member, Variant(database));
    if (!r.ok()) return c.Fail(std::string("cannot set ") + member, DispatchFailure("QVmanager", member, r));
  }

  gDryRun.clear();  // the opening's own statements are not the operation's
  const std::string shown = Utf8(database);
  Json body{{"database", shown}};
  std::string text;
  int status = 0;
  bool ok = false;
  if (o.action == "create") {
    std::vector<Variant> args{Variant(directory)};
    const DispResult r = c.s().Call("CreateQVJournal", args);
    if (!Answer(c, r, "CreateQVJournal", "cannot create the journal of " + shown, ok, status)) return status;
    if (!ok) return c.Fail("cannot create the journal of " + shown, c.s().TakeError());
    const std::string* dir = args[0].Get<std::string>();
    const std::string file = Utf8((dir ? *dir : directory) + database);
    body["file"] = file;
    text = "Created the journal of " + shown + ": " + file + "\n";
  } else if (o.action == "status" || o.action == "path") {
    const DispResult r = c.s().Get("DBIsQVJournalised");
    if (!Answer(c, r, "DBIsQVJournalised", "cannot ask whether " + shown + " is journalised", ok, status))
      return status;
    std::string file;
    if (ok) {
      const DispResult p = c.s().Get("JournalFullPathName");
      if (!p.ok()) return c.Fail("cannot read the journal file", DispatchFailure("QVmanager", "JournalFullPathName", p));
      file = Utf8(p.value.ToString());
    }
    body["journalised"] = ok;
    body["file"] = file;
    if (o.action == "path") {
      if (!ok) return c.Fail(shown + " is not journalised", OperationError{0, "no JOURNAL row", "JournalFullPathName"}, body);
      text = file + "\n";
    } else {
      text = ok ? shown + " is journalised into " + file + ".\n" : shown + " is not journalised.\n";
    }
  } else if (o.action == "remove") {
    const DispResult r = c.s().Call("RemoveQVJournal");
    if (!Answer(c, r, "RemoveQVJournal", "cannot remove the journal of " + shown, ok, status)) return status;
    if (!ok) return c.Fail("cannot remove the journal of " + shown, c.s().TakeError());
    text = "Removed the journal of " + shown + ".\n";
  } else {
    const std::string shownTable = Utf8(table);
    body["table"] = shownTable;
    std::vector<Variant> args{Variant(table)};
    if (o.tableAction == "status") {
      const DispResult r = c.s().Call("IsTableJournalised", args);
      if (!Answer(c, r, "IsTableJournalised", "cannot ask whether " + shownTable + " is captured", ok, status))
        return status;
      body["captured"] = ok;
      text = shownTable + (ok ? " is captured.\n" : " is not captured.\n");
    } else {
      const bool start = o.tableAction == "start";
      const std::string what = (start ? "cannot capture " : "cannot stop capturing ") + shownTable;
      // The manager captures SQL Server tables; an Oracle table is captured by
      // the control with the field list of its columns.
      DispResult r;
      std::string member = start ? "StartTableJournalisation" : "StopTableJournalisation";
      if (start && type == "Oracle") {
        std::vector<Variant> control{Variant(database), Variant(table)};
        member = "ORACLE_CaptureTable";
        r = c.s().CallControl(member, control);
      } else {
        r = c.s().Call(member, args);
      }
      if (!Answer(c, r, member, what, ok, status)) return status;
      if (!ok) return c.Fail(what, c.s().TakeError());
      text = start ? "Capturing " + shownTable + ".\n" : "Stopped capturing " + shownTable + ".\n";
    }
  }

  if (o.dryRun) {
    Json sent = Json::array();
    std::string listing;
    for (const std::string& sql : gDryRun) {
      sent.push_back(Utf8(sql));
      listing += Utf8(sql) + "\n\n";
    }
    body["dryRun"] = true;
    body["statements"] = sent;
    text = "Dry run: nothing was sent. The statements that would be sent, a blank line after each:\n\n" + listing;
  }
  return c.Success(body, text);
}

}  // namespace qv::cli
