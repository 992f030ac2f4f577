#include "platform/dispatch.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/collection.h"

namespace qv::platform {
namespace {

// A class shaped like the product's automation classes: DISPIDs fixed by the
// class, properties with get and put, methods with by-reference outputs.
class Manager : public DispatchObject<Manager> {
 public:
  static constexpr DISPID kEnvironmentID = 0x6803000D;
  static constexpr DISPID kReadMSG = 0x60030023;

  static const DispatchTable& Table() {
    static const DispatchTable table = MakeDispatchTable<Manager>(
        "QVmanager",
        {
            {"EnvironmentID", kEnvironmentID, InvokeKind::PropertyGet, 0,
             [](Manager& m, ArgList&) { return m.env; }},
            {"EnvironmentID", kEnvironmentID, InvokeKind::PropertyPut, 1,
             [](Manager& m, ArgList& a) {
               m.env = (a.String(0) + "__").substr(0, 2);
               return Variant();
             }},
            {"ReadMSG", kReadMSG, InvokeKind::Method, 3,
             [](Manager& m, ArgList& a) {
               m.first = a.Bool(0);
               m.build = a.Bool(1);
               m.list = a.ObjectAs<Collection>(2);
               return Variant(true);
             }},
            {"ErrorText", 0x6003001A, InvokeKind::Method, 0,
             [](Manager&, ArgList&) { return Variant("no error"); }},
            {"Fail", 1, InvokeKind::Method, 0,
             [](Manager&, ArgList&) -> Variant { throw std::runtime_error("disk full"); }},
            {"Sum", 2, InvokeKind::Method, kAnyArity,
             [](Manager&, ArgList& a) {
               a.Require(1, 3);
               std::int32_t s = 0;
               for (std::size_t i = 0; i < a.size(); ++i) s += a.Long(i);
               return Variant(s);
             }},
        });
    return table;
  }

