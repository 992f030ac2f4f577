// QVmanager on embedded stores of every kind, through the library the hidden
// form builds by default: connecting, a refused login, the activity of a
// distribution with and without its engine data, closing, and a script's
// whole cycle by DISPID: read and move the recovery point, start, watch
// and stop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/hidden_form.h"
#include "automation/qvmanager.h"
#include "connection/qvsource.h"
#include "dllparam/admin/store_admin.h"
#include "form_support.h"
#include "platform/clock.h"
#include "presentation/messages.h"
#include "support/embedded_store.h"

namespace qv::automation {
namespace {

using embedded::SourceKind;
using platform::DISPID;
using platform::DispResult;
using platform::InvokeKind;
using platform::Variant;

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

TEST_P(EmbeddedManagerTest, RefusedUserCannotActOnASecuredEnvironment) {
  QVmanager m;
  Prepare(m, "demo");
  ASSERT_TRUE(m.OpenConnection()) << m.ErrorText();
  // TS is secured and QVADMIN is not one of its users.
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

TEST_P(EmbeddedManagerTest, ASecuredEnvironmentGivenBeforeTheOpenIsCheckedByIt) {
  QVmanager m;
  Prepare(m, "demo");
  m.EnvironmentID("ts");
  m.TargetID("nt1");
  m.ModelID("cli");
  EXPECT_EQ(m.EnvironmentID(), "TS");
  EXPECT_EQ(m.TargetID(), "NT1");

  ASSERT_TRUE(m.OpenConnection()) << m.ErrorText();
  EXPECT_EQ(m.EnvironmentID(), "");
  EXPECT_EQ(m.TargetID(), "");
  EXPECT_EQ(m.ErrorText(), cLoadResString("2132", "QVADMIN"));
  EXPECT_FALSE(m.StartQV());
  EXPECT_EQ(m.ErrorText(), cLoadResString("2132", "QVADMIN"));
}

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
  EXPECT_EQ(m.ErrorText(), cLoadResString("2133"));
}

// A script's session: every call by DISPID, as a script host makes it.
class Script {
 public:
  explicit Script(platform::IDispatch& object) : object_(object) {}
  Variant Call(DISPID id, std::vector<Variant> args = {}) { return Run(id, InvokeKind::Method, args); }
  Variant Get(DISPID id) { return Run(id, InvokeKind::PropertyGet, {}); }
  void Put(DISPID id, Variant value) { Run(id, InvokeKind::PropertyPut, {std::move(value)}); }

