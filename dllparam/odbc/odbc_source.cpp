// Implements the ODBC source: connections, statement handles and their
// cache, rows as record images, units of work, the login and the catalogs.
#include "dllparam/odbc/odbc_source.h"

#include <sql.h>
#include <sqlext.h>
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <list>
#include <map>
#include <new>
#include <set>
#include <stdexcept>
#include <vector>

#include "dllparam/embedded/embedded_engine.h"
#include "dllparam/embedded/embedded_source.h"
#include "operations/engine_text.h"
#include "presentation/strutil.h"
#include "store/access_paths.h"

namespace qv::odbc {

namespace {

constexpr std::size_t kWidestColumn = 32000;
constexpr SQLULEN kLoginTimeoutSeconds = 10;

struct Pair {
  std::string key;    // upper-cased
  std::string value;  // as written (braces kept)
  std::string text;   // the whole "key=value"
};

// Splits a connection string into its "key=value" pairs; a value may be
// written between braces and hold ";".
std::vector<Pair> Pairs(std::string_view text) {
  std::vector<Pair> out;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = i;
    std::size_t eq = text.find('=', i);
    std::size_t semi = text.find(';', i);
    if (eq != std::string_view::npos && (semi == std::string_view::npos || eq < semi)) {
      std::size_t v = eq + 1;
      while (v < text.size() && text[v] == ' ') ++v;
      if (v < text.size() && text[v] == '{') {
        std::size_t close = text.find('}', v);
        end = close == std::string_view::npos ? text.size() : text.find(';', close);
      } else {
        end = semi;
      }
      if (end == std::string_view::npos) end = text.size();
      Pair p;
      p.key = UCase(Trim(text.substr(i, eq - i)));
      p.value = Trim(text.substr(eq + 1, end - eq - 1));
      p.text = Trim(text.substr(i, end - i));
      if (!p.key.empty()) out.push_back(std::move(p));
    } else {
      end = semi == std::string_view::npos ? text.size() : semi;
    }
    i = end + 1;
  }
  return out;
}

std::string Join(const std::vector<Pair>& pairs) {
  std::string out;
  for (const Pair& p : pairs) out += p.text + ";";
  return out;
}

std::string Unbraced(std::string v) {
  if (v.size() >= 2 && v.front() == '{' && v.back() == '}') v = v.substr(1, v.size() - 2);
  return v;
}

// Resolves the absolute paths of a connection string that an upper-cased
// address changed (a driver library, an SQLite database file).
std::string ResolvePaths(const std::string& connect) {
  std::vector<Pair> pairs = Pairs(connect);
  for (Pair& p : pairs) {
    const std::string v = Unbraced(p.value);
    if ((p.key != "DRIVER" && p.key != "DATABASE") || v.empty() || v[0] != '/') continue;
    if (auto path = embedded::StorePathOfAddress("FILE:" + v); path && *path != v) {
      p.value = *path;
      p.text = p.key + "=" + *path;
    }
  }
  return Join(pairs);
}

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// Returns the diagnostics of a handle: the first record's SQLSTATE and native
// number, every record's text.
struct Diagnostic {
  std::string state;
  int32_t native = 0;
  std::string text;
};

Diagnostic Diagnose(SQLSMALLINT type, SQLHANDLE handle) {
  Diagnostic d;
  for (SQLSMALLINT i = 1; handle && i <= 4; ++i) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[1024] = {};
    SQLSMALLINT len = 0;
    if (!Succeeded(SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &len))) break;
    if (i == 1) {
      d.state = reinterpret_cast<char*>(state);
      d.native = native;
    }
    std::string t(reinterpret_cast<char*>(text));
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
    for (char& ch : t)
      if (ch == '\n' || ch == '\r') ch = ' ';
    if (!d.text.empty()) d.text += "; ";
    d.text += t;
  }
  if (d.text.empty()) d.text = "the driver gave no diagnostic";
  return d;
}

bool IsCharacterType(SQLSMALLINT t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR || t == SQL_WVARCHAR ||
         t == SQL_WLONGVARCHAR;
}

// Matches name against a LIKE pattern ("%" any text, "_" one character),
// without regard to case.
bool Like(std::string_view name, std::string_view pattern) {
  if (pattern.empty()) return name.empty();
  if (pattern[0] == '%') {
    for (std::size_t i = 0; i <= name.size(); ++i)
      if (Like(name.substr(i), pattern.substr(1))) return true;
    return false;
  }
  if (name.empty()) return false;
  if (pattern[0] != '_' && std::toupper(static_cast<unsigned char>(pattern[0])) !=
                               std::toupper(static_cast<unsigned char>(name[0])))
    return false;
  return Like(name.substr(1), pattern.substr(1));
}

// Returns the statement the database runs for sql: a DELETE written without
// FROM ("DELETE QV_FC WHERE ...", which the servers refuse) gets it.
std::string ForDatabase(const std::string& sql) {
  std::size_t i = sql.find_first_not_of(" \t\r\n");
  if (i == std::string::npos || sql.size() < i + 7 || UCase(sql.substr(i, 6)) != "DELETE") return sql;
  std::size_t j = i + 6;
  if (sql[j] != ' ' && sql[j] != '\t') return sql;
  std::size_t word = sql.find_first_not_of(" \t\r\n", j);
  if (word == std::string::npos) return sql;
  std::size_t wordEnd = sql.find_first_of(" \t\r\n", word);
  if (UCase(sql.substr(word, wordEnd == std::string::npos ? std::string::npos : wordEnd - word)) == "FROM")
    return sql;
  return sql.substr(0, word) + "FROM " + sql.substr(word);
}

