// Implements the NT side of the embedded source: statement handles, SQL run
// through the dialect adapter, rows as fixed-width images, the emulated
// system statements, data-source logins and the settings sections.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "dllparam/embedded/embedded_internal.h"
#include "store/access_paths.h"
#include "store/record_layouts.h"

namespace qv::embedded {
namespace {

constexpr int32_t kErrInvalidObject = 208;      // invalid object name
constexpr int32_t kErrNoProcedure = 2812;       // stored procedure not found
constexpr int32_t kErrNoDatabase = 911;         // database does not exist
constexpr int32_t kErrLoginFailed = 18456;      // login failed
constexpr int32_t kErrNoUser = 1435;            // Oracle: user does not exist
constexpr int32_t kErrSessionOption = 2248;     // Oracle: invalid ALTER SESSION option

// Width of the columns of the rows the SQL Server system procedures return.
constexpr size_t kProcedureColumn = 128;

// Strips "QV_USRDATA..", "QV_USRDATA.", "QV_USRDATA/" and a member from a file name.
std::string StoreTableName(std::string name) {
  name = UpperText(TrimText(name));
  for (std::string_view prefix : {"QV_USRDATA..", "QV_USRDATA.", "QV_USRDATA/"})
    if (name.rfind(prefix, 0) == 0) {
      name = name.substr(prefix.size());
      break;
    }
  if (auto paren = name.find('('); paren != std::string::npos) name = name.substr(0, paren);
  return name;
}

bool IsStoreTable(const std::string& name) {
  if (name == "QV_MX") return true;
  for (const Layout* t : StoreTables())
    if (t->table == name) return true;
  return FindAccessPath(name) != nullptr;
}

// Parses "KEY=value;KEY={value};..." into upper-cased keys and trimmed values.
std::map<std::string, std::string> ParseConnectString(std::string_view text) {
  std::map<std::string, std::string> out;
  size_t i = 0;
  while (i < text.size()) {
    size_t eq = text.find('=', i);
    if (eq == std::string_view::npos) break;
    std::string key = UpperText(TrimText(text.substr(i, eq - i)));
    size_t v = eq + 1;
    while (v < text.size() && text[v] == ' ') ++v;
    std::string value;
    if (v < text.size() && text[v] == '{') {
      size_t close = text.find('}', v);
      if (close == std::string_view::npos) close = text.size();
      value = std::string(text.substr(v + 1, close - v - 1));
      i = text.find(';', close);
    } else {
      size_t semi = text.find(';', v);
      value = TrimText(text.substr(v, semi == std::string_view::npos ? std::string_view::npos : semi - v));
      i = semi;
    }
    if (!key.empty()) out[key] = value;
    if (i == std::string_view::npos) break;
    ++i;
  }
  return out;
}

}  // namespace

std::optional<std::string> SettingOf(Db& db, const std::string& section, const std::string& key) {
  Stmt st = db.prepareOnce("SELECT value FROM qvs_setting WHERE section = ? AND key = ?");
  st.bind(1, section);
  st.bind(2, key);
  if (!st.step()) return std::nullopt;
  return std::string(st.columnText(0));
}

EmbeddedSource::Handle& EmbeddedSource::StatementHandle(int32_t& hStmt) {
  if (hStmt < 0) {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "SQL statements are served by NT sources only");
    hStmt = OpenStatementHandle(c, "");
  }
  Handle& hd = HandleOf(hStmt);
  if (!hd.statement) Fail(kCodeBadCall, "handle " + std::to_string(hStmt) + " is not a statement handle");
  return hd;
}

int32_t EmbeddedSource::OpenStatementHandle(Connection& c, const std::string& file) {
  std::string name = StoreTableName(file);
  if (!name.empty() && !IsStoreTable(name))
    Fail(kCodeRefused, "Invalid object name '" + TrimText(file) + "'.", kErrInvalidObject);
  auto hd = std::make_unique<Handle>();
  hd->id = NewHandleId();
  hd->conn = &c;
  hd->statement = true;
  hd->file = name;
  int32_t id = hd->id;
  c.handles.push_back(id);
  handles_[id] = std::move(hd);
  return id;
}

