// Implements the management of embedded store files.
#include "dllparam/admin/store_admin.h"

#include <unistd.h>

#include <cctype>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "dllparam/admin/source_tables.h"
#include "dllparam/embedded/embedded_catalog.h"
#include "dllparam/embedded/embedded_engine.h"
#include "store/access_paths.h"

namespace qv::embedded {

namespace fs = std::filesystem;

namespace {

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return std::string(s.substr(b, s.find_last_not_of(' ') - b + 1));
}

std::string PadTo(std::string_view v, size_t width) {
  std::string out(v.substr(0, std::min(v.size(), width)));
  out.resize(width, ' ');
  return out;
}

// Column names of a table in a store of that kind, in record order.
std::vector<std::string> Columns(const Layout& table, SourceKind kind) {
  std::vector<std::string> out;
  if (IsNtKind(kind)) {
    for (std::string_view c : NtColumns(table)) out.emplace_back(c);
  } else {
    for (const Field& f : table.fields) out.emplace_back(f.column);
  }
  return out;
}

std::string Join(const std::vector<std::string>& items, std::string_view sep) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) out += (i ? std::string(sep) : "") + items[i];
  return out;
}

void RemoveStoreFiles(const std::string& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal", "-locks"}) fs::remove(path + suffix, ec);
}

std::string NowStamp() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

void Run(Db& db, const char* sql, std::initializer_list<std::string_view> values) {
  Stmt st = db.prepareOnce(sql);
  int i = 1;
  for (std::string_view v : values) st.bind(i++, v);
  st.step();
}

void WriteInitialContents(Db& db, const CreateStoreOptions& o) {
  const bool nt = IsNtKind(o.kind);
  Record ver(layout::QV_VER);
  ver.Set("SRCTYPE", nt ? "1" : "0");
  ver.Set("VERSION", o.version);
  ver.Set("VERFLAG", " ");
  {
    std::vector<std::string> cols = Columns(layout::QV_VER, o.kind);
    Stmt st = db.prepareOnce("INSERT INTO QV_VER (" + Join(cols, ", ") + ") VALUES (?, ?, ?)");
    for (size_t i = 0; i < 3; ++i) st.bind(static_cast<int>(i + 1), ver.Get(i));
    st.step();
  }
  Run(db, "INSERT INTO qvs_meta (key, value) VALUES ('computer_name', ?)", {o.computerName});
  Run(db, "INSERT INTO qvs_meta (key, value) VALUES ('created', ?)", {NowStamp()});

  auto setting = [&](const std::string& section, const char* key, const std::string& value) {
    Run(db, "INSERT OR REPLACE INTO qvs_setting (section, key, value) VALUES (?, ?, ?)", {section, key, value});
  };
  auto source = [&](const DataSource& d) {
    Run(db,
        "INSERT OR REPLACE INTO qvs_dsn (name, driver, server, instance, database, uid, pwd) "
        "VALUES (?, ?, ?, ?, ?, ?, ?)",
        {d.name, d.driver, d.server, d.instance, d.database, d.user, d.password});
  };
  switch (o.kind) {
    case SourceKind::AS400:
      Run(db, "INSERT INTO qvs_object (library, name, type, attribute, text) VALUES (?, ?, ?, ?, ?)",
          {"QSYS", kLibraryName, "*LIB", "PROD", "Configuration store"});
      break;
    case SourceKind::ODBC: {
      const std::string section = "QV_for_ODBC";
      setting(section, "ConnectString", "DSN=QVSOURCE");
      setting(section, "DriverName", "QV ODBC Driver");
      setting(section, "ParamUid", o.dbUser);
      setting(section, "ParamPwd", o.dbPassword);
      setting(section, "Database", std::string(kLibraryName));
      source({"QVSOURCE", "QV ODBC Driver", o.computerName, "", std::string(kLibraryName), o.dbUser, o.dbPassword});
      break;
    }
    case SourceKind::SQLServer: {
      const std::string section = "QV_for_SQLServer";
      setting(section, "ServerName", o.computerName);
      setting(section, "DriverName", "SQL Server");
      setting(section, "ParamUid", o.dbUser);
      setting(section, "ParamPwd", o.dbPassword);
      source({"QVSOURCE", "SQL Server", o.computerName, "", std::string(kLibraryName), o.dbUser, o.dbPassword});
      if (!o.instance.empty()) {
        setting(section + "\\" + o.instance, "ParamUid", o.dbUser);
        setting(section + "\\" + o.instance, "ParamPwd", o.dbPassword);
        source({"QVSOURCE_" + o.instance, "SQL Server", o.computerName, o.instance, std::string(kLibraryName),
                o.dbUser, o.dbPassword});
      }
      Run(db, "INSERT INTO qvs_sysproc (proc, col1, col2) VALUES (?, ?, ?)", {kHelpDistributor, "*SERVER", "distribution"});
      Run(db, "INSERT INTO qvs_sysproc (proc, col1, col2) VALUES (?, ?, ?)", {kHelpDistributionDb, "distribution", ""});
      Run(db, "INSERT INTO qvs_sysproc (proc, col1, col2) VALUES (?, ?, ?)", {kHelpDistPublisher, "*SERVER", "distribution"});
      Run(db, "INSERT INTO qvs_sysproc (proc, col1, col2) VALUES (?, ?, ?)", {kHelpSubscriberInfo, "*SERVER", "QUORVANE"});
      break;
    }
    case SourceKind::Oracle: {
      const std::string instance = o.instance.empty() ? "QVORA" : o.instance;
      setting("QV_for_Oracle", "ServerName", o.computerName);
      setting("QV_for_Oracle", "DriverName", "Oracle");
      setting("QV_for_Oracle\\" + instance, "ParamUid", o.dbUser);
      setting("QV_for_Oracle\\" + instance, "ParamPwd", o.dbPassword);
      source({"QVSOURCE", "Oracle", o.computerName, instance, std::string(kLibraryName), o.dbUser, o.dbPassword});
      break;
    }
  }
}

}  // namespace

