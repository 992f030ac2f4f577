// The commands that show the topology tree, the list views and the
// supervision list.
#include "qvmgr/views.h"

#include <unistd.h>

#include <tuple>

#include "automation/hidden_form.h"
#include "operations/engine_text.h"
#include "platform/controls.h"
#include "platform/text_output.h"
#include "presentation/strutil.h"
#include "qvmgr/options.h"
#include "qvmgr/output.h"
#include "qvmgr/variant_json.h"

namespace qv::cli {

// ---- The session ----------------------------------------------------------------------

ViewSession::ViewSession(Context& ctx, std::string command) : ctx_(ctx), command_(std::move(command)) {
  const GlobalOptions& o = ctx.options;
  if (o.source.empty()) throw UsageError(command_ + " needs --source ADDRESS (or the variable QV_SOURCE)");
  if (!o.type.empty()) type_ = CanonicalSourceType(o.type);
  if (TrimBlanksAndTabs(o.env).empty()) throw UsageError(command_ + " needs --env ID (or the variable QV_ENV)");
  try {
    env_ = UCase(TrimBlanksAndTabs(To1252Exact(o.env, "--env")));
    target_ = UCase(TrimBlanksAndTabs(To1252Exact(o.target, "--target")));
    model_ = UCase(TrimBlanksAndTabs(To1252Exact(o.model, "--model")));
    address_ = To1252Exact(o.source, "--source");
    instance_ = To1252Exact(o.instance, "--instance");
    user_ = To1252Exact(o.user, "--user");
  } catch (const ArgumentError& e) {
    throw UsageError(e.what());
  }
}

ViewSession::~ViewSession() {
  if (control_ && control_->ConnectionOpen()) control_->CloseConnection();
  SetProcessPassword("");
}

bool ViewSession::Open(bool newEnvironment) {
  for (const auto& [code, what, width] :
       {std::tuple{env_, "environment", 2u}, {target_, "target", 3u}, {model_, "model", 3u}}) {
    if (code.size() > width) {
      Refuse("cannot use the " + std::string(what) + " " + Utf8(code),
             "the " + std::string(what) + " code " + code + " is longer than " + std::to_string(width) +
                 " characters");
      return false;
    }
    if (code.find_first_of(" \t") != std::string::npos) {
      Refuse("cannot use the " + std::string(what) + " " + Utf8(code),
             "the " + std::string(what) + " code \"" + code + "\" holds a blank");
      return false;
    }
  }
  // Pads short codes with "_" as the manager does, so that every qvmgr
  // command names the same item for the same code.
  if (!env_.empty()) env_ = NormalizeId(env_, 2);
  if (!target_.empty()) target_ = NormalizeId(target_, 3);
  if (!model_.empty()) model_ = NormalizeId(model_, 3);
  const std::string password = ReadPassword(ctx_.options.user);
  control_ = std::make_unique<QVSource>(automation::MakeLibrary());
  if (!type_.empty()) control_->SourceType(type_);
  control_->InstanceName(instance_);
  SetProcessUserID(user_);
  SetProcessPassword(password);
  {
    Progress progress;
    progress.Show("Connecting to " + ctx_.options.source + " ...");
    if (!control_->OpenConnection(address_)) {
      progress.Clear();
      Fail("cannot connect to " + ctx_.options.source);
      return false;
    }
  }
  if (newEnvironment) return true;
  control_->env(env_);
  if (control_->env().empty()) {
    Fail("cannot select the environment " + Utf8(env_));
    return false;
  }
  if (!control_->EnvironmentExist(env_)) {
    Refuse("cannot select the environment " + Utf8(env_), "the environment " + env_ + " does not exist");
    return false;
  }
  // The selection's own reads leave nothing to report.
  control_->ErrorNum();
  control_->ErrorText();
  control_->ErrorStep();
  return true;
}

int ViewSession::Fail(const std::string& what) {
  OperationError e;
  if (control_) {
    e.num = control_->ErrorNum();
    e.text = control_->ErrorText();
    e.step = control_->ErrorStep();
  }
  return ctx_.out.Failure(command_, what, e);
}

int ViewSession::Refuse(const std::string& what, const std::string& reason) {
  return ctx_.out.Failure(command_, what, OperationError{QVSource::kRefusalNum, reason, command_});
}

// ---- qvmgr tree -------------------------------------------------------------------------

namespace {

// Opens every folder of the tree not loaded yet; false when a load failed.
bool OpenAllFolders(QVSource& control, platform::TreeView& tv) {
  for (bool again = true; again;) {
    again = false;
    for (int i = 1; i <= tv.Count(); ++i) {
      platform::TreeNode& node = tv.Item(i);
      bool ok = true;
      if (node.tag == " SGC") ok = control.LoadGCInTree(tv, node);
      else if (node.tag == " SGCFC") ok = control.LoadFCInTree(tv, node);
      else if (node.tag == " GFile") ok = control.LoadFileInTree(tv, node);
      else continue;
      if (!ok) return false;
      again = true;
      break;
    }
  }
  return true;
}

}  // namespace

int TreeShow(Context& ctx) {
  ViewSession v(ctx, "tree");
  if (!v.Open()) return 1;
  platform::TreeView tv;
  if (!v.control().LoadTree(tv) || !OpenAllFolders(v.control(), tv))
    return v.Fail("cannot load the topology of " + Utf8(v.env()));
  std::string text;
  for (const platform::TreeNode* node : tv.DisplayOrder())
    text += std::string(static_cast<std::size_t>(node->Depth()) * 2, ' ') + Utf8(node->text) + "\n";
  return v.out().Success("tree", Json{{"environment", Utf8(v.env())}, {"tree", Json::parse(tv.ToJson())}}, text);
}

// ---- qvmgr supervise --------------------------------------------------------------------

namespace {

// The columns the text shows, by position in the list (0 is the item text).
constexpr int kShownColumns[] = {0, 1, 2, 5, 6, 15, 17, 24, 25};

std::string SupervisionTable(const platform::ListView& lv) {
  std::vector<std::string> headers;
  for (int c : kShownColumns) headers.push_back(lv.Columns()[static_cast<std::size_t>(c)].text);
  platform::TextTable table(headers);
  for (const platform::ListItem* item : lv.DisplayOrder()) {
    std::vector<std::string> cells;
    for (int c : kShownColumns) cells.push_back(c == 0 ? item->text : item->SubItem(c));
    table.AddRow(cells);
  }
  return table.Render();
}

}  // namespace

Json SupervisionJson(const platform::ListView& lv) {
  static const char* const kKeys[] = {
      "distribution", "run",      "status",  "repriseType", "repriseReceiver", "receiver", "entry",
      "entryType",    "entryDate", "entryJob", "entryProgram", "entryFile",     "entryRrn", "processDate",
      "step",         "read",     "selected", "sent",        "ignored",         "added",    "modified",
      "deleted",      "memberOps", "repaired", "errors",     "refreshDate"};
  Json rows = Json::array();
  for (const platform::ListItem* item : lv.DisplayOrder()) {
    Json row{{"state", Utf8(item->tag)}};
    for (int c = 0; c < 26; ++c) row[kKeys[c]] = Utf8(c == 0 ? item->text : item->SubItem(c));
    rows.push_back(row);
  }
  return rows;
}

int Supervise(Context& ctx, int watch) {
  if (watch < 0) throw UsageError("--watch takes a number of seconds above 0");
  ViewSession v(ctx, "supervise");
  if (!v.Open()) return 1;
  platform::ListView lv;
  if (!v.control().Read_Spv(lv, true)) return v.Fail("cannot read the supervision of " + Utf8(v.env()));
  auto show = [&] {
    if (v.out().json()) {
      v.out().WriteLine(Json{{"command", "supervise"}, {"ok", true}, {"distributions", SupervisionJson(lv)}});
      return;
    }
    std::string text = SupervisionTable(lv);
    if (watch > 0 && ::isatty(STDOUT_FILENO)) text = "\033[H\033[2J" + text;
    v.out().Write(text);
  };
  if (watch == 0) {
    if (v.out().json()) return v.out().Success("supervise", Json{{"distributions", SupervisionJson(lv)}}, "");
    show();
    return 0;
  }
  InterruptScope interrupts;
  show();
  while (SleepUnlessInterrupted(watch)) {
    if (!v.control().Read_Spv(lv, false)) return v.Fail("cannot read the supervision of " + Utf8(v.env()));
    show();
  }
  return 0;
}

// ---- qvmgr list --------------------------------------------------------------------------

std::string TableCode(const std::string& typed, const std::string& option) {
  std::string fic;
  try {
    fic = Trim(To1252Exact(typed, option));
  } catch (const ArgumentError& e) {
    throw UsageError(e.what());
  }
  if (!fic.empty() && fic.size() < 10 && fic.find_first_not_of("0123456789") == std::string::npos)
    fic = std::string(10 - fic.size(), '0') + fic;
  return fic;
}

int ListShow(Context& ctx, const ListOptions& options) {
  const std::string command = "list " + options.what;
  ViewSession v(ctx, command);
  const std::string fic = TableCode(options.table, "--table");
  auto need = [&](const std::string& value, const char* option) {
    if (value.empty()) throw UsageError(command + " needs " + option);
  };
  const std::string& w = options.what;
  if (w == "dists" || w == "mapping") need(v.target(), "--target");
  if (w == "tables" || w == "fields" || w == "mapping") need(v.model(), "--model");
  if (w == "fields" || w == "mapping") need(fic, "--table");
  if (!v.Open()) return 1;
  QVSource& c = v.control();
  platform::ListView lv;
  bool ok = false;
  if (w == "targets") ok = c.LoadCibleInList(lv);
  else if (w == "models") ok = c.LoadGroupInList(lv);
  else if (w == "dists") ok = c.LoadGCInList(lv, v.target());
  else if (w == "tables") ok = v.target().empty() ? c.LoadFileInList(lv, v.model()) : c.LoadFCInList(lv, v.target(), v.model());
  else if (w == "fields") ok = c.LoadZXInList(lv, v.model(), fic);
  else if (w == "mapping") ok = c.LoadZX_ZC_InList(lv, v.target(), v.model(), fic);
  else throw UsageError("list takes targets, models, dists, tables, fields or mapping, not " + w);
  if (!ok) return v.Fail("cannot read the " + w + " of " + Utf8(v.env()));
  std::vector<std::string> headers;
  for (const platform::ColumnHeader& h : lv.Columns()) headers.push_back(h.text);
  platform::TextTable table(headers);
  for (const platform::ListItem* item : lv.DisplayOrder()) {
    std::vector<std::string> cells{item->text};
    for (int i = 1; i < lv.ColumnCount(); ++i) cells.push_back(item->SubItem(i));
    table.AddRow(cells);
  }
  return v.out().Success(command, Json{{"environment", Utf8(v.env())}, {"list", Json::parse(lv.ToJson())}},
                         lv.Count() == 0 ? "(none)\n" : table.Render());
}

}  // namespace qv::cli
