// The ODBC source over real databases: SQLite through its ODBC driver and
// PostgreSQL through its own (skipped when scripts/pg did not start one).
// Each database gets a fresh store with the demo topology, which reads back
// as the embedded source's demo does.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <stdexcept>

#include "dllparam/embedded/embedded_source.h"
#include "dllparam/odbc/odbc_source.h"
#include "dllparam/odbc/odbc_store.h"
#include "presentation/strutil.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "store/sqltext.h"
#include "support/embedded_store.h"
#include "support/lib_client.h"
#include "support/odbc_databases.h"
#include "support/scratch.h"
#include "support/topology.h"

namespace qv::test {
namespace {

// Names the database a test runs on: "SQLITE" or "POSTGRESQL".
std::string NameOf(const testing::TestParamInfo<std::string>& info) { return info.param; }

// Every row of every configuration table as the library reads it, by table.
std::map<std::string, std::vector<std::string>> Images(LibClient& client) {
  std::map<std::string, std::vector<std::string>> out;
  for (const Layout* t : StoreTables()) {
    std::string order;
    for (const Field& f : t->Key()) order += (order.empty() ? "" : ", ") + std::string(f.column);
    const std::string sql = "SELECT * FROM " + std::string(t->table) + (order.empty() ? "" : " ORDER BY " + order);
    out[std::string(t->table)] = client.SreadAll(sql, NtRowLength(*t));
  }
  return out;
}

class OdbcSourceTest : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "POSTGRESQL") {
      QV_SKIP_WITHOUT_POSTGRES();
      connect_ = *PostgresConnect();
    } else {
      ASSERT_FALSE(SqliteOdbcDriver().empty()) << "no SQLite ODBC driver (scripts/setup installs libsqliteodbc)";
      connect_ = SqliteConnect(scratch_ / "store.db");
    }
    odbc::OdbcStoreOptions options;
    options.demo = true;
    options.force = true;
    ASSERT_NO_THROW(odbc::CreateOdbcStore(connect_, options));
    client_ = std::make_unique<LibClient>(kOdbc, std::make_unique<odbc::OdbcSource>());
    ASSERT_NE(client_->Open("odbc:" + connect_), 0) << ErrorOf(client_->lib());
    ASSERT_TRUE(client_->Login(connect_)) << ErrorOf(client_->lib());
    for (const char* t : {"T_BLOCK", "T_MADE"}) client_->Saction(std::string("DROP TABLE IF EXISTS ") + t);
  }

  LibClient& db() { return *client_; }
  // Opens a second, independent connection to the same database.
  std::unique_ptr<LibClient> Second() {
    auto c = std::make_unique<LibClient>(kOdbc, std::make_unique<odbc::OdbcSource>());
    EXPECT_NE(c->Open("odbc:" + connect_), 0);
    EXPECT_TRUE(c->Login(connect_)) << ErrorOf(c->lib());
    return c;
  }
  std::size_t Count(const std::string& table, const std::string& where = "") {
    auto row = Second()->Sread("SELECT COUNT(*) FROM " + table + (where.empty() ? "" : " WHERE " + where));
    return row ? std::stoul(*row) : 9999;
  }

  Scratch scratch_{"qv-odbc"};
  std::string connect_;
  std::unique_ptr<LibClient> client_;
};

TEST_P(OdbcSourceTest, TheDemoStoreReadsBackAsTheEmbeddedSourceReadsIt) {
  EmbeddedStore embedded(embedded::SourceKind::ODBC, /*demo=*/true);
  LibClient reference(kOdbc);
  ASSERT_TRUE(reference.Connect(embedded.address()));
  // A second creation without force is refused and leaves the store as it was.
  EXPECT_THROW(odbc::CreateOdbcStore(connect_, {}), std::runtime_error);
  const auto expected = Images(reference);
  const auto got = Images(db());
  for (const auto& [table, rows] : expected) EXPECT_EQ(got.at(table), rows) << table;
  EXPECT_GT(expected.at("QV_EX").size(), 0u);
}