// Returns the paths of the libraries loaded in the process.
std::set<std::string> LoadedLibraries() {
  std::set<std::string> names;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        if (info->dlpi_name && info->dlpi_name[0]) static_cast<std::set<std::string>*>(out)->insert(info->dlpi_name);
        return 0;
      },
      &names);
  return names;
}

// Keeps the libraries a login loaded (the driver and what it links) for the
// life of the process: the driver manager unloads a driver when its last
// connection closes, and the next login would load them all again.
void KeepLoaded(const std::set<std::string>& before) {
  for (const std::string& name : LoadedLibraries())
    if (!before.count(name)) ::dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace

std::optional<std::string> ConnectStringOfAddress(const std::string& address) {
  std::string a = Trim(address);
  if (a.size() < 5 || UCase(a.substr(0, 5)) != "ODBC:") return std::nullopt;
  a = Trim(a.substr(5));
  if (a.empty()) return std::nullopt;
  if (a.find('=') == std::string::npos) a = "DSN=" + a;
  return ResolvePaths(a);
}

std::string WithoutLogin(const std::string& connect, bool dropUser) {
  std::vector<Pair> kept;
  for (Pair& p : Pairs(connect)) {
    if (p.key == "PWD" || p.key == "PASSWORD" || (dropUser && (p.key == "UID" || p.key == "USER"))) continue;
    if (Unbraced(p.value).empty()) continue;
    kept.push_back(std::move(p));
  }
  return Join(kept);
}

std::string ConnectValue(const std::string& connect, const std::string& key) {
  const std::string k = UCase(key);
  for (const Pair& p : Pairs(connect))
    if (p.key == k) return Unbraced(p.value);
  return "";
}

struct OdbcSource::Prepared {
  struct Column {
    SQLSMALLINT type = 0;
    std::size_t width = 0;
    std::vector<char> buffer;
    SQLLEN indicator = 0;
  };
  std::string sql;
  SQLHSTMT stmt = nullptr;
  bool described = false;
  std::vector<Column> columns;

  ~Prepared() {
    if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }
};

struct OdbcSource::Connection {
  int32_t id = 0;
  std::string connect;  // from the address
  SQLHDBC dbc = nullptr;
  bool inUnit = false;
  std::list<std::unique_ptr<Prepared>> kept;  // most recently used first
  bool lost = false;  // the database connection died: every call fails until a new login
  std::vector<int32_t> handles;
  std::deque<std::string> listLeft;  // entries of the paged list in progress
};

struct OdbcSource::Handle {
  int32_t id = 0;
  Connection* conn = nullptr;
  std::string file;
  std::unique_ptr<Prepared> running;  // the query whose rows are read
  bool active = false;                // a query ran on this handle
  bool exhausted = true;
  std::deque<std::string> rows;  // rows read ahead
};

OdbcSource::OdbcSource(int32_t handleBase) : handleBase_(handleBase) {
  SQLHENV env = nullptr;
  if (Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    env_ = env;
  }
}

OdbcSource::~OdbcSource() {
  std::vector<int32_t> ids;
  for (auto& [id, c] : connections_) ids.push_back(id);
  for (int32_t id : ids) DropConnection(*connections_.at(id));
  if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

void OdbcSource::Fail(int32_t code, std::string text, int32_t errNum) { throw Fault{code, errNum, std::move(text)}; }

template <typename Fn>
int32_t OdbcSource::Guard(Fn&& fn) {
  last_ = {kCodeNone, 0, {}};
  try {
    return fn();
  } catch (const Fault& f) {
    last_ = f;
  } catch (const std::bad_alloc&) {
    last_ = {kCodeRefused, 0, "out of memory"};
  } catch (const std::exception& e) {
    last_ = {kCodeRefused, 0, e.what()};
  }
  return 0;
}

int32_t OdbcSource::GetLastError(int32_t& code, int32_t& errNum, std::string& text) {
  code = last_.code;
  errNum = last_.errNum;
  std::string t = last_.text.substr(0, kErrorTextMax);
  dllparam::PutInBuffer(text, t);
  return 1;
}

OdbcSource::Connection& OdbcSource::Current() {
  if (!current_) Fail(kCodeBadCall, "no current connection");
  return *current_;
}

OdbcSource::Connection& OdbcSource::LoggedIn() {
  Connection& c = Current();
  if (!c.dbc) Fail(kCodeRefused, "not logged in to a database: ConnectDSN first");
  if (c.lost) Fail(kCodeNetwork, "the database connection is lost");
  return c;
}

OdbcSource::Handle& OdbcSource::HandleOf(int32_t h) {
  auto it = handles_.find(h);
  if (it == handles_.end()) Fail(kCodeBadCall, "unknown or closed handle " + std::to_string(h));
  return *it->second;
}

OdbcSource::Handle& OdbcSource::StatementHandle(int32_t& hStmt) {
  if (hStmt < 0) hStmt = NewHandle(LoggedIn(), "");
  return HandleOf(hStmt);
}

int32_t OdbcSource::NewHandle(Connection& c, const std::string& file) {
  auto hd = std::make_unique<Handle>();
  hd->id = handleBase_ + nextId_++;
  hd->conn = &c;
  hd->file = file;
  const int32_t id = hd->id;
  c.handles.push_back(id);
  handles_[id] = std::move(hd);
  return id;
}

void OdbcSource::Release(Handle& hd) {
  if (hd.running) {
    SQLFreeStmt(hd.running->stmt, SQL_CLOSE);
    Keep(*hd.conn, std::move(hd.running));
  }
  hd.rows.clear();
  hd.exhausted = true;
}

void OdbcSource::CloseHandle(Handle& hd) {
  Release(hd);
  auto& list = hd.conn->handles;
  list.erase(std::remove(list.begin(), list.end(), hd.id), list.end());
  handles_.erase(hd.id);
}

void OdbcSource::DropConnection(Connection& c) {
  for (int32_t h : std::vector<int32_t>(c.handles))
    if (auto it = handles_.find(h); it != handles_.end()) CloseHandle(*it->second);
  DropConnectionLogin(c);
  if (current_ == &c) current_ = nullptr;
  connections_.erase(c.id);
}

void OdbcSource::Keep(Connection& c, std::unique_ptr<Prepared> p) {
  if (!p || !c.dbc) return;
  c.kept.push_front(std::move(p));
  if (c.kept.size() > kKeptStatements) c.kept.pop_back();
}

std::unique_ptr<OdbcSource::Prepared> OdbcSource::PrepareKept(Connection& c, const std::string& sql) {
  for (auto it = c.kept.begin(); it != c.kept.end(); ++it)
    if ((*it)->sql == sql) {
      std::unique_ptr<Prepared> p = std::move(*it);
      c.kept.erase(it);
      return p;
    }
  auto p = std::make_unique<Prepared>();
  p->sql = sql;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &p->stmt))) {
    p->stmt = nullptr;
    FailOn(c, SQL_HANDLE_DBC, c.dbc);
  }
  const std::string text = ForDatabase(sql);
  if (!Succeeded(SQLPrepare(p->stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())),
                            static_cast<SQLINTEGER>(text.size()))))
    FailOn(c, SQL_HANDLE_STMT, p->stmt);
  return p;
}

