// Record access of the embedded AS/400 source: keyed, sequential and block
// reads, locks, rewrites, writes and deletes through physical and logical files.
#include <gtest/gtest.h>

#include "dllparam/source_library.h"
#include "support/lib_client.h"
#include "support/topology.h"
#include "support/embedded_store.h"

namespace qv::test {
namespace {

using embedded::SourceKind;
namespace L = layout;

class As400Test : public ::testing::Test {
 protected:
  void SetUp() override {
    conn = client.Open(store.address());
    ASSERT_GT(conn, 0) << client.Error().text;
  }

  // Writes image to file through a handle of its own.
  bool Write(const std::string& file, const std::string& image) {
    const int32_t h = client.Ropen(file);
    EXPECT_GE(h, 0) << client.Error().text;
    const bool ok = client.Write(h, image);
    client.lib().Rclose(h);
    return ok;
  }

  EmbeddedStore store{SourceKind::AS400};
  LibClient client;
  int32_t conn = 0;
};

TEST_F(As400Test, KeyedReadFindsBlankPaddedKeysAndPrefixes) {
  ASSERT_TRUE(Write("QV_EX", Ex("A", "P", "Alpha")));
  ASSERT_TRUE(Write("QV_EX", Ex("AB", "P", "Alpha B")));
  int32_t h = client.Ropen("QV_EX", false);

  // A key shorter than its field is padded with blanks: "A" finds "A ".
  EXPECT_EQ(client.Readk(h, "A", false, L::QV_EX.length, 2), Ex("A", "P", "Alpha"));

  // A shorter key length reads the first record whose key starts with it.
  EXPECT_EQ(client.Readk(h, "A", false, L::QV_EX.length, 1), Ex("A", "P", "Alpha"));

  EXPECT_FALSE(client.Readk(h, "ZZ", false, L::QV_EX.length));
  // A blank-padded key does not match a longer value.
  ASSERT_TRUE(Write("QV_EX", Ex("C1", "P", "Charlie")));
  EXPECT_FALSE(client.Readk(h, "C", false, L::QV_EX.length, 2));
  EXPECT_EQ(ErrorOf(client.lib()).substr(0, 12), "not-found 0 ");

  // A key longer than the file's key is the caller's fault.
  EXPECT_FALSE(client.Readk(h, "ABC", false, L::QV_EX.length));
  EXPECT_EQ(client.Error().code, DllParam::kCodeBadCall);
}

enum class Release { Update, Delete, Close, ReadAnother, ReadWithoutLock, CloseConnection };

class LockReleaseTest : public As400Test, public ::testing::WithParamInterface<Release> {};

// A locked record is refused to every other handle, of its connection or
// another, and read again by its own, until the lock ends.
TEST_P(LockReleaseTest, ALockHeldAgainstOtherHandlesEnds) {
  ASSERT_TRUE(Write("QV_EX", Ex("R1", "P", "one")));
  ASSERT_TRUE(Write("QV_EX", Ex("R2", "P", "two")));
  LibClient other;
  ASSERT_GT(other.Open(store.address()), 0);
  int32_t o = other.Ropen("QV_EX");

  int32_t h = client.Ropen("QV_EX"), sibling = client.Ropen("QV_EX");
  ASSERT_TRUE(client.Readk(h, "R1", true, L::QV_EX.length));
  ASSERT_FALSE(other.Readk(o, "R1", true, L::QV_EX.length));
  EXPECT_FALSE(client.Readk(sibling, "R1", true, L::QV_EX.length));
  EXPECT_EQ(client.Error().code, DllParam::kCodeBusy);
  EXPECT_NE(client.Error().text.find("in use"), std::string::npos) << client.Error().text;
  ASSERT_TRUE(client.Readk(h, "R1", true, L::QV_EX.length));

  std::string changed = Ex("R1", "P", "changed");
  switch (GetParam()) {
    case Release::Update: ASSERT_TRUE(client.lib().Rupdate(h, changed, L::QV_EX.length)); break;
    case Release::Delete: ASSERT_TRUE(client.lib().Rdelete(h)); break;
    case Release::Close: ASSERT_TRUE(client.lib().Rclose(h)); break;
    case Release::ReadAnother: ASSERT_TRUE(client.Readk(h, "R2", true, L::QV_EX.length)); break;
    case Release::ReadWithoutLock: ASSERT_TRUE(client.Readk(h, "R2", false, L::QV_EX.length)); break;
    case Release::CloseConnection: ASSERT_TRUE(client.lib().CloseMConnection(conn)); break;
  }
  if (GetParam() == Release::Delete) {
    EXPECT_FALSE(other.Readk(o, "R1", true, L::QV_EX.length));
    EXPECT_EQ(other.Error().code, DllParam::kCodeNotFound);
  } else {
    const std::string kept = GetParam() == Release::Update ? changed : Ex("R1", "P", "one");
    EXPECT_EQ(other.Readk(o, "R1", true, L::QV_EX.length), kept) << other.Error().text;
  }
}

INSTANTIATE_TEST_SUITE_P(Releases, LockReleaseTest,
                         ::testing::Values(Release::Update, Release::Delete, Release::Close, Release::ReadAnother,
                                           Release::ReadWithoutLock, Release::CloseConnection));

TEST_F(As400Test, RewriteNeedsALockedRecordAndAnUpdateHandle) {
  ASSERT_TRUE(Write("QV_EX", Ex("U1", "P", "one")));
  ASSERT_TRUE(Write("QV_EX", Ex("U2", "P", "two")));
  int32_t h = client.Ropen("QV_EX");
  std::string image = Ex("U1", "P", "new");
  EXPECT_FALSE(client.lib().Rupdate(h, image, L::QV_EX.length));
  EXPECT_EQ(client.Error().code, DllParam::kCodeBadCall);
  EXPECT_FALSE(client.lib().Rdelete(h));
  EXPECT_EQ(client.Error().code, DllParam::kCodeBadCall);

  int32_t ro = client.Ropen("QV_EX", false);
  ASSERT_TRUE(client.Readk(ro, "U1", true, L::QV_EX.length));
  EXPECT_FALSE(client.lib().Rupdate(ro, image, L::QV_EX.length));
  EXPECT_EQ(client.Error().code, DllParam::kCodeRefused);
  EXPECT_FALSE(client.lib().Rwrite(ro, Ex("U9", "P", "x"), L::QV_EX.length));
  EXPECT_EQ(client.Error().code, DllParam::kCodeRefused);

  // A rewrite onto another record's key is refused and keeps the lock.
  ASSERT_TRUE(client.Readk(h, "U1", true, L::QV_EX.length));
  EXPECT_FALSE(client.lib().Rupdate(h, Ex("U2", "P", "clash"), L::QV_EX.length));
  EXPECT_EQ(client.Error().code, DllParam::kCodeRefused);
  EXPECT_NE(client.Error().text.find("duplicate key"), std::string::npos);
  EXPECT_TRUE(client.lib().Rupdate(h, Ex("U3", "P", "moved"), L::QV_EX.length)) << client.Error().text;
  EXPECT_TRUE(client.Readk(ro, "U3", false, L::QV_EX.length));
  EXPECT_FALSE(client.Readk(ro, "U1", false, L::QV_EX.length));
}

TEST_F(As400Test, BlockReadPagesByWholeRecordsAndEndsWithCountZero) {
  // Written out of order.
  for (int i = 1; i <= 40; ++i) ASSERT_TRUE(Write("QV_FX", TopoTable("E1", "G01", 41 - i).image()));
  for (int i = 1; i <= 5; ++i) ASSERT_TRUE(Write("QV_FX", TopoTable("E1", "G02", i).image()));
  for (int i = 1; i <= 3; ++i) ASSERT_TRUE(Write("QV_FX", TopoTable("E2", "G01", i).image()));
  int32_t h = client.Ropen("QV_FX_L0", false);

  std::vector<int32_t> counts;
  std::vector<std::string> rows = client.Blocks(h, L::QV_FX, std::string("E1G01"), &counts);
  // 4096 / 304 = 13 records per block.
  EXPECT_EQ(counts, (std::vector<int32_t>{13, 13, 13, 1, 0}));
  ASSERT_EQ(rows.size(), 40u);
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i], TopoTable("E1", "G01", static_cast<int>(i + 1)).image());
  EXPECT_EQ(client.Error().code, DllParam::kCodeNotFound);

