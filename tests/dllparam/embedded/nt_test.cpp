// SQL side of the embedded NT sources (plain ODBC, SQL Server, Oracle):
// logins, the end of block reads, units of work, statements refused or run
// again, settings and the statements each database answers itself.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "dllparam/source_library.h"
#include "support/lib_client.h"
#include "support/topology.h"
#include "store/sqltext.h"
#include "support/embedded_store.h"
#include "support/scratch.h"

namespace qv::test {
namespace {

using embedded::SourceKind;
namespace L = layout;

class NtTest : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    conn = client.Open(store.address());
    ASSERT_GT(conn, 0) << client.Error().text;
    ASSERT_TRUE(client.Login(GetParam().login)) << client.Error().text;
  }

  std::string P() const { return GetParam().prefix; }

  EmbeddedStore store{GetParam().store};
  LibClient client;
  int32_t conn = 0;
};

TEST_P(NtTest, StatementsNeedALoginAndWrongCredentialsAreRefused) {
  LibClient fresh;
  ASSERT_GT(fresh.Open(store.address()), 0);
  EXPECT_FALSE(fresh.Sread("SELECT * FROM " + P() + "QV_VER"));
  EXPECT_EQ(fresh.last.code, DllParam::kCodeRefused);
  EXPECT_NE(fresh.last.text.find("ConnectDSN"), std::string::npos);

  std::string out(DllParam::kDsnMessageBuffer, ' ');
  std::string wrong = GetParam().login;
  wrong.replace(wrong.rfind("PWD=QVADMIN"), 11, "PWD=nope");
  EXPECT_FALSE(fresh.lib().ConnectDSN(wrong, " ", " ", out));
  EXPECT_NE(std::string(dllparam::CutAtNul(out)).find("Login failed"), std::string::npos);
  EXPECT_EQ(out.size(), static_cast<size_t>(DllParam::kDsnMessageBuffer));
  EXPECT_FALSE(fresh.Login("DSN=NOWHERE;UID=A;PWD=B"));
  EXPECT_EQ(fresh.Error().code, DllParam::kCodeRefused);
}

TEST_P(NtTest, ABlockReadAfterTheLastBlockFindsNothing) {
  for (const char* env : {"B1", "B2"}) ASSERT_TRUE(client.Saction(SqlInsert(P(), Record(L::QV_EX, Ex(env, "P", "x")))));
  int32_t h = -1, len = 0, flag = 0;
  std::string buf(4096, ' ');
  ASSERT_TRUE(client.lib().Sreadblock(h, buf, len, "SELECT * FROM " + P() + "QV_EX", "1", flag));
  EXPECT_EQ(len, static_cast<int32_t>(2 * L::QV_EX.length));
  while (flag) ASSERT_TRUE(client.lib().Sreadblock(h, buf, len, "", "0", flag));
  EXPECT_FALSE(client.lib().Sreadblock(h, buf, len, "", "0", flag));
  EXPECT_EQ(client.Error().code, DllParam::kCodeNotFound);
  EXPECT_EQ(len, 0);
  client.lib().Rclose(h);
}

TEST_P(NtTest, WriterWaitsBoundedlyForAnOpenUnitThenReportsBusy) {
  LibClient other;
  other.Source().Embedded().SetBusyTimeoutMs(50);
  ASSERT_GT(other.Open(store.address()), 0);
  ASSERT_TRUE(other.Login(GetParam().login));
  ASSERT_TRUE(client.lib().SetConnectOption(DllParam::kOptionBeginChange));
  ASSERT_TRUE(client.Saction(SqlInsert(P(), Record(L::QV_EX, Ex("B1", "P", "held")))));
  EXPECT_FALSE(other.Saction(SqlInsert(P(), Record(L::QV_EX, Ex("B2", "P", "waits")))));
  EXPECT_EQ(ErrorOf(other.lib()), "busy 0 source store busy");
  // Closing a connection does not wait for the unit of another.
  LibClient third;
  int32_t t = third.Open(store.address());
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(third.lib().CloseMConnection(t));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  ASSERT_TRUE(client.lib().SetConnectOption(DllParam::kOptionEndChange));
  EXPECT_TRUE(other.Saction(SqlInsert(P(), Record(L::QV_EX, Ex("B2", "P", "waits")))));
}

