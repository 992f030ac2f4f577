// Tests the shared string utilities.
#include "presentation/strutil.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

TEST(Quoting, DoublesEveryQuoteForSql) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"'a''b'", "''a''''b''"},  // at the start, at the end and side by side
      {"O'Neil", "O''Neil"},
      {"none", "none"},
      {"", ""},
      {"'", "''"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReplaceCharInString("'", "''", c.text), c.expected) << c.text;
}

TEST(Quoting, ReplacesWithAnyText) {
  EXPECT_EQ(ReplaceCharInString("/", "@", "LIB/FILE/MBR"), "LIB@FILE@MBR");
  EXPECT_EQ(ReplaceCharInString("a", "", "banana"), "bnn");
  EXPECT_EQ(ReplaceCharInString("\xE9", "e", "\xE9t\xE9"), "ete");
  // Only a one-character pattern matches.
  EXPECT_EQ(ReplaceCharInString("", "x", "abc"), "abc");
  EXPECT_EQ(ReplaceCharInString("ab", "x", "abab"), "abab");
}

TEST(Quoting, DoubleCharPutsTwoCopies) {
  EXPECT_EQ(DoubleCharInString("'", "'", "C:\\O'Dir"), "C:\\O''Dir");
  EXPECT_EQ(DoubleCharInString("'", "'", "''"), "''''");
  EXPECT_EQ(DoubleCharInString("x", "ab", "1x2"), "1abab2");
  EXPECT_EQ(DoubleCharInString("", "'", "a'b"), "a'b");
}

TEST(ExtractStringFromChar, WalksASeparatedList) {
  std::string list = "A;B;;C";
  EXPECT_EQ(ExtractStringFromChar(";", list, true), "A");
  EXPECT_EQ(ExtractStringFromChar(";", list, true), "B");
  EXPECT_EQ(ExtractStringFromChar(";", list, true), "");
  EXPECT_EQ(list, "C");
  // The last item has no separator after it: it stays in the text.
  EXPECT_EQ(ExtractStringFromChar(";", list, true), "");
  EXPECT_EQ(list, "C");
}

TEST(ExtractStringFromChar, FollowsTheConsumeFlag) {
  std::string text = "key=value=more";
  EXPECT_EQ(ExtractStringFromChar("=", text, false), "value=more");
  EXPECT_EQ(text, "key=value=more");
  EXPECT_EQ(ExtractStringFromChar("=", text, true), "key");
  EXPECT_EQ(text, "value=more");

  std::string none = "no separator";
  EXPECT_EQ(ExtractStringFromChar(";", none, true), "");
  EXPECT_EQ(none, "no separator");
  EXPECT_EQ(ExtractStringFromChar("", none, true), "");
  EXPECT_EQ(none, "no separator");

  std::string edges = ";x;";
  EXPECT_EQ(ExtractStringFromChar(";", edges, true), "");
  EXPECT_EQ(edges, "x;");
  EXPECT_EQ(ExtractStringFromChar(";", edges, true), "x");
  EXPECT_EQ(edges, "");

  std::string tabbed = "a\tb";
  EXPECT_EQ(ExtractStringFromChar("\t", tabbed, true), "a");
  EXPECT_EQ(tabbed, "b");
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
      {"DSN=", "DSN=x; UID= bob ;PWD=y", "x"},
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

TEST(MaskConnectionPasswords, HidesEveryPasswordValueAndNothingElse) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"DSN=x;UID=u;PWD=s3cret;DATABASE=d", "DSN=x;UID=u;PWD=********;DATABASE=d"},
      {"Pwd=s3cret", "Pwd=********"},
      {"password = a b c ;UID=u", "password =********;UID=u"},
      {"PWD=a;PASSWORD=b", "PWD=********;PASSWORD=********"},
      {"PWD={a;b}};c};UID=u", "PWD=********;UID=u"},       // a braced value holds ";" and "}}"
      {"  QV_CONNECT  PWD=s3cret\n  TARGETDB  X", "  QV_CONNECT  PWD=********\n  TARGETDB  X"},
      {"PWD=;UID=u", "PWD=;UID=u"},                          // nothing to hide
      {"OLDPWD=x;MYPASSWORD=y;PWDX=z", "OLDPWD=x;MYPASSWORD=y;PWDX=z"},  // other keys
      {"PWD is not set", "PWD is not set"},
      {"PWD", "PWD"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(MaskConnectionPasswords(c.text), c.expected) << c.text;
}

TEST(QVUCase, FoldsTheAccentsOfTheScriptLanguage) {
  EXPECT_EQ(QVUCase("\xE9l\xE8ve"), "ELEVE");  // élève
  EXPECT_EQ(QVUCase("abc xyz 019 _.'"), "ABC XYZ 019 _.'");
  EXPECT_EQ(QVUCase("\xE9\xEA\xE8\xEB"), "EEEE");
  EXPECT_EQ(QVUCase("\xE2\xE4"), "AA");
  EXPECT_EQ(QVUCase("\xF4\xF6\xF2"), "OOO");
  EXPECT_EQ(QVUCase("\xEC\xEE\xEF"), "III");
  EXPECT_EQ(QVUCase("\xF9\xFB\xFC"), "UUU");
}