void CreateStore(const std::string& path, const CreateStoreOptions& options) {
  std::error_code ec;
  if (fs::exists(path, ec) && !options.force)
    throw StoreError("a file already exists at " + path + " (replace it with force)");
  fs::path target(path);
  fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (!fs::is_directory(dir, ec)) throw StoreError("no folder " + dir.string() + " for the store " + path);
  const std::string temp = path + ".new-" + std::to_string(::getpid());
  RemoveStoreFiles(temp);
  try {
    {
      Db db = Db::Open(temp, true, DefaultBusyTimeoutMs());
      CreateStoreSchema(db, options.kind);
      WithWriteTransaction(db, [&] { WriteInitialContents(db, options); });
    }
    if (options.force) RemoveStoreFiles(path);
    fs::rename(temp, path, ec);
    if (ec) throw StoreError("cannot create " + path + ": " + ec.message());
  } catch (...) {
    RemoveStoreFiles(temp);
    throw;
  }
}

StoreAdmin::StoreAdmin(const std::string& path, int busyTimeoutMs) : path_(path) {
  OpenedStore s = OpenStoreFile(path, busyTimeoutMs);
  db_ = std::move(s.db);
  kind_ = s.kind;
}

void StoreAdmin::PutRecord(const Record& record) {
  const Layout& table = record.layout();
  if (table.kind != LayoutKind::Table) throw StoreError(std::string(table.name) + " is not a table");
  std::vector<std::string> cols = Columns(table, kind_);
  std::vector<std::string_view> values;
  if (IsNtKind(kind_)) values = RecordToNtValues(record);
  else
    for (size_t i = 0; i < table.fields.size(); ++i) values.push_back(record.Get(i));
  std::string marks;
  for (size_t i = 0; i < cols.size(); ++i) marks += i ? ", ?" : "?";
  WithWriteTransaction(db_, [&] {
    if (table.keyCount == 0) db_.exec("DELETE FROM " + std::string(table.table));
    Stmt st = db_.prepareOnce("INSERT OR REPLACE INTO " + std::string(table.table) + " (" + Join(cols, ", ") +
                              ") VALUES (" + marks + ")");
    for (size_t i = 0; i < values.size(); ++i) st.bind(static_cast<int>(i + 1), values[i]);
    st.step();
  });
}

