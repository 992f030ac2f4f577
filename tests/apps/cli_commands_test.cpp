// qvmgr's commands against embedded demo stores: what they print, their JSON
// documents, exit statuses and the error state of refused operations; items
// that do not exist and refusals leave the store as it was; a topology built,
// shown, changed and torn down with qvmgr alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <thread>

#include "apps/qvmgr_fixture.h"
#include "dllparam/admin/source_tables.h"
#include "dllparam/embedded/sqlite_db.h"
#include "dllparam/net/net_socket.h"
#include "qvmgr/console/console.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "support/scratch.h"

namespace qv::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using embedded::SourceKind;

class QvmgrCommandsTest : public QvmgrTest {
 protected:
  struct CatalogCase {
    std::vector<std::string> args;
    std::string key, json;
  };
  // Runs "qvmgr catalog --json" with each case's arguments and expects the
  // list it names under key.
  void ExpectCatalog(const EmbeddedStore& store, const std::vector<CatalogCase>& cases) const {
    for (const CatalogCase& c : cases) {
      std::vector<std::string> args{"catalog", "--json"};
      args.insert(args.end(), c.args.begin(), c.args.end());
      EXPECT_EQ(Document(Exits(0, args, Connect(store)))[c.key].dump(), c.json) << c.args.front();
    }
  }
};

// ---- Connections that fail -------------------------------------------------

TEST_F(QvmgrCommandsTest, RefusedLoginsAndEnvironmentsExitWith1AndTellTheErrorState) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  ProcessResult r = Exits(1, {"activity"}, Connect(store, "wrong"));
  EXPECT_THAT(r.err, HasSubstr("qvmgr: activity: cannot connect to file:"));
  EXPECT_THAT(r.err, HasSubstr("ErrorNum:  40"));
  EXPECT_THAT(r.err, HasSubstr("ErrorText: Invalid password"));
  EXPECT_THAT(r.err, HasSubstr("ErrorStep: CheckUser"));
  EXPECT_THAT(r.out, IsEmpty());

  // TS is secured and QVADMIN is none of its users.
  const Environment env = With(Connect(store), {{"QV_ENV", "TS"}, {"QV_TARGET", "NT2"}, {"QV_MODEL", "ORD"}});
  r = Exits(1, {"activity"}, env);
  EXPECT_THAT(r.err, HasSubstr("cannot select the environment TS"));
  EXPECT_THAT(r.err, HasSubstr("Unauthorised user (QVADMIN)"));
  r = Exits(1, {"--lang", "1036", "activity"}, env);
  EXPECT_THAT(r.err, HasSubstr("Utilisateur QVADMIN non autorisé"));  // UTF-8 on the way out
  r = Qvmgr({"activity"}, With(env, {{"QV_LANG", "fr_CA.UTF-8"}}));
  EXPECT_THAT(r.err, HasSubstr("non autorisé"));
}

TEST_F(QvmgrCommandsTest, SourcesThatDoNotAnswerExitWith1) {
  // A loopback socket that listens and never reads: connections complete
  // in the backlog and then hear nothing.
  net::Fd listening;
  std::uint16_t port = 0;
  ASSERT_TRUE(net::ListenTcp(net::HostPort{"127.0.0.1", 0}, 4, listening, port).ok());
  const std::string silent = "127.0.0.1:" + std::to_string(port);

  for (const std::string& source : {std::string("127.0.0.1:1"), "file:" + dir() + "/missing.qvs", silent}) {
    SCOPED_TRACE(source);
    const ProcessResult r = Exits(1,
                                  {"--source", source, "--env", "PR", "--target", "AS1", "--model", "CLI", "status",
                                   "--json"},
                                  With(Base(), {{"QV_CONNECT_TIMEOUT", "1"}, {"QV_CALL_TIMEOUT", "1"}}));
    const Json doc = Document(r);
    EXPECT_EQ(doc["ok"], false);
    EXPECT_NE(doc["error"]["num"], 0);
    EXPECT_FALSE(doc["error"]["text"].get<std::string>().empty());
    EXPECT_EQ(doc["error"]["step"].get<std::string>().rfind("OpenConnection", 0), 0u);
    EXPECT_THAT(r.err, HasSubstr("cannot connect to " + source));
    if (source == silent) {
      EXPECT_THAT(r.err, HasSubstr("did not answer"));
    }
  }
}

