// Field import from NT sources: the calls and statements sent, and the lists filled.
#include <gtest/gtest.h>

#include "dllparam/admin/source_tables.h"
#include "platform/controls.h"
#include "support/fake_control.h"
#include "support/store_fixture.h"

namespace qv::test {
namespace {

const std::string kOrders =
    "CODE\tCHAR 10\t1\t0\t\n"
    "AMOUNT\tDECIMAL 10,2\t2\t1\t\n"
    "NOTE\ttext 2147483647\t3\t1\t\n";

const std::string kMxSql =
    "SELECT MAXLEN FROM QV_USRDATA..QV_MX WHERE SRCDB='SALES' AND SRCTBL='ORDERS' AND FIELDINPUT='NOTE'";

std::vector<std::string> Row(const platform::ListView& lv, const std::string& key) {
  const platform::ListItem* item = lv.Find(key);
  if (item == nullptr) return {"missing " + key};
  std::vector<std::string> out{item->text};
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
    EXPECT_EQ(s.fake().Statements(), c.sizesLongText ? std::vector<std::string>{kMxSql} : std::vector<std::string>{});

    // What the rows hold is checked on the embedded source of each kind.
    EXPECT_EQ(lf.ColumnCount(), 14);
    EXPECT_EQ(lf.Count(), 3);
    if (c.sizesLongText) {
      EXPECT_EQ(Row(lf, "I.NOTE").at(2), "VarChar 500");
    }
  }
}

TEST(FillFieldFromFileNT, PlainTypesGiveClassesAndDateMasks) {
  OpenedFake s("SQL Server");
  s.fake().On("FillColumnsListSource").Out("WHEN\tDATETIME 23\t1\nN\tINT 10\t2\n");
  platform::ListView lf;
  ASSERT_TRUE(s.control().FillFieldFromFileNT(lf, "B.", "SALES", "ORDERS", true, true));
  const std::vector<std::string> when = Row(lf, "B.WHEN"), n = Row(lf, "B.N");
  EXPECT_EQ((std::vector<std::string>{when.at(2), when.at(3), when.at(8), n.at(4), n.at(8)}),
            (std::vector<std::string>{"DateTime 23", "YYYY-MM-DD-HH.MM.SS", "C", "00024", "N"}));
}

TEST(FillFieldFromFileNT, FailuresKeepTheFieldsAddedAndSayWhy) {
  {
    OpenedFake s("SQL Server");
    s.fake().On("FillColumnsListSource").Out("CODE\tCHAR 10\t1\n").Fail(DllParam::kCodeNetwork, 0, "line dropped");
    platform::ListView lf;
    EXPECT_FALSE(s.control().FillFieldFromFileNT(lf, "I.", "SALES", "ORDERS", false, true));
    EXPECT_EQ(lf.Count(), 1);
    EXPECT_EQ(s.control().ErrorStep(), "FillFieldFromFileNT");
    EXPECT_EQ(s.control().ErrorText(), "line dropped");
  }
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
  EXPECT_EQ(Row(lf, "S.PROCESS"), (std::vector<std::string>{"PROCESS", "To Process 0=No 1=Yes 2=Error"}));
  EXPECT_EQ(Row(lf, "S.CURDATETIME"), (std::vector<std::string>{"CURDATETIME", "Date now YYYYMMDDHHMMSS"}));
  EXPECT_TRUE(s.fake->Calls().empty());
  EXPECT_FALSE(s.control->FillFieldFromFileNT(lf, "I.", "SALES", "ORDERS", false, false));
  EXPECT_TRUE(s.fake->Calls().empty());
}

TEST(FillColumnsList, ShowsTypesNullsAndPositionsOfEveryColumn) {
  OpenedFake s("SQL Server");
  s.fake().On("FillColumnsList").Out(kOrders + "GUID\tuniqueidentifier 36\t4\t1\t\nD\tDOUBLE 15\t5\t1\tRate\n");
  s.fake().On("Sread").Sql(kMxSql).Row("800");
  platform::ListView lv;
  lv.Add("OLD", "old");
  ASSERT_TRUE(s.control().FillColumnsList(lv, "SALES", "ORDERS"));
  const auto call = s.fake().CallsNamed("FillColumnsList").at(0);
  EXPECT_EQ(call.Arg(0), "SALES");
  EXPECT_EQ(call.Arg(1), "ORDERS");
  EXPECT_EQ(call.Arg(2), "%");
  ASSERT_EQ(lv.ColumnCount(), 5);
  EXPECT_EQ(lv.Columns()[3].text, "ALLOWNULL");
  EXPECT_EQ(lv.Count(), 5);
  EXPECT_EQ(Row(lv, "ZONE_CODE"), (std::vector<std::string>{"CODE", "CHAR 10", "", "No", "00001"}));
  EXPECT_EQ(Row(lv, "ZONE_NOTE"), (std::vector<std::string>{"NOTE", "LongVarchar (00800)", "", "Yes", "00003"}));
  EXPECT_EQ(Row(lv, "ZONE_GUID"),
            (std::vector<std::string>{"GUID", "uniqueidentifier 36", "UNIQUEIDENTIFIER NOT SUPPORTED", "Yes", "00004"}));
  EXPECT_EQ(Row(lv, "ZONE_D"), (std::vector<std::string>{"D", "DOUBLE", "Rate", "Yes", "00005"}));
}

TEST(TextMaxLen, QueriesGiveTheirNumberOrTheLibraryError) {
  OpenedFake s("SQL Server");
  const auto openBefore = s.fake().OpenFiles();
  s.fake().On("Sread").Sql("Select MAX(DATALENGTH(NOTE)) FROM SALES..ORDERS").Row("1234                ");
  int32_t length = -1;
  ASSERT_TRUE(s.control().TextMaxLenUsed("SALES..ORDERS", "NOTE", length));
  EXPECT_EQ(length, 1234);
  EXPECT_EQ(s.fake().CallsNamed("Sread").at(0).Arg(1).size(), 20u);

  length = -1;
  ASSERT_TRUE(s.control().TextMaxLenDefine("SALES", "ORDERS", "NOTE ", length));
  EXPECT_EQ(length, 0);
  EXPECT_EQ(s.fake().Statements().back(), kMxSql);
  EXPECT_EQ(s.fake().CallsNamed("Sread").back().Arg(1).size(), 10u);

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
  EXPECT_EQ(Row(lf, "I.LINE"), (std::vector<std::string>{"LINE", "", "Int 10", "", "00011", "00010", "No", "00002",
                                                         "XI", "00010", "00000", "00010", "", "00011"}));
  EXPECT_EQ(Row(lf, "I.CODE").at(6), "No");  // the first key as well as the second
  EXPECT_EQ(Row(lf, "I.AMOUNT").at(6), "Yes");
  const std::vector<std::string> note = Row(lf, "I.NOTE");
  if (SqlServer())
    EXPECT_EQ((std::vector<std::string>{note.at(2), note.at(8), Row(lv, "ZONE_NOTE").at(1)}),
              (std::vector<std::string>{"VarChar 500", "V", "LongVarchar (00500)"}));
  else
    EXPECT_EQ((std::vector<std::string>{note.at(1), note.at(8), Row(lv, "ZONE_NOTE").at(1)}),
              (std::vector<std::string>{"TEXT NOT SUPPORTED", "C", "TEXT 2147483647"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, FieldsNtStore, NtKinds(), KindName);

}  // namespace
}  // namespace qv::test