// Answers the statements that the source's system handles itself rather than
// its tables: the SQL Server installation checks and "use", the Oracle
// session settings. Returns false for any other statement. Rows of a query go
// to hd (when given).
bool EmbeddedSource::SpecialStatement(Connection& c, Handle* hd, const std::string& sql) {
  // The statements answered here read or set; a data change never is one.
  if (IsDataChange(sql)) return false;
  const std::string canon = CanonicalSql(sql);
  auto words = [&](std::string_view prefix) { return canon.rfind(prefix, 0) == 0; };

  // VACUUM rewrites the store or writes a copy anywhere (INTO): no client's.
  if (canon.substr(0, canon.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_")) == "VACUUM")
    Fail(kCodeRefused, "VACUUM is not served: it writes files outside the statement's tables");

  if (JournalStatement(c, hd, sql)) return true;

  if (words("EXEC ") || words("EXECUTE ")) {
    std::string proc = canon.substr(canon.find(' ') + 1);
    proc = proc.substr(0, proc.find(' '));
    if (c.kind != SourceKind::SQLServer) Fail(kCodeRefused, "stored procedures are not served by this source");
    std::string shortName = proc.rfind("MASTER..", 0) == 0 ? proc.substr(8) : std::string();
    static const char* const kChecks[] = {"SP_HELPDISTRIBUTOR", "SP_HELPDISTRIBUTIONDB", "SP_HELPDISTPUBLISHER",
                                          "SP_HELPSUBSCRIBERINFO"};
    if (std::find(std::begin(kChecks), std::end(kChecks), shortName) == std::end(kChecks))
      Fail(kCodeRefused, "Could not find stored procedure '" + proc + "'.", kErrNoProcedure);
    Stmt st = c.db.prepareOnce("SELECT col1, col2, error FROM qvs_sysproc WHERE proc = ?");
    st.bind(1, shortName);
    std::optional<std::string> row;
    if (st.step()) {
      if (!st.columnIsNull(2)) Fail(kCodeRefused, std::string(st.columnText(2)));
      if (!st.columnIsNull(0)) {
        std::string first(st.columnText(0));
        if (first == "*SERVER") first = c.login ? c.login->server : std::string();
        row = Fit(first, kProcedureColumn) + Fit(st.columnText(1), kProcedureColumn);
      }
    }
    if (hd && row) hd->rows.push_back(*row);
    return true;
  }

  if (CatalogStatement(c, hd, canon)) return true;

  if (words("USE ")) {
    if (c.kind != SourceKind::SQLServer) Fail(kCodeRefused, "USE is not served by this source");
    std::string database = TrimText(canon.substr(4));
    if (database != kLibraryName)
      Fail(kCodeRefused, "Database '" + database + "' does not exist. Make sure that the name is entered correctly.",
           kErrNoDatabase);
    return true;
  }

  if (words("ALTER SESSION SET ")) {
    if (c.kind != SourceKind::Oracle) Fail(kCodeRefused, "ALTER SESSION is not served by this source");
    std::string setting = canon.substr(18);
    auto eq = setting.find('=');
    std::string option = eq == std::string::npos ? TrimText(setting) : TrimText(setting.substr(0, eq));
    std::string value = eq == std::string::npos ? std::string() : TrimText(setting.substr(eq + 1));
    if (option == "NLS_NUMERIC_CHARACTERS" && value == "'. '") return true;
    if (option == "CURRENT_SCHEMA") {
      if (value == kLibraryName) return true;
      Fail(kCodeRefused, "ORA-01435: user does not exist", kErrNoUser);
    }
    Fail(kCodeRefused, "ORA-02248: invalid option for ALTER SESSION", kErrSessionOption);
  }
  return false;
}

namespace {

// Lets the authorizer check what the connection prepares meanwhile: served
// SQL, and a kept statement that SQLite prepares again as it runs after the
// store's tables changed.
class ServingSql {
 public:
  explicit ServingSql(EmbeddedSource::Connection& c) : c_(c) { c_.servingSql = true; }
  ~ServingSql() { c_.servingSql = false; }
  ServingSql(const ServingSql&) = delete;
  ServingSql& operator=(const ServingSql&) = delete;

 private:
  EmbeddedSource::Connection& c_;
};

// Takes out of the statements the connection kept the most recent one that
// matches into served. Returns false when none does.
template <typename Match>
bool TakeKept(EmbeddedSource::Connection& c, Match match, ServedStatement& served) {
  for (auto it = c.kept.begin(); it != c.kept.end(); ++it) {
    if (!match(*it)) continue;
    served = std::move(*it);
    c.spare.splice(c.spare.begin(), c.kept, it);
    return true;
  }
  return false;
}

// Returns the prepared statement of served.adapted: the one the connection
// kept from an earlier run of the same text, else a new one checked by the
// authorizer; tail receives what follows its first statement.
void PrepareServed(EmbeddedSource::Connection& c, ServedStatement& served, std::string_view& tail) {
  tail = {};
  std::string adapted = std::move(served.adapted);
  if (TakeKept(c, [&](const ServedStatement& k) { return k.adapted == adapted; }, served)) return;
  ServingSql serving(c);
  served.shape.clear();
  served.stmt = c.db.prepareOnce(adapted, &tail);
  served.adapted = std::move(adapted);
}

// Adapts sql for the store and prepares it with its string literals bound as
// parameters, so that the statement kept from this run serves the next one
// of the same shape, which it finds by shape without adapting it again. A
// statement that SQLite refuses in that form is prepared as written, so that
// its error is the one its own text gets. The values bound stay in
// shape.values, which must outlive the run; tail receives what follows the
// first statement.
ServedStatement PrepareAdapted(EmbeddedSource::Connection& c, const std::string& sql, SqlShape& shape,
                               std::string_view& tail) {
  tail = {};
  const SqlDialect dialect = DialectOf(c.kind);
  const bool shaped = ShapeOfSql(sql, dialect, shape) && !shape.text.empty();
  ServedStatement served;
  if (!shaped || !TakeKept(c, [&](const ServedStatement& k) { return k.shape == shape.text; }, served)) {
    std::vector<std::string> values;
    served.adapted = AdaptSql(sql, dialect, &values);
    try {
      PrepareServed(c, served, tail);
    } catch (const StoreError&) {
      if (values.empty()) throw;
      values.clear();
      served.adapted = AdaptSql(sql, dialect);
      PrepareServed(c, served, tail);
    }
    // Every literal a parameter, in order: the statement serves the shape.
    if (shaped && values == shape.values) served.shape = shape.text;
    shape.values = std::move(values);
  }
  if (served.stmt.valid())
    for (size_t i = 0; i < shape.values.size(); ++i)
      served.stmt.bindStatic(static_cast<int>(i) + 1, shape.values[i]);
  return served;
}

}  // namespace

void KeepServed(EmbeddedSource::Connection& c, ServedStatement served) {
  if (!served.stmt.valid()) return;
  served.stmt.reset();
  for (const ServedStatement& k : c.kept)
    if (k.adapted == served.adapted) return;
  if (c.spare.empty()) {
    c.kept.push_front(std::move(served));
  } else {
    c.spare.front() = std::move(served);
    c.kept.splice(c.kept.begin(), c.spare, c.spare.begin());
  }
  if (c.kept.size() > kKeptStatements) c.kept.pop_back();
}

void EmbeddedSource::CheckServed(const Stmt& st, std::string_view tail) {
  if (!st.valid()) Fail(kCodeRefused, "empty statement");
  if (!TrimText(tail).empty()) Fail(kCodeRefused, "only one statement per call is served by the embedded source");
}

void EmbeddedSource::RunQuery(Handle& hd, const std::string& sql) {
  Connection& c = *hd.conn;
  KeepServed(c, std::move(hd.served));
  hd.served = {};
  hd.rows.clear();
  hd.widths.clear();
  hd.active = false;
  hd.exhausted = true;
  if (!c.login) Fail(kCodeRefused, "not logged in to a database: ConnectDSN first");
  if (UpperText(sql).find("QV_SPV") != std::string::npos) RefreshSupervision(c.db, c.kind);
  if (SpecialStatement(c, &hd, sql)) {
    hd.active = true;
    return;
  }
  std::string_view tail;
  hd.served = PrepareAdapted(c, sql, hd.bound, tail);
  CheckServed(hd.served.stmt, tail);
  hd.active = true;
  hd.exhausted = false;
}

bool EmbeddedSource::FetchRow(Handle& hd, std::string& row) {
  if (!hd.rows.empty()) {
    row = std::move(hd.rows.front());
    hd.rows.pop_front();
    return true;
  }
  if (hd.exhausted) return false;
  bool more = false;
  {
    ServingSql serving(*hd.conn);
    more = hd.served.stmt.step();
  }
  if (!more) {
    hd.exhausted = true;
    KeepServed(*hd.conn, std::move(hd.served));  // ends the read of the store
    hd.served = {};
    return false;
  }
  // The columns are known once the statement runs: a kept statement is
  // prepared again when the store's tables changed.
  const Stmt& st = hd.served.stmt;
  if (hd.widths.empty())
    for (int i = 0; i < st.columnCount(); ++i) hd.widths.push_back(DeclaredWidth(sqlite3_column_decltype(st.get(), i)));
  row.clear();
  for (int i = 0; i < static_cast<int>(hd.widths.size()); ++i) {
    std::string_view v = st.columnIsNull(i) ? std::string_view() : st.columnText(i);
    int w = hd.widths[static_cast<size_t>(i)];
    if (w <= 0) {
      row.append(v);
    } else if (v.size() >= static_cast<size_t>(w)) {
      row.append(v.substr(0, static_cast<size_t>(w)));
    } else {
      row.append(v);
      row.append(static_cast<size_t>(w) - v.size(), ' ');
    }
  }
  return true;
}

void EmbeddedSource::RunAction(Connection& c, const std::string& sql) {
  if (!c.login) Fail(kCodeRefused, "not logged in to a database: ConnectDSN first");
  if (SpecialStatement(c, nullptr, sql)) return;
  std::string_view tail;
  ServedStatement served = PrepareAdapted(c, sql, c.action, tail);
  CheckServed(served.stmt, tail);
  {
    ServingSql serving(c);
    while (served.stmt.step()) {
    }
  }
  KeepServed(c, std::move(served));
  if (c.inUnit && !c.db.inTransaction()) {
    c.inUnit = false;
    Fail(kCodeRefused, "the unit of work was rolled back by the store");
  }
}

int32_t EmbeddedSource::Sread(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql, int32_t option) {
  return dllparam::SqlRowReads<EmbeddedSource>::Sread(*this, hStmt, buf, len, sql, option);
}

int32_t EmbeddedSource::Snext(int32_t& hStmt, std::string& rec, int32_t& len, int32_t& flag) {
  return dllparam::SqlRowReads<EmbeddedSource>::Snext(*this, hStmt, rec, len, flag);
}

int32_t EmbeddedSource::Sreadblock(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                         const std::string& first, int32_t& flag) {
  return dllparam::SqlRowReads<EmbeddedSource>::Sreadblock(*this, hStmt, buf, len, sql, first, flag);
}

int32_t EmbeddedSource::Saction(const std::string& sql) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "SQL statements are served by NT sources only");
    RunAction(c, sql);
    return 1;
  });
}

