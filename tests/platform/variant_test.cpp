#include "platform/variant.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "platform/collection.h"

namespace qv::platform {
namespace {

struct Coercion {
  Variant from;
  VarType to;
  Variant expected;
};

void PrintTo(const Coercion& c, std::ostream* out) {
  *out << c.from << " to " << TypeName(c.to);
}

class CoercionTest : public testing::TestWithParam<Coercion> {};

TEST_P(CoercionTest, ConvertsLikeAScriptHost) {
  const Coercion& c = GetParam();
  EXPECT_EQ(c.from.ChangeType(c.to), c.expected) << c.from << " to " << TypeName(c.to);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CoercionTest,
    testing::Values(
        // Empty reads as zero, False and "".
        Coercion{Variant(), VarType::Long, Variant(0)},
        Coercion{Variant(), VarType::Boolean, Variant(false)},
        Coercion{Variant(), VarType::String, Variant("")},
        // Booleans are -1 and 0 as numbers, True/False as text.
        Coercion{Variant(true), VarType::Long, Variant(-1)},
        Coercion{Variant(false), VarType::Long, Variant(0)},
        Coercion{Variant(true), VarType::Double, Variant(-1.0)},
        Coercion{Variant(true), VarType::String, Variant("True")},
        Coercion{Variant(false), VarType::String, Variant("False")},
        // Numbers and text.
        Coercion{Variant(12), VarType::String, Variant("12")},
        Coercion{Variant(-7), VarType::String, Variant("-7")},
        Coercion{Variant("12"), VarType::Long, Variant(12)},
        Coercion{Variant("  42 "), VarType::Long, Variant(42)},
        Coercion{Variant("+5"), VarType::Long, Variant(5)},
        Coercion{Variant("-2147483648"), VarType::Long, Variant(-2147483647 - 1)},
        Coercion{Variant("1.5e2"), VarType::Double, Variant(150.0)},
        Coercion{Variant(".5"), VarType::Double, Variant(0.5)},
        Coercion{Variant(0.1), VarType::String, Variant("0.1")},
        Coercion{Variant(1.5), VarType::String, Variant("1.5")},
        Coercion{Variant(1e20), VarType::String, Variant("1E+20")},
        Coercion{Variant(0.00001), VarType::String, Variant("1E-05")},
        Coercion{Variant(100000000000000.0), VarType::String, Variant("100000000000000")},
        Coercion{Variant(1.1f), VarType::String, Variant("1.1")},
        // Double to Long rounds half to even.
        Coercion{Variant(2.5), VarType::Long, Variant(2)},
        Coercion{Variant(3.5), VarType::Long, Variant(4)},
        Coercion{Variant(-2.5), VarType::Long, Variant(-2)},
        Coercion{Variant("12.5"), VarType::Long, Variant(12)},
        // Text to Boolean: words in any case, or numbers.
        Coercion{Variant("true"), VarType::Boolean, Variant(true)},
        Coercion{Variant(" FALSE "), VarType::Boolean, Variant(false)},
        Coercion{Variant("0"), VarType::Boolean, Variant(false)},
        Coercion{Variant(3), VarType::Boolean, Variant(true)},
        Coercion{Variant(0.0), VarType::Boolean, Variant(false)},
        Coercion{Variant(7), VarType::Single, Variant(7.0f)},
        Coercion{Variant(nullptr), VarType::Object, Variant(nullptr)},
        Coercion{Variant(), VarType::Object, Variant(nullptr)}));

struct Failure {
  Variant from;
  VarType to;
  bool overflow;
  std::string message;  // part of the error text
};

void PrintTo(const Failure& f, std::ostream* out) {
  *out << f.from << " to " << TypeName(f.to);
}

class FailureTest : public testing::TestWithParam<Failure> {};

TEST_P(FailureTest, FailsWithAClearText) {
  const Failure& f = GetParam();
  try {
    Variant v = f.from.ChangeType(f.to);
    FAIL() << f.from << " converted to " << v;
  } catch (const VariantError& e) {
    EXPECT_EQ(e.overflow(), f.overflow);
    EXPECT_NE(std::string(e.what()).find(f.message), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FailureTest,
    testing::Values(
        Failure{Variant("abc"), VarType::Long, false,
                "Type mismatch: cannot convert String \"abc\" to Long"},
        Failure{Variant(""), VarType::Long, false, "Type mismatch"},
        Failure{Variant("12abc"), VarType::Long, false, "Type mismatch"},
        Failure{Variant("0x10"), VarType::Long, false, "Type mismatch"},
        Failure{Variant("inf"), VarType::Double, false, "Type mismatch"},
        Failure{Variant("+-5"), VarType::Long, false, "Type mismatch"},
        Failure{Variant("yes"), VarType::Boolean, false, "to Boolean"},
        Failure{Variant("2147483648"), VarType::Long, true, "Overflow"},
        Failure{Variant(-3e9), VarType::Long, true, "Overflow"},
        Failure{Variant(1e300), VarType::Single, true, "Overflow"},
        Failure{Variant("1e999"), VarType::Double, true, "Overflow"},
        Failure{Variant(12), VarType::Object, false, "cannot convert Long to Object"}));

TEST(VariantTest, ObjectsConvertToNothingElse) {
  Variant object(std::make_shared<Collection>());
  for (VarType to : {VarType::Boolean, VarType::Long, VarType::Single, VarType::Double, VarType::String}) {
    const std::string message = "Type mismatch: cannot convert Object to " + std::string(TypeName(to));
    EXPECT_THAT([&] { object.ChangeType(to); }, testing::ThrowsMessage<VariantError>(testing::StrEq(message)));
  }
}

TEST(VariantTest, EqualityNeedsTheSameKind) {
  EXPECT_EQ(Variant(12), Variant(12));
  EXPECT_FALSE(Variant(12) == Variant("12"));
  EXPECT_FALSE(Variant(12) == Variant(12.0));
  EXPECT_FALSE(Variant() == Variant(""));
  EXPECT_FALSE(Variant() == Variant(nullptr));
  auto a = std::make_shared<Collection>();
  EXPECT_EQ(Variant(a), Variant(a));
  EXPECT_FALSE(Variant(a) == Variant(std::make_shared<Collection>()));
}

TEST(VariantTest, TellsNumericValues) {
  EXPECT_TRUE(Variant(" 3.5 ").IsNumeric());
  EXPECT_TRUE(Variant(true).IsNumeric());
  EXPECT_FALSE(Variant("3,5").IsNumeric());
  EXPECT_FALSE(Variant(nullptr).IsNumeric());
}

}  // namespace
}  // namespace qv::platform
