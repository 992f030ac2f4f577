// Distribution and distributed table operations against the recording fake:
// the exact statements and record calls of each kind, the user-type gate,
// the receiver library, refusals and events.
#include <gtest/gtest.h>

#include "presentation/messages.h"
#include "store/record_rules.h"
#include "store/environment_statements.h"
#include "store/distribution_statements.h"
#include "store/model_statements.h"
#include "store_fake.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

const char* const kAllKinds[] = {"AS400", "ODBC", "SQL Server", "Oracle"};

bool Writes(OpenedFake& o) {
  for (const char* op : {"Rwrite", "Rupdate", "Rdelete", "Saction"})
    if (o.fake().CallCount(op) > 0) return true;
  return false;
}

std::string Dist(const std::string& tgt = "T1", const std::string& grp = "M1",
                 const std::string& receiverLib = "") {
  Record r(layout::QV_GC);
  r.Set("ENVID", "E1");
  r.Set("TGTID", tgt);
  r.Set("GRPID", grp);
  r.Set("HOLD", "0");
  r.Set("TGTBDTYPE", "0");
  r.Set("TARGETDB", "TGTDB");
  r.Set("REPRISETYP", "P");
  r.Set("REPRISERCV", "RCV0001");
  r.Set("REPRISELIB", receiverLib);
  r.Set("REPRISEPNT", "0000000042");
  r.Set("X", "0000000000");
  r.Set("Y", "0000000000");
  return r.image();
}

std::string DistTable(const std::string& fic, const std::string& clear = "") {
  Record r(layout::QV_FC);
  r.Set("ENVID", "E1");
  r.Set("TGTID", "T1");
  r.Set("GRPID", "M1");
  r.Set("FICID", fic);
  r.Set("HOLD", "0");
  r.Set("INSTCLRPFM", clear);
  r.Set("REPRISETYP", "P");
  r.Set("REPRISERCV", "RCV0001");
  r.Set("REPRISELIB", "RCVLIB");
  r.Set("REPRISEPNT", "0000000042");
  return r.image();
}

std::string Model(const std::string& mandistri = "0") {
  Record r(layout::QV_GX, Gx("E1", "M1"));
  r.Set("MANDISTRI", mandistri);
  r.Set("DESCRIP", "Orders");
  return r.image();
}

std::string Table(const std::string& fic) {
  Record r(layout::QV_FX, Fx("E1", "M1", fic));
  r.Set("SRCTBL", "SRCLIB    ORDERS              ");
  r.Set("DESCRIP", "Orders table");
  r.Set("NUMSEQ", "0000000005");
  return r.image();
}

std::string Joined(const std::string& mandistri) {
  Record r(layout::DistributionWithModel);
  r.Set("ENVID", "E1");
  r.Set("TGTID", "T1");
  r.Set("GRPID", "M1");
  r.Set("DESCRIP", "Orders");
  r.Set("MANDISTRI", mandistri);
  r.Set("HOLD", "0");
  return r.image();
}

// The NT row of a distribution: the record without its receiver library.
std::string NtRow(const std::string& rec, const Layout& table) {
  return RecordToNtRow(Record(table, rec));
}

void StoreModel(OpenedFake& o, const std::string& model = Model()) {
  if (o.AS400())
    o.fake().On("Rreadk").File("QV_USRDATA/QV_GX").Key("E1M1 ").Record(model).Repeatedly();
  else
    o.fake().On("Sread").Sql(SelectModelSql(o.Prefix(), "E1", "M1")).Row(model).Repeatedly();
}

void StoreDist(OpenedFake& o, const std::string& gc = Dist()) {
  if (o.AS400())
    o.fake().On("Rreadk").File("QV_USRDATA/QV_GC").Key("E1T1 M1 ").Record(gc).Repeatedly();
  else
    o.fake().On("Sread").Sql(SelectDistributionSql(o.Prefix(), "E1", "T1", "M1")).Row(NtRow(gc, layout::QV_GC)).Repeatedly();
}

