#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/collection.h"
#include "platform/create_object.h"
#include "platform/server.h"

namespace qv::platform {
namespace {

namespace fs = std::filesystem;

const char* kCounterId = "{6A0C1E52-3B7D-4F11-9C2E-5D8A7B90C1F3}";
const char* kOtherId = "{11111111-2222-3333-4444-555555555555}";

// Points QV_REGISTRY at a fresh file for one test.
class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qv_registry_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    path_ = (dir_ / "sub" / "registry").string();
    const char* old = std::getenv("QV_REGISTRY");
    if (old != nullptr) saved_ = old;
    ::setenv("QV_REGISTRY", path_.c_str(), 1);
  }
  void TearDown() override {
    if (saved_) {
      ::setenv("QV_REGISTRY", saved_->c_str(), 1);
    } else {
      ::unsetenv("QV_REGISTRY");
    }
    fs::remove_all(dir_);
  }
  std::vector<RegistryEntry> Entries() {
    RegistryContents c;
    EXPECT_TRUE(ReadRegistry(path_, c).ok());
    return c.entries;
  }

  fs::path dir_;
  std::string path_;
  std::optional<std::string> saved_;
};

TEST_F(RegistryTest, RegistersReplacesAndUnregistersExactlyTheGivenEntries) {
  RegistryEntry a{"Lib.A", kCounterId, "/lib/a.so"};
  RegistryEntry b{"Lib.B", kOtherId, "/lib/b.so"};
  ASSERT_TRUE(RegisterEntries({a, b}).ok());
  EXPECT_EQ(Entries(), (std::vector<RegistryEntry>{a, b}));

  // The same ProgID moves to another library.
  RegistryEntry a2{"lib.a", kCounterId, "/lib/a2.so"};
  ASSERT_TRUE(RegisterEntries({a2}).ok());
  EXPECT_EQ(Entries(), (std::vector<RegistryEntry>{b, a2}));

  std::string error;
  auto found = LookupProgId("LIB.A", error);
  ASSERT_TRUE(found) << error;
  EXPECT_EQ(found->libraryPath, "/lib/a2.so");

  ASSERT_TRUE(UnregisterEntries({a}).ok());  // any case of the ProgID
  EXPECT_EQ(Entries(), (std::vector<RegistryEntry>{b}));
  ASSERT_TRUE(UnregisterEntries({a}).ok());  // nothing left to remove
  EXPECT_EQ(Entries(), (std::vector<RegistryEntry>{b}));
}

TEST_F(RegistryTest, OnlyItsOwnerMayReadOrWriteTheFile) {
  const ::mode_t old = ::umask(0);  // the mode must not depend on the caller's mask
  const Status created = RegisterEntries({{"Lib.A", kCounterId, "/lib/a.so"}});
  fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                             fs::perms::others_read);  // as an earlier version left it
  const Status rewritten = RegisterEntries({{"Lib.B", kOtherId, "/lib/b.so"}});
  ::umask(old);
  ASSERT_TRUE(created.ok() && rewritten.ok());
  for (const std::string& file : {path_, path_ + ".lock"})
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write)
        << file;
}

TEST_F(RegistryTest, KeepsCommentsAndUnreadableLines) {
  fs::create_directories(fs::path(path_).parent_path());
  {
    std::ofstream out(path_);
    out << "# my note\n"
        << "Lib.X\t" << kOtherId << "\t/lib/x.so\n"
        << "garbage line\n"
        << "Lib.Y\tnot-a-guid\t/lib/y.so\n";
  }
  RegistryContents c;
  ASSERT_TRUE(ReadRegistry(path_, c).ok());
  ASSERT_EQ(c.entries.size(), 1u);
  ASSERT_EQ(c.badLines.size(), 2u);
  EXPECT_EQ(c.badLines[0].rfind("line 3:", 0), 0u) << c.badLines[0];
  EXPECT_NE(c.badLines[1].find("malformed class id"), std::string::npos);

  ASSERT_TRUE(UnregisterEntries({{"Lib.X", kOtherId, ""}}).ok());
  std::stringstream text;
  text << std::ifstream(path_).rdbuf();
  EXPECT_EQ(text.str(), "# qvmgr class registry: ProgID <TAB> class id <TAB> library path\n"
                        "# my note\ngarbage line\nLib.Y\tnot-a-guid\t/lib/y.so\n");
}

