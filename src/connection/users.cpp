// Users and login: the login check, the users of QV_UID and their list views.
#include <mutex>

#include "connection/qvsource.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"
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

std::string QVSource::UserKey(const std::string& env, const std::string& user) const {
  return BuildKey(layout::UserKey, {env, user});
}

bool QVSource::CheckUser(int32_t& userType, const std::string& env) {
  return Guard("CheckUser", [&] {
    const std::string user = ProcessUserID();
    std::string rec(Uid().length, ' ');
    int32_t len = 0;
    int found = 0;
    if (IsAS400()) {
      const std::string key = UserKey(env, user);
      if (Src().Rreadk(files_.QV_UID_RO, rec, len, DllParam::kKeyEqualNoLock, key,
                       static_cast<int32_t>(key.size())) != 0) {
        found = 1;
      } else {
        int32_t code = 0, num = 0;
        std::string text(DllParam::kErrorTextBuffer, ' ');
        lib_->GetLastError(code, num, text);
        if (code != DllParam::kCodeNotFound) {
          QVParamError();
          return false;
        }
      }
    } else {
      found = ReadFirstRow("SELECT * FROM " + prefix_ + "QV_UID WHERE ENVID='" + QuotedEnv(env) +
                               "'" + " AND USERID='" + QuotedUser(user) + "'",
                           rec, len);
      if (found < 0) return false;
    }

    if (found == 0) {
      if (env == "**") {
        // An empty user file lets anyone in as Master.
        bool any = false;
        if (IsAS400()) {
          std::string first(Uid().length, ' ');
          int32_t flen = 0;
          any = Src().Rreadf(files_.QV_UID_RO, first, flen, DllParam::kReadNoLock) != 0;
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
      } else if (!AtLeastOneMasterUser(env)) {
        Step("CheckUser");
        userType = globalUserType_;
        return true;
      }
      Step("CheckUser");
      Refuse(cLoadResString("2132", Trim(user)));
      return false;
    }

    Record r(Uid(), std::string_view(rec).substr(0, std::min<std::size_t>(len, rec.size())));
    if (env == "**" && Trim(r.Get("PASSWORD")) != Trim(ProcessPassword())) {
      Refuse(cLoadResString("2133"));
      return false;
    }
    userType = TypeValue(r.Get("USERTYPE"));
    return true;
  });
}

bool QVSource::AtLeastOneMasterUser(const std::string& env) {
  return Guard("AtLeastOneMasterUser", [&] {
    const std::size_t width = Uid().length;
    if (IsAS400()) {
      int32_t h = -1;
      if (!OpenFile("QV_UID_L0", DllParam::kModeRead, h, "AtLeastOneMasterUser:Open QV_UID_L0"))
        return false;
      Step("AtLeastOneMasterUser");
      const std::string key = BuildKey(layout::EnvKey, {env});
      bool master = false;
      while (!master) {
        std::string block(DllParam::kBlockBuffer, ' ');
        int32_t count = 0;
        if (Src().Rreadblock(h, block, count, static_cast<int32_t>(width), key,
                             static_cast<int32_t>(key.size())) == 0 ||
            count <= 0)
          break;
        for (const Record& u : RecordsFromBlock(Uid(), block, count))
          if (TypeValue(u.Get("USERTYPE")) == 0) master = true;
      }
      CloseFile(h);
      return master;
    }
    int32_t h = -1;
    const std::string sql =
        "SELECT * FROM " + prefix_ + "QV_UID WHERE ENVID ='" + QuotedEnv(env) + "'";
    lastStatement_ = sql;
    std::string row(width, ' ');
    int32_t len = 0;
    bool master = false;
    if (Src().Sread(h, row, len, sql, DllParam::kFirstRow) != 0) {
      int32_t flag = 1;
      do {
        if (TypeValue(Record(Uid(), row.substr(0, len)).Get("USERTYPE")) == 0) {
          master = true;
          break;
        }
        row.assign(width, ' ');
      } while (Src().Snext(h, row, len, flag) != 0 && flag != 0);
    }
    if (h >= 0) Src().Rclose(h);
    return master;
  });
}

bool QVSource::SelectUser(const std::string& env, const std::string& user) {
  return Guard("SelectUser", [&] {
    std::string rec(Uid().length, ' ');
    int32_t len = 0;
    if (IsAS400()) {
      const std::string key = UserKey(env, user);
      return Src().Rreadk(files_.QV_UID, rec, len, DllParam::kKeyEqualLocked, key,
                          static_cast<int32_t>(key.size())) != 0;
    }
    const int r = ReadFirstRow("SELECT * FROM " + prefix_ + "QV_UID WHERE ENVID='" +
                                   QuotedEnv(env) + "' and USERID = '" + QuotedUser(user) + "'",
                               rec, len);
    return r > 0;
  });
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
    if (!SelectUser(env, user)) {
      Step("ChangeUser");
      Refuse(cLoadResString("2206"));
      return false;
    }
    Step("ChangeUser");
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
    if (!SelectUser(env, user)) {
      Step("DeleteEnvUser");
      Refuse(cLoadResString("2206"));
      return false;
    }
    Step("DeleteEnvUser");
    if (IsAS400()) {
      return ChangeRecord(Change::Delete, files_.QV_UID);
    }
    // "DELETE FROM": plain ODBC databases refuse a DELETE without FROM.
    return RunStatement("DELETE FROM " + prefix_ + "QV_UID " + " WHERE ENVID ='" +
                        QuotedEnv(env) + "'" + " AND USERID='" + QuotedUser(user) + "'");
  });
}

