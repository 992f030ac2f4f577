// Scripts the recording fake as a healthy source and opens a control on it.
#include "support/fake_control.h"

#include "store/records.h"

namespace qv::test {

std::string PrefixOf(const std::string& kind) {
  if (kind == "AS400") return "QV_USRDATA/";
  if (kind == "SQL Server") return "QV_USRDATA..";
  if (kind == "Oracle") return "QV_USRDATA.";
  return "";
}

namespace {

void AnswerVersion(RecordingFake& fake, const std::string& kind, char srcType) {
  const std::string rec = std::string(1, srcType) + "V1R0      " + " ";
  fake.On("Rreadf").File("QV_USRDATA/QV_VER").Record(rec).Repeatedly();
  fake.On("Sread").SqlPrefix("SELECT * FROM " + PrefixOf(kind) + "QV_VER").Row(rec).Repeatedly();
}

}  // namespace

void ScriptHealthySource(RecordingFake& fake, const std::string& kind) {
  AnswerVersion(fake, kind, kind == "AS400" ? '0' : '1');
  const char* const settings[][3] = {
      {"QV_for_SQLServer", "ServerName", "SRV1"},        {"QV_for_SQLServer", "DriverName", "SQL Native"},
      {"QV_for_SQLServer", "ParamUid", "sa"},            {"QV_for_SQLServer", "ParamPwd", "secret"},
      {"QV_for_SQLServer\\INST", "ParamUid", "sa2"},    {"QV_for_SQLServer\\INST", "ParamPwd", "secret2"},
      {"QV_for_Oracle", "ServerName", "ORA1"},           {"QV_for_Oracle", "DriverName", "Oracle ODBC"},
      {"QV_for_Oracle\\ORCL", "ParamUid", "system"},    {"QV_for_Oracle\\ORCL", "ParamPwd", "manager"},
  };
  for (const auto& s : settings) fake.SetConfigString(s[0], s[1], s[2]);
  fake.On("Sread").Sql("exec master..sp_helpdistributor").Row(FitText("SRV1", 128)).Repeatedly();
  fake.On("Sread").Sql("exec master..sp_helpdistributiondb").Row(FitText("distribution", 128)).Repeatedly();
  fake.On("Sread").Sql("exec master..sp_helpdistpublisher").Row(FitText("srv1", 128)).Repeatedly();
  fake.On("Sread").Sql("exec master..sp_helpsubscriberinfo").Row(FitText("x", 128) + FitText(" quorvane", 128))
      .Repeatedly();
}

FakeSource::FakeSource(const std::string& k, const std::string& instance) : kind(k) {
  auto f = std::make_unique<RecordingFake>();
  fake = f.get();
  control = std::make_unique<QVSource>(std::move(f));
  control->SourceType(kind);
  control->InstanceName(instance);
  ScriptHealthySource(*fake, kind);
}

void FakeSource::Version(char srcType) { AnswerVersion(*fake, kind, srcType); }

OpenedFake::OpenedFake(const std::string& kind) : FakeSource(kind, kind == "Oracle" ? "ORCL" : "") {
  fake().On("Sread").SqlPrefix("SELECT COUNT(*)").Row("0").Repeatedly();
  opened = control().OpenConnection("SRC");
  control().AddEventSink(&events);
  control().env("E1");
  fake().ClearCalls();
  ClearError();
}

void OpenedFake::ClearError() {
  control().ErrorNum();
  control().ErrorText();
  control().ErrorStep();
}

bool OpenedFake::Writes() const {
  for (const char* op : {"Rwrite", "Rupdate", "Rdelete", "Saction"})
    if (FakeSource::fake->CallCount(op) > 0) return true;
  return false;
}

std::vector<std::string> OpenedFake::Trace() const {
  std::vector<std::string> out;
  for (const FakeCall& call : FakeSource::fake->Calls()) {
    if (call.op == "SwitchMConnection") continue;
    std::string line = call.op;
    if (call.op == "Execute") {
      line += " " + call.Arg(0) + " " + FakeCommand{call.Arg(0), call.Arg(1), call.Arg(2)}.Request();
    } else if (call.op == "Saction" || call.op == "Sread" || call.op == "Sreadblock") {
      line += " " + call.sql;
    } else if (call.op == "SetConnectOption" || call.op == "SJobList" || call.op == "DeleteFile") {
      line += " " + call.Arg(0);
    } else {
      std::string file = call.file;
      if (file.rfind("QV_USRDATA/", 0) == 0) file = file.substr(11);
      if (!file.empty()) line += " " + file;
      if (call.op == "Rreadk" || call.op == "Rreadblock") line += " [" + call.key + "]";
    }
    if (call.result == 0) line += " -> 0";
    out.push_back(line);
  }
  return out;
}

}  // namespace qv::test
