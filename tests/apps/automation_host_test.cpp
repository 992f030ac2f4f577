// qvmgr automation and registration: a script's session by DISPID and by
// name against a fresh class registry, error lines that leave the session
// going, list views passed to the library, register and unregister; the
// JSON values of a session: the kinds of argument a script host passes, the
// refusals, objects by name both ways.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/qvmgr_fixture.h"
#include "platform/registry.h"
#include "qvmgr/variant_json.h"

namespace qv::test {
namespace {

using ::testing::HasSubstr;
using ::testing::SizeIs;
using cli::ArgumentError;
using cli::JsonFromVariant;
using cli::ObjectNamer;
using cli::VariantFromJson;
using platform::Variant;

// DISPIDs a script holds.
constexpr std::int64_t kSourceAdress = 0x6803000F, kOpenConnection = 0x6003001C,
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
          {{"object", "m"}, {"member", "TargetID"}, {"kind", "put"}, {"args", {"as1"}}},
          {{"object", "m"}, {"member", "ModelID"}, {"kind", "put"}, {"args", {"cli"}}},
          {{"object", "m"}, {"dispid", kReadActivity}},
          {{"object", "m"}, {"dispid", kActivityProp}, {"kind", "get"}, {"as", "act"}},
          {{"object", "act"}, {"dispid", kCptRead}, {"kind", "get"}},
          {{"create", "ListView"}, {"as", "lv"}},
          {{"object", "m"}, {"member", "ReadMSG"}, {"args", {true, true, Json{{"object", "lv"}}}}},
          {{"read", "lv"}},
          {{"object", "m"}, {"member", "CloseConnection"}},
          {{"release", "m"}},
      },
      Base(), &run);
  ASSERT_THAT(a, SizeIs(16)) << Describe(run);
  for (const Json& answer : a) EXPECT_EQ(answer["ok"], true) << answer.dump();
  EXPECT_EQ(a[0], (Json{{"ok", true}, {"object", "m"}, {"class", "QVmanager"}}));
  EXPECT_EQ(a[4], (Json{{"id", "open"}, {"ok", true}, {"result", true}, {"type", "Boolean"}, {"args", Json::array()}}));
  EXPECT_EQ(a[8]["result"], true);
  EXPECT_EQ(a[9]["result"], (Json{{"object", "act"}, {"class", "Activity"}}));
  EXPECT_EQ(a[10]["result"], "0000001500");
  // A list view passed to the library comes back filled.
  EXPECT_EQ(a[12]["result"], true);
  EXPECT_EQ(a[12]["args"][2], (Json{{"object", "lv"}, {"class", "ListView"}}));
  EXPECT_EQ(a[13]["value"]["view"], 3);
  EXPECT_THAT(a[13]["value"]["columns"], SizeIs(5));
  EXPECT_EQ(a[15]["released"], "m");

  // The first use registered the library the program ships with.
  EXPECT_THAT(run.err, HasSubstr("registered "));

  // A second session finds it registered and says nothing.
  const std::vector<Json> again = Session({{{"create", "QVmgr_dll.QVmanager"}}}, Base(), &run);
  ASSERT_THAT(again, SizeIs(1));
  EXPECT_EQ(again[0]["object"], "obj1");
  EXPECT_EQ(run.err, "");
}

