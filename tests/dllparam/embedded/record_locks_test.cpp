// The shared record lock table of the embedded AS/400 store: locks found
// again whatever order they are released in, a full table refused, a foreign
// lock file refused with its reason, and no update lost when two connections
// read, lock and rewrite the same record at the same time.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <thread>

#include "dllparam/embedded/record_locks.h"
#include "store/records.h"
#include "support/embedded_store.h"
#include "support/lib_client.h"
#include "support/topology.h"

namespace qv::test {
namespace {

using embedded::LockHolder;
using embedded::RecordLocks;
using embedded::SourceKind;
namespace L = layout;

TEST(RecordLockTable, LocksStayFoundWhateverOrderTheyAreReleasedIn) {
  EmbeddedStore store(SourceKind::AS400);
  RecordLocks mine(store.path()), other(store.path());
  const LockHolder me{1, 1}, him{2, 1};
  // Rows of two tables, so that many share a first slot and follow each other.
  std::vector<std::pair<std::string, int64_t>> rows;
  for (int64_t rid = 1; rid <= 300; ++rid) rows.push_back({rid % 2 ? "QV_EX" : "QV_GX", rid * 4096});
  for (const auto& [table, rid] : rows) ASSERT_EQ(mine.Acquire(table, rid, me), RecordLocks::Outcome::Acquired);
  ASSERT_EQ(other.List().size(), rows.size());

  std::shuffle(rows.begin(), rows.end(), std::mt19937(7));
  for (std::size_t n = 0; n < rows.size(); ++n) {
    mine.Release(rows[n].first, rows[n].second, me);
    for (std::size_t k = n + 1; k < rows.size(); k += 7)
      ASSERT_EQ(other.Acquire(rows[k].first, rows[k].second, him), RecordLocks::Outcome::HeldByOther)
          << rows[k].first << " row " << rows[k].second << " after " << n + 1 << " releases";
    ASSERT_EQ(other.Acquire(rows[n].first, rows[n].second, him), RecordLocks::Outcome::Acquired);
    other.Release(rows[n].first, rows[n].second, him);
  }
  EXPECT_TRUE(other.List().empty());
}

TEST(RecordLockTable, AFullTableRefusesTheNextLockAndKeepsTheOthers) {
  EmbeddedStore store(SourceKind::AS400);
  RecordLocks locks(store.path());
  const LockHolder me{1, 1};
  int64_t rid = 1;
  try {
    for (; rid < 100000; ++rid) locks.Acquire("QV_EX", rid, me);
    FAIL() << "no limit";
  } catch (const embedded::StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("too many record locks"), std::string::npos) << e.what();
  }
  EXPECT_EQ(locks.List().size(), static_cast<std::size_t>(rid - 1));
  locks.ReleaseConnection(1);
  EXPECT_TRUE(locks.List().empty());
  EXPECT_EQ(locks.Acquire("QV_EX", rid, me), RecordLocks::Outcome::Acquired);
}

TEST(RecordLockTable, AForeignLockFileRefusesTheConnectionWithItsReason) {
  EmbeddedStore store(SourceKind::AS400);
  std::ofstream(embedded::LockTablePath(store.path())) << "not a lock table";
  LibClient client;
  EXPECT_EQ(client.Open(store.address()), 0);
  EXPECT_NE(client.Error().text.find("record locks"), std::string::npos) << client.Error().text;
}

// Two connections, each in its own thread, add one to the same record's
// counter many times: each a locked read, then a rewrite. Every increment
// must survive, so a locked read must never return an image older than the
// record it locked.
TEST(RecordLockTable, TwoConnectionsRewritingOneRecordLoseNoUpdate) {
  EmbeddedStore store(SourceKind::AS400);
  store.Admin().PutRecord(Record(L::QV_EX, Ex("C1", "P", "0")));
  constexpr int kEach = 1500;
  auto add = [&](int* done) {
    LibClient client;
    if (client.Open(store.address()) <= 0) return;
    int32_t h = client.Ropen("QV_EX");
    while (*done < kEach) {
      auto rec = client.Readk(h, "C1", true, L::QV_EX.length);
      if (!rec) continue;  // held by the other connection: try again
      Record r(L::QV_EX, *rec);
      r.Set("DESCRIP", std::to_string(std::stoi(std::string(r.Trimmed("DESCRIP"))) + 1));
      if (client.lib().Rupdate(h, r.image(), static_cast<int32_t>(r.image().size()))) ++*done;
    }
  };
  int first = 0, second = 0;
  std::thread a(add, &first), b(add, &second);
  a.join();
  b.join();
  ASSERT_EQ(first + second, 2 * kEach);
  auto rows = store.Admin().Records(L::QV_EX);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Trimmed("DESCRIP"), std::to_string(2 * kEach));
  EXPECT_TRUE(store.Admin().Locks().empty());
}

}  // namespace
}  // namespace qv::test
