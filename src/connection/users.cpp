// Users and login: the login check, the users of QV_UID and their list views.
#include <algorithm>
#include <mutex>

#include "connection/qvsource.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"
#include "store/record_rules.h"
#include "store/records.h"
#include "store/sqltext.h"

namespace qv {
namespace {

const Layout& Uid() { return layout::QV_UID; }

struct ProcessLogin {
  std::mutex lock;
  std::string user, password;
};

ProcessLogin& Login() {
  static ProcessLogin login;
  return login;
}

// Returns Val() of a user type field: its leading digits, 0 when none.
int32_t TypeValue(std::string_view text) {
  const std::string t = Trim(text);
  int32_t v = 0;
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) v = v * 10 + (t[i] - '0');
  return (!t.empty() && t[0] == '-') ? -v : v;
}

// Return an environment code or a user cut to its field and quoted, as the
// statements on QV_UID compare them.
std::string QuotedEnv(std::string_view env) { return SqlField(env, layout::kEnvIdWidth); }
std::string QuotedUser(std::string_view user) { return SqlField(user, layout::kUserIdWidth); }

std::string TypeName(int32_t type) {
  return cLoadResString(type == 0 ? "12" : type == 1 ? "13" : "14");
}

}  // namespace

void SetProcessUserID(const std::string& user) {
  std::lock_guard<std::mutex> g(Login().lock);
  Login().user = user;
}
void SetProcessPassword(const std::string& password) {
  std::lock_guard<std::mutex> g(Login().lock);
  Login().password = password;
}
std::string ProcessUserID() {
  std::lock_guard<std::mutex> g(Login().lock);
  return Login().user;
}
std::string ProcessPassword() {
  std::lock_guard<std::mutex> g(Login().lock);
  return Login().password;
}

bool QVSource::CheckUser(int32_t& userType, const std::string& env) {
  return Guard("CheckUser", [&] {
    const std::string user = ProcessUserID();
    std::string rec(Uid().length, ' ');
    const Lookup found =
        ReadItem(files_.QV_UID_RO, KeyFromCodes(layout::UserKey, {env, user}), false,
                 "SELECT * FROM " + prefix_ + "QV_UID WHERE ENVID='" + QuotedEnv(env) + "'" +
                     " AND USERID='" + QuotedUser(user) + "'",
                 rec);
    if (found == Lookup::Failed) return false;

    if (found == Lookup::Missing) {
      if (env == "**") {
        // An empty user file lets anyone in as Master; one that cannot be
        // read lets nobody in.
        bool any = false;
        if (IsAS400()) {
          std::string first(Uid().length, ' ');
          int32_t flen = 0;
          any = Src().Rreadf(files_.QV_UID_RO, first, flen, DllParam::kReadNoLock) != 0;
          if (!any && AfterMiss() == Lookup::Failed) return false;
        } else {
          std::string count(64, ' ');
          int32_t clen = 0;
          const int r = ReadFirstRow("SELECT COUNT(*) FROM " + prefix_ + "QV_UID ", count, clen);
          if (r < 0) return false;
          any = r > 0 && TypeValue(std::string_view(count).substr(0, clen)) != 0;
        }
        if (!any) {
          userType = 0;
          return true;
        }
      } else {
        // Without a Master the environment takes the global type; users
        // that cannot be read say nothing of a Master, so nobody gets in.
        const Lookup master = FindMasterUser(env);
        if (master == Lookup::Failed) return false;
        if (master == Lookup::Missing) {
          Step("CheckUser");
          userType = globalUserType_;
          return true;
        }
      }
      Step("CheckUser");
      Refuse(cLoadResString("2132", Trim(user)));
      return false;
    }

    Record r(Uid(), rec);
    if (env == "**" && Trim(r.Get("PASSWORD")) != Trim(ProcessPassword())) {
      Refuse(cLoadResString("2133"));
      return false;
    }
    userType = TypeValue(r.Get("USERTYPE"));
    return true;
  });
}

QVSource::Lookup QVSource::FindMasterUser(const std::string& env) {
  Step("AtLeastOneMasterUser");
  const ItemKey key = KeyFromCodes(layout::EnvKey, {env});
  if (IsAS400()) {
    std::vector<Record> users;
    if (!ReadBlocks("AtLeastOneMasterUser", "QV_UID_L0", Uid(), key, "", users))
      return Lookup::Failed;
    for (const Record& u : users)
      if (TypeValue(u.Get("USERTYPE")) == 0) return Lookup::Found;
    return Lookup::Missing;
  }
  if (!key.names) return Lookup::Missing;
  const std::size_t width = Uid().length;
  int32_t h = FreshStatement();
  const std::string sql =
      "SELECT * FROM " + prefix_ + "QV_UID WHERE ENVID ='" + QuotedEnv(env) + "'";
  lastStatement_ = sql;
  std::string row(width, ' ');
  int32_t len = 0;
  Lookup master = Lookup::Missing;
  if (Src().Sread(h, row, len, sql, DllParam::kFirstRow) == 0) {
    master = AfterMiss();
  } else {
    for (;;) {
      const std::size_t n =
          std::min<std::size_t>(static_cast<std::size_t>(std::max(len, 0)), width);
      if (TypeValue(Record(Uid(), row.substr(0, n)).Get("USERTYPE")) == 0) {
        master = Lookup::Found;
        break;
      }
      row.assign(width, ' ');
      int32_t flag = 1;
      if (Src().Snext(h, row, len, flag) == 0) {
        master = AfterMiss();
        break;
      }
      if (flag == 0) break;
    }
  }
  ReleaseStatement(h);
  return master;
}

