// Creating, filling and describing store files.
#include "dllparam/admin/store_admin.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/embedded_store.h"

namespace qv::embedded {
namespace {

namespace L = layout;

class KindTest : public ::testing::TestWithParam<SourceKind> {};

TEST_P(KindTest, NewStoreHoldsItsVersionAndEveryTable) {
  test::EmbeddedStore store(GetParam());
  StoreAdmin admin = store.Admin();
  EXPECT_EQ(admin.kind(), GetParam());
  std::vector<Record> ver = admin.Records(L::QV_VER);
  ASSERT_EQ(ver.size(), 1u);
  EXPECT_EQ(ver[0].Get("SRCTYPE"), IsNtKind(GetParam()) ? "1" : "0");
  EXPECT_EQ(ver[0].Trimmed("VERSION"), "V1R0M0");
  for (const Layout* t : StoreTables()) EXPECT_EQ(admin.Count(*t), t == &L::QV_VER ? 1u : 0u) << t->name;
  EXPECT_EQ(admin.ComputerName(), "QVSOURCE");
}

TEST_P(KindTest, DemoTopologyIsMadeOfValidRecords) {
  test::EmbeddedStore store(GetParam(), true, "s3cret");
  StoreAdmin admin = store.Admin();
  EXPECT_EQ(admin.Count(L::QV_EX), 2u);
  std::vector<Record> targets = admin.Records(L::QV_CX);
  ASSERT_EQ(targets.size(), 3u);
  int as400 = 0, nt = 0;
  for (const Record& t : targets) (t.Get("TGTTYPE") == "0" ? as400 : nt)++;
  EXPECT_EQ(as400, 1);
  EXPECT_EQ(nt, 2);
  std::vector<Record> users = admin.Records(L::QV_UID);
  ASSERT_FALSE(users.empty());
  EXPECT_EQ(users[0].Get("ENVID"), "**");
  EXPECT_EQ(users[0].Trimmed("USERID"), kDemoMasterUser);
  EXPECT_EQ(users[0].Trimmed("PASSWORD"), "s3cret");
  // Every distributed table belongs to a model table of its distribution's model.
  for (const Record& fc : admin.Records(L::QV_FC)) {
    bool found = false;
    for (const Record& fx : admin.Records(L::QV_FX))
      found |= fx.Get("ENVID") == fc.Get("ENVID") && fx.Get("GRPID") == fc.Get("GRPID") &&
               fx.Get("FICID") == fc.Get("FICID");
    EXPECT_TRUE(found) << fc.image();
  }
  std::vector<Record> secured = admin.Records(L::QV_EX);
  EXPECT_EQ(secured[1].Get("SECURE"), "1");
}

TEST_P(KindTest, DescriptionShowsRowsAndMasksPasswords) {
  test::EmbeddedStore store(GetParam(), true, "s3cret");
  std::string text = DescribeStore(store.path());
  EXPECT_NE(text.find(std::string("kind            ") + std::string(KindName(GetParam()))), std::string::npos);
  EXPECT_NE(text.find("QV_EX    2 rows"), std::string::npos) << text;
  EXPECT_NE(text.find("USERID=QVADMIN"), std::string::npos);
  EXPECT_EQ(text.find("s3cret"), std::string::npos);
  EXPECT_EQ(text.find("password=QVADMIN"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Kinds, KindTest,
                         ::testing::Values(SourceKind::AS400, SourceKind::ODBC, SourceKind::SQLServer,
                                           SourceKind::Oracle),
                         [](const ::testing::TestParamInfo<SourceKind>& info) {
                           return std::string(KindName(info.param));
                         });

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
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(store.folder())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

TEST(CreateStore, RefusesAMissingFolder) {
  EXPECT_THROW(CreateStore("/nonexistent-folder-qv/store.qvs", {}), StoreError);
}

TEST(StoreAdminRecords, NtStoresKeepOnlyTheirColumns) {
  test::EmbeddedStore store(SourceKind::Oracle);
  StoreAdmin admin = store.Admin();
  Record fc(L::QV_FC);
  fc.Set("ENVID", "E1");
  fc.Set("REPRISELIB", "SOMELIB");
  fc.Set("REPRISEPNT", "0000000007");
  admin.PutRecord(fc);
  std::vector<Record> rows = admin.Records(L::QV_FC);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Trimmed("REPRISELIB"), "");
  EXPECT_EQ(rows[0].Get("REPRISEPNT"), "0000000007");
}

TEST(StoreAdminRecords, As400StoresKeepTheReceiverLibrary) {
  test::EmbeddedStore store(SourceKind::AS400);
  StoreAdmin admin = store.Admin();
  Record gc(L::QV_GC);
  gc.Set("ENVID", "E1");
  gc.Set("REPRISELIB", "RCVLIB");
  admin.PutRecord(gc);
  EXPECT_EQ(admin.Records(L::QV_GC)[0].Trimmed("REPRISELIB"), "RCVLIB");
}

}  // namespace
}  // namespace qv::embedded