int32_t EmbeddedSource::ConnectDSN(const std::string& connect, const std::string& user,
                                   const std::string& password, std::string& out) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    auto refuse = [&](const std::string& text, int32_t errNum) {
      dllparam::PutInBuffer(out, text);
      Fail(kCodeRefused, text, errNum);
    };
    std::map<std::string, std::string> kv = ParseConnectString(TrimText(connect));
    std::string uid = TrimText(user).empty() ? kv["UID"] : TrimText(user);
    std::string pwd = TrimText(password).empty() ? kv["PWD"] : TrimText(password);

    Stmt st;
    if (!kv["DSN"].empty()) {
      st = c.db.prepareOnce("SELECT name, driver, server, instance, database, uid, pwd FROM qvs_dsn WHERE name = ?");
      st.bind(1, kv["DSN"]);
    } else if (!kv["SERVER"].empty() && !kv["DBQ"].empty()) {
      st = c.db.prepareOnce(
          "SELECT name, driver, server, instance, database, uid, pwd FROM qvs_dsn WHERE server = ? AND instance = ?");
      st.bind(1, kv["SERVER"]);
      st.bind(2, kv["DBQ"]);
    } else if (!kv["SERVER"].empty()) {
      st = c.db.prepareOnce(
          "SELECT name, driver, server, instance, database, uid, pwd FROM qvs_dsn WHERE "
          "(CASE WHEN instance = '' THEN server ELSE server || '\\' || instance END) = ? COLLATE NOCASE");
      st.bind(1, kv["SERVER"]);
    } else {
      refuse("Data source name not found and no default driver specified", 0);
    }
    struct Candidate {
      std::string name, driver, server, instance, database, uid, pwd;
    };
    std::vector<Candidate> candidates;
    while (st.step())
      candidates.push_back({std::string(st.columnText(0)), std::string(st.columnText(1)),
                            std::string(st.columnText(2)), std::string(st.columnText(3)),
                            std::string(st.columnText(4)), std::string(st.columnText(5)),
                            std::string(st.columnText(6))});
    if (candidates.empty()) {
      std::string what = !kv["DSN"].empty() ? "data source " + kv["DSN"] : "server " + kv["SERVER"];
      if (!kv["DBQ"].empty()) what += " instance " + kv["DBQ"];
      refuse("Data source name not found: no " + what + " on this source", 0);
    }
    if (!kv["DRIVER"].empty()) {
      std::erase_if(candidates, [&](const Candidate& d) { return UpperText(kv["DRIVER"]) != UpperText(d.driver); });
      if (candidates.empty()) refuse("Driver {" + kv["DRIVER"] + "} not found for this data source", 0);
    }
    auto accepts = [&](const Candidate& d) {
      return d.uid.empty() || (UpperText(uid) == UpperText(d.uid) && pwd == d.pwd);
    };
    auto match = std::find_if(candidates.begin(), candidates.end(), accepts);
    if (match == candidates.end()) refuse("Login failed for user '" + uid + "'.", kErrLoginFailed);
    const std::string name = match->name, server = match->server, instance = match->instance,
                      database = match->database;

    LoginState login;
    login.dsn = name;
    login.server = kv["SERVER"].empty() ? (instance.empty() ? server : server + "\\" + instance) : kv["SERVER"];
    login.user = uid;
    login.connect = "DSN=" + name + ";UID=" + uid + ";PWD=" + pwd + (database.empty() ? "" : ";DATABASE=" + database);
    dllparam::PutInBuffer(out, login.connect);
    c.login = std::move(login);
    return 1;
  });
}

