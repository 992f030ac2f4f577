// Puts a recording fake under the control of this thread's hidden form, and
// builds activity blocks, for the tests of the public classes.
#pragma once

#include <memory>
#include <string>

#include "automation/hidden_form.h"
#include "automation/qvmanager.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "support/recording_fake.h"

namespace qv::test {

class FakeOnForm {
 public:
  explicit FakeOnForm(std::unique_ptr<RecordingFake> fake = std::make_unique<RecordingFake>())
      : fake_(fake.get()) {
    control_ = &automation::InstallLibrary(std::move(fake));
  }
  ~FakeOnForm() { automation::DropForm(); }
  FakeOnForm(const FakeOnForm&) = delete;
  FakeOnForm& operator=(const FakeOnForm&) = delete;

  RecordingFake& fake() { return *fake_; }
  QVSource& control() { return *control_; }

  // Answers the version read of a source of kind ("AS400", "ODBC", "SQL
  // Server", "Oracle") so that OpenConnection succeeds with an empty user
  // file, and the settings and checks of SQL Server and Oracle sources
  // (Oracle instance "ORCL").
  void HealthySource(const std::string& kind) {
    const std::string rec = std::string(1, kind == "AS400" ? '0' : '1') + "V1R0      " + " ";
    fake_->On("Rreadf").File("QV_USRDATA/QV_VER").Record(rec).Repeatedly();
    fake_->On("Sread").SqlPrefix("SELECT * FROM " + Prefix(kind) + "QV_VER").Row(rec).Repeatedly();
    fake_->SetConfigString("QV_for_SQLServer", "ServerName", "SRV1");
    fake_->SetConfigString("QV_for_SQLServer", "DriverName", "SQL Native");
    fake_->SetConfigString("QV_for_SQLServer", "ParamUid", "sa");
    fake_->SetConfigString("QV_for_SQLServer", "ParamPwd", "secret");
    fake_->SetConfigString("QV_for_Oracle", "ServerName", "ORA1");
    fake_->SetConfigString("QV_for_Oracle", "DriverName", "Oracle ODBC");
    fake_->SetConfigString("QV_for_Oracle\\ORCL", "ParamUid", "system");
    fake_->SetConfigString("QV_for_Oracle\\ORCL", "ParamPwd", "manager");
    auto padded = [](std::string s) {
      s.resize(128, ' ');
      return s;
    };
    fake_->On("Sread").Sql("exec master..sp_helpdistributor").Row(padded("SRV1")).Repeatedly();
    fake_->On("Sread").Sql("exec master..sp_helpdistributiondb").Row(padded("distribution")).Repeatedly();
    fake_->On("Sread").Sql("exec master..sp_helpdistpublisher").Row(padded("srv1")).Repeatedly();
    fake_->On("Sread").Sql("exec master..sp_helpsubscriberinfo").Row(padded("x") + padded(" quorvane")).Repeatedly();
  }

  // Opens the manager's connection to a healthy source of kind for the
  // distribution AA / T1_ / M1_, then forgets the calls and the error state.
  // Returns false when the connection does not open.
  bool OpenFor(automation::QVmanager& m, const std::string& kind = "AS400") {
    HealthySource(kind);
    if (kind != "AS400") m.SourceType(kind);
    if (kind == "Oracle") m.InstanceName("ORCL");
    m.SourceAdress("src1");
    if (!m.OpenConnection()) return false;
    m.EnvironmentID("aa");
    m.TargetID("t1");
    m.ModelID("m1");
    fake_->ClearCalls();
    control_->ErrorNum();
    return true;
  }

  // Returns the file prefix of a kind of source.
  static std::string Prefix(const std::string& kind) {
    if (kind == "AS400") return "QV_USRDATA/";
    if (kind == "SQL Server") return "QV_USRDATA..";
    if (kind == "Oracle") return "QV_USRDATA.";
    return "";
  }

 private:
  RecordingFake* fake_;
  QVSource* control_;
};

// Returns an activity block whose every field holds its own name, cut or
// padded with blanks to its width: "SReceiver            RcvNum    ...".
inline std::string NamedActivityBlock() {
  Record r(layout::Activity);
  for (const Field& f : layout::Activity.fields) r.Set(f.name, f.name);
  return r.image();
}

}  // namespace qv::test