// ---- Activity ----------------------------------------------------------------

TEST_F(QvmgrCommandsTest, ActivityShowsTheTwentySevenFieldsByName) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  // Options override their variables; identifiers are normalised.
  const Environment env = With(Connect(store), {{"QV_TARGET", "NT1"}, {"QV_SOURCE", "file:" + dir() + "/no.qvs"}});
  ProcessResult r =
      Exits(0, {"activity", "--json", "--source", "file:" + store.path(), "--target", " as1", "--model", "cli"}, env);
  const Json doc = Document(r);
  EXPECT_EQ(doc["job"], "SPR_AS1CLI");
  EXPECT_EQ(doc["distribution"], (Json{{"environment", "PR"}, {"target", "AS1"}, {"model", "CLI"}}));
  const Json& a = doc["activity"];
  ASSERT_EQ(a.size(), 27u);
  EXPECT_EQ(a.begin().key(), "state");
  EXPECT_EQ(a.rbegin().key(), "CptErr");
  EXPECT_EQ(a["state"], "A");
  EXPECT_EQ(a["CptRead"], "0000001500");
  EXPECT_EQ(a["JOTMST"], "2024-01-15-10.30.00.000000");

  r = Exits(0, {"activity"}, Connect(store));
  EXPECT_THAT(r.out, HasSubstr("Activity of PR/AS1/CLI (job SPR_AS1CLI)\n"));
  EXPECT_THAT(r.out, HasSubstr("  CptRead      0000001500\n"));
  EXPECT_THAT(r.err, IsEmpty());  // no progress in a pipe
}

TEST_F(QvmgrCommandsTest, TraceWritesEveryCallAndAnUnwritableTraceOnlyWarns) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  const std::string trace = dir() + "/calls.trace";
  ProcessResult r = Exits(0, {"--trace", trace, "activity"}, Connect(store));
  EXPECT_THAT(ReadWholeFile(trace), HasSubstr("OpenMConnection("));
  EXPECT_THAT(ReadWholeFile(trace), HasSubstr("Execute("));

  r = Exits(0, {"activity"}, With(Connect(store), {{"QV_TRACE", dir() + "/no/such/folder/t"}}));
  EXPECT_THAT(r.err, HasSubstr("cannot write the trace file"));
}

// ---- Environment, target, model ------------------------------------------------

TEST_F(QvmgrCommandsTest, ShowCommandsNameTheFieldsOfTheirRecordsButTheFiller) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  struct Case {
    std::vector<std::string> args;
    const char* field;
    const char* value;
  };
  // env, target and model show share one path: the model's has a password.
  const Case cases[] = {{{"model", "show", "--json"}, "DSN_PWD", "********"},
                        {{"dist", "show", "--json"}, "REPRISEPNT", "0000000000"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    const Json doc = Document(Exits(0, c.args, Connect(store)));
    EXPECT_EQ(doc["command"], c.args[0] + " show");
    EXPECT_EQ(doc["record"]["ENVID"], "PR");
    EXPECT_EQ(doc["record"][c.field], c.value);
    EXPECT_FALSE(doc["record"].contains("FILLER"));
  }
}

// ---- Distribution ------------------------------------------------------------