std::vector<Record> StoreAdmin::Records(const Layout& table) {
  std::vector<std::string> cols = Columns(table, kind_);
  std::vector<std::string> order;
  for (const Field& k : table.Key()) order.emplace_back(k.column);
  if (order.empty()) order.emplace_back("rowid");
  Stmt st = db_.prepareOnce("SELECT " + Join(cols, ", ") + " FROM " + std::string(table.table) + " ORDER BY " +
                            Join(order, ", "));
  std::vector<Record> out;
  std::vector<int> widths;
  for (const std::string& c : cols) widths.push_back(table[c].width);
  while (st.step()) {
    std::string row;
    for (size_t i = 0; i < cols.size(); ++i) row += PadTo(st.columnText(static_cast<int>(i)), widths[i]);
    out.push_back(IsNtKind(kind_) ? NtRowToRecord(table, row) : Record(table, row));
  }
  return out;
}

size_t StoreAdmin::Count(const Layout& table) {
  Stmt st = db_.prepareOnce("SELECT COUNT(*) FROM " + std::string(table.table));
  st.step();
  return static_cast<size_t>(st.columnInt(0));
}

std::vector<Setting> StoreAdmin::Settings() {
  std::vector<Setting> out;
  Stmt st = db_.prepareOnce("SELECT section, key, value FROM qvs_setting ORDER BY section, key");
  while (st.step())
    out.push_back({std::string(st.columnText(0)), std::string(st.columnText(1)), std::string(st.columnText(2))});
  return out;
}

void StoreAdmin::DeclareDataSource(const DataSource& d) {
  Run(db_,
      "INSERT OR REPLACE INTO qvs_dsn (name, driver, server, instance, database, uid, pwd) "
      "VALUES (?, ?, ?, ?, ?, ?, ?)",
      {d.name, d.driver, d.server, d.instance, d.database, d.user, d.password});
}

std::vector<DataSource> StoreAdmin::DataSources() {
  std::vector<DataSource> out;
  Stmt st = db_.prepareOnce("SELECT name, driver, server, instance, database, uid, pwd FROM qvs_dsn ORDER BY name");
  while (st.step()) {
    DataSource d;
    d.name = st.columnText(0);
    d.driver = st.columnText(1);
    d.server = st.columnText(2);
    d.instance = st.columnText(3);
    d.database = st.columnText(4);
    d.user = st.columnText(5);
    d.password = st.columnText(6);
    out.push_back(std::move(d));
  }
  return out;
}

void StoreAdmin::PutObject(const StoreObject& o) {
  Run(db_, "INSERT OR REPLACE INTO qvs_object (library, name, type, attribute, text) VALUES (?, ?, ?, ?, ?)",
      {o.library, o.name, o.type, o.attribute, o.text});
}

void StoreAdmin::PutObjects(const std::vector<StoreObject>& objects) {
  WithWriteTransaction(db_, [&] {
    Stmt st = db_.prepare(
        "INSERT OR REPLACE INTO qvs_object (library, name, type, attribute, text) VALUES (?, ?, ?, ?, ?)");
    for (const StoreObject& o : objects) {
      int i = 1;
      for (std::string_view v : {std::string_view(o.library), std::string_view(o.name), std::string_view(o.type),
                                 std::string_view(o.attribute), std::string_view(o.text)})
        st.bind(i++, v);
      st.step();
      st.reset();
    }
  });
}

std::vector<StoreObject> StoreAdmin::Objects() {
  std::vector<StoreObject> out;
  Stmt st = db_.prepareOnce(
      "SELECT library, name, type, attribute, text FROM qvs_object ORDER BY library, name, type");
  while (st.step())
    out.push_back({std::string(st.columnText(0)), std::string(st.columnText(1)), std::string(st.columnText(2)),
                   std::string(st.columnText(3)), std::string(st.columnText(4))});
  return out;
}

void StoreAdmin::PutUserSpace(const std::string& library, const std::string& name, const std::string& data) {
  Run(db_, "INSERT OR REPLACE INTO qvs_usrspc (library, name, data) VALUES (?, ?, ?)", {library, name, data});
}

