// Cascading deletes on embedded stores of every kind: what goes, what stays,
// the events and their order, running distributions and interruptions.
#include <gtest/gtest.h>

#include "presentation/messages.h"
#include "store/environment_statements.h"
#include "store_embedded.h"
#include "store_fake.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;
using Counts = std::vector<std::size_t>;

class CascadeStore : public StoreTest {
 protected:
  void SetUp() override {
    auto admin = Admin();
    WriteTopology(admin, "E1");
    WriteTopology(admin, "E2");
  }
};

// Counts of EX, UID, CX, GX, FX, ZX, TX, GC, FC, ZC, END of one topology.
const Counts kFull = {1, 2, 3, 1, 2, 4, 4, 3, 6, 6, 6};
const Counts kNone(11, 0);

Lines TargetEvents(const std::string& t) {
  return {"FCdeleted E1|" + t + "|M1|0000000001", "FCdeleted E1|" + t + "|M1|0000000002",
          "GCdeleted E1|" + t + "|M1", "CXdeleted E1|" + t};
}

TEST_P(CascadeStore, DeletingAnEnvironmentRemovesAllOfItAndNothingElse) {
  ASSERT_TRUE(control().DeleteEnvironment("E1")) << control().ErrorStep() << ": " << control().ErrorText();
  EXPECT_EQ(CountsOf("E1"), kNone);
  EXPECT_EQ(CountsOf("E2"), kFull);
  Lines expected;
  for (const char* t : {"T1", "T2", "T3"})
    for (const std::string& e : TargetEvents(t)) expected.push_back(e);
  expected.insert(expected.end(), {"FXdeleted E1|M1|0000000001", "FXdeleted E1|M1|0000000002",
                                   "GXdeleted E1|M1", "EXdeleted E1"});
  EXPECT_EQ(events.seen, expected);
  EXPECT_EQ(engine().userSpacesDeleted.size(), 6u);  // two per distribution, named as the job
  EXPECT_EQ(engine().userSpacesDeleted[0], "SE1_T1_M1_");
  EXPECT_EQ(engine().userSpacesDeleted[1], "SE1$T1_M1_");
  EXPECT_TRUE(Admin().Locks().empty());
}

TEST_P(CascadeStore, AModelsTablesGoBeforeItsDistributions) {
  // What a model delete runs before deleting the model itself.
  ASSERT_TRUE(control().DeleteFXforGX("E1", "M1")) << control().ErrorText();
  ASSERT_TRUE(control().DeleteGCforGX("E1", "M1")) << control().ErrorText();
  Lines expected;
  for (const char* f : {"0000000001", "0000000002"}) {
    for (const char* t : {"T1", "T2", "T3"})
      expected.push_back(std::string("FCdeleted E1|") + t + "|M1|" + f);
    expected.push_back(std::string("FXdeleted E1|M1|") + f);
  }
  for (const char* t : {"T1", "T2", "T3"}) expected.push_back(std::string("GCdeleted E1|") + t + "|M1");
  EXPECT_EQ(events.seen, expected);
  // Left: the environment, users, targets and the model record itself.
  EXPECT_EQ(CountsOf("E1"), (Counts{1, 2, 3, 1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(CountsOf("E2"), kFull);
}

TEST_P(CascadeStore, TheModelsOfAnEnvironmentGoWithTheirTables) {
  ASSERT_TRUE(control().DeleteCXforEX("E1"));
  ASSERT_TRUE(control().DeleteGXforEX("E1"));
  EXPECT_EQ(events.seen.back(), "GXdeleted E1|M1");
  EXPECT_EQ(CountsOf("E1"), (Counts{1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_P(CascadeStore, ARunningSecondDistributionStopsTheTargetDeleteAfterTheFirst) {
  Record gc(layout::QV_GC);
  gc.Set("ENVID", "E1");
  gc.Set("TGTID", "T1");
  gc.Set("GRPID", "M2");
  Admin().PutRecord(gc);
  engine().running.insert("SE1_T1_M2_");

  EXPECT_FALSE(control().DeleteCible("T1"));
  EXPECT_EQ(control().ErrorNum(), 40);
  EXPECT_EQ(control().ErrorText(), cLoadResString("2027"));
  Lines expected = TargetEvents("T1");
  expected.pop_back();  // the target stays
  EXPECT_EQ(events.seen, expected);
  // The first distribution went whole; the running one and the target stay.
  const Lines gcs = Stored(layout::QV_GC, "E1");
  EXPECT_EQ(gcs.size(), 3u);
  for (const std::string& g : gcs) {
    const Record r(layout::QV_GC, g);
    EXPECT_FALSE(r.Get("TGTID") == "T1 " && r.Get("GRPID") == "M1 ") << "T1/M1 left";
  }
  EXPECT_TRUE(control().CibleExist("T1"));
  EXPECT_EQ(CountsOf("E1"), (Counts{1, 2, 3, 1, 2, 4, 4, 3, 4, 4, 4}));
  EXPECT_TRUE(Admin().Locks().empty());
}

TEST_P(CascadeStore, AFailingCallStopsTheCascadeAndLeavesWholeItems) {
  const std::string sql = DeleteTargetSql(control().FilePrefix(), "E1", "T2");
  int deletes = 0;
  engine().failWhen = [&](const std::string& op, const std::string& text) {
    if (op == "Saction") return text == sql;
    // AS/400: each target takes 8 deletes (2 script lines, 2 x (mapping and
    // table), the distribution, the target): the 16th is target T2.
    return op == "Rdelete" && ++deletes == 16;
  };
  EXPECT_FALSE(control().DeleteEnvironment("E1"));
  EXPECT_NE(control().ErrorNum(), 0);
  // T1 went whole, T2 lost its distribution but stays, T3, the model and the
  // users are untouched, and so is the environment.
  Lines expected = TargetEvents("T1");
  const Lines t2 = TargetEvents("T2");
  expected.insert(expected.end(), t2.begin(), t2.end() - 1);
  EXPECT_EQ(events.seen, expected);
  EXPECT_EQ(CountsOf("E1"), (Counts{1, 2, 2, 1, 2, 4, 4, 1, 2, 2, 2}));
  EXPECT_EQ(CountsOf("E2"), kFull);
  EXPECT_TRUE(Admin().Locks().empty());
}

TEST_P(CascadeStore, LeafDeletesReachEveryPlaceAndOnlyTheirParent) {
  ASSERT_TRUE(control().DeleteTXforFX("E1", "M1", "0000000001"));
  ASSERT_TRUE(control().DeleteENDforGC("E1", "T1", "M1"));
  ASSERT_TRUE(control().DeleteZCforZX("E1", "M1", "0000000002", "CUSTNO"));
  EXPECT_EQ(CountsOf("E1"), (Counts{1, 2, 3, 1, 2, 4, 2, 3, 6, 3, 4}));
  ASSERT_TRUE(control().DeleteZXforFX("E1", "M1", "0000000002"));
  ASSERT_TRUE(control().DeleteZCforFC("E1", "T1", "M1", "0000000001"));
  EXPECT_EQ(CountsOf("E1"), (Counts{1, 2, 3, 1, 2, 2, 2, 3, 6, 2, 4}));
  EXPECT_EQ(CountsOf("E2"), kFull);
  EXPECT_TRUE(events.seen.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, CascadeStore, AllKinds(), KindName);

}  // namespace
}  // namespace qv::test
