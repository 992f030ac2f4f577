// Distribution and distributed table operations on embedded stores of every
// kind: what is stored and read back, the user-type gate, the receiver
// library that only AS/400 stores keep, the events and their texts.
#include <gtest/gtest.h>

#include "store/record_rules.h"
#include "support/store_fixture.h"
#include "support/topology.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

class DistributionStore : public StoreTest {
 protected:
  void SetUp() override {
    auto admin = Admin();
    WriteModel(admin, "E1", "M1", 2, 3);
  }
  Record Gc(const std::string& tgt = "T01") {
    std::string s(624, ' ');
    EXPECT_TRUE(control().DetailGC("M1", tgt, s)) << control().ErrorText();
    return Record(layout::QV_GC, s);
  }
  std::vector<Record> Fcs(const std::string& tgt) {
    std::vector<Record> out;
    for (const std::string& image : Stored(layout::QV_FC)) {
      Record fc(layout::QV_FC, image);
      if (fc.Trimmed("TGTID") == tgt) out.push_back(fc);
    }
    return out;
  }
  std::string Label(const std::string& lib, const std::string& file) {
    return lib + (AS400() ? "/" : ".") + file;
  }
};

TEST_P(DistributionStore, AddGCDistributesEveryTableOfTheModelWithFreshFlags) {
  auto admin = Admin();
  admin.PutRecord(TopoTarget("E1", "T09"));
  admin.PutRecord(TopoModel("E1", "MM", "1"));  // distributed by hand
  for (int i = 3; i <= 20; ++i) admin.PutRecord(TopoTable("E1", "M1", i));
  std::string s = TopoDistribution("E1", "T09", "M1").image();
  ASSERT_TRUE(control().AddGC(s)) << control().ErrorStep() << ": " << control().ErrorText();
  const std::vector<Record> added = Fcs("T09");
  ASSERT_EQ(added.size(), 20u);
  Record expected = TopoDistributedTable("E1", "T09", "M1", 1);
  EXPECT_EQ(added[0].image(), expected.image());
  EXPECT_EQ(added[0].Get("NEW"), "1");
  EXPECT_EQ(added[0].Get("OCCUR"), " ");
  ASSERT_EQ(events.seen.size(), 21u);
  EXPECT_TRUE(events.seen[0].starts_with("GCadded E1|T09|M1|E1T09M1 0Model M1")) << events.seen[0];
  EXPECT_EQ(events.seen[1], "FCadded E1|T09|M1|0000000001|" + Label("SRCLIB", "FILE1") + "|Table 1 of M1|" +
                                Label("TGTLIB", "FILE1"));
  // Distributing again adds nothing; a table without its distributed table
  // gets one; a model distributed by hand gets none.
  events.Clear();
  ASSERT_TRUE(control().DistributeFC("T09", "M1")) << control().ErrorText();
  EXPECT_TRUE(events.seen.empty());
  ASSERT_TRUE(control().DeleteFC("T09", "M1", "0000000007"));
  ASSERT_TRUE(control().DistributeFC("T09", "M1"));
  EXPECT_EQ(events.Named("FCadded").size(), 1u);
  EXPECT_EQ(Fcs("T09").size(), 20u);
  std::string manual = TopoDistribution("E1", "T09", "MM").image();
  ASSERT_TRUE(control().AddGC(manual)) << control().ErrorText();
  EXPECT_EQ(events.seen.back().substr(0, 17), "GCadded E1|T09|MM");
}