TEST_P(OdbcSourceTest, BlocksHoldWholeRowsPaddedToTheirColumnSizeWithNullsAsBlanks) {
  ASSERT_TRUE(db().Saction("CREATE TABLE T_BLOCK (K CHAR(5) NOT NULL PRIMARY KEY, V VARCHAR(300), E CHAR(1))"));
  ASSERT_TRUE(db().Option(DllParam::kOptionBeginChange));
  std::vector<std::string> expected;
  for (int i = 0; i < 40; ++i) {
    char key[6];
    std::snprintf(key, sizeof key, "%05d", i);
    // Odd rows leave V null.
    const std::string v = i % 2 ? "NULL" : "'v'";
    ASSERT_TRUE(db().Saction(std::string("INSERT INTO T_BLOCK (K, V, E) VALUES ('") + key + "', " + v + ", 'e')"));
    expected.push_back(std::string(key) + (i % 2 ? " " : "v") + std::string(299, ' ') + "e");
  }
  ASSERT_TRUE(db().Option(DllParam::kOptionEndChange));
  std::vector<int32_t> blocks;
  EXPECT_EQ(db().SreadAll("SELECT K, V, E FROM T_BLOCK ORDER BY K", 306, &blocks), expected);
  // 4096 bytes hold 13 rows of 306: blocks of 13, 13, 13 and 1.
  EXPECT_EQ(blocks, (std::vector<int32_t>{13 * 306, 13 * 306, 13 * 306, 306}));
}

TEST_P(OdbcSourceTest, FailedStatementsAndOpensGiveTheDriversTextAndSqlstate) {
  EXPECT_FALSE(db().Sread("SELECT * FROM QV_NO_SUCH_TABLE"));
  EXPECT_EQ(db().last.code, DllParam::kCodeRefused);
  EXPECT_NE(db().last.text.find("(SQLSTATE "), std::string::npos) << db().last.text;
  EXPECT_FALSE(db().Saction("INSERT INTO QV_VER (NO_SUCH_COLUMN) VALUES ('1')"));
  EXPECT_EQ(db().Error().code, DllParam::kCodeRefused);
  // Nothing found is no failure.
  EXPECT_FALSE(db().Sread("SELECT * FROM QV_EX WHERE ENVID='##'"));
  EXPECT_EQ(db().last.code, DllParam::kCodeNotFound);

  // Opening a file checks that its table exists.
  ASSERT_TRUE(db().Saction("DROP TABLE QV_END"));
  const struct {
    const char* file;
    const char* table;  // the table named in the refusal; nullptr: the file opens
  } cases[] = {
      {" ", nullptr},        {"QV_EX", nullptr},         {"qv_gc", nullptr},
      {"QV_EX_L0", nullptr}, {"QV_END_L0", "QV_END"},    {"QV_NO_SUCH", "QV_NO_SUCH"},
  };
  for (const auto& c : cases) {
    int32_t h = -1;
    const bool opened = db().lib().Ropen(c.file, " ", h) != 0;
    EXPECT_EQ(opened, c.table == nullptr) << c.file << ": " << db().Error().text;
    if (opened) {
      EXPECT_TRUE(db().lib().Rclose(h)) << c.file;
    }
    if (opened || !c.table) continue;
    const LibError e = db().Error();
    EXPECT_EQ(h, DllParam::kClosedHandle) << c.file;
    EXPECT_EQ(e.code, DllParam::kCodeRefused) << c.file;
    EXPECT_NE(UCase(e.text).find(c.table), std::string::npos) << c.file << ": " << e.text;
    EXPECT_NE(e.text.find("(SQLSTATE "), std::string::npos) << c.file << ": " << e.text;
  }
}

TEST_P(OdbcSourceTest, AUnitOfWorkKeepsItsStatementsAroundAFailureAndEndsAsOne) {
  const std::string add = "INSERT INTO QV_UID (ENVID, USERID, USERTYPE, PASSWORD, LEVELPWD, FILLER) VALUES ";
  ASSERT_TRUE(db().Option(DllParam::kOptionBeginChange));
  ASSERT_TRUE(db().Saction(add + "('Z1', 'A', '1', '', '', '')"));
  EXPECT_EQ(Count("QV_UID", "ENVID='Z1'"), 0u) << "another connection sees the unit before its end";
  EXPECT_FALSE(db().Saction(add + "('Z1', 'A', '1', '', '', '')"));  // the same key again
  ASSERT_TRUE(db().Saction(add + "('Z1', 'B', '1', '', '', '')"));
  ASSERT_TRUE(db().Option(DllParam::kOptionEndChange));
  EXPECT_EQ(Count("QV_UID", "ENVID='Z1'"), 2u);
  // A unit whose connection closes is lost whole.
  ASSERT_TRUE(db().Option(DllParam::kOptionBeginChange));
  ASSERT_TRUE(db().Saction("DELETE QV_UID WHERE ENVID='Z1'"));
  ASSERT_TRUE(db().Close());
  EXPECT_EQ(Count("QV_UID", "ENVID='Z1'"), 2u);
}

