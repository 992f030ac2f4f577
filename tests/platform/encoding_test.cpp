// Tests the Windows-1252 / UTF-8 conversions of the hosts' edge.
#include "platform/encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

TEST(Encoding, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_EQ(Utf8ToCp1252(utf8), all);
  std::string exact;
  std::size_t bad = 0;
  EXPECT_TRUE(Utf8ToCp1252Exact(utf8, exact, bad));
  EXPECT_EQ(exact, all);
  EXPECT_EQ(bad, std::string::npos);
}

TEST(Encoding, ConvertsTheCharactersOfTheHighTable) {
  struct Case {
    const char* cp1252;
    const char* utf8;
  };
  const Case cases[] = {
      {"\xE9l\xE8ve", "\xC3\xA9l\xC3\xA8ve"},           // élève
      {"\x80", "\xE2\x82\xAC"},                          // euro sign
      {"\x96", "\xE2\x80\x93"},                          // en dash (the label separator, 150)
      {"\x81", "\xC2\x81"},                              // undefined byte kept as a C1 control
      {"\xFF", "\xC3\xBF"},                              // y with diaeresis
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cp1252ToUtf8(c.cp1252), c.utf8) << c.utf8;
    EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252) << c.utf8;
  }
}

TEST(Encoding, ReplacesCharactersWithoutAWindows1252FormAndMalformedSequences) {
  struct Case {
    std::string utf8;
    std::string expected;
  };
  const Case cases[] = {
      {"\xE2\x82\xAC\xE2\x84\xA2", "\x80\x99"},  // € ™ exist
      {"a\xCE\xB1z", "a?z"},                     // Greek alpha
      {"\xE4\xB8\xAD", "?"},                     // CJK
      {"\xF0\x9F\x98\x80!", "?!"},               // emoji (4 bytes)
      {"\xC2\x80", "?"},                         // U+0080 has no byte
      {"a\x80z", "a?z"},                        // stray continuation byte
      {"a\xC3", "a?"},                          // cut short by the end
      {"\xF0\x9F\x98", "?"},                    // four-byte sequence cut short
      {"\xC3(", "?("},                          // next byte does not continue it
      {"\xC0\xAF", "??"},                       // overlong "/"
      {"\xED\xA0\x80", "???"},                  // surrogate
      {"\xF4\x90\x80\x80", "????"},             // above U+10FFFF
      {"\xF5\x80", "??"},                       // byte that never starts a sequence
      {"\xE2\x82(\xC3\xA9", "?(\xE9"},          // resumes at the first foreign byte
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToCp1252(c.utf8), c.expected) << testing::PrintToString(c.utf8);
}

TEST(Encoding, ExactConversionReportsWhereItStopped) {
  std::string out;
  std::size_t bad = 0;
  EXPECT_FALSE(Utf8ToCp1252Exact("ab\xCE\xB1", out, bad));
  EXPECT_EQ(bad, 2u);
  EXPECT_EQ(out, "ab");
  EXPECT_FALSE(Utf8ToCp1252Exact("\xC3\xA9\xC3", out, bad));
  EXPECT_EQ(bad, 2u);
  EXPECT_EQ(out, "\xE9");
  EXPECT_FALSE(Utf8ToCp1252Exact("?x\xFF", out, bad));  // a literal "?" is no fault
  EXPECT_EQ(bad, 2u);
}

}  // namespace
}  // namespace qv