TEST_P(DistributionStore, OnlyUserTypesZeroAndOneChangeADistributionOrItsTables) {
  auto admin = Admin();
  admin.PutRecord(Record(layout::QV_EX, Ex("E1", "P", "Production", "1")));
  SetProcessUserID("BOB");
  for (const char* type : {"0", "1", "2"}) {
    SCOPED_TRACE(type);
    admin.PutRecord(Make(layout::QV_UID, {{"ENVID", "E1"}, {"USERID", "BOB"}, {"USERTYPE", type}}));
    control().env("E1");
    ASSERT_EQ(control().CurrentUserType(), std::stoi(type));
    events.Clear();
    Record gc = Gc();
    gc.Set("REPRISEPNT", std::string("00000000") + type + "7");
    std::string s = gc.image();
    EXPECT_TRUE(control().ChangeGC("M1", "T01", s)) << control().ErrorText();
    Record changedFc = Fcs("T01").at(0);
    changedFc.Set("TGTFILE", std::string("FILE") + type);
    std::string fc = changedFc.image();
    EXPECT_TRUE(control().ChangeFC(fc, "T01", "M1", "0000000001")) << control().ErrorText();
    const bool writes = std::string(type) != "2";
    EXPECT_EQ(Gc().Get("REPRISEPNT") == gc.Get("REPRISEPNT"), writes);
    EXPECT_EQ(Fcs("T01").at(0).Trimmed("TGTFILE") == std::string("FILE") + type, writes);
    EXPECT_EQ(events.seen.size(), writes ? 2u : 0u);
    if (writes) { EXPECT_EQ(events.seen[0], "GCupdated E1|T01|M1"); }
  }
  SetProcessUserID("");
}

TEST_P(DistributionStore, TheReceiverLibrarySurvivesAs400ChangesAndIsNeverSentOnNt) {
  Record gc = Gc();
  gc.Set("REPRISERCV", "RCV0099");
  gc.Set("REPRISELIB", "RCVLIB9");
  std::string s = gc.image();
  ASSERT_TRUE(control().ChangeGC("M1", "T01", s)) << control().ErrorText();
  const Record stored = Gc();
  EXPECT_EQ(stored.Trimmed("REPRISERCV"), "RCV0099");
  EXPECT_EQ(stored.Trimmed("REPRISELIB"), AS400() ? "RCVLIB9" : "");
  // A later change that does not carry it keeps it on AS/400; the key and
  // the fields after the missing column stay in place.
  Record again = stored;
  again.Set("SCHEDULED", "1");
  again.Set("TGTID", "T09");
  s = again.image();
  ASSERT_TRUE(control().ChangeControledGC(s, "T01", "M1")) << control().ErrorText();
  const Record last = Gc();
  EXPECT_EQ(last.Trimmed("REPRISELIB"), AS400() ? "RCVLIB9" : "");
  EXPECT_EQ(last.Get("SCHEDULED"), "1");
  EXPECT_EQ(last.Get("REPRISEPNT"), "0000000010");
  EXPECT_EQ(s, last.image());
  Record fc = Fcs("T01").at(0);
  fc.Set("REPRISELIB", "FCLIB9");
  std::string f = fc.image();
  ASSERT_TRUE(control().ChangeControledFC(f, "T01", "M1", "0000000001")) << control().ErrorText();
  EXPECT_EQ(Fcs("T01").at(0).Trimmed("REPRISELIB"), AS400() ? "FCLIB9" : "");
}

