// What qvmgr and qvsource take at their edge and what they show: a recovery
// point read in decimal, passwords never printed or echoed. What qvsource
// does with a store: serve refuses a damaged one before it listens, qvmgr logs
// in over TLS with the users of a users file, table add creates a described
// table or says why not.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/qvmgr_fixture.h"
#include "dllparam/embedded/sqlite_db.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "support/scratch.h"

namespace qv::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using embedded::SourceKind;

class QvmgrEdgeTest : public QvmgrTest {};

// Returns the stored record of the distribution PR/AS1/CLI.
Record StoredDistribution(const EmbeddedStore& store) {
  for (const Record& r : store.Admin().Records(layout::QV_GC))
    if (r.Get("ENVID") == "PR" && r.Get("TGTID") == "AS1" && r.Get("GRPID") == "CLI") return r;
  ADD_FAILURE() << "no distribution PR/AS1/CLI";
  return Record(layout::QV_GC);
}

// ---- Numbers -------------------------------------------------------------------

TEST_F(QvmgrEdgeTest, ARecoveryPointIsDecimalWhateverZerosLeadIt) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  for (const auto& [typed, stored] : {std::pair<std::string, std::string>{"0000001234", "0000001234"},
                                      {"010", "0000000010"},
                                      {"+0042", "0000000042"}}) {
    const ProcessResult r = Exits(0, {"dist", "set", "--point", typed}, Connect(store));
    EXPECT_EQ(StoredDistribution(store).Get("REPRISEPNT"), stored) << typed;
  }
  // Other bases and other forms are refused before anything is sent.
  for (const std::string typed : {"0x10", "0X10", "0o17", "0b11", "12e3", "1_000", "12.0", "", "-"}) {
    const ProcessResult r = Exits(2, {"dist", "set", "--point", typed}, Connect(store));
    EXPECT_THAT(r.err, HasSubstr("--point: takes a decimal number")) << typed;
    EXPECT_EQ(StoredDistribution(store).Get("REPRISEPNT"), "0000000042") << typed;
  }
}

// ---- Passwords -------------------------------------------------------------------

TEST_F(QvmgrEdgeTest, DistShowMasksThePasswordOfTheConnectionString) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  Record gc = StoredDistribution(store);
  gc.Set("QV_CONNECT", "DSN=TGT;UID=sa;Pwd=S3cr3t!;DATABASE=crm");
  store.Admin().PutRecord(gc);
  const ProcessResult text = Exits(0, {"dist", "show"}, Connect(store));
  EXPECT_THAT(text.out, HasSubstr("Distribution PR/AS1/CLI\n"));
  EXPECT_THAT(text.out, HasSubstr("DSN=TGT;UID=sa;Pwd=********;DATABASE=crm\n"));
  const ProcessResult json = Exits(0, {"dist", "show", "--json"}, Connect(store));
  EXPECT_EQ(Document(json)["record"]["QV_CONNECT"], "DSN=TGT;UID=sa;Pwd=********;DATABASE=crm");
  EXPECT_THAT(text.out + json.out, Not(HasSubstr("S3cr3t")));
}

TEST_F(QvmgrEdgeTest, TheAutomationHostNeverEchoesAPassword) {
  ProcessResult run;
  const std::vector<Json> a = SessionText(
      R"({"create": "QVmgr_dll.QVmanager", "as": "m"}
{"object": "m", "member": "password", "kind": "put", "args": ["S3cr3t!"]}
{"object": "m", "dispid": "0x68030010", "kind": "put", "args": [{"type": "String", "value": "S3cr3t!"}]}
{"object": "m", "member": "SourceAdress", "kind": "put", "args": ["HOST;PWD=S3cr3t!"]}
)",
      Base(), &run);
  ASSERT_EQ(a.size(), 4u) << Describe(run);
  EXPECT_THAT(run.out, Not(HasSubstr("S3cr3t")));
  EXPECT_EQ(a[1]["args"], Json::array({"********"}));
  EXPECT_EQ(a[2]["args"], Json::array({"********"}));
  EXPECT_EQ(a[3]["args"], Json::array({"HOST;PWD=********"}));
}

// ---- qvsource serve and table add -------------------------------------------

class QvsourceTest : public QvmgrTest {};

