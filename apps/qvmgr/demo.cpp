// The demo: a fresh embedded store and a scheduler's road through QVmanager.
#include "qvmgr/demo.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "dllparam/admin/store_admin.h"
#include "dllparam/embedded/store_schema.h"
#include "platform/control_objects.h"
#include "platform/text_output.h"
#include "presentation/strutil.h"
#include "qvmgr/library_path.h"
#include "qvmgr/session.h"
#include "store/record_layouts.h"

namespace qv::cli {
namespace {

namespace fs = std::filesystem;
using platform::DispResult;
using platform::Variant;

constexpr const char* kEnv = "PR";
constexpr const char* kTarget = "AS1";
constexpr const char* kModel = "CLI";

// Writes the demo as it goes (text) or gathers it into one document (JSON).
class DemoLog {
 public:
  explicit DemoLog(Reporter& out) : out_(out) {}

  void Text(const std::string& utf8) {
    if (!out_.json()) out_.Write(utf8);
  }
  void Step(const std::string& title) {
    ++number_;
    Text("\n" + std::to_string(number_) + ". " + title + "\n");
    steps_.push_back(Json{{"step", number_}, {"title", title}, {"ok", true}, {"calls", Json::array()}});
  }
  void Say(const std::string& utf8) {
    Text("   " + utf8 + "\n");
    if (!steps_.empty()) steps_.back()["notes"].push_back(utf8);
  }
  void Call(const std::string& expression, const std::string& result) {
    Text("   " + expression + (result.empty() ? "" : " -> " + result) + "\n");
    if (!steps_.empty()) steps_.back()["calls"].push_back(Json{{"call", expression}, {"result", result}});
  }
  void Refused(const OperationError& e) {
    Text("   the source answered: ErrorNum " + std::to_string(e.num) + ", " + Utf8(e.text) +
         (e.step.empty() ? "" : " (step " + Utf8(e.step) + ")") + "\n");
    if (!steps_.empty()) {
      steps_.back()["ok"] = false;
      steps_.back()["error"] = Json{{"num", e.num}, {"text", Utf8(e.text)}, {"step", Utf8(e.step)}};
    }
  }
  void Block(const std::string& utf8) {
    std::string indented;
    std::size_t start = 0;
    while (start < utf8.size()) {
      std::size_t end = utf8.find('\n', start);
      if (end == std::string::npos) end = utf8.size();
      indented += "   " + utf8.substr(start, end - start) + "\n";
      start = end + 1;
    }
    Text(indented);
  }
  void Data(const std::string& key, Json value) {
    if (!steps_.empty()) steps_.back()[key] = std::move(value);
  }
  Json Steps() const { return steps_; }

 private:
  Reporter& out_;
  int number_ = 0;
  Json steps_ = Json::array();
};

// Returns the Windows-1252 text of a value for display.
std::string Shown(const Variant& v) {
  try {
    if (v.type() == platform::VarType::Boolean) return v.ToBool() ? "True" : "False";
    if (v.type() == platform::VarType::String) return "\"" + Utf8(RTrim(v.ToString())) + "\"";
    return Utf8(v.ToString());
  } catch (const std::exception&) {
    return "?";
  }
}

class Road {
 public:
  Road(Session& s, DemoLog& log) : s_(s), log_(log) {}

  // Calls a Boolean method and tells how it went; false when the member is
  // missing or answered false.
  bool Call(const char* member, std::vector<Variant> args = {}, const std::string& shownArgs = "") {
    const std::string expression = std::string(member) + (shownArgs.empty() ? "" : "(" + shownArgs + ")");
    if (!s_.Has(member)) {
      log_.Say(std::string("QVmanager of this library has no member ") + member + " yet: step skipped.");
      return false;
    }
    OperationError e;
    const bool ok = s_.Ok(member, args, e);
    log_.Call(expression, ok ? "True" : "False");
    if (!ok) log_.Refused(e);
    return ok;
  }

  bool Put(const char* member, const Variant& value, const std::string& shownValue = "") {
    if (!s_.Has(member)) {
      log_.Say(std::string("QVmanager of this library has no member ") + member + " yet.");
      return false;
    }
    const DispResult r = s_.Put(member, value);
    log_.Call(std::string(member) + " = " + (shownValue.empty() ? Shown(value) : shownValue), "");
    if (!r.ok()) log_.Refused(DispatchFailure("QVmanager", member, r));
    return r.ok();
  }

