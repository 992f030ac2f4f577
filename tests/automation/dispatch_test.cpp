// The late-bound interfaces: the control's members with their by-reference
// results and a dispatch object that never outlives its control's use; the
// manager's object properties and its write-only login; the shared library
// as a script uses it: registration, CreateObject by ProgID, calls by DISPID
// only, unloading and unregistration.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "automation/activity.h"
#include "automation/classes.h"
#include "automation/qvmanager.h"
#include "connection/qvsource.h"
#include "form_support.h"
#include "platform/collection.h"
#include "platform/control_objects.h"
#include "platform/create_object.h"
#include "platform/dispatch.h"
#include "platform/registry.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "support/scratch.h"
#include "support/topology.h"

namespace qv::automation {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using platform::CallMethod;
using platform::CreateObject;
using platform::DISPID;
using platform::DispResult;
using platform::DispStatus;
using platform::GetProperty;
using platform::InvokeKind;
using platform::PutProperty;
using platform::RegistryEntry;
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

// ---- The shared library -----------------------------------------------------

const std::string kLibrary = QV_MGR_LIBRARY_PATH;

// DISPIDs a script would hold.
constexpr platform::DISPID kActivityProp = 0x4003000F, kSourceAdress = 0x6803000F, kSourceType = 0x6803000E,
                           kErrorText = 0x6003001A, kOpenConnection = 0x6003001C, kCloseConnection = 0x6003001D;

// Points QV_REGISTRY at a fresh file holding one entry of another library.
class LibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("QV_REGISTRY")) saved_ = old;
    ::setenv("QV_REGISTRY", path_.c_str(), 1);
    ASSERT_TRUE(platform::RegisterEntries({other_}).ok());
  }
  void TearDown() override {
    if (saved_) ::setenv("QV_REGISTRY", saved_->c_str(), 1);
    else ::unsetenv("QV_REGISTRY");
  }
  std::vector<RegistryEntry> Entries() {
    platform::RegistryContents c;
    EXPECT_TRUE(platform::ReadRegistry(path_, c).ok());
    return c.entries;
  }
  static Variant Call(platform::IDispatch& o, platform::DISPID id, InvokeKind kind,
                      std::vector<Variant> args = {}) {
    DispResult r = o.Invoke(id, kind, args);
    EXPECT_TRUE(r.ok()) << std::hex << id << ": " << r.text;
    return r.value;
  }
  static void Put(platform::IDispatch& o, platform::DISPID id, Variant v) {
    Call(o, id, InvokeKind::PropertyPut, {std::move(v)});
  }

  test::Scratch scratch_{"qv_mgr_registry"};
  std::string path_ = scratch_ / "registry";
  std::optional<std::string> saved_;
  RegistryEntry other_{"Other.Thing", "{00000000-1111-2222-3333-444444444444}", "/opt/other.so"};
};

TEST_F(LibraryTest, ScriptRegistersCreatesDrivesAndUnregisters) {
  ASSERT_TRUE(platform::RegisterLibrary(kLibrary).ok());
  const std::string canonical = fs::canonical(kLibrary).string();
  EXPECT_THAT(Entries(), testing::UnorderedElementsAre(
                             other_, RegistryEntry{kQVmanagerProgId, kQVmanagerClassId, canonical},
                             RegistryEntry{kActivityProgId, kActivityClassId, canonical}));
  // Nothing of the library is alive yet.
  EXPECT_TRUE(platform::LibraryCanUnloadNow(canonical));

  platform::CreateResult created = CreateObject("QVmgr_dll.QVmanager");
  ASSERT_TRUE(created.ok()) << created.error;
  platform::IDispatch& mgr = *created.object;
  EXPECT_EQ(mgr.ClassName(), "QVmanager");
  EXPECT_FALSE(platform::LibraryCanUnloadNow(canonical));

  Put(mgr, kSourceType, Variant("as400"));
  Put(mgr, kSourceAdress, Variant("qv-nowhere.invalid"));
  EXPECT_EQ(Call(mgr, kSourceType, InvokeKind::PropertyGet), Variant("AS400"));

  // The source refuses the connection and tells why.
  EXPECT_EQ(Call(mgr, kOpenConnection, InvokeKind::Method), Variant(false));
  EXPECT_THAT(Call(mgr, kErrorText, InvokeKind::Method).ToString(), HasSubstr("QV-NOWHERE.INVALID"));
  EXPECT_EQ(Call(mgr, kCloseConnection, InvokeKind::Method), Variant(true));

  // The Activity held by the manager is an object of the library.
  platform::ObjectPtr activity = Call(mgr, kActivityProp, InvokeKind::PropertyGet).ToObject();
  ASSERT_TRUE(activity);
  EXPECT_EQ(activity->ClassName(), "Activity");
  EXPECT_EQ(Call(*activity, 0x40030000, InvokeKind::PropertyGet), Variant(""));

  activity.reset();
  created.object.reset();
  EXPECT_TRUE(platform::LibraryCanUnloadNow(canonical));

  ASSERT_TRUE(platform::UnregisterLibrary(kLibrary).ok());
  EXPECT_EQ(Entries(), std::vector<RegistryEntry>{other_});
  EXPECT_FALSE(CreateObject("QVmgr_dll.QVmanager").ok());
}

}  // namespace
}  // namespace qv::automation