TEST_F(QvmgrCommandsTest, DistSetMovesTheRecoveryPointAndShowsWhatTheSourceHolds) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  const Json doc = Document(Exits(0,
                                  {"dist", "set", "--json", "--reprise-type", "p", "--receiver", "rcv0001", "--point",
                                   "1234", "--scheduled", "on", "--hold", "on", "--library", "QV_USRDATA"},
                                  Connect(store)));
  EXPECT_EQ(doc["before"]["DistributionReprisePoint"], 0);
  EXPECT_EQ(doc["properties"]["DistributionReprisePoint"], 1234);
  EXPECT_EQ(doc["properties"]["DistributionRepriseType"], "P");
  EXPECT_EQ(doc["properties"]["DistributionRepriseReceiver"], "RCV0001");
  EXPECT_EQ(doc["properties"]["DistributionScheduled"], true);
  EXPECT_EQ(doc["properties"]["DistributionHold"], true);
  EXPECT_EQ(doc["record"]["REPRISELIB"], "QV_USRDATA");
}

// ---- Engine ------------------------------------------------------------------

TEST_F(QvmgrCommandsTest, StartStatusStopAndTheirRefusals) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  ProcessResult r = Exits(0, {"start"}, Connect(store));
  EXPECT_THAT(r.out, HasSubstr("Asked the source to start PR/AS1/CLI (job SPR_AS1CLI)."));
  r = Exits(0, {"status", "--json"}, Connect(store));
  EXPECT_EQ(Document(r)["running"], true);
  {
    // A stop that cannot get through a store held by another writer fails.
    embedded::Db writer = embedded::Db::Open(store.path(), false, 0);
    writer.exec("BEGIN IMMEDIATE");
    r = Qvmgr({"stop"}, With(Connect(store), {{"QV_STORE_BUSY_MS", "100"}}));
    writer.exec("ROLLBACK");
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_THAT(r.err, HasSubstr("cannot stop the distribution PR/AS1/CLI"));
  }
  r = Exits(0, {"stop", "--json"}, Connect(store));
  EXPECT_EQ(Document(r)["job"], "SPR_AS1CLI");
  r = Exits(0, {"status"}, Connect(store));
  EXPECT_THAT(r.out, HasSubstr("Job SPR_AS1CLI of PR/AS1/CLI is not running."));
}

// ---- Messages ----------------------------------------------------------------

TEST_F(QvmgrCommandsTest, MessagesListTheQueueAndFollowOnlyNewOnesUntilInterrupted) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  const Json doc = Document(Exits(0, {"messages", "--json"}, Connect(store)));
  ASSERT_TRUE(doc["messages"].is_array());
  EXPECT_EQ(doc["count"], doc["messages"].size());

  Child child(QVMGR_PATH, {"messages", "--follow", "--interval", "1"}, Connect(store));
  ASSERT_TRUE(child.WaitForOutput("Level", std::chrono::seconds(20)));
  ASSERT_TRUE(child.WaitForOutput("PR/NT1/CLI ended", std::chrono::seconds(20)));
  // A message that comes while it follows.
  const ProcessResult started = Exits(0, {"start"}, Connect(store));
  EXPECT_TRUE(child.WaitForOutput("Distribution PR/AS1/CLI started", std::chrono::seconds(20)));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // one more read
  child.Signal(SIGINT);
  const ProcessResult r = child.Wait();
  EXPECT_EQ(r.exitCode, 0) << Describe(r);
  EXPECT_THAT(r.err, Not(HasSubstr("ErrorNum")));
  // Each message once.
  auto count = [&](const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = r.out.find(text); at != std::string::npos; at = r.out.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("PR/NT1/CLI started"), 1u) << r.out;
  EXPECT_EQ(count("PR/AS1/CLI started"), 1u) << r.out;
  EXPECT_EQ(count("Level"), 1u);
}

// ---- Demo --------------------------------------------------------------------