// Deletes every record of an update-mode logical file with the given key.
static bool DeleteAllByKey(DllParam& lib, int32_t h, const std::string& key, std::size_t recLen) {
  for (;;) {
    std::string rec(recLen, ' ');
    int32_t len = 0;
    if (lib.Rreadk(h, rec, len, DllParam::kKeyEqualLocked, key, static_cast<int32_t>(key.size())) ==
        0)
      return true;
    if (lib.Rdelete(h) == 0) return false;
  }
}

bool QVSource::DeleteUser(const std::string& user) {
  return Guard("DeleteUser", [&] {
    if (IsAS400()) {
      int32_t h = -1;
      if (!OpenFile("QV_UID_L1", DllParam::kModeUpdate, h, "DeleteUser:Open QV_UID_L1"))
        return false;
      Step("DeleteUser");
      const bool ok = DeleteAllByKey(Src(), h, PadRight(user, layout::kUserIdWidth), Uid().length);
      if (!ok) QVParamError();
      CloseFile(h);
      return ok;
    }
    return RunStatement("DELETE FROM " + prefix_ + "QV_UID WHERE USERID ='" + QuotedUser(user) +
                        "'");
  });
}

bool QVSource::DeleteUserEnv(const std::string& env) {
  return Guard("DeleteUserEnv", [&] {
    if (IsAS400()) {
      int32_t h = -1;
      if (!OpenFile("QV_UID_L0", DllParam::kModeUpdate, h, "DeleteUserEnv:Open QV_UID_L0"))
        return false;
      Step("DeleteUserEnv");
      const bool ok = DeleteAllByKey(Src(), h, PadRight(env, layout::kEnvIdWidth), Uid().length);
      if (!ok) QVParamError();
      CloseFile(h);
      return ok;
    }
    return RunStatement("DELETE FROM " + prefix_ + "QV_UID WHERE ENVID ='" + QuotedEnv(env) +
                        "'");
  });
}

bool QVSource::ReadUsersOf(const std::string& env, platform::ListView& lv) {
  const std::size_t width = Uid().length;
  auto add = [&](const Record& u) {
    const std::string id = Trim(u.Get("USERID"));
    const std::string key = "U" + std::string(u.Get("ENVID")) + id;
    if (lv.Find(key) != nullptr) return;
    platform::ListItem& item = lv.Add(key, id);
    item.SetSubItem(1, TypeName(TypeValue(u.Get("USERTYPE"))));
    item.tag = std::string(u.Get("ENVID"));
  };
  if (IsAS400()) {
    int32_t h = -1;
    const std::string step = errorStep_;
    if (!OpenFile("QV_UID_L0", DllParam::kModeRead, h, step + ":Open QV_UID_L0")) return false;
    Step(step);
    const std::string key = BuildKey(layout::EnvKey, {env});
    for (;;) {
      std::string block(DllParam::kBlockBuffer, ' ');
      int32_t count = 0;
      if (Src().Rreadblock(h, block, count, static_cast<int32_t>(width), key,
                           static_cast<int32_t>(key.size())) == 0 ||
          count <= 0)
        break;
      for (const Record& u : RecordsFromBlock(Uid(), block, count)) add(u);
    }
    CloseFile(h);
    return true;
  }
  int32_t h = -1;
  const std::string sql =
      "SELECT * FROM " + prefix_ + "QV_UID WHERE ENVID ='" + QuotedEnv(env) + "'";
  lastStatement_ = sql;
  std::string first = DllParam::kFirstBlock;
  for (;;) {
    std::string block(DllParam::kBlockBuffer, ' ');
    int32_t len = 0, flag = 0;
    if (Src().Sreadblock(h, block, len, sql, first, flag) == 0 || len <= 0) break;
    first = DllParam::kNextBlock;
    for (const Record& u : RecordsFromBlock(Uid(), block, len / width)) add(u);
    if (flag == 0) break;
  }
  if (h >= 0) Src().Rclose(h);
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
