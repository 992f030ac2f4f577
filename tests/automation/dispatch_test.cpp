// The late-bound interfaces: the control's members with their by-reference
// results and a dispatch object that never outlives its control's use; the
// manager's object properties and its write-only login; the activity's fill.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "automation/activity.h"
#include "automation/qvmanager.h"
#include "connection/qvsource.h"
#include "form_support.h"
#include "platform/collection.h"
#include "platform/control_objects.h"
#include "platform/dispatch.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "support/topology.h"

namespace qv::automation {
namespace {

using platform::CallMethod;
using platform::DISPID;
using platform::DispResult;
using platform::DispStatus;
using platform::GetProperty;
using platform::InvokeKind;
using platform::PutProperty;
using platform::Variant;

class ControlDispatchTest : public testing::Test {
 protected:
  ControlDispatchTest() {
    auto f = std::make_unique<test::RecordingFake>();
    fake = f.get();
    control = std::make_unique<QVSource>(std::move(f));
    object = control->Dispatch();
  }
  test::RecordingFake* fake;
  std::unique_ptr<QVSource> control;
  std::shared_ptr<platform::IDispatch> object;
};

TEST_F(ControlDispatchTest, TheSourceTypeIsReadInItsOwnSpelling) {
  ASSERT_TRUE(PutProperty(*object, "SourceType", Variant("oracle")).ok());
  EXPECT_EQ(control->SourceType(), "Oracle");
  EXPECT_EQ(GetProperty(*object, "SourceType").value, Variant("Oracle"));
}

TEST_F(ControlDispatchTest, ChangeGCRewritesTheRecordReadLockedAndGivesItBackUnderItsKey) {
  fake->On("Rreadf").File("QV_USRDATA/QV_VER").Record("0V1R0       ").Repeatedly();
  ASSERT_TRUE(control->OpenConnection("src"));
  control->env("E1");
  fake->ClearCalls();
  const Record gc = test::Make(layout::QV_GC, {{"ENVID", "E1"}, {"TGTID", "T1"}, {"GRPID", "M1"}});
  fake->On("Rreadk").File("QV_USRDATA/QV_GC").Key("E1T1 M1 ").Record(gc.image()).Repeatedly();
  Record changed(layout::QV_GC, gc.image()), stored(layout::QV_GC, gc.image());
  changed.Set("REPRISEPNT", "0000000042");
  stored.Set("REPRISEPNT", "0000000042");
  changed.Set("TGTID", "XX");
  std::vector<Variant> change{Variant("M1"), Variant("T1"), Variant(changed.image())};
  const DispResult r = CallMethod(*object, "ChangeGC", change);
  ASSERT_TRUE(r.ok()) << r.text;
  EXPECT_EQ(r.value, Variant(true));
  EXPECT_EQ(change[2], Variant(stored.image()));
  const std::vector<test::FakeCall> reads = fake->CallsNamed("Rreadk");
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].IntArg(3), DllParam::kKeyEqualLocked);
  EXPECT_EQ(fake->CallsNamed("Rupdate").at(0).Arg(1), stored.image());
}

TEST_F(ControlDispatchTest, DispatchObjectDoesNotKeepTheControl) {
  EXPECT_EQ(control->Dispatch(), object);  // one object per control
  control.reset();                         // the control goes; the caller still holds the object
  DispResult r = GetProperty(*object, "SourceType");
  EXPECT_EQ(r.status, DispStatus::Exception);
  EXPECT_THAT(r.text, testing::HasSubstr("no longer exists"));
  EXPECT_NE(object->GetIDsOfNames("SourceType"), platform::kDispidUnknown);
}

// ---- The manager and the activity ----------------------------------------------

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

TEST(ManagerTableTest, TheLoginIsWrittenButNeverRead) {
  QVmanager m;
  for (const char* member : {"UserID", "Password"}) {
    ASSERT_TRUE(PutProperty(m, member, Variant("secret")).ok()) << member;
    EXPECT_EQ(GetProperty(m, member).status, DispStatus::MemberNotFound) << member;
  }
  SetProcessUserID("");
  SetProcessPassword("");
}

TEST(ActivityTableTest, FillCutsTheBlockByTheWidthsAndPadsAShortOne) {
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