  // Shows the manager's copy of the distribution's recovery point and flags.
  void ShowDistribution() {
    std::vector<std::pair<std::string, std::string>> rows;
    Json props = Json::object();
    for (const char* name : {"DistributionRepriseType", "DistributionRepriseReceiver", "DistributionRepriseLibrary",
                             "DistributionReprisePoint", "DistributionScheduled", "DistributionHold"}) {
      if (!s_.Has(name)) continue;
      const DispResult r = s_.Get(name);
      if (!r.ok()) continue;
      rows.emplace_back(name, Shown(r.value));
      props[name] = JsonFromVariant(r.value, [](const platform::ObjectPtr&) { return std::string(); });
    }
    if (rows.empty()) return;
    log_.Block(AlignedText(rows, 2));
    log_.Data("properties", props);
  }

  // Reads the activity and returns the counters that show the job at work.
  std::optional<Json> Activity() {
    if (!Call("ReadActivity")) return std::nullopt;
    const DispResult a = s_.Get("Activity");
    if (!a.ok() || !a.value.IsObject()) return std::nullopt;
    platform::ObjectPtr activity = a.value.ToObject();
    if (!activity) return std::nullopt;
    Json values = Json::object();
    for (const Field& f : layout::Activity.fields) {
      const DispResult v = platform::GetProperty(*activity, f.name);
      values[std::string(f.name)] = v.ok() ? Utf8(RTrim(v.value.ToString())) : "";
    }
    return values;
  }

