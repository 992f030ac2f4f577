// SQL text of models, model tables, fields, mappings, distributions and
// distributed tables: the spelled pieces, the generated column lists, the
// joins of each dialect and the quoting.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "store/record_layouts.h"
#include "store/records.h"
#include "store/distribution_statements.h"
#include "store/model_statements.h"

namespace qv {
namespace {

// Returns the columns named between the first "(" and the next ")".
std::vector<std::string> InsertColumns(const std::string& sql) {
  const auto open = sql.find('(');
  const auto close = sql.find(')', open);
  std::vector<std::string> out;
  std::stringstream in(sql.substr(open + 1, close - open - 1));
  for (std::string col; std::getline(in, col, ',');) {
    col.erase(0, col.find_first_not_of(' '));
    col.erase(col.find_last_not_of(' ') + 1);
    out.push_back(col);
  }
  return out;
}

std::vector<std::string> Columns(const Layout& table) {
  std::vector<std::string> out;
  for (std::string_view c : NtColumns(table)) out.emplace_back(c);
  return out;
}

// Returns the columns a SET list names, in order.
std::vector<std::string> SetNames(const std::string& sql) {
  std::vector<std::string> out;
  std::string rest = sql.substr(sql.find(" SET ") + 5, sql.find(" WHERE ") - sql.find(" SET ") - 5);
  // Values hold no quotes here, so every value is the text between two quotes.
  std::size_t at = 0;
  while (at < rest.size()) {
    const auto eq = rest.find('=', at);
    std::string name = rest.substr(at, eq - at);
    name.erase(0, name.find_first_not_of("', "));
    name.erase(name.find_last_not_of(' ') + 1);
    out.push_back(name);
    const auto open = rest.find('\'', eq);
    at = rest.find('\'', open + 1) + 1;
  }
  return out;
}

Record Filled(const Layout& table, char c = 'v') {
  Record r(table);
  for (std::size_t i = 0; i < table.fields.size(); ++i) r.Set(i, std::string(table.fields[i].width, c));
  return r;
}

TEST(ModelStatements, KeyedReadsSpellTheirPieces) {
  EXPECT_EQ(SelectModelSql("QV_USRDATA..", "E1", "M1"),
            "SELECT * FROM QV_USRDATA..QV_GX WHERE ENVID='E1' AND GRPID='M1 '");
  EXPECT_EQ(SelectModelTableSql("", "E1", "M1", "0000000001"),
            "SELECT * FROM QV_FX WHERE ENVID='E1' AND GRPID ='M1 ' AND FICID='0000000001'");
  EXPECT_EQ(SelectFieldSql("QV_USRDATA.", "E1", "M1", "0000000001", "CUSTNO"),
            "SELECT * FROM QV_USRDATA.QV_ZX WHERE ENVID='E1' AND GRPID ='M1 ' AND FICID='0000000001'"
            " AND FIELDINPUT='CUSTNO                        '");
  EXPECT_EQ(SelectDistributionSql("", "E1", "T1", "M1"),
            "SELECT * FROM QV_GC WHERE ENVID='E1' AND TGTID ='T1 ' AND GRPID ='M1 '");
  EXPECT_EQ(SelectDistributedTableSql("", "E1", "T1", "M1", "0000000001"),
            "SELECT * FROM QV_FC WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID ='M1 ' AND FICID = '0000000001'");
}

TEST(ModelStatements, InsertsNameEveryNtColumnInRecordOrder) {
  struct Case {
    const Layout* table;
    std::string sql;
    std::string head;
  };
  const Case cases[] = {
      {&layout::QV_GX, InsertModelSql("QV_USRDATA..", Filled(layout::QV_GX)),
       "INSERT INTO QV_USRDATA..QV_GX (ENVID, GRPID, DESCRIP, HOLD, GRPTYPE, DSN_NAME, DSN_UID, "
       "DSN_PWD,FREQUENCY, "},
      {&layout::QV_FX, InsertModelTableSql("", Filled(layout::QV_FX)),
       "INSERT INTO QV_FX (ENVID, GRPID, FICID, OCCUR, SRCTBL, DESCRIP, NUMSEQ, TYPE, HOLD, "},
      {&layout::QV_ZC, InsertMappingSql("", Filled(layout::QV_ZC)),
       "INSERT INTO QV_ZC (ENVID, TGTID, GRPID, FICID, FIELDINPUT, FIELDOUT)  VALUES('"},
      {&layout::QV_GC, InsertDistributionSql("", Filled(layout::QV_GC)),
       "INSERT INTO QV_GC (ENVID, TGTID, GRPID, HOLD, SCHEDULED, STOPEND_QV, TGTBDTYPE, "},
      {&layout::QV_FC, InsertDistributedTableSql("", Filled(layout::QV_FC)),
       "INSERT INTO QV_FC (ENVID, TGTID, GRPID, FICID, OCCUR, NUMSEQ, NEW, HOLD, "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table->name);
    EXPECT_EQ(c.sql.substr(0, c.head.size()), c.head);
    EXPECT_EQ(InsertColumns(c.sql), Columns(*c.table));
    // One quoted value per column, each at its full width.
    const std::string values = c.sql.substr(c.sql.find("VALUES(") + 7);
    EXPECT_EQ(static_cast<std::size_t>(std::count(values.begin(), values.end(), '\'')),
              2 * Columns(*c.table).size());
  }
  // The spelled spacing of the column lists.
  const std::string fx = InsertModelTableSql("", Filled(layout::QV_FX));
  EXPECT_NE(fx.find("REPAIR,CTRBEFORE,"), std::string::npos);
  EXPECT_NE(fx.find("CLRBEFORE,X, Y,LENRECOUT,NBRFIELDIN, FILLER) VALUES('"), std::string::npos);
  const std::string gx = InsertModelSql("", Filled(layout::QV_GX));
  EXPECT_NE(gx.find("DLTF, X, Y,FILLER)  VALUES('"), std::string::npos);
  const std::string gc = InsertDistributionSql("", Filled(layout::QV_GC));
  EXPECT_NE(gc.find("REPRISEPNT, X, Y,LOADWITHTXTFILE,PATHFORTXTFILE,FILLER) VALUES('"), std::string::npos);
  const std::string fc = InsertDistributedTableSql("", Filled(layout::QV_FC));
  EXPECT_NE(fc.find("CONTERROR,REPAIR, CTRBEFORE"), std::string::npos);
  EXPECT_NE(fc.find("INSTDELETE,CLRBEFORE, CLRSPEC"), std::string::npos);
  EXPECT_NE(fc.find("X, Y, FILLER ) VALUES('"), std::string::npos);
}

TEST(ModelStatements, UpdatesSetEveryColumnInTheSameForm) {
  Record gx = Filled(layout::QV_GX, 'g');
  const std::string sql = UpdateModelSql("QV_USRDATA..", gx, "E1", "M1");
  EXPECT_EQ(sql.substr(0, 46), "UPDATE QV_USRDATA..QV_GX SET ENVID ='gg', GRPI");
  EXPECT_NE(sql.find("', GRPID ='ggg', DESCRIP ='"), std::string::npos);
  EXPECT_NE(sql.find("', DSN_UID ='gggggggggg', DSN_PWD ='gggggggggg', FREQUENCY ='"), std::string::npos);
  EXPECT_EQ(sql.substr(sql.find("', FILLER ='")).substr(112),
            "' WHERE ENVID='E1' AND GRPID='M1 '");
  EXPECT_EQ(SetNames(sql), Columns(layout::QV_GX));

  const std::string zx = UpdateFieldSql("", Filled(layout::QV_ZX, 'z'), "E1", "M1", "0000000001", "F");
  EXPECT_EQ(zx.substr(0, 32), "UPDATE QV_ZX SET ENVID ='zz', GR");
  EXPECT_NE(zx.find("', ALLOWNULL ='z', KEYORDER ='zzzzz' WHERE ENVID='E1' AND GRPID='M1 ' AND "
                    "FICID ='0000000001' AND FIELDINPUT ='F                             '"),
            std::string::npos);
  EXPECT_EQ(SetNames(zx), Columns(layout::QV_ZX));

  const std::string gc = UpdateDistributionSql("", Filled(layout::QV_GC, 'c'), "E1", "T1", "M1");
  EXPECT_EQ(gc.substr(0, 29), "UPDATE QV_GC SET ENVID ='cc',");
  EXPECT_NE(gc.find("' WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID='M1 '"), std::string::npos);
  EXPECT_EQ(SetNames(gc), Columns(layout::QV_GC));

  const std::string fc = UpdateDistributedTableSql("", Filled(layout::QV_FC, 'f'), "E1", "T1", "M1", "7");
  EXPECT_EQ(fc.substr(0, 43), "UPDATE QV_FC SET ENVID ='ff', TGTID ='fff',");
  EXPECT_NE(fc.find("' WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID ='M1 ' AND FICID='7         '"),
            std::string::npos);
  EXPECT_EQ(SetNames(fc), Columns(layout::QV_FC));
}

TEST(ModelStatements, ModelTableAndMappingUpdatesKeepTheirOwnSpelling) {
  const std::string fx = UpdateModelTableSql("", Filled(layout::QV_FX, 'x'), "E1", "M1", "0000000001");
  EXPECT_EQ(fx.substr(0, 62), "UPDATE QV_FX SET ENVID='xx', GRPID='xxx', FICID ='xxxxxxxxxx',");
  EXPECT_NE(fx.find("', LENRECOUT ='xxxxxxxxxx',NBRFIELDIN='xxxxx', FILLER ='"), std::string::npos);
  EXPECT_NE(fx.find("' WHERE ENVID='E1' AND GRPID='M1 ' AND FICID ='0000000001'"), std::string::npos);
  EXPECT_EQ(SetNames(fx), Columns(layout::QV_FX));

  Record zc(layout::QV_ZC);
  zc.Set("ENVID", "E1");
  zc.Set("TGTID", "T1");
  zc.Set("GRPID", "M1");
  zc.Set("FICID", "0000000001");
  zc.Set("FIELDINPUT", "A");
  zc.Set("FIELDOUT", "B");
  const std::string b29(29, ' ');
  EXPECT_EQ(UpdateMappingSql("", zc, "E1", "T1", "M1", "0000000001", "A"),
            "UPDATE QV_ZC SET ENVID ='E1',TGTID='T1 ',GRPID='M1 ',FICID ='0000000001',FIELDINPUT='A" +
                b29 + "',FIELDOUT ='B" + b29 +
                "' WHERE ENVID='E1' AND TGTID ='T1 ' AND GRPID ='M1 ' AND FICID ='0000000001' "
                "AND FIELDINPUT = 'A" + b29 + "'");
  EXPECT_EQ(DeleteMappingSql("QV_USRDATA.", "E1", "T1", "M1", "0000000001", "A"),
            "DELETE FROM QV_USRDATA.QV_ZC WHERE ENVID='E1' AND TGTID ='T1 ' AND GRPID='M1 ' AND "
            "FICID ='0000000001' AND FIELDINPUT='A" + b29 + "'");
}

TEST(ModelStatements, HoldPositionAndRecoveryStatements) {
  EXPECT_EQ(HoldModelTableSql("", "1", "E1", "M1", "0000000001"),
            "UPDATE QV_FX SET HOLD ='1' WHERE ENVID ='E1' AND GRPID='M1 ' AND FICID='0000000001'");
  EXPECT_EQ(HoldDistributionSql("QV_USRDATA..", "0", "E1", "T1", "M1"),
            "UPDATE QV_USRDATA..QV_GC SET HOLD ='0' WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID='M1 '");
  EXPECT_EQ(HoldDistributedTableSql("", "1", "E1", "T1", "M1", "0000000001"),
            "UPDATE QV_FC SET HOLD ='1' WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID='M1 ' AND "
            "FICID='0000000001'");
  EXPECT_EQ(DistributionPositionSql("", "0000000012", "-000000003", "E1", "T1", "M1"),
            "UPDATE QV_GC SET X='0000000012',Y='-000000003' WHERE ENVID='E1' AND TGTID ='T1 ' AND "
            "GRPID ='M1 '");
  EXPECT_EQ(ResetRecoveryPointSql("", "E1", "T1", "M1", "0000000001"),
            "UPDATE QV_FC SET REPRISETYP ='C', REPRISEPNT='0000000000' WHERE ENVID ='E1' AND "
            "TGTID='T1 ' AND GRPID='M1 ' AND FICID='0000000001'");
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

  const std::string fcfx = SelectDistributedTableWithModelTableSql(JoinDialect::Inner, "", "E1", "T1",
                                                                   "M1", "0000000001");
  EXPECT_EQ(fcfx.substr(0, 96),
            "SELECT QV_FC.ENVID, QV_FC.TGTID, QV_FC.GRPID, QV_FC.FICID, QV_FC.OCCUR, QV_FX.SRCTBL, QV_FX.TYPE");
  EXPECT_NE(fcfx.find("QV_FC.TGTPGM, QV_FX.TGTLIB, QV_FX.TGTFILE, QV_FX.TGTMBR, QV_FX.QV_TRANSFORM, "
                      "QV_FC.ACCESMODE"),
            std::string::npos);
  EXPECT_EQ(fcfx.substr(fcfx.find(" FROM ")),
            " FROM QV_FC INNER JOIN QV_FX ON (QV_FC.ENVID=QV_FX.ENVID) AND (QV_FC.GRPID=QV_FX.GRPID) "
            "AND (QV_FC.FICID=QV_FX.FICID)  WHERE ( QV_FC.ENVID ='E1' AND QV_FC.TGTID ='T1 ' AND "
            "QV_FC.GRPID ='M1 ' AND QV_FC.FICID ='0000000001')");
  const std::string ora = SelectDistributedTableWithModelTableSql(JoinDialect::Oracle, "QV_USRDATA.",
                                                                  "E1", "T1", "M1", "0000000001");
  EXPECT_EQ(ora.substr(ora.find(" FROM ")),
            " FROM QV_USRDATA.QV_FC, QV_USRDATA.QV_FX WHERE QV_FC.ENVID (+)=QV_FX.ENVID AND "
            "QV_FC.GRPID (+)=QV_FX.GRPID AND QV_FC.FICID (+)=QV_FX.FICID  AND ( QV_FC.ENVID ='E1' "
            "AND QV_FC.TGTID ='T1 ' AND QV_FC.GRPID ='M1 ' AND QV_FC.FICID ='0000000001')");
  const std::string list = ListTablesOfDistributionWithModelSql(JoinDialect::Oracle, "", "E1", "T1", "M1");
  EXPECT_EQ(list.substr(list.find(" AND ( ")),
            " AND ( QV_FC.ENVID ='E1' AND QV_FC.TGTID ='T1 ' AND QV_FC.GRPID ='M1 ') ORDER BY QV_FC.FICID");
  EXPECT_EQ(JoinDialectOf("Oracle"), JoinDialect::Oracle);
  EXPECT_EQ(JoinDialectOf("ODBC"), JoinDialect::Inner);
}

TEST(ModelStatements, ValuesAreCutBeforeTheirQuotesAreDoubled) {
  Record gx(layout::QV_GX);
  gx.Set("ENVID", "E1");
  gx.Set("GRPID", "M'1");
  // A description whose 30th character is a quote: the cut keeps the whole
  // quote, which is then doubled.
  gx.Set("DESCRIP", std::string(29, 'a') + "'tail");
  const std::string sql = InsertModelSql("", gx);
  EXPECT_NE(sql.find("'E1','M''1','" + std::string(29, 'a') + "''','"), std::string::npos);
  EXPECT_EQ(SelectModelSql("", "E1", "M'1"), "SELECT * FROM QV_GX WHERE ENVID='E1' AND GRPID='M''1'");
  // A code longer than its field is cut first: "O'REILLY" keeps "O'R".
  EXPECT_EQ(SqlCode("O'REILLY", 3), "O''R");
  EXPECT_EQ(SqlCode("a'", 3), "a'' ");
  // Lower case and blanks are sent as given.
  EXPECT_EQ(SelectModelSql("", "e1", " m"), "SELECT * FROM QV_GX WHERE ENVID='e1' AND GRPID=' m '");
}

TEST(ModelStatements, DistributionStatementsNeverNameTheReceiverLibrary) {
  Record gc = Filled(layout::QV_GC, 'c');
  gc.Set("REPRISELIB", "RCVLIB9999");
  Record fc = Filled(layout::QV_FC, 'f');
  fc.Set("REPRISELIB", "RCVLIB9999");
  for (const std::string& sql :
       {InsertDistributionSql("", gc), UpdateDistributionSql("", gc, "E1", "T1", "M1"),
        InsertDistributedTableSql("", fc), UpdateDistributedTableSql("", fc, "E1", "T1", "M1", "1")}) {
    EXPECT_EQ(sql.find("REPRISELIB"), std::string::npos) << sql;
    EXPECT_EQ(sql.find("RCVLIB9999"), std::string::npos) << sql;
  }
}

TEST(ModelStatements, RecordsOfAnotherLayoutAreRefused) {
  const Record gc(layout::QV_GC);
  EXPECT_THROW(InsertModelSql("", gc), std::invalid_argument);
  EXPECT_THROW(UpdateDistributedTableSql("", gc, "E1", "T1", "M1", "1"), std::invalid_argument);
  EXPECT_THROW(SetColumns(Record(layout::DistributionKey)), std::invalid_argument);
}

}  // namespace
}  // namespace qv
