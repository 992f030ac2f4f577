// qvsource and qvmgr on a plain ODBC source: qvsource init creates the demo
// store in a database through its ODBC driver, and qvmgr commands on it give
// what they give on an embedded store of the same demo.
#include <gtest/gtest.h>

#include "support/odbc_databases.h"
#include "support/process.h"
#include "support/scratch.h"

namespace qv::test {
namespace {

ProcessResult Qvsource(const std::vector<std::string>& args) {
  return RunProcess(QV_QVSOURCE_PATH, args, {{"QV_PASSWORD", "demo"}, {"LC_ALL", "C"}});
}

ProcessResult Qvmgr(const std::string& source, const std::vector<std::string>& args) {
  Scratch home("qv-odbc-cmd");
  return RunProcess(QVMGR_PATH, args,
                    {{"QV_SOURCE", source}, {"QV_TYPE", "ODBC"}, {"QV_USER", "QVADMIN"}, {"QV_PASSWORD", "demo"},
                     {"QV_ENV", "PR"}, {"QV_REGISTRY", home / "registry"}, {"LC_ALL", "C"}});
}

TEST(OdbcCommands, QvmgrShowsAnOdbcSourceAsItShowsTheEmbeddedStoreOfTheSameDemo) {
  ASSERT_FALSE(SqliteOdbcDriver().empty()) << "no SQLite ODBC driver (scripts/setup installs libsqliteodbc)";
  Scratch scratch("qv-odbc-cmd");
  const std::string odbc = "odbc:" + SqliteConnect(scratch / "store.db");
  const std::string file = scratch / "store.qvs";
  ProcessResult made = Qvsource({"init", odbc, "--kind", "ODBC", "--demo"});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  ASSERT_EQ(Qvsource({"init", file, "--kind", "ODBC", "--demo"}).exitCode, 0);

  // A second init keeps the store; --force replaces it.
  ProcessResult again = Qvsource({"init", odbc, "--kind", "ODBC"});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.err.find("already holds a store"), std::string::npos) << again.err;
  EXPECT_EQ(Qvsource({"init", odbc, "--kind", "SQLSERVER"}).exitCode, 1);

  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"tree"}, {"list", "targets"}, {"dist", "show", "--target", "AS1", "--model", "CLI"}}) {
    const ProcessResult expected = Qvmgr("file:" + file, command);
    const ProcessResult got = Qvmgr(odbc, command);
    EXPECT_EQ(expected.exitCode, 0) << expected.err;
    EXPECT_EQ(got.exitCode, expected.exitCode) << got.err;
    EXPECT_EQ(got.out, expected.out) << command[0];
  }
  ProcessResult forced = Qvsource({"init", odbc, "--kind", "ODBC", "--force"});
  ASSERT_EQ(forced.exitCode, 0) << forced.err;
  EXPECT_NE(Qvmgr(odbc, {"tree"}).out, Qvmgr("file:" + file, {"tree"}).out);
}

}  // namespace
}  // namespace qv::test
