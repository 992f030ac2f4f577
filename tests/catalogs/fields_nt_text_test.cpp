// Column lists of NT tables: reading the lines and mapping their SQL types.
#include <gtest/gtest.h>

#include "catalogs/fields_nt_text.h"

namespace qv {
namespace {

TEST(NtColumnLines, ReadsNamesTypesAndPositionsWhateverTheScaleSeparator) {
  const std::string text = "CODE\tCHAR 10\t1\t0\t\nAMOUNT\tDECIMAL 10,2\t2\t1\tTotal\nRATE\tnumeric 10.2\t3\nQTY\tint() 10\t4\n";
  NtColumnLines list = ReadNtColumnList(text + std::string(1, '\0') + "GARBAGE\tX\t9\n");
  EXPECT_EQ(list.error, "");
  ASSERT_EQ(list.columns.size(), 4u);
  const NtColumn &amount = list.columns[1], &rate = list.columns[2];
  EXPECT_EQ(std::vector<std::string>({amount.typeName, amount.length, amount.scale, amount.position, amount.description}),
            std::vector<std::string>({"DECIMAL", "00010", "00002", "00002", "Total"}));
  EXPECT_EQ(std::vector<std::string>({rate.typeName, rate.length, rate.scale, rate.allowNull}),
            std::vector<std::string>({"NUMERIC", "00010", "00002", ""}));
  EXPECT_EQ(list.columns[3].typeName, "INT");
}

TEST(NtColumnLines, EndsAtABlankLineAndKeepsLongNamesTo30Characters) {
  const std::string longName(40, 'N');
  NtColumnLines list = ReadNtColumnList(longName + "\tVARCHAR 5\t1\r\n   \nLATE\tCHAR 1\t2\n");
  EXPECT_EQ(list.error, "");
  ASSERT_EQ(list.columns.size(), 1u);
  EXPECT_EQ(list.columns[0].name, std::string(30, 'N'));
  EXPECT_TRUE(ReadNtColumnList("").columns.empty());
  EXPECT_TRUE(ReadNtColumnList(std::string(20, ' ')).columns.empty());
}

TEST(NtColumnLines, StopsAtALineItCannotReadAndSaysWhich) {
  struct Case {
    std::string bad;
    const char* says;
  };
  for (const Case& c : {Case{"NOTABS HERE", "column line 2 \"NOTABS HERE\" has no TAB between its fields"},
                        Case{"\tCHAR 1\t2", "column line 2 \" CHAR 1 2\" has no column name"},
                        Case{"NOPOS\tCHAR 1", "column line 2 \"NOPOS CHAR 1\" has no position"},
                        Case{"NOPOS\tCHAR 1\t", "has no position"},
                        Case{"NOTYPE\t\t3", "has no type"}}) {
    NtColumnLines list = ReadNtColumnList("CODE\tCHAR 10\t1\n" + c.bad + "\nAFTER\tCHAR 1\t3\n");
    ASSERT_EQ(list.columns.size(), 1u) << c.bad;
    EXPECT_EQ(list.columns[0].name, "CODE");
    EXPECT_NE(list.error.find(c.says), std::string::npos) << list.error;
  }
}

NtField Describe(const std::string& typeText, bool sqlServer = true, NtLongTextLength longText = 0) {
  NtColumn c;
  c.name = "F";
  ReadNtTypeText(typeText, c);
  return DescribeNtColumn(c, sqlServer, longText);
}

// Rows of each way a type text is read; the codes of the other names are
// entries of the same type table.
TEST(NtTypes, MapEachSqlTypeToItsCodeClassMaskAndLengths) {
  // Type text: code, plain class, mask, length, decimals, type text shown.
  const std::vector<std::vector<std::string>> cases{
      {"VARCHAR 30", "V", "C", " ", "00030", "00000", "VARCHAR 30"},
      {"varchar2() 12", "V", "C", " ", "00012", "00000", "varchar2() 12"},
      {"DECIMAL 10,2", "Xn", "N", " ", "00010", "00002", "DECIMAL 10,2"},
      {"NUMERIC 9.3", "XN", "N", " ", "00009", "00003", "NUMERIC 9.3"},
      {"DOUBLE 15", "XF", "N", " ", "00015", "00000", "DOUBLE"},
      {"LONG", "XI", "N", " ", "00010", "00000", "LONG"},
      {"DATETIME 23", "XD", "C", "f", "00023", "00000", "DATETIME 23"},
      {"TIMESTAMP 8", "S", "C", " ", "00008", "00000", "TIMESTAMP 8"},
      {"SMALLDATETIME 16", "Xd", "C", "d", "00016", "00000", "SMALLDATETIME 16"},
      {"SMALLMONEY 10", "Xm", "N", " ", "00010", "00000", "SMALLMONEY 10"},
  };
  for (const auto& c : cases) {
    NtField f = Describe(c[0]);
    EXPECT_EQ(std::vector<std::string>({c[0], f.code, f.plainClass, f.mask, f.length, f.decimals, f.shownType}), c);
    EXPECT_EQ(f.error + f.description, "") << c[0];
    EXPECT_EQ(f.lenIn + f.lenExt, c[0] == "LONG" ? "0001100011" : f.length + f.length) << c[0];
  }
}

TEST(NtTypes, LongTextsTakeTheirLengthFromQvMxOnSqlServerOnly) {
  NtField sized = Describe("text 2147483647", true, 500);
  EXPECT_EQ(sized.Type(false), "V");
  EXPECT_EQ(sized.Type(true), "V");
  EXPECT_EQ(sized.length, "00500");
  EXPECT_EQ(sized.lenExt, "00500");
  EXPECT_EQ(sized.shownType, "LongVarchar (00500)");
  EXPECT_EQ(Describe("LONGVARCHAR 1073741823", true, 0).length, "00000");

  NtField failed = Describe("TEXT 2147483647", true, std::nullopt);
  EXPECT_EQ(failed.code, "V");
  EXPECT_EQ(failed.length, "00000");
  EXPECT_EQ(failed.description, "TEXT ERROR IN QV_MX TABLE");

  NtField elsewhere = Describe("TEXT 2147483647", false, 500);
  EXPECT_EQ(elsewhere.code, "C");
  EXPECT_EQ(elsewhere.description, "TEXT NOT SUPPORTED");
}

TEST(NtTypes, OtherTypesAreCharactersMarkedNotSupported) {
  NtField f = Describe("uniqueidentifier 36");
  EXPECT_EQ(std::vector<std::string>({f.Type(false), f.Type(true), f.length, f.description, f.error}),
            std::vector<std::string>({"C", "C", "00036", "UNIQUEIDENTIFIER NOT SUPPORTED", ""}));
}

TEST(NtTypes, ATypeThatNeedsALengthWithoutOneIsAnError) {
  for (const char* text : {"INT", "VARCHAR", "DECIMAL ,2", "DATETIME x"})
    EXPECT_EQ(Describe(text).error, std::string("column F: the type text \"") + text + "\" gives no length") << text;
}

TEST(NtLengths, TheQvMxQueryQuotesItsValues) {
  EXPECT_EQ(TextMaxLenDefineSql("SALES", "O'BRIEN", "NOTE"),
            "SELECT MAXLEN FROM QV_USRDATA..QV_MX WHERE SRCDB='SALES' AND SRCTBL='O''BRIEN' AND FIELDINPUT='NOTE'");
}

TEST(NtLengths, RowsGiveTheirNumberOrNothingWhenTooLarge) {
  EXPECT_EQ(NtLengthOfRow("500       "), 500);
  EXPECT_EQ(NtLengthOfRow("          "), 0);
  EXPECT_EQ(NtLengthOfRow(std::string("42") + '\0' + "99"), 42);
  EXPECT_EQ(NtLengthOfRow("2147483647"), 2147483647);
  EXPECT_EQ(NtLengthOfRow("2147483648"), std::nullopt);
  EXPECT_EQ(NtLengthOfRow("99999999999"), std::nullopt);
}

}  // namespace
}  // namespace qv