void StoreTable(OpenedFake& o, const std::string& fic) {
  if (o.AS400())
    o.fake().On("Rreadk").File("QV_USRDATA/QV_FX").Key("E1M1 " + fic).Record(Table(fic)).Repeatedly();
  else
    o.fake().On("Sread").Sql(SelectModelTableSql(o.Prefix(), "E1", "M1", fic)).Row(Table(fic)).Repeatedly();
}

void StoreDistTable(OpenedFake& o, const std::string& fc) {
  const Record r(layout::QV_FC, fc);
  const std::string fic(r.Get("FICID"));
  if (o.AS400())
    o.fake().On("Rreadk").File("QV_USRDATA/QV_FC").Key("E1T1 M1 " + fic).Record(fc).Repeatedly();
  else
    o.fake().On("Sread").Sql(SelectDistributedTableSql(o.Prefix(), "E1", "T1", "M1", fic)).Row(
        NtRow(fc, layout::QV_FC)).Repeatedly();
}

void StoreJoinedTable(OpenedFake& o, const std::string& fic) {
  const std::string joined =
      JoinDistributedTable(Record(layout::QV_FC, DistTable(fic)), Record(layout::QV_FX, Table(fic))).image();
  if (o.AS400())
    o.fake().On("Rreadk").File("QV_USRDATA/QV_FC_FXU").Key("E1T1 M1 " + fic).Record(joined).Repeatedly();
  else
    o.fake().On("Sread").Sql(SelectDistributedTableWithModelTableSql(
        JoinDialectOf(o.source.kind), o.Prefix(), "E1", "T1", "M1", fic)).Row(joined).Repeatedly();
}

// Selects E1 as a secured environment where the process user has type.
struct SecuredAs {
  SecuredAs(OpenedFake& o, const std::string& type) {
    SetProcessUserID("BOB");
    Record user(layout::QV_UID);
    user.Set("ENVID", "E1");
    user.Set("USERID", "BOB");
    user.Set("USERTYPE", type);
    if (o.AS400()) {
      o.fake().On("Rreadk").File("QV_USRDATA/QV_EX").Key("E1").Record(Ex("E1", "P", "", "1")).Repeatedly();
      o.fake().On("Rreadk").File("QV_USRDATA/QV_UID").Key(BuildKey(layout::UserKey, {"E1", "BOB"})).Record(
          user.image()).Repeatedly();
    } else {
      o.fake().On("Sread").Sql(SelectEnvironmentSql(o.Prefix(), "E1")).Row(Ex("E1", "P", "", "1")).Repeatedly();
      o.fake().On("Sread").SqlPrefix("SELECT * FROM " + o.Prefix() + "QV_UID WHERE ENVID='E1'").Row(
          user.image()).Repeatedly();
    }
    o.control().env("E1");
    o.fake().ClearCalls();
  }
  ~SecuredAs() { SetProcessUserID(""); }
};

// ---- Distributions --------------------------------------------------------------------

TEST(DetailGC, TakesModelTargetBufferAndReadsNtRowsWithoutTheReceiverLibrary) {
  for (const char* kind : kAllKinds) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreDist(o, Dist("T1", "M1", "RCVLIB"));
    std::string buffer(624, ' ');
    ASSERT_TRUE(o.control().DetailGC("M1", "T1", buffer)) << o.control().ErrorText();
    const Record gc(layout::QV_GC, buffer);
    EXPECT_EQ(gc.Trimmed("REPRISELIB"), o.AS400() ? "RCVLIB" : "");
    // The fields after the missing column stay in place.
    EXPECT_EQ(gc.Get("REPRISEPNT"), "0000000042");
    EXPECT_EQ(gc.Get("X"), "0000000000");
    EXPECT_FALSE(o.control().DetailGC("M2", "T1", buffer));
    EXPECT_EQ(o.control().ErrorText(), "Distribution M2 for target T1 not found");
  }
}