void StoreAdmin::PutActivity(const std::string& job, const std::string& block) {
  const std::string name = Trim(job);
  if (IsNtKind(kind_))
    Run(db_, "INSERT OR REPLACE INTO qvs_file (area, name, data) VALUES (?, ?, ?)", {kEngineArea, name, block});
  else
    PutUserSpace(std::string(kLibraryName), name, block);
}

std::vector<std::pair<std::string, size_t>> StoreAdmin::UserSpaces() {
  std::vector<std::pair<std::string, size_t>> out;
  Stmt st = db_.prepareOnce(
      "SELECT library || '/' || name, length(CAST(data AS BLOB)) FROM qvs_usrspc "
      "UNION ALL SELECT area || ':' || name, length(CAST(data AS BLOB)) FROM qvs_file ORDER BY 1");
  while (st.step()) out.emplace_back(std::string(st.columnText(0)), static_cast<size_t>(st.columnInt(1)));
  return out;
}

void StoreAdmin::SetProcedureAnswer(const std::string& procedure, const std::string& col1, const std::string& col2) {
  Run(db_, "INSERT OR REPLACE INTO qvs_sysproc (proc, col1, col2, error) VALUES (?, ?, ?, NULL)",
      {procedure, col1, col2});
}

void StoreAdmin::RemoveProcedureAnswer(const std::string& procedure) {
  Run(db_, "DELETE FROM qvs_sysproc WHERE proc = ?", {procedure});
}

void StoreAdmin::FailProcedure(const std::string& procedure, const std::string& error) {
  Run(db_, "INSERT OR REPLACE INTO qvs_sysproc (proc, col1, col2, error) VALUES (?, NULL, NULL, ?)",
      {procedure, error});
}

std::string StoreAdmin::ComputerName() {
  Stmt st = db_.prepareOnce("SELECT value FROM qvs_meta WHERE key = 'computer_name'");
  return st.step() ? std::string(st.columnText(0)) : std::string();
}

std::vector<StoreLock> StoreAdmin::Locks() { return ListStoreLocks(path_); }

// ---- Description ----------------------------------------------------------

namespace {

std::string Shown(std::string_view value) {
  std::string v = Trim(value);
  if (v.find(' ') != std::string::npos || v.empty()) return "\"" + v + "\"";
  return v;
}

}  // namespace