  std::string env;
  bool first = false;
  bool build = false;
  std::shared_ptr<Collection> list;
};

// (The product's classes show calls by DISPID, results by reference and
// object properties; this class what the tables do with any member.)
TEST(DispatchTest, ReachesMembersByNameInAnyCaseAndConvertsTheirArguments) {
  Manager m;
  EXPECT_EQ(m.GetIDsOfNames("environmentid"), Manager::kEnvironmentID);
  EXPECT_EQ(m.GetIDsOfNames("Nope"), kDispidUnknown);
  ASSERT_TRUE(PutProperty(m, "environmentID", Variant(7)).ok());  // a Long is accepted as text
  DispResult r = GetProperty(m, "EnvironmentID");
  ASSERT_TRUE(r.ok()) << r.text;
  EXPECT_EQ(r.value, Variant("7_"));
  // A method and a property get reach each other.
  EXPECT_EQ(GetProperty(m, "ErrorText").value, Variant("no error"));
  EXPECT_EQ(CallMethod(m, "EnvironmentID").status, DispStatus::Ok);

  auto list = std::make_shared<Collection>();
  std::vector<Variant> args{Variant("True"), Variant(0), Variant(list)};
  ASSERT_TRUE(CallMethod(m, "ReadMSG", args).ok());
  EXPECT_TRUE(m.first);
  EXPECT_FALSE(m.build);
  EXPECT_EQ(m.list, list);
  // A variadic member counts its arguments; True is -1.
  std::vector<Variant> terms{Variant(1), Variant("2"), Variant(true)};
  EXPECT_EQ(CallMethod(m, "Sum", terms).value, Variant(2));
}

TEST(DispatchTest, BadCallsComeBackAsAResult) {
  const struct {
    std::string member;
    InvokeKind kind;
    std::vector<Variant> args;
    DispStatus status;
    int argIndex;
    std::string message;
  } cases[] = {
      {"Nope", InvokeKind::Method, {}, DispStatus::UnknownName, -1, "QVmanager.Nope"},
      {"ReadMSG", InvokeKind::Method, {Variant(true)}, DispStatus::BadArgCount, -1, "QVmanager.ReadMSG takes 3, got 1"},
      {"EnvironmentID", InvokeKind::PropertyPut, {}, DispStatus::BadArgCount, -1, "Wrong number of arguments"},
      {"ReadMSG", InvokeKind::Method, {Variant(true), Variant("maybe"), Variant(nullptr)}, DispStatus::TypeMismatch, 1,
       "argument 2 of QVmanager.ReadMSG"},
      {"ReadMSG", InvokeKind::Method, {Variant(true), Variant(true), Variant(5)}, DispStatus::TypeMismatch, 2,
       "cannot convert Long to Object"},
      {"ReadMSG", InvokeKind::Method, {Variant(true), Variant(true), Variant(nullptr)}, DispStatus::TypeMismatch, 2,
       "expected an object"},
      {"Sum", InvokeKind::Method, {Variant(1), Variant("99999999999")}, DispStatus::Overflow, 1, "Overflow"},
      {"Sum", InvokeKind::Method, {}, DispStatus::BadArgCount, -1, "takes 1 to 3, got 0"},
      {"Fail", InvokeKind::Method, {}, DispStatus::Exception, -1, "QVmanager.Fail: disk full"},
      {"ErrorText", InvokeKind::PropertyPut, {Variant("x")}, DispStatus::MemberNotFound, -1,
       "doesn't support this action: put QVmanager.ErrorText"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(InvokeKindName(c.kind)) + " " + c.member);
    Manager m;
    std::vector<Variant> args = c.args;
    const DispResult r = InvokeByName(m, c.member, c.kind, args);
    EXPECT_EQ(r.status, c.status) << r.text;
    EXPECT_EQ(r.argIndex, c.argIndex) << r.text;
    EXPECT_NE(r.text.find(c.message), std::string::npos) << r.text;
    EXPECT_TRUE(r.value.IsEmpty());
    EXPECT_NE(StatusCode(r.status), 0);
  }
  const DispResult unknown = Manager().Invoke(12345, InvokeKind::Method, {});
  EXPECT_EQ(unknown.status, DispStatus::MemberNotFound);
  EXPECT_NE(unknown.text.find("12345"), std::string::npos);
}

TEST(DispatchTest, RejectsTablesThatContradictThemselves) {
  auto noop = [](Manager&, ArgList&) { return Variant(); };
  EXPECT_THROW(MakeDispatchTable<Manager>("X", {{"A", 1, InvokeKind::Method, 0, noop},
                                               {"A", 1, InvokeKind::Method, 0, noop}}),
               std::invalid_argument);
  EXPECT_THROW(MakeDispatchTable<Manager>("X", {{"A", 1, InvokeKind::PropertyGet, 0, noop},
                                               {"B", 1, InvokeKind::PropertyPut, 1, noop}}),
               std::invalid_argument);
  EXPECT_THROW(MakeDispatchTable<Manager>("X", {{"A", 1, InvokeKind::Method, 0, noop},
                                               {"a", 2, InvokeKind::Method, 0, noop}}),
               std::invalid_argument);
}

TEST(CollectionTest, AddsAndReachesItemsByPositionAndKey) {
  auto c = std::make_shared<Collection>();
  const auto call = [&](const char* member, std::vector<Variant> args) { return CallMethod(*c, member, args); };
  ASSERT_TRUE(call("Add", {Variant("first")}).ok());
  ASSERT_TRUE(call("Add", {Variant(42), Variant("Answer")}).ok());
  EXPECT_EQ(GetProperty(*c, "Count").value, Variant(2));

  std::vector<Variant> byIndex{Variant(1)};
  EXPECT_EQ(c->Invoke(kDispidValue, InvokeKind::PropertyGet, byIndex).value, Variant("first"));
  EXPECT_EQ(call("Item", {Variant("answer")}).value, Variant(42));

  EXPECT_EQ(call("Add", {Variant(1), Variant("ANSWER")}).status, DispStatus::Exception);
  EXPECT_EQ(c->Count(), 2u);
  EXPECT_EQ(call("Item", {Variant(3)}).status, DispStatus::Exception);

  ASSERT_TRUE(call("Remove", {Variant("Answer")}).ok());
  EXPECT_EQ(c->Count(), 1u);
  EXPECT_EQ(c->Item(std::string_view("Answer")), nullptr);
}

}  // namespace
}  // namespace qv::platform