void OdbcSource::FailOn(Connection& c, short handleType, void* handle) {
  Diagnostic d = Diagnose(handleType, handle);
  std::string text = d.text;
  if (!d.state.empty()) text += " (SQLSTATE " + d.state + ")";
  SQLUINTEGER dead = SQL_CD_FALSE;
  if (d.state.rfind("08", 0) == 0 || d.state == "57P01" || d.state == "57P02" ||
      (c.dbc && Succeeded(SQLGetConnectAttr(c.dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
       dead == SQL_CD_TRUE))
    c.lost = true;
  Fail(c.lost ? kCodeNetwork : kCodeRefused, text, d.native);
}

void OdbcSource::RunQuery(Handle& hd, const std::string& sql) {
  Release(hd);
  hd.active = false;
  Connection& c = *hd.conn;
  if (!c.dbc) Fail(kCodeRefused, "not logged in to a database: ConnectDSN first");
  if (c.lost) Fail(kCodeNetwork, "the database connection is lost");
  std::unique_ptr<Prepared> p = PrepareKept(c, sql);
  SQLRETURN rc = SQLExecute(p->stmt);
  if (!Succeeded(rc) && rc != SQL_NO_DATA) FailOn(c, SQL_HANDLE_STMT, p->stmt);
  if (!p->described) {
    SQLSMALLINT count = 0;
    SQLNumResultCols(p->stmt, &count);
    p->columns.resize(static_cast<std::size_t>(count));
    for (SQLSMALLINT i = 0; i < count; ++i) {
      Prepared::Column& col = p->columns[static_cast<std::size_t>(i)];
      SQLCHAR name[256];
      SQLSMALLINT nameLen = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      SQLDescribeCol(p->stmt, static_cast<SQLUSMALLINT>(i + 1), name, sizeof name, &nameLen, &col.type, &size,
                     &digits, &nullable);
      SQLLEN display = 0;
      if (!IsCharacterType(col.type))
        SQLColAttribute(p->stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr,
                        &display);
      std::size_t width = IsCharacterType(col.type) ? size : static_cast<std::size_t>(std::max<SQLLEN>(display, 0));
      col.width = std::min(width == 0 ? std::size_t{255} : width, kWidestColumn);
      col.buffer.assign(col.width * 4 + 1, '\0');
    }
    p->described = true;
  }
  for (std::size_t i = 0; i < p->columns.size(); ++i) {
    Prepared::Column& col = p->columns[i];
    SQLBindCol(p->stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_C_CHAR, col.buffer.data(),
               static_cast<SQLLEN>(col.buffer.size()), &col.indicator);
  }
  hd.running = std::move(p);
  hd.active = true;
  hd.exhausted = hd.running->columns.empty();
}

bool OdbcSource::FetchRow(Handle& hd, std::string& row) {
  if (!hd.rows.empty()) {
    row = std::move(hd.rows.front());
    hd.rows.pop_front();
    return true;
  }
  if (hd.exhausted || !hd.running) return false;
  Prepared& p = *hd.running;
  SQLRETURN rc = SQLFetch(p.stmt);
  if (rc == SQL_NO_DATA) {
    Release(hd);
    return false;
  }
  if (!Succeeded(rc)) FailOn(*hd.conn, SQL_HANDLE_STMT, p.stmt);
  row.clear();
  for (Prepared::Column& col : p.columns) {
    std::size_t n = 0;
    if (col.indicator != SQL_NULL_DATA) {
      n = col.indicator == SQL_NO_TOTAL ? col.buffer.size() - 1
                                        : std::min(static_cast<std::size_t>(col.indicator), col.buffer.size() - 1);
    }
    n = std::min(n, col.width);
    row.append(col.buffer.data(), n);
    row.append(col.width - n, ' ');
  }
  return true;
}

int32_t OdbcSource::Page(Connection& c, std::string& list, int32_t& len, int32_t first,
                         const std::function<std::vector<std::string>()>& entries) {
  if (first == kFirstCall) {
    std::vector<std::string> all = entries();
    c.listLeft.assign(all.begin(), all.end());
  } else if (first != kNextCall) {
    Fail(kCodeBadCall, "first-call flag " + std::to_string(first));
  }
  std::string text;
  while (!c.listLeft.empty() && text.size() + c.listLeft.front().size() <= list.size()) {
    text += c.listLeft.front();
    c.listLeft.pop_front();
  }
  if (text.empty() && !c.listLeft.empty()) Fail(kCodeBadCall, "list buffer shorter than one entry");
  len = dllparam::PutInBuffer(list, text);
  return 1;
}

// ---- Connections ---------------------------------------------------------------

int32_t OdbcSource::OpenMConnection(const std::string& address, std::string& serverVersion,
                                    std::string& serverJob, int32_t& hConn) {
  hConn = 0;
  return Guard([&]() -> int32_t {
    std::optional<std::string> connect = ConnectStringOfAddress(address);
    if (!connect) Fail(kCodeNetwork, "no ODBC data source at " + Trim(address));
    if (!env_) Fail(kCodeNetwork, "the ODBC driver manager could not be loaded");
    auto c = std::make_unique<Connection>();
    c->id = handleBase_ + nextId_++;
    c->connect = *connect;
    hConn = c->id;
    current_ = c.get();
    connections_[c->id] = std::move(c);
    dllparam::PutInBuffer(serverVersion, "ODBC");
    dllparam::PutInBuffer(serverJob, std::to_string(::getpid()));
    return 1;
  });
}

int32_t OdbcSource::SwitchMConnection(int32_t hConn) {
  return Guard([&]() -> int32_t {
    auto it = connections_.find(hConn);
    if (it == connections_.end()) Fail(kCodeBadCall, "unknown connection " + std::to_string(hConn));
    current_ = it->second.get();
    return 1;
  });
}

int32_t OdbcSource::CloseMConnection(int32_t hConn) {
  return Guard([&]() -> int32_t {
    auto it = connections_.find(hConn);
    if (it == connections_.end()) Fail(kCodeBadCall, "unknown connection " + std::to_string(hConn));
    DropConnection(*it->second);
    return 1;
  });
}

int32_t OdbcSource::PingPong() {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!c.dbc) return 1;
    if (c.lost) Fail(kCodeNetwork, "the database connection is lost");
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (Succeeded(SQLGetConnectAttr(c.dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) && dead == SQL_CD_TRUE) {
      c.lost = true;
      Fail(kCodeNetwork, "the database connection is lost");
    }
    SQLHSTMT st = nullptr;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &st))) Fail(kCodeNetwork, "the database does not answer");
    SQLRETURN rc = SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>("SELECT 1")), SQL_NTS);
    Diagnostic d;
    if (!Succeeded(rc)) d = Diagnose(SQL_HANDLE_STMT, st);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    if (!Succeeded(rc)) {
      c.lost = true;
      Fail(kCodeNetwork, "the database does not answer: " + d.text, d.native);
    }
    return 1;
  });
}