TEST_F(RegistryTest, RefusesBadEntriesAndWritesNothing) {
  RegistryEntry good{"Lib.A", kCounterId, "/lib/a.so"};
  for (const RegistryEntry& bad : std::vector<RegistryEntry>{
           {"Lib B", kOtherId, "/x.so"},
           {"Lib.B", "{1234}", "/x.so"},
           {"Lib.B", kOtherId, "/x\n.so"}}) {
    Status s = RegisterEntries({good, bad});
    EXPECT_FALSE(s.ok());
    EXPECT_NE(s.error.find("cannot register"), std::string::npos) << s.error;
  }
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(RegistryTest, ConcurrentWritersLoseNoEntry) {
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([t] {
      for (int i = 0; i < 10; ++i) {
        char id[40];
        std::snprintf(id, sizeof id, "{%08X-0000-0000-0000-000000000000}", t * 100 + i);
        EXPECT_TRUE(RegisterEntries({{"Lib.T" + std::to_string(t * 100 + i), id, "/x.so"}}).ok());
      }
    });
  }
  for (auto& w : writers) w.join();
  EXPECT_EQ(Entries().size(), 40u);
}

// --- CreateObject through a real library ------------------------------------

// The register, create, unload and unregister cycle of the product's own
// library is tested with that library; this one checks what a test library
// alone shows.
TEST_F(RegistryTest, CreateObjectLoadsTheRegisteredLibraryOrTellsWhatIsMissing) {
  ASSERT_TRUE(RegisterLibrary(QV_TEST_SERVER_PATH).ok());
  CreateResult r = CreateObject("qvtest.counter");
  ASSERT_TRUE(r.ok()) << r.error;
  DispResult fail = CallMethod(*r.object, "Fail");
  EXPECT_EQ(fail.status, DispStatus::Exception);
  EXPECT_EQ(fail.text, "Counter.Fail: counter broke");
  CreateResult wrong = CreateObjectFromLibrary(QV_TEST_SERVER_PATH, kOtherId);
  EXPECT_FALSE(wrong.ok());
  EXPECT_NE(wrong.error.find("does not serve the class"), std::string::npos) << wrong.error;

  ASSERT_TRUE(UnregisterLibrary(QV_TEST_SERVER_PATH).ok());
  CreateResult unregistered = CreateObject("QVTest.Counter");
  EXPECT_FALSE(unregistered.ok());
  EXPECT_NE(unregistered.error.find("is not registered"), std::string::npos) << unregistered.error;

  ASSERT_TRUE(RegisterEntries({{"Lib.Gone", kCounterId, "/nonexistent/libgone.so"},
                               {"Lib.Plain", kOtherId, "libc.so.6"}})
                  .ok());
  CreateResult gone = CreateObject("Lib.Gone");
  EXPECT_FALSE(gone.ok());
  EXPECT_NE(gone.error.find("cannot create Lib.Gone: cannot load the library /nonexistent/libgone.so"),
            std::string::npos)
      << gone.error;
  CreateResult plain = CreateObject("Lib.Plain");
  EXPECT_FALSE(plain.ok());
  EXPECT_NE(plain.error.find("has no entry point DllGetClassObject"), std::string::npos) << plain.error;
}

TEST(ServerTest, ServesTheClassesOfThisModule) {
  ClearModuleClasses();
  AddClass({kOtherId, "Here.Thing", [] { return std::make_shared<Collection>(); }});
  EXPECT_THROW(AddClass({kOtherId, "Here.Other", [] { return ObjectPtr(); }}), std::invalid_argument);
  EXPECT_THROW(AddClass({"{bad}", "Here.Bad", [] { return ObjectPtr(); }}), std::invalid_argument);
  EXPECT_THROW(AddClass({kCounterId, "Here Bad", [] { return ObjectPtr(); }}), std::invalid_argument);

  EXPECT_EQ(ServeGetClassObject(nullptr, kOtherId, nullptr), kResultPointer);

  IClassFactory* f = FindClassFactory("{11111111-2222-3333-4444-555555555555}");
  ASSERT_NE(f, nullptr);
  f->LockServer(true);
  EXPECT_EQ(ServeCanUnloadNow(nullptr), kResultFalse);
  f->LockServer(false);
  EXPECT_EQ(ServeCanUnloadNow(nullptr), kResultOk);
  ClearModuleClasses();
}

}  // namespace
}  // namespace qv::platform