TEST(ChangeGC, OnlyUserTypesZeroAndOneChangeAnything) {
  for (const char* kind : {"AS400", "SQL Server"}) {
    for (const char* type : {"0", "1", "2", "3"}) {
      SCOPED_TRACE(std::string(kind) + " type " + type);
      OpenedFake o(kind);
      SecuredAs user(o, type);
      ASSERT_EQ(o.control().CurrentUserType(), std::stoi(type));
      StoreDist(o);
      Record changed(layout::QV_GC, Dist());
      changed.Set("SCHEDULED", "1");
      std::string s = changed.image();
      EXPECT_TRUE(o.control().ChangeGC("M1", "T1", s)) << o.control().ErrorText();
      const bool writes = std::string(type) == "0" || std::string(type) == "1";
      EXPECT_EQ(Writes(o), writes);
      EXPECT_EQ(o.events.seen, writes ? Lines{"GCupdated E1|T1|M1"} : Lines{});
      if (!writes) { EXPECT_TRUE(o.fake().Calls().empty()); }
    }
  }
}

TEST(ChangeControledGC, As400KeepsTheReceiverLibraryAndTheKey) {
  OpenedFake o("AS400");
  StoreDist(o);
  Record changed(layout::QV_GC, Dist("T9", "M9", "NEWLIB"));
  std::string s = changed.image();
  ASSERT_TRUE(o.control().ChangeControledGC(s, "T1", "M1"));
  EXPECT_EQ(o.Trace(), (Lines{"Rreadk QV_GC [E1T1 M1 ]", "Rupdate QV_GC"}));
  const Record written(layout::QV_GC, o.fake().CallsNamed("Rupdate")[0].Arg(1));
  EXPECT_EQ(written.Trimmed("REPRISELIB"), "NEWLIB");
  EXPECT_EQ(written.Get("TGTID"), "T1 ");
  EXPECT_EQ(written.Get("GRPID"), "M1 ");
  EXPECT_EQ(s, written.image());
}

