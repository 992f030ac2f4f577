// Scripts a recording fake so that it answers like a healthy source of a kind.
#include "fake_source.h"

#include "store/records.h"

namespace qv::test {

FakeSource::FakeSource(const std::string& k, const std::string& instance) : kind(k) {
  auto f = std::make_unique<RecordingFake>();
  fake = f.get();
  control = std::make_unique<QVSource>(std::move(f));
  control->SourceType(kind);
  control->InstanceName(instance);
  Version(kind == "AS400" ? '0' : '1');
  fake->SetConfigString("QV_for_SQLServer", "ServerName", "SRV1");
  fake->SetConfigString("QV_for_SQLServer", "DriverName", "SQL Native");
  fake->SetConfigString("QV_for_SQLServer", "ParamUid", "sa");
  fake->SetConfigString("QV_for_SQLServer", "ParamPwd", "secret");
  fake->SetConfigString("QV_for_SQLServer\\INST", "ParamUid", "sa2");
  fake->SetConfigString("QV_for_SQLServer\\INST", "ParamPwd", "secret2");
  fake->SetConfigString("QV_for_Oracle", "ServerName", "ORA1");
  fake->SetConfigString("QV_for_Oracle", "DriverName", "Oracle ODBC");
  fake->SetConfigString("QV_for_Oracle\\ORCL", "ParamUid", "system");
  fake->SetConfigString("QV_for_Oracle\\ORCL", "ParamPwd", "manager");
  auto padded = [](std::string s, std::size_t at) {
    s.resize(at, ' ');
    return s;
  };
  fake->On("Sread").Sql("exec master..sp_helpdistributor").Row(padded("SRV1", 128)).Repeatedly();
  fake->On("Sread").Sql("exec master..sp_helpdistributiondb").Row(padded("distribution", 128)).Repeatedly();
  fake->On("Sread").Sql("exec master..sp_helpdistpublisher").Row(padded("srv1", 128)).Repeatedly();
  fake->On("Sread")
      .Sql("exec master..sp_helpsubscriberinfo")
      .Row(padded("x", 128) + padded(" quorvane", 128))
      .Repeatedly();
}

void FakeSource::Version(char srcType) {
  const std::string rec = std::string(1, srcType) + "V1R0      " + " ";
  fake->On("Rreadf").File("QV_USRDATA/QV_VER").Record(rec).Repeatedly();
  fake->On("Sread").SqlPrefix("SELECT * FROM " + Prefix() + "QV_VER").Row(rec).Repeatedly();
}

std::string FakeSource::Prefix() const {
  if (kind == "AS400") return "QV_USRDATA/";
  if (kind == "SQL Server") return "QV_USRDATA..";
  if (kind == "Oracle") return "QV_USRDATA.";
  return "";
}

std::string User(const std::string& env, const std::string& id, const std::string& type,
                 const std::string& password) {
  Record r(layout::QV_UID);
  r.Set("ENVID", env);
  r.Set("USERID", id);
  r.Set("USERTYPE", type);
  r.Set("PASSWORD", password);
  return r.image();
}

}  // namespace qv::test
