// The JSON values of qvmgr's automation host: the kinds of argument a
// script host passes, the refusals, objects by name both ways.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/collection.h"
#include "qvmgr/variant_json.h"

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
  EXPECT_EQ(JsonFromVariant(Variant(std::int32_t{-3}), namer), -3);
  EXPECT_EQ(JsonFromVariant(Variant(0.25f), namer), 0.25);
  EXPECT_EQ(JsonFromVariant(Variant(), namer), nullptr);
}

}  // namespace
}  // namespace qv::cli
