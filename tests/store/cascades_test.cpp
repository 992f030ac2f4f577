// Cascading deletes: on embedded stores of every kind, what goes, what stays,
// the events and their order, running distributions and interruptions;
// against the recording fake, the walk each kind makes and the failures of
// the library.
#include <gtest/gtest.h>

#include "presentation/messages.h"
#include "store/environment_statements.h"
#include "support/fake_control.h"
#include "support/store_fixture.h"
#include "support/topology.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;
using Counts = std::vector<std::size_t>;

// Counts of EX, UID, CX, GX, FX, ZX, TX, GC, FC, ZC, END of one topology.
const Counts kFull = {1, 2, 3, 1, 2, 4, 4, 3, 6, 6, 6};

class CascadeStore : public StoreTest {
 protected:
  void SetUp() override {
    auto admin = Admin();
    WriteTopology(admin, "E1");
    WriteTopology(admin, "E2");
  }
  // Whatever a test deletes in E1, E2 stays whole and no lock is left.
  void TearDown() override {
    EXPECT_EQ(CountsOf("E2"), kFull);
    EXPECT_TRUE(Admin().Locks().empty());
  }
};

Lines TargetEvents(const std::string& t) {
  return {"FCdeleted E1|" + t + "|M1|0000000001", "FCdeleted E1|" + t + "|M1|0000000002",
          "GCdeleted E1|" + t + "|M1", "CXdeleted E1|" + t};
}

TEST_P(CascadeStore, DeletingAnEnvironmentRemovesAllOfItAndNothingElse) {
  ASSERT_TRUE(control().DeleteEnvironment("E1")) << control().ErrorStep() << ": " << control().ErrorText();
  EXPECT_EQ(CountsOf("E1"), Counts(11, 0));
  Lines expected;
  for (const char* t : {"T1", "T2", "T3"})
    for (const std::string& e : TargetEvents(t)) expected.push_back(e);
  expected.insert(expected.end(),
                  {"FXdeleted E1|M1|0000000001", "FXdeleted E1|M1|0000000002", "GXdeleted E1|M1", "EXdeleted E1"});
  EXPECT_EQ(events.seen, expected);
  EXPECT_EQ(engine().userSpacesDeleted.size(), 6u);  // two per distribution
}

TEST_P(CascadeStore, AModelsTablesGoBeforeItsDistributionsAndTheModelLast) {
  auto admin = Admin();
  WriteModel(admin, "E1", "M2", 1, 1);  // a neighbour in the same environment, distributed to T01
  ASSERT_TRUE(control().DeleteGroup("M1")) << control().ErrorStep() << ": " << control().ErrorText();
  Lines expected;
  for (const char* f : {"0000000001", "0000000002"}) {
    for (const char* t : {"T1", "T2", "T3"}) expected.push_back(std::string("FCdeleted E1|") + t + "|M1|" + f);
    expected.push_back(std::string("FXdeleted E1|M1|") + f);
  }
  for (const char* t : {"T1", "T2", "T3"}) expected.push_back(std::string("GCdeleted E1|") + t + "|M1");
  expected.push_back("GXdeleted E1|M1");
  EXPECT_EQ(events.seen, expected);
  EXPECT_EQ(CountsOf("E1"), (Counts{1, 2, 4, 1, 1, 2, 1, 1, 1, 1, 1}));
}

TEST_P(CascadeStore, ARunningSecondDistributionStopsTheTargetDeleteAfterTheFirst) {
  Admin().PutRecord(Make(layout::QV_GC, {{"ENVID", "E1"}, {"TGTID", "T1"}, {"GRPID", "M2"}}));
  engine().running.insert("SE1_T1_M2_");
  EXPECT_FALSE(control().DeleteCible("T1"));
  EXPECT_EQ(control().ErrorNum(), 40);
  EXPECT_EQ(control().ErrorText(), cLoadResString("2027"));
  EXPECT_EQ(control().ErrorStep(), "DeleteGCforCX");
  Lines expected = TargetEvents("T1");
  expected.pop_back();  // the target stays
  EXPECT_EQ(events.seen, expected);
  // The first distribution went whole; the running one and the target stay.
  for (const std::string& g : Stored(layout::QV_GC, "E1")) EXPECT_NE(g.substr(2, 6), "T1 M1 ");
  EXPECT_EQ(CountsOf("E1"), (Counts{1, 2, 3, 1, 2, 4, 4, 3, 4, 4, 4}));
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
  // T1 went whole, T2 lost its distribution but stays, T3, the model, the
  // users and the environment are untouched.
  Lines expected = TargetEvents("T1");
  const Lines t2 = TargetEvents("T2");
  expected.insert(expected.end(), t2.begin(), t2.end() - 1);
  EXPECT_EQ(events.seen, expected);
  EXPECT_EQ(CountsOf("E1"), (Counts{1, 2, 2, 1, 2, 4, 4, 1, 2, 2, 2}));
}