 private:
  Session& s_;
  DemoLog& log_;
};

std::string SourceTypeOfKind(embedded::SourceKind kind) {
  switch (kind) {
    case embedded::SourceKind::ODBC: return "ODBC";
    case embedded::SourceKind::SQLServer: return "SQL Server";
    case embedded::SourceKind::Oracle: return "Oracle";
    default: return "AS400";
  }
}

std::string Quoted(const std::string& text) {
  if (text.find_first_of(" \"'$\\") == std::string::npos) return text;
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string ActivityLine(const Json& a) {
  auto get = [&](const char* name) { return a.contains(name) ? a[name].get<std::string>() : std::string(); };
  auto number = [&](const char* name) {
    std::string v = get(name);
    const std::size_t nz = v.find_first_not_of('0');
    return v.empty() ? std::string("-") : nz == std::string::npos ? std::string("0") : v.substr(nz);
  };
  std::string state = get("state");
  return "state " + (state.empty() ? std::string("(blank)") : state) + ", entry " + number("JOSEQN") + ", read " +
         number("CptRead") + ", selected " + number("CptSel") + ", sent " + number("CptSnd") + ", errors " +
         number("CptErr");
}

}  // namespace

void WriteDemoStore(const std::string& path, embedded::SourceKind kind, const std::string& password) {
  embedded::CreateStoreOptions create;
  create.kind = kind;
  create.force = true;
  embedded::CreateStore(path, create);
  embedded::StoreAdmin admin(path);
  embedded::WriteDemoTopology(admin, To1252Exact(password, "QV_PASSWORD"));
}

int Demo(Context& ctx, const DemoOptions& options) {
  const std::optional<embedded::SourceKind> kind = embedded::ParseKind(options.kind);
  if (!kind) throw UsageError("--kind takes AS400, ODBC, SQLSERVER or ORACLE, not \"" + options.kind + "\"");
  Reporter& out = ctx.out;
  DemoLog log(out);
  const std::string type = SourceTypeOfKind(*kind);
  const char* envPassword = std::getenv("QV_PASSWORD");
  const std::string password = envPassword != nullptr ? envPassword : "demo";

  // ---- The store
  std::string dir = options.dir;
  std::error_code ec;
  if (dir.empty()) {
    std::string pattern = (fs::temp_directory_path(ec) / "qvmgr-demo-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
      return out.Failure("demo", "cannot make a temporary folder", OperationError{0, pattern, "mkdtemp"});
    dir = pattern;
  } else {
    fs::create_directories(dir, ec);
    if (ec) return out.Failure("demo", "cannot make the folder " + dir, OperationError{0, ec.message(), "mkdir"});
  }
  const std::string lowerKind = LCase(embedded::KindName(*kind));
  const std::string path = (fs::absolute(fs::path(dir), ec) / ("demo-" + lowerKind + ".qvs")).lexically_normal().string();
  const std::string address = "file:" + path;

  const char* article = type == "SQL Server" ? "a " : "an ";
  log.Text("QVmgr demo: " + std::string(article) + type + " source in an embedded store, driven through QVmanager the way a\n"
           "scheduler script drives it.\n");
  log.Step("Create a demo store");
  try {
    WriteDemoStore(path, *kind, password);
  } catch (const std::exception& e) {
    return out.Failure("demo", "cannot create the demo store " + path, OperationError{0, e.what(), "CreateStore"});
  }
  log.Say("created " + path);
  log.Say("environments PR and TS, targets AS1, NT1 and NT2, models CLI and ORD, and the distribution "
          "PR/AS1/CLI used below; the master user QVADMIN has the password " +
          std::string(envPassword != nullptr ? "given in QV_PASSWORD" : "of a demo store (see docs/cli.md)"));
  log.Data("store", Json{{"path", path}, {"kind", std::string(embedded::KindName(*kind))}, {"address", address}});

  // ---- Connect
  log.Step("Create QVmanager and log in");
  std::string error;
  std::unique_ptr<Session> session = Session::Create(error);
  if (!session) return out.Failure("demo", "cannot create QVmanager", OperationError{0, error, "CreateObject"});
  log.Call("CreateObject(\"QVmgr_dll.QVmanager\")", "a QVmanager");
  Road road(*session, log);
  road.Put("SourceAdress", Variant(To1252Exact(address, "address")));
  road.Put("SourceType", Variant(type));
  // The embedded Oracle source serves the instance QVORA.
  if (*kind == embedded::SourceKind::Oracle) road.Put("InstanceName", Variant("QVORA"));
  road.Put("UserID", Variant("QVADMIN"));
  road.Put("Password", Variant(To1252Exact(password, "QV_PASSWORD")), "\"********\"");
  bool connected = false;
  {
    Progress progress;
    progress.Show("Connecting ...");
    connected = road.Call("OpenConnection");
  }
  if (!connected) {
    log.Say("Without a connection the road ends here.");
    if (out.json()) out.Failure("demo", "cannot connect", OperationError{0, "see the steps", "OpenConnection"},
                                Json{{"steps", log.Steps()}});
    else out.err() << "qvmgr: demo: cannot connect to " << address << "\n";
    return 1;
  }
  road.Put("EnvironmentID", Variant(kEnv));
  road.Put("TargetID", Variant(kTarget));
  road.Put("ModelID", Variant(kModel));
  session->TakeError();

  // ---- Read
  log.Step("Read the distribution PR/AS1/CLI");
  const bool read = road.Call("ReadDistribution");
  if (read) road.ShowDistribution();

  // ---- Move the recovery point
  log.Step("Move its recovery point to entry 1234 of receiver RCV0001 and update it");
  if (read) {
    road.Put("DistributionRepriseType", Variant("P"));
    road.Put("DistributionRepriseReceiver", Variant("RCV0001"));
    // NT sources keep no receiver library.
    if (*kind == embedded::SourceKind::AS400) road.Put("DistributionRepriseLibrary", Variant("QV_USRDATA"));
    road.Put("DistributionReprisePoint", Variant(std::int32_t{1234}));
    if (road.Call("UpdateDistribution")) {
      log.Say("read back from the source:");
      if (road.Call("ReadDistribution")) road.ShowDistribution();
    }
  } else {
    log.Say("skipped: the distribution was not read.");
  }

  // ---- Start and watch
  log.Step("Start it");
  road.Call("StartQV");

  log.Step("Watch the job run and its activity counters move");
  Json watch = Json::array();
  {
    Progress progress;
    for (int i = 0; i < options.polls; ++i) {
      if (i > 0) {
        progress.Show("Watching the job (" + std::to_string(i + 1) + "/" + std::to_string(options.polls) + ") ...");
        std::this_thread::sleep_for(std::chrono::seconds(options.pollSeconds));
        progress.Clear();
      }
      Json poll = Json::object();
      if (session->Has("SourceJobRun")) {
        const DispResult r = session->Call("SourceJobRun");
        const bool running = r.ok() && r.value.ToBool();
        log.Call("SourceJobRun", running ? "True (the job runs)" : "False (the job does not run)");
        if (!running) {
          OperationError e = session->TakeError();
          if (!r.ok()) e = DispatchFailure("QVmanager", "SourceJobRun", r);
          if (e.num != 0 || !e.text.empty()) log.Refused(e);
        }
        poll["running"] = running;
      } else {
        log.Say("QVmanager of this library has no member SourceJobRun yet.");
      }
      if (std::optional<Json> a = road.Activity()) {
        log.Say(ActivityLine(*a));
        poll["activity"] = *a;
      }
      watch.push_back(poll);
    }
  }
  log.Data("polls", watch);

  // ---- Messages
  log.Step("Read the messages of the engine");
  auto lv = std::make_shared<platform::ListViewObject>();
  std::set<std::string> shownKeys;
  // Shows the messages of the list view not shown yet.
  auto showNew = [&] {
    platform::TextTable table({"Date", "Job", "Program", "Message"});
    Json list = Json::array();
    for (const platform::ListItem* item : lv->model().DisplayOrder()) {
      if (!shownKeys.insert(item->Key()).second) continue;
      table.AddRow({item->SubItem(1), item->SubItem(2), item->SubItem(3), item->SubItem(4)});
      list.push_back(Json{{"date", Utf8(item->SubItem(1))}, {"job", Utf8(item->SubItem(2))},
                          {"program", Utf8(item->SubItem(3))}, {"text", Utf8(item->SubItem(4))}});
    }
    if (list.empty()) {
      log.Say("no new message");
      return;
    }
    log.Block(table.Render());
    log.Data("messages", list);
  };
  const bool messages = road.Call("ReadMSG", {Variant(true), Variant(true), Variant(lv)}, "True, True, lv");
  if (messages) showNew();

  // ---- Stop and close
  log.Step("Stop it");
  road.Call("StopQV");
  if (session->Has("SourceJobRun")) {
    const DispResult r = session->Call("SourceJobRun");
    log.Call("SourceJobRun", r.ok() && r.value.ToBool() ? "True (the job still runs)" : "False (the job does not run)");
    session->TakeError();
  }
  if (messages) {
    log.Say("the messages that came since:");
    if (road.Call("ReadMSG", {Variant(false), Variant(false), Variant(lv)}, "False, False, lv")) showNew();
  }

  log.Step("Close");
  road.Call("CloseConnection");
  session.reset();

  // ---- By hand
  const std::string bin = "qvmgr";
  std::string hand;
  hand += "  export QV_SOURCE=" + Quoted(address) + " QV_TYPE=" + Quoted(type) + " QV_USER=QVADMIN\n";
  hand += std::string("  export QV_PASSWORD=... QV_ENV=PR QV_TARGET=AS1 QV_MODEL=CLI") +
          (*kind == embedded::SourceKind::Oracle ? " QV_INSTANCE=QVORA" : "") + "\n";
  const std::string set = *kind == embedded::SourceKind::AS400
                              ? "dist set --reprise-type P --receiver RCV0001 --library QV_USRDATA --point 1234"
                              : "dist set --reprise-type P --receiver RCV0001 --point 1234";
  for (const std::string& line : {std::string("dist show"), set, std::string("start"), std::string("status"),
                                  std::string("activity"), std::string("messages"), std::string("stop"),
                                  std::string("dist show --json")})
    hand += "  " + bin + " " + line + "\n";
  log.Text("\nTo do the same by hand (qvmgr is " + ProgramPath() + "), with QV_PASSWORD set to the master user's "
           "password\n(qvmgr never prints it):\n" + hand);
  if (options.dir.empty()) log.Text("The store stays in " + dir + "; remove that folder when done.\n");

  if (out.json())
    return out.Success("demo", Json{{"store", Json{{"path", path}, {"address", address}, {"type", type}}},
                                    {"steps", log.Steps()}},
                       "");
  return 0;
}

}  // namespace qv::cli
