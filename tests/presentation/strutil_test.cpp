// Tests the shared string utilities.
#include "presentation/strutil.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace qv {
namespace {

TEST(Quoting, ReplacesOrDoublesOnlyAOneCharacterPattern) {
  using Fn = std::function<std::string(const std::string&, const std::string&, const std::string&)>;
  const Fn replace = ReplaceCharInString, twice = DoubleCharInString;
  struct Case {
    const Fn& fn;
    const char *ch, *with, *text, *expected;
  };
  const Case cases[] = {
      {replace, "'", "''", "'a''b'", "''a''''b''"},  // at the start, at the end and side by side
      {replace, "'", "''", "", ""},
      {replace, "/", "@", "LIB/FILE/MBR", "LIB@FILE@MBR"},
      {replace, "a", "", "banana", "bnn"},
      {replace, "\xE9", "e", "\xE9t\xE9", "ete"},
      {replace, "", "x", "abc", "abc"},
      {replace, "ab", "x", "abab", "abab"},
      {twice, "'", "'", "C:\\O'Dir", "C:\\O''Dir"},
      {twice, "'", "'", "''", "''''"},
      {twice, "x", "ab", "1x2", "1abab2"},
      {twice, "", "'", "a'b", "a'b"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.fn(c.ch, c.with, c.text), c.expected) << c.ch << " in " << c.text;
}

TEST(ExtractStringFromChar, WalksASeparatedListAsTheConsumeFlagSays) {
  struct Step {
    const char* separator;
    bool consume;
    const char* extracted;
    const char* left;
  };
  struct Case {
    const char* text;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      // The last item has no separator after it: it stays in the text.
      {"A;B;;C", {{";", true, "A", "B;;C"}, {";", true, "B", ";C"}, {";", true, "", "C"}, {";", true, "", "C"}}},
      {"key=value=more", {{"=", false, "value=more", "key=value=more"}, {"=", true, "key", "value=more"}}},
      {"no separator", {{";", true, "", "no separator"}, {"", true, "", "no separator"}}},
      {";x;", {{";", true, "", "x;"}, {";", true, "x", ""}}},
      {"a\tb", {{"\t", true, "a", "b"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    for (const Step& s : c.steps) {
      EXPECT_EQ(ExtractStringFromChar(s.separator, text, s.consume), s.extracted);
      EXPECT_EQ(text, s.left);
    }
  }
}

TEST(ExtractArg, ReadsOneValueOfAConnectString) {
  struct Case {
    const char* key;
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"UID=", "DSN=x; UID= bob ;PWD=y", "bob"},
      {"UID=", "DSN=x", ""},
      {"PWD=", "DSN=x; UID= bob ;PWD=y", "y"},
      {"PWD=", "PWD=", ""},
      {"PWD=", "PWD=  ;", ""},
      {"DSN=", "DSN=my source;", "my source"},
      {"uid=", "UID=bob", ""},                  // the key is case-sensitive
      {"UID=", "UID=a;UID=b", "a"},             // first occurrence
      {"", "DSN=x", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(extractArg(c.key, c.text), c.expected) << c.key << " in " << c.text;
}

// The helpers that map one text to another.
TEST(TextHelpers, GiveTheTextOfEachCase) {
  using Fn = std::function<std::string(const std::string&)>;
  const Fn mask = MaskConnectionPasswords, fold = QVUCase, digits = ExtractNumberInString, hexa = Text2Hexa,
           rtf = ChangeCarSpec, trim = Trim, ltrim = LTrim, rtrim = RTrim, typed = TrimBlanksAndTabs, upper = UCase,
           lower = LCase;
  struct Case {
    const Fn& fn;
    std::string text, expected;
  };
  const Case cases[] = {
      {mask, "DSN=x;UID=u;PWD=s3cret;DATABASE=d", "DSN=x;UID=u;PWD=********;DATABASE=d"},
      {mask, "Pwd=s3cret", "Pwd=********"},
      {mask, "password = a b c ;UID=u", "password =********;UID=u"},
      {mask, "PWD=a;PASSWORD=b", "PWD=********;PASSWORD=********"},
      {mask, "PWD={a;b}};c};UID=u", "PWD=********;UID=u"},  // a braced value holds ";" and "}}"
      {mask, "  QV_CONNECT  PWD=s3cret\n  TARGETDB  X", "  QV_CONNECT  PWD=********\n  TARGETDB  X"},
      {mask, "PWD=;UID=u", "PWD=;UID=u"},                                  // nothing to hide
      {mask, "OLDPWD=x;MYPASSWORD=y;PWDX=z", "OLDPWD=x;MYPASSWORD=y;PWDX=z"},  // other keys
      {mask, "PWD is not set", "PWD is not set"},
      {mask, "", ""},
      // The accents of the script language fold; à, ç, á, í, ó, ú, ñ, ÿ,
      // capitals with accents and the high controls stay.
      {fold, "abc xyz 019 _.'", "ABC XYZ 019 _.'"},
      {fold, "\xE9\xEA\xE8\xEB\xE2\xE4\xF4\xF6\xF2\xEC\xEE\xEF\xF9\xFB\xFC", "EEEEAAOOOIIIUUU"},
      {fold, "\xE0\xE7\xE1\xED\xF3\xFA\xF1\xFF\xC9\xC8\x9C\x80" "ABC", "\xE0\xE7\xE1\xED\xF3\xFA\xF1\xFF\xC9\xC8\x9C\x80" "ABC"},
      {digits, "12.5 KB", "125"},
      {digits, "-3,50", "350"},
      {digits, "\xB2\xB3", ""},  // superscript digits are not digits
      {hexa, "AB", "4142"},
      {hexa, std::string("\0\n", 2), "000A"},
      {hexa, "\x80\xFF z", "80FF207A"},
      {rtf, "a\\b{c}d", "a\\\\b\\{c\\}d"},
      {rtf, "\\{", "\\\\\\{"},  // the inserted backslash is not escaped again
      {trim, "  a b  ", "a b"},
      {ltrim, "  a  ", "a  "},
      {rtrim, "  a  ", "  a"},
      {trim, "   ", ""},
      {trim, "\ta\t", "\ta\t"},  // only blanks are trimmed
      {rtrim, std::string("a\0", 2), std::string("a\0", 2)},
      {typed, " \t a\tb \t", "a\tb"},
      {typed, "\t", ""},
      {typed, "\na\r", "\na\r"},
      {upper, "a\xE9z \xE0\xE7\xFF\x9C\x9A\x9E 1", "A\xC9Z \xC0\xC7\x9F\x8C\x8A\x8E 1"},
      {upper, "\xDF\xB5\xF7", "\xDF\xB5\xF7"},  // ß, µ and ÷ stay
      {lower, "A\xC9Z \xC0\xC7\x9F\x8C\x8A\x8E 1", "a\xE9z \xE0\xE7\xFF\x9C\x9A\x9E 1"},
      {lower, "\xD7", "\xD7"},  // ×
  };
  for (const Case& c : cases) EXPECT_EQ(c.fn(c.text), c.expected) << testing::PrintToString(c.text);
}

TEST(TextHelpers, FoldAndCaseChangeNoOtherByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string folded = QVUCase(all);
  ASSERT_EQ(folded.size(), 256u);
  int changed = 0;
  for (int b = 0; b < 256; ++b) changed += folded[b] != all[b];
  EXPECT_EQ(changed, 26 + 15);  // a-z and the fifteen accented vowels
  EXPECT_EQ(UCase(LCase(UCase(all))), UCase(all));
}

TEST(GetFirstWord, SplitsTheFirstWordOfAScriptLine) {
  struct Case {
    const char* text;
    const char* word;
    int end;
    int lead;
  };
  const Case cases[] = {
      {"  CALL PGM", "CALL", 7, 2},
      {"END", "", 0, 0},
      {"  END", "", 0, 2},
      {"", "", 0, 0},
      {"   ", "", 0, 3},
      {"REM comment", "REM", 4, 0},
      {"/* note", "/*", 3, 0},
      {"A  B", "A", 2, 0},
      {"CALLX CALL", "CALLX", 6, 0},
      {"\tTAB word", "\tTAB", 5, 0},  // only blanks count as blanks
  };
  for (const Case& c : cases) {
    SCOPED_TRACE('"' + std::string(c.text) + '"');
    int end = -1;
    int lead = -1;
    EXPECT_EQ(GetFirstWord(c.text, end, lead), c.word);
    EXPECT_EQ(end, c.end);
    EXPECT_EQ(lead, c.lead);
  }
}

}  // namespace
}  // namespace qv
