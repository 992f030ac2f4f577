// Implements the creation of a store in a database reached through ODBC.
#include "dllparam/odbc/odbc_store.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "dllparam/odbc/odbc_source.h"
#include "presentation/strutil.h"
#include "store/schema.h"
#include "store/sqltext.h"

namespace qv::odbc {

namespace {

// A store of the plain ODBC kind in a temporary folder, filled as the
// database is to be; removed with its folder.
class TemplateStore {
 public:
  explicit TemplateStore(const OdbcStoreOptions& options) {
    std::string pattern = (std::filesystem::temp_directory_path() / "qvodbc-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    folder_ = pattern;
    path_ = folder_ + "/template.qvs";
    embedded::CreateStoreOptions store = options.store;
    store.kind = embedded::SourceKind::ODBC;
    embedded::CreateStore(path_, store);
    if (options.demo) {
      embedded::StoreAdmin admin(path_);
      embedded::WriteDemoTopology(admin, options.masterPassword);
    }
  }
  ~TemplateStore() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  TemplateStore(const TemplateStore&) = delete;
  TemplateStore& operator=(const TemplateStore&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
};

class Session {
 public:
  explicit Session(const std::string& connect) : source_(0) {
    const std::string address = UCase(connect.substr(0, 5)) == "ODBC:" ? connect : "odbc:" + connect;
    std::string version(DllParam::kServerInfoWidth, ' '), job(DllParam::kServerInfoWidth, ' ');
    int32_t h = 0;
    Check(source_.OpenMConnection(address, version, job, h), "cannot reach the data source");
    std::string keys(255, ' '), driver(100, ' '), user(255, ' '), password(255, ' '), database(255, ' ');
    Check(source_.GetDBParamKeys(keys, driver, user, password, database), "cannot read the login");
    const auto text = [](const std::string& b) { return Trim(dllparam::CutAtNul(b)); };
    std::string out(DllParam::kDsnMessageBuffer, ' ');
    std::string u = text(user), p = text(password);
    Check(source_.ConnectDSN(text(keys), u.empty() ? " " : u, p.empty() ? " " : p, out),
          "cannot log in to the data source");
  }

  OdbcSource& source() { return source_; }

  void Check(int32_t result, const std::string& what) {
    if (result) return;
    int32_t code = 0, errNum = 0;
    std::string text(DllParam::kErrorTextBuffer, ' ');
    source_.GetLastError(code, errNum, text);
    throw std::runtime_error(what + ": " + Trim(dllparam::CutAtNul(text)));
  }

 private:
  OdbcSource source_;
};

}  // namespace

void CreateOdbcStore(const std::string& connect, const OdbcStoreOptions& options) {
  Session session(connect);
  OdbcSource& db = session.source();
  const std::string product = UCase(db.DatabaseProduct());
  // SQLite compares CHAR values with their trailing blanks: the columns ignore them.
  const ServerColumns columns{product.find("SQLITE") != std::string::npos ? " COLLATE RTRIM" : ""};

  std::vector<std::string> tables;
  for (const Layout* t : StoreTables()) tables.emplace_back(t->table);
  tables.emplace_back("QV_MX");
  if (db.TableNTExist("QV_VER")) {
    if (!options.force)
      throw std::runtime_error("the data source already holds a store (table QV_VER); --force replaces it");
    for (const std::string& t : tables)
      if (db.TableNTExist(t)) session.Check(db.Saction("DROP TABLE " + t), "cannot drop " + t);
  }

  TemplateStore model(options);
  embedded::StoreAdmin admin(model.path());
  session.Check(db.SetConnectOption(DllParam::kOptionBeginChange), "cannot start the unit of work");
  try {
    for (const std::string& sql : StoreSchemaSql(StoreKind::Nt, columns))
      session.Check(db.Saction(sql), "cannot create the store");
    for (const Layout* t : StoreTables())
      for (const Record& r : admin.Records(*t)) session.Check(db.Saction(SqlInsert("", r)), "cannot fill the store");
  } catch (...) {
    std::string out(DllParam::kDsnMessageBuffer, ' ');
    db.CloseConnectionDSN("", out);  // loses the unit
    throw;
  }
  session.Check(db.SetConnectOption(DllParam::kOptionEndChange), "cannot keep the store");
}

}  // namespace qv::odbc