  // After the end the same key starts again; a shorter key reads more.
  EXPECT_EQ(client.Blocks(h, L::QV_FX, std::string("E1G01")).size(), 40u);
  EXPECT_EQ(client.Blocks(h, L::QV_FX, std::string("E1")).size(), 45u);
  EXPECT_EQ(client.Blocks(h, L::QV_FX, std::nullopt).size(), 48u);
  EXPECT_TRUE(client.Blocks(h, L::QV_FX, std::string("E3")).empty());

  // A buffer too small for one record is refused, never overrun.
  std::string small(100, ' ');
  int32_t count = 0;
  EXPECT_FALSE(client.lib().Rreadblock(h, small, count, L::QV_FX.length, "E1", 2));
  EXPECT_EQ(client.Error().code, DllParam::kCodeBadCall);
  EXPECT_EQ(small.size(), 100u);
}

TEST_F(As400Test, BlockReadPagesALogicalFileByItsSecondaryKey) {
  // 30 environments with the same user: read by USERID through QV_UID_L1.
  embedded::StoreAdmin admin = store.Admin();
  for (int i = 0; i < 30; ++i) {
    std::string env = {static_cast<char>('A' + i / 10), static_cast<char>('0' + i % 10)};
    admin.PutRecord(Make(L::QV_UID, {{"ENVID", env}, {"USERID", "BOB"}, {"USERTYPE", "2"}}));
    admin.PutRecord(Make(L::QV_UID, {{"ENVID", env}, {"USERID", "ANN"}, {"USERTYPE", "1"}}));
  }
  int32_t h = client.Ropen("QV_UID_L1", false);
  std::vector<int32_t> counts;
  std::vector<std::string> rows = client.Blocks(h, L::QV_UID, FitText("BOB", 30), &counts);
  EXPECT_EQ(counts, (std::vector<int32_t>{24, 6, 0}));  // 4096 / 164 = 24
  ASSERT_EQ(rows.size(), 30u);
  for (size_t i = 1; i < rows.size(); ++i) EXPECT_LT(rows[i - 1].substr(0, 2), rows[i].substr(0, 2));
}

