// The late-bound interfaces: the control's members with their by-reference
// results and a dispatch object that never outlives its control's use; the
// manager's and the activity's object properties, calls by DISPID and the
// block order of the activity; the calls each table refuses.
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

TEST_F(ControlDispatchTest, PropertiesReachTheControl) {
  ASSERT_TRUE(PutProperty(*object, "SourceType", Variant("oracle")).ok());
  EXPECT_EQ(control->SourceType(), "Oracle");
  EXPECT_EQ(GetProperty(*object, "SourceType").value, Variant("Oracle"));
  ASSERT_TRUE(PutProperty(*object, "tgt", Variant("T1_")).ok());
  EXPECT_EQ(control->tgt(), "T1_");
  ASSERT_TRUE(PutProperty(*object, "Grp", Variant("M1_")).ok());
  EXPECT_EQ(GetProperty(*object, "Grp").value, Variant("M1_"));
  EXPECT_EQ(object->ClassName(), "QVSource");
}

TEST_F(ControlDispatchTest, ResultsComeBackByReference) {
  fake->On("Rreadf").File("QV_USRDATA/QV_VER").Record("0V1R0       ").Repeatedly();
  ASSERT_TRUE(control->OpenConnection("src"));
  fake->ClearCalls();
  fake->On("Execute").Code("CHKOBJ____").Reply("000010");
  fake->On("Execute").Code("SYSREDUSR_").Reply(std::string(35, '.') + "R" + std::string(260, '9'));
  std::vector<Variant> args{Variant("a"),  Variant("t1"), Variant("m1"), Variant(std::string(261, ' ')),
                            Variant("1024"), Variant("x"), Variant("")};
  DispResult r = CallMethod(*object, "ReadActivity", args);
  ASSERT_TRUE(r.ok()) << r.text;
  EXPECT_EQ(r.value, Variant(true));
  EXPECT_EQ(args[3], Variant("R" + std::string(260, '9')));
  // The identifiers are normalised, an action of x is sent as G and an empty
  // option as a blank.
  EXPECT_EQ(fake->Commands().at(1).Request(), "00300SA__T1_M1_QV_USRDATAG 00001024");

  // Records and a job's status come back by reference too.
  control->env("E1");
  Record gc(layout::QV_GC);
  gc.Set("ENVID", "E1");
  gc.Set("TGTID", "T1");
  gc.Set("GRPID", "M1");
  gc.Set("REPRISEPNT", "0000000042");
  fake->On("Rreadk").File("QV_USRDATA/QV_GC").Key("E1T1 M1 ").Record(gc.image()).Repeatedly();
  std::vector<Variant> detail{Variant("M1"), Variant("T1"), Variant(std::string(624, ' '))};
  r = CallMethod(*object, "DetailGC", detail);
  ASSERT_TRUE(r.ok()) << r.text;
  EXPECT_EQ(r.value, Variant(true));
  EXPECT_EQ(detail[2], Variant(gc.image()));

  // ChangeGC gives back the record as stored: under its key.
  Record changed(layout::QV_GC, gc.image());
  changed.Set("TGTID", "XX");
  std::vector<Variant> change{Variant("M1"), Variant("T1"), Variant(changed.image())};
  r = CallMethod(*object, "ChangeGC", change);
  ASSERT_TRUE(r.ok()) << r.text;
  EXPECT_EQ(r.value, Variant(true));
  EXPECT_EQ(change[2], Variant(gc.image()));

  fake->On("Execute").Code("SYSLSTJOB_").Reply("00015SE1_T1 M1 ");
  std::vector<Variant> job{Variant("SE1_T1 M1 "), Variant("")};
  r = CallMethod(*object, "JobRun", job);
  EXPECT_EQ(r.value, Variant(true));
  EXPECT_EQ(job[1], Variant("R"));
}

TEST_F(ControlDispatchTest, BadCallsAreRefusedByTheTable) {
  const platform::DISPID read = object->GetIDsOfNames("ReadActivity");
  std::vector<Variant> badSize{Variant("a"), Variant("t"), Variant("m"), Variant(""),
                               Variant("lots"), Variant("G"), Variant(" ")};
  DispResult r = object->Invoke(read, InvokeKind::Method, badSize);
  EXPECT_EQ(r.status, DispStatus::TypeMismatch);
  EXPECT_EQ(r.argIndex, 4);
  // Read-only members have no put.
  std::vector<Variant> value{Variant(true)};
  EXPECT_EQ(object->Invoke(object->GetIDsOfNames("ConnectionOpen"), InvokeKind::PropertyPut, value).status,
            DispStatus::MemberNotFound);
  EXPECT_EQ(fake->Calls().size(), 0u);
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
  // The login is written, never read.
  EXPECT_EQ(m.Invoke(0x68030011, InvokeKind::PropertyGet, {}).status, DispStatus::MemberNotFound);
  EXPECT_EQ(m.Invoke(0x68030010, InvokeKind::PropertyGet, {}).status, DispStatus::MemberNotFound);
}

TEST(ActivityTableTest, PropertiesAndFillFollowTheBlockOrder) {
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

  // Fill cuts a block by the widths and pads a short one.
  a.Fill("1" + std::string(20, 'R') + "12345");
  EXPECT_EQ(a.Get("state"), "1");
  EXPECT_EQ(a.Get("Receiver"), std::string(20, 'R'));
  EXPECT_EQ(a.Get("RcvNum"), "12345     ");
  EXPECT_EQ(a.Get("CptErr"), std::string(10, ' '));
  EXPECT_THROW(a.Get("Nope"), UnknownFieldError);
}

}  // namespace
}  // namespace qv::automation
