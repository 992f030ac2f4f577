// The dispatch interfaces of QVmanager and Activity: every member with its
// DISPID and kinds, object properties, and the calls that are refused.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "automation/activity.h"
#include "automation/qvmanager.h"
#include "form_support.h"
#include "platform/collection.h"

namespace qv::automation {
namespace {

using platform::DISPID;
using platform::DispResult;
using platform::DispStatus;
using platform::InvokeKind;
using platform::Variant;

constexpr int kGet = 1, kPut = 2, kPutRef = 4, kCall = 8;

struct Member {
  const char* name;
  DISPID id;
  int kinds;
};

const Member kManagerMembers[] = {
    {"cActivity", 0x4003000E, kGet | kPutRef},
    {"Activity", 0x4003000F, kGet | kPutRef},
    {"InstanceName", 0x68030012, kGet | kPut},
    {"UserID", 0x68030011, kPut},
    {"Password", 0x68030010, kPut},
    {"SourceAdress", 0x6803000F, kGet | kPut},
    {"SourceType", 0x6803000E, kGet | kPut},
    {"EnvironmentID", 0x6803000D, kGet | kPut},
    {"TargetID", 0x6803000C, kGet | kPut},
    {"ModelID", 0x6803000B, kGet | kPut},
    {"FileID", 0x68030004, kGet | kPut},
    {"ErrorText", 0x6003001A, kCall},
    {"ErrorNum", 0x6003001B, kCall},
    {"OpenConnection", 0x6003001C, kCall},
    {"CloseConnection", 0x6003001D, kCall},
    {"ConnectionOpen", 0x6003001E, kCall},
    {"ReadEnvironnement", 0x60030015, kCall},
    {"ReadTarget", 0x60030016, kCall},
    {"ReadModel", 0x60030017, kCall},
    {"ReadDistribution", 0x60030018, kCall},
    {"DistributionRepriseType", 0x6803000A, kGet | kPut},
    {"DistributionRepriseLibrary", 0x68030009, kGet | kPut},
    {"DistributionRepriseReceiver", 0x68030008, kGet | kPut},
    {"DistributionReprisePoint", 0x68030007, kGet | kPut},
    {"DistributionScheduled", 0x68030006, kGet | kPut},
    {"DistributionHold", 0x68030005, kGet | kPut},
    {"UpdateDistribution", 0x60030019, kCall},
    {"SourceJobRun", 0x6003001F, kCall},
    {"StopQV", 0x60030020, kCall},
    {"StartQV", 0x60030021, kCall},
    {"ReadActivity", 0x60030022, kCall},
    {"ReadMSG", 0x60030023, kCall},
};

TEST(ManagerTableTest, MembersHaveTheirDispidsAndKinds) {
  const platform::DispatchTable& table = QVmanager::Table();
  for (const Member& m : kManagerMembers) {
    EXPECT_EQ(table.IdOf(m.name), m.id) << m.name;
    int kinds = 0;
    for (const platform::DispMember& row : table.members()) {
      if (row.id != m.id) continue;
      if (row.kind == InvokeKind::PropertyGet) kinds |= kGet;
      if (row.kind == InvokeKind::PropertyPut) kinds |= kPut;
      if (row.kind == InvokeKind::PropertyPutRef) kinds |= kPutRef;
      if (row.kind == InvokeKind::Method) kinds |= kCall;
    }
    EXPECT_EQ(kinds, m.kinds) << m.name;
  }
  EXPECT_EQ(table.className(), "QVmanager");
}

TEST(ManagerTableTest, ObjectPropertiesTakeTheirClassOrNothing) {
  test::FakeOnForm form;
  QVmanager m;
  const DISPID act = 0x4003000F, coll = 0x4003000E;
  auto other = std::make_shared<Activity>();
  std::vector<Variant> v{Variant(other)};
  ASSERT_TRUE(m.Invoke(act, InvokeKind::PropertyPutRef, v).ok());
  EXPECT_EQ(m.Activity(), other);
  EXPECT_EQ(m.Invoke(act, InvokeKind::PropertyGet, {}).value, Variant(other));

  std::vector<Variant> wrong{Variant(std::make_shared<platform::Collection>())};
  EXPECT_EQ(m.Invoke(act, InvokeKind::PropertyPutRef, wrong).status, DispStatus::TypeMismatch);
  EXPECT_EQ(m.Activity(), other);
  std::vector<Variant> text{Variant("x")};
  EXPECT_EQ(m.Invoke(coll, InvokeKind::PropertyPutRef, text).status, DispStatus::TypeMismatch);

  std::vector<Variant> nothing{Variant(nullptr)};
  ASSERT_TRUE(m.Invoke(coll, InvokeKind::PropertyPutRef, nothing).ok());
  EXPECT_EQ(m.cActivity(), nullptr);
}

TEST(ManagerTableTest, WriteOnlyLoginCannotBeRead) {
  test::FakeOnForm form;
  QVmanager m;
  EXPECT_EQ(m.Invoke(0x68030011, InvokeKind::PropertyGet, {}).status, DispStatus::MemberNotFound);
  EXPECT_EQ(m.Invoke(0x68030010, InvokeKind::PropertyGet, {}).status, DispStatus::MemberNotFound);
}

TEST(ManagerTableTest, CallsByDispidReachTheControl) {
  test::FakeOnForm form;
  form.HealthySource("AS400");
  QVmanager m;
  std::vector<Variant> address{Variant("src9")};
  ASSERT_TRUE(m.Invoke(0x6803000F, InvokeKind::PropertyPut, address).ok());
  EXPECT_EQ(m.Invoke(0x6003001C, InvokeKind::Method, {}).value, Variant(true));
  std::vector<Variant> env{Variant(" b")};
  ASSERT_TRUE(m.Invoke(0x6803000D, InvokeKind::PropertyPut, env).ok());
  EXPECT_EQ(m.Invoke(0x6803000D, InvokeKind::PropertyGet, {}).value, Variant("B_"));
  EXPECT_EQ(m.Invoke(0x6003001E, InvokeKind::Method, {}).value, Variant(true));
  EXPECT_EQ(form.control().SourceAdress(), "SRC9");
  EXPECT_EQ(m.Invoke(0x6003001D, InvokeKind::Method, {}).value, Variant(true));
  EXPECT_EQ(m.Invoke(0x6003001E, InvokeKind::Method, {}).value, Variant(false));
  m.Invoke(0x6003001B, InvokeKind::Method, {});
  EXPECT_EQ(m.Invoke(0x6003001B, InvokeKind::Method, {}).value, Variant(std::int32_t{0}));
}

TEST(ActivityTableTest, PropertiesFollowTheBlockOrder) {
  const char* names[] = {"state",  "Receiver", "RcvNum",      "JOSEQN",  "JOCODE",    "JOENTT",
                         "JOTMST", "JOJOB",    "JOUSER",      "JONBR",   "JOPGM",     "JOOBJ",
                         "JOLIB",  "JOMBR",    "JOCTRR",      "Step",    "TimeProcess", "CptRead",
                         "CptSel", "CptSnd",   "CptIgnore",   "CptAdd",  "CptUpd",    "CptDel",
                         "CptMbr", "CptRpr",   "CptErr"};
  static_assert(std::size(names) == Activity::kCount);
  Activity a;
  for (std::size_t i = 0; i < Activity::kCount; ++i) {
    const DISPID id = a.GetIDsOfNames(names[i]);
    EXPECT_EQ(id, static_cast<DISPID>(0x40030000 + i)) << names[i];
    std::vector<Variant> v{Variant(std::string("v") + names[i])};
    ASSERT_TRUE(a.Invoke(id, InvokeKind::PropertyPut, v).ok());
    EXPECT_EQ(a.Get(i), std::string("v") + names[i]);
    EXPECT_EQ(a.Invoke(id, InvokeKind::PropertyGet, {}).value, v[0]);
  }
  EXPECT_EQ(a.Invoke(0x4003001B, InvokeKind::PropertyGet, {}).status, DispStatus::MemberNotFound);
  EXPECT_EQ(a.ClassName(), "Activity");
}

TEST(ActivityTableTest, FillCutsByWidthAndPadsShortBlocks) {
  Activity a;
  a.Fill("1" + std::string(20, 'R') + "12345");
  EXPECT_EQ(a.Get("state"), "1");
  EXPECT_EQ(a.Get("Receiver"), std::string(20, 'R'));
  EXPECT_EQ(a.Get("RcvNum"), "12345     ");
  EXPECT_EQ(a.Get("CptErr"), std::string(10, ' '));
  EXPECT_THROW(a.Get("Nope"), UnknownFieldError);
}

}  // namespace
}  // namespace qv::automation