TEST_P(DistributionStore, HoldReleasePositionAndRecoveryReset) {
  Record moved = TopoDistributedTable("E1", "T01", "M1", 2);
  moved.Set("REPRISETYP", "P");
  moved.Set("REPRISEPNT", "0000000042");
  Admin().PutRecord(moved);
  ASSERT_TRUE(control().HoldGC("E1", "T01", "M1"));
  ASSERT_TRUE(control().HoldFC("T01", "M1", "0000000001"));
  ASSERT_TRUE(control().GCUpdatePos("E1", "T01", "M1", 12.7f, -3.5f));
  ASSERT_TRUE(control().LoadRepriseFC("T01", "M1", "0000000002"));
  Record gc = TopoDistribution("E1", "T01", "M1");
  gc.Set("HOLD", "1");
  gc.Set("X", "0000000012");
  gc.Set("Y", "-000000003");
  EXPECT_EQ(Gc().image(), gc.image());
  const std::vector<Record> fcs = Fcs("T01");
  EXPECT_EQ(fcs[0].Get("HOLD"), "1");
  EXPECT_EQ(fcs[1].Get("HOLD"), "0");
  EXPECT_EQ(fcs[1].Get("REPRISETYP"), "C");
  EXPECT_EQ(fcs[1].Get("REPRISEPNT"), "0000000000");
  ASSERT_TRUE(control().ReleaseGC("E1", "T01", "M1"));
  ASSERT_TRUE(control().ReleaseFC("T01", "M1", "0000000001"));
  EXPECT_EQ(Gc().Get("HOLD"), "0");
  EXPECT_EQ(Fcs("T01")[0].Get("HOLD"), "0");
  EXPECT_EQ(events.seen, (Lines{"GCHold E1|T01|M1", "FCHold E1|T01|M1|0000000001", "GCRelease E1|T01|M1",
                                "FCRelease E1|T01|M1|0000000001"}));
  EXPECT_TRUE(Admin().Locks().empty());
}

TEST_P(DistributionStore, DistributedTablesAreReadDeletedAndAddedBack) {
  std::string fc, fcfx, all, manual;
  ASSERT_TRUE(control().DetailFC(fc, "T01", "M1", "0000000001", fcfx, all, manual)) << control().ErrorText();
  EXPECT_EQ(fc, Fcs("T01").at(0).image());
  // The joined record holds each field of the two rows in its own place.
  EXPECT_EQ(Record(layout::DistributedTableWithModelTable, fcfx),
            JoinDistributedTable(Fcs("T01").at(0), TopoTable("E1", "M1", 1)));
  EXPECT_EQ(all, AS400() ? "*ALL" : "");
  EXPECT_EQ(manual, "0");

  ASSERT_TRUE(control().DeleteFC("T01", "M1", "0000000001")) << control().ErrorText();
  EXPECT_EQ(Fcs("T01").size(), 1u);
  EXPECT_EQ(CountsOf("E1")[9], 5u);  // its mapping went with it
  Record again = TopoDistributedTable("E1", "T09", "M1", 1);
  again.Set("OCCUR", "7");
  again.Set("X", "0000000099");
  std::string s = again.image();
  ASSERT_TRUE(control().AddFC(s, "T01", "M1")) << control().ErrorText();
  // Added under the distribution's key, with fresh flags.
  const Record added = Fcs("T01").at(0);
  EXPECT_EQ(added.image(), TopoDistributedTable("E1", "T01", "M1", 1).image());
  EXPECT_EQ(s, added.image());
  ASSERT_EQ(events.seen.size(), 2u);
  EXPECT_EQ(events.seen[0], "FCdeleted E1|T01|M1|0000000001");
  EXPECT_TRUE(events.seen[1].starts_with("FCadded E1|T01|M1|0000000001|"));
}

TEST_P(DistributionStore, DeleteGCTakesItsTablesScriptAndUserSpaces) {
  ASSERT_TRUE(control().DeleteGC("T02", "M1")) << control().ErrorText();
  EXPECT_TRUE(Fcs("T02").empty());
  EXPECT_EQ(CountsOf("E1"), (std::vector<std::size_t>{1, 0, 3, 1, 2, 4, 2, 2, 4, 4, 2}));
  EXPECT_EQ(engine().userSpacesDeleted, (Lines{"SE1_T02M1_", "SE1$T02M1_"}));  // the first is the job's own name
  EXPECT_EQ(events.seen, (Lines{"FCdeleted E1|T02|M1|0000000001", "FCdeleted E1|T02|M1|0000000002",
                                "GCdeleted E1|T02|M1"}));
  EXPECT_TRUE(Admin().Locks().empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, DistributionStore, StoreKinds(), KindName);

}  // namespace
}  // namespace qv::test