// ---- Files: statement handles only ---------------------------------------------

int32_t OdbcSource::Ropen(const std::string& file, const std::string& mode, int32_t& h) {
  h = kClosedHandle;
  return Guard([&]() -> int32_t {
    (void)mode;
    std::string table = UCase(Trim(file));
    if (const AccessPath* path = FindAccessPath(table)) table = std::string(path->physical->table);
    if (!table.empty()) RunAction(LoggedIn(), "SELECT * FROM " + table + " WHERE 1=0");
    h = NewHandle(Current(), Trim(file));
    return 1;
  });
}

int32_t OdbcSource::Rclose(int32_t h) {
  return Guard([&]() -> int32_t {
    CloseHandle(HandleOf(h));
    return 1;
  });
}

#define QV_ODBC_NOT_SERVED(Name, Params, what)        \
  int32_t OdbcSource::Name Params {                   \
    return Guard([&]() -> int32_t {                   \
      Fail(kCodeNotSupported, what " are not served by an ODBC source"); \
    });                                               \
  }

QV_ODBC_NOT_SERVED(Rreadk, (int32_t, std::string&, int32_t&, int32_t, const std::string&, int32_t),
                   "record reads of AS/400 files")
QV_ODBC_NOT_SERVED(Rreadf, (int32_t, std::string&, int32_t&, int32_t), "record reads of AS/400 files")
QV_ODBC_NOT_SERVED(Rreadn, (int32_t, std::string&, int32_t&, int32_t), "record reads of AS/400 files")
QV_ODBC_NOT_SERVED(Rreadblock, (int32_t, std::string&, int32_t&, int32_t, const std::string&, int32_t),
                   "record reads of AS/400 files")
QV_ODBC_NOT_SERVED(RreadblockD, (int32_t, std::string&, int32_t&, int32_t), "record reads of AS/400 files")
QV_ODBC_NOT_SERVED(Rupdate, (int32_t, const std::string&, int32_t), "record writes of AS/400 files")
QV_ODBC_NOT_SERVED(Rwrite, (int32_t, const std::string&, int32_t), "record writes of AS/400 files")
QV_ODBC_NOT_SERVED(Rdelete, (int32_t), "record writes of AS/400 files")
QV_ODBC_NOT_SERVED(GetConfigStringWithoutDefVal, (const std::string&, const std::string&, std::string&, int32_t&),
                   "settings sections of SQL Server and Oracle")
