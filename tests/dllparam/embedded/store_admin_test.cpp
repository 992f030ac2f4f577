// Creating and describing store files.
#include "dllparam/admin/store_admin.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/embedded_store.h"

namespace qv::embedded {
namespace {

namespace L = layout;

TEST(DescribeStore, ShowsTheKindAndRowsAndMasksPasswords) {
  for (SourceKind kind : {SourceKind::AS400, SourceKind::ODBC, SourceKind::SQLServer, SourceKind::Oracle}) {
    SCOPED_TRACE(KindName(kind));
    test::EmbeddedStore store(kind, true, "s3cret");
    const std::string text = DescribeStore(store.path());
    EXPECT_NE(text.find(std::string("kind            ") + std::string(KindName(kind))), std::string::npos);
    EXPECT_NE(text.find("QV_EX    2 rows"), std::string::npos) << text;
    EXPECT_NE(text.find("USERID=QVADMIN"), std::string::npos);
    EXPECT_EQ(text.find("s3cret"), std::string::npos);
    EXPECT_EQ(text.find("password=QVADMIN"), std::string::npos);
  }
}

TEST(CreateStore, RefusesAnExistingFileUnlessForcedAndLosesNothing) {
  test::EmbeddedStore store(SourceKind::AS400, true);
  CreateStoreOptions options;
  options.kind = SourceKind::SQLServer;
  EXPECT_THROW(CreateStore(store.path(), options), StoreError);
  EXPECT_EQ(StoreAdmin(store.path()).kind(), SourceKind::AS400);
  EXPECT_EQ(StoreAdmin(store.path()).Count(L::QV_EX), 2u);

  options.force = true;
  CreateStore(store.path(), options);
  {
    StoreAdmin replaced(store.path());
    EXPECT_EQ(replaced.kind(), SourceKind::SQLServer);
    EXPECT_EQ(replaced.Count(L::QV_EX), 0u);
  }
  // No temporary file is left beside it.
  const std::filesystem::directory_iterator files(store.folder());
  EXPECT_EQ(std::distance(begin(files), end(files)), 1);
  EXPECT_THROW(CreateStore("/nonexistent-folder-qv/store.qvs", {}), StoreError);
}

}  // namespace
}  // namespace qv::embedded