int32_t EmbeddedSource::CloseConnectionDSN(const std::string&, std::string& out) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    c.login.reset();
    dllparam::PutInBuffer(out, "");
    return 1;
  });
}

int32_t EmbeddedSource::GetConfigStringWithoutDefVal(const std::string& section, const std::string& key,
                                                     std::string& value, int32_t& len) {
  len = 0;
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    std::optional<std::string> v = SettingOf(c.db, TrimText(section), TrimText(key));
    if (!v) {
      last_ = {kCodeNotFound, 0, "no key " + TrimText(key) + " in settings section " + TrimText(section)};
      return 0;
    }
    len = dllparam::PutInBuffer(value, *v);
    return 1;
  });
}

int32_t EmbeddedSource::GetDBParamKeys(std::string& connect, std::string& driver, std::string& user,
                                       std::string& password, std::string& database) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    const std::string section = "QV_for_ODBC";
    std::optional<std::string> cs = SettingOf(c.db, section, "ConnectString");
    if (!cs) Fail(kCodeRefused, "settings section " + section + " has no ConnectString");
    dllparam::PutInBuffer(connect, *cs);
    dllparam::PutInBuffer(driver, SettingOf(c.db, section, "DriverName").value_or(""));
    dllparam::PutInBuffer(user, SettingOf(c.db, section, "ParamUid").value_or(""));
    dllparam::PutInBuffer(password, SettingOf(c.db, section, "ParamPwd").value_or(""));
    dllparam::PutInBuffer(database, SettingOf(c.db, section, "Database").value_or(""));
    return 1;
  });
}