TEST_P(OdbcSourceTest, TheCatalogsDescribeTheStoreTables) {
  DllParam& lib = db().lib();
  std::string list(DllParam::kListBuffer, ' ');
  int32_t len = 0;
  ASSERT_TRUE(lib.FillTBL("", "QV_%X", list, len, DllParam::kFirstCall)) << ErrorOf(lib);
  const std::string tables = UCase(list.substr(0, static_cast<std::size_t>(len)));
  for (const char* t : {"QV_EX\t", "QV_CX\t", "QV_GX\t", "QV_MX\t"}) EXPECT_NE(tables.find(t), std::string::npos) << t;
  EXPECT_EQ(tables.find("QV_VER"), std::string::npos);

  ASSERT_TRUE(lib.GetPrimaryKey("QV_ZC", list, len));
  EXPECT_EQ(UCase(list.substr(0, static_cast<std::size_t>(len))), "ENVID\tTGTID\tGRPID\tFICID\tFIELDINPUT\t");

  ASSERT_TRUE(lib.FillColumnsList("", "QV_CX", "%", list, len, DllParam::kFirstCall));
  const std::string columns = UCase(list.substr(0, static_cast<std::size_t>(len)));
  EXPECT_EQ(columns.substr(0, columns.find('\n')), "ENVID\tCHAR 2\t1\t0\t");
  EXPECT_NE(columns.find("\nTGTID\tCHAR 3\t2\t0\t"), std::string::npos) << columns;

  EXPECT_FALSE(lib.TableNTExist("QV_NOTHERE"));
  EXPECT_EQ(LastError(lib).code, DllParam::kCodeNotFound);
  ASSERT_TRUE(lib.CreateTable("T_MADE", "CODE CHAR(10) NOT NULL, AMOUNT NUMERIC(9,2)"));
  EXPECT_TRUE(lib.TableNTExist("T_MADE"));
  ASSERT_TRUE(lib.FillColumnsList("", "T_MADE", "AM%", list, len, DllParam::kFirstCall));
  EXPECT_EQ(UCase(list.substr(0, list.find('\t'))), "AMOUNT");
}

TEST_P(OdbcSourceTest, TheJobListNamesTheRunningDistributionsOfTheSupervisionTable) {
  // The demo runs PR/AS1/CLI as job 12345.
  const struct {
    const char *env, *tgt, *grp, *state, *run, *job;
  } records[] = {
      {"Q", "T", "M", "A", "1", "42"},           // short codes, written before PR's
      {"PR", "NT1", "ORD", "I", "1", "777"},     // just started
      {"PR", "AS1", "ORD", "E", "0", "778"},     // failed
      {"PR", "AS2", "ORD", "X", "1", "779"},     // ended, run flag left
  };
  for (const auto& r : records) {
    const Record spv = Make(layout::QV_SPV, {{"ENVID", r.env}, {"TGTID", r.tgt}, {"GRPID", r.grp}, {"STATE", r.state},
                                             {"HOLD", "0"}, {"RUN", r.run}, {"JOBNBR", r.job}});
    ASSERT_TRUE(db().Saction(SqlInsert("", spv))) << db().last.text;
  }
  const std::string cli = "\tSPR_AS1CLI 12345", ord = "\tSPR_NT1ORD 777", q = "\tSQ__T__M__ 42";
  const struct {
    const char* job;
    std::size_t room;
    std::string answer;
  } cases[] = {
      {"SPR_AS1CLI", 4096, "00001" + cli + "\t"},
      {"spr_as1cli", 4096, "00001" + cli + "\t"},
      {"SPR_*", 4096, "00002" + cli + ord + "\t"},
      {"*ALL", 4096, "00003" + cli + ord + q + "\t"},
      {"SQ__T__M__", 4096, "00001" + q + "\t"},
      {"SPR_AS1ORD", 4096, "00000"},
      {"SPR_AS2ORD", 4096, "00000"},
      {"SPR_AS1", 4096, "00000"},
      {"*ALL", 5 + cli.size() + ord.size() + 1, "00002" + cli + ord + "\t"},
      {"*ALL", 5 + cli.size() + ord.size(), "00001" + cli + "\t"},
  };
  for (const auto& c : cases) {
    std::string answer(c.room, ' ');
    ASSERT_TRUE(db().lib().SJobList(c.job, answer, DllParam::kKindOdbc)) << c.job << ": " << ErrorOf(db().lib());
    EXPECT_EQ(dllparam::CutAtNul(answer), c.answer) << c.job << " in " << c.room;
  }
}