TEST_F(QvsourceTest, ADamagedStoreIsRefusedBeforeListening) {
  EmbeddedStore store(embedded::SourceKind::Oracle, /*demo=*/true);
  {
    embedded::Db db = embedded::Db::Open(store.path(), false, 1000);
    db.exec("DROP TABLE QV_GC");
  }
  const ProcessResult r = RunProcess(QV_QVSOURCE_PATH, {"serve", store.path(), "--listen", "127.0.0.1:0"}, Base());
  EXPECT_EQ(r.exitCode, 1) << Describe(r);
  EXPECT_THAT(r.err, HasSubstr("qvsource serve: cannot serve " + store.path() + ": " + store.path() +
                               " is damaged: the table QV_GC is missing"));
  EXPECT_THAT(r.out, Not(HasSubstr("serving")));
}

TEST_F(QvsourceTest, QvmgrLogsInOverTlsWithItsUserAndPassword) {
  EmbeddedStore store(embedded::SourceKind::AS400, /*demo=*/true);
  const TestCert made = MakeTestCert(dir(), "server");
  ASSERT_FALSE(made.fingerprint.empty());
  const std::string users = dir() + "/users";
  const ProcessResult added = RunProcess(QV_QVSOURCE_PATH, {"user", "add", "--users", users, "QVADMIN"}, Base(), "demo\n");
  ASSERT_EQ(added.exitCode, 0) << Describe(added);

  Child serve(QV_QVSOURCE_PATH,
              {"serve", store.path(), "--listen", "127.0.0.1:0", "--cert", made.cert, "--key", made.key, "--users", users}, Base());
  ASSERT_TRUE(serve.WaitForOutput("\n", std::chrono::seconds(20)));
  const std::string line = serve.Output().substr(0, serve.Output().find('\n'));
  const std::string address = "127.0.0.1:" + line.substr(line.rfind(':') + 1) + ";pin=" + made.fingerprint;

  const ProcessResult in = Exits(0, {"dist", "show"}, With(Connect(store), {{"QV_SOURCE", address}}));
  const ProcessResult wrong =
      Qvmgr({"dist", "show"}, With(Connect(store, "Xq9-not-it"), {{"QV_SOURCE", address}}));
  EXPECT_EQ(wrong.exitCode, 1) << Describe(wrong);
  EXPECT_THAT(wrong.err, HasSubstr("login refused"));
  EXPECT_THAT(wrong.err + wrong.out, Not(HasSubstr("Xq9-not-it")));
}

TEST_F(QvsourceTest, TableAddCreatesTheDescribedTableAndSaysWhyItRefuses) {
  EmbeddedStore store(embedded::SourceKind::SQLServer);
  const std::string description = "table sales.orders\nCODE CHAR(10) key\nNOTE TEXT maxlen=80\n";
  const ProcessResult added = RunProcess(QV_QVSOURCE_PATH, {"table", "add", store.path(), "-"}, Base(), description);
  ASSERT_EQ(added.exitCode, 0) << Describe(added);
  EXPECT_EQ(added.out, "added table SALES.ORDERS (2 columns) to " + store.path() + "\n");

  const ProcessResult missing =
      RunProcess(QV_QVSOURCE_PATH, {"table", "add", store.path(), dir() + "/none.txt"}, Base());
  EXPECT_EQ(missing.exitCode, 1) << Describe(missing);
  EXPECT_EQ(missing.err, "qvsource: cannot read " + dir() + "/none.txt: No such file or directory\n");

  // A folder opens but cannot be read; the reason says so.
  const ProcessResult folder = RunProcess(QV_QVSOURCE_PATH, {"file", "add", store.path(), dir()}, Base());
  EXPECT_EQ(folder.exitCode, 1) << Describe(folder);
  EXPECT_EQ(folder.err, "qvsource: cannot read " + dir() + ": Is a directory\n");

  const ProcessResult bad =
      RunProcess(QV_QVSOURCE_PATH, {"table", "add", store.path(), "-"}, Base(), "table S.T\nA INT sorted\n");
  EXPECT_EQ(bad.exitCode, 1) << Describe(bad);
  EXPECT_THAT(bad.err, HasSubstr("line 2: unknown word \"sorted\""));
}

}  // namespace
}  // namespace qv::test
