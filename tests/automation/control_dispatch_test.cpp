// The control's late-bound members: names, kinds, by-reference results, and a
// dispatch object that never outlives its control's use.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "connection/qvsource.h"
#include "platform/control_objects.h"
#include "platform/dispatch.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "support/recording_fake.h"

namespace qv {
namespace {

using platform::CallMethod;
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

TEST_F(ControlDispatchTest, EveryMemberTheManagersCallIsThere) {
  struct Row {
    const char* name;
    InvokeKind kind;
  };
  const Row rows[] = {
      {"SourceType", InvokeKind::PropertyGet}, {"SourceType", InvokeKind::PropertyPut},
      {"InstanceName", InvokeKind::PropertyGet}, {"InstanceName", InvokeKind::PropertyPut},
      {"env", InvokeKind::PropertyPut},        {"tgt", InvokeKind::PropertyPut},
      {"Grp", InvokeKind::PropertyPut},        {"Fic", InvokeKind::PropertyPut},
      {"ErrorText", InvokeKind::PropertyGet},  {"ErrorNum", InvokeKind::PropertyGet},
      {"ErrorStep", InvokeKind::PropertyGet},  {"CloseConnection", InvokeKind::Method},
      {"ConnectionOpen", InvokeKind::PropertyGet},
  };
  for (const Row& r : rows) {
    const platform::DISPID id = object->GetIDsOfNames(r.name);
    ASSERT_NE(id, platform::kDispidUnknown) << r.name;
    std::vector<Variant> args;
    if (r.kind == InvokeKind::PropertyPut) args.push_back(Variant(""));
    DispResult res = object->Invoke(id, r.kind, args);
    EXPECT_TRUE(res.ok()) << r.name << ": " << res.text;
  }
  EXPECT_EQ(object->ClassName(), "QVSource");
  // Names are found in any case.
  EXPECT_EQ(object->GetIDsOfNames("OPENCONNECTION"), object->GetIDsOfNames("OpenConnection"));
}

TEST_F(ControlDispatchTest, PropertiesReachTheControl) {
  ASSERT_TRUE(PutProperty(*object, "SourceType", Variant("oracle")).ok());
  EXPECT_EQ(control->SourceType(), "Oracle");
  EXPECT_EQ(GetProperty(*object, "SourceType").value, Variant("Oracle"));
  ASSERT_TRUE(PutProperty(*object, "tgt", Variant("T1_")).ok());
  EXPECT_EQ(control->tgt(), "T1_");
  ASSERT_TRUE(PutProperty(*object, "Grp", Variant("M1_")).ok());
  EXPECT_EQ(GetProperty(*object, "Grp").value, Variant("M1_"));
}

TEST_F(ControlDispatchTest, ReadActivityWritesTheBlockBack) {
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
}

TEST_F(ControlDispatchTest, RecordsAndStatusComeBackByReference) {
  fake->On("Rreadf").File("QV_USRDATA/QV_VER").Record("0V1R0       ").Repeatedly();
  ASSERT_TRUE(control->OpenConnection("src"));
  control->env("E1");
  Record gc(layout::QV_GC);
  gc.Set("ENVID", "E1");
  gc.Set("TGTID", "T1");
  gc.Set("GRPID", "M1");
  gc.Set("REPRISEPNT", "0000000042");
  fake->On("Rreadk").File("QV_USRDATA/QV_GC").Key("E1T1 M1 ").Record(gc.image()).Repeatedly();
  std::vector<Variant> detail{Variant("M1"), Variant("T1"), Variant(std::string(624, ' '))};
  DispResult r = CallMethod(*object, "DetailGC", detail);
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

  std::vector<Variant> missing{Variant(std::string(216, ' ')), Variant("ZZ")};
  r = CallMethod(*object, "DetailEnvironment", missing);
  EXPECT_EQ(r.value, Variant(false));
  EXPECT_EQ(control->ErrorNum(), QVSource::kRefusalNum);

  fake->On("Execute").Code("SYSLSTJOB_").Reply("00015SE1_T1 M1 ");
  std::vector<Variant> job{Variant("SE1_T1 M1 "), Variant("")};
  r = CallMethod(*object, "JobRun", job);
  EXPECT_EQ(r.value, Variant(true));
  EXPECT_EQ(job[1], Variant("R"));
}

TEST_F(ControlDispatchTest, BadCallsAreRefusedByTheTable) {
  const platform::DISPID read = object->GetIDsOfNames("ReadActivity");
  std::vector<Variant> three{Variant("a"), Variant("b"), Variant("c")};
  EXPECT_EQ(object->Invoke(read, InvokeKind::Method, three).status, DispStatus::BadArgCount);
  std::vector<Variant> badSize{Variant("a"), Variant("t"), Variant("m"), Variant(""),
                               Variant("lots"), Variant("G"), Variant(" ")};
  DispResult r = object->Invoke(read, InvokeKind::Method, badSize);
  EXPECT_EQ(r.status, DispStatus::TypeMismatch);
  EXPECT_EQ(r.argIndex, 4);
  EXPECT_EQ(object->Invoke(0x7FFF, InvokeKind::Method, {}).status, DispStatus::MemberNotFound);
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

}  // namespace
}  // namespace qv