TEST(ChangeControledGC, NtNeverSendsTheReceiverLibrary) {
  for (const char* kind : {"ODBC", "SQL Server", "Oracle"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreDist(o);
    std::string s = Dist("T1", "M1", "NEWLIB");
    ASSERT_TRUE(o.control().ChangeControledGC(s, "T1", "M1")) << o.control().ErrorText();
    Record expected(layout::QV_GC, Dist("T1", "M1", ""));
    const Lines st = o.fake().Statements();
    ASSERT_EQ(st.size(), 2u);
    EXPECT_EQ(st[1], UpdateDistributionSql(o.Prefix(), expected, "E1", "T1", "M1"));
    EXPECT_EQ(st[1].find("NEWLIB"), std::string::npos);
    EXPECT_TRUE(st[1].starts_with("UPDATE " + o.Prefix() + "QV_GC SET ENVID ='E1', TGTID ='T1 ', GRPID ='M1 ', HOLD ='0'"));
    EXPECT_EQ(Record(layout::QV_GC, s).Trimmed("REPRISELIB"), "");
  }
}

TEST(AddGC, StoresReadsBackRaisesAndDistributesTheModel) {
  for (const char* kind : kAllKinds) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreModel(o);
    if (o.AS400()) {
      o.fake().On("Rreadk").File("QV_USRDATA/QV_CX").Key("E1T1 ").Record(Cx("E1", "T1")).Repeatedly();
      o.fake().On("Rreadk").File("QV_USRDATA/QV_GX_GC_1").Key("E1T1 M1 ").Record(Joined("0"));
      o.fake().On("Rreadblock").File("QV_USRDATA/QV_FX_L0").Key("E1M1 ").Records({Table("0000000001"), Table("0000000002")});
    } else {
      o.fake().On("Sread").Sql(SelectTargetSql(o.Prefix(), "E1", "T1")).Row(Cx("E1", "T1")).Repeatedly();
      o.fake().On("Sread").Sql(SelectDistributionWithModelSql(JoinDialectOf(kind), o.Prefix(), "E1", "T1", "M1"))
          .Row(Joined("0"));
      o.fake().On("Sreadblock").Sql(ListTablesOfModelSql(o.Prefix(), "E1", "M1")).Rows({Table("0000000001"), Table("0000000002")});
    }
    std::string s = Dist("T1", "M1", "RCVLIB");
    ASSERT_TRUE(o.control().AddGC(s)) << o.control().ErrorStep() << ": " << o.control().ErrorText();
    if (o.AS400()) {
      EXPECT_EQ(o.fake().CallsNamed("Rwrite")[0].Arg(1), Dist("T1", "M1", "RCVLIB"));
      const auto writes = o.fake().CallsNamed("Rwrite");
      ASSERT_EQ(writes.size(), 3u);
      const Record fc(layout::QV_FC, writes[1].Arg(1));
      EXPECT_EQ(fc.Get("FICID"), "0000000001");
      EXPECT_EQ(fc.Get("OCCUR"), " ");
      EXPECT_EQ(fc.Get("NEW"), "1");
      EXPECT_EQ(fc.Get("NUMSEQ"), "0000000005");
    } else {
      Record stored(layout::QV_GC, Dist("T1", "M1", ""));
      stored.Set("FILLER", "");
      const Lines st = o.fake().Statements();
      const auto insert = std::find(st.begin(), st.end(), InsertDistributionSql(o.Prefix(), stored));
      ASSERT_NE(insert, st.end());
      EXPECT_EQ(std::count_if(st.begin(), st.end(), [&](const std::string& q) {
                  return q.starts_with("INSERT INTO " + o.Prefix() + "QV_FC (");
                }),
                2);
      EXPECT_EQ(Record(layout::QV_GC, s).Trimmed("REPRISELIB"), "");
    }
    const std::string lib = o.AS400() ? "SRCLIB/ORDERS" : "SRCLIB.ORDERS";
    const std::string target = o.AS400() ? "TGTDB/ORDERS" : "TGTDB.ORDERS";
    ASSERT_EQ(o.events.seen.size(), 3u);
    std::string joined = Joined("0");
    joined.erase(joined.find_last_not_of(' ') + 1);
    EXPECT_EQ(o.events.seen[0], "GCadded E1|T1|M1|" + joined);
    EXPECT_EQ(o.events.raw[0][3], Joined("0"));
    EXPECT_EQ(o.events.seen[1], "FCadded E1|T1|M1|0000000001|" + lib + "|Orders table|" + target);
    EXPECT_EQ(o.events.seen[2], "FCadded E1|T1|M1|0000000002|" + lib + "|Orders table|" + target);
  }
}

TEST(AddGC, AManuallyDistributedModelGetsNoTables) {
  OpenedFake o("ODBC");
  StoreModel(o, Model("1"));
  o.fake().On("Sread").Sql(SelectTargetSql("", "E1", "T1")).Row(Cx("E1", "T1"));
  o.fake().On("Sread").Sql(SelectDistributionWithModelSql(JoinDialect::Inner, "", "E1", "T1", "M1")).Row(Joined("1"));
  std::string s = Dist();
  ASSERT_TRUE(o.control().AddGC(s)) << o.control().ErrorText();
  EXPECT_EQ(o.fake().CallCount("Sreadblock"), 0);
  EXPECT_EQ(o.events.seen.size(), 1u);
}

TEST(AddGC, AMissingTargetOrModelIsRefusedBeforeAnyWrite) {
  OpenedFake o("AS400");
  std::string s = Dist();
  EXPECT_FALSE(o.control().AddGC(s));
  EXPECT_EQ(o.control().ErrorText(), "Target T1 not found");
  EXPECT_EQ(o.control().ErrorStep(), "AddGC:DetailCible");
  o.fake().On("Rreadk").File("QV_USRDATA/QV_CX").Record(Cx("E1", "T1")).Repeatedly();
  EXPECT_FALSE(o.control().AddGC(s));
  EXPECT_EQ(o.control().ErrorText(), "Model M1 not found");
  EXPECT_FALSE(Writes(o));
  EXPECT_TRUE(o.events.seen.empty());
}