 private:
  Variant Run(DISPID id, InvokeKind kind, std::vector<Variant> args) {
    const DispResult r = object_.Invoke(id, kind, args);
    EXPECT_TRUE(r.ok()) << std::hex << id << ": " << r.text;
    return r.value;
  }
  platform::IDispatch& object_;
};

// DISPIDs of QVmanager and Activity.
constexpr DISPID kActivity = 0x4003000F, kInstanceName = 0x68030012, kUserID = 0x68030011, kPassword = 0x68030010,
                 kSourceAdress = 0x6803000F, kSourceType = 0x6803000E, kEnvironmentID = 0x6803000D,
                 kTargetID = 0x6803000C, kModelID = 0x6803000B, kRepriseType = 0x6803000A,
                 kRepriseLibrary = 0x68030009, kRepriseReceiver = 0x68030008, kReprisePoint = 0x68030007,
                 kScheduled = 0x68030006, kHold = 0x68030005, kReadEnvironnement = 0x60030015,
                 kReadTarget = 0x60030016, kReadModel = 0x60030017, kReadDistribution = 0x60030018,
                 kUpdateDistribution = 0x60030019, kErrorText = 0x6003001A, kOpenConnection = 0x6003001C,
                 kCloseConnection = 0x6003001D, kConnectionOpen = 0x6003001E, kSourceJobRun = 0x6003001F,
                 kStopQV = 0x60030020, kStartQV = 0x60030021, kReadActivity = 0x60030022;
constexpr DISPID kState = 0x40030000, kReceiver = 0x40030001, kJOSEQN = 0x40030003, kCptRead = 0x40030011;

// The engine of the embedded source moves with the process clock.
class EmbeddedCycleTest : public EmbeddedManagerTest {
 protected:
  platform::ManualClock clock{100};
  platform::ScopedClock scoped{clock};
};

TEST_P(EmbeddedCycleTest, ScriptMovesTheRecoveryPointStartsWatchesAndStops) {
  const bool nt = GetParam().kind != SourceKind::AS400;
  auto manager = std::make_shared<QVmanager>();
  Script m(*manager);
  m.Put(kSourceType, Variant(GetParam().sourceType));
  m.Put(kInstanceName, Variant(GetParam().instance));
  m.Put(kUserID, Variant("QVADMIN"));
  m.Put(kPassword, Variant("demo"));
  m.Put(kSourceAdress, Variant(store.address()));
  ASSERT_EQ(m.Call(kOpenConnection), Variant(true)) << m.Call(kErrorText).ToString();
  m.Put(kEnvironmentID, Variant("pr"));
  m.Put(kTargetID, Variant("as1"));
  m.Put(kModelID, Variant("cli"));
  EXPECT_EQ(m.Call(kReadEnvironnement), Variant(true));
  EXPECT_EQ(m.Call(kReadTarget), Variant(true));
  EXPECT_EQ(m.Call(kReadModel), Variant(true));

  // Read, move the recovery point, write back.
  ASSERT_EQ(m.Call(kReadDistribution), Variant(true)) << m.Call(kErrorText).ToString();
  EXPECT_EQ(m.Get(kRepriseType), Variant("C"));
  EXPECT_EQ(m.Get(kReprisePoint), Variant(std::int32_t{0}));
  EXPECT_EQ(m.Get(kHold), Variant(false));
  m.Put(kRepriseType, Variant("p"));
  m.Put(kRepriseReceiver, Variant("rcv0042"));
  if (!nt) m.Put(kRepriseLibrary, Variant("jrnlib"));  // NT sources keep no receiver library
  m.Put(kReprisePoint, Variant(std::int32_t{5000}));
  m.Put(kScheduled, Variant(true));
  ASSERT_EQ(m.Call(kUpdateDistribution), Variant(true)) << m.Call(kErrorText).ToString();

  // Start; the job runs from the new point and its counters move.
  ASSERT_EQ(m.Call(kStartQV), Variant(true)) << m.Call(kErrorText).ToString();
  EXPECT_EQ(m.Call(kSourceJobRun), Variant(true));
  clock.Advance(1);
  ASSERT_EQ(m.Call(kReadActivity), Variant(true)) << m.Call(kErrorText).ToString();
  auto activity = std::dynamic_pointer_cast<Activity>(m.Get(kActivity).ToObject());
  ASSERT_TRUE(activity);
  Script a(*activity);
  EXPECT_EQ(a.Get(kState), Variant("A"));
  EXPECT_EQ(a.Get(kReceiver).ToString().substr(0, 10), "RCV0042   ");
  const std::int32_t readAfterOne = std::stoi(a.Get(kCptRead).ToString());
  EXPECT_GT(readAfterOne, 0);
  EXPECT_EQ(std::stoi(a.Get(kJOSEQN).ToString()), 5000 + readAfterOne);

  // Stop: the job ends.
  ASSERT_EQ(m.Call(kStopQV), Variant(true)) << m.Call(kErrorText).ToString();
  EXPECT_EQ(m.Call(kSourceJobRun), Variant(false));
  EXPECT_EQ(m.Call(kErrorText), Variant(""));
  ASSERT_EQ(m.Call(kReadActivity), Variant(true));
  EXPECT_EQ(a.Get(kState), Variant("X"));

  EXPECT_EQ(m.Call(kCloseConnection), Variant(true));
  EXPECT_EQ(m.Call(kConnectionOpen), Variant(false));
}

INSTANTIATE_TEST_SUITE_P(Kinds, EmbeddedCycleTest, testing::ValuesIn(kKinds), KindName);

INSTANTIATE_TEST_SUITE_P(Kinds, EmbeddedManagerTest, testing::ValuesIn(kKinds), KindName);

}  // namespace
}  // namespace qv::automation