TEST(QVUCase, LeavesEveryOtherCharacter) {
  // à, ç, á, í, ó, ú, ñ, ÿ, capitals with accents, and the high controls stay.
  const std::string unchanged = "\xE0\xE7\xE1\xED\xF3\xFA\xF1\xFF\xC9\xC8\x9C\x80" "ABC";
  EXPECT_EQ(QVUCase(unchanged), unchanged);
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string folded = QVUCase(all);
  ASSERT_EQ(folded.size(), 256u);
  int changed = 0;
  for (int b = 0; b < 256; ++b) changed += folded[b] != all[b];
  EXPECT_EQ(changed, 26 + 15);  // a-z and the fifteen accented vowels
}

TEST(ExtractNumberInString, KeepsOnlyDigits) {
  EXPECT_EQ(ExtractNumberInString("12.5 KB"), "125");
  EXPECT_EQ(ExtractNumberInString("  42"), "42");
  EXPECT_EQ(ExtractNumberInString("-3,50"), "350");
  EXPECT_EQ(ExtractNumberInString("none"), "");
  EXPECT_EQ(ExtractNumberInString("\xB2\xB3"), "");  // superscript digits are not digits
}

TEST(Text2Hexa, WritesTwoUpperCaseDigitsPerCharacter) {
  EXPECT_EQ(Text2Hexa("AB"), "4142");
  EXPECT_EQ(Text2Hexa(""), "");
  EXPECT_EQ(Text2Hexa(std::string("\0\n", 2)), "000A");
  EXPECT_EQ(Text2Hexa("\xE9"), "E9");
  EXPECT_EQ(Text2Hexa("\x80\xFF z"), "80FF207A");
}

TEST(ChangeCarSpec, EscapesRichTextSpecials) {
  EXPECT_EQ(ChangeCarSpec("a\\b{c}d"), "a\\\\b\\{c\\}d");
  EXPECT_EQ(ChangeCarSpec("\\{"), "\\\\\\{");  // the inserted backslash is not escaped again
  EXPECT_EQ(ChangeCarSpec("plain"), "plain");
  EXPECT_EQ(ChangeCarSpec(""), "");
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
    int end = -1;
    int lead = -1;
    EXPECT_EQ(GetFirstWord(c.text, end, lead), c.word) << '"' << c.text << '"';
    EXPECT_EQ(end, c.end) << '"' << c.text << '"';
    EXPECT_EQ(lead, c.lead) << '"' << c.text << '"';
  }
}

TEST(BlankHelpers, TrimOnlyBlanks) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(LTrim("  a  "), "a  ");
  EXPECT_EQ(RTrim("  a  "), "  a");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim("\ta\t"), "\ta\t");
  EXPECT_EQ(RTrim(std::string("a\0", 2)), std::string("a\0", 2));
}

TEST(BlankHelpers, TrimBlanksAndTabsOfATypedValue) {
  EXPECT_EQ(TrimBlanksAndTabs(" \t a\tb \t"), "a\tb");
  EXPECT_EQ(TrimBlanksAndTabs("\t"), "");
  EXPECT_EQ(TrimBlanksAndTabs("\na\r"), "\na\r");
}

TEST(BlankHelpers, PadAndCut) {
  EXPECT_EQ(PadRight("t1", 3), "t1 ");
  EXPECT_EQ(PadRight("ABCD", 3), "ABC");
  EXPECT_EQ(PadRight("", 2), "  ");
  EXPECT_EQ(ZeroPadLeft("42", 10), "0000000042");
  EXPECT_EQ(ZeroPadLeft("1234567", 5), "34567");
  EXPECT_EQ(ZeroPadLeft("", 3), "000");
}

TEST(CaseHelpers, UpperAndLowerCaseWindows1252Letters) {
  EXPECT_EQ(UCase("a\xE9z \xE0\xE7\xFF\x9C\x9A\x9E 1"), "A\xC9Z \xC0\xC7\x9F\x8C\x8A\x8E 1");
  EXPECT_EQ(UCase("\xDF\xB5\xF7"), "\xDF\xB5\xF7");  // ß, µ and ÷ stay
  EXPECT_EQ(LCase("A\xC9Z \xC0\xC7\x9F\x8C\x8A\x8E 1"), "a\xE9z \xE0\xE7\xFF\x9C\x9A\x9E 1");
  EXPECT_EQ(LCase("\xD7"), "\xD7");  // ×
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(UCase(LCase(UCase(all))), UCase(all));
}

}  // namespace
}  // namespace qv