QV_ODBC_NOT_SERVED(Execute, (std::string&, std::string&, std::string&), "AS/400 commands")
QV_ODBC_NOT_SERVED(StrReplication, (const std::string&, const std::string&, const std::string&),
                   "engine services")
QV_ODBC_NOT_SERVED(Activity, (std::string&, const std::string&), "engine services")
QV_ODBC_NOT_SERVED(ReadQVMSGQ, (std::string&, int32_t&, const std::string&), "engine services")
QV_ODBC_NOT_SERVED(WriteFile, (const std::string&, const std::string&, int32_t), "engine files")
QV_ODBC_NOT_SERVED(DeleteFile, (const std::string&), "engine files")
QV_ODBC_NOT_SERVED(WriteFileWithFullPath, (const std::string&, const std::string&, int32_t),
                   "files of the source machine")
QV_ODBC_NOT_SERVED(DeleteFileWithFullPath, (const std::string&), "files of the source machine")
QV_ODBC_NOT_SERVED(BuildReceiverListNT, (const std::string&, const std::string&, std::string&, int32_t&, int32_t),
                   "journal receivers")
#undef QV_ODBC_NOT_SERVED

// ---- Engine: the job list ------------------------------------------------------

// Answers the job list from the supervision records of the database: the
// engine that runs the distributions works beside the database, out of this
// library's sight, and keeps one QV_SPV record per distribution, with RUN "1"
// and a state other than ended ("X") or failed ("E") while its job runs. A
// record's job is named from its environment, target and model, as the
// control names it. A database without QV_SPV, or a read that fails, fails
// with the driver's text: a caller that cannot tell whether a job runs must
// not go on as if none did.
int32_t OdbcSource::SJobList(const std::string& job, std::string& answer, const std::string& kind) {
  return Guard([&]() -> int32_t {
    if (kind != kKindOdbc && kind != kKindSqlServer && kind != kKindOracle)
      Fail(kCodeNotSupported, "unknown engine kind \"" + kind + "\"");
    const std::string pattern = Trim(dllparam::CutAtNul(job));
    if (pattern.empty()) Fail(kCodeBadCall, "SJobList without a job name");
    Connection& c = LoggedIn();
    const int32_t h = NewHandle(c, "");
    std::vector<embedded::JobEntry> jobs;
    try {
      Handle& hd = HandleOf(h);
      RunQuery(hd, kRunningJobsSql);
      std::string row;
      while (FetchRow(hd, row)) {
        row.resize(18, ' ');
        const std::string name = JobName(row.substr(0, 2), row.substr(2, 3), row.substr(5, 3));
        if (!embedded::JobMatches(name, pattern)) continue;
        jobs.push_back({name, LeadingNumber(row.substr(8, 10))});
      }
    } catch (...) {
      CloseHandle(HandleOf(h));
      throw;
    }
    CloseHandle(HandleOf(h));
    std::sort(jobs.begin(), jobs.end(),
              [](const embedded::JobEntry& a, const embedded::JobEntry& b) { return a.name < b.name; });
    dllparam::PutInBuffer(answer, embedded::JobListAnswer(jobs, answer.size()));
    return 1;
  });
}

// ---- SQL ------------------------------------------------------------------------

int32_t OdbcSource::Sread(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql, int32_t option) {
  return dllparam::SqlRowReads<OdbcSource>::Sread(*this, hStmt, buf, len, sql, option);
}

int32_t OdbcSource::Snext(int32_t& hStmt, std::string& rec, int32_t& len, int32_t& flag) {
  return dllparam::SqlRowReads<OdbcSource>::Snext(*this, hStmt, rec, len, flag);
}

int32_t OdbcSource::Sreadblock(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                         const std::string& first, int32_t& flag) {
  return dllparam::SqlRowReads<OdbcSource>::Sreadblock(*this, hStmt, buf, len, sql, first, flag);
}

void OdbcSource::RunAction(Connection& c, const std::string& sql) {
  std::unique_ptr<Prepared> p = PrepareKept(c, sql);
  SQLRETURN rc = SQLExecute(p->stmt);
  if (!Succeeded(rc) && rc != SQL_NO_DATA) FailOn(c, SQL_HANDLE_STMT, p->stmt);
  SQLFreeStmt(p->stmt, SQL_CLOSE);
  Keep(c, std::move(p));
}

int32_t OdbcSource::Saction(const std::string& sql) {
  return Guard([&]() -> int32_t {
    RunAction(LoggedIn(), sql);
    return 1;
  });
}

