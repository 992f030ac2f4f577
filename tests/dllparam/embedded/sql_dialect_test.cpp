// The SQL dialect adapter of the embedded NT sources.
#include "dllparam/embedded/sql_dialect.h"

#include <gtest/gtest.h>

namespace qv::embedded {
namespace {

struct Case {
  const char* name;
  SqlDialect dialect;
  const char* sql;
  const char* adapted;
};

const Case kCases[] = {
    {"sql server prefix", SqlDialect::SqlServer, "SELECT * FROM QV_USRDATA..QV_EX WHERE ENVID='A '",
     "SELECT * FROM QV_EX WHERE ENVID='A '"},
    {"oracle prefix", SqlDialect::Oracle, "SELECT * FROM QV_USRDATA.QV_EX", "SELECT * FROM QV_EX"},
    {"prefix in lower case", SqlDialect::Oracle, "select * from qv_usrdata.QV_EX", "select * from QV_EX"},
    {"prefix inside a literal stays", SqlDialect::SqlServer,
     "UPDATE QV_USRDATA..QV_EX SET DESCRIP='QV_USRDATA..QV_EX' WHERE ENVID='A'",
     "UPDATE QV_EX SET DESCRIP='QV_USRDATA..QV_EX' WHERE ENVID='A'"},
    {"delete without from", SqlDialect::SqlServer, "DELETE QV_USRDATA..QV_UID  WHERE ENVID ='A '",
     "DELETE FROM QV_UID  WHERE ENVID ='A '"},
    {"delete with from", SqlDialect::Odbc, "DELETE FROM QV_UID WHERE ENVID ='A '",
     "DELETE FROM QV_UID WHERE ENVID ='A '"},
    {"final semicolon", SqlDialect::Oracle, "SELECT 1 FROM QV_VER;", "SELECT 1 FROM QV_VER"},
    {"doubled quotes", SqlDialect::Odbc, "SELECT * FROM QV_EX WHERE DESCRIP='O''Hara; x'",
     "SELECT * FROM QV_EX WHERE DESCRIP='O''Hara; x'"},
    {"outer join of the distribution", SqlDialect::Oracle,
     "SELECT QV_GC.ENVID, QV_GX.DESCRIP FROM QV_USRDATA.QV_GC, QV_USRDATA.QV_GX WHERE QV_GC.ENVID (+)=QV_GX.ENVID "
     "AND QV_GC.GRPID (+)=QV_GX.GRPID  AND QV_GC.ENVID ='E1' AND QV_GC.TGTID ='T1 '",
     "SELECT QV_GC.ENVID, QV_GX.DESCRIP FROM QV_GX LEFT JOIN QV_GC ON (QV_GC.ENVID =QV_GX.ENVID AND "
     "QV_GC.GRPID =QV_GX.GRPID) WHERE QV_GC.ENVID ='E1' AND QV_GC.TGTID ='T1 '"},
    {"outer join with a parenthesised filter", SqlDialect::Oracle,
     "SELECT QV_FC.ENVID FROM QV_FC, QV_FX WHERE QV_FC.ENVID (+)=QV_FX.ENVID AND QV_FC.FICID (+)=QV_FX.FICID  "
     "AND ( QV_FC.ENVID ='E1' AND QV_FC.TGTID ='T1 ')",
     "SELECT QV_FC.ENVID FROM QV_FX LEFT JOIN QV_FC ON (QV_FC.ENVID =QV_FX.ENVID AND QV_FC.FICID =QV_FX.FICID) "
     "WHERE ( QV_FC.ENVID ='E1' AND QV_FC.TGTID ='T1 ')"},
    {"outer join mark on the right with aliases", SqlDialect::Oracle,
     "SELECT a.X FROM T1 a, T2 b WHERE a.K = b.K(+) ORDER BY a.X",
     "SELECT a.X FROM T1 a LEFT JOIN T2 b ON (a.K = b.K) ORDER BY a.X"},
};

TEST(Adapt, AdaptsEachStatementToTheStore) {
  for (const Case& c : kCases) EXPECT_EQ(AdaptSql(c.sql, c.dialect), c.adapted) << c.name;
}

TEST(Adapt, RefusesWhatItCannotServe) {
  for (const char* sql : {
           "SELECT * FROM QV_EX; DROP TABLE QV_EX",
           "SELECT * FROM A, B WHERE A.K (+)= B.K OR A.X = 1",
           "SELECT * FROM A, B WHERE K (+)= B.K",
           "SELECT * FROM A, B WHERE A.K (+)= B.K AND B.J (+)= A.J AND A.X = 1 AND B.Y(+) = 2 AND C.Z(+) = 3",
           "SELECT * FROM A JOIN B ON A.K = B.K WHERE A.K (+)= B.K",
           "SELECT * FROM A, B WHERE A.K (+)= B.K(+)",
       }) {
    EXPECT_THROW(AdaptSql(sql, SqlDialect::Oracle), SqlAdaptError) << sql;
  }
  // Other databases leave the mark to the store, which reports it.
  EXPECT_EQ(AdaptSql("SELECT * FROM A, B WHERE A.K (+)= B.K", SqlDialect::SqlServer),
            "SELECT * FROM A, B WHERE A.K (+)= B.K");
}

TEST(Adapt, CanonicalFormIgnoresCaseAndSpacingOutsideLiterals) {
  EXPECT_EQ(CanonicalSql("  exec   master..sp_helpdistributor ;"), "EXEC MASTER..SP_HELPDISTRIBUTOR");
  EXPECT_EQ(CanonicalSql("select /* x */ [a b], \"c\"\"d\" -- note\n from t where v = 'it''s  Ok' ; ;"),
            "SELECT [A B], \"C\"\"D\" FROM T WHERE V = 'it''s  Ok'");
  EXPECT_EQ(CanonicalSql("use db -- unterminated 'quote"), "USE DB");
  EXPECT_EQ(CanonicalSql("select 'open"), "SELECT 'open");
}

// The literals a statement gives up as parameters, and those it keeps.
TEST(Adapt, TakesTheStringLiteralsOfDataStatementsAsParameters) {
  struct Case {
    const char* sql;
    const char* adapted;
    std::vector<std::string> values;
  } cases[] = {
      {"DELETE QV_USRDATA.QV_FC WHERE ENVID='E1' AND DESCRIP='it''s'", "DELETE FROM QV_FC WHERE ENVID=?1 AND DESCRIP=?2",
       {"E1", "it's"}},
      {"select a AS 'A', 'x' from T where b = ''", "select a AS 'A', ?1 from T where b = ?2", {"x", ""}},
      {"INSERT INTO T (A) VALUES ('1', \"q\")", "INSERT INTO T (A) VALUES (?1, \"q\")", {"1"}},
      {"UPDATE T SET A='a' WHERE B='open", "UPDATE T SET A=?1 WHERE B='open", {"a"}},
      {"CREATE TABLE T (A CHAR(2) DEFAULT 'x')", "CREATE TABLE T (A CHAR(2) DEFAULT 'x')", {}},
      {"PRAGMA table_info('T')", "PRAGMA table_info('T')", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> values;
    EXPECT_EQ(AdaptSql(c.sql, SqlDialect::SqlServer, &values), c.adapted) << c.sql;
    EXPECT_EQ(values, c.values) << c.sql;
  }
}

// The shape of a statement finds its kept prepared form: it must empty
// exactly the literals the adapter takes, in order, and give up where the
// adapter could move them.
TEST(Shape, EmptiesEveryStringLiteralAndKeepsItsValue) {
  struct Case {
    const char* sql;
    SqlDialect dialect;
    bool shaped;
    const char* text;
    std::vector<std::string> values;
  } cases[] = {
      {"DELETE QV_USRDATA..QV_FC WHERE ENVID='E1' AND FICID='0000000001'", SqlDialect::SqlServer, true,
       "DELETE QV_USRDATA..QV_FC WHERE ENVID='' AND FICID=''", {"E1", "0000000001"}},
      {"UPDATE T SET D='it''s' WHERE K=''", SqlDialect::Odbc, true, "UPDATE T SET D='' WHERE K=''", {"it's", ""}},
      {"SELECT*FROM T WHERE A='x'AND B='''y'''", SqlDialect::Odbc, true, "SELECT*FROM T WHERE A=''AND B=''",
       {"x", "'y'"}},
      {"UPDATE T SET D='caf\xE9 \x80' WHERE N=\"\xE9'q\"", SqlDialect::SqlServer, true,
       "UPDATE T SET D='' WHERE N=\"\xE9'q\"", {"caf\xE9 \x80"}},
      {"SELECT A -- it's\n FROM [it's] /* 'x' */ WHERE B='1'", SqlDialect::SqlServer, true,
       "SELECT A -- it's\n FROM [it's] /* 'x' */ WHERE B=''", {"1"}},
      {"SELECT A FROM T WHERE B='open", SqlDialect::Odbc, false, "", {}},
      {"SELECT * FROM A, B WHERE A.X='1' AND A.K ( /* c */ + )= B.K", SqlDialect::Oracle, false, "", {}},
      {"SELECT * FROM A, B WHERE A.X='1' AND A.K (+)= B.K", SqlDialect::SqlServer, true,
       "SELECT * FROM A, B WHERE A.X='' AND A.K (+)= B.K", {"1"}},
      {"SELECT (+1), '(+)' FROM DUAL", SqlDialect::Oracle, true, "SELECT (+1), '' FROM DUAL", {"(+)"}},
  };
  for (const Case& c : cases) {
    SqlShape shape{"stale", {"stale"}};
    ASSERT_EQ(ShapeOfSql(c.sql, c.dialect, shape), c.shaped) << c.sql;
    if (!c.shaped) continue;
    EXPECT_EQ(shape.text, c.text) << c.sql;
    EXPECT_EQ(shape.values, c.values) << c.sql;
  }
}

// Statements of one shape whose literals all become parameters adapt to one
// text, with the values of the shape in order.
TEST(Shape, StatementsOfOneShapeAdaptToOneText) {
  const char* pairs[][2] = {
      {"DELETE QV_USRDATA..QV_FC WHERE ENVID='E1' AND FICID='it''s'",
       "DELETE QV_USRDATA..QV_FC WHERE ENVID='' AND FICID='x'"},
      {"select * from qv_usrdata..QV_GC where ENVID ='E1';", "select * from qv_usrdata..QV_GC where ENVID ='E2';"},
  };
  for (const auto& pair : pairs) {
    std::vector<std::string> texts, values[2];
    SqlShape shapes[2];
    for (int i = 0; i < 2; ++i) {
      ASSERT_TRUE(ShapeOfSql(pair[i], SqlDialect::SqlServer, shapes[i])) << pair[i];
      texts.push_back(AdaptSql(pair[i], SqlDialect::SqlServer, &values[i]));
      EXPECT_EQ(values[i], shapes[i].values) << pair[i];
    }
    EXPECT_EQ(shapes[0].text, shapes[1].text) << pair[0];
    EXPECT_EQ(texts[0], texts[1]) << pair[0];
  }
}

TEST(Shape, DataChangesAreToldByTheirFirstWord) {
  const std::pair<const char*, bool> cases[] = {
      {"delete from T", true},        {"  /* c */ -- x\n Insert into T", true}, {"UPDATE", true},
      {"update;", true},              {"DELETED FROM T", false},                {"SELECT * FROM T", false},
      {"\"DELETE\" FROM T", false},   {"EXEC sp_who", false},                   {"", false},
      {"-- DELETE FROM T", false},
  };
  for (const auto& [sql, change] : cases) EXPECT_EQ(IsDataChange(sql), change) << sql;
}

}  // namespace
}  // namespace qv::embedded
