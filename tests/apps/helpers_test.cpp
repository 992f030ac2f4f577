// The pure helpers of qvmgr: JSON values of calls, record field names,
// option values.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/collection.h"
#include "presentation/strutil.h"
#include "qvmgr/commands.h"
#include "qvmgr/fields.h"
#include "qvmgr/options.h"
#include "qvmgr/variant_json.h"
#include "store/records.h"

namespace qv::cli {
namespace {

using platform::Variant;
using platform::VarType;

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
      {"Caf\xC3\xA9", Variant(std::string("Caf\xE9"))},
      {Json{{"type", "Single"}, {"value", 1.5}}, Variant(1.5f)},
      {Json{{"type", "long"}, {"value", " 12 "}}, Variant(std::int32_t{12})},
      {Json{{"type", "String"}, {"value", true}}, Variant("True")},
      {Json{{"type", "Empty"}}, Variant()},
  };
  for (const Case& c : cases) EXPECT_EQ(FromJson(c.json), c.expected) << c.json.dump();
}

TEST(QvmgrVariantJsonTest, RefusesWhatCannotBeAnArgument) {
  const Json bad[] = {Json::array({1}),
                      Json{{"type", "Long"}, {"value", "abc"}},
                      Json{{"type", "Long"}, {"value", 1e12}},
                      Json{{"type", "Date"}, {"value", 1}},
                      Json{{"type", "Long"}, {"value", 1}, {"extra", 2}},
                      Json{{"object", "missing"}},
                      Json{{"object", 3}},
                      Json{{"something", 1}},
                      "\xF0\x9F\x98\x80"};
  for (const Json& j : bad) EXPECT_THROW(FromJson(j), ArgumentError) << j.dump();
}

TEST(QvmgrVariantJsonTest, ObjectsGoByNameBothWays) {
  auto collection = std::make_shared<platform::Collection>();
  const Variant v = VariantFromJson(Json{{"object", "c"}}, [&](const std::string& name) {
    return name == "c" ? platform::ObjectPtr(collection) : nullptr;
  });
  EXPECT_EQ(v, Variant(collection));
  EXPECT_EQ(VariantFromJson(Json{{"object", nullptr}}, nullptr), Variant(nullptr));

  const ObjectNamer namer = [](const platform::ObjectPtr&) { return std::string("c1"); };
  EXPECT_EQ(JsonFromVariant(v, namer), (Json{{"object", "c1"}, {"class", "Collection"}}));
  EXPECT_EQ(JsonFromVariant(Variant(nullptr), namer), (Json{{"object", nullptr}}));
  EXPECT_EQ(JsonFromVariant(Variant(std::string("\xE9t\xE9")), namer), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(JsonFromVariant(Variant(std::int32_t{-3}), namer), -3);
  EXPECT_EQ(JsonFromVariant(Variant(0.25f), namer), 0.25);
  EXPECT_EQ(JsonFromVariant(Variant(), namer), nullptr);
}

TEST(QvmgrFieldsTest, NamesEveryFieldButFillerAndMasksPasswords) {
  Record r(layout::QV_GX);
  r.Set("ENVID", "PR");
  r.Set("GRPID", "CLI");
  r.Set("DESCRIP", "Customers");
  r.Set("DSN_PWD", "secret");
  const std::vector<NamedField> fields = NameFields(layout::QV_GX, r.image());
  ASSERT_EQ(fields.size(), layout::QV_GX.fields.size() - 1);
  EXPECT_EQ(fields[0].name, "ENVID");
  EXPECT_EQ(fields[2].value, "Customers");
  for (const NamedField& f : fields) {
    EXPECT_NE(f.name, "FILLER");
    if (f.name == "DSN_PWD") {
      EXPECT_EQ(f.value, kMaskedPassword);
    }
    if (f.name == "DSN_UID") {
      EXPECT_EQ(f.value, "");  // blank stays blank
    }
  }
  // A short image gives blanks for the fields it lacks.
  EXPECT_EQ(NameFields(layout::QV_GX, "PRCLI").back().value, "");
}

TEST(QvmgrOptionsTest, KindsLanguagesIdentifiersAndSwitches) {
  EXPECT_EQ(CanonicalSourceType("as400"), "AS400");
  EXPECT_EQ(CanonicalSourceType("sqlserver"), "SQL Server");
  EXPECT_EQ(CanonicalSourceType("SQL Server"), "SQL Server");
  EXPECT_EQ(CanonicalSourceType(" oracle "), "Oracle");
  EXPECT_THROW(CanonicalSourceType("DB2"), UsageError);

  EXPECT_EQ(LanguageOfOption("3084"), 3084);
  EXPECT_EQ(LanguageOfOption("fr_BE.UTF-8"), 2060);
  EXPECT_EQ(LanguageOfOption("de_DE"), 1033);
  EXPECT_THROW(LanguageOfOption("1034"), UsageError);
  EXPECT_STREQ(LocaleOfLanguage(4108), "fr_CH");

  EXPECT_EQ(CheckedId(" as1 ", "--target", "QV_TARGET", 3, "status"), "as1");
  EXPECT_THROW(CheckedId("ABCD", "--target", "QV_TARGET", 3, "status"), UsageError);
  EXPECT_THROW(CheckedId("", "--target", "QV_TARGET", 3, "status"), UsageError);

  EXPECT_TRUE(OnOff("ON", "--hold"));
  EXPECT_FALSE(OnOff("no", "--hold"));
  EXPECT_THROW(OnOff("maybe", "--hold"), UsageError);
  EXPECT_EQ(JobName("PR", "AS1", "CLI"), "SPR_AS1CLI");
}

}  // namespace
}  // namespace qv::cli
