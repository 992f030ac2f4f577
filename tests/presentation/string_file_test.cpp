// Tests the reader of the string-table files that the build turns into C++.
#include "resources/string_file.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace qv::resources {
namespace {

TEST(StringFile, ReadsEntriesCommentsAndEscapes) {
  const std::string file =
      "\xEF\xBB\xBF# header comment\r\n"
      "\n"
      "2020\t\"Target &1 not found\"\r\n"
      "   # indented comment\n"
      "15 \"150\"   \n"
      "7 \"a \\\"q\\\" \\\\ b\\r\\nc\\td\"\n"
      "2027  \"trailing blank \"\n"
      "3 \"\"\n"
      "2132 \"Utilisateur &1 non autoris\xC3\xA9\"";  // no line end at the end of the file
  std::vector<ParsedEntry> entries;
  ParseError error;
  ASSERT_TRUE(ParseStringFile(file, entries, error)) << error.line << ": " << error.reason;
  std::vector<std::tuple<int, std::string, int>> read;  // id, text, line, in the order of the ids
  for (const ParsedEntry& e : entries) read.emplace_back(e.id, e.text, e.line);
  EXPECT_EQ(read, (std::vector<std::tuple<int, std::string, int>>{
                      {3, "", 8},
                      {7, "a \"q\" \\ b\r\nc\td", 6},
                      {15, "150", 5},
                      {2020, "Target &1 not found", 3},
                      {2027, "trailing blank ", 7},
                      {2132, "Utilisateur &1 non autoris\xE9", 9},  // stored as Windows-1252
                  }));
}

TEST(StringFile, RefusesBadLinesWithTheirNumber) {
  struct Case {
    std::string file;
    int line;
    const char* reasonPart;
  };
  const Case cases[] = {
      {"1 \"a\"\nx \"b\"\n", 2, "decimal id"},
      {" 1 \"a\"\n", 1, "decimal id"},
      {"1\"a\"\n", 1, "blank or tab"},
      {"1 a\n", 1, "double quotes"},
      {"1\n", 1, "blank or tab"},
      {"1 \n", 1, "double quotes"},
      {"1 \"a\n", 1, "closing quote"},
      {"1 \"a\\\"\n", 1, "closing quote"},
      {"1 \"a\" b\n", 1, "after the closing quote"},
      {"1 \"a\\q\"\n", 1, "unknown escape"},
      {"1 \"a\tb\"\n", 1, "control character"},
      {"65536 \"a\"\n", 1, "id above"},
      {"1 \"a\"\n\n2 \"b\"\n1 \"c\"\n", 4, "duplicate id 1 (first on line 1)"},
      {"1 \"\xCE\xB1\"\n", 1, "Windows-1252"},            // Greek alpha
      {"1 \"ok\"\n2 \"\xC3\"\n", 2, "malformed UTF-8"},  // cut sequence
      {"1 \"\xE9t\xE9\"\n", 1, "malformed UTF-8"},       // Latin-1 bytes, not UTF-8
  };
  for (const Case& c : cases) {
    std::vector<ParsedEntry> entries;
    ParseError error;
    EXPECT_FALSE(ParseStringFile(c.file, entries, error)) << testing::PrintToString(c.file);
    EXPECT_EQ(error.line, c.line) << testing::PrintToString(c.file);
    EXPECT_NE(error.reason.find(c.reasonPart), std::string::npos) << error.reason;
  }
}

TEST(StringFile, WritesTextsAsSafeLiterals) {
  EXPECT_EQ(CxxLiteralBody("Target &1"), "Target &1");
  EXPECT_EQ(CxxLiteralBody("a\"b\\c"), "a\\\"b\\\\c");
  EXPECT_EQ(CxxLiteralBody("\xE9" "1"), "\\3511");  // an octal escape never takes the digit after it
  EXPECT_EQ(CxxLiteralBody("\r\n\x7F"), "\\015\\012\\177");
  EXPECT_EQ(CxxLiteralBody("?" "?" "=" "?"), "?\\?=?");  // no trigraph in the output
}

}  // namespace
}  // namespace qv::resources