std::string DescribeStore(const std::string& path) {
  StoreAdmin store(path);
  std::ostringstream out;
  out << "Store " << path << "\n";
  out << "  kind            " << KindName(store.kind()) << "\n";
  out << "  format          " << kStoreFormat << "\n";
  out << "  computer name   " << store.ComputerName() << "\n";
  std::vector<Record> ver = store.Records(layout::QV_VER);
  if (!ver.empty())
    out << "  QV_VER          SRCTYPE=" << Shown(ver[0].Get("SRCTYPE")) << " VERSION=" << Shown(ver[0].Get("VERSION"))
        << " VERFLAG=" << Shown(ver[0].Get("VERFLAG")) << "\n";

  out << "\nTables\n";
  for (const Layout* t : StoreTables()) {
    size_t n = store.Count(*t);
    out << "  " << PadTo(t->name, 8) << " " << n << (n == 1 ? " row" : " rows") << "\n";
  }
  for (const Layout* t : StoreTables()) {
    if (t == &layout::QV_VER) continue;
    std::vector<Record> rows = store.Records(*t);
    if (rows.empty()) continue;
    out << "\n" << t->name << "\n";
    for (const Record& r : rows) {
      std::string line;
      for (size_t i = 0; i < t->fields.size(); ++i) {
        const Field& f = t->fields[i];
        if (IsNtKind(store.kind()) && !f.nt) continue;
        std::string v = Trim(r.Get(i));
        if (v.empty()) continue;
        line += " " + std::string(f.name) + "=" + (IsPasswordField(f.name) ? std::string("***") : Shown(v));
      }
      out << " " << line << "\n";
    }
  }

  if (std::string source = DescribeSourceTables(store); !source.empty()) out << "\nSource tables\n" << source;

  std::vector<Setting> settings = store.Settings();
  if (!settings.empty()) {
    out << "\nSettings\n";
    for (const Setting& s : settings)
      out << "  [" << s.section << "] " << s.key << "="
          << (s.key == "ParamPwd" ? std::string("***") : s.value) << "\n";
  }
  std::vector<DataSource> sources = store.DataSources();
  if (!sources.empty()) {
    out << "\nData sources\n";
    for (const DataSource& d : sources)
      out << "  " << d.name << " driver=" << Shown(d.driver) << " server=" << Shown(d.server)
          << (d.instance.empty() ? "" : " instance=" + d.instance) << " database=" << Shown(d.database)
          << " user=" << Shown(d.user) << " password=***\n";
  }
  std::vector<StoreObject> objects = store.Objects();
  if (!objects.empty()) {
    out << "\nObjects\n";
    for (const StoreObject& o : objects)
      out << "  " << o.library << "/" << o.name << " " << o.type << " " << o.attribute << " " << Shown(o.text)
          << "\n";
  }
  const std::vector<CatalogFile> catalog = CatalogFiles(store.db());
  if (!catalog.empty()) {
    out << "\nFile catalog\n";
    for (const CatalogFile& f : catalog) {
      out << "  " << f.library << "/" << f.name << " " << f.attribute << " formats";
      for (const std::string& format : f.formats) out << " " << format;
      out << (f.keys.empty() ? " arrival sequence" : " keyed by");
      for (const std::string& key : f.keys) out << " " << key;
      out << ", " << f.fields.size() << " fields\n";
      for (const CatalogField& c : f.fields)
        out << "    " << c.name << " " << c.type << " bytes=" << c.bytes << " digits=" << c.digits
            << " decimals=" << c.decimals << (c.varying ? " varying" : "") << " " << Shown(c.text) << "\n";
    }
  }
  auto spaces = store.UserSpaces();
  if (!spaces.empty()) {
    out << "\n" << (IsNtKind(store.kind()) ? "Engine files" : "User spaces") << "\n";
    for (const auto& [name, size] : spaces) out << "  " << name << " (" << size << " bytes)\n";
  }
  std::vector<JobInfo> jobs = Jobs(store.db());
  if (!jobs.empty()) {
    out << "\nEngine jobs\n";
    for (const JobInfo& j : jobs)
      out << "  " << j.name << " " << j.env << "/" << j.tgt << "/" << j.grp << " "
          << (j.state == "A" ? "active" : "ended") << " number " << j.number << " kind " << j.engineKind
          << (j.instance.empty() || j.instance == "*" ? "" : " instance " + j.instance) << " started "
          << j.startedAt << ", " << static_cast<long long>(j.elapsed) << " s run at its last activity read\n";
  }
  std::vector<StoredMessage> messages = MessagesAfter(store.db(), 0);
  if (!messages.empty()) {
    out << "\nMessage queue\n";
    for (const StoredMessage& m : messages) {
      const std::string& d = m.date;
      const std::string& t = m.time;
      out << "  " << (d[0] == '0' ? "19" : "20") << d.substr(1, 2) << "/" << d.substr(3, 2) << "/" << d.substr(5, 2)
          << " " << t.substr(0, 2) << ":" << t.substr(2, 2) << ":" << t.substr(4, 2) << " " << Trim(m.job) << " "
          << Trim(m.program) << " severity " << m.severity << ": " << m.text << "\n";
    }
  }
  if (store.kind() == SourceKind::SQLServer) {
    out << "\nSQL Server installation checks\n";
    Stmt st = store.db().prepareOnce("SELECT proc, col1, col2, error FROM qvs_sysproc ORDER BY proc");
    while (st.step()) {
      out << "  " << st.columnText(0);
      if (!st.columnIsNull(3)) out << " fails: " << st.columnText(3) << "\n";
      else if (st.columnIsNull(1)) out << " answers no row\n";
      else out << " answers " << Shown(st.columnText(1)) << " " << Shown(st.columnText(2)) << "\n";
    }
  }
  std::vector<StoreLock> locks = store.Locks();
  if (!locks.empty()) {
    out << "\nRecord locks\n";
    for (const StoreLock& l : locks)
      out << "  " << l.table << " row " << l.rowid << " held by " << l.owner << " connection " << l.connection
          << " handle " << l.handle << " since " << l.since << "\n";
  }
  return out.str();
}

}  // namespace qv::embedded
