// Answers the catalog services of NT stores: the databases or schemas of the
// source (the system ones of its kind, the store's own database and the
// databases of the source tables kept), their tables by mask, the creation
// and check of a table, the statements that list databases and schemas, and
// the text files of the source machine, kept in the folder the store names.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "catalogs/nt_catalog_text.h"
#include "dllparam/embedded/embedded_internal.h"
#include "store/record_layouts.h"

namespace qv::embedded {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kErrNoDatabase = 911;      // database does not exist
constexpr int32_t kErrObjectExists = 2714;   // there is already an object named ...
constexpr int32_t kErrBadName = 103;         // identifier that cannot name a table
constexpr size_t kLongestName = 128;

// SQL Server's own databases and the tables every database shows.
constexpr const char* kSqlServerDatabases[] = {"master", "model", "msdb", "tempdb"};
constexpr const char* kSqlServerTables[] = {
    "INFORMATION_SCHEMA.COLUMNS", "INFORMATION_SCHEMA.TABLES", "INFORMATION_SCHEMA.VIEWS", "dbo.dtproperties",
    "dbo.sysalternates",          "dbo.sysarticleupdates",     "dbo.sysconstraints",       "dbo.syssegments"};
// Oracle's own schemas.
constexpr const char* kOracleSchemas[] = {"SYS", "SYSTEM"};

// Tells whether name can name a database or a table: a letter, "_", "#",
// "@" or "$", then those or digits, at most 128 characters.
bool PlainName(std::string_view name) {
  if (name.empty() || name.size() > kLongestName) return false;
  auto ok = [](char ch, bool first) {
    const unsigned char u = static_cast<unsigned char>(ch);
    return std::isalpha(u) || ch == '_' || ch == '#' || ch == '@' || ch == '$' || (!first && std::isdigit(u));
  };
  for (size_t i = 0; i < name.size(); ++i)
    if (!ok(name[i], i == 0)) return false;
  return true;
}

bool SameName(std::string_view a, std::string_view b) { return UpperText(a) == UpperText(b); }

// The source tables kept: database and table of each, as stored.
std::vector<std::pair<std::string, std::string>> KeptTables(Db& db) {
  std::vector<std::pair<std::string, std::string>> out;
  Stmt st = db.prepareOnce("SELECT name FROM sqlite_master WHERE type = 'table' AND instr(name, '.') > 0");
  while (st.step()) {
    const std::string stored(st.columnText(0));
    const size_t dot = stored.find('.');
    out.emplace_back(stored.substr(0, dot), stored.substr(dot + 1));
  }
  return out;
}

bool IsConfigurationTable(std::string_view name) {
  const std::string upper = UpperText(name);
  if (upper == "QV_MX") return true;
  for (const Layout* t : StoreTables())
    if (t->table == upper) return true;
  return false;
}

// Gives the names of a listing that come after the last one given, as many
// as fit list, each followed by a TAB; after moves on.
int32_t PutNamePage(const std::vector<std::string>& names, std::string& after, std::string& list) {
  std::string text;
  for (const std::string& name : names) {
    if (!after.empty() && name <= after) continue;
    if (text.size() + name.size() + 1 > list.size()) break;
    text += name + "\t";
    after = name;
  }
  return dllparam::PutInBuffer(list, text);
}

}  // namespace

// ---- Databases and tables ----------------------------------------------------------------

