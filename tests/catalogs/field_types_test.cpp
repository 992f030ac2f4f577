// Date masks, type and allow-null texts, MI blocks, field list columns, the
// reading of the source's listing answers, and the column lists of NT tables
// with the mapping of their SQL types.
#include <gtest/gtest.h>

#include "catalogs/field_listing.h"
#include "catalogs/field_types.h"
#include "catalogs/fields_nt_text.h"
#include "platform/controls.h"

namespace qv {
namespace {

TEST(DateMasks, CodesAreCaseSensitiveAndEveryMaskComesBackToItsCode) {
  EXPECT_EQ(MaskDate("a"), "YYDDD");
  EXPECT_EQ(MaskDate("A"), "CYYMMDD");
  EXPECT_EQ(MaskDate("f"), "YYYY-MM-DD-HH.MM.SS");
  for (const char* none : {"I", " ", "", "i", "Z", "00"}) EXPECT_EQ(MaskDate(none), "") << none;
  EXPECT_EQ(NumMask(""), " ");
  EXPECT_EQ(NumMask("yyyymmdd"), "?");
  EXPECT_EQ(NumMask("YYYYMMDD "), "?");
  int codes = 0;
  for (int c = 0; c < 256; ++c) {
    const std::string code(1, static_cast<char>(c));
    const std::string mask = MaskDate(code);
    if (mask.empty()) continue;
    ++codes;
    EXPECT_EQ(NumMask(mask), code) << mask;
  }
  EXPECT_EQ(codes, 42);
}

TEST(FieldTypes, DisplayTextsShowLengthsAsNumbersAndDecimalsOfNumbers) {
  struct Case {
    const char* code;
    const char* len;
    const char* deci;
    const char* text;
  } cases[] = {
      // The names of the other codes are entries of the same table.
      {"P", "00007", "00002", "Packed 7,2"}, {"Z", "00005", "00000", "Zoned 5,0"},
      {"c ", "00010", "", "Char 10"},        {"Xn", "00010", "00002", "Decimal 10,2"},
      {"XN", "00008", "00003", "Numeric 8,3"}, {"Xi", "00005", "", "Smallint 5"},
      {"G", "00010", "00000", ""},            {"xn", "00010", "00002", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(TypeDisplayText(c.code, c.len, c.deci), c.text) << c.code;
  EXPECT_THROW(TypeDisplayText("C", "1O", ""), std::invalid_argument);
  EXPECT_EQ(FieldIcon("V"), 1);
  EXPECT_EQ(FieldIcon("F"), 2);
  EXPECT_EQ(FieldIcon("L"), 3);
}

TEST(FieldTypes, AllowNullTextsGoBothWays) {
  const char* texts[] = {"No", "Yes", "Rtrim", "Same"};
  for (int i = 0; i < 4; ++i) {
    const std::string code(1, static_cast<char>('0' + i));
    EXPECT_EQ(AllowNullText(code), texts[i]);
    EXPECT_EQ(AllowNullCode(AllowNullText(code)), code);
  }
  EXPECT_EQ(AllowNullCode("rtrim  "), "2");
  EXPECT_EQ(AllowNullCode(" YES"), "");
  EXPECT_EQ(AllowNullText("4"), "");
  EXPECT_EQ(FieldNumber(123456), "23456");
}

TEST(MiBlocks, APieceNeverStraddlesABlock) {
  std::string buffer;
  WriteFormatedBufMI(buffer, std::string(10, 'a'));
  EXPECT_EQ(buffer, std::string(10, 'a'));
  buffer.assign(170, 'x');
  WriteFormatedBufMI(buffer, "12345");
  EXPECT_EQ(buffer, std::string(170, 'x') + std::string(5, ' ') + "12345");
  buffer.assign(170, 'x');
  WriteFormatedBufMI(buffer, "1234");
  EXPECT_EQ(buffer.size(), 174u);
  buffer.clear();
  WriteFormatedBufMI(buffer, std::string(175, 'p'));
  EXPECT_EQ(buffer, std::string(175, ' ') + std::string(175, 'p'));
}

TEST(FieldList, ColumnsHideWhatASourceFileDoesNotHaveAndSortByStart) {
  platform::ListView lv;
  lv.AddColumn("old");
  lv.Add("k", "item");
  InitListField(lv, true);
  ASSERT_EQ(lv.ColumnCount(), 14);
  EXPECT_EQ(lv.Count(), 0);
  EXPECT_EQ(lv.sortKey, 4);
  EXPECT_EQ(lv.Columns()[4].text, "Start storage");
  std::vector<int> hidden;
  for (int i = 0; i < 14; ++i)
    if (lv.Columns()[i].width == 0) hidden.push_back(i);
  EXPECT_EQ(hidden, (std::vector<int>{3, 6, 11, 12, 13}));
  InitListField(lv, false);
  EXPECT_EQ(lv.Columns()[0].width, 1200);
  for (const auto& c : lv.Columns()) EXPECT_GT(c.width, 0);
}

TEST(Listings, ACountThatIsNoNumberIsRefused) {
  EXPECT_TRUE(ListingEntries("00000", 108, "SYSLSTFLD_").empty());
  for (const std::string bad : {"0 108", "001"}) EXPECT_THROW(ListingEntries(bad, 108, "SYSLSTFLD_"), ListingError) << bad;
}

TEST(Listings, AccessPathsGiveTheirKeysOrNothing) {
  EXPECT_FALSE(ReadAccessPath("00030" + std::string(25, ' ')).found);
  const AccessPath ar = ReadAccessPath("00030CUST      LIB       AR000");
  EXPECT_TRUE(ar.found);
  EXPECT_FALSE(ar.keyed);
  const AccessPath ku = ReadAccessPath("00050CUST      LIB       KU002custno    Region    ");
  EXPECT_TRUE(ku.keyed);
  EXPECT_EQ(ku.keys, (std::vector<std::string>{"CUSTNO", "REGION"}));
  EXPECT_THROW(ReadAccessPath("00050CUST      LIB       KU003custno    Region    "), ListingError);
  EXPECT_THROW(ReadAccessPath("00050CUST      LIB       KUx02"), ListingError);
  EXPECT_THROW(ReadAccessPath("00005CUST"), ListingError);
}

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
