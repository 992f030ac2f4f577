// Cascading deletes against the recording fake: the walk of each kind, the
// keys of the leaves, running distributions, interruptions, event order.
#include <gtest/gtest.h>

#include "presentation/messages.h"
#include "store/environment_statements.h"
#include "store_fake.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

// Returns the lines of the trace that start with one of the operations,
// without the mark of a read that found nothing.
Lines Only(const Lines& trace, std::initializer_list<const char*> ops) {
  Lines out;
  for (std::string line : trace) {
    if (line.ends_with(" -> 0") && line.rfind("Sread ", 0) == 0) line.resize(line.size() - 5);
    for (const char* op : ops)
      if (line.rfind(std::string(op) + " ", 0) == 0) out.push_back(line);
  }
  return out;
}

// Shortens the user-space deletes, whose names are the engine's business.
Lines Shorten(Lines trace) {
  for (std::string& line : trace) {
    if (line.rfind("Execute DLTUSRSPC_", 0) == 0) line = "Execute DLTUSRSPC_";
    if (line.rfind("DeleteFile ", 0) == 0) line = "DeleteFile";
  }
  return trace;
}

std::string Distribution(const std::string& tgt, const std::string& grp) {
  return Key(layout::DistributionKey, {"E1", tgt, grp});
}
std::string Table(const std::string& tgt, const std::string& grp, const std::string& fic) {
  return Key(layout::DistributedTableKey, {"E1", tgt, grp, fic});
}

TEST(DeleteCible, As400WalksTheDistributionsAndStopsAtTheRunningOne) {
  OpenedFake o("AS400");
  const auto files = o.fake().OpenFiles().size();
  o.fake().On("Rreadk").File("QV_USRDATA/QV_CX").Key("E1T1 ").Record(Cx("E1", "T1"));
  o.fake().On("Rreadk").File("QV_USRDATA/QV_GC_L1").Key("E1T1 ")
      .Record(Distribution("T1", "M1")).Record(Distribution("T1", "M2"));
  o.fake().On("Rreadk").File("QV_USRDATA/QV_FC_L0").Key("E1T1 M1 ").Record(Table("T1", "M1", "0000000001"));
  o.fake().On("Execute").Code("SYSLSTJOB_").DataPrefix("040960SE1_T1_M2_").Reply("00015SE1_T1_M2_");

  EXPECT_FALSE(o.control().DeleteCible("T1"));
  EXPECT_EQ(o.control().ErrorNum(), 40);
  EXPECT_EQ(o.control().ErrorText(), cLoadResString("2027"));
  EXPECT_EQ(o.control().ErrorStep(), "DeleteGCforCX");
  EXPECT_EQ(Shorten(o.Trace()), (Lines{
      "Rreadk QV_CX [E1T1 ]",
      "Ropen QV_GC_L1",
      "Rreadk QV_GC_L1 [E1T1 ]",
      "Execute SYSLSTJOB_ 040960SE1_T1_M1_",
      "Ropen QV_END_L0",
      "Rreadk QV_END_L0 [E1T1 M1 ] -> 0",  // every place: the key stops before LIEU
      "Rclose QV_END_L0",
      "Ropen QV_FC_L0",
      "Rreadk QV_FC_L0 [E1T1 M1 ]",
      "Ropen QV_ZC_L0",
      "Rreadk QV_ZC_L0 [E1T1 M1 0000000001] -> 0",
      "Rclose QV_ZC_L0",
      "Rdelete QV_FC_L0",
      "Rreadk QV_FC_L0 [E1T1 M1 ] -> 0",
      "Rclose QV_FC_L0",
      "Rdelete QV_GC_L1",
      "Execute DLTUSRSPC_",
      "Execute DLTUSRSPC_",
      "Rreadk QV_GC_L1 [E1T1 ]",
      "Execute SYSLSTJOB_ 040960SE1_T1_M2_",
      "Rclose QV_GC_L1",
      "Rreadk QV_CX [E1T1 ] -> 0",  // releases the target's lock; the target stays
  }));
  for (const FakeCall& c : o.fake().CallsNamed("Ropen")) EXPECT_EQ(c.Arg(1), DllParam::kModeUpdate);
  EXPECT_EQ(o.fake().OpenFiles().size(), files);
  EXPECT_EQ(o.events.seen, (Lines{"FCdeleted E1|T1|M1|0000000001", "GCdeleted E1|T1|M1"}));
}

