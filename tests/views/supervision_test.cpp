// Supervision: the state of a distribution and the supervision list, on
// embedded stores of every kind with the engine running jobs, and the reads
// the control sends for them.
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/controls.h"
#include "presentation/supervision_text.h"
#include "store/record_layouts.h"
#include "support/fake_control.h"
#include "support/store_fixture.h"
#include "support/topology.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

// A supervision record: state letter, hold and run flags, error counter.
Record Spv(const std::string& tgt, const std::string& state, const std::string& run, int errors,
           const std::string& hold = "0") {
  Record a = Make(layout::Activity, {{"state", state}, {"CptErr", std::string(9, '0') + std::to_string(errors)}});
  return Make(layout::QV_SPV, {{"ENVID", "E1"}, {"TGTID", tgt}, {"GRPID", "M1"}, {"STATE", state}, {"HOLD", hold},
                               {"RUN", run}, {"JOBNBR", "0000000042"}, {"ACTIVITY", a.image()},
                               {"REFRESHDT", "20240115103000"}});
}

class SupervisionStore : public StoreTest {
 protected:
  void SetUp() override {
    auto admin = Admin();
    WriteModel(admin, "E1", "M1", 1, 3);
  }
  std::string State(const std::string& tgt) {
    std::string state = "?";
    EXPECT_TRUE(control().ReadStateGC("E1", tgt, "M1", state)) << control().ErrorText();
    return state;
  }
  platform::ManualClock clock{5000};
  platform::ScopedClock scoped{clock};
};

TEST_P(SupervisionStore, StateFollowsTheEngineAndTheErrorCounterComesFirst) {
  EXPECT_EQ(State("T01"), "X");  // no record yet
  ASSERT_TRUE(control().StartQV("E1", "T01", "M1", GetParam().engineInstance)) << control().ErrorText();
  clock.Advance(2);
  EXPECT_EQ(State("T01"), "A");
  auto admin = Admin();
  admin.PutRecord(Spv("T02", "A", "1", 3));
  admin.PutRecord(Spv("T03", "A", "0", 0));
  EXPECT_EQ(State("T02"), "E");
  EXPECT_EQ(State("T03"), "X");
  // A code too long names no distribution.
  EXPECT_EQ(State("T0001"), "X");
}

TEST_P(SupervisionStore, ListShowsOneRowPerDistributionAndDropsVanishedOnes) {
  ASSERT_TRUE(control().StartQV("E1", "T01", "M1", GetParam().engineInstance)) << control().ErrorText();
  auto admin = Admin();
  admin.PutRecord(Spv("T02", "X", "0", 0, "1"));
  admin.PutRecord(Spv("T03", "A", "1", 2));
  clock.Advance(3);
  platform::ListView lv;
  ASSERT_TRUE(control().Read_Spv(lv, true)) << control().ErrorText();
  ASSERT_EQ(lv.ColumnCount(), 26);
  ASSERT_EQ(lv.Count(), 3);
  const platform::ListItem &running = lv.Item("KEYE1T01M1 "), &held = lv.Item("KEYE1T02M1 "),
                           &failed = lv.Item("KEYE1T03M1 ");
  EXPECT_FALSE(running.SubItem(1).empty());  // its job number
  // The running one has read its entries for 3 seconds; the failed one counts its errors.
  EXPECT_EQ((Lines{running.text, running.SubItem(2), running.SubItem(15), held.SubItem(2), held.SubItem(1),
                   failed.SubItem(2), failed.SubItem(24), failed.SubItem(25)}),
            (Lines{"[E1_M1] -> T01", "Run", "30", "Hold", "", "Error", "2", "2024/01/15 10:30:00"}));

  // The engine moves on; a refresh without columns rewrites the rows in place.
  clock.Advance(2);
  admin.db().exec("DELETE FROM QV_SPV WHERE TGTID LIKE 'T02%'");
  ASSERT_TRUE(control().Read_Spv(lv, false)) << control().ErrorText();
  ASSERT_EQ(lv.Count(), 2);
  EXPECT_EQ(lv.Item(1).Key(), "KEYE1T01M1 ");
  EXPECT_EQ(lv.Item(1).SubItem(15), "50");
  EXPECT_EQ(lv.ColumnCount(), 26);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SupervisionStore, AllKinds(), KindName);

TEST(SupervisionCalls, StateIsOneKeyedReadOrOneSelectAndTheListOneBlockRead) {
  for (const char* kind : {"AS400", "SQL Server"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    std::string state;
    ASSERT_TRUE(o.control().ReadStateGC("E1", "T1", "M1", state)) << o.control().ErrorText();
    EXPECT_EQ(state, "X");
    platform::ListView lv;
    ASSERT_TRUE(o.control().Read_Spv(lv, true)) << o.control().ErrorText();
    if (o.AS400()) {
      EXPECT_EQ(o.Trace(), (Lines{"Ropen QV_SPV", "Rreadk QV_SPV [E1T1 M1 ] -> 0", "Rclose QV_SPV", "Ropen QV_SPV",
                                  "RreadblockD QV_SPV -> 0", "Rclose QV_SPV"}));
    } else {
      EXPECT_EQ(o.Trace(), (Lines{"Ropen QV_USRDATA..QV_SPV",
                                  "Sread SELECT * FROM QV_USRDATA..QV_SPV WHERE ENVID='E1' AND TGTID='T1 ' AND "
                                  "GRPID='M1 ' -> 0",
                                  "Rclose QV_USRDATA..QV_SPV", "Ropen QV_USRDATA..QV_SPV",
                                  "Sreadblock SELECT * FROM QV_USRDATA..QV_SPV -> 0", "Rclose QV_USRDATA..QV_SPV"}));
    }
  }
}

TEST(SupervisionText, StateCodesAndCells) {
  struct Case {
    const char* state;
    const char* run;
    int errors;
    const char* hold;
    const char* readState;
    const char* listState;
  } cases[] = {
      {"A", "1", 0, "0", "A", "A"}, {"I", "1", 0, "0", "A", "I"}, {"J", "1", 0, "0", "A", "J"},
      {"X", "0", 0, "0", "X", "X"}, {"X", "0", 0, "1", "X", "H"}, {"A", "1", 1, "1", "E", "E"},
      {"F", "1", 0, "0", "A", "A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.state) + c.run + c.hold);
    const Record r = Spv("T1", c.state, c.run, c.errors, c.hold);
    EXPECT_EQ(DistributionStateCode(r), c.readState);
    EXPECT_EQ(SupervisionStateCode(r), c.listState);
  }
  EXPECT_EQ(EditTimeStamp("2024-01-15-10.30.05.100000"), "2024/01/15 10:30:05");
  Record r = Spv("T1", "A", "1", 0);
  r.Set("REPRISETYP", "C");
  EXPECT_EQ(SupervisionCells(r, "Run")[0], "LOAD");
  r.Set("REPRISETYP", "P");
  EXPECT_EQ(SupervisionCells(r, "Run")[0], "42");
}

}  // namespace
}  // namespace qv::test