int32_t OdbcSource::SetConnectOption(int32_t option) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!c.dbc) Fail(kCodeRefused, "not logged in to a database: ConnectDSN first");
    if (c.lost) {
      const bool unit = c.inUnit && option != kOptionBeginChange;
      c.inUnit = false;
      Fail(kCodeNetwork, unit ? "the unit of work was lost with the database connection"
                              : "the database connection is lost");
    }
    if (option == kOptionBeginChange) {
      if (c.inUnit) return 1;
      if (!Succeeded(SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF),
                                       SQL_IS_UINTEGER)))
        FailOn(c, SQL_HANDLE_DBC, c.dbc);
      c.inUnit = true;
      return 1;
    }
    if (option != kOptionEndChange && option != kOptionEndRead)
      Fail(kCodeNotSupported, "connection option " + std::to_string(option));
    if (!c.inUnit) return 1;
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_COMMIT);
    Diagnostic d;
    if (!Succeeded(rc)) d = Diagnose(SQL_HANDLE_DBC, c.dbc);
    c.inUnit = false;
    SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
    if (!Succeeded(rc))
      Fail(d.state.rfind("08", 0) == 0 ? kCodeNetwork : kCodeRefused,
           "the unit of work could not be kept: " + d.text + " (SQLSTATE " + d.state + ")", d.native);
    return 1;
  });
}

// ---- Login ------------------------------------------------------------------------

int32_t OdbcSource::ConnectDSN(const std::string& connect, const std::string& user, const std::string& password,
                               std::string& out) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (c.dbc) DropConnectionLogin(c);
    std::string text = WithoutLogin(ResolvePaths(Trim(connect)), false);
    std::string uid = ConnectValue(connect, "UID");
    std::string pwd = ConnectValue(connect, "PWD");
    if (uid.empty()) uid = Trim(user);
    if (pwd.empty()) pwd = Trim(password);
    if (!uid.empty() && ConnectValue(text, "UID").empty()) text += "UID=" + uid + ";";
    std::string login = text;
    if (!pwd.empty()) login += "PWD={" + pwd + "};";
    SQLHDBC dbc = nullptr;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc))) Fail(kCodeRefused, "no ODBC connection handle");
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0);
    const std::set<std::string> loaded = LoadedLibraries();
    SQLCHAR completed[2048] = {};
    SQLSMALLINT completedLen = 0;
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(login.data()),
                                    static_cast<SQLSMALLINT>(login.size()), completed, sizeof completed,
                                    &completedLen, SQL_DRIVER_NOPROMPT);
    if (!Succeeded(rc)) {
      Diagnostic d = Diagnose(SQL_HANDLE_DBC, dbc);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
      std::string message = d.text + (d.state.empty() ? "" : " (SQLSTATE " + d.state + ")");
      dllparam::PutInBuffer(out, message);
      Fail(d.state.rfind("08", 0) == 0 ? kCodeNetwork : kCodeRefused, message, d.native);
    }
    c.dbc = dbc;
    KeepLoaded(loaded);
    dllparam::PutInBuffer(out, WithoutLogin(reinterpret_cast<char*>(completed), false));
    return 1;
  });
}

void OdbcSource::DropConnectionLogin(Connection& c) {
  for (int32_t h : c.handles)
    if (auto it = handles_.find(h); it != handles_.end()) {
      it->second->running.reset();
      it->second->rows.clear();
      it->second->active = false;
      it->second->exhausted = true;
    }
  c.kept.clear();
  if (c.dbc) {
    if (c.inUnit) SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_ROLLBACK);
    SQLDisconnect(c.dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, c.dbc);
    c.dbc = nullptr;
  }
  c.inUnit = false;
  c.lost = false;
}

int32_t OdbcSource::CloseConnectionDSN(const std::string&, std::string& out) {
  return Guard([&]() -> int32_t {
    DropConnectionLogin(Current());
    dllparam::PutInBuffer(out, "");
    return 1;
  });
}

int32_t OdbcSource::GetDBParamKeys(std::string& connect, std::string& driver, std::string& user,
                                   std::string& password, std::string& database) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    std::string uid = ConnectValue(c.connect, "UID");
    std::string pwd = ConnectValue(c.connect, "PWD");
    if (const char* v = std::getenv("QV_ODBC_UID"); uid.empty() && v) uid = v;
    if (const char* v = std::getenv("QV_ODBC_PWD"); pwd.empty() && v) pwd = v;
    dllparam::PutInBuffer(connect, WithoutLogin(c.connect, true));
    dllparam::PutInBuffer(driver, ConnectValue(c.connect, "DRIVER"));
    dllparam::PutInBuffer(user, uid);
    dllparam::PutInBuffer(password, pwd);
    dllparam::PutInBuffer(database, ConnectValue(c.connect, "DATABASE"));
    return 1;
  });
}

int32_t OdbcSource::GetComputerName(std::string& name) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    char text[256] = {};
    SQLSMALLINT len = 0;
    if (!c.dbc || !Succeeded(SQLGetInfo(c.dbc, SQL_SERVER_NAME, text, sizeof text, &len)) || text[0] == '\0')
      ::gethostname(text, sizeof text - 1);
    dllparam::PutInBuffer(name, text);
    return 1;
  });
}

std::string OdbcSource::DatabaseProduct() {
  if (!current_ || !current_->dbc) return "";
  char text[256] = {};
  SQLSMALLINT len = 0;
  if (!Succeeded(SQLGetInfo(current_->dbc, SQL_DBMS_NAME, text, sizeof text, &len))) return "";
  return text;
}

// ---- Catalogs ---------------------------------------------------------------------

