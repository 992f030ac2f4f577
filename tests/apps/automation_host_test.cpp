// qvmgr automation and registration: a script's session by DISPID and by
// name against a fresh class registry, error lines that leave the session
// going, list views passed to the library, register and unregister.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/qvmgr_fixture.h"
#include "platform/registry.h"

namespace qv::test {
namespace {

using ::testing::HasSubstr;
using ::testing::SizeIs;

// DISPIDs a script holds.
constexpr std::int64_t kSourceAdress = 0x6803000F, kEnvironmentID = 0x6803000D, kOpenConnection = 0x6003001C,
                       kReadActivity = 0x60030022, kCptRead = 0x40030011, kActivityProp = 0x4003000F;

class QvmgrAutomationTest : public QvmgrTest {
 protected:
  // Runs a session of requests; returns the answers, one per line.
  std::vector<Json> Session(const std::vector<Json>& requests, const Environment& env, ProcessResult* run = nullptr) {
    std::string input;
    for (const Json& r : requests) input += r.dump() + "\n";
    return SessionText(input, env, run);
  }
  std::vector<platform::RegistryEntry> Registered() const {
    platform::RegistryContents c;
    EXPECT_TRUE(platform::ReadRegistry(registry(), c).ok());
    return c.entries;
  }
};

TEST_F(QvmgrAutomationTest, ScriptDrivesTheManagerByDispidAndByNameAfterRegisteringTheLibrary) {
  EmbeddedStore store(embedded::SourceKind::AS400, /*demo=*/true);
  ASSERT_THAT(Registered(), SizeIs(0));
  ProcessResult run;
  const std::vector<Json> a = Session(
      {
          {{"create", "QVmgr_dll.QVmanager"}, {"as", "m"}},
          {{"object", "m"}, {"dispid", kSourceAdress}, {"kind", "put"}, {"args", {"file:" + store.path()}}},
          {{"object", "m"}, {"member", "userid"}, {"kind", "put"}, {"args", {"QVADMIN"}}},
          {{"object", "m"}, {"member", "Password"}, {"kind", "put"}, {"args", {"demo"}}},
          {{"object", "m"}, {"dispid", "0x6003001C"}, {"id", "open"}},
          {{"object", "m"}, {"member", "EnvironmentID"}, {"kind", "put"}, {"args", {" pr"}}},
          {{"object", "m"}, {"dispid", kEnvironmentID}, {"kind", "get"}},
          {{"object", "m"}, {"member", "TargetID"}, {"kind", "put"}, {"args", {"as1"}}},
          {{"object", "m"}, {"member", "ModelID"}, {"kind", "put"}, {"args", {"cli"}}},
          {{"object", "m"}, {"dispid", kReadActivity}},
          {{"object", "m"}, {"dispid", kActivityProp}, {"kind", "get"}, {"as", "act"}},
          {{"object", "act"}, {"dispid", kCptRead}, {"kind", "get"}},
          {{"object", "act"}, {"member", "state"}},
          {{"create", "ListView"}, {"as", "lv"}},
          {{"object", "m"}, {"member", "ReadMSG"}, {"args", {true, true, Json{{"object", "lv"}}}}},
          {{"read", "lv"}},
          {{"object", "m"}, {"member", "CloseConnection"}},
          {{"release", "m"}},
      },
      Base(), &run);
  ASSERT_THAT(a, SizeIs(18)) << Describe(run);
  for (const Json& answer : a) EXPECT_EQ(answer["ok"], true) << answer.dump();
  EXPECT_EQ(a[0]["object"], "m");
  EXPECT_EQ(a[0]["class"], "QVmanager");
  EXPECT_EQ(a[4]["id"], "open");
  EXPECT_EQ(a[4]["result"], true);
  EXPECT_EQ(a[4]["type"], "Boolean");
  EXPECT_EQ(a[6]["result"], "PR");
  EXPECT_EQ(a[9]["result"], true);
  EXPECT_EQ(a[10]["result"], (Json{{"object", "act"}, {"class", "Activity"}}));
  EXPECT_EQ(a[11]["result"], "0000001500");
  EXPECT_EQ(a[12]["result"], "A");
  // A list view passed to the library comes back filled.
  EXPECT_EQ(a[14]["result"], true);
  EXPECT_EQ(a[14]["args"][2], (Json{{"object", "lv"}, {"class", "ListView"}}));
  EXPECT_EQ(a[15]["value"]["view"], 3);
  EXPECT_THAT(a[15]["value"]["columns"], SizeIs(5));
  EXPECT_EQ(a[17]["released"], "m");

  // The first use registered the library the program ships with.
  EXPECT_THAT(run.err, HasSubstr("registered "));

  // A second session finds it registered and says nothing.
  const std::vector<Json> again = Session({{{"create", "QVmgr_dll.QVmanager"}}}, Base(), &run);
  ASSERT_THAT(again, SizeIs(1));
  EXPECT_EQ(again[0]["object"], "obj1");
  EXPECT_EQ(run.err, "");
}

TEST_F(QvmgrAutomationTest, BadRequestsGetErrorLinesAndTheSessionGoesOn) {
  const std::string script =
      "{\"create\":\"QVmgr_dll.QVmanager\",\"as\":\"m\"}\n"
      "this is not JSON\n"
      "\n"
      "# a comment line\n"
      "{\"object\":\"m\",\"member\":\"NoSuchMember\"}\n"
      "{\"object\":\"m\",\"dispid\":12345}\n"
      "{\"object\":\"m\",\"member\":\"EnvironmentID\",\"kind\":\"put\",\"args\":[]}\n"
      "{\"object\":\"m\",\"member\":\"Activity\",\"kind\":\"putref\",\"args\":[\"text\"]}\n"
      "{\"object\":\"m\",\"member\":\"SourceAdress\",\"kind\":\"put\",\"args\":[\"\\ud83d\\ude00\"]}\n"
      "{\"object\":\"m\",\"member\":\"SourceAdress\",\"kind\":\"put\",\"args\":[[1]]}\n"
      "{\"object\":\"nobody\",\"member\":\"ErrorNum\"}\n"
      "{\"object\":\"m\",\"member\":\"ErrorNum\",\"kind\":\"sideways\"}\n"
      "{\"object\":\"m\",\"member\":\"ErrorNum\",\"dispid\":1}\n"
      "[1,2,3]\n"
      "{\"create\":\"Nobody.Nothing\"}\n"
      "{\"object\":\"m\",\"member\":\"SourceAdress\",\"kind\":\"put\",\"args\":[1e309]}\n"
      "{\"object\":\"m\",\"member\":\"SourceAdress\",\"kind\":\"put\",\"args\":[\"file:/a\\u0000/b.qvs\"]}\n"
      "{\"object\":\"m\",\"member\":\"SourceAdress\",\"kind\":\"put\",\"args\":[\"Caf\\u00e9\"]}\n"
      "{\"object\":\"m\",\"member\":\"SourceAdress\",\"kind\":\"get\",\"id\":42}\n";
  ProcessResult run;
  const std::vector<Json> a = SessionText(script, Base(), &run);
  ASSERT_THAT(a, SizeIs(17)) << Describe(run);
  struct Expected {
    std::size_t index;
    const char* status;
    const char* text;
    int line;
  };
  const Expected errors[] = {
      {1, "MalformedJson", "malformed JSON", 2},
      {2, "UnknownName", "QVmanager has no member NoSuchMember", 5},
      {3, "MemberNotFound", "", 6},
      {4, "BadArgCount", "EnvironmentID", 7},
      {5, "TypeMismatch", "", 8},
      {6, "TypeMismatch", "argument 1: the character at byte 0 has no Windows-1252 form", 9},
      {7, "TypeMismatch", "argument 1: arrays are not values of a call", 10},
      {8, "UnknownObject", "no object named \"nobody\"", 11},
      {9, "BadRequest", "\"kind\" takes", 12},
      {10, "BadRequest", "either \"member\" or \"dispid\"", 13},
      {11, "BadRequest", "a request is a JSON object", 14},
      {12, "CannotCreate", "Nobody.Nothing", 15},
      {13, "MalformedJson", "", 16},
      {14, "TypeMismatch", "NUL", 17},
  };
  for (const Expected& e : errors) {
    SCOPED_TRACE(e.line);
    const Json& answer = a[e.index];
    EXPECT_EQ(answer["ok"], false);
    EXPECT_EQ(answer["error"]["status"], e.status) << answer.dump();
    EXPECT_THAT(answer["error"]["text"].get<std::string>(), HasSubstr(e.text));
    EXPECT_NE(answer["error"]["code"], 0);
    EXPECT_EQ(answer["line"], e.line);
  }
  EXPECT_EQ(a[6]["error"]["arg"], 0);
  // The session went on: text crosses as UTF-8 both ways.
  EXPECT_EQ(run.exitCode, 0) << Describe(run);
  EXPECT_EQ(a[15]["ok"], true);
  EXPECT_EQ(a[16]["id"], 42);
  EXPECT_EQ(a[16]["result"], "Café");
}

// ---- register / unregister ---------------------------------------------------

TEST_F(QvmgrAutomationTest, RegisterAndUnregisterTheShippedLibrary) {
  ProcessResult r = Exits(0, {"register", "--json"});
  Json doc = Document(r);
  EXPECT_EQ(doc["registry"], registry());
  EXPECT_THAT(doc["library"].get<std::string>(), HasSubstr("libQVmgr_dll.so"));
  ASSERT_THAT(doc["classes"], SizeIs(2));
  EXPECT_EQ(doc["classes"][0]["progId"], "QVmgr_dll.QVmanager");
  EXPECT_THAT(Registered(), SizeIs(2));

  r = Exits(0, {"unregister"});
  EXPECT_THAT(r.out, HasSubstr("Unregistered "));
  EXPECT_THAT(Registered(), SizeIs(0));

  r = Exits(0, {"register", "--library", QV_MGR_LIBRARY_PATH});
  EXPECT_THAT(r.out, HasSubstr("QVmgr_dll.Activity"));
}

TEST_F(QvmgrAutomationTest, WithoutTheLibraryRegisterAndCreateFail) {
  ProcessResult r = Exits(1, {"register", "--library", dir() + "/missing.so", "--json"});
  EXPECT_EQ(Document(r)["error"]["step"], "DllRegisterServer");
  EXPECT_THAT(r.err, HasSubstr("cannot load the library"));

  const Environment missing = With(Base(), {{"QV_LIBRARY", dir() + "/missing.so"}});
  r = Exits(1, {"register"}, missing);
  EXPECT_THAT(r.err, HasSubstr("no libQVmgr_dll.so found"));
  EXPECT_THAT(Registered(), SizeIs(0));

  // A session without it answers a create with an error line and goes on.
  const std::vector<Json> a = Session({{{"create", "QVmgr_dll.QVmanager"}}, {{"create", "ListView"}}}, missing);
  ASSERT_THAT(a, SizeIs(2));
  EXPECT_EQ(a[0]["error"]["status"], "CannotCreate");
  EXPECT_THAT(a[0]["error"]["text"].get<std::string>(), HasSubstr("QVmgr_dll.QVmanager"));
  EXPECT_EQ(a[1]["ok"], true);
}

}  // namespace
}  // namespace qv::test
