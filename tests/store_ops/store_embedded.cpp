// The embedded-store fixture of the store operation tests.
#include "store_embedded.h"

#include "dllparam/embedded/embedded_source.h"
#include "store/records.h"

namespace qv::test {

using embedded::SourceKind;

EngineStandIn::EngineStandIn(std::unique_ptr<DllParam> inner)
    : TraceDllParam(std::move(inner), "/dev/null") {}

bool EngineStandIn::Injected(const std::string& op, const std::string& text) {
  return failWhen && failWhen(op, text);
}

int32_t EngineStandIn::Execute(std::string& code, std::string& ctl, std::string& data) {
  std::string c = code.substr(0, code.find_last_not_of(" _") + 1);
  auto reply = [&](const std::string& text) {
    data.replace(0, text.size(), text);
    if (text.size() < data.size()) data[text.size()] = '\0';
    return 1;
  };
  if (c == "SYSLSTJOB") {
    const std::string job = data.substr(6, 10);
    return reply(running.count(job) ? "00015" + job : "00000");
  }
  if (c == "DLTUSRSPC") {
    userSpacesDeleted.push_back(data.substr(5, 10));
    return 1;
  }
  return TraceDllParam::Execute(code, ctl, data);
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
  if (Injected("Saction", sql)) return TraceDllParam::Saction("INJECTED FAILURE");
  return TraceDllParam::Saction(sql);
}

int32_t EngineStandIn::Rdelete(int32_t h) {
  if (Injected("Rdelete", "")) return TraceDllParam::Rdelete(-77);
  return TraceDllParam::Rdelete(h);
}

int32_t EngineStandIn::Rupdate(int32_t h, const std::string& rec, int32_t len) {
  if (Injected("Rupdate", "")) return TraceDllParam::Rupdate(-77, rec, len);
  return TraceDllParam::Rupdate(h, rec, len);
}

int32_t EngineStandIn::Rwrite(int32_t h, const std::string& rec, int32_t len) {
  if (Injected("Rwrite", "")) return TraceDllParam::Rwrite(-77, rec, len);
  return TraceDllParam::Rwrite(h, rec, len);
}

testing::internal::ParamGenerator<KindParam> AllKinds() {
  return testing::Values(KindParam{SourceKind::AS400, "AS400", ""},
                         KindParam{SourceKind::ODBC, "ODBC", ""},
                         KindParam{SourceKind::SQLServer, "SQL Server", ""},
                         KindParam{SourceKind::Oracle, "Oracle", "QVORA"});
}

std::string KindName(const testing::TestParamInfo<KindParam>& info) {
  return std::string(embedded::KindName(info.param.kind));
}

StoreTest::StoreTest() : store_(GetParam().kind) {
  auto engine = std::make_unique<EngineStandIn>(std::make_unique<embedded::EmbeddedSource>());
  engine_ = engine.get();
  control_ = std::make_unique<QVSource>(std::move(engine));
  control_->SourceType(GetParam().sourceType);
  control_->InstanceName(GetParam().instance);
  SetProcessUserID("TESTER");
  SetProcessPassword("");
  if (!control_->OpenConnection(store_.address()))
    ADD_FAILURE() << "OpenConnection: " << control_->ErrorNum() << " " << control_->ErrorText();
  control_->AddEventSink(&events);
  control_->env("E1");
  ClearError();
}

StoreTest::~StoreTest() {
  control_->CloseConnection();
  SetProcessUserID("");
}

void StoreTest::Put(const std::string& image, const Layout& layout) {
  Admin().PutRecord(Record(layout, image));
}

std::vector<std::string> StoreTest::Stored(const Layout& table, const std::string& env) {
  std::vector<std::string> out;
  for (const Record& r : Admin().Records(table))
    if (env.empty() || r.Get("ENVID") == FitText(env, 2)) out.push_back(r.image());
  return out;
}

std::vector<std::size_t> StoreTest::CountsOf(const std::string& env) {
  std::vector<std::size_t> out;
  for (const Layout* t : {&layout::QV_EX, &layout::QV_UID, &layout::QV_CX, &layout::QV_GX,
                          &layout::QV_FX, &layout::QV_ZX, &layout::QV_TX, &layout::QV_GC,
                          &layout::QV_FC, &layout::QV_ZC, &layout::QV_END})
    out.push_back(Stored(*t, env).size());
  return out;
}

namespace {

Record Make(const Layout& layout, std::initializer_list<std::pair<const char*, std::string>> values) {
  Record r(layout);
  for (const auto& [field, value] : values) r.Set(field, value);
  return r;
}

}  // namespace

void WriteTopology(embedded::StoreAdmin& admin, const std::string& env) {
  using namespace layout;
  const char* targets[] = {"T1", "T2", "T3"};
  const char* tables[] = {"0000000001", "0000000002"};
  admin.PutRecord(Make(QV_EX, {{"ENVID", env}, {"ENVTYPE", "P"}, {"DESCRIP", "env " + env}, {"SECURE", "0"}}));
  admin.PutRecord(Make(QV_UID, {{"ENVID", env}, {"USERID", "ANN"}, {"USERTYPE", "0"}}));
  admin.PutRecord(Make(QV_UID, {{"ENVID", env}, {"USERID", "BOB"}, {"USERTYPE", "2"}}));
  for (const char* t : targets)
    admin.PutRecord(Make(QV_CX, {{"ENVID", env}, {"TGTID", t}, {"TGTTYPE", "0"}, {"HOLD", "0"}}));
  admin.PutRecord(Make(QV_GX, {{"ENVID", env}, {"GRPID", "M1"}, {"GRPTYPE", "0"}, {"MANDISTRI", "0"}}));
  for (const char* f : tables) {
    admin.PutRecord(Make(QV_FX, {{"ENVID", env}, {"GRPID", "M1"}, {"FICID", f}, {"HOLD", "0"}}));
    for (const char* field : {"CUSTNO", "NAME"})
      admin.PutRecord(Make(QV_ZX, {{"ENVID", env}, {"GRPID", "M1"}, {"FICID", f}, {"FIELDINPUT", field}}));
    for (const char* place : {"S", "T"})
      admin.PutRecord(Make(QV_TX, {{"ENVID", env}, {"GRPID", "M1"}, {"FICID", f}, {"LIEU", place},
                                   {"LINE", "00001"}, {"INST", "MOVE A B"}}));
  }
  for (const char* t : targets) {
    admin.PutRecord(Make(QV_GC, {{"ENVID", env}, {"TGTID", t}, {"GRPID", "M1"}, {"HOLD", "0"}}));
    for (const char* place : {"S", "T"})
      admin.PutRecord(Make(QV_END, {{"ENVID", env}, {"TGTID", t}, {"GRPID", "M1"}, {"LIEU", place},
                                    {"LINE", "00001"}, {"INST", "CALL END"}}));
    for (const char* f : tables) {
      admin.PutRecord(Make(QV_FC, {{"ENVID", env}, {"TGTID", t}, {"GRPID", "M1"}, {"FICID", f}, {"HOLD", "0"}}));
      admin.PutRecord(Make(QV_ZC, {{"ENVID", env}, {"TGTID", t}, {"GRPID", "M1"}, {"FICID", f},
                                   {"FIELDINPUT", "CUSTNO"}, {"FIELDOUT", "CUSTNO"}}));
    }
  }
}

}  // namespace qv::test