TEST_F(QvmgrCommandsTest, DemoWalksTheRoadAndEndsWithTheCommandsByHand) {
  const ProcessResult r = Exits(0, {"demo", "--dir", dir() + "/demo"});
  EXPECT_TRUE(std::filesystem::exists(dir() + "/demo/demo-as400.qvs"));
  EXPECT_THAT(r.out, HasSubstr("OpenConnection -> True"));
  EXPECT_THAT(r.out, HasSubstr("CloseConnection -> True"));
  EXPECT_THAT(r.out, HasSubstr("To do the same by hand"));
  EXPECT_THAT(r.out, HasSubstr("qvmgr dist set --reprise-type P"));
  EXPECT_THAT(r.out, HasSubstr("export QV_PASSWORD=... "));  // the master password is never printed
  EXPECT_THAT(r.out, Not(HasSubstr("demo\"")));
  EXPECT_THAT(r.out, Not(HasSubstr("QV_PASSWORD=demo")));

  // The road on an NT kind, where no receiver library is set.
  const Json doc = Document(Exits(0, {"demo", "--json", "--kind", "sqlserver", "--dir", dir() + "/demo"}));
  EXPECT_GE(doc["steps"].size(), 8u);
  for (const Json& step : doc["steps"]) EXPECT_EQ(step["ok"], true) << step.dump();
}

TEST_F(QvmgrCommandsTest, CatalogListsWhatItsFiltersSelectAndTableAddImportsAFile) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  cli::WriteDemoCatalog(store.path());  // adds the physical files DEMOLIB/ORDERS and DEMOLIB/ADDRESS
  ExpectCatalog(store,
                {{{"libraries"}, "libraries", R"(["DEMOLIB","QV_USRDATA"])"},
                 {{"files", "--library", "demolib"}, "files", R"(["ADDRESS","CUSTOMER","ORDERS"])"},
                 {{"files", "--library", "demolib", "--type", "lf"}, "files", "[]"},
                 {{"files", "--journal", "qvjrn", "--library", "qv_usrdata"}, "files",
                  R"([{"file":"ADDRESS","library":"DEMOLIB","member":"*ALL"},)"
                  R"({"file":"CUSTOMER","library":"DEMOLIB","member":"*ALL"},)"
                  R"({"file":"ORDERS","library":"DEMOLIB","member":"*ALL"}])"},
                 {{"formats", "--library", "DEMOLIB", "--file", "orders"}, "formats", R"(["ORDERS"])"}});
  ProcessResult r = Exits(0, {"catalog", "receivers", "--journal", "QVJRN", "--library", "QV_USRDATA"}, Connect(store));
  EXPECT_THAT(r.out, HasSubstr("Receiver    First sequence"));
  EXPECT_THAT(r.out, HasSubstr("QVRCV00001  0000000001      0000001000"));
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"catalog", "files"}, {"catalog", "receivers", "--library", "QV_USRDATA"},
        {"catalog", "files", "--library", "DEMOLIB", "--type", "DSPF"}, {"catalog", "libraries", "--file", "X"},
        {"catalog", "tables"}}) {
    r = Exits(2, bad, Connect(store));
  }

  const Json added =
      Document(Exits(0, {"table", "add", "--library", "demolib", "--file", "orders", "--json"}, Connect(store)));
  EXPECT_EQ(added["fields"].size(), 3u);
  r = Exits(0, {"fields", "--table", std::to_string(std::stoi(added["table"].get<std::string>()))}, Connect(store));
  EXPECT_THAT(r.out, HasSubstr("Packed 9,2"));
}

