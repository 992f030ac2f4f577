// Implements the store schema and the checked opening of store files.
#include "dllparam/embedded/store_schema.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "dllparam/embedded/embedded_engine.h"
#include "store/schema.h"

namespace qv::embedded {

std::string_view KindName(SourceKind kind) {
  switch (kind) {
    case SourceKind::AS400: return "AS400";
    case SourceKind::ODBC: return "ODBC";
    case SourceKind::SQLServer: return "SQLSERVER";
    case SourceKind::Oracle: return "ORACLE";
  }
  return "AS400";
}

std::optional<SourceKind> ParseKind(std::string_view text) {
  std::string up;
  for (char c : text)
    if (c != ' ' && c != '_') up += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (up == "AS400") return SourceKind::AS400;
  if (up == "ODBC") return SourceKind::ODBC;
  if (up == "SQLSERVER") return SourceKind::SQLServer;
  if (up == "ORACLE") return SourceKind::Oracle;
  return std::nullopt;
}

SqlDialect DialectOf(SourceKind kind) {
  switch (kind) {
    case SourceKind::SQLServer: return SqlDialect::SqlServer;
    case SourceKind::Oracle: return SqlDialect::Oracle;
    default: return SqlDialect::Odbc;
  }
}

int DeclaredWidth(const char* declaredType) {
  if (!declaredType) return 0;
  std::string_view t(declaredType);
  auto open = t.find('(');
  if (open == std::string_view::npos) return 0;
  std::string head;
  for (char c : t.substr(0, open))
    if (c != ' ') head += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (head != "CHAR" && head != "CHARACTER" && head != "NCHAR" && head != "VARCHAR" &&
      head != "VARCHAR2" && head != "NVARCHAR")
    return 0;
  int width = 0;
  for (size_t i = open + 1; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i)
    width = width * 10 + (t[i] - '0');
  return width;
}

void CreateStoreSchema(Db& db, SourceKind kind) {
  db.exec("PRAGMA journal_mode=WAL");
  WithWriteTransaction(db, [&] {
    for (const std::string& sql : StoreSchemaSql(IsNtKind(kind) ? StoreKind::Nt : StoreKind::As400))
      db.exec(sql);
    db.exec(
        "CREATE TABLE qvs_meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);"
        "CREATE TABLE qvs_setting (section TEXT NOT NULL COLLATE NOCASE, key TEXT NOT NULL COLLATE NOCASE,"
        " value TEXT NOT NULL, PRIMARY KEY (section, key));"
        "CREATE TABLE qvs_dsn (name TEXT PRIMARY KEY COLLATE NOCASE, driver TEXT NOT NULL DEFAULT '',"
        " server TEXT NOT NULL DEFAULT '' COLLATE NOCASE, instance TEXT NOT NULL DEFAULT '' COLLATE NOCASE,"
        " database TEXT NOT NULL DEFAULT '', uid TEXT NOT NULL DEFAULT '', pwd TEXT NOT NULL DEFAULT '');"
        "CREATE TABLE qvs_lock (tbl TEXT NOT NULL, rid INTEGER NOT NULL, owner TEXT NOT NULL,"
        " conn INTEGER NOT NULL, handle INTEGER NOT NULL, since TEXT NOT NULL, PRIMARY KEY (tbl, rid));"
        "CREATE TABLE qvs_object (library TEXT NOT NULL, name TEXT NOT NULL, type TEXT NOT NULL,"
        " attribute TEXT NOT NULL DEFAULT '', text TEXT NOT NULL DEFAULT '', PRIMARY KEY (library, name, type));"
        "CREATE TABLE qvs_usrspc (library TEXT NOT NULL, name TEXT NOT NULL, data BLOB NOT NULL,"
        " PRIMARY KEY (library, name));"
        "CREATE TABLE qvs_file (area TEXT NOT NULL, name TEXT NOT NULL COLLATE NOCASE, data BLOB NOT NULL,"
        " PRIMARY KEY (area, name));"
        "CREATE TABLE qvs_sysproc (proc TEXT PRIMARY KEY COLLATE NOCASE, col1 TEXT, col2 TEXT, error TEXT);");
    EnsureEngineTables(db);
    if (IsNtKind(kind)) EnsureJournalTables(db);
    Stmt meta = db.prepare("INSERT INTO qvs_meta (key, value) VALUES ('kind', ?)");
    meta.bind(1, KindName(kind));
    meta.step();
    db.exec("PRAGMA application_id=" + std::to_string(kStoreApplicationId));
    db.exec("PRAGMA user_version=" + std::to_string(kStoreFormat));
  });
}

int DefaultBusyTimeoutMs() {
  if (const char* v = std::getenv("QV_STORE_BUSY_MS")) {
    char* end = nullptr;
    long ms = std::strtol(v, &end, 10);
    if (end != v && ms >= 0 && ms <= 600000) return static_cast<int>(ms);
  }
  return 5000;
}

OpenedStore OpenStoreFile(const std::string& path, int busyTimeoutMs) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) throw StoreError("no store at " + path);
    throw StoreError("cannot open " + path + ": " + std::strerror(errno));
  }
  if (!S_ISREG(st.st_mode)) throw StoreError(path + " is not a source store");
  // The store is read and written, and its folder receives the WAL files:
  // a refusal is reported as such rather than as a file that is no store.
  if (::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) != 0)
    throw StoreError("cannot open " + path + ": " + std::strerror(errno));
  const std::string folder = std::filesystem::path(path).has_parent_path()
                                 ? std::filesystem::path(path).parent_path().string()
                                 : std::string(".");
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    throw StoreError("cannot open " + path + ": folder " + folder + ": " + std::strerror(errno));
  OpenedStore out{Db::Open(path, false, busyTimeoutMs), SourceKind::AS400};
  int appId = 0, format = 0;
  try {
    Stmt q = out.db.prepare("PRAGMA application_id");
    if (q.step()) appId = static_cast<int>(q.columnInt(0));
    Stmt v = out.db.prepare("PRAGMA user_version");
    if (v.step()) format = static_cast<int>(v.columnInt(0));
  } catch (const StoreError& e) {
    if (e.busy()) throw;
    throw StoreError(path + " is not a source store");
  }
  if (appId != kStoreApplicationId) throw StoreError(path + " is not a source store");
  if (format != kStoreFormat)
    throw StoreError(path + " is a source store of format " + std::to_string(format) +
                     "; this library serves format " + std::to_string(kStoreFormat));
  Stmt k = out.db.prepare("SELECT value FROM qvs_meta WHERE key='kind'");
  std::optional<SourceKind> kind;
  if (k.step()) kind = ParseKind(k.columnText(0));
  if (!kind) throw StoreError(path + " is a source store without a valid kind");
  out.kind = *kind;
  // In WAL mode NORMAL keeps every committed change through a crash or kill
  // of any process; FULL (QV_STORE_SYNC=full) also survives a power cut, at
  // the price of one disk flush per commit.
  const char* sync = std::getenv("QV_STORE_SYNC");
  const bool full = sync != nullptr && std::string_view(sync) == "full";
  out.db.exec(full ? "PRAGMA foreign_keys=OFF; PRAGMA synchronous=FULL"
                   : "PRAGMA foreign_keys=OFF; PRAGMA synchronous=NORMAL");
  // Stores made before the engine kept its state get its tables now.
  EnsureEngineTables(out.db);
  if (IsNtKind(out.kind)) EnsureJournalTables(out.db);
  return out;
}