TEST_F(QvmgrAutomationTest, BadRequestsGetErrorLinesAndTheSessionGoesOn) {
  struct Line {
    const char* request;
    const char* status;  // of its error line; "" for an answer that succeeds, null for no answer
    const char* text;    // part of the error's text
  };
  const Line lines[] = {
      {R"({"create":"QVmgr_dll.QVmanager","as":"m"})", "", ""},
      {"this is not JSON", "MalformedJson", "malformed JSON"},
      {"", nullptr, ""},
      {"# a comment line", nullptr, ""},
      {R"({"object":"m","member":"NoSuchMember"})", "UnknownName", "QVmanager has no member NoSuchMember"},
      {R"({"object":"m","dispid":12345})", "MemberNotFound", ""},
      {R"({"object":"m","member":"EnvironmentID","kind":"put","args":[]})", "BadArgCount", "EnvironmentID"},
      {R"({"object":"m","member":"Activity","kind":"putref","args":["text"]})", "TypeMismatch", ""},
      {R"({"object":"m","member":"SourceAdress","kind":"put","args":["\ud83d\ude00"]})", "TypeMismatch",
       "argument 1: the character at byte 0 has no Windows-1252 form"},
      {R"({"object":"m","member":"SourceAdress","kind":"put","args":[[1]]})", "TypeMismatch",
       "argument 1: arrays are not values of a call"},
      {R"({"object":"nobody","member":"ErrorNum"})", "UnknownObject", "no object named \"nobody\""},
      {R"({"object":"m","member":"ErrorNum","kind":"sideways"})", "BadRequest", "\"kind\" takes"},
      {R"({"object":"m","member":"ErrorNum","dispid":1})", "BadRequest", "either \"member\" or \"dispid\""},
      {"[1,2,3]", "BadRequest", "a request is a JSON object"},
      {R"({"create":"Nobody.Nothing"})", "CannotCreate", "Nobody.Nothing"},
      {R"({"object":"m","member":"SourceAdress","kind":"put","args":["file:/a\u0000/b.qvs"]})", "TypeMismatch",
       "NUL"},
      {R"({"object":"m","member":"SourceAdress","kind":"put","args":["Caf\u00e9"]})", "", ""},
      {R"({"object":"m","member":"SourceAdress","kind":"get","id":42})", "", ""},
  };
  std::string script;
  for (const Line& l : lines) script += std::string(l.request) + "\n";
  ProcessResult run;
  const std::vector<Json> a = SessionText(script, Base(), &run);  // the session goes on to its end
  ASSERT_THAT(a, SizeIs(16)) << Describe(run);
  std::size_t next = 0;
  for (std::size_t i = 0; i < std::size(lines); ++i) {
    if (lines[i].status == nullptr) continue;
    SCOPED_TRACE(lines[i].request);
    const Json& answer = a[next++];
    EXPECT_EQ(answer["ok"], *lines[i].status == '\0') << answer.dump();
    if (*lines[i].status == '\0') continue;
    EXPECT_EQ(answer["error"]["status"], lines[i].status) << answer.dump();
    EXPECT_THAT(answer["error"]["text"].get<std::string>(), HasSubstr(lines[i].text));
    EXPECT_NE(answer["error"]["code"], 0);
    EXPECT_EQ(answer["line"], i + 1);
  }
  EXPECT_EQ(a[6]["error"]["arg"], 0);
  // Text crosses as UTF-8 both ways.
  EXPECT_EQ(a[15]["id"], 42);
  EXPECT_EQ(a[15]["result"], "Café");
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

// ---- The JSON values of a session ------------------------------------------

Variant FromJson(const Json& value) {
  return VariantFromJson(value, [](const std::string&) -> platform::ObjectPtr { return nullptr; });
}

TEST(QvmgrVariantJsonTest, JsonValuesBecomeTheKindsAScriptHostPasses) {
  struct Case {
    Json json;
    Variant expected;
  };
  const Case cases[] = {
      {nullptr, Variant()},
      {true, Variant(true)},
      {42, Variant(std::int32_t{42})},
      {-2147483648LL, Variant(std::int32_t{-2147483647 - 1})},
      {2147483648LL, Variant(2147483648.0)},
      {1.5, Variant(1.5)},
      {Json{{"type", "Single"}, {"value", 1.5}}, Variant(1.5f)},
      {Json{{"type", "long"}, {"value", " 12 "}}, Variant(std::int32_t{12})},
      {Json{{"type", "String"}, {"value", true}}, Variant("True")},
      {Json{{"type", "Empty"}}, Variant()},
  };
  for (const Case& c : cases) EXPECT_EQ(FromJson(c.json), c.expected) << c.json.dump();
}

TEST(QvmgrVariantJsonTest, RefusesWhatCannotBeAnArgument) {
  const Json bad[] = {Json{{"type", "Long"}, {"value", "abc"}},
                      Json{{"type", "Long"}, {"value", 1e12}},
                      Json{{"type", "Date"}, {"value", 1}},
                      Json{{"type", "Long"}, {"value", 1}, {"extra", 2}},
                      Json{{"object", "missing"}},
                      Json{{"object", 3}},
                      Json{{"something", 1}}};
  for (const Json& j : bad) EXPECT_THROW(FromJson(j), ArgumentError) << j.dump();
}

// Objects by name cross in the sessions above; here nothing and numbers.
TEST(QvmgrVariantJsonTest, NothingAndNumbersGoBothWays) {
  EXPECT_EQ(VariantFromJson(Json{{"object", nullptr}}, nullptr), Variant(nullptr));

  const ObjectNamer namer = [](const platform::ObjectPtr&) { return std::string("c1"); };
  EXPECT_EQ(JsonFromVariant(Variant(nullptr), namer), (Json{{"object", nullptr}}));
  EXPECT_EQ(JsonFromVariant(Variant(std::int32_t{-3}), namer), -3);
  EXPECT_EQ(JsonFromVariant(Variant(0.25f), namer), 0.25);
  EXPECT_EQ(JsonFromVariant(Variant(), namer), nullptr);
}

}  // namespace
}  // namespace qv::test