TEST(DeleteGC, ARunningDistributionIsRefusedAndNothingIsDeleted) {
  for (const char* kind : {"AS400", "Oracle"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreDist(o);
    if (o.AS400())
      o.fake().On("Execute").Code("SYSLSTJOB_").Reply("00015SE1_T1 M1 ").Repeatedly();
    else
      o.fake().On("SJobList").Out("00001\tSE1_T1 M1  123\t").Repeatedly();
    EXPECT_FALSE(o.control().DeleteGC("T1", "M1"));
    EXPECT_EQ(o.control().ErrorNum(), 40);
    EXPECT_EQ(o.control().ErrorText(), "Impossible to remove an active distribution ");
    EXPECT_EQ(o.control().ErrorStep(), "DeleteGC");
    EXPECT_FALSE(Writes(o));
    EXPECT_EQ(o.fake().CallCount("DeleteFile"), 0);
    EXPECT_TRUE(o.events.seen.empty());
    if (!o.AS400()) { EXPECT_EQ(o.Trace().back(), "SetConnectOption 0"); }
  }
}

TEST(DeleteGC, DeletesTheRecordThenTheUserSpaces) {
  OpenedFake o("SQL Server");
  StoreDist(o);
  ASSERT_TRUE(o.control().DeleteGC("T1", "M1")) << o.control().ErrorText();
  const Lines trace = o.Trace();
  EXPECT_EQ(trace.front(), "SetConnectOption 2");
  EXPECT_EQ(trace.back(), "SetConnectOption 0");
  const std::string del = "Saction DELETE FROM QV_USRDATA..QV_GC WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID ='M1 '";
  const auto at = std::find(trace.begin(), trace.end(), del);
  ASSERT_NE(at, trace.end());
  EXPECT_EQ(*(at + 1), "DeleteFile SE1_T1 M1 ");
  EXPECT_EQ(o.events.seen, Lines{"GCdeleted E1|T1|M1"});
}

TEST(HoldGC, UsesTheEnvironmentGivenAndSetsTheFlag) {
  for (const char* kind : {"AS400", "ODBC"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    Record other(layout::QV_GC, Dist());
    other.Set("ENVID", "E2");
    if (o.AS400())
      o.fake().On("Rreadk").File("QV_USRDATA/QV_GC").Key("E2T1 M1 ").Record(other.image()).Repeatedly();
    else
      o.fake().On("Sread").Sql(SelectDistributionSql("", "E2", "T1", "M1")).Row(RecordToNtRow(other)).Repeatedly();
    ASSERT_TRUE(o.control().HoldGC("E2", "T1", "M1")) << o.control().ErrorText();
    ASSERT_TRUE(o.control().ReleaseGC("E2", "T1", "M1"));
    if (o.AS400()) {
      const auto updates = o.fake().CallsNamed("Rupdate");
      EXPECT_EQ(Record(layout::QV_GC, updates[0].Arg(1)).Get("HOLD"), "1");
      EXPECT_EQ(Record(layout::QV_GC, updates[1].Arg(1)).Get("HOLD"), "0");
    } else {
      EXPECT_EQ(o.fake().Statements()[1],
                "UPDATE QV_GC SET HOLD ='1' WHERE ENVID ='E2' AND TGTID='T1 ' AND GRPID='M1 '");
    }
    EXPECT_EQ(o.events.seen, (Lines{"GCHold E2|T1|M1", "GCRelease E2|T1|M1"}));
    EXPECT_FALSE(o.control().HoldGC("E1", "T1", "M1"));
    EXPECT_EQ(o.control().ErrorText(), "Distribution M1 for target T1 not found");
  }
}

TEST(GCUpdatePos, StoresTheIntegerPartsInTenCharacters) {
  {
    OpenedFake o("AS400");
    Record pos(layout::DistributionPosition);
    pos.Set("ENVID", "E1");
    pos.Set("TGTID", "T1");
    pos.Set("GRPID", "M1");
    o.fake().On("Rreadk").File("QV_USRDATA/QV_GC_XY").Key("E1T1 M1 ").Record(pos.image());
    ASSERT_TRUE(o.control().GCUpdatePos("E1", "T1", "M1", 12.7f, -3.5f));
    EXPECT_EQ(o.Trace(), (Lines{"Rreadk QV_GC_XY [E1T1 M1 ]", "Rupdate QV_GC_XY"}));
    EXPECT_EQ(o.fake().CallsNamed("Rupdate")[0].Arg(1), "E1T1 M1 0000000012-000000003");
    EXPECT_FALSE(o.control().GCUpdatePos("E1", "T2", "M1", 1, 1));
    EXPECT_EQ(o.control().ErrorText(), "Distribution M1 in target T2 not found");
  }
  {
    OpenedFake o("Oracle");
    StoreDist(o);
    ASSERT_TRUE(o.control().GCUpdatePos("E1", "T1", "M1", 12.7f, 40.0f));
    EXPECT_EQ(o.fake().Statements().back(),
              "UPDATE QV_USRDATA.QV_GC SET X='0000000012',Y='0000000040' WHERE ENVID='E1' AND "
              "TGTID ='T1 ' AND GRPID ='M1 '");
    EXPECT_FALSE(o.control().GCUpdatePos("E1", "T2", "M1", 1, 1));
    EXPECT_EQ(o.control().ErrorText(), "Distribution M1 in target T2 not found");
    EXPECT_EQ(o.fake().CallCount("Saction"), 1);
    EXPECT_TRUE(o.events.seen.empty());
  }
}

// ---- Distributed tables -----------------------------------------------------------------

TEST(AddFC, WritesTheDistributionsKeyAndFreshFlagsThenReadsBack) {
  for (const char* kind : kAllKinds) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreModel(o);
    StoreDist(o);
    StoreTable(o, "0000000001");
    StoreJoinedTable(o, "0000000001");
    Record in(layout::QV_FC, DistTable("0000000001"));
    in.Set("TGTID", "T9");
    in.Set("OCCUR", "7");
    in.Set("NEW", "0");
    in.Set("X", "0000000099");
    std::string s = in.image();
    ASSERT_TRUE(o.control().AddFC(s, "T1", "M1")) << o.control().ErrorText();
    Record stored(layout::QV_FC, DistTable("0000000001"));
    stored.Set("OCCUR", " ");
    stored.Set("NEW", "1");
    stored.Set("X", "0000000000");
    stored.Set("Y", "0000000000");
    if (o.AS400()) {
      EXPECT_EQ(o.fake().CallsNamed("Rwrite")[0].Arg(1), stored.image());
    } else {
      stored.Set("REPRISELIB", "");
      EXPECT_EQ(o.fake().CallsNamed("Saction")[0].sql, InsertDistributedTableSql(o.Prefix(), stored));
    }
    EXPECT_EQ(s, stored.image());
    ASSERT_EQ(o.events.seen.size(), 1u);
    EXPECT_TRUE(o.events.seen[0].starts_with("FCadded E1|T1|M1|0000000001|SRCLIB"));
  }
}

TEST(AddFC, AFailedReadBackIsReportedUnderItsStep) {
  OpenedFake o("AS400");
  StoreModel(o);
  StoreDist(o);
  StoreTable(o, "0000000001");
  o.fake().On("Rreadk").File("QV_USRDATA/QV_FC_FXU").Fail(DllParam::kCodeNetwork, 0, "lost");
  std::string s = DistTable("0000000001");
  EXPECT_FALSE(o.control().AddFC(s, "T1", "M1"));
  EXPECT_EQ(o.control().ErrorStep(), "AddFc:ReadFC");
  EXPECT_EQ(o.control().ErrorText(), "lost");
  EXPECT_TRUE(o.events.seen.empty());
}

TEST(AddFC, TheDistributionAndTheModelTableMustExist) {
  OpenedFake o("ODBC");
  StoreModel(o);
  std::string s = DistTable("0000000001");
  EXPECT_FALSE(o.control().AddFC(s, "T1", "M1"));
  EXPECT_EQ(o.control().ErrorText(), "Distribution M1 for target T1 not found");
  StoreDist(o);
  EXPECT_FALSE(o.control().AddFC(s, "T1", "M1"));
  EXPECT_EQ(o.control().ErrorText(), "Table 0000000001 not found in model M1");
  EXPECT_FALSE(Writes(o));
}

TEST(DetailFC, FillsTheTableTheJoinAndTheOptions) {
  for (const char* kind : {"AS400", "SQL Server"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreModel(o);
    StoreDist(o);
    StoreDistTable(o, DistTable("0000000001"));
    std::string fc, fcfx, all, manual;
    EXPECT_FALSE(o.control().DetailFC(fc, "T1", "M1", "0000000001", fcfx, all, manual));
    EXPECT_EQ(o.control().ErrorStep(), "DetailFc:ReadFC_FXU");
    StoreJoinedTable(o, "0000000001");
    ASSERT_TRUE(o.control().DetailFC(fc, "T1", "M1", "0000000001", fcfx, all, manual));
    EXPECT_EQ(Record(layout::QV_FC, fc).Get("FICID"), "0000000001");
    EXPECT_EQ(Record(layout::DistributedTableWithModelTable, fcfx).Trimmed("DESCRIP"), "Orders table");
    EXPECT_EQ(all, o.AS400() ? "*FIRST" : "");
    EXPECT_EQ(manual, "0");
    EXPECT_FALSE(o.control().DetailFC(fc, "T1", "M1", "0000000002", fcfx, all, manual));
    EXPECT_EQ(o.control().ErrorText(), "Table 0000000002 not found in distribution M1 to target T1");
  }
}

TEST(ChangeControledFC, NtCutsTheClearInstructionThenDoublesItsQuotes) {
  OpenedFake o("SQL Server");
  StoreModel(o);
  StoreDist(o);
  StoreTable(o, "0000000001");
  StoreDistTable(o, DistTable("0000000001"));
  StoreJoinedTable(o, "0000000001");
  // 249 characters and a quote in the 250th place, then text that is cut away.
  const std::string clear = std::string(249, 'c') + "'DROPPED";
  std::string s = DistTable("0000000001", clear);
  ASSERT_TRUE(o.control().ChangeControledFC(s, "T1", "M1", "0000000001")) << o.control().ErrorText();
  const std::string sql = o.fake().CallsNamed("Saction")[0].sql;
  EXPECT_NE(sql.find("INSTCLRPFM ='" + std::string(249, 'c') + "'''"), std::string::npos);
  EXPECT_EQ(sql.find("DROPPED"), std::string::npos);
  EXPECT_TRUE(sql.ends_with("' WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID ='M1 ' AND FICID='0000000001'"));
  ASSERT_EQ(o.events.seen.size(), 1u);
  EXPECT_TRUE(o.events.seen[0].starts_with("FCupdated E1|T1|M1|0000000001|"));
}

TEST(ChangeFC, TheUserTypeGateHoldsForDistributedTablesToo) {
  OpenedFake o("AS400");
  SecuredAs user(o, "2");
  std::string s = DistTable("0000000001");
  EXPECT_TRUE(o.control().ChangeFC(s, "T1", "M1", "0000000001"));
  EXPECT_TRUE(o.fake().Calls().empty());
  EXPECT_TRUE(o.events.seen.empty());
}

TEST(DistributedTables, HoldReleaseResetAndDelete) {
  for (const char* kind : {"AS400", "ODBC"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreDistTable(o, DistTable("0000000001"));
    ASSERT_TRUE(o.control().HoldFC("T1", "M1", "0000000001"));
    ASSERT_TRUE(o.control().ReleaseFC("T1", "M1", "0000000001"));
    ASSERT_TRUE(o.control().LoadRepriseFC("T1", "M1", "0000000001"));
    ASSERT_TRUE(o.control().DeleteFC("T1", "M1", "0000000001")) << o.control().ErrorText();
    if (o.AS400()) {
      const auto updates = o.fake().CallsNamed("Rupdate");
      ASSERT_EQ(updates.size(), 3u);
      const Record reset(layout::QV_FC, updates[2].Arg(1));
      EXPECT_EQ(reset.Get("REPRISETYP"), "C");
      EXPECT_EQ(reset.Get("REPRISEPNT"), "0000000000");
      EXPECT_EQ(reset.Trimmed("REPRISERCV"), "RCV0001");
      EXPECT_EQ(reset.Trimmed("REPRISELIB"), "RCVLIB");
      EXPECT_EQ(o.Trace().back(), "Rdelete QV_FC");
    } else {
      const Lines st = o.fake().Statements();
      EXPECT_NE(std::find(st.begin(), st.end(),
                          "UPDATE QV_FC SET HOLD ='1' WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID='M1 ' AND FICID='0000000001'"),
                st.end());
      EXPECT_NE(std::find(st.begin(), st.end(), ResetRecoveryPointSql("", "E1", "T1", "M1", "0000000001")), st.end());
      EXPECT_EQ(st.back(), "DELETE FROM QV_FC WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID='M1 ' AND FICID='0000000001'");
      EXPECT_EQ(o.Trace().back(), "SetConnectOption 0");
    }
    EXPECT_EQ(o.events.seen, (Lines{"FCHold E1|T1|M1|0000000001", "FCRelease E1|T1|M1|0000000001",
                                    "FCdeleted E1|T1|M1|0000000001"}));
    EXPECT_FALSE(o.control().HoldFC("T1", "M1", "0000000002"));
    EXPECT_EQ(o.control().ErrorText(), "Table 0000000002 not found in model M1");
    EXPECT_FALSE(o.control().DeleteFC("T1", "M1", "0000000002"));
    EXPECT_EQ(o.control().ErrorText(), "Table 0000000002 not found in distribution M1 to target T1");
  }
}

TEST(DistributeFC, AddsOnlyTheTablesTheDistributionLacks) {
  for (const char* kind : {"AS400", "Oracle"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreModel(o);
    StoreDist(o);
    const std::vector<std::string> tables = {Table("0000000001"), Table("0000000002"), Table("0000000003")};
    const std::string present = BuildKey(layout::DistributedTableKey, {"E1", "T1", "M1", "0000000002"});
    if (o.AS400()) {
      o.fake().On("Rreadblock").File("QV_USRDATA/QV_FX_L0").Records(tables);
      o.fake().On("Rreadblock").File("QV_USRDATA/QV_FC_L0").Key("E1T1 M1 ").Records({present});
    } else {
      o.fake().On("Sreadblock").Sql(ListTablesOfModelSql(o.Prefix(), "E1", "M1")).Rows(tables);
      o.fake().On("Sreadblock").Sql(ListTablesOfDistributionSql(o.Prefix(), "E1", "T1", "M1")).Rows({present});
    }
    ASSERT_TRUE(o.control().DistributeFC("T1", "M1")) << o.control().ErrorText();
    EXPECT_EQ(o.fake().CallCount(o.AS400() ? "Rwrite" : "Saction"), 2);
    ASSERT_EQ(o.events.seen.size(), 2u);
    EXPECT_TRUE(o.events.seen[0].starts_with("FCadded E1|T1|M1|0000000001|"));
    EXPECT_TRUE(o.events.seen[1].starts_with("FCadded E1|T1|M1|0000000003|"));
  }
}

TEST(DistributeFC, AFailingAddStopsWithThePrefix) {
  OpenedFake o("AS400");
  StoreModel(o);
  StoreDist(o);
  o.fake().On("Rreadblock").File("QV_USRDATA/QV_FX_L0").Records({Table("0000000001"), Table("0000000002")});
  o.fake().On("Rwrite").Fail(DllParam::kCodeRefused, 3, "full");
  EXPECT_FALSE(o.control().DistributeFC("T1", "M1"));
  EXPECT_EQ(o.control().ErrorStep(), "DistributeFC:AddFC");
  EXPECT_EQ(o.fake().CallCount("Rwrite"), 1);
  EXPECT_TRUE(o.events.seen.empty());
  EXPECT_FALSE(o.control().DistributeFC("T2", "M1"));
  EXPECT_EQ(o.control().ErrorText(), "Distribution M1 for target T2 not found");
}

}  // namespace
}  // namespace qv::test
