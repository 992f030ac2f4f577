// Date masks, type and allow-null texts, MI blocks, field list columns, the
// reading of the source's listing answers, and the column lists of NT tables
// with the mapping of their SQL types; then the field import from NT sources:
// the calls and statements sent, and the lists filled.
#include <gtest/gtest.h>

#include "catalogs/field_listing.h"
#include "catalogs/field_types.h"
#include "catalogs/fields_nt_text.h"
#include "dllparam/admin/source_tables.h"
#include "platform/controls.h"
#include "support/fake_control.h"
#include "support/store_fixture.h"

namespace qv::test {
namespace {

TEST(DateMasks, CodesAreCaseSensitiveAndEveryMaskComesBackToItsCode) {
  EXPECT_EQ(MaskDate("a"), "YYDDD");
  EXPECT_EQ(MaskDate("A"), "CYYMMDD");
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
}

TEST(FieldTypes, AllowNullTextsGoBothWays) {
  const char* texts[] = {"No", "Yes", "Rtrim", "Same"};
  for (int i = 0; i < 4; ++i) {
    const std::string code(1, static_cast<char>('0' + i));
    EXPECT_EQ(AllowNullText(code), texts[i]);
    EXPECT_EQ(AllowNullCode(AllowNullText(code)), code);
  }
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
  EXPECT_EQ(NtLengthOfRow("          "), 0);
  EXPECT_EQ(NtLengthOfRow(std::string("42") + '\0' + "99"), 42);
  EXPECT_EQ(NtLengthOfRow("2147483647"), 2147483647);
  EXPECT_EQ(NtLengthOfRow("2147483648"), std::nullopt);
}

using Lines = std::vector<std::string>;

const std::string kOrders =
    "CODE\tCHAR 10\t1\t0\t\n"
    "AMOUNT\tDECIMAL 10,2\t2\t1\t\n"
    "NOTE\ttext 2147483647\t3\t1\t\n";

const std::string kMxSql =
    "SELECT MAXLEN FROM QV_USRDATA..QV_MX WHERE SRCDB='SALES' AND SRCTBL='ORDERS' AND FIELDINPUT='NOTE'";

Lines Row(const platform::ListView& lv, const std::string& key) {
  const platform::ListItem* item = lv.Find(key);
  if (item == nullptr) return {"missing " + key};
  Lines out{item->text};
  for (const std::string& s : item->SubItems()) out.push_back(s);
  return out;
}

TEST(FillFieldFromFileNT, ReadsKeysAndColumnsOfTheQualifiedTableAndSizesLongTexts) {
  struct Case {
    const char* kind;
    const char* qualified;
    bool sizesLongText;
  };
  for (const Case& c : {Case{"SQL Server", "SALES..ORDERS", true}, Case{"Oracle", "SALES.ORDERS", false},
                        Case{"ODBC", "ORDERS", false}}) {
    OpenedFake s(c.kind);
    s.fake().On("GetPrimaryKey").Out("CODE\t");
    s.fake().On("FillColumnsListSource").Out(kOrders.substr(0, kOrders.find("NOTE"))).Out(kOrders.substr(kOrders.find("NOTE")));
    s.fake().On("Sread").Sql(kMxSql).Row("500       ");
    platform::ListView lf;
    ASSERT_TRUE(s.control().FillFieldFromFileNT(lf, "I.", "SALES", "ORDERS", false, true)) << c.kind;

    EXPECT_EQ(s.fake().CallsNamed("GetPrimaryKey").at(0).Arg(0), c.qualified);
    const auto pages = s.fake().CallsNamed("FillColumnsListSource");
    ASSERT_EQ(pages.size(), 3u) << c.kind;
    for (std::size_t i = 0; i < pages.size(); ++i) {
      EXPECT_EQ(pages[i].Arg(0), "d");
      EXPECT_EQ(pages[i].Arg(1), c.qualified);
      EXPECT_EQ(pages[i].IntArg(4), i == 0 ? 1 : 0);
    }
    // What the rows hold is checked on the embedded source of each kind.
    EXPECT_EQ(s.fake().Statements(), c.sizesLongText ? Lines{kMxSql} : Lines{});
  }
}

TEST(FillFieldFromFileNT, PlainTypesGiveClassesAndDateMasks) {
  OpenedFake s("SQL Server");
  s.fake().On("FillColumnsListSource").Out("WHEN\tDATETIME 23\t1\nN\tINT 10\t2\n");
  platform::ListView lf;
  ASSERT_TRUE(s.control().FillFieldFromFileNT(lf, "B.", "SALES", "ORDERS", true, true));
  const Lines when = Row(lf, "B.WHEN"), n = Row(lf, "B.N");
  EXPECT_EQ((Lines{when.at(2), when.at(3), when.at(8), n.at(4), n.at(8)}),
            (Lines{"DateTime 23", "YYYY-MM-DD-HH.MM.SS", "C", "00024", "N"}));
}

TEST(FillFieldFromFileNT, FailuresKeepTheFieldsAddedAndSayWhy) {
  {
    OpenedFake s("SQL Server");
    s.fake().On("FillColumnsListSource").Out("CODE\tCHAR 10\t1\nBROKEN LINE\n");
    platform::ListView lf;
    EXPECT_FALSE(s.control().FillFieldFromFileNT(lf, "I.", "SALES", "ORDERS", false, true));
    EXPECT_EQ(lf.Count(), 1);
    EXPECT_EQ(s.control().ErrorNum(), QVSource::kRefusalNum);
    EXPECT_EQ(s.control().ErrorText(),
              "column line 2 \"BROKEN LINE\" has no TAB between its fields (SALES..ORDERS)");
  }
  {
    // A QV_MX lookup that fails marks the field instead of failing the import.
    OpenedFake s("SQL Server");
    s.fake().On("FillColumnsListSource").Out("NOTE\tTEXT 2147483647\t1\n");
    s.fake().On("Sread").Sql(kMxSql).Fail(DllParam::kCodeRefused, 208, "Invalid object name 'QV_MX'");
    platform::ListView lf;
    EXPECT_TRUE(s.control().FillFieldFromFileNT(lf, "I.", "SALES", "ORDERS", false, true));
    EXPECT_EQ(Row(lf, "I.NOTE").at(1), "TEXT ERROR IN QV_MX TABLE");
    EXPECT_EQ(Row(lf, "I.NOTE").at(9), "00000");
    EXPECT_EQ(s.control().ErrorNum(), 0);
  }
}

TEST(FillFieldFromFileNT, SystemBufferListsTheSystemFieldsWithoutCallingTheSource) {
  FakeSource s("SQL Server");
  platform::ListView lf;
  lf.Add("KEEP", "kept");
  ASSERT_TRUE(s.control->FillFieldFromFileNT(lf, "S.", "", "", false, false));
  EXPECT_EQ(lf.Count(), 25);
  EXPECT_TRUE(s.fake->Calls().empty());
  EXPECT_FALSE(s.control->FillFieldFromFileNT(lf, "I.", "SALES", "ORDERS", false, false));
  EXPECT_TRUE(s.fake->Calls().empty());
}

TEST(FillColumnsList, ShowsTypesNullsAndPositionsOfEveryColumn) {
  OpenedFake s("SQL Server");
  s.fake().On("FillColumnsList").Out(kOrders + "GUID\tuniqueidentifier 36\t4\t1\t\nD\tDOUBLE 15\t5\t1\tRate\n");
  platform::ListView lv;
  lv.Add("OLD", "old");
  ASSERT_TRUE(s.control().FillColumnsList(lv, "SALES", "ORDERS"));
  const auto call = s.fake().CallsNamed("FillColumnsList").at(0);
  EXPECT_EQ((Lines{call.Arg(0), call.Arg(1), call.Arg(2)}), (Lines{"SALES", "ORDERS", "%"}));
  ASSERT_EQ(lv.ColumnCount(), 5);
  EXPECT_EQ(lv.Columns()[3].text, "ALLOWNULL");
  EXPECT_EQ(lv.Count(), 5);
  EXPECT_EQ(Row(lv, "ZONE_CODE"), (Lines{"CODE", "CHAR 10", "", "No", "00001"}));
  EXPECT_EQ(Row(lv, "ZONE_GUID"),
            (Lines{"GUID", "uniqueidentifier 36", "UNIQUEIDENTIFIER NOT SUPPORTED", "Yes", "00004"}));
  EXPECT_EQ(Row(lv, "ZONE_D"), (Lines{"D", "DOUBLE", "Rate", "Yes", "00005"}));
}

TEST(TextMaxLen, QueriesGiveTheirNumberOrTheLibraryError) {
  OpenedFake s("SQL Server");
  const auto openBefore = s.fake().OpenFiles();
  s.fake().On("Sread").Sql("Select MAX(DATALENGTH(NOTE)) FROM SALES..ORDERS").Row("1234                ");
  int32_t length = -1;
  ASSERT_TRUE(s.control().TextMaxLenUsed("SALES..ORDERS", "NOTE", length));
  EXPECT_EQ(length, 1234);

  length = -1;
  ASSERT_TRUE(s.control().TextMaxLenDefine("SALES", "ORDERS", "NOTE ", length));
  EXPECT_EQ(length, 0);
  EXPECT_EQ(s.fake().Statements().back(), kMxSql);

  s.fake().On("Sread").Sql(kMxSql).Fail(DllParam::kCodeRefused, 208, "Invalid object name 'QV_MX'");
  length = -1;
  EXPECT_FALSE(s.control().TextMaxLenDefine("SALES", "ORDERS", "NOTE", length));
  EXPECT_EQ(length, 0);
  EXPECT_EQ(s.control().ErrorNum(), 208);
  EXPECT_EQ(s.control().ErrorStep(), "TextMaxLenDefine");
  EXPECT_EQ(s.fake().OpenFiles(), openBefore);
}

// The same import over the source tables of an embedded store of each NT kind.
class FieldsNtStore : public StoreTest {
 protected:
  void SetUp() override {
    embedded::StoreAdmin admin = Admin();
    embedded::AddSourceTable(admin, embedded::ParseSourceTable("table SALES.ORDERS\n"
                                                               "CODE CHAR(10) key\n"
                                                               "LINE INT key\n"
                                                               "AMOUNT DECIMAL(10,2)\n"
                                                               "NOTE TEXT maxlen=500\n"));
  }
  bool SqlServer() const { return GetParam().store == embedded::SourceKind::SQLServer; }
};

TEST_P(FieldsNtStore, FieldsComeFromTheSourceTableAndLongTextsFromQvMxOnSqlServer) {
  platform::ListView lf, lv;
  ASSERT_TRUE(control().FillFieldFromFileNT(lf, "I.", "SALES", "ORDERS", false, true)) << control().ErrorText();
  ASSERT_TRUE(control().FillColumnsList(lv, "SALES", "ORDERS")) << control().ErrorText();
  ASSERT_EQ(lf.Count(), 4);
  EXPECT_EQ(Row(lf, "I.LINE"), (Lines{"LINE", "", "Int 10", "", "00011", "00010", "No", "00002", "XI", "00010",
                                      "00000", "00010", "", "00011"}));
  // The first key is not null as well as the second.
  EXPECT_EQ((Lines{Row(lf, "I.CODE").at(6), Row(lf, "I.AMOUNT").at(6)}), (Lines{"No", "Yes"}));
  const Lines note = Row(lf, "I.NOTE");
  EXPECT_EQ((Lines{note.at(SqlServer() ? 2 : 1), note.at(8), Row(lv, "ZONE_NOTE").at(1)}),
            (SqlServer() ? Lines{"VarChar 500", "V", "LongVarchar (00500)"}
                         : Lines{"TEXT NOT SUPPORTED", "C", "TEXT 2147483647"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, FieldsNtStore, NtKinds(), KindName);

}  // namespace
}  // namespace qv::test