std::vector<std::string> EmbeddedSource::DatabasesOf(Connection& c) {
  std::vector<std::string> names;
  auto add = [&](const std::string& name) {
    if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return SameName(n, name); }))
      names.push_back(name);
  };
  if (c.kind == SourceKind::SQLServer)
    for (const char* d : kSqlServerDatabases) add(d);
  if (c.kind == SourceKind::Oracle)
    for (const char* s : kOracleSchemas) add(s);
  add(std::string(kLibraryName));
  for (const auto& [database, table] : KeptTables(c.db)) add(database);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> EmbeddedSource::TablesOf(Connection& c, const std::string& database) {
  const std::vector<std::string> databases = DatabasesOf(c);
  const std::string db = TrimText(database);
  const bool any = db.empty() && c.kind == SourceKind::ODBC;
  if (!any && std::none_of(databases.begin(), databases.end(), [&](const std::string& d) { return SameName(d, db); }))
    Fail(kCodeRefused, "Database '" + db + "' does not exist. Make sure that the name is entered correctly.",
         kErrNoDatabase);
  const std::string owner = c.kind == SourceKind::SQLServer ? "dbo." : "";
  std::vector<std::string> names;
  if (any || SameName(db, kLibraryName)) {
    for (const Layout* t : StoreTables()) names.push_back(owner + std::string(t->table));
    names.push_back(owner + "QV_MX");
  }
  for (const auto& [stored, table] : KeptTables(c.db))
    if (any || SameName(stored, db)) names.push_back(owner + table);
  if (c.kind == SourceKind::SQLServer)
    for (const char* t : kSqlServerTables) names.emplace_back(t);
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

bool EmbeddedSource::TableExists(Connection& c, const std::string& database, const std::string& table) {
  if (database.empty() || SameName(database, kLibraryName))
    if (IsConfigurationTable(table)) return true;
  for (const auto& [stored, name] : KeptTables(c.db))
    if (SameName(name, table) && (database.empty() || SameName(stored, database))) return true;
  return false;
}

int32_t EmbeddedSource::FillDB(const std::string& filter, std::string& list, int32_t& len, int32_t first) {
  len = 0;
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "databases are listed by NT sources only");
    if (!c.login) Fail(kCodeRefused, "not logged in to a database: ConnectDSN first");
    if (first != kFirstCall && first != kNextCall) Fail(kCodeBadCall, "first-call flag " + std::to_string(first));
    if (first == kFirstCall) c.databasesAfter.clear();
    const std::string pattern = TrimText(filter);
    std::vector<std::string> names;
    for (const std::string& name : DatabasesOf(c))
      if (pattern == kNoFilter || MatchesMask(name, pattern)) names.push_back(name);
    len = PutNamePage(names, c.databasesAfter, list);
    return 1;
  });
}

int32_t EmbeddedSource::FillTBL(const std::string& database, const std::string& mask, std::string& list,
                                int32_t& len, int32_t first) {
  len = 0;
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "tables are listed by NT sources only");
    if (!c.login) Fail(kCodeRefused, "not logged in to a database: ConnectDSN first");
    if (first != kFirstCall && first != kNextCall) Fail(kCodeBadCall, "first-call flag " + std::to_string(first));
    if (first == kFirstCall) c.tablesAfter.clear();
    const std::string pattern = TrimText(mask).empty() ? std::string("%") : TrimText(mask);
    std::vector<std::string> names;
    for (const std::string& name : TablesOf(c, database)) {
      // The mask selects by the table's own name, not its owner.
      const size_t dot = name.rfind('.');
      if (MatchesMask(dot == std::string::npos ? name : name.substr(dot + 1), pattern)) names.push_back(name);
    }
    len = PutNamePage(names, c.tablesAfter, list);
    return 1;
  });
}

int32_t EmbeddedSource::TableNTExist(const std::string& table) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "tables are checked by NT sources only");
    if (!c.login) Fail(kCodeRefused, "not logged in to a database: ConnectDSN first");
    const auto [database, name] = SplitQualified(table);
    if (name.empty()) Fail(kCodeBadCall, "no table named");
    if (TableExists(c, database, name)) return 1;
    last_ = {kCodeNotFound, 0, "no table " + TrimText(table)};
    return 0;
  });
}

int32_t EmbeddedSource::CreateTable(const std::string& table, const std::string& definition) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "tables are created on NT sources only");
    if (!c.login) Fail(kCodeRefused, "not logged in to a database: ConnectDSN first");
    auto [database, name] = SplitQualified(table);
    if (database.empty()) database = kLibraryName;
    for (const std::string& part : {database, name})
      if (!PlainName(part))
        Fail(kCodeRefused, "'" + part + "' cannot name a table: letters, digits, _ # @ $ only, 128 at most",
             kErrBadName);
    if (TableExists(c, database, name))
      Fail(kCodeRefused, "There is already an object named '" + name + "' in the database.", kErrObjectExists);
    if (SameName(database, kLibraryName) && IsConfigurationTable(name))
      Fail(kCodeRefused, "There is already an object named '" + name + "' in the database.", kErrObjectExists);
    const std::string sql =
        "CREATE TABLE \"" + SourceTableName(database, name) + "\" (" + definition + ")";
    // The definition is the caller's SQL: the authorizer checks it as served SQL.
    c.servingSql = true;
    try {
      std::string_view tail;
      Stmt st = c.db.prepareOnce(sql, &tail);
      CheckServed(st, tail);
      st.step();
    } catch (...) {
      c.servingSql = false;
      throw;
    }
    c.servingSql = false;
    return 1;
  });
}