namespace {

// Reads every row of the result of a catalog function as texts.
std::vector<std::vector<std::string>> AllRows(SQLHSTMT st) {
  std::vector<std::vector<std::string>> rows;
  SQLSMALLINT count = 0;
  SQLNumResultCols(st, &count);
  while (Succeeded(SQLFetch(st))) {
    std::vector<std::string> row;
    for (SQLSMALLINT i = 1; i <= count; ++i) {
      std::string value;
      char part[1024];
      SQLLEN ind = 0;
      SQLRETURN rc;
      while (Succeeded(rc = SQLGetData(st, static_cast<SQLUSMALLINT>(i), SQL_C_CHAR, part, sizeof part, &ind))) {
        if (ind == SQL_NULL_DATA) break;
        const std::size_t got =
            ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(sizeof part) ? sizeof part - 1 : static_cast<std::size_t>(ind);
        value.append(part, got);
        if (rc == SQL_SUCCESS) break;
      }
      row.push_back(std::move(value));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

SQLCHAR* Text(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }
// The schema argument of a catalog function: none when empty.
SQLCHAR* SchemaArg(const std::string& schema) { return schema.empty() ? nullptr : Text(schema); }
SQLSMALLINT SchemaLen(const std::string& schema) { return schema.empty() ? 0 : SQL_NTS; }

// Splits a qualified table into schema (empty when not given) and table.
std::pair<std::string, std::string> Qualified(const std::string& qualified) {
  std::string t = Trim(qualified);
  const std::size_t dot = t.rfind('.');
  if (dot == std::string::npos) return {"", t};
  std::string schema = t.substr(0, dot);
  while (!schema.empty() && schema.back() == '.') schema.pop_back();
  return {schema, t.substr(dot + 1)};
}

}  // namespace

std::vector<std::vector<std::string>> OdbcSource::Catalog(Connection& c, const std::function<short(void*)>& call) {
  SQLHSTMT st = nullptr;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &st))) FailOn(c, SQL_HANDLE_DBC, c.dbc);
  if (!Succeeded(call(st))) {
    Diagnostic d = Diagnose(SQL_HANDLE_STMT, st);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    Fail(kCodeRefused, d.text + " (SQLSTATE " + d.state + ")", d.native);
  }
  auto rows = AllRows(st);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return rows;
}

int32_t OdbcSource::GetDSNsAndDrivers(std::string& list, int32_t& len, int32_t first) {
  len = 0;
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    return Page(c, list, len, first, [&] {
      std::vector<std::string> out;
      SQLCHAR name[256], description[512];
      SQLSMALLINT nameLen = 0, descriptionLen = 0;
      SQLUSMALLINT direction = SQL_FETCH_FIRST;
      while (Succeeded(SQLDataSources(env_, direction, name, sizeof name, &nameLen, description, sizeof description,
                                      &descriptionLen))) {
        out.push_back(std::string(reinterpret_cast<char*>(name)) + "\t" + reinterpret_cast<char*>(description) +
                      "\n");
        direction = SQL_FETCH_NEXT;
      }
      return out;
    });
  });
}

int32_t OdbcSource::FillDB(const std::string& filter, std::string& list, int32_t& len, int32_t first) {
  len = 0;
  return Guard([&]() -> int32_t {
    Connection& c = LoggedIn();
    return Page(c, list, len, first, [&] {
      std::string empty;
      std::string all = SQL_ALL_SCHEMAS;
      auto rows = Catalog(c, [&](SQLHSTMT st) {
        return SQLTables(st, Text(empty), 0, Text(all), SQL_NTS, Text(empty), 0, Text(empty), 0);
      });
      const std::string f = Trim(filter);
      std::vector<std::string> out;
      for (const auto& row : rows)
        if (row.size() > 1 && !row[1].empty() && (f == kNoFilter || f.empty() || Like(row[1], f)))
          out.push_back(row[1] + "\t");
      std::sort(out.begin(), out.end());
      out.erase(std::unique(out.begin(), out.end()), out.end());
      return out;
    });
  });
}

int32_t OdbcSource::FillTBL(const std::string& database, const std::string& mask, std::string& list, int32_t& len,
                            int32_t first) {
  len = 0;
  return Guard([&]() -> int32_t {
    Connection& c = LoggedIn();
    return Page(c, list, len, first, [&] {
      const std::string schema = Trim(database);
      const std::string types = "TABLE,VIEW";
      auto rows = Catalog(c, [&](SQLHSTMT st) {
        return SQLTables(st, nullptr, 0, SchemaArg(schema), SchemaLen(schema), nullptr, 0, Text(types), SQL_NTS);
      });
      const std::string m = Trim(mask).empty() ? "%" : Trim(mask);
      std::vector<std::string> out;
      for (const auto& row : rows)
        if (row.size() > 2 && Like(row[2], m)) out.push_back(row[2] + "\t");
      return out;
    });
  });
}

