// Column lists of NT tables: reading the lines and mapping their SQL types.
#include <gtest/gtest.h>

#include "catalogs/fields_nt_text.h"

namespace qv {
namespace {

TEST(NtColumnLines, ReadsNamesTypesAndPositionsWhateverTheScaleSeparator) {
  const std::string text =
      "CODE\tCHAR 10\t1\t0\t\n"
      "AMOUNT\tDECIMAL 10,2\t2\t1\tOrder total\n"
      "RATE\tnumeric 10.2\t3\n"
      "QTY\tint() 10\t4\t1\t\n";
  NtColumnLines list = ReadNtColumnList(text + std::string(1, '\0') + "GARBAGE\tX\t9\n");
  EXPECT_EQ(list.error, "");
  ASSERT_EQ(list.columns.size(), 4u);
  EXPECT_EQ(list.columns[0].name, "CODE");
  EXPECT_EQ(list.columns[0].position, "00001");
  EXPECT_EQ(list.columns[1].typeName, "DECIMAL");
  EXPECT_EQ(list.columns[1].length, "00010");
  EXPECT_EQ(list.columns[1].scale, "00002");
  EXPECT_EQ(list.columns[1].description, "Order total");
  EXPECT_EQ(list.columns[2].typeName, "NUMERIC");
  EXPECT_EQ(list.columns[2].length, "00010");
  EXPECT_EQ(list.columns[2].scale, "00002");
  EXPECT_EQ(list.columns[2].allowNull, "");
  EXPECT_EQ(list.columns[3].typeName, "INT");
  EXPECT_EQ(list.columns[3].position, "00004");
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

TEST(NtColumnLines, ReadsPrimaryKeyNameLists) {
  EXPECT_EQ(ReadNtNameList("CODE\tLINE \t"), (std::vector<std::string>{"CODE", "LINE"}));
  EXPECT_EQ(ReadNtNameList(std::string("ONLY") + '\0' + "\tNOT"), (std::vector<std::string>{"ONLY"}));
  EXPECT_TRUE(ReadNtNameList("   ").empty());
}

NtField Describe(const std::string& typeText, bool sqlServer = true, NtLongTextLength longText = 0) {
  NtColumn c;
  c.name = "F";
  ReadNtTypeText(typeText, c);
  return DescribeNtColumn(c, sqlServer, longText);
}

TEST(NtTypes, MapEachSqlTypeToItsCodeClassMaskAndLengths) {
  struct Case {
    const char* typeText;
    const char* code;
    const char* plain;
    const char* mask;
    const char* length;
    const char* decimals;
    const char* lenExt;
    const char* shown;
  };
  for (const Case& c : {
           Case{"VARCHAR 30", "V", "C", " ", "00030", "00000", "00030", "VARCHAR 30"},
           Case{"varchar2() 12", "V", "C", " ", "00012", "00000", "00012", "varchar2() 12"},
           Case{"CHAR 10", "C", "C", " ", "00010", "00000", "00010", "CHAR 10"},
           Case{"DECIMAL 10,2", "Xn", "N", " ", "00010", "00002", "00010", "DECIMAL 10,2"},
           Case{"NUMERIC 9.3", "XN", "N", " ", "00009", "00003", "00009", "NUMERIC 9.3"},
           Case{"BIT 1", "XB", "N", " ", "00001", "00000", "00001", "BIT 1"},
           Case{"FLOAT 53", "XF", "N", " ", "00053", "00000", "00053", "FLOAT 53"},
           Case{"DOUBLE 15", "XF", "N", " ", "00015", "00000", "00015", "DOUBLE"},
           Case{"SINGLE 7", "Xf", "N", " ", "00007", "00000", "00007", "SINGLE 7"},
           Case{"REAL 7", "Xf", "N", " ", "00007", "00000", "00007", "REAL 7"},
           Case{"INTEGER 10", "XI", "N", " ", "00010", "00000", "00010", "INTEGER 10"},
           Case{"LONG", "XI", "N", " ", "00010", "00000", "00011", "LONG"},
           Case{"SMALLINT 5", "Xi", "N", " ", "00005", "00000", "00005", "SMALLINT 5"},
           Case{"DATETIME 23", "XD", "C", "f", "00023", "00000", "00023", "DATETIME 23"},
           Case{"DATE 10", "XD", "C", "f", "00010", "00000", "00010", "DATE 10"},
           Case{"TIMESTAMP 8", "S", "C", " ", "00008", "00000", "00008", "TIMESTAMP 8"},
           Case{"SMALLDATETIME 16", "Xd", "C", "d", "00016", "00000", "00016", "SMALLDATETIME 16"},
           Case{"MONEY 19", "XM", "N", " ", "00019", "00000", "00019", "MONEY 19"},
           Case{"SMALLMONEY 10", "Xm", "N", " ", "00010", "00000", "00010", "SMALLMONEY 10"},
       }) {
    NtField f = Describe(c.typeText);
    EXPECT_EQ(f.error, "") << c.typeText;
    EXPECT_EQ(f.code, c.code) << c.typeText;
    EXPECT_EQ(f.plainClass, c.plain) << c.typeText;
    EXPECT_EQ(f.mask, c.mask) << c.typeText;
    EXPECT_EQ(f.length, c.length) << c.typeText;
    EXPECT_EQ(f.decimals, c.decimals) << c.typeText;
    EXPECT_EQ(f.lenExt, c.lenExt) << c.typeText;
    EXPECT_EQ(f.lenIn, c.lenExt) << c.typeText;
    EXPECT_EQ(f.shownType, c.shown) << c.typeText;
    EXPECT_EQ(f.description, "") << c.typeText;
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
  EXPECT_EQ(f.Type(false), "C");
  EXPECT_EQ(f.Type(true), "C");
  EXPECT_EQ(f.length, "00036");
  EXPECT_EQ(f.description, "UNIQUEIDENTIFIER NOT SUPPORTED");
  EXPECT_EQ(f.error, "");
  EXPECT_EQ(Describe("XML").description, "XML NOT SUPPORTED");
}

TEST(NtTypes, ATypeThatNeedsALengthWithoutOneIsAnError) {
  for (const char* text : {"INT", "VARCHAR", "DECIMAL ,2", "DATETIME x"})
    EXPECT_EQ(Describe(text).error, std::string("column F: the type text \"") + text + "\" gives no length") << text;
}

TEST(NtTypes, DisplayTextsShowLengthsWithoutLeadingZeros) {
  EXPECT_EQ(NtTypeDisplay("Xn", "00010", "00002"), "Decimal 10,2");
  EXPECT_EQ(NtTypeDisplay("P", "00007", "00002"), "Packed 7,2");
  EXPECT_EQ(NtTypeDisplay("XI", "00010", "00000"), "Int 10");
  EXPECT_EQ(NtTypeDisplay("Xd", "00016", "00000"), "SmallDateTime 16");
  EXPECT_EQ(NtTypeDisplay("V", "00000", "00000"), "VarChar 0");
  EXPECT_EQ(NtAllowNullText("2"), "Rtrim");
  EXPECT_EQ(NtAllowNullText("9"), "9");
}

TEST(NtLengths, StatementsQualifyAndQuoteTheirNames) {
  EXPECT_EQ(NtQualifiedTable("SQL Server", "SALES", "ORDERS"), "SALES..ORDERS");
  EXPECT_EQ(NtQualifiedTable("Oracle", "SCOTT", "EMP"), "SCOTT.EMP");
  EXPECT_EQ(NtQualifiedTable("ODBC", "SALES", "ORDERS"), "ORDERS");
  EXPECT_EQ(TextMaxLenUsedSql("SALES..ORDERS", "NOTE"), "Select MAX(DATALENGTH(NOTE)) FROM SALES..ORDERS");
  EXPECT_EQ(TextMaxLenDefineSql(" SALES ", "O'BRIEN", " NOTE  "),
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