// Answers the statements that list databases (SQL Server) and schemas
// (Oracle), one name of the catalog's width a row.
bool EmbeddedSource::CatalogStatement(Connection& c, Handle* hd, const std::string& canon) {
  size_t width = 0;
  if (c.kind == SourceKind::SQLServer && canon == UpperText(kDatabasesSql)) width = kDatabaseNameWidth;
  if (c.kind == SourceKind::Oracle && canon == UpperText(kSchemasSql)) width = kSchemaNameWidth;
  if (width == 0) return false;
  if (hd)
    for (const std::string& name : DatabasesOf(c)) hd->rows.push_back(Fit(name, width));
  return true;
}

// ---- Text files of the source machine ----------------------------------------------------

std::string EmbeddedSource::ServerFile(Connection& c, const std::string& path) {
  // The folder: qvs_meta's server_folder (relative to the store's folder),
  // else the store's name + ".server" beside it.
  fs::path folder = fs::path(c.path).string() + ".server";
  Stmt st = c.db.prepareOnce("SELECT value FROM qvs_meta WHERE key = 'server_folder'");
  if (st.step()) folder = fs::path(c.path).parent_path() / std::string(st.columnText(0));
  std::string p = TrimText(path);
  std::replace(p.begin(), p.end(), '\\', '/');
  if (p.empty()) Fail(kCodeBadCall, "no file named");
  const bool drive = p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]));
  if (p[0] == '/' || drive)
    Fail(kCodeRefused, "path " + TrimText(path) + " is absolute: name server files inside " + folder.string());
  fs::path at = folder;
  std::vector<std::string> parts;
  for (size_t start = 0; start <= p.size();) {
    const size_t slash = std::min(p.find('/', start), p.size());
    const std::string part = p.substr(start, slash - start);
    start = slash + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") Fail(kCodeRefused, "path " + TrimText(path) + " leaves the server folder " + folder.string());
    parts.push_back(part);
  }
  if (parts.empty()) Fail(kCodeBadCall, "path " + TrimText(path) + " names no file");
  for (const std::string& part : parts) {
    at /= part;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(at, ec)))
      Fail(kCodeRefused, "path " + TrimText(path) + " goes through the symbolic link " + at.string() +
                             ", which may lead outside the server folder " + folder.string());
  }
  return at.string();
}

int32_t EmbeddedSource::WriteFileWithFullPath(const std::string& path, const std::string& text, int32_t replace) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (replace != kReplaceFile && replace != kAppendFile) Fail(kCodeBadCall, "unknown write mode");
    const std::string file = ServerFile(c, path);
    std::error_code ec;
    fs::create_directories(fs::path(file).parent_path(), ec);
    if (ec) Fail(kCodeRefused, "cannot create the folder of " + file + ": " + ec.message());
    const int fd = ::open(file.c_str(),
                          O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (replace == kReplaceFile ? O_TRUNC : O_APPEND),
                          0600);
    if (fd < 0) Fail(kCodeRefused, "cannot write " + file + ": " + std::strerror(errno));
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        Fail(kCodeRefused, "cannot write " + file + ": " + why);
      }
      done += static_cast<size_t>(n);
    }
    ::close(fd);
    return 1;
  });
}

int32_t EmbeddedSource::DeleteFileWithFullPath(const std::string& path) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    const std::string file = ServerFile(c, path);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(file, ec);
    if (!fs::exists(status)) {
      last_ = {kCodeNotFound, 0, "no file " + TrimText(path)};
      return 0;
    }
    if (!fs::is_regular_file(status)) Fail(kCodeRefused, file + " is not a file");
    if (!fs::remove(file, ec)) Fail(kCodeRefused, "cannot delete " + file + ": " + ec.message());
    return 1;
  });
}

}  // namespace qv::embedded
