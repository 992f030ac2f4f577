// The ODBC source over real databases: SQLite through its ODBC driver and
// PostgreSQL through its own (skipped when scripts/pg did not start one).
// Each database gets a fresh store with the demo topology; what it answers
// is compared with the embedded source's answers on the same demo.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>

#include "connection/qvsource.h"
#include "dllparam/admin/store_admin.h"
#include "dllparam/embedded/embedded_source.h"
#include "dllparam/odbc/odbc_source.h"
#include "dllparam/odbc/odbc_store.h"
#include "dllparam/source_library.h"
#include "presentation/strutil.h"
#include "store/record_layouts.h"
#include "store/sqltext.h"
#include "support/embedded_store.h"
#include "support/lib_client.h"
#include "support/odbc_databases.h"
#include "support/scratch.h"
#include "support/store_fixture.h"
#include "support/topology.h"

namespace qv::test {
namespace {

struct Database {
  const char* name;
  bool postgres;
};

const Database kSqlite{"SQLITE", false};
const Database kPostgres{"POSTGRESQL", true};

std::string NameOf(const testing::TestParamInfo<Database>& info) { return info.param.name; }

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

class OdbcSourceTest : public testing::TestWithParam<Database> {
 protected:
  void SetUp() override {
    if (GetParam().postgres) {
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
    for (const char* t : {"T_PAD", "T_BLOCK", "T_MADE"}) client_->Saction(std::string("DROP TABLE IF EXISTS ") + t);
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
  const auto expected = Images(reference);
  const auto got = Images(db());
  for (const auto& [table, rows] : expected) {
    EXPECT_EQ(got.at(table), rows) << table;
  }
  EXPECT_GT(expected.at("QV_EX").size(), 0u);
}

TEST_P(OdbcSourceTest, RowsArePaddedToTheirColumnSizeWithNullsAsBlanks) {
  ASSERT_TRUE(db().Saction("CREATE TABLE T_PAD (A CHAR(4), B VARCHAR(6), C CHAR(2))"));
  ASSERT_TRUE(db().Saction("INSERT INTO T_PAD (A, B, C) VALUES ('x', 'yz', NULL)"));
  ASSERT_TRUE(db().Saction("INSERT INTO T_PAD (A, B, C) VALUES ('abcd', NULL, 'q')"));
  EXPECT_EQ(db().SreadAll("SELECT A, B, C FROM T_PAD ORDER BY A DESC", 12),
            (std::vector<std::string>{"x   yz      ", "abcd      q "}));
  EXPECT_EQ(db().Sread("SELECT C FROM T_PAD WHERE A='x'"), "  ");
}

TEST_P(OdbcSourceTest, BlocksHoldWholeRowsAndEveryRowComesOnce) {
  ASSERT_TRUE(db().Saction("CREATE TABLE T_BLOCK (K CHAR(5) NOT NULL PRIMARY KEY, V CHAR(300))"));
  ASSERT_TRUE(db().Option(DllParam::kOptionBeginChange));
  for (int i = 0; i < 40; ++i) {
    char key[6];
    std::snprintf(key, sizeof key, "%05d", i);
    ASSERT_TRUE(db().Saction(std::string("INSERT INTO T_BLOCK (K, V) VALUES ('") + key + "', 'v')"));
  }
  ASSERT_TRUE(db().Option(DllParam::kOptionEndChange));
  std::vector<int32_t> blocks;
  const auto rows = db().SreadAll("SELECT K, V FROM T_BLOCK ORDER BY K", 305, &blocks);
  ASSERT_EQ(rows.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(rows[static_cast<std::size_t>(i)].substr(0, 5), (i < 10 ? "0000" : "000") + std::to_string(i));
  // 4096 bytes hold 13 rows of 305: blocks of 13, 13, 13 and 1.
  EXPECT_EQ(blocks, (std::vector<int32_t>{13 * 305, 13 * 305, 13 * 305, 305}));
}

TEST_P(OdbcSourceTest, RowsOfAStatementStayReadableWhileTheSameTextRunsOnAnotherHandle) {
  DllParam& lib = db().lib();
  const std::string sql = "SELECT ENVID FROM QV_EX ORDER BY ENVID";
  const std::size_t envs = db().SreadAll(sql, 2).size();
  ASSERT_GE(envs, 2u);
  int32_t first = -1, second = -1, len = 0, flag = 0;
  std::string buf(2, ' ');
  ASSERT_TRUE(lib.Sread(first, buf, len, sql, DllParam::kFirstRow));
  const std::string firstRow = buf;
  ASSERT_TRUE(lib.Sread(second, buf, len, sql, DllParam::kFirstRow));
  EXPECT_EQ(buf, firstRow);
  std::size_t rest = 0;
  while (lib.Snext(first, buf, len, flag)) ++rest;
  EXPECT_EQ(rest + 1, envs);
  EXPECT_EQ(LastError(lib).code, DllParam::kCodeNotFound);
  // The text's prepared statement served both and runs again after them.
  EXPECT_EQ(db().SreadAll(sql, 2).size(), envs);
  lib.Rclose(first);
  lib.Rclose(second);
}

TEST_P(OdbcSourceTest, AFailedStatementGivesTheDriversTextAndSqlstate) {
  EXPECT_FALSE(db().Sread("SELECT * FROM QV_NO_SUCH_TABLE"));
  EXPECT_EQ(db().last.code, DllParam::kCodeRefused);
  EXPECT_NE(db().last.text.find("(SQLSTATE "), std::string::npos) << db().last.text;
  EXPECT_FALSE(db().Saction("INSERT INTO QV_VER (NO_SUCH_COLUMN) VALUES ('1')"));
  EXPECT_EQ(db().Error().code, DllParam::kCodeRefused);
  // Nothing found is no failure.
  EXPECT_FALSE(db().Sread("SELECT * FROM QV_EX WHERE ENVID='##'"));
  EXPECT_EQ(db().last.code, DllParam::kCodeNotFound);
}

TEST_P(OdbcSourceTest, OpeningATableTheDatabaseLacksFailsWithTheDriversText) {
  ASSERT_TRUE(db().Saction("DROP TABLE QV_END"));
  const struct {
    const char* file;
    const char* table;  // the table named in the refusal; nullptr: the file opens
  } cases[] = {
      {" ", nullptr},          {"QV_EX", nullptr},       {"qv_gc", nullptr},
      {"QV_EX_L0", nullptr},   {"QV_FC_L1", nullptr},    {"QV_END", "QV_END"},
      {"QV_END_L0", "QV_END"}, {"QV_NO_SUCH", "QV_NO_SUCH"},
  };
  for (const auto& c : cases) {
    int32_t h = -1;
    const bool opened = db().lib().Ropen(c.file, " ", h) != 0;
    EXPECT_EQ(opened, c.table == nullptr) << c.file;
    if (opened) {
      EXPECT_TRUE(db().lib().Rclose(h)) << c.file;
      continue;
    }
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

  EXPECT_TRUE(lib.TableNTExist("QV_FC"));
  EXPECT_FALSE(lib.TableNTExist("QV_NOTHERE"));
  EXPECT_EQ(LastError(lib).code, DllParam::kCodeNotFound);
  ASSERT_TRUE(lib.CreateTable("T_MADE", "CODE CHAR(10) NOT NULL, AMOUNT NUMERIC(9,2)"));
  EXPECT_TRUE(lib.TableNTExist("T_MADE"));
  ASSERT_TRUE(lib.FillColumnsList("", "T_MADE", "AM%", list, len, DllParam::kFirstCall));
  EXPECT_EQ(UCase(list.substr(0, list.find('\t'))), "AMOUNT");
}

TEST_P(OdbcSourceTest, AControlOpensTheSourceAndDeletesAnEnvironmentAsTheEmbeddedSourceDoes) {
  EmbeddedStore embedded(embedded::SourceKind::ODBC, /*demo=*/true);
  LibClient reference(kOdbc);
  ASSERT_TRUE(reference.Connect(embedded.address()));
  // The demo's running distribution of PR ends on both sides first.
  for (LibClient* side : {&reference, &db()})
    ASSERT_TRUE(side->Saction("UPDATE QV_SPV SET RUN = '0', STATE = 'X' WHERE ENVID = 'PR'")) << side->last.text;
  auto run = [](const std::string& address) {
    QVSource control(std::make_unique<SourceLibrary>(false));
    control.SourceType("ODBC");
    SetProcessUserID(embedded::kDemoMasterUser);
    SetProcessPassword("demo");
    EXPECT_TRUE(control.OpenConnection(address)) << control.ErrorStep() << ": " << control.ErrorText();
    EXPECT_TRUE(control.DeleteEnvironment("PR")) << control.ErrorStep() << ": " << control.ErrorText();
    control.CloseConnection();
    SetProcessUserID("");
  };
  run(embedded.address());
  run("odbc:" + connect_);
  const auto expected = Images(reference);
  EXPECT_EQ(Count("QV_EX", "ENVID='PR'"), 0u);
  const auto got = Images(*Second());
  for (const auto& [table, rows] : expected) EXPECT_EQ(got.at(table), rows) << table;
}

TEST_P(OdbcSourceTest, TheLoginComesFromTheAddressOrTheEnvironmentAndNeverShowsThePassword) {
  LibClient c(kOdbc, std::make_unique<odbc::OdbcSource>());
  ASSERT_NE(c.Open("ODBC:DSN=QVPROD;UID=ALICE;PWD=S3CRET"), 0);
  std::string connect(255, ' '), driver(100, ' '), user(20, ' '), password(20, ' '), database(20, ' ');
  ASSERT_TRUE(c.lib().GetDBParamKeys(connect, driver, user, password, database));
  EXPECT_EQ(std::string(dllparam::CutAtNul(connect)), "DSN=QVPROD;");
  EXPECT_EQ(std::string(dllparam::CutAtNul(user)), "ALICE");
  EXPECT_EQ(std::string(dllparam::CutAtNul(password)), "S3CRET");

  ::setenv("QV_ODBC_UID", "BOB", 1);
  ::setenv("QV_ODBC_PWD", "FROM-ENV", 1);
  LibClient e(kOdbc, std::make_unique<odbc::OdbcSource>());
  ASSERT_NE(e.Open("odbc:QVPROD"), 0);
  ASSERT_TRUE(e.lib().GetDBParamKeys(connect, driver, user, password, database));
  ::unsetenv("QV_ODBC_UID");
  ::unsetenv("QV_ODBC_PWD");
  EXPECT_EQ(std::string(dllparam::CutAtNul(connect)), "DSN=QVPROD;");
  EXPECT_EQ(std::string(dllparam::CutAtNul(user)), "BOB");
  EXPECT_EQ(std::string(dllparam::CutAtNul(password)), "FROM-ENV");

  // A refused login: the driver's text in the answer, without the password.
  std::string out(DllParam::kDsnMessageBuffer, ' ');
  EXPECT_FALSE(e.lib().ConnectDSN("DRIVER=/nonexistent/driver.so;DATABASE=x", "BOB", "TOPSECRET", out));
  const std::string text(dllparam::CutAtNul(out));
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.find("TOPSECRET"), std::string::npos);
  EXPECT_EQ(e.Error().text, text);
}

// Writes the supervision record the engine keeps for distribution
// env/tgt/grp.
void PutSupervision(LibClient& db, const char* env, const char* tgt, const char* grp, const char* state,
                    const char* run, int64_t number) {
  const std::string job = std::to_string(number);
  const Record r = Make(layout::QV_SPV, {{"ENVID", env}, {"TGTID", tgt}, {"GRPID", grp}, {"STATE", state},
                                         {"HOLD", "0"}, {"RUN", run}, {"JOBNBR", job}});
  ASSERT_TRUE(db.Saction(SqlInsert("", r))) << db.last.text;
}

TEST_P(OdbcSourceTest, TheJobListNamesTheRunningDistributionsOfTheSupervisionTable) {
  // The demo runs PR/AS1/CLI as job 12345 and has ended PR/NT1/CLI.
  PutSupervision(db(), "Q", "T", "M", "A", "1", 42);         // short codes, written before PR's
  PutSupervision(db(), "PR", "NT1", "ORD", "I", "1", 777);   // just started
  PutSupervision(db(), "PR", "AS1", "ORD", "E", "0", 778);   // failed
  PutSupervision(db(), "PR", "AS2", "ORD", "X", "1", 779);   // ended, run flag left
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
      {"SPR_NT1CLI", 4096, "00000"},
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

// What a control's delete of model CLI of PR (distributions AS1 and NT1)
// does, by the state of the supervision table.
TEST_P(OdbcSourceTest, ADeleteGoesAheadOnlyWhenTheSupervisionTableSaysNoDistributionRuns) {
  const std::string running = "UPDATE QV_SPV SET RUN = '1', STATE = 'A' WHERE TGTID = 'NT1' AND GRPID = 'CLI'";
  const std::string kActive = "IMPOSSIBLE TO REMOVE AN ACTIVE DISTRIBUTION";
  const struct {
    const char* name;
    std::vector<std::string> before;  // statements run first
    bool deleted;
    std::vector<std::string> error;  // in the control's error text, upper-cased
  } cases[] = {
      {"as the demo leaves it, AS1 running", {}, false, {kActive}},
      {"both running", {running}, false, {kActive}},
      {"AS1 ended, NT1 running", {"UPDATE QV_SPV SET RUN = '0', STATE = 'X' WHERE TGTID = 'AS1'", running},
       false, {kActive}},
      {"AS1 ended", {"UPDATE QV_SPV SET RUN = '0', STATE = 'X' WHERE TGTID = 'AS1'"}, true, {}},
      {"AS1 failed", {"UPDATE QV_SPV SET RUN = '0', STATE = 'E' WHERE TGTID = 'AS1'"}, true, {}},
      {"no record", {"DELETE QV_SPV WHERE ENVID = 'PR'"}, true, {}},
      {"no supervision table", {"DROP TABLE QV_SPV"}, false, {"QV_SPV", "(SQLSTATE "}},
  };
  const std::string model = "ENVID = 'PR' AND GRPID = 'CLI'";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    odbc::OdbcStoreOptions options;
    options.demo = true;
    options.force = true;
    ASSERT_NO_THROW(odbc::CreateOdbcStore(connect_, options));
    auto writer = Second();  // statements prepared on the tables of this store only
    for (const std::string& sql : c.before) ASSERT_TRUE(writer->Saction(sql)) << writer->last.text;
    const std::size_t tables = Count("QV_FX", model), distributions = Count("QV_GC", model);
    ASSERT_GT(tables, 0u);
    ASSERT_EQ(distributions, 2u);

    QVSource control(std::make_unique<SourceLibrary>(false));
    control.SourceType("ODBC");
    SetProcessUserID(embedded::kDemoMasterUser);
    SetProcessPassword("demo");
    ASSERT_TRUE(control.OpenConnection("odbc:" + connect_)) << control.ErrorText();
    control.env("PR");
    const bool done = control.DeleteGroup("CLI");
    const std::string error = control.ErrorText();
    control.CloseConnection();
    SetProcessUserID("");

    EXPECT_EQ(done, c.deleted) << error;
    for (const std::string& part : c.error) EXPECT_NE(UCase(error).find(part), std::string::npos) << error;
    const std::size_t left = c.deleted ? 0 : 1;
    EXPECT_EQ(Count("QV_GX", model), left);
    EXPECT_EQ(Count("QV_GC", model), left * distributions);
    EXPECT_EQ(Count("QV_FX", model), left * tables);
  }
}

TEST_P(OdbcSourceTest, AS400AndEngineServicesAreRefusedAsNotSupported) {
  std::string code = "RCMD      ", ctl = "0000000100", data(100, ' ');
  EXPECT_FALSE(db().lib().Execute(code, ctl, data));
  EXPECT_EQ(db().Error().code, DllParam::kCodeNotSupported);
  EXPECT_FALSE(db().lib().StrReplication("PRT1_M1", DllParam::kKindOdbc, DllParam::kKindOdbc));
  EXPECT_EQ(db().Error().code, DllParam::kCodeNotSupported);
}

INSTANTIATE_TEST_SUITE_P(Databases, OdbcSourceTest, testing::Values(kSqlite, kPostgres), NameOf);

// ---- Schemas (PostgreSQL) -----------------------------------------------------

class PostgresSchemaTest : public OdbcSourceTest {};

TEST_P(PostgresSchemaTest, TheSchemasAreListedOnceEachInOrderAndFilteredWithoutRegardToCase) {
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

INSTANTIATE_TEST_SUITE_P(Databases, PostgresSchemaTest, testing::Values(kPostgres), NameOf);

// ---- Faults (PostgreSQL) ------------------------------------------------------

class PostgresFaultTest : public OdbcSourceTest {
 protected:
  // Ends the server process of the first connection from a second one.
  void KillFirstConnection() {
    auto pid = db().Sread("SELECT pg_backend_pid()");
    ASSERT_TRUE(pid);
    auto killer = Second();
    ASSERT_TRUE(killer->Sread("SELECT pg_terminate_backend(" + Trim(*pid) + ")")) << killer->last.text;
  }
};

TEST_P(PostgresFaultTest, AServerThatDropsTheConnectionInsideAUnitLeavesNothingHalfApplied) {
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

TEST_P(PostgresFaultTest, TheIdlePingFindsALostConnection) {
  EXPECT_TRUE(db().lib().PingPong());
  KillFirstConnection();
  EXPECT_FALSE(db().lib().PingPong());
  EXPECT_EQ(db().Error().code, DllParam::kCodeNetwork);
}

INSTANTIATE_TEST_SUITE_P(Databases, PostgresFaultTest, testing::Values(kPostgres), NameOf);

}  // namespace
}  // namespace qv::test
