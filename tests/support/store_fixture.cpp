// The embedded-store fixture of the store operation tests.
#include "support/store_fixture.h"

#include "dllparam/embedded/embedded_source.h"
#include "dllparam/odbc/odbc_source.h"
#include "store/records.h"
#include "support/odbc_databases.h"

namespace qv::test {

EngineStandIn::EngineStandIn(std::unique_ptr<DllParam> inner) : DllParamWrapper(std::move(inner)) {}

bool EngineStandIn::Injected(const std::string& op, const std::string& text) {
  return failWhen && failWhen(op, text);
}

int32_t EngineStandIn::Execute(std::string& code, std::string& ctl, std::string& data) {
  const std::string c = code.substr(0, code.find_last_not_of(" _") + 1);
  if (c == "SYSLSTJOB") {
    const std::string job = data.substr(6, 10);
    const std::string text = running.count(job) ? "00015" + job : "00000";
    data.replace(0, text.size(), text);
    if (text.size() < data.size()) data[text.size()] = '\0';
    return 1;
  }
  if (c == "DLTUSRSPC") {
    userSpacesDeleted.push_back(data.substr(5, 10));
    return 1;
  }
  return DllParamWrapper::Execute(code, ctl, data);
}

int32_t EngineStandIn::SJobList(const std::string& job, std::string& answer, const std::string&) {
  const std::string text = running.count(job) ? "00001\t" + job + " 4242\t" : "00000";
  answer.replace(0, text.size(), text);
  if (text.size() < answer.size()) answer[text.size()] = '\0';
  return 1;
}

int32_t EngineStandIn::DeleteFile(const std::string& file) {
  userSpacesDeleted.push_back(file);
  return 1;
}

int32_t EngineStandIn::Saction(const std::string& sql) {
  statements.push_back(sql);
  return DllParamWrapper::Saction(Injected("Saction", sql) ? "INJECTED FAILURE" : sql);
}

int32_t EngineStandIn::Sread(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                             int32_t option) {
  statements.push_back(sql);
  return DllParamWrapper::Sread(hStmt, buf, len, sql, option);
}

int32_t EngineStandIn::Sreadblock(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                                  const std::string& first, int32_t& flag) {
  if (!sql.empty()) statements.push_back(sql);
  return DllParamWrapper::Sreadblock(hStmt, buf, len, sql, first, flag);
}

int32_t EngineStandIn::Rdelete(int32_t h) { return DllParamWrapper::Rdelete(Injected("Rdelete", "") ? -77 : h); }

int32_t EngineStandIn::Rupdate(int32_t h, const std::string& rec, int32_t len) {
  return DllParamWrapper::Rupdate(Injected("Rupdate", "") ? -77 : h, rec, len);
}

int32_t EngineStandIn::Rwrite(int32_t h, const std::string& rec, int32_t len) {
  return DllParamWrapper::Rwrite(Injected("Rwrite", "") ? -77 : h, rec, len);
}

namespace {

// Returns the library the control of a store test uses and the address it
// opens: the embedded source, or the ODBC source over the store file.
std::pair<std::unique_ptr<DllParam>, std::string> SourceOf(const Kind& kind, const EmbeddedStore& store) {
  if (!kind.odbcDriver) return {std::make_unique<embedded::EmbeddedSource>(), store.address()};
  if (SqliteOdbcDriver().empty()) ADD_FAILURE() << "no SQLite ODBC driver (scripts/setup installs libsqliteodbc)";
  return {std::make_unique<odbc::OdbcSource>(), "odbc:" + SqliteConnect(store.path())};
}

}  // namespace

StoreTest::StoreTest() : store_(GetParam().store) {
  auto [source, address] = SourceOf(GetParam(), store_);
  auto engine = std::make_unique<EngineStandIn>(std::move(source));
  engine_ = engine.get();
  control_ = std::make_unique<QVSource>(std::move(engine));
  control_->SourceType(GetParam().type);
  control_->InstanceName(GetParam().instance);
  SetProcessUserID("TESTER");
  SetProcessPassword("");
  if (!control_->OpenConnection(address))
    ADD_FAILURE() << "OpenConnection: " << control_->ErrorNum() << " " << control_->ErrorText();
  control_->AddEventSink(&events);
  control_->env("E1");
  ClearError();
  engine_->statements.clear();
}

StoreTest::~StoreTest() {
  control_->CloseConnection();
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

std::vector<std::string> StoreTest::Stored(const Layout& table, const std::string& env) {
  std::vector<std::string> out;
  for (const Record& r : Admin().Records(table))
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

void StoreTest::FailNthDelete(int n) {
  engine_->failWhen = [n, seen = 0](const std::string& op, const std::string& sql) mutable {
    if (op == "Rdelete" || (op == "Saction" && sql.starts_with("DELETE"))) return ++seen == n;
    return false;
  };
}

}  // namespace qv::test