TEST_P(NtTest, InternalTablesAndStatementsThatReachOutsideTheStoreAreRefused) {
  Scratch dir;
  const std::string out = dir / "copy.db";
  for (const std::string& sql : std::vector<std::string>{
           "SELECT * FROM qvs_setting", "DELETE FROM qvs_lock", "PRAGMA user_version", "BEGIN TRANSACTION",
           "ATTACH DATABASE '" + out + "' AS other", "DETACH DATABASE main", "VACUUM INTO '" + out + "'",
           "  /* note */ vacuum main into '" + out + "'", "VACUUM", "PRAGMA main.journal_mode=DELETE",
           "SELECT load_extension('" + dir.path() + "/x')", "CREATE VIRTUAL TABLE t USING fts5(a)",
           "INSERT INTO " + P() + "QV_EX (ENVID) VALUES ('Q1'); DROP TABLE QV_EX"}) {
    EXPECT_FALSE(client.Saction(sql)) << sql;
    EXPECT_EQ(client.Error().code, DllParam::kCodeRefused) << sql << ": " << client.Error().text;
    EXPECT_FALSE(client.Sread(sql)) << sql;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "a statement wrote beside the store";
  EXPECT_FALSE(client.Sread("SELECT nosuchcolumn FROM " + P() + "QV_EX"));
  EXPECT_NE(client.last.text.find("nosuchcolumn"), std::string::npos) << client.last.text;
  EXPECT_TRUE(client.Saction(SqlInsert(P(), Record(L::QV_EX, Ex("V1", "P", "still served"))))) << client.last.text;
  EXPECT_EQ(client.Sread("SELECT COUNT(*) FROM " + P() + "QV_EX"), "1") << "a refused statement ran in part";
}

TEST_P(NtTest, AStatementRunAgainSeesTheStoreAsItIsNow) {
  const std::string count = "SELECT COUNT(*) FROM " + P() + "QV_EX";
  const std::string insert = SqlInsert(P(), Record(L::QV_EX, Ex("K1", "P", "kept")));
  EXPECT_EQ(client.Sread(count), "0");
  ASSERT_TRUE(client.Saction(insert)) << client.last.text;
  EXPECT_EQ(client.Sread(count), "1");
  EXPECT_FALSE(client.Saction(insert)) << "the same insert runs again and meets its own row";

  // A table that changes between two runs of one text gives its new columns.
  ASSERT_TRUE(client.Saction("CREATE TABLE KT (A CHAR(2))")) << client.last.text;
  ASSERT_TRUE(client.Saction("INSERT INTO KT (A) VALUES ('x')")) << client.last.text;
  EXPECT_EQ(client.Sread("SELECT * FROM KT"), "x ");
  ASSERT_TRUE(client.Saction("ALTER TABLE KT ADD COLUMN B CHAR(3)")) << client.last.text;
  ASSERT_TRUE(client.Saction("UPDATE KT SET B = 'yyy'")) << client.last.text;
  EXPECT_EQ(client.Sread("SELECT * FROM KT"), "x yyy");

  // A text that names an internal table once a view takes the table's name is
  // refused, however often it ran before.
  ASSERT_TRUE(client.Saction("DROP TABLE KT")) << client.last.text;
  ASSERT_TRUE(client.Saction("CREATE VIEW KT AS SELECT owner AS A FROM qvs_lock")) << client.last.text;
  EXPECT_FALSE(client.Sread("SELECT * FROM KT"));
  EXPECT_EQ(client.last.code, DllParam::kCodeRefused) << client.last.text;

  // Many other statements later, the first still runs.
  for (int i = 0; i < 40; ++i) EXPECT_EQ(client.Sread("SELECT " + std::to_string(i)), std::to_string(i));
  EXPECT_EQ(client.Sread(count), "1");
}

// Statements that differ only in their values share one prepared form; a
// literal that names a column, and a literal left open, stay as written.
TEST_P(NtTest, StatementsOfOneShapeEachFindTheirOwnValues) {
  ASSERT_TRUE(client.Saction(SqlInsert(P(), Record(L::QV_EX, Ex("K2", "P", "other"))))) << client.last.text;
  EXPECT_EQ(client.Sread("SELECT ENVID 'E' FROM " + P() + "QV_EX WHERE ENVID='K2'"), "K2");
  EXPECT_FALSE(client.Sread("SELECT ENVID FROM " + P() + "QV_EX WHERE ENVID='K1"));
  EXPECT_NE(client.last.text.find("unrecognized token"), std::string::npos) << client.last.text;

  // An Oracle outer join moves its marked conditions before the others: a
  // statement whose values happen to read alike in both orders must not make
  // the next one of its shape bind its values as written.
  if (GetParam().store != SourceKind::Oracle) return;
  ASSERT_TRUE(client.Saction(SqlInsert(P(), Record(L::QV_EX, Ex("K3", "P", "K3"))))) << client.last.text;
  auto joined = [&](const std::string& env, const std::string& descrip) {
    return client.Sread("SELECT B.ENVID, A.ENVID FROM " + P() + "QV_EX A, " + P() + "QV_EX B WHERE B.ENVID = '" +
                        env + "' AND A.ENVID (+)= B.ENVID AND A.DESCRIP (+)= '" + descrip + "'");
  };
  for (const auto& [env, descrip, found] : {std::tuple{"K3", "K3", "K3K3"}, {"K2", "K3", "K2  "}, {"K3", "K2", "K3  "}}) {
    auto row = joined(env, descrip);
    ASSERT_TRUE(row) << client.last.text;
    EXPECT_EQ(row->substr(0, 4), found) << env << " " << descrip;
  }
}

// The statements each database answers itself: on Oracle the two session
// statements every login sends (taken by the login) and no other, on SQL
// Server its own database and the procedures it knows.
TEST_P(NtTest, StatementsEachDatabaseAnswersItself) {
  if (GetParam().store == SourceKind::Oracle) {
    EXPECT_FALSE(client.Saction("alter session set current_schema=someone_else"));
    EXPECT_FALSE(client.Saction("alter session set sql_trace=true"));
    EXPECT_FALSE(client.Saction("use QV_USRDATA"));
  }
  if (GetParam().store != SourceKind::SQLServer) return;
  EXPECT_FALSE(client.Saction("use OTHERDB"));
  EXPECT_NE(client.Error().text.find("OTHERDB"), std::string::npos);
  EXPECT_FALSE(client.Sread("exec master..sp_nosuch"));
  EXPECT_NE(client.last.text.find("Could not find stored procedure"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Kinds, NtTest, NtKinds(), KindName);

}  // namespace
}  // namespace qv::test