bool QVSource::AtLeastOneMasterUser(const std::string& env) {
  return Guard("AtLeastOneMasterUser", [&] { return FindMasterUser(env) == Lookup::Found; });
}

QVSource::Lookup QVSource::LockUser(const std::string& env, const std::string& user) {
  std::string rec(Uid().length, ' ');
  return ReadItem(files_.QV_UID, KeyFromCodes(layout::UserKey, {env, user}), true,
                  "SELECT * FROM " + prefix_ + "QV_UID WHERE ENVID='" + QuotedEnv(env) +
                      "' and USERID = '" + QuotedUser(user) + "'",
                  rec);
}

bool QVSource::SelectUser(const std::string& env, const std::string& user) {
  return Guard("SelectUser", [&] { return LockUser(env, user) == Lookup::Found; });
}

bool QVSource::AddUser(const std::string& record) {
  return Guard("AddUser", [&] {
    const Record r(Uid(), record);
    if (IsAS400()) {
      return ChangeRecord(Change::Write, files_.QV_UID, r.image());
    }
    return RunStatement("INSERT INTO " + prefix_ +
                        "QV_UID (ENVID, USERID, USERTYPE, PASSWORD, LEVELPWD, FILLER) " +
                        " VALUES(" + NtValueList(r) + ")");
  });
}

bool QVSource::ChangeUser(const std::string& record, const std::string& env,
                          const std::string& user) {
  return Guard("ChangeUser", [&] {
    const Lookup found = LockUser(env, user);
    Step("ChangeUser");
    if (!Present(found, "2206")) return false;
    const Record r(Uid(), record);
    if (IsAS400()) {
      return ChangeRecord(Change::Update, files_.QV_UID, r.image());
    }
    // Returns field f of r cut to its width and quoted.
    auto Column = [&](const char* f) { return SqlField(r.Get(f), Uid()[f].width); };
    return RunStatement("UPDATE " + prefix_ + "QV_UID SET " +
                        "ENVID = '" + Column("ENVID") + "'" +
                        ", USERID = '" + Column("USERID") + "'" +
                        ", USERTYPE = '" + Column("USERTYPE") + "'" +
                        ", PASSWORD = '" + Column("PASSWORD") + "'" +
                        ", LEVELPWD = '" + Column("LEVELPWD") + "'" +
                        ", FILLER = '" + Column("FILLER") + "'" + " " +
                        " WHERE ENVID ='" + QuotedEnv(env) + "'" +
                        " AND USERID='" + QuotedUser(user) + "'");
  });
}

bool QVSource::DeleteEnvUser(const std::string& env, const std::string& user) {
  return Guard("DeleteEnvUser", [&] {
    const Lookup found = LockUser(env, user);
    Step("DeleteEnvUser");
    if (!Present(found, "2206")) return false;
    if (IsAS400()) {
      return ChangeRecord(Change::Delete, files_.QV_UID);
    }
    // "DELETE FROM": plain ODBC databases refuse a DELETE without FROM.
    return RunStatement("DELETE FROM " + prefix_ + "QV_UID " + " WHERE ENVID ='" +
                        QuotedEnv(env) + "'" + " AND USERID='" + QuotedUser(user) + "'");
  });
}

bool QVSource::DeleteUser(const std::string& user) {
  return Guard("DeleteUser", [&] {
    // QV_UID_L1 is keyed by USERID alone: the user key without ENVID.
    return DeleteLeaves("QV_UID_L1", Uid().length,
                        KeyFromCodes(layout::UserKey.fields.last(1), {user}),
                        "DELETE FROM " + prefix_ + "QV_UID WHERE USERID ='" + QuotedUser(user) +
                            "'");
  });
}

bool QVSource::DeleteUserEnv(const std::string& env) {
  return Guard("DeleteUserEnv", [&] {
    return DeleteLeaves("QV_UID_L0", Uid().length, KeyFromCodes(layout::EnvKey, {env}),
                        "DELETE FROM " + prefix_ + "QV_UID WHERE ENVID ='" + QuotedEnv(env) + "'");
  });
}

bool QVSource::ReadUsersOf(const std::string& env, platform::ListView& lv) {
  const std::string step = errorStep_;  // the list operation's
  std::vector<Record> users;
  if (!ReadBlocks(step, "QV_UID_L0", Uid(), KeyFromCodes(layout::EnvKey, {env}),
                  "SELECT * FROM " + prefix_ + "QV_UID WHERE ENVID ='" + QuotedEnv(env) + "'",
                  users))
    return false;
  for (const Record& u : users) {
    const std::string id = Trim(u.Get("USERID"));
    const std::string key = "U" + std::string(u.Get("ENVID")) + id;
    if (lv.Find(key) != nullptr) continue;
    platform::ListItem& item = lv.Add(key, id);
    item.SetSubItem(1, TypeName(TypeValue(u.Get("USERTYPE"))));
    item.tag = std::string(u.Get("ENVID"));
  }
  return true;
}

bool QVSource::LoadUserInList(platform::ListView& lv) {
  return Guard("LoadUserInList", [&] {
    lv.Clear();
    lv.ClearColumns();
    lv.AddColumn(cLoadResString("2202"));
    lv.AddColumn(cLoadResString("2208"));
    return ReadUsersOf("**", lv);
  });
}

bool QVSource::LoadEnvUserInList(platform::ListView& lv) {
  return Guard("LoadEnvUserInList", [&] {
    lv.Clear();
    lv.ClearColumns();
    lv.AddColumn(cLoadResString("2202"));
    lv.AddColumn(cLoadResString("2208"));
    if (!ReadUsersOf("**", lv)) return false;
    return ReadUsersOf(sel_.env, lv);
  });
}

}  // namespace qv
