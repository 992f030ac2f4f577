// The fixture of the store operation tests: embedded stores and ODBC databases.
#include "support/store_fixture.h"

#include "dllparam/embedded/embedded_source.h"
#include "dllparam/odbc/odbc_source.h"
#include "dllparam/odbc/odbc_store.h"
#include "store/records.h"
#include "store/sqltext.h"
#include "support/lib_client.h"
#include "support/odbc_databases.h"

namespace qv::test {

EngineStandIn::EngineStandIn(std::unique_ptr<DllParam> inner) : DllParamWrapper(std::move(inner)) {}

int32_t EngineStandIn::Execute(std::string& code, std::string& ctl, std::string& data) {
  const std::string c = code.substr(0, code.find_last_not_of(" _") + 1);
  if (c == "SYSLSTJOB") {
    const std::string job = data.substr(6, 10);
    dllparam::PutInBuffer(data, running.count(job) ? "00015" + job : "00000");
    return 1;
  }
  if (c == "DLTUSRSPC") {
    userSpacesDeleted.push_back(data.substr(5, 10));
    return 1;
  }
  return DllParamWrapper::Execute(code, ctl, data);
}

int32_t EngineStandIn::SJobList(const std::string& job, std::string& answer, const std::string&) {
  dllparam::PutInBuffer(answer, running.count(job) ? "00001\t" + job + " 4242\t" : "00000");
  return 1;
}

int32_t EngineStandIn::DeleteFile(const std::string& file) {
  userSpacesDeleted.push_back(file);
  return 1;
}

int32_t EngineStandIn::Saction(const std::string& sql) {
  return DllParamWrapper::Saction(failWhen && failWhen("Saction", sql) ? "INJECTED FAILURE" : sql);
}

int32_t EngineStandIn::Around(const DllParamCall&, dllparam::RunRef run) {
  if (beforeCall) beforeCall();
  return run();
}

int32_t EngineStandIn::Rdelete(int32_t h) {
  return DllParamWrapper::Rdelete(failWhen && failWhen("Rdelete", "") ? -77 : h);
}

int32_t EngineStandIn::Rupdate(int32_t h, const std::string& rec, int32_t len) {
  return DllParamWrapper::Rupdate(failWhen && failWhen("Rupdate", "") ? -77 : h, rec, len);
}

// The database of a plain ODBC kind, reached beside the control, and the
// embedded store the test writes into: what lands there moves to the
// database, replacing the rows of the same key.
class StoreTest::Database {
 public:
  explicit Database(const std::string& staging) : staging_(staging) {}

  // Logs in to the database and makes its store new: the store tables (made
  // once per database of the process), holding nothing until the embedded
  // store's records move in.
  bool Open(const std::string& connect) {
    static std::set<std::string> made;
    if (!made.count(connect)) {
      odbc::OdbcStoreOptions options;
      options.force = true;
      odbc::CreateOdbcStore(connect, options);
      made.insert(connect);
    }
    if (!db_.Open("odbc:" + connect) || !db_.Login(connect)) return false;
    Unit([&] {
      for (const Layout* t : StoreTables()) Run("DELETE FROM " + std::string(t->table));
    });
    return true;
  }

  // Moves the records written into the embedded store since the last move.
  void Flush() {
    if (DataVersion() == seen_) return;
    Unit([&] {
      for (const Layout* t : StoreTables()) {
        const std::vector<Record> records = staging_.Records(*t);
        for (const Record& r : records) {
          Run(t->keyCount == 0 ? "DELETE FROM " + std::string(t->table) : SqlDelete("", SqlKey::Of(r)));
          Run(SqlInsert("", r));
        }
        if (!records.empty()) staging_.db().exec("DELETE FROM " + std::string(t->table));
      }
    });
    seen_ = DataVersion();
  }

  // Returns the rows of a table in key order.
  std::vector<Record> Records(const Layout& table) {
    std::string order;
    for (const Field& f : table.Key()) order += (order.empty() ? " ORDER BY " : ", ") + std::string(f.column);
    std::vector<Record> out;
    for (const std::string& row :
         db_.SreadAll("SELECT " + NtColumnList(table) + " FROM " + std::string(table.table) + order,
                      NtRowLength(table)))
      out.push_back(NtRowToRecord(table, row));
    if (db_.last.code && db_.last.code != DllParam::kCodeNotFound)
      ADD_FAILURE() << "reading " << table.table << ": " << db_.last.text;
    return out;
  }