// The other leaf deletes are the steps of the deletes above.
TEST_P(CascadeStore, AFieldTakesTheMappingsOfItsOwnTableOnly) {
  ASSERT_TRUE(control().DeleteZCforZX("E1", "M1", "0000000002", "CUSTNO"));
  EXPECT_EQ(CountsOf("E1"), (Counts{1, 2, 3, 1, 2, 4, 4, 3, 6, 3, 6}));
  EXPECT_TRUE(events.seen.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, CascadeStore, StoreKinds(), KindName);

// ---- What only the fake shows ----------------------------------------------------

std::string Distribution(const std::string& tgt, const std::string& grp) {
  return BuildKey(layout::DistributionKey, {"E1", tgt, grp});
}

// Shortens the user-space deletes, whose names are the engine's business.
Lines Shorten(Lines trace) {
  for (std::string& line : trace) {
    if (line.rfind("Execute DLTUSRSPC_", 0) == 0) line = "Execute DLTUSRSPC_";
    if (line.rfind("DeleteFile ", 0) == 0) line = "DeleteFile";
  }
  return trace;
}

TEST(CascadeCalls, As400WalksTheLogicalFilesWithTheKeysOfEachLevel) {
  OpenedFake o("AS400");
  const auto files = o.fake().OpenFiles().size();
  o.fake().On("Rreadk").File("QV_USRDATA/QV_CX").Key("E1T1 ").Record(Cx("E1", "T1"));
  o.fake().On("Rreadk").File("QV_USRDATA/QV_GC_L1").Key("E1T1 ").Record(Distribution("T1", "M1")).Record(
      Distribution("T1", "M2"));
  o.fake().On("Rreadk").File("QV_USRDATA/QV_FC_L0").Key("E1T1 M1 ").Record(
      BuildKey(layout::DistributedTableKey, {"E1", "T1", "M1", "0000000001"})).Record(
      BuildKey(layout::DistributedTableKey, {"E1", "T1", "M1", "0000000002"}));
  o.fake().On("Execute").Code("SYSLSTJOB_").DataPrefix("040960SE1_T1_M2_").Reply("00015SE1_T1_M2_");
  EXPECT_FALSE(o.control().DeleteCible("T1"));
  EXPECT_EQ(Shorten(o.Trace()), (Lines{
      "Rreadk QV_CX [E1T1 ]",
      "Ropen QV_GC_L1",
      "Rreadk QV_GC_L1 [E1T1 ]",
      "Execute SYSLSTJOB_ 040960SE1_T1_M1_",
      "Ropen QV_END_L0",
      "Rreadk QV_END_L0 [E1T1 M1 ] -> 0",  // every place: the key stops before LIEU
      "Ropen QV_FC_L0",
      "Rreadk QV_FC_L0 [E1T1 M1 ]",
      "Ropen QV_ZC_L0",
      "Rreadk QV_ZC_L0 [E1T1 M1 0000000001] -> 0",
      "Rdelete QV_FC_L0",
      "Rreadk QV_FC_L0 [E1T1 M1 ]",
      "Rreadk QV_ZC_L0 [E1T1 M1 0000000002] -> 0",  // the file stays open for the next table
      "Rdelete QV_FC_L0",
      "Rreadk QV_FC_L0 [E1T1 M1 ] -> 0",
      "Rdelete QV_GC_L1",
      "Execute DLTUSRSPC_",
      "Execute DLTUSRSPC_",
      "Rreadk QV_GC_L1 [E1T1 ]",
      "Execute SYSLSTJOB_ 040960SE1_T1_M2_",
      "Rreadk QV_CX [E1T1 ] -> 0",  // releases the target's lock
      "Rclose QV_GC_L1",            // every file once, when the delete ends
      "Rclose QV_END_L0",
      "Rclose QV_FC_L0",
      "Rclose QV_ZC_L0",
  }));
  EXPECT_EQ(o.fake().OpenFiles().size(), files);
}

TEST(CascadeCalls, NtDeletesAnEnvironmentInOneUnitWithTheseStatementsInThisOrder) {
  OpenedFake o("SQL Server");
  const std::string p = o.Prefix();
  o.fake().On("Sread").Sql(SelectEnvironmentSql(p, "E1")).Row(Ex("E1"));
  o.fake().On("Sread").Sql(ListTargetsOfEnvironmentSql(p, "E1")).Rows({Cx("E1", "T1")});
  o.fake().On("Sread").Sql(ListDistributionsOfTargetSql(p, "E1", "T1")).Rows({Distribution("T1", "M1")});
  o.fake().On("Sread").Sql(ListTablesOfDistributionSql(p, "E1", "T1", "M1")).Rows(
      {BuildKey(layout::DistributedTableKey, {"E1", "T1", "M1", "0000000001"})});
  o.fake().On("Sread").Sql(ListModelsOfEnvironmentSql(p, "E1")).Rows({Gx("E1", "M1")});
  o.fake().On("Sread").Sql(ListTablesOfModelSql(p, "E1", "M1")).Rows({Fx("E1", "M1", "0000000001")});
  ASSERT_TRUE(o.control().DeleteEnvironment("E1")) << o.control().ErrorText();
  Lines trace;
  for (std::string line : o.Trace())
    if (line.rfind("Sread ", 0) == 0 || line.rfind("Saction ", 0) == 0 || line.rfind("SetConnectOption ", 0) == 0 ||
        line.rfind("SJobList ", 0) == 0)
      trace.push_back(line.ends_with(" -> 0") ? line.substr(0, line.size() - 5) : line);
    else if (line.rfind("Rclose", 0) == 0)
      trace.push_back("Rclose");
  EXPECT_EQ(trace, (Lines{
      "SetConnectOption 2",
      "Sread SELECT * FROM QV_USRDATA..QV_EX WHERE ENVID='E1'",
      "Sread SELECT * FROM QV_USRDATA..QV_CX WHERE ENVID ='E1'",
      "Sread SELECT  ENVID,TGTID,GRPID FROM QV_USRDATA..QV_GC WHERE ENVID ='E1' AND TGTID ='T1 '",
      "SJobList SE1_T1_M1_",
      "Saction DELETE FROM QV_USRDATA..QV_END WHERE ENVID ='E1' AND TGTID ='T1 ' AND GRPID = 'M1 '",
      "Sread SELECT ENVID,TGTID,GRPID,FICID FROM QV_USRDATA..QV_FC WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID='M1 '",
      "Saction DELETE FROM QV_USRDATA..QV_ZC WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID= 'M1 ' AND FICID='0000000001'",
      "Saction DELETE FROM QV_USRDATA..QV_FC WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID='M1 ' AND FICID='0000000001'",
      "Saction DELETE FROM QV_USRDATA..QV_GC WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID ='M1 '",
      "Saction DELETE FROM QV_USRDATA..QV_CX WHERE ENVID ='E1' AND TGTID ='T1 '",
      "Sread SELECT * FROM QV_USRDATA..QV_GX WHERE ENVID ='E1'",
      "Sread SELECT * FROM QV_USRDATA..QV_FX WHERE ENVID ='E1' AND GRPID ='M1 '",
      "Saction DELETE FROM QV_USRDATA..QV_TX WHERE ENVID ='E1' AND GRPID ='M1 ' AND FICID = '0000000001'",
      "Saction DELETE FROM QV_USRDATA..QV_ZX WHERE ENVID ='E1' AND GRPID ='M1 ' AND FICID = '0000000001'",
      "Sread SELECT ENVID,TGTID,GRPID,FICID FROM QV_USRDATA..QV_FC WHERE ENVID='E1' AND GRPID='M1 ' AND FICID='0000000001'",
      "Saction DELETE FROM QV_USRDATA..QV_FX WHERE ENVID='E1' AND GRPID= 'M1 ' AND FICID ='0000000001'",
      "Saction DELETE FROM QV_USRDATA..QV_GX WHERE ENVID='E1' AND GRPID ='M1 '",
      "Saction DELETE FROM QV_USRDATA..QV_UID WHERE ENVID ='E1'",
      "Saction DELETE FROM QV_USRDATA..QV_EX WHERE ENVID ='E1'",
      // The reads keep their statements for the reads after them: three
      // were read at once (targets, distributions, distributed tables).
      "Rclose",
      "Rclose",
      "Rclose",
      "SetConnectOption 0",
  }));
  // A cascade called alone leaves the unit of work to its caller.
  o.fake().ClearCalls();
  ASSERT_TRUE(o.control().DeleteZCforZX("E1", "M1", "0000000001", "CUSTNO"));
  EXPECT_EQ(o.fake().CallCount("SetConnectOption"), 0);
}

TEST(CascadeCalls, FailuresOfTheLibraryAreReportedWithTheirStep) {
  OpenedFake n("SQL Server");
  n.fake().On("Sread").SqlPrefix("SELECT * FROM QV_USRDATA..QV_CX").Fail(DllParam::kCodeNetwork, 0, "lost");
  const auto files = n.fake().OpenFiles().size();
  EXPECT_FALSE(n.control().DeleteCXforEX("E1"));
  EXPECT_EQ(n.control().ErrorText(), "lost");
  EXPECT_EQ(n.control().ErrorStep(), "DeleteCXforEX");
  EXPECT_EQ(n.fake().OpenFiles().size(), files);  // the failed read's statement is closed
  n.fake().On("Sread").Sql(SelectTargetSql(n.Prefix(), "E1", "T1")).Row(Cx("E1", "T1"));
  n.fake().On("SetConnectOption").Arg(0, "0").Fail(DllParam::kCodeNetwork, 0, "connection lost");
  EXPECT_FALSE(n.control().DeleteCible("T1"));
  EXPECT_EQ(n.control().ErrorText(), "connection lost");
}

}  // namespace
}  // namespace qv::test
