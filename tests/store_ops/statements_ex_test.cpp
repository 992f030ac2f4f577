// Statement text of the environment, target and cascade operations, and the
// node position text.
#include "store/environment_statements.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "store/record_layouts.h"
#include "store/sqltext.h"

namespace qv {
namespace {

TEST(PositionText, KeepsTheIntegerPartInTenCharacters) {
  struct Case {
    float value;
    const char* text;
  };
  const Case cases[] = {
      {12.7f, "0000000012"},
      {0.0f, "0000000000"},
      {-0.5f, "0000000000"},  // integer part of -0.5 is 0
      {-3.5f, "-000000003"},
      {-12.9f, "-000000012"},
      {1234.0f, "0000001234"},
      {1e12f, "9999999999"},   // clamped
      {-1e12f, "-999999999"},  // clamped
      {std::numeric_limits<float>::quiet_NaN(), "0000000000"},
      {std::numeric_limits<float>::infinity(), "9999999999"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const std::string text = PositionText(c.value);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(text.size(), 10u);
  }
}

TEST(PositionText, ReadsBackAsTheSameNumber) {
  for (float v : {-3.5f, -99999.0f, 0.0f, 42.2f, 9999999.0f}) {
    SCOPED_TRACE(v);
    EXPECT_EQ(PositionValue(PositionText(v)), static_cast<int64_t>(std::trunc(v)));
  }
  EXPECT_EQ(PositionValue("          "), 0);
  EXPECT_EQ(PositionValue(" +12 "), 12);
  EXPECT_EQ(PositionValue("00000000-3"), 0);  // a sign inside the digits is not a number
  EXPECT_EQ(PositionValue("12a"), 0);
}

TEST(NtSourceTypeCode, FollowsTheSourceKind) {
  EXPECT_EQ(NtSourceTypeCode("ODBC"), "5");
  EXPECT_EQ(NtSourceTypeCode("SQL Server"), "1");
  EXPECT_EQ(NtSourceTypeCode("Oracle"), "2");
  EXPECT_EQ(NtSourceTypeCode("AS400"), "");
}

Record Environment() {
  Record r(layout::QV_EX);
  r.Set("ENVID", "E1");
  r.Set("ENVTYPE", "P");
  r.Set("DESCRIP", "Paul's env");
  r.Set("HOLD", "0");
  r.Set("SRCTYPE", "1");
  r.Set("SECURE", "1");
  return r;
}

// Returns the column names of a literal list "( A, B,  C)" in order.
std::vector<std::string> Columns(std::string list) {
  std::vector<std::string> out;
  std::string word;
  for (char c : list) {
    if (c == ',' || c == ' ' || c == '(' || c == ')') {
      if (!word.empty()) out.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) out.push_back(word);
  return out;
}

std::vector<std::string> LayoutColumns(const Layout& table) {
  std::vector<std::string> out;
  for (std::string_view c : NtColumns(table)) out.emplace_back(c);
  return out;
}

TEST(EnvironmentSql, InsertNamesEveryColumnInRecordOrderWithTheProductsSpacing) {
  const Record r = Environment();
  const std::string sql = InsertEnvironmentSql("QV_USRDATA..", r);
  const std::string head =
      "INSERT INTO QV_USRDATA..QV_EX ( ENVID, ENVTYPE, DESCRIP, HOLD, SRCID, SRCTYPE, TEMPO, "
      "RETRY, MAXOPEN, APPCMODE, APPCRMTNAM, APPCDEV, USERID, QV_PASSWORD, X, Y, SECURE, FILLER) "
      " VALUES('";
  ASSERT_EQ(sql.substr(0, head.size()), head);
  EXPECT_EQ(Columns(head.substr(30, head.find("VALUES") - 30)), LayoutColumns(layout::QV_EX));
  // Values at full width, the description's quote doubled after the cut.
  EXPECT_EQ(sql.substr(head.size(), 44), "E1','P','Paul''s env" + std::string(20, ' ') + "','0");
  EXPECT_EQ(sql.substr(sql.size() - 2), "')");
  EXPECT_NE(sql.find("','1','" + std::string(99, ' ') + "')"), std::string::npos);
}

TEST(EnvironmentSql, UpdateSetsEveryColumnAfterTheKey) {
  const std::string sql = UpdateEnvironmentSql("", Environment(), "E1");
  EXPECT_TRUE(sql.starts_with("UPDATE QV_EX SET ENVTYPE ='P', DESCRIP ='Paul''s env" + std::string(20, ' ') + "'"));
  EXPECT_NE(sql.find(std::string(5, ' ') + "', HOLD ='0', SRCID ='   ', SRCTYPE ='1', TEMPO ='  '"),
            std::string::npos);
  EXPECT_EQ(sql.find("ENVID ='E1'"), sql.size() - 11);
  EXPECT_NE(sql.find("', FILLER ='" + std::string(99, ' ') + "' WHERE ENVID ='E1'"), std::string::npos);
}

TEST(EnvironmentSql, KeysAreCutPaddedAndQuoted) {
  EXPECT_EQ(SelectEnvironmentSql("QV_USRDATA.", "E"), "SELECT * FROM QV_USRDATA.QV_EX WHERE ENVID='E '");
  EXPECT_EQ(DeleteEnvironmentSql("", "ABC"), "DELETE FROM QV_EX WHERE ENVID ='AB'");
  EXPECT_EQ(DeleteEnvironmentSql("", "'"), "DELETE FROM QV_EX WHERE ENVID =''' '");
  // A quote in the last place of the width keeps both halves.
  EXPECT_EQ(DeleteEnvironmentSql("", "A'B"), "DELETE FROM QV_EX WHERE ENVID ='A'''");
  EXPECT_EQ(EnvironmentListSql("QV_USRDATA.."), "SELECT ENVID,ENVTYPE FROM QV_USRDATA..QV_EX ");
}

TEST(TargetSql, StatementsAreSpelledAsTheProductSendsThem) {
  Record cx(layout::QV_CX);
  cx.Set("ENVID", "E1");
  cx.Set("TGTID", "T2");
  cx.Set("DESCRIP", "it's");
  const std::string insert = InsertTargetSql("QV_USRDATA..", cx);
  const std::string head =
      "INSERT INTO QV_USRDATA..QV_CX (ENVID, TGTID, DESCRIP, HOLD, TGTTYPE, COMTYPE, "
      " TGTADRESS, TGTNAME, LOCALNAME, EXCLUDE, FMTDATE, TGTTEST, TGTTRACE, TEMPO, "
      " RETRY, MAXOPEN, APPCMODE, APPCRMTNAM, APPCDEV, USERID, QV_PASSWORD, X, Y, FILLER)"
      " VALUES('E1','T2 ','it''s";
  EXPECT_EQ(insert.substr(0, head.size()), head);
  EXPECT_EQ(Columns(head.substr(30, head.find("VALUES") - 30)), LayoutColumns(layout::QV_CX));

  const std::string update = UpdateTargetSql("", cx, "E1", "T1");
  EXPECT_TRUE(update.starts_with("UPDATE QV_CX SET ENVID ='E1',TGTID ='T2 ',DESCRIP ='it''s" + std::string(26, ' ') + "'"));
  EXPECT_NE(update.find("',HOLD =' ',TGTTYPE =' ',"), std::string::npos);
  EXPECT_TRUE(update.ends_with("',FILLER ='" + std::string(100, ' ') + "' WHERE ENVID ='E1' AND TGTID='T1 '"));

  EXPECT_EQ(SelectTargetSql("", "E1", "T1"), "SELECT * FROM QV_CX WHERE ENVID='E1' AND TGTID='T1 '");
  EXPECT_EQ(DeleteTargetSql("", "E1", "T1"), "DELETE FROM QV_CX WHERE ENVID ='E1' AND TGTID ='T1 '");
  EXPECT_EQ(HoldTargetSql("", "1", "E1", "T1"),
            "UPDATE QV_CX SET HOLD ='1' WHERE ENVID ='E1' AND TGTID='T1 '");
  EXPECT_EQ(TargetPositionSql("", "0000000012", "-000000003", "E1", "T1"),
            "UPDATE QV_CX SET X='0000000012',Y='-000000003' WHERE ENVID='E1' AND TGTID ='T1 '");
}

TEST(CascadeSql, ListingsAndDeletesKeepTheProductsSpacing) {
  const std::string p = "QV_USRDATA..";
  const std::pair<std::string, std::string> cases[] = {
      {ListTargetsOfEnvironmentSql(p, "E1"), "SELECT * FROM QV_USRDATA..QV_CX WHERE ENVID ='E1'"},
      {ListModelsOfEnvironmentSql(p, "E1"), "SELECT * FROM QV_USRDATA..QV_GX WHERE ENVID ='E1'"},
      {ListDistributionsOfTargetSql(p, "E1", "T1"),
       "SELECT  ENVID,TGTID,GRPID FROM QV_USRDATA..QV_GC WHERE ENVID ='E1' AND TGTID ='T1 '"},
      {ListDistributionsOfModelSql(p, "E1", "M1"),
       "SELECT ENVID,TGTID,GRPID FROM QV_USRDATA..QV_GC WHERE ENVID='E1' AND GRPID='M1 '"},
      {ListTablesOfModelSql(p, "E1", "M1"),
       "SELECT * FROM QV_USRDATA..QV_FX WHERE ENVID ='E1' AND GRPID ='M1 '"},
      {ListTablesOfDistributionSql(p, "E1", "T1", "M1"),
       "SELECT ENVID,TGTID,GRPID,FICID FROM QV_USRDATA..QV_FC WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID='M1 '"},
      {ListDistributedTablesOfTableSql(p, "E1", "M1", "0000000001"),
       "SELECT ENVID,TGTID,GRPID,FICID FROM QV_USRDATA..QV_FC WHERE ENVID='E1' AND GRPID='M1 ' AND FICID='0000000001'"},
      {DeleteModelSql(p, "E1", "M1"), "DELETE FROM QV_USRDATA..QV_GX WHERE ENVID='E1' AND GRPID ='M1 '"},
      {DeleteDistributionSql(p, "E1", "T1", "M1"),
       "DELETE FROM QV_USRDATA..QV_GC WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID ='M1 '"},
      {DeleteModelTableSql(p, "E1", "M1", "1"),
       "DELETE FROM QV_USRDATA..QV_FX WHERE ENVID='E1' AND GRPID= 'M1 ' AND FICID ='1         '"},
      {DeleteDistributedTableSql(p, "E1", "T1", "M1", "0000000001"),
       "DELETE FROM QV_USRDATA..QV_FC WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID='M1 ' AND FICID='0000000001'"},
      {DeleteEndScriptSql(p, "E1", "T1", "M1"),
       "DELETE FROM QV_USRDATA..QV_END WHERE ENVID ='E1' AND TGTID ='T1 ' AND GRPID = 'M1 '"},
      {DeleteProgramSql(p, "E1", "M1", "0000000001"),
       "DELETE FROM QV_USRDATA..QV_TX WHERE ENVID ='E1' AND GRPID ='M1 ' AND FICID = '0000000001'"},
      {DeleteFieldsSql(p, "E1", "M1", "0000000001"),
       "DELETE FROM QV_USRDATA..QV_ZX WHERE ENVID ='E1' AND GRPID ='M1 ' AND FICID = '0000000001'"},
      {DeleteMappingsOfDistributedTableSql(p, "E1", "T1", "M1", "0000000001"),
       "DELETE FROM QV_USRDATA..QV_ZC WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID= 'M1 ' AND FICID='0000000001'"},
      {DeleteMappingsOfFieldSql(p, "E1", "M1", "0000000001", "O'NAME"),
       "DELETE FROM QV_USRDATA..QV_ZC WHERE ENVID='E1' AND GRPID= 'M1 ' AND FICID='0000000001' AND FIELDINPUT='O''NAME" +
           std::string(24, ' ') + "'"},
  };
  for (const auto& [sql, expected] : cases) EXPECT_EQ(sql, expected);
}

TEST(CascadeSql, RefusesARecordOfAnotherTable) {
  EXPECT_THROW(InsertEnvironmentSql("", Record(layout::QV_CX)), std::invalid_argument);
  EXPECT_THROW(UpdateTargetSql("", Record(layout::QV_EX), "E1", "T1"), std::invalid_argument);
}

}  // namespace
}  // namespace qv