TEST_F(As400Test, SequentialReadFollowsKeyOrderAndTheLastRead) {
  for (const char* env : {"C", "A", "B"}) ASSERT_TRUE(Write("QV_EX", Ex(env, "P", env)));
  int32_t h = client.Ropen("QV_EX_L0", false);
  EXPECT_EQ(client.Readf(h, L::EnvListEntry.length), "A P");
  EXPECT_EQ(client.Readn(h, 3).value_or(""), "B P");
  EXPECT_EQ(client.Readn(h, 3).value_or(""), "C P");
  EXPECT_FALSE(client.Readn(h, 3));
  EXPECT_EQ(client.Error().code, DllParam::kCodeNotFound);

  int32_t x = client.Ropen("QV_EX", false);
  ASSERT_TRUE(client.Readk(x, "B", false, L::QV_EX.length, 2));
  EXPECT_EQ(client.Readn(x, L::QV_EX.length), Ex("C", "P", "C"));
}

TEST_F(As400Test, JoinsOpenForReadingOnlyAndUnknownFilesAreRefusedByName) {
  EXPECT_EQ(client.Ropen("QV_GX_GC_1", true), -1);
  EXPECT_EQ(client.Error().code, DllParam::kCodeRefused);
  EXPECT_EQ(client.Ropen("QV_NOPE"), -1);
  EXPECT_EQ(client.Error().code, DllParam::kCodeRefused);
  EXPECT_NE(client.Error().text.find("QV_NOPE"), std::string::npos);
}

TEST_F(As400Test, ShortAnswerBufferIsNeverOverrun) {
  ASSERT_TRUE(Write("QV_EX", Ex("S1", "P", "short buffer")));
  int32_t h = client.Ropen("QV_EX", false);
  std::string rec(10, '#');
  int32_t len = 0;
  ASSERT_TRUE(client.lib().Rreadk(h, rec, len, DllParam::kKeyEqualNoLock, "S1", 2));
  EXPECT_EQ(len, 10);
  EXPECT_EQ(rec, Ex("S1", "P", "short buffer").substr(0, 10));

  // A length beyond the caller's buffer is refused.
  std::string image = Ex("S2", "P", "x");
  EXPECT_FALSE(client.lib().Rwrite(client.Ropen("QV_EX"), image, 500));
  EXPECT_EQ(client.Error().code, DllParam::kCodeBadCall);
}

}  // namespace
}  // namespace qv::test
