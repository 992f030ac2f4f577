// Current selection of the control: environment, target, model and table.
#include "connection/qvsource.h"
#include "store/records.h"

namespace qv {

void QVSource::env(const std::string& value) {
  Guard("env", [&] {
    int32_t type = 0;
    // While the control is not connected there is nothing to read and
    // nothing to protect: the code is kept, and OpenConnection selects it
    // again with the user check.
    const bool connected = ConnectionOpen();
    if (connected) {
      std::string rec(layout::QV_EX.length, ' ');
      const Lookup found = DetailEnvironmentRead(rec, value);
      // A read that failed says nothing of SECURE: keep the selection rather
      // than grant full rights in an environment that may be secured.
      if (found == Lookup::Failed) return;
      if (found == Lookup::Found && Record(layout::QV_EX, rec).Get("SECURE") == "1") {
        if (!CheckUser(type, value)) return;  // refused: nothing changes
      }
    }
    // A missing environment is reported (2022) and selected all the same, as
    // an unsecured one.
    envUnchecked_ = !connected;
    currentUserType_ = type;
    const std::string previous = lastEnv_;
    sel_ = Selection{};
    sel_.env = value;
    if (value != previous) CloseQVsrv();
    lastEnv_ = value;
  });
}

void QVSource::SelectKeptEnvironment() {
  if (!envUnchecked_) return;
  envUnchecked_ = false;
  if (sel_.env.empty()) return;
  const Selection kept = sel_;
  sel_ = Selection{};
  env(kept.env);
  // Refused or unreadable: nothing stays selected.
  if (sel_.env == kept.env) sel_ = kept;
}

void QVSource::tgt(const std::string& value) {
  const std::string e = sel_.env;
  sel_ = Selection{};
  sel_.env = e;
  sel_.tgt = value;
  if (!value.empty()) lastTarget_ = value;
}

void QVSource::Grp(const std::string& value) {
  const std::string e = sel_.env, t = sel_.tgt;
  sel_ = Selection{};
  sel_.env = e;
  sel_.tgt = t;
  sel_.grp = value;
  if (!value.empty()) lastModel_ = value;
}

void QVSource::Fic(const std::string& value) {
  sel_.fic = value;
  sel_.ficName.clear();
  sel_.ficDesc.clear();
}

}  // namespace qv
