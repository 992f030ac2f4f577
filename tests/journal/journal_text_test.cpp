// The pieces of journal statements that come from the caller's input: names,
// directories, date masks, answers to the length question, registry rows.
#include <gtest/gtest.h>

#include "journal/journal_text.h"

namespace qv {
namespace {

TEST(JournalText, TakesOnlyNamesThatCannotBreakAStatement) {
  for (const char* name : {"SALES", "dbo.ORDERS", "T_1$#@", "Caf\xe9"}) EXPECT_EQ(JournalNameProblem(name), "") << name;
  for (const char* name : {"", "  ", "O'HARA", "A B", "A;B", "A\"B", "[A]", "A-B", "A\nB"})
    EXPECT_NE(JournalNameProblem(name), "") << name;
}

TEST(JournalText, EndsADirectoryWithOneBackslash) {
  EXPECT_EQ(JournalDirectory("  D:\\J  "), "D:\\J\\");
  EXPECT_EQ(JournalDirectory("D:\\J\\"), "D:\\J\\");
  EXPECT_EQ(JournalDirectory("   "), "");
  EXPECT_EQ(OracleJournalPath("D:\\O'J\\", "SCOTT"), "D:\\O''J\\SCOTT");
}

TEST(JournalText, WritesTheMinutesOfADateTimeMaskAsMI) {
  struct Case {
    const char* mask;
    const char* written;
  };
  for (const Case& c : {Case{"YYYYMMDDHHMMSS", "YYYYMMDDHHMISS"}, Case{"YYYY-MM-DD-HH.MM.SS", "YYYY-MM-DD-HH.MI.SS"},
                        Case{"DDMMYYYY", "DDMMYYYY"}, Case{"HH", "HH"}, Case{"HHM", "HHMI"}})
    EXPECT_EQ(OracleMinuteMask(c.mask), c.written) << c.mask;
}

TEST(JournalText, ReadsALengthAnswerFrom1To30000) {
  struct Case {
    const char* answer;
    int32_t length;
  };
  for (const Case& c : {Case{"1", 1}, Case{" 30000 ", 30000}, Case{"0500", 500}, Case{"0", 0}, Case{"30001", 0},
                        Case{"-5", 0}, Case{"12a", 0}, Case{"", 0}, Case{"99999999999", 0}})
    EXPECT_EQ(CaptureLengthOfAnswer(c.answer), c.length) << c.answer;
}

TEST(JournalText, ReadsTheVersionAndTheProductDirectoryFromTheirRows) {
  EXPECT_EQ(SqlServerVersionOfRow("8.00.2039   "), "8");
  EXPECT_EQ(SqlServerVersionOfRow(""), "0");
  EXPECT_EQ(SqlServerVersionOfRow(std::string("\0x", 2)), "0");
  EXPECT_EQ(SqlProductDirectoryOfRow(std::string(255, 'v') + "  C:\\QV  "), "C:\\QV\\");
  EXPECT_EQ(SqlProductDirectoryOfRow(std::string(255, 'v') + "C:\\QV\\"), "C:\\QV\\");
}

}  // namespace
}  // namespace qv