 private:
  void Run(const std::string& sql) {
    if (!db_.Saction(sql)) ADD_FAILURE() << sql << ": " << ErrorOf(db_.lib());
  }
  void Unit(const std::function<void()>& writes) {
    EXPECT_TRUE(db_.Option(DllParam::kOptionBeginChange)) << ErrorOf(db_.lib());
    writes();
    EXPECT_TRUE(db_.Option(DllParam::kOptionEndChange)) << ErrorOf(db_.lib());
  }
  // Returns a number that changes when another connection writes the embedded store.
  int64_t DataVersion() {
    embedded::Stmt st = staging_.db().prepareOnce("PRAGMA data_version");
    st.step();
    return st.columnInt(0);
  }

  LibClient db_{kOdbc, std::make_unique<odbc::OdbcSource>()};
  embedded::StoreAdmin staging_;
  int64_t seen_ = -1;
};

StoreTest::StoreTest() : store_(GetParam().store) { Open(); }

void StoreTest::Open() {
  const Kind& kind = GetParam();
  std::unique_ptr<DllParam> source = std::make_unique<embedded::EmbeddedSource>();
  std::string address = store_.address();
  if (kind.odbcDriver) {
    std::string connect;
    if (kind.odbcDriver == std::string(kPsqlOdbc)) {
      QV_SKIP_WITHOUT_POSTGRES();
      connect = *PostgresConnect();
    } else {
      ASSERT_FALSE(SqliteOdbcDriver().empty()) << "no SQLite ODBC driver (scripts/setup installs libsqliteodbc)";
      connect = SqliteConnect(store_.folder() + "/odbc.db");
    }
    database_ = std::make_unique<Database>(store_.path());
    ASSERT_TRUE(database_->Open(connect));
    source = std::make_unique<odbc::OdbcSource>();
    address = "odbc:" + connect;
  }
  auto engine = std::make_unique<EngineStandIn>(std::move(source));
  engine_ = engine.get();
  if (database_) engine_->beforeCall = [db = database_.get()] { db->Flush(); };
  control_ = std::make_unique<QVSource>(std::move(engine));
  control_->SourceType(kind.type);
  control_->InstanceName(kind.instance);
  SetProcessUserID("TESTER");
  SetProcessPassword("");
  if (!control_->OpenConnection(address))
    ADD_FAILURE() << "OpenConnection: " << control_->ErrorNum() << " " << control_->ErrorText();
  control_->AddEventSink(&events);
  control_->env("E1");
  ClearError();
}

StoreTest::~StoreTest() {
  if (control_) control_->CloseConnection();
  SetProcessUserID("");
}

void StoreTest::ClearError() {
  control_->ErrorNum();
  control_->ErrorText();
  control_->ErrorStep();
}

namespace {

const Layout* const kTables[] = {&layout::QV_EX, &layout::QV_UID, &layout::QV_CX, &layout::QV_GX,
                                 &layout::QV_FX, &layout::QV_ZX,  &layout::QV_TX, &layout::QV_GC,
                                 &layout::QV_FC, &layout::QV_ZC,  &layout::QV_END};

}  // namespace

std::vector<Record> StoreTest::Records(const Layout& table) {
  if (!database_) return Admin().Records(table);
  database_->Flush();
  return database_->Records(table);
}

std::vector<std::string> StoreTest::Stored(const Layout& table, const std::string& env) {
  std::vector<std::string> out;
  for (const Record& r : Records(table))
    if (env.empty() || r.Get("ENVID") == FitText(env, 2)) out.push_back(r.image());
  return out;
}

std::vector<std::size_t> StoreTest::CountsOf(const std::string& env) {
  std::vector<std::size_t> out;
  for (const Layout* t : kTables) out.push_back(Stored(*t, env).size());
  return out;
}

std::map<std::string, std::vector<std::string>> StoreTest::Snapshot() {
  std::map<std::string, std::vector<std::string>> out;
  for (const Layout* t : kTables) out[std::string(t->name)] = Stored(*t);
  return out;
}

void StoreTest::Restore(const std::map<std::string, std::vector<std::string>>& snapshot) {
  auto admin = Admin();
  for (const Layout* t : kTables)
    if (auto rows = snapshot.find(std::string(t->name)); rows != snapshot.end())
      for (const std::string& image : rows->second) admin.PutRecord(Record(*t, image));
}

}  // namespace qv::test