int32_t EmbeddedSource::GetComputerName(std::string& name) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    Stmt st = c.db.prepareOnce("SELECT value FROM qvs_meta WHERE key = 'computer_name'");
    if (!st.step()) Fail(kCodeRefused, "the source has no computer name");
    dllparam::PutInBuffer(name, st.columnText(0));
    return 1;
  });
}

int32_t EmbeddedSource::GetDSNsAndDrivers(std::string& list, int32_t& len, int32_t first) {
  len = 0;
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    // Pages by name: the names already written are skipped on the next call.
    std::string& after = c.listAfter;
    if (first == kFirstCall) after.clear();
    else if (first != kNextCall) Fail(kCodeBadCall, "first-call flag " + std::to_string(first));
    Stmt st = c.db.prepareOnce("SELECT name, driver FROM qvs_dsn WHERE name > ? ORDER BY name");
    st.bind(1, after);
    std::string text;
    while (st.step()) {
      std::string line = std::string(st.columnText(0)) + "\t" + std::string(st.columnText(1)) + "\n";
      if (text.size() + line.size() > list.size()) {
        if (text.empty()) Fail(kCodeBadCall, "list buffer shorter than one entry");
        break;
      }
      text += line;
      after = std::string(st.columnText(0));
    }
    len = dllparam::PutInBuffer(list, text);
    return 1;
  });
}

}  // namespace qv::embedded
