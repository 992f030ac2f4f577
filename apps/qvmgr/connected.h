// A connected manager for one command of qvmgr: the options checked, the
// connection opened the way a scheduler script opens it, the identifiers
// selected, and the connection closed when it goes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/control_objects.h"
#include "qvmgr/commands.h"
#include "qvmgr/options.h"
#include "qvmgr/output.h"
#include "qvmgr/session.h"
#include "qvmgr/variant_json.h"

namespace qv::cli {

using platform::DispResult;
using platform::Variant;

enum Need : unsigned { kNeedEnv = 1, kNeedTarget = 2, kNeedModel = 4, kNeedDistribution = 7 };

// A connected manager for one command: checks the options, connects, selects
// the identifiers given, and closes the connection when it goes.
class Connected {
 public:
  Connected(Context& ctx, std::string command, unsigned need) : ctx_(ctx), command_(std::move(command)) {
    const GlobalOptions& o = ctx.options;
    if (o.source.empty())
      throw UsageError(command_ + " needs --source ADDRESS (or the variable QV_SOURCE)");
    if (!o.type.empty()) type_ = CanonicalSourceType(o.type);
    auto id = [&](const std::string& value, unsigned bit, const char* option, const char* variable,
                  std::size_t width) -> std::string {
      if (value.empty() && (need & bit) == 0) return {};
      return CheckedId(value, option, variable, width, command_);
    };
    env_ = id(o.env, kNeedEnv, "--env", "QV_ENV", 2);
    target_ = id(o.target, kNeedTarget, "--target", "QV_TARGET", 3);
    model_ = id(o.model, kNeedModel, "--model", "QV_MODEL", 3);
    try {
      address_ = To1252Exact(o.source, "--source");
      instance_ = To1252Exact(o.instance, "--instance");
      user_ = To1252Exact(o.user, "--user");
    } catch (const ArgumentError& e) {
      throw UsageError(e.what());
    }
  }

  ~Connected() {
    if (session_) {
      const DispResult open = session_->Call("ConnectionOpen");
      if (open.ok() && open.value.ToBool()) session_->Call("CloseConnection");
    }
  }

  Session& s() { return *session_; }
  Reporter& out() { return ctx_.out; }
  const std::string& command() const { return command_; }
  // The identifiers as the manager keeps them ("PR", "AS1", "CLI").
  const std::string& env() const { return env_; }
  const std::string& target() const { return target_; }
  const std::string& model() const { return model_; }
  std::string Job() const { return JobName(env_, target_, model_); }
  std::string Distribution() const { return env_ + "/" + target_ + "/" + model_; }

  // Creates the manager, connects and selects. On false the failure has been
  // reported and the exit status is 1.
  bool Open() {
    std::string error;
    session_ = Session::Create(error);
    if (!session_) {
      Fail("cannot create QVmanager", OperationError{0, error, "CreateObject"});
      return false;
    }

    const std::string password = ReadPassword(ctx_.options.user);
    if (!type_.empty() && !PutOk("SourceType", Variant(type_))) return false;
    if (!instance_.empty() && !PutOk("InstanceName", Variant(instance_))) return false;
    if (!user_.empty() && !PutOk("UserID", Variant(user_))) return false;
    if (!PutOk("Password", Variant(password))) return false;
    if (!PutOk("SourceAdress", Variant(address_))) return false;

    {
      Progress progress;
      progress.Show("Connecting to " + ctx_.options.source + " ...");
      OperationError e;
      if (!session_->Ok("OpenConnection", e)) {
        progress.Clear();
        Fail("cannot connect to " + ctx_.options.source, e);
        return false;
      }
    }
    if (!Select("EnvironmentID", env_, "environment") || !Select("TargetID", target_, "target") ||
        !Select("ModelID", model_, "model"))
      return false;
    // What the selection reported (an environment not found, say) is told
    // again by the operation that needs it.
    session_->TakeError();
    return true;
  }

  // Reports a false result; returns 1.
  int Fail(const std::string& what, const OperationError& e, const Json& body = Json::object()) {
    return ctx_.out.Failure(command_, what, e, body);
  }

  // Calls a Boolean method of the manager; reports a false result.
  bool Run(const char* member, const std::string& what) {
    OperationError e;
    if (session_->Ok(member, e)) return true;
    Fail(what, e, DistributionJson());
    return false;
  }

  // Reads the distribution to make sure it exists before anything acts on
  // it: one that does not is reported as what failed, with the library's
  // message, and nothing is asked of its job.
  bool DistributionExists(const std::string& what) { return Run("ReadDistribution", what); }

  Json DistributionJson() const {
    Json d = Json::object();
    if (!env_.empty()) d["environment"] = Utf8(env_);
    if (!target_.empty()) d["target"] = Utf8(target_);
    if (!model_.empty()) d["model"] = Utf8(model_);
    Json body = Json::object();
    if (!d.empty()) body["distribution"] = d;
    return body;
  }

  int Success(Json body, const std::string& text) {
    Json doc = DistributionJson();
    for (const auto& item : body.items()) doc[item.key()] = item.value();
    return ctx_.out.Success(command_, doc, text);
  }

 private:
  bool PutOk(const char* member, Variant value) {
    const DispResult r = session_->Put(member, std::move(value));
    if (r.ok()) return true;
    Fail("cannot set " + std::string(member), DispatchFailure("QVmanager", member, r));
    return false;
  }

  // Puts an identifier, then reads back what the control selected: a
  // refused selection (a secured environment, a failed read) leaves it empty.
  bool Select(const char* member, std::string& id, const char* what) {
    if (id.empty()) return true;
    const std::string given = id;
    if (!PutOk(member, Variant(id))) return false;
    const DispResult r = session_->Get(member);
    if (!r.ok()) {
      Fail(std::string("cannot read ") + member, DispatchFailure("QVmanager", member, r));
      return false;
    }
    id = r.value.ToString();
    if (id.empty()) {
      OperationError e = session_->TakeError();
      Fail(std::string("cannot select the ") + what + " " + Utf8(given), e);
      return false;
    }
    return true;
  }

  Context& ctx_;
  std::string command_;
  std::string type_, address_, instance_, user_;
  std::string env_, target_, model_;
  std::unique_ptr<Session> session_;
};

// Returns the FICID --table gives (a table number may leave out its leading
// zeros); throws UsageError "COMMAND needs --table" when it is empty.
std::string TableId(const std::string& table, const std::string& command);

// Reads the fields of model table fic (its FICID) through the control's
// FillFieldListZX into a new list view; false with the error in e.
bool ReadFields(Connected& c, const std::string& fic, std::shared_ptr<platform::ListViewObject>& lv,
                OperationError& e);

}  // namespace qv::cli