TEST_F(QvmgrCommandsTest, CatalogListsTheDataSourcesDatabasesAndTablesOfAnNtSource) {
  EmbeddedStore store(SourceKind::SQLServer, /*demo=*/true);
  {
    auto admin = store.Admin();
    admin.DeclareDataSource({"ACCESSDB", "Microsoft Access Driver (*.mdb)", "HOST", "", "", "", ""});
    for (const char* table : {"ORDERS", "LINES"})
      embedded::AddSourceTable(admin,
                               embedded::ParseSourceTable(std::string("table SALES.") + table + "\nCODE CHAR(4) key\n"));
  }
  ExpectCatalog(store, {{{"dsn", "--kind", "ms-access"}, "dsn", R"(["ACCESSDB"])"},
                        {{"databases"}, "databases", R"(["QV_USRDATA","SALES"])"},
                        {{"tables", "--database", "SALES", "--mask", "%S"}, "tables", R"(["dbo.LINES","dbo.ORDERS"])"},
                        {{"tables", "--database", "SALES", "--mask", "O%"}, "tables", R"(["dbo.ORDERS"])"}});
  ProcessResult r = Exits(1, {"catalog", "tables", "--database", "NOSUCH"}, Connect(store));
  EXPECT_THAT(r.err, HasSubstr("does not exist"));
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"catalog", "dsn", "--library", "X"}, {"catalog", "dsn", "--kind", "DB2"},
        {"catalog", "databases", "--mask", "%"}, {"catalog", "files", "--library", "X", "--database", "Y"}}) {
    r = Exits(2, bad, Connect(store));
  }
}

// ---- Items that do not exist, properties a kind does not store --------------

// What a store holds that a command could change.
struct Holdings {
  std::vector<Record> distributions;
  std::vector<std::pair<std::string, std::size_t>> userSpaces;
  bool operator==(const Holdings&) const = default;
};

Holdings HoldingsOf(const EmbeddedStore& store) {
  embedded::StoreAdmin admin = store.Admin();
  return {admin.Records(layout::QV_GC), admin.UserSpaces()};
}

class QvmgrItemTest : public QvmgrTest {};

TEST_F(QvmgrItemTest, EveryItemACommandNamesMustExistAndNothingChanges) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  const Holdings before = HoldingsOf(store);
  struct Case {
    std::vector<std::string> args;
    const char* command;
    const char* what;  // the first line on stderr
  };
  const Case cases[] = {
      {{"stop", "--env", "ZZ"}, "stop", "stop: cannot stop the distribution ZZ/AS1/CLI"},
      {{"status", "--target", "ZZZ"}, "status", "status: cannot ask whether the job SPR_ZZZCLI runs"},
      {{"activity", "--target", "ZZZ"}, "activity", "activity: cannot read the activity of PR/ZZZ/CLI"},
      {{"start", "--model", "XYZ"}, "start", "start: cannot start the distribution PR/AS1/XYZ"},
      {{"dist", "show", "--model", "XYZ"}, "dist show", "dist show: "},
      {{"dist", "set", "--point", "5", "--model", "XYZ"}, "dist set", "dist set: "},
      {{"env", "show", "--env", "ZZ"}, "env show", "env show: cannot read the environment ZZ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProcessResult r = Exits(1, c.args, Connect(store));
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, HasSubstr(std::string("qvmgr: ") + c.what));
    EXPECT_THAT(r.err, HasSubstr("ErrorText: "));

    std::vector<std::string> args = c.args;
    args.push_back("--json");
    const Json doc = Document(Exits(1, args, Connect(store)));
    EXPECT_EQ(doc["command"], c.command);
    EXPECT_EQ(doc["ok"], false);
    EXPECT_EQ(doc["error"]["num"], 40);
    EXPECT_THAT(doc["error"]["text"].get<std::string>(), HasSubstr("not found"));
  }
  EXPECT_EQ(HoldingsOf(store), before);
}

TEST_F(QvmgrItemTest, AReceiverLibraryIsRefusedForAnNtSourceAndNothingChanges) {
  EmbeddedStore store(SourceKind::ODBC, /*demo=*/true);
  const Holdings before = HoldingsOf(store);
  const ProcessResult r = Exits(1, {"dist", "set", "--point", "77", "--library", "QV_USRDATA", "--json"}, Connect(store));
  const Json doc = Document(r);
  EXPECT_EQ(doc["ok"], false);
  EXPECT_FALSE(doc.contains("changes"));
  EXPECT_THAT(doc["error"]["text"].get<std::string>(), HasSubstr("stores no receiver library"));
  EXPECT_THAT(r.err, HasSubstr("nothing was changed"));
  EXPECT_EQ(HoldingsOf(store), before);

  // The other changes go through without it.
  const ProcessResult without = Exits(0, {"dist", "set", "--point", "77", "--json"}, Connect(store));
  EXPECT_EQ(Document(without)["properties"]["DistributionReprisePoint"], 77);
}

