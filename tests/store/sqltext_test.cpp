#include "store/sqltext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace qv {
namespace {

using namespace layout;

struct FieldCase {
  const char* value;
  std::size_t width;
  const char* expected;
};

TEST(SqlField, CutsBeforeQuotingSoADoubledQuoteIsNeverSplit) {
  const FieldCase cases[] = {
      {"abc", 5, "abc"},        // shorter: not padded
      {"abcdef", 3, "abc"},     // cut
      {"a'b", 3, "a''b"},       // quote inside
      {"ab'", 3, "ab''"},       // quote in the last place: both halves kept
      {"abc'", 3, "abc"},       // quote beyond the width: dropped whole
      {"'''", 2, "''''"},
      {"", 4, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const std::string quoted = SqlField(c.value, c.width);
    EXPECT_EQ(quoted, c.expected);
    // The literal stays balanced: an even count of quotes.
    EXPECT_EQ(std::count(quoted.begin(), quoted.end(), '\'') % 2, 0);
  }
}

TEST(SqlKey, PadsCutsAndQuotesEveryValue) {
  EXPECT_EQ(SqlKey(QV_CX, {"01", "T1"}).Where(), "ENVID='01' AND TGTID='T1 '");
  EXPECT_EQ(SqlKey(QV_CX, {"01", "TOOLONG"}).Where(), "ENVID='01' AND TGTID='TOO'");
  // Identifiers and codes are quoted too, not only descriptions.
  EXPECT_EQ(SqlKey(QV_CX, {"'", "a'b"}).Where(), "ENVID=''' ' AND TGTID='a''b'");
  EXPECT_EQ(SqlKey(QV_CX, {"0'", "T'''"}).Where(), "ENVID='0''' AND TGTID='T'''''");
}

}  // namespace
}  // namespace qv
