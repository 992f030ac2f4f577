// The shared library as a script uses it: registration, CreateObject by
// ProgID, calls by DISPID only, unloading and unregistration.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "automation/classes.h"
#include "platform/create_object.h"
#include "platform/registry.h"
#include "support/scratch.h"

namespace qv::automation {
namespace {

namespace fs = std::filesystem;
using platform::CreateObject;
using platform::DispResult;
using platform::InvokeKind;
using platform::RegistryEntry;
using platform::Variant;
using ::testing::HasSubstr;

const std::string kLibrary = QV_MGR_LIBRARY_PATH;

// DISPIDs a script would hold.
constexpr platform::DISPID kActivityProp = 0x4003000F, kSourceAdress = 0x6803000F,
                           kSourceType = 0x6803000E, kErrorText = 0x6003001A,
                           kErrorNum = 0x6003001B, kOpenConnection = 0x6003001C,
                           kCloseConnection = 0x6003001D, kConnectionOpen = 0x6003001E;

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
  EXPECT_EQ(Call(mgr, kConnectionOpen, InvokeKind::Method), Variant(false));
  EXPECT_NE(Call(mgr, kErrorNum, InvokeKind::Method), Variant(std::int32_t{0}));
  const std::string text = Call(mgr, kErrorText, InvokeKind::Method).ToString();
  EXPECT_THAT(text, HasSubstr("QV-NOWHERE.INVALID"));
  EXPECT_THAT(text, HasSubstr("Verify that TCP-IP is running in source"));
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