// ---- Tree, list, supervise and topology -------------------------------------

class QvmgrViewsTest : public QvmgrTest {
 protected:
  // Runs qvmgr on the environment QA of store and expects status.
  ProcessResult Run(int status, const EmbeddedStore& store, const std::vector<std::string>& args,
                    std::source_location where = std::source_location::current()) {
    return Exits(status, args, With(Connect(store), {{"QV_ENV", "QA"}}), {}, where);
  }
};

TEST_F(QvmgrViewsTest, ATopologyIsBuiltShownChangedAndTornDown) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  for (const std::vector<std::string>& step :
       {std::vector<std::string>{"env", "add", "--description", "Quality 'A'"},
        {"target", "add", "--target", "T01", "--target-type", "nt", "--description", "First"},
        {"target", "add", "--target", "T02", "--description", "Second"},
        {"model", "add", "--model", "M01", "--description", "Customers"},
        {"dist", "add", "--target", "T01", "--model", "M01"},
        {"target", "change", "--target", "T02", "--description", "It's the second"},
        {"dist", "hold", "--target", "T01", "--model", "M01"}})
    Run(0, store, step);
  ProcessResult r = Run(0, store, {"tree", "--json"});
  EXPECT_THAT(Document(r)["tree"]["nodes"].dump(), HasSubstr("\"key\":\"T01:M01\""));
  r = Run(0, store, {"list", "targets"});
  EXPECT_THAT(r.out, HasSubstr("It's the second"));
  EXPECT_THAT(r.out, HasSubstr("T01     First"));
  r = Run(0, store, {"list", "dists", "--target", "T01", "--json"});
  EXPECT_EQ(Document(r)["list"]["items"][0]["subItems"][12], "Yes");  // held

  // Refusals change nothing and say why.
  r = Run(1, store, {"target", "change", "--target", "T02", "--description", std::string(31, 'x')});
  EXPECT_THAT(r.err, HasSubstr("the description holds 31 characters; at most 30 fit"));
  r = Run(1, store, {"target", "add", "--target", "T0001"});
  EXPECT_THAT(r.err, HasSubstr("the target code T0001 is longer than 3 characters"));
  r = Run(1, store, {"target", "delete", "--target", "T09", "--yes"});
  EXPECT_THAT(r.err, HasSubstr("the target T09 does not exist"));
  // A short code names the same item for every command: padded with "_".
  Run(0, store, {"target", "add", "--target", "t5", "--description", "Short"});
  r = Run(0, store, {"target", "show", "--target", "T5", "--json"});
  EXPECT_THAT(r.out, HasSubstr("T5_"));
  Run(0, store, {"target", "delete", "--target", "T5", "--yes"});
  Run(0, store, {"dist", "release", "--target", "T01", "--model", "M01"});
  Run(0, store, {"start", "--target", "T01", "--model", "M01"});
  r = Run(1, store, {"model", "delete", "--model", "M01", "--yes"});
  EXPECT_THAT(r.err, HasSubstr("the distribution QA/T01/M01 is running; stop it first"));
  r = Run(0, store, {"supervise", "--json"});
  EXPECT_THAT(Document(r)["distributions"].dump(), HasSubstr("\"[QA_M01] -> T01\""));
  Run(0, store, {"stop", "--target", "T01", "--model", "M01"});
  r = Run(1, store, {"env", "delete"});
  EXPECT_THAT(r.err, HasSubstr("--yes"));
  Run(0, store, {"env", "delete", "--yes"});
  r = Run(1, store, {"tree"});
  EXPECT_THAT(r.err, HasSubstr("the environment QA does not exist"));
}

}  // namespace
}  // namespace qv::test