TEST(DeleteCible, NtDeletesTheFirstDistributionThenRefusesTheRunningSecond) {
  for (const char* kind : {"ODBC", "SQL Server", "Oracle"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    const std::string p = o.Prefix();
    o.fake().On("Sread").Sql(SelectTargetSql(p, "E1", "T1")).Row(Cx("E1", "T1"));
    o.fake().On("Sread").Sql(ListDistributionsOfTargetSql(p, "E1", "T1"))
        .Rows({Distribution("T1", "M1"), Distribution("T1", "M2")});
    o.fake().On("Sread").Sql(ListTablesOfDistributionSql(p, "E1", "T1", "M1"))
        .Rows({Table("T1", "M1", "0000000001")});
    o.fake().On("SJobList").Arg(0, "SE1_T1_M2_").Out("00001\tSE1_T1_M2_ 4242\t");

    EXPECT_FALSE(o.control().DeleteCible("T1"));
    EXPECT_EQ(o.control().ErrorText(), cLoadResString("2027"));
    EXPECT_EQ(Only(Shorten(o.Trace()), {"SetConnectOption", "Sread", "Saction", "SJobList"}), (Lines{
        "SetConnectOption 2",
        "Sread " + SelectTargetSql(p, "E1", "T1"),
        "Sread SELECT  ENVID,TGTID,GRPID FROM " + p + "QV_GC WHERE ENVID ='E1' AND TGTID ='T1 '",
        "SJobList SE1_T1_M1_",
        "Saction " + DeleteEndScriptSql(p, "E1", "T1", "M1"),
        "Sread " + ListTablesOfDistributionSql(p, "E1", "T1", "M1"),
        "Saction " + DeleteMappingsOfDistributedTableSql(p, "E1", "T1", "M1", "0000000001"),
        "Saction " + DeleteDistributedTableSql(p, "E1", "T1", "M1", "0000000001"),
        "Saction " + DeleteDistributionSql(p, "E1", "T1", "M1"),
        "SJobList SE1_T1_M2_",
        "SetConnectOption 0",
    }));
    EXPECT_EQ(o.fake().CallCount("DeleteFile"), 2);
    EXPECT_EQ(o.events.seen, (Lines{"FCdeleted E1|T1|M1|0000000001", "GCdeleted E1|T1|M1"}));
  }
}

TEST(DeleteEnvironment, NtDeletesTargetsThenModelsThenUsersThenTheRecord) {
  OpenedFake o("SQL Server");
  const std::string p = o.Prefix();
  o.fake().On("Sread").Sql(SelectEnvironmentSql(p, "E1")).Row(Ex("E1"));
  o.fake().On("Sread").Sql(ListTargetsOfEnvironmentSql(p, "E1")).Rows({Cx("E1", "T1"), Cx("E1", "T2")});
  o.fake().On("Sread").Sql(ListDistributionsOfTargetSql(p, "E1", "T1")).Rows({Distribution("T1", "M1")});
  o.fake().On("Sread").Sql(ListModelsOfEnvironmentSql(p, "E1")).Rows({Gx("E1", "M1")});
  o.fake().On("Sread").Sql(ListTablesOfModelSql(p, "E1", "M1")).Rows({Fx("E1", "M1", "0000000001")});

  ASSERT_TRUE(o.control().DeleteEnvironment("E1")) << o.control().ErrorText();
  EXPECT_EQ(Only(o.Trace(), {"SetConnectOption", "Sread", "Saction"}), (Lines{
      "SetConnectOption 2",
      "Sread " + SelectEnvironmentSql(p, "E1"),
      "Sread SELECT * FROM " + p + "QV_CX WHERE ENVID ='E1'",
      "Sread " + ListDistributionsOfTargetSql(p, "E1", "T1"),
      "Saction " + DeleteEndScriptSql(p, "E1", "T1", "M1"),
      "Sread " + ListTablesOfDistributionSql(p, "E1", "T1", "M1"),
      "Saction " + DeleteDistributionSql(p, "E1", "T1", "M1"),
      "Saction DELETE FROM " + p + "QV_CX WHERE ENVID ='E1' AND TGTID ='T1 '",
      "Sread " + ListDistributionsOfTargetSql(p, "E1", "T2"),
      "Saction " + DeleteTargetSql(p, "E1", "T2"),
      "Sread SELECT * FROM " + p + "QV_GX WHERE ENVID ='E1'",
      "Sread " + ListTablesOfModelSql(p, "E1", "M1"),
      "Saction " + DeleteProgramSql(p, "E1", "M1", "0000000001"),
      "Saction " + DeleteFieldsSql(p, "E1", "M1", "0000000001"),
      "Sread " + ListDistributedTablesOfTableSql(p, "E1", "M1", "0000000001"),
      "Saction " + DeleteModelTableSql(p, "E1", "M1", "0000000001"),
      "Saction DELETE FROM " + p + "QV_GX WHERE ENVID='E1' AND GRPID ='M1 '",
      "Saction DELETE FROM " + p + "QV_UID WHERE ENVID ='E1'",
      "Saction DELETE FROM " + p + "QV_EX WHERE ENVID ='E1'",
      "SetConnectOption 0",
  }));
  EXPECT_EQ(o.events.seen, (Lines{"GCdeleted E1|T1|M1", "CXdeleted E1|T1", "CXdeleted E1|T2",
                                  "FXdeleted E1|M1|0000000001", "GXdeleted E1|M1", "EXdeleted E1"}));
}

TEST(DeleteEnvironment, AFailingCallStopsTheWalkAndKeepsTheEnvironment) {
  {
    OpenedFake o("Oracle");
    const std::string p = o.Prefix();
    o.fake().On("Sread").Sql(SelectEnvironmentSql(p, "E1")).Row(Ex("E1"));
    o.fake().On("Sread").Sql(ListTargetsOfEnvironmentSql(p, "E1")).Rows({Cx("E1", "T1"), Cx("E1", "T2")});
    o.fake().On("Saction").Sql(DeleteTargetSql(p, "E1", "T2")).Fail(DllParam::kCodeRefused, 2292, "ORA-02292");
    EXPECT_FALSE(o.control().DeleteEnvironment("E1"));
    EXPECT_EQ(o.control().ErrorNum(), 2292);
    EXPECT_EQ(o.control().ErrorText(), "ORA-02292");
    EXPECT_EQ(o.control().ErrorStep(), "DeleteCXforEX");
    const Lines statements = Only(o.Trace(), {"Saction", "SetConnectOption"});
    EXPECT_EQ(statements.back(), "SetConnectOption 0");
    for (const std::string& s : statements) {
      EXPECT_EQ(s.find("QV_GX"), std::string::npos) << s;
      EXPECT_EQ(s.find("QV_UID"), std::string::npos) << s;
      EXPECT_EQ(s.find("QV_EX"), std::string::npos) << s;
    }
    EXPECT_EQ(o.events.seen, Lines{"CXdeleted E1|T1"});
  }
  {
    OpenedFake o("AS400");
    const auto files = o.fake().OpenFiles().size();
    o.fake().On("Rreadk").File("QV_USRDATA/QV_EX").Key("E1").Record(Ex("E1"));
    o.fake().On("Rreadk").File("QV_USRDATA/QV_CX_L0").Key("E1").Record(Cx("E1", "T1")).Record(Cx("E1", "T2"));
    o.fake().On("Rdelete").Nth(2).Fail(DllParam::kCodeBusy, 0, "record held");
    EXPECT_FALSE(o.control().DeleteEnvironment("E1"));
    EXPECT_EQ(o.control().ErrorText(), "record held");
    EXPECT_EQ(o.fake().OpenFiles().size(), files);  // the logical files are closed
    EXPECT_EQ(o.fake().CallCount("Rdelete"), 2);
    EXPECT_EQ(o.Trace().back(), "Rreadk QV_EX [E1] -> 0");  // the lock is released
    EXPECT_EQ(o.events.seen, Lines{"CXdeleted E1|T1"});
  }
}

// A model with two tables distributed to three targets.
void ScriptModel(OpenedFake& o) {
  const std::string p = o.Prefix();
  o.fake().On("Sread").Sql(ListModelsOfEnvironmentSql(p, "E1")).Rows({Gx("E1", "M1")});
  o.fake().On("Sread").Sql(ListTablesOfModelSql(p, "E1", "M1"))
      .Rows({Fx("E1", "M1", "0000000001"), Fx("E1", "M1", "0000000002")});
  for (const char* fic : {"0000000001", "0000000002"})
    o.fake().On("Sread").Sql(ListDistributedTablesOfTableSql(p, "E1", "M1", fic))
        .Rows({Table("T1", "M1", fic), Table("T2", "M1", fic), Table("T3", "M1", fic)});
  o.fake().On("Sread").Sql(ListDistributionsOfModelSql(p, "E1", "M1"))
      .Rows({Distribution("T1", "M1"), Distribution("T2", "M1"), Distribution("T3", "M1")});
}

const Lines kTableEvents = {
    "FCdeleted E1|T1|M1|0000000001", "FCdeleted E1|T2|M1|0000000001", "FCdeleted E1|T3|M1|0000000001",
    "FXdeleted E1|M1|0000000001",
    "FCdeleted E1|T1|M1|0000000002", "FCdeleted E1|T2|M1|0000000002", "FCdeleted E1|T3|M1|0000000002",
    "FXdeleted E1|M1|0000000002"};

TEST(ModelCascades, TablesWithTheirDistributedTablesComeBeforeTheDistributions) {
  OpenedFake o("SQL Server");
  ScriptModel(o);
  // What a model delete runs: its tables, then its distributions.
  ASSERT_TRUE(o.control().DeleteFXforGX("E1", "M1"));
  ASSERT_TRUE(o.control().DeleteGCforGX("E1", "M1"));
  Lines expected = kTableEvents;
  for (const char* t : {"T1", "T2", "T3"}) expected.push_back(std::string("GCdeleted E1|") + t + "|M1");
  EXPECT_EQ(o.events.seen, expected);
  // The distributions' end scripts go with them.
  EXPECT_EQ(o.fake().CallCount("SJobList"), 3);
  for (const char* t : {"T1", "T2", "T3"}) {
    const Lines s = o.fake().Statements();
    EXPECT_NE(std::find(s.begin(), s.end(), DeleteEndScriptSql(o.Prefix(), "E1", t, "M1")), s.end()) << t;
  }
}

TEST(ModelCascades, TheModelsOfAnEnvironmentRaiseGXdeletedAfterTheirTables) {
  OpenedFake o("ODBC");
  ScriptModel(o);
  ASSERT_TRUE(o.control().DeleteGXforEX("E1"));
  Lines expected = kTableEvents;
  expected.push_back("GXdeleted E1|M1");
  EXPECT_EQ(o.events.seen, expected);
}

TEST(LeafCascades, As400ProgramAndEndScriptLinesOfEveryPlaceGo) {
  OpenedFake o("AS400");
  Record line(layout::QV_TX);
  line.Set("ENVID", "E1");
  line.Set("GRPID", "M1");
  line.Set("FICID", "0000000001");
  Record other = line;
  line.Set("LIEU", "S");
  other.Set("LIEU", "T");
  o.fake().On("Rreadk").File("QV_USRDATA/QV_TX_L0").Key("E1M1 0000000001").Record(line.image()).Record(other.image());
  ASSERT_TRUE(o.control().DeleteTXforFX("E1", "M1", "0000000001"));
  EXPECT_EQ(o.Trace(), (Lines{"Ropen QV_TX_L0", "Rreadk QV_TX_L0 [E1M1 0000000001]", "Rdelete QV_TX_L0",
                              "Rreadk QV_TX_L0 [E1M1 0000000001]", "Rdelete QV_TX_L0",
                              "Rreadk QV_TX_L0 [E1M1 0000000001] -> 0", "Rclose QV_TX_L0"}));
  for (const FakeCall& c : o.fake().CallsNamed("Rreadk")) {
    EXPECT_EQ(c.IntArg(5), 15);
    EXPECT_EQ(c.IntArg(3), DllParam::kKeyEqualLocked);
  }

  o.fake().ClearCalls();
  ASSERT_TRUE(o.control().DeleteENDforGC("E1", "T1", "M1"));
  EXPECT_EQ(o.fake().CallsNamed("Rreadk")[0].IntArg(5), 8);
  EXPECT_TRUE(o.events.seen.empty());
}

TEST(LeafCascades, TheMappingsOfOneFieldGoForEveryTarget) {
  OpenedFake a("AS400");
  ASSERT_TRUE(a.control().DeleteZCforZX("E1", "M1", "0000000001", "CUSTNO"));
  EXPECT_EQ(a.fake().CallsNamed("Rreadk")[0].key, Key(layout::FieldKey, {"E1", "M1", "0000000001", "CUSTNO"}));
  EXPECT_EQ(a.fake().CallsNamed("Ropen")[0].Arg(0), "QV_USRDATA/QV_ZC_L1");

  OpenedFake n("Oracle");
  ASSERT_TRUE(n.control().DeleteZCforZX("E1", "M1", "0000000001", "CUSTNO"));
  EXPECT_EQ(n.fake().Statements(),
            Lines{"DELETE FROM QV_USRDATA.QV_ZC WHERE ENVID='E1' AND GRPID= 'M1 ' AND FICID='0000000001'"
                  " AND FIELDINPUT='CUSTNO" + std::string(24, ' ') + "'"});
  EXPECT_EQ(n.fake().CallCount("SetConnectOption"), 0);  // cascades leave the bracket to their callers
}

TEST(Cascades, AParentWithoutChildrenSucceedsAtOnce) {
  for (const char* kind : {"AS400", "SQL Server"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    EXPECT_TRUE(o.control().DeleteCXforEX("E9"));
    EXPECT_TRUE(o.control().DeleteGXforEX("E9"));
    EXPECT_TRUE(o.control().DeleteGCforCX("E9", "T1"));
    EXPECT_TRUE(o.control().DeleteGCforGX("E9", "M1"));
    EXPECT_TRUE(o.control().DeleteFXforGX("E9", "M1"));
    EXPECT_TRUE(o.control().DeleteFCforGC("E9", "T1", "M1"));
    EXPECT_TRUE(o.control().DeleteFCforFX("E9", "M1", "0000000001"));
    EXPECT_TRUE(o.events.seen.empty());
    EXPECT_EQ(o.fake().CallCount("Rdelete") + o.fake().CallCount("Saction"), 0);
  }
}

TEST(Cascades, AFailedListingOrOpenIsReportedWithTheStep) {
  OpenedFake n("SQL Server");
  n.fake().On("Sread").SqlPrefix("SELECT * FROM QV_USRDATA..QV_CX").Fail(DllParam::kCodeNetwork, 0, "lost");
  EXPECT_FALSE(n.control().DeleteCXforEX("E1"));
  EXPECT_EQ(n.control().ErrorText(), "lost");
  EXPECT_EQ(n.control().ErrorStep(), "DeleteCXforEX");

  OpenedFake a("AS400");
  a.fake().On("Ropen").Arg(0, "QV_USRDATA/QV_FC_L1").Fail(DllParam::kCodeRefused, 0, "no file");
  EXPECT_FALSE(a.control().DeleteFCforFX("E1", "M1", "0000000001"));
  EXPECT_EQ(a.control().ErrorStep(), "DeleteFCforFX:Open QV_FC_L1");
}

TEST(DeleteCible, AFailedCloseOfTheUnitOfWorkIsReported) {
  OpenedFake o("SQL Server");
  o.fake().On("Sread").Sql(SelectTargetSql(o.Prefix(), "E1", "T1")).Row(Cx("E1", "T1"));
  o.fake().On("SetConnectOption").Arg(0, "0").Fail(DllParam::kCodeNetwork, 0, "connection lost");
  EXPECT_FALSE(o.control().DeleteCible("T1"));
  EXPECT_EQ(o.control().ErrorText(), "connection lost");
}

}  // namespace
}  // namespace qv::test
