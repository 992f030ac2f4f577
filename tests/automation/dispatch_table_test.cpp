// The dispatch interfaces of QVmanager and Activity: object properties,
// calls by DISPID, the block order of the activity, refused calls.
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
  Activity a;
  ASSERT_EQ(layout::Activity.fields.size(), Activity::kCount);
  for (std::size_t i = 0; i < Activity::kCount; ++i) {
    const std::string name(layout::Activity.fields[i].name);
    const DISPID id = a.GetIDsOfNames(name);
    EXPECT_EQ(id, static_cast<DISPID>(0x40030000 + i)) << name;
    std::vector<Variant> v{Variant("v" + name)};
    ASSERT_TRUE(a.Invoke(id, InvokeKind::PropertyPut, v).ok());
    EXPECT_EQ(a.Get(i), "v" + name);
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
