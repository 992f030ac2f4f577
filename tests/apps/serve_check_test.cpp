// What qvsource serve does with a store it must not serve (it names the
// fault and stops with status 1 before it listens), and qvmgr reaching a
// store served over TLS to the users of a users file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/qvmgr_fixture.h"
#include "dllparam/embedded/sqlite_db.h"
#include "support/scratch.h"

namespace qv::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class ServeCheckTest : public QvmgrTest {};

TEST_F(ServeCheckTest, ADamagedStoreIsRefusedBeforeListening) {
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

TEST_F(ServeCheckTest, QvmgrLogsInOverTlsWithItsUserAndPassword) {
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

}  // namespace
}  // namespace qv::test
