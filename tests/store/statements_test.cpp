// Statement text of the environment, target, cascade, model and
// distribution operations: the spelled column and SET lists, the keys, the
// joins of each dialect and the node position text.
#include <gtest/gtest.h>

#include <limits>

#include "store/record_layouts.h"
#include "store/records.h"
#include "store/sqltext.h"
#include "store/environment_statements.h"
#include "store/distribution_statements.h"
#include "store/model_statements.h"
#include "support/topology.h"

namespace qv {
namespace {

TEST(PositionText, KeepsTheIntegerPartInTenCharacters) {
  const std::pair<float, const char*> cases[] = {
      {0.0f, "0000000000"},
      {-0.5f, "0000000000"},  // integer part of -0.5 is 0
      {-12.9f, "-000000012"},
      {1234.0f, "0000001234"},
      {1e12f, "9999999999"},   // clamped
      {-1e12f, "-999999999"},  // clamped
      {std::numeric_limits<float>::quiet_NaN(), "0000000000"},
      {std::numeric_limits<float>::infinity(), "9999999999"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(PositionText(value), text) << value;
}

TEST(NtSourceTypeCode, FollowsTheSourceKind) {
  EXPECT_EQ(NtSourceTypeCode("ODBC"), "5");
  EXPECT_EQ(NtSourceTypeCode("SQL Server"), "1");
  EXPECT_EQ(NtSourceTypeCode("Oracle"), "2");
  EXPECT_EQ(NtSourceTypeCode("AS400"), "");
}

// Keyed statements: their keys cut, padded and quoted, and the spacing each
// keeps. The statements of the NT cascades are checked in the order they are
// sent by the cascade tests; these are the forms those do not send. The hold,
// position and single-row reads of the other levels are built the same way
// and run on the ODBC stores.
TEST(KeyedStatements, SpellTheirPieces) {
  const std::string p = "QV_USRDATA..", b29(29, ' ');
  const Record zc = test::Make(layout::QV_ZC, {{"ENVID", "E1"}, {"TGTID", "T1"}, {"GRPID", "M1"},
                                               {"FICID", "0000000001"}, {"FIELDINPUT", "A"}, {"FIELDOUT", "B"}});
  const std::pair<std::string, std::string> cases[] = {
      {SelectEnvironmentSql("QV_USRDATA.", "E"), "SELECT * FROM QV_USRDATA.QV_EX WHERE ENVID='E '"},
      {DeleteEnvironmentSql("", "ABC"), "DELETE FROM QV_EX WHERE ENVID ='AB'"},
      {DeleteEnvironmentSql("", "'"), "DELETE FROM QV_EX WHERE ENVID =''' '"},
      // A quote in the last place of the width keeps both halves.
      {DeleteEnvironmentSql("", "A'B"), "DELETE FROM QV_EX WHERE ENVID ='A'''"},
      {EnvironmentListSql(p), "SELECT ENVID,ENVTYPE FROM QV_USRDATA..QV_EX "},
      {HoldTargetSql("", "1", "E1", "T1"), "UPDATE QV_CX SET HOLD ='1' WHERE ENVID ='E1' AND TGTID='T1 '"},
      {TargetPositionSql("", "0000000012", "-000000003", "E1", "T1"),
       "UPDATE QV_CX SET X='0000000012',Y='-000000003' WHERE ENVID='E1' AND TGTID ='T1 '"},
      {ListDistributionsOfModelSql(p, "E1", "M1"),
       "SELECT ENVID,TGTID,GRPID FROM QV_USRDATA..QV_GC WHERE ENVID='E1' AND GRPID='M1 '"},
      {DeleteMappingsOfFieldSql(p, "E1", "M1", "0000000001", "O'NAME"),
       "DELETE FROM QV_USRDATA..QV_ZC WHERE ENVID='E1' AND GRPID= 'M1 ' AND FICID='0000000001' AND FIELDINPUT='O''NAME" +
           std::string(24, ' ') + "'"},
      {SelectFieldSql("QV_USRDATA.", "E1", "M1", "0000000001", "CUSTNO"),
       "SELECT * FROM QV_USRDATA.QV_ZX WHERE ENVID='E1' AND GRPID ='M1 ' AND FICID='0000000001'"
       " AND FIELDINPUT='CUSTNO                        '"},
      {SelectDistributedTableSql("", "E1", "T1", "M1", "0000000001"),
       "SELECT * FROM QV_FC WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID ='M1 ' AND FICID = '0000000001'"},
      {UpdateMappingSql("", zc, "E1", "T1", "M1", "0000000001", "A"),
       "UPDATE QV_ZC SET ENVID ='E1',TGTID='T1 ',GRPID='M1 ',FICID ='0000000001',FIELDINPUT='A" + b29 +
           "',FIELDOUT ='B" + b29 + "' WHERE ENVID='E1' AND TGTID ='T1 ' AND GRPID ='M1 ' AND FICID ='0000000001' " +
           "AND FIELDINPUT = 'A" + b29 + "'"},
      {DeleteMappingSql("QV_USRDATA.", "E1", "T1", "M1", "0000000001", "A"),
       "DELETE FROM QV_USRDATA.QV_ZC WHERE ENVID='E1' AND TGTID ='T1 ' AND GRPID='M1 ' AND "
       "FICID ='0000000001' AND FIELDINPUT='A" + b29 + "'"},
      {ResetRecoveryPointSql("", "E1", "T1", "M1", "0000000001"),
       "UPDATE QV_FC SET REPRISETYP ='C', REPRISEPNT='0000000000' WHERE ENVID ='E1' AND "
       "TGTID='T1 ' AND GRPID='M1 ' AND FICID='0000000001'"},
  };
  for (const auto& [sql, expected] : cases) EXPECT_EQ(sql, expected);
}

Record Filled(const Layout& table, char c = 'v') {
  Record r(table);
  for (std::size_t i = 0; i < table.fields.size(); ++i) r.Set(i, std::string(table.fields[i].width, c));
  return r;
}

// The other tables' inserts and updates are built alike and read back whole
// on the NT stores of every kind.
TEST(InsertStatements, SpellTheirColumnListsAndGiveOneValuePerColumn) {
  struct Case {
    const Layout* table;
    std::string sql;
    std::string head;
  };
  const Case cases[] = {
      {&layout::QV_EX, InsertEnvironmentSql("QV_USRDATA..", Filled(layout::QV_EX)),
       "INSERT INTO QV_USRDATA..QV_EX ( ENVID, ENVTYPE, DESCRIP, HOLD, SRCID, SRCTYPE, TEMPO, RETRY, MAXOPEN, "
       "APPCMODE, APPCRMTNAM, APPCDEV, USERID, QV_PASSWORD, X, Y, SECURE, FILLER)  VALUES('"},
      {&layout::QV_GX, InsertModelSql("QV_USRDATA..", Filled(layout::QV_GX)),
       "INSERT INTO QV_USRDATA..QV_GX (ENVID, GRPID, DESCRIP, HOLD, GRPTYPE, DSN_NAME, DSN_UID, DSN_PWD,FREQUENCY, "
       "MANDISTRI, ALLMBRDIST, ACCESMODE, SHAREDOPN, CONTERROR, REPAIR, CTRBEFORE, CLRPFM, RGZPFM, ADDPFM, RMVMBR, "
       "DLTF, X, Y,FILLER)  VALUES('"},
      {&layout::QV_FC, InsertDistributedTableSql("", Filled(layout::QV_FC)),
       "INSERT INTO QV_FC (ENVID, TGTID, GRPID, FICID, OCCUR, NUMSEQ, NEW, HOLD, TGTLIB, TGTFILE, TGTMBR, "
       "TGTPGM, ACCESMODE, SHAREDOPN, CONTERROR,REPAIR, CTRBEFORE, CLRPFM, RGZPFM, ADDPFM, RMVMBR, DLTF, "
       "INSTINSERT, INSTUPDATE, INSTDELETE,CLRBEFORE, CLRSPEC, INSTCLRPFM, NUMFC, REPRISETYP, REPRISERCV, "
       "REPRISEPNT, X, Y, FILLER ) VALUES('"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table->name);
    EXPECT_EQ(c.sql.substr(0, c.head.size()), c.head);
    // One quoted value per column, each at its full width.
    std::string values;
    for (std::string_view column : NtColumns(*c.table))
      values += (values.empty() ? "'" : ",'") + std::string((*c.table)[column].width, 'v') + "'";
    EXPECT_EQ(c.sql.substr(c.head.size() - 1), values + ")");
  }
}

TEST(UpdateStatements, SpellTheirSetListsAndFindTheOldKey) {
  struct Case {
    const Layout* table;
    std::string sql;
    std::string head;
    std::vector<std::string> pieces;  // spelled parts of the SET list
    std::string where;
  };
  const std::string b29(29, ' ');
  const Case cases[] = {
      {&layout::QV_EX, UpdateEnvironmentSql("", Filled(layout::QV_EX, 'e'), "E1"), "UPDATE QV_EX SET ENVTYPE ='e', DESCRIP ='eee",
       {"', HOLD ='e', SRCID ='eee', SRCTYPE ='e', TEMPO ='ee'", "', FILLER ='" + std::string(99, 'e') + "'"},
       " WHERE ENVID ='E1'"},
      {&layout::QV_CX, UpdateTargetSql("", Filled(layout::QV_CX, 't'), "E1", "T1"),
       "UPDATE QV_CX SET ENVID ='tt',TGTID ='ttt',DESCRIP ='ttt",
       {"',HOLD ='t',TGTTYPE ='t',", "',FILLER ='" + std::string(100, 't') + "'"},
       " WHERE ENVID ='E1' AND TGTID='T1 '"},
      {&layout::QV_FX, UpdateModelTableSql("", Filled(layout::QV_FX, 'x'), "E1", "M1", "0000000001"),
       "UPDATE QV_FX SET ENVID='xx', GRPID='xxx', FICID ='xxxxxxxxxx',",
       {"', LENRECOUT ='xxxxxxxxxx',NBRFIELDIN='xxxxx', FILLER ='"},
       " WHERE ENVID='E1' AND GRPID='M1 ' AND FICID ='0000000001'"},
      {&layout::QV_ZX, UpdateFieldSql("", Filled(layout::QV_ZX, 'z'), "E1", "M1", "0000000001", "F"),
       "UPDATE QV_ZX SET ENVID ='zz', GR", {"', ALLOWNULL ='z', KEYORDER ='zzzzz'"},
       " WHERE ENVID='E1' AND GRPID='M1 ' AND FICID ='0000000001' AND FIELDINPUT ='F" + b29 + "'"},
      {&layout::QV_FC, UpdateDistributedTableSql("", Filled(layout::QV_FC, 'f'), "E1", "T1", "M1", "7"),
       "UPDATE QV_FC SET ENVID ='ff', TGTID ='fff',", {},
       " WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID ='M1 ' AND FICID='7         '"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table->name);
    EXPECT_TRUE(c.sql.starts_with(c.head)) << c.sql;
    for (const std::string& piece : c.pieces) EXPECT_NE(c.sql.find(piece), std::string::npos) << piece;
    EXPECT_TRUE(c.sql.ends_with("'" + c.where)) << c.sql;
  }
}

TEST(ModelStatements, JoinsFollowTheDialect) {
  const std::string gxgc =
      "SELECT QV_GC.ENVID, QV_GC.TGTID, QV_GC.GRPID, QV_GX.GRPTYPE, QV_GX.DESCRIP, QV_GX.DSN_NAME, "
      "QV_GX.DSN_UID, QV_GX.DSN_PWD, QV_GX.FREQUENCY, QV_GX.MANDISTRI, QV_GX.ALLMBRDIST, "
      "QV_GX.ACCESMODE, QV_GX.SHAREDOPN, QV_GX.CONTERROR, QV_GX.REPAIR, QV_GX.CTRBEFORE, "
      "QV_GX.CLRPFM, QV_GX.RGZPFM, QV_GX.ADDPFM, QV_GX.RMVMBR, QV_GX.DLTF, QV_GC.HOLD";
  EXPECT_EQ(SelectDistributionWithModelSql(JoinDialect::Inner, "QV_USRDATA..", "E1", "T1", "M1"),
            gxgc +
                " FROM QV_USRDATA..QV_GC INNER JOIN QV_USRDATA..QV_GX ON (QV_GC.ENVID=QV_GX.ENVID) "
                "AND (QV_GC.GRPID=QV_GX.GRPID)  WHERE QV_GC.ENVID ='E1' AND QV_GC.TGTID ='T1 ' AND "
                "QV_GC.GRPID ='M1 '");
  EXPECT_EQ(SelectDistributionWithModelSql(JoinDialect::Oracle, "QV_USRDATA.", "E1", "T1", "M1"),
            gxgc +
                " FROM QV_USRDATA.QV_GC, QV_USRDATA.QV_GX WHERE QV_GC.ENVID (+)=QV_GX.ENVID AND "
                "QV_GC.GRPID (+)=QV_GX.GRPID  AND QV_GC.ENVID ='E1' AND QV_GC.TGTID ='T1 ' AND "
                "QV_GC.GRPID ='M1 '");

  // The joins of a distributed table with its model table, in both dialects,
  // are read back whole on the stores of every kind (DetailFC, the views).
  EXPECT_EQ(JoinDialectOf("Oracle"), JoinDialect::Oracle);
  EXPECT_EQ(JoinDialectOf("ODBC"), JoinDialect::Inner);
}

}  // namespace
}  // namespace qv
