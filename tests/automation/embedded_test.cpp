// QVmanager on embedded stores of every kind, through the library the hidden
// form builds by default: connecting, a refused login, the activity of a
// distribution with and without its engine data, closing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "automation/frm.h"
#include "automation/qvmanager.h"
#include "connection/qvsource.h"
#include "dllparam/store_admin.h"
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

TEST_P(EmbeddedManagerTest, OpensReadsActivityAndCloses) {
  const std::string block = test::NamedActivityBlock();
  store.Admin().PutActivity("SAA_T1_M1_", block);
  QVmanager m;
  Prepare(m, "demo");
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

TEST_P(EmbeddedManagerTest, WrongPasswordOfTheGlobalUserIsRefused) {
  QVmanager m;
  Prepare(m, "wrong");
  EXPECT_FALSE(m.OpenConnection());
  EXPECT_FALSE(m.ConnectionOpen());
  EXPECT_EQ(m.ErrorNum(), QVSource::kRefusalNum);
  EXPECT_EQ(m.ErrorNum(), 0);
  EXPECT_EQ(m.ErrorText(), cLoadResString("2133"));
  EXPECT_EQ(m.ErrorText(), "");
}

INSTANTIATE_TEST_SUITE_P(Kinds, EmbeddedManagerTest,
                         testing::Values(Kind{SourceKind::AS400, "AS400", ""},
                                         Kind{SourceKind::ODBC, "ODBC", ""},
                                         Kind{SourceKind::SQLServer, "SQL Server", ""},
                                         Kind{SourceKind::Oracle, "Oracle", "QVORA"}),
                         [](const testing::TestParamInfo<Kind>& info) {
                           return std::string(embedded::KindName(info.param.kind));
                         });

}  // namespace
}  // namespace qv::automation