INSTANTIATE_TEST_SUITE_P(Databases, OdbcSourceTest, testing::Values("SQLITE", "POSTGRESQL"), NameOf);

// ---- PostgreSQL only ----------------------------------------------------------

class PostgresTest : public OdbcSourceTest {
 protected:
  // Ends the server process of the first connection from a second one.
  void KillFirstConnection() {
    auto pid = db().Sread("SELECT pg_backend_pid()");
    ASSERT_TRUE(pid);
    auto killer = Second();
    ASSERT_TRUE(killer->Sread("SELECT pg_terminate_backend(" + Trim(*pid) + ")")) << killer->last.text;
  }
};

TEST_P(PostgresTest, TheSchemasAreListedOnceEachInOrderAndFilteredWithoutRegardToCase) {
  for (const char* s : {"QVS_B", "QVS_A", "QVT_C"})
    ASSERT_TRUE(db().Saction(std::string("CREATE SCHEMA IF NOT EXISTS ") + s)) << db().Error().text;
  ASSERT_TRUE(db().Saction("CREATE TABLE IF NOT EXISTS QVS_A.T1 (A CHAR(1))"));
  ASSERT_TRUE(db().Saction("CREATE TABLE IF NOT EXISTS QVS_A.T2 (A CHAR(1))"));
  const auto schemas = [&](const std::string& filter) {
    std::string list(4096, ' ');
    int32_t len = 0;
    EXPECT_TRUE(db().lib().FillDB(filter, list, len, DllParam::kFirstCall)) << filter << ": " << db().Error().text;
    return list.substr(0, static_cast<std::size_t>(len));
  };
  EXPECT_EQ(schemas("qvs%"), "qvs_a\tqvs_b\t");
  EXPECT_EQ(schemas("QV__C"), "qvt_c\t");
  EXPECT_EQ(schemas("NOPE%"), "");
  for (const char* all : {DllParam::kNoFilter, ""}) {
    const std::string every = schemas(all);
    EXPECT_NE(every.find("public\t"), std::string::npos) << every;
    EXPECT_NE(every.find("qvs_a\tqvs_b\tqvt_c\t"), std::string::npos) << every;
  }
}

TEST_P(PostgresTest, AServerThatDropsTheConnectionInsideAUnitLeavesNothingHalfApplied) {
  ASSERT_TRUE(db().Option(DllParam::kOptionBeginChange));
  ASSERT_TRUE(db().Saction("DELETE QV_ZC WHERE ENVID='PR'"));
  ASSERT_TRUE(db().Saction("DELETE QV_FC WHERE ENVID='PR'"));
  KillFirstConnection();
  EXPECT_FALSE(db().Saction("DELETE QV_GC WHERE ENVID='PR'"));
  const LibError e = db().Error();
  EXPECT_EQ(e.code, DllParam::kCodeNetwork) << e.text;
  EXPECT_NE(e.text.find("SQLSTATE"), std::string::npos) << e.text;
  EXPECT_FALSE(db().Option(DllParam::kOptionEndChange));
  EXPECT_GT(Count("QV_ZC", "ENVID='PR'"), 0u);
  EXPECT_GT(Count("QV_FC", "ENVID='PR'"), 0u);
}

TEST_P(PostgresTest, TheIdlePingFindsALostConnection) {
  EXPECT_TRUE(db().lib().PingPong());
  KillFirstConnection();
  EXPECT_FALSE(db().lib().PingPong());
  EXPECT_EQ(db().Error().code, DllParam::kCodeNetwork);
}

INSTANTIATE_TEST_SUITE_P(Databases, PostgresTest, testing::Values("POSTGRESQL"), NameOf);

}  // namespace
}  // namespace qv::test
