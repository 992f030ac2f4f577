// What qvsource serve does with a store it must not serve: it names the
// fault and stops with status 1 before it listens.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/qvmgr_fixture.h"
#include "dllparam/embedded/sqlite_db.h"

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

}  // namespace
}  // namespace qv::test
