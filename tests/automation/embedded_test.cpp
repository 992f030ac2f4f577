// QVmanager on embedded stores of every kind, through the library the hidden
// form builds by default: connecting, a refused login, the activity of a
// distribution with and without its engine data, and closing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/hidden_form.h"
#include "automation/qvmanager.h"
#include "connection/qvsource.h"
#include "dllparam/admin/store_admin.h"
#include "form_support.h"
#include "presentation/messages.h"
#include "support/embedded_store.h"

namespace qv::automation {
namespace {

using embedded::SourceKind;

struct Kind {
  SourceKind kind;
  const char* sourceType;
  const char* instance;
};
const Kind kKinds[] = {{SourceKind::AS400, "AS400", ""},
                       {SourceKind::ODBC, "ODBC", ""},
                       {SourceKind::SQLServer, "SQL Server", ""},
                       {SourceKind::Oracle, "Oracle", "QVORA"}};
std::string KindName(const testing::TestParamInfo<Kind>& info) {
  return std::string(embedded::KindName(info.param.kind));
}

class EmbeddedManagerTest : public testing::TestWithParam<Kind> {
 protected:
  EmbeddedManagerTest() : store(GetParam().kind, /*demo=*/true, "demo") {
    SetLibraryFactory(nullptr);
    DropForm();
  }
  ~EmbeddedManagerTest() override {
    SetProcessUserID("");
    SetProcessPassword("");
    DropForm();
  }
  // Sets up a manager for the distribution AA / T1 / M1 of the store.
  void Prepare(QVmanager& m, const std::string& password) {
    m.SourceType(GetParam().sourceType);
    m.InstanceName(GetParam().instance);
    m.UserID("QVADMIN");
    m.Password(password);
    m.SourceAdress(store.address());
  }

  test::EmbeddedStore store;
};

TEST_P(EmbeddedManagerTest, RefusedUserCannotActOnASecuredEnvironmentGivenBeforeOrAfterTheOpen) {
  QVmanager m;
  Prepare(m, "demo");
  // TS is secured and QVADMIN is not one of its users.
  m.EnvironmentID("ts");
  m.TargetID("nt1");
  m.ModelID("cli");
  EXPECT_EQ(m.EnvironmentID(), "TS");  // kept, to be checked by the open
  EXPECT_EQ(m.TargetID(), "NT1");
  ASSERT_TRUE(m.OpenConnection()) << m.ErrorText();
  EXPECT_EQ(m.EnvironmentID(), "");
  EXPECT_EQ(m.TargetID(), "");
  EXPECT_EQ(m.ErrorText(), cLoadResString("2132", "QVADMIN"));

  m.EnvironmentID("TS");
  m.TargetID("NT1");
  m.ModelID("CLI");
  EXPECT_EQ(m.EnvironmentID(), "");
  EXPECT_EQ(m.ErrorText(), cLoadResString("2132", "QVADMIN"));
  for (auto op : {&QVmanager::StartQV, &QVmanager::SourceJobRun, &QVmanager::StopQV,
                  &QVmanager::ReadDistribution, &QVmanager::ReadActivity}) {
    EXPECT_FALSE((m.*op)());
    EXPECT_EQ(m.ErrorNum(), 40);
    EXPECT_EQ(m.ErrorText(), cLoadResString("2132", "QVADMIN"));
  }
  std::string status = "?";
  ASSERT_TRUE(frm().ctl().JobRun("STS_NT1CLI", status));
  EXPECT_EQ(status, "");  // nothing was started
}

TEST_P(EmbeddedManagerTest, OpensWithTheRightPasswordReadsActivityAndCloses) {
  const std::string block = test::NamedActivityBlock();
  store.Admin().PutActivity("SAA_T1_M1_", block);
  QVmanager m;
  Prepare(m, "wrong");
  EXPECT_FALSE(m.OpenConnection());
  EXPECT_FALSE(m.ConnectionOpen());
  EXPECT_EQ(m.ErrorNum(), QVSource::kRefusalNum);
  EXPECT_EQ(m.ErrorText(), cLoadResString("2133"));

  m.Password("demo");
  ASSERT_TRUE(m.OpenConnection()) << m.ErrorNum() << " " << m.ErrorText();
  EXPECT_TRUE(m.ConnectionOpen());
  EXPECT_EQ(frm().ctl().SourceType(), GetParam().sourceType);
  m.EnvironmentID("aa");
  m.TargetID("t1");
  m.ModelID("m1");
  m.ErrorNum();

  ASSERT_TRUE(m.ReadActivity()) << m.ErrorText();
  EXPECT_EQ(m.Activity()->Get("state"), "s");
  EXPECT_EQ(m.Activity()->Get("Receiver"), "Receiver            ");
  EXPECT_EQ(m.Activity()->Get("CptErr"), "CptErr    ");

  // A distribution whose job never ran has a blank activity.
  m.ModelID("m2");
  ASSERT_TRUE(m.ReadActivity()) << m.ErrorText();
  for (std::size_t i = 0; i < Activity::kCount; ++i)
    EXPECT_EQ(m.Activity()->Get(i), std::string(layout::Activity.fields[i].width, ' ')) << i;

  EXPECT_TRUE(m.CloseConnection());
  EXPECT_FALSE(m.ConnectionOpen());
}

INSTANTIATE_TEST_SUITE_P(Kinds, EmbeddedManagerTest, testing::ValuesIn(kKinds), KindName);

}  // namespace
}  // namespace qv::automation
