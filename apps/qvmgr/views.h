// The commands of qvmgr that show what a management screen shows: the
// topology tree, the list views and the supervision list. They drive the
// control (QVSource) directly, as the screen does, so that its change
// events reach the views they keep in step.
#pragma once

#include <memory>
#include <string>

#include "connection/qvsource.h"
#include "qvmgr/variant_json.h"
#include "qvmgr/commands.h"

namespace qv::platform {
class ListView;
}

namespace qv::cli {

// A control connected for one command: checks the global options, connects
// with the process login, selects the environment (and the target and model
// given) and closes the connection when it goes.
class ViewSession {
 public:
  // Throws UsageError for a missing --source or --env.
  ViewSession(Context& ctx, std::string command);
  ~ViewSession();
  ViewSession(const ViewSession&) = delete;
  ViewSession& operator=(const ViewSession&) = delete;

  // Checks the codes given (a code longer than its field, or with blanks
  // inside, is refused naming it), connects and selects the environment,
  // which must exist unless newEnvironment. On false the failure has been
  // reported (exit status 1).
  bool Open(bool newEnvironment = false);
  QVSource& control() { return *control_; }
  Reporter& out() { return ctx_.out; }
  const std::string& command() const { return command_; }
  const std::string& env() const { return env_; }
  const std::string& target() const { return target_; }
  const std::string& model() const { return model_; }
  // Reports the control's error state after a false result; returns 1.
  int Fail(const std::string& what);
  // Reports a refusal decided before anything was asked of the control.
  int Refuse(const std::string& what, const std::string& reason);

 private:
  Context& ctx_;
  std::string command_;
  std::string type_, address_, instance_, user_, env_, target_, model_;
  std::unique_ptr<QVSource> control_;
};

// qvmgr tree: the environment's topology, every folder opened; text
// indented two blanks a level, or the tree view's JSON.
int TreeShow(Context& ctx);

// qvmgr supervise: the supervision list; with watch > 0 read again every
// watch seconds until interrupted (in place on a terminal).
int Supervise(Context& ctx, int watch);

// Returns the rows of a supervision list as JSON objects: the state tag and
// each column under its name (distribution, run, status, ..., refreshDate).
Json SupervisionJson(const platform::ListView& lv);

// qvmgr list WHAT: targets, models, dists (of --target), tables (of --model;
// with --target those of the distribution), fields (of --model and table)
// or mapping (of --target, --model and table). Text: a table of every
// column; JSON: the list view's document.
struct ListOptions {
  std::string what;
  std::string table;  // FICID or its number, as typed
};
int ListShow(Context& ctx, const ListOptions& options);

// Returns a table number as its FICID ("3" gives "0000000003"); other texts
// come back as typed, in Windows-1252. Throws UsageError for a text that
// has no Windows-1252 form.
std::string TableCode(const std::string& typed, const std::string& option);

}  // namespace qv::cli