namespace {

// Returns the type name of a column as the field import knows the names
// ("CHAR", "VARCHAR", "DECIMAL", "INT", "DATETIME"): the driver's own name
// without its length when it is one of them ("CHAR(2)" gives "CHAR"), a
// server's alias made the common name ("bpchar" gives "CHAR"), else the name
// of the ODBC type code.
std::string TypeName(int dataType, const std::string& driverName) {
  static const std::map<std::string, std::string> kNames = {
      {"CHAR", "CHAR"},           {"CHARACTER", "CHAR"},  {"BPCHAR", "CHAR"},     {"VARCHAR", "VARCHAR"},
      {"CHARACTER VARYING", "VARCHAR"}, {"TEXT", "TEXT"}, {"DECIMAL", "DECIMAL"}, {"NUMERIC", "NUMERIC"},
      {"INT", "INT"},             {"INTEGER", "INT"},     {"INT4", "INT"},        {"SMALLINT", "SMALLINT"},
      {"INT2", "SMALLINT"},       {"REAL", "REAL"},       {"FLOAT", "FLOAT"},     {"FLOAT8", "FLOAT"},
      {"DOUBLE PRECISION", "FLOAT"}, {"BIT", "BIT"},      {"DATE", "DATE"},       {"DATETIME", "DATETIME"},
      {"MONEY", "MONEY"}};
  const std::string name = Trim(UCase(driverName.substr(0, driverName.find('('))));
  if (auto it = kNames.find(name); it != kNames.end()) return it->second;
  switch (dataType) {
    case SQL_CHAR: case SQL_WCHAR: return "CHAR";
    case SQL_VARCHAR: case SQL_WVARCHAR: return "VARCHAR";
    case SQL_LONGVARCHAR: case SQL_WLONGVARCHAR: return "TEXT";
    case SQL_DECIMAL: return "DECIMAL";
    case SQL_NUMERIC: return "NUMERIC";
    case SQL_INTEGER: return "INT";
    case SQL_SMALLINT: case SQL_TINYINT: return "SMALLINT";
    case SQL_REAL: return "REAL";
    case SQL_FLOAT: case SQL_DOUBLE: return "FLOAT";
    case SQL_BIT: return "BIT";
    case SQL_TYPE_DATE: case SQL_DATE: return "DATE";
    case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: return "DATETIME";
    default: return name;
  }
}

// Returns the line of a column of SQLColumns: name TAB type TAB position
// TAB allow-null TAB description LF.
std::string ColumnLine(const std::vector<std::string>& row) {
  const int dataType = row.size() > 4 ? std::atoi(row[4].c_str()) : 0;
  std::string type = TypeName(dataType, row.size() > 5 ? row[5] : "") + " " + (row.size() > 6 ? row[6] : "");
  if (dataType == SQL_DECIMAL || dataType == SQL_NUMERIC)
    type += "," + (row.size() > 8 && !row[8].empty() ? row[8] : std::string("0"));
  const std::string nullable = row.size() > 10 && row[10] == std::to_string(SQL_NULLABLE) ? "1" : "0";
  return row[3] + "\t" + UCase(type) + "\t" + (row.size() > 16 ? row[16] : "") + "\t" + nullable + "\t" +
         (row.size() > 11 ? row[11] : "") + "\n";
}

}  // namespace

int32_t OdbcSource::FillColumnsList(const std::string& database, const std::string& table, const std::string& mask,
                                    std::string& list, int32_t& len, int32_t first) {
  len = 0;
  return Guard([&]() -> int32_t {
    Connection& c = LoggedIn();
    return Page(c, list, len, first, [&] {
      const std::string schema = Trim(database);
      auto columns = [&](const std::string& name) {
        return Catalog(c, [&](SQLHSTMT st) {
          return SQLColumns(st, nullptr, 0, SchemaArg(schema), SchemaLen(schema), Text(name), SQL_NTS, nullptr, 0);
        });
      };
      auto rows = columns(Trim(table));
      if (rows.empty()) rows = columns(LCase(Trim(table)));
      const std::string m = Trim(mask).empty() ? "%" : Trim(mask);
      std::vector<std::string> out;
      for (const auto& row : rows)
        if (row.size() > 3 && Like(row[3], m)) out.push_back(ColumnLine(row));
      return out;
    });
  });
}

int32_t OdbcSource::FillColumnsListSource(const std::string& kind, const std::string& table, std::string& list,
                                          int32_t& len, int32_t first) {
  len = 0;
  if (Trim(kind) != kColumnsOfTable)
    return Guard([&]() -> int32_t { Fail(kCodeNotSupported, "column list kind \"" + Trim(kind) + "\""); });
  auto [schema, name] = Qualified(table);
  return FillColumnsList(schema, name, "%", list, len, first);
}

int32_t OdbcSource::GetPrimaryKey(const std::string& table, std::string& keys, int32_t& len) {
  len = 0;
  return Guard([&]() -> int32_t {
    Connection& c = LoggedIn();
    auto [schema, name] = Qualified(table);
    auto keyRows = [&](const std::string& n) {
      return Catalog(c, [&](SQLHSTMT st) {
        return SQLPrimaryKeys(st, nullptr, 0, SchemaArg(schema), SchemaLen(schema), Text(n), SQL_NTS);
      });
    };
    auto rows = keyRows(name);
    if (rows.empty()) rows = keyRows(LCase(name));
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
      return std::atoi(a.size() > 4 ? a[4].c_str() : "0") < std::atoi(b.size() > 4 ? b[4].c_str() : "0");
    });
    std::string text;
    for (const auto& row : rows)
      if (row.size() > 3) text += row[3] + "\t";
    len = dllparam::PutInBuffer(keys, text);
    return 1;
  });
}

int32_t OdbcSource::TableNTExist(const std::string& table) {
  return Guard([&]() -> int32_t {
    Connection& c = LoggedIn();
    auto [schema, name] = Qualified(table);
    auto tables = [&](const std::string& n) {
      return Catalog(c, [&](SQLHSTMT st) {
        return SQLTables(st, nullptr, 0, SchemaArg(schema), SchemaLen(schema), Text(n), SQL_NTS, nullptr, 0);
      });
    };
    if (tables(name).empty() && tables(LCase(name)).empty()) {
      last_ = {kCodeNotFound, 0, "no table " + Trim(table)};
      return 0;
    }
    return 1;
  });
}

int32_t OdbcSource::CreateTable(const std::string& table, const std::string& definition) {
  return Saction("CREATE TABLE " + Trim(table) + " (" + definition + ")");
}

}  // namespace qv::odbc