namespace {

// Returns the column names of table in db, in order (none when it is missing).
std::vector<std::string> ColumnsOf(Db& db, const std::string& table) {
  std::vector<std::string> out;
  Stmt st = db.prepareOnce("SELECT name FROM pragma_table_info(?)");
  st.bind(1, table);
  while (st.step()) out.emplace_back(st.columnText(0));
  return out;
}

}  // namespace

SourceKind CheckStoreFile(const std::string& path) {
  OpenedStore store = OpenStoreFile(path, DefaultBusyTimeoutMs());
  std::string problem;
  try {
    Stmt check = store.db.prepareOnce("PRAGMA quick_check");
    if (check.step() && check.columnText(0) != "ok") problem = check.columnText(0);
  } catch (const StoreError& e) {
    if (e.busy()) throw;
    problem = e.what();
  }
  if (!problem.empty()) throw StoreError(path + " is damaged: " + problem);
  // Compares the tables with those of a new store of the same kind.
  Db reference = Db::Open(":memory:", true, 0);
  CreateStoreSchema(reference, store.kind);
  Stmt tables = reference.prepareOnce("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name");
  while (tables.step()) {
    const std::string table(tables.columnText(0));
    const std::vector<std::string> have = ColumnsOf(store.db, table);
    if (have.empty()) throw StoreError(path + " is damaged: the table " + table + " is missing");
    for (const std::string& column : ColumnsOf(reference, table))
      if (std::find(have.begin(), have.end(), column) == have.end())
        throw StoreError(path + " is damaged: the table " + table + " has no column " + column);
  }
  return store.kind;
}

}  // namespace qv::embedded
