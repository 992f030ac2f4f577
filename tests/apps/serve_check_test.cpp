// What qvsource does with a store: serve refuses one it must not serve (it
// names the fault and stops with status 1 before it listens), qvmgr reaches
// a store served over TLS to the users of a users file, and table add
// creates a described table or says why it refuses, with status 1.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/qvmgr_fixture.h"
#include "dllparam/embedded/sqlite_db.h"
#include "support/scratch.h"

namespace qv::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

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
