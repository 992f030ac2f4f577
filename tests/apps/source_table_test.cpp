// What "qvsource table add" does with a store: creates the described table,
// and refuses a description it cannot find or read, saying why, with status 1.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/qvmgr_fixture.h"

namespace qv::test {
namespace {

using ::testing::HasSubstr;

class SourceTableCommandTest : public QvmgrTest {};

TEST_F(SourceTableCommandTest, AddsTheDescribedTableAndSaysWhyItRefuses) {
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
