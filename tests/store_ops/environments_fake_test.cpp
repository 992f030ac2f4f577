// Environment and target operations against the recording fake: the exact
// statements and record calls of each kind, refusals, events.
#include <gtest/gtest.h>

#include "presentation/messages.h"
#include "platform/controls.h"
#include "store/environment_statements.h"
#include "store_fake.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

const char* const kNtKinds[] = {"ODBC", "SQL Server", "Oracle"};

// Returns the lines of the trace that start with one of the operations.
Lines Only(const Lines& trace, std::initializer_list<const char*> ops) {
  Lines out;
  for (const std::string& line : trace)
    for (const char* op : ops)
      if (line.rfind(std::string(op) + " ", 0) == 0 || line == op) out.push_back(line);
  return out;
}

bool Writes(OpenedFake& o) {
  for (const char* op : {"Rwrite", "Rupdate", "Rdelete", "Saction"})
    if (o.fake().CallCount(op) > 0) return true;
  return false;
}

// ---- Environments -------------------------------------------------------------------

TEST(AddEnvironment, NtSendsTheInsertWithTheKindsSourceTypeAndABlankFiller) {
  const std::pair<const char*, const char*> kinds[] = {{"ODBC", "5"}, {"SQL Server", "1"}, {"Oracle", "2"}};
  for (const auto& [kind, code] : kinds) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    ASSERT_TRUE(o.opened);
    Record in(layout::QV_EX, Ex("E2", "T", "Paul's test"));
    in.Set("SRCTYPE", "9");
    in.Set("FILLER", "left over");
    std::string s = in.image();
    ASSERT_TRUE(o.control().AddEnvironment(s)) << o.control().ErrorText();

    Record stored = in;
    stored.Set("SRCTYPE", code);
    stored.Set("FILLER", "");
    const std::string sql = InsertEnvironmentSql(o.Prefix(), stored);
    EXPECT_EQ(o.fake().Statements(), Lines{sql});
    EXPECT_TRUE(sql.starts_with("INSERT INTO " + o.Prefix() + "QV_EX ( ENVID, ENVTYPE,"));
    EXPECT_NE(sql.find("'Paul''s test "), std::string::npos);
    EXPECT_EQ(s, stored.image());
    EXPECT_EQ(o.events.seen, Lines{"EXadded E2|T"});
  }
}

TEST(AddEnvironment, As400WritesTheRecordAsGivenPaddedToItsLength) {
  OpenedFake o("AS400");
  ASSERT_TRUE(o.opened);
  std::string s = "E2T";  // a short record string
  ASSERT_TRUE(o.control().AddEnvironment(s));
  EXPECT_EQ(o.Trace(), Lines{"Rwrite QV_EX"});
  EXPECT_EQ(o.fake().CallsNamed("Rwrite")[0].Arg(1), "E2T" + std::string(213, ' '));
  EXPECT_EQ(s.size(), 216u);
  EXPECT_EQ(o.events.seen, Lines{"EXadded E2|T"});
}

TEST(AddEnvironment, AnExistingKeyIsRefusedByTheSourceAndRaisesNothing) {
  for (const char* kind : {"AS400", "SQL Server"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    o.fake().On(o.AS400() ? "Rwrite" : "Saction").Fail(DllParam::kCodeRefused, 2627, "duplicate key E1");
    std::string s = Ex("E1");
    const std::string before = s;
    EXPECT_FALSE(o.control().AddEnvironment(s));
    EXPECT_EQ(o.control().ErrorNum(), 2627);
    EXPECT_EQ(o.control().ErrorText(), "duplicate key E1");
    EXPECT_EQ(o.control().ErrorStep(), "AddEnvironment");
    EXPECT_EQ(s, before);
    EXPECT_TRUE(o.events.seen.empty());
  }
}

TEST(ChangeEnvironment, NtFindsTheStoredRecordThenUpdatesEveryColumnAfterTheKey) {
  for (const char* kind : kNtKinds) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    o.fake().On("Sread").Sql(SelectEnvironmentSql(o.Prefix(), "E1")).Row(Ex("E1"));
    // The string asks for another key: the NT statement keeps the stored one.
    std::string s = Ex("E9", "X", "new 'text'");
    ASSERT_TRUE(o.control().ChangeEnvironment(s, "E1")) << o.control().ErrorText();
    Record stored(layout::QV_EX, Ex("E1", "X", "new 'text'"));
    EXPECT_EQ(o.fake().Statements(),
              (Lines{SelectEnvironmentSql(o.Prefix(), "E1"), UpdateEnvironmentSql(o.Prefix(), stored, "E1")}));
    EXPECT_EQ(s, stored.image());
    EXPECT_EQ(o.events.seen, Lines{"EXupdated E1|X"});
  }
}

TEST(ChangeEnvironment, As400RewritesTheLockedRecord) {
  OpenedFake o("AS400");
  o.fake().On("Rreadk").File("QV_USRDATA/QV_EX").Key("E1").Record(Ex("E1"));
  std::string s = Ex("E1", "X", "changed");
  ASSERT_TRUE(o.control().ChangeEnvironment(s, "E1"));
  EXPECT_EQ(o.Trace(), (Lines{"Rreadk QV_EX [E1]", "Rupdate QV_EX"}));
  EXPECT_EQ(o.fake().CallsNamed("Rreadk")[0].IntArg(3), DllParam::kKeyEqualLocked);
  EXPECT_EQ(o.fake().CallsNamed("Rupdate")[0].Arg(1), Ex("E1", "X", "changed"));
  EXPECT_EQ(o.events.seen, Lines{"EXupdated E1|X"});
}

TEST(EnvironmentOperations, AMissingEnvironmentGivesTheMessageWritesAndRaisesNothing) {
  for (const char* kind : {"AS400", "ODBC", "SQL Server", "Oracle"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    std::string s = Ex("E7");
    EXPECT_FALSE(o.control().ChangeEnvironment(s, "E7"));
    EXPECT_EQ(o.control().ErrorNum(), 40);
    EXPECT_EQ(o.control().ErrorText(), "Environment E7 not found");
    EXPECT_FALSE(o.control().DeleteEnvironment("E7"));
    EXPECT_EQ(o.control().ErrorText(), cLoadResString("2022", "E7"));
    EXPECT_EQ(o.control().ErrorStep(), "DeleteEnvironment");
    std::string detail;
    EXPECT_FALSE(o.control().DetailEnvironment(detail, "E7"));
    EXPECT_EQ(o.control().ErrorNum(), 40);
    EXPECT_FALSE(o.control().EnvironmentExist("E7"));
    EXPECT_EQ(o.control().ErrorNum(), 0);  // no message when it is not stored
    EXPECT_FALSE(Writes(o));
    EXPECT_TRUE(o.events.seen.empty());
    if (!o.AS400()) {
      EXPECT_EQ(Only(o.Trace(), {"SetConnectOption"}), (Lines{"SetConnectOption 2", "SetConnectOption 0"}));
    }
  }
}

TEST(DetailEnvironment, ALibraryFailureIsReportedAsSuchNotAsAMissingEnvironment) {
  OpenedFake o("AS400");
  o.fake().On("Rreadk").File("QV_USRDATA/QV_EX").Fail(DllParam::kCodeNetwork, 0, "connection lost");
  std::string s;
  EXPECT_FALSE(o.control().DetailEnvironment(s, "E1"));
  EXPECT_EQ(o.control().ErrorNum(), 1002);
  EXPECT_EQ(o.control().ErrorText(), "connection lost");
}

TEST(FillEnvironmentList, AddsOneThreeCharacterItemPerEnvironment) {
  for (const char* kind : {"AS400", "SQL Server"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    const auto files = o.fake().OpenFiles().size();
    if (o.AS400())
      o.fake().On("Rreadn").File("QV_USRDATA/QV_EX_L0").Record("E1P").Record("E2T");
    else
      o.fake().On("Sread").Sql(EnvironmentListSql(o.Prefix())).Rows({"E1P", "E2T"});
    platform::ListBox list;
    list.AddItem("kept");
    ASSERT_TRUE(o.control().FillEnvironmentList(list)) << o.control().ErrorText();
    EXPECT_EQ(list.Items(), (Lines{"kept", "E1P", "E2T"}));
    EXPECT_EQ(o.fake().OpenFiles().size(), files);
    EXPECT_EQ(o.fake().CallsNamed("Ropen")[0].Arg(0), o.Prefix() + "QV_EX_L0");
    EXPECT_EQ(o.fake().CallsNamed("Ropen")[0].Arg(1), DllParam::kModeRead);
  }
}

TEST(FillEnvironmentList, AFailingReadKeepsTheItemsSoFarAndClosesTheFile) {
  OpenedFake o("AS400");
  const auto files = o.fake().OpenFiles().size();
  o.fake().On("Rreadn").File("QV_USRDATA/QV_EX_L0").Record("E1P").Fail(DllParam::kCodeNetwork, 0, "lost");
  platform::ListBox list;
  EXPECT_FALSE(o.control().FillEnvironmentList(list));
  EXPECT_EQ(list.Items(), Lines{"E1P"});
  EXPECT_EQ(o.control().ErrorText(), "lost");
  EXPECT_EQ(o.fake().OpenFiles().size(), files);
}

TEST(FillEnvironmentList, AFailedOpenNamesTheFile) {
  OpenedFake o("AS400");
  o.fake().On("Ropen").Arg(0, "QV_USRDATA/QV_EX_L0").Fail(DllParam::kCodeRefused, 0, "no file");
  platform::ListBox list;
  EXPECT_FALSE(o.control().FillEnvironmentList(list));
  EXPECT_EQ(o.control().ErrorStep(), "FillEnvironmentList:Open QV_EX_L0");
}

// ---- Selecting an environment ------------------------------------------------------------

struct Login {
  explicit Login(const char* user) { SetProcessUserID(user); }
  ~Login() { SetProcessUserID(""); }
};

TEST(SelectingAnEnvironment, ARefusedUserInASecuredEnvironmentLeavesTheSelection) {
  Login login("BOB");
  OpenedFake o("AS400");
  o.control().tgt("T1");
  o.fake().On("Rreadk").File("QV_USRDATA/QV_EX").Key("E2").Record(Ex("E2", "P", "", "1")).Repeatedly();
  Record master(layout::QV_UID);
  master.Set("ENVID", "E2");
  master.Set("USERID", "ANN");
  master.Set("USERTYPE", "0");
  o.fake().On("Rreadblock").File("QV_USRDATA/QV_UID_L0").Key("E2").Records({master.image()});
  o.control().env("E2");
  EXPECT_EQ(o.control().env(), "E1");
  EXPECT_EQ(o.control().tgt(), "T1");
  EXPECT_EQ(o.control().ErrorText(), cLoadResString("2132", "BOB"));
}

TEST(SelectingAnEnvironment, AFailedReadLeavesTheSelectionInsteadOfGrantingFullRights) {
  OpenedFake o("SQL Server");
  o.fake().On("Sread").Sql(SelectEnvironmentSql(o.Prefix(), "E2")).Fail(DllParam::kCodeNetwork, 0, "lost");
  o.control().env("E2");
  EXPECT_EQ(o.control().env(), "E1");
  EXPECT_EQ(o.control().ErrorNum(), 1002);
}

TEST(SelectingAnEnvironment, AnUnsecuredOrMissingEnvironmentIsSelectedWithFullRights) {
  OpenedFake o("AS400");
  o.fake().On("Rreadk").File("QV_USRDATA/QV_EX").Key("E2").Record(Ex("E2", "P", "", "0"));
  o.control().tgt("T1");
  o.control().env("E2");
  EXPECT_EQ(o.control().env(), "E2");
  EXPECT_EQ(o.control().tgt(), "");
  EXPECT_EQ(o.control().CurrentUserType(), 0);
  o.control().env("E3");  // not stored: selected, and reported
  EXPECT_EQ(o.control().env(), "E3");
  EXPECT_EQ(o.control().ErrorText(), "Environment E3 not found");
}

// ---- Targets ------------------------------------------------------------------------------

TEST(AddCible, StoresTheTargetAndRaisesCXadded) {
  for (const char* kind : {"AS400", "ODBC", "SQL Server", "Oracle"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    std::string s = Cx("E1", "T1", "1", "O'Neil's box");
    ASSERT_TRUE(o.control().AddCible(s)) << o.control().ErrorText();
    if (o.AS400()) {
      EXPECT_EQ(o.Trace(), Lines{"Rwrite QV_CX"});
    } else {
      const Lines statements = o.fake().Statements();
      ASSERT_EQ(statements.size(), 1u);
      EXPECT_EQ(statements[0], InsertTargetSql(o.Prefix(), Record(layout::QV_CX, s)));
      EXPECT_NE(statements[0].find("'O''Neil''s box"), std::string::npos);
    }
    EXPECT_EQ(o.events.seen, Lines{"CXadded E1|T1|1"});
    EXPECT_EQ(o.events.records, Lines{s});
  }
}

TEST(ChangeCible, ANewTargetCodeIsFoundUnderTheOldOneAndReportedWithIt) {
  for (const char* kind : {"AS400", "SQL Server"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    if (o.AS400())
      o.fake().On("Rreadk").File("QV_USRDATA/QV_CX").Key("E1T1 ").Record(Cx("E1", "T1"));
    else
      o.fake().On("Sread").Sql(SelectTargetSql(o.Prefix(), "E1", "T1")).Row(Cx("E1", "T1"));
    std::string s = Cx("E1", "T9", "1", "moved");
    ASSERT_TRUE(o.control().ChangeCible(s, "T1")) << o.control().ErrorText();
    if (o.AS400()) {
      EXPECT_EQ(o.Trace(), (Lines{"Rreadk QV_CX [E1T1 ]", "Rupdate QV_CX"}));
      EXPECT_EQ(o.fake().CallsNamed("Rupdate")[0].Arg(1), Cx("E1", "T9", "1", "moved"));
    } else {
      EXPECT_EQ(o.fake().Statements().back(),
                UpdateTargetSql(o.Prefix(), Record(layout::QV_CX, s), "E1", "T1"));
      EXPECT_TRUE(o.fake().Statements().back().ends_with("' WHERE ENVID ='E1' AND TGTID='T1 '"));
    }
    EXPECT_EQ(o.events.seen, Lines{"CXupdated E1|T1|1"});
    EXPECT_EQ(o.events.raw[0][1], "T1 ");  // codes travel at their width
  }
}

TEST(HoldCible, HoldingTwiceKeepsHoldAndRaisesTwice) {
  OpenedFake o("AS400");
  o.fake().On("Rreadk").File("QV_USRDATA/QV_CX").Key("E1T1 ").Record(Cx("E1", "T1")).Repeatedly();
  ASSERT_TRUE(o.control().HoldCible("T1"));
  ASSERT_TRUE(o.control().HoldCible("T1"));
  ASSERT_TRUE(o.control().ReleaseCible("T1"));
  const auto updates = o.fake().CallsNamed("Rupdate");
  ASSERT_EQ(updates.size(), 3u);
  EXPECT_EQ(Record(layout::QV_CX, updates[0].Arg(1)).Get("HOLD"), "1");
  EXPECT_EQ(Record(layout::QV_CX, updates[1].Arg(1)).Get("HOLD"), "1");
  EXPECT_EQ(Record(layout::QV_CX, updates[2].Arg(1)).Get("HOLD"), "0");
  EXPECT_EQ(o.events.seen, (Lines{"CXHold E1|T1", "CXHold E1|T1", "CXRelease E1|T1"}));
}

TEST(HoldCible, NtSendsTheHoldStatement) {
  OpenedFake o("Oracle");
  o.fake().On("Sread").Sql(SelectTargetSql(o.Prefix(), "E1", "T1")).Row(Cx("E1", "T1")).Repeatedly();
  ASSERT_TRUE(o.control().HoldCible("T1"));
  ASSERT_TRUE(o.control().ReleaseCible("T1"));
  EXPECT_EQ(Only(o.Trace(), {"Saction"}),
            (Lines{"Saction UPDATE QV_USRDATA.QV_CX SET HOLD ='1' WHERE ENVID ='E1' AND TGTID='T1 '",
                   "Saction UPDATE QV_USRDATA.QV_CX SET HOLD ='0' WHERE ENVID ='E1' AND TGTID='T1 '"}));
  EXPECT_EQ(o.events.seen, (Lines{"CXHold E1|T1", "CXRelease E1|T1"}));
}

TEST(CibleUpdatePos, ANegativePositionKeepsItsSignInTenCharacters) {
  {
    OpenedFake o("AS400");
    o.fake().On("Rreadk").File("QV_USRDATA/QV_CX_XY").Key("E2T1 ").Record("E2T1 " + std::string(20, '0'));
    ASSERT_TRUE(o.control().CibleUpdatePos("E2", "T1", -3.5f, 12.7f));
    EXPECT_EQ(o.Trace(), (Lines{"Rreadk QV_CX_XY [E2T1 ]", "Rupdate QV_CX_XY"}));
    EXPECT_EQ(o.fake().CallsNamed("Rupdate")[0].Arg(1), "E2T1 -0000000030000000012");
    EXPECT_TRUE(o.events.seen.empty());
  }
  {
    OpenedFake o("SQL Server");
    o.fake().On("Sread").Sql(SelectTargetSql(o.Prefix(), "E2", "T1")).Row(Cx("E2", "T1"));
    ASSERT_TRUE(o.control().CibleUpdatePos("E2", "T1", -3.5f, 12.7f));
    EXPECT_EQ(o.fake().Statements().back(),
              "UPDATE QV_USRDATA..QV_CX SET X='-000000003',Y='0000000012' WHERE ENVID='E2' AND TGTID ='T1 '");
  }
}

TEST(TargetOperations, AMissingTargetGivesTheMessageWritesAndRaisesNothing) {
  for (const char* kind : {"AS400", "ODBC", "SQL Server", "Oracle"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    std::string s = Cx("E1", "T7");
    const std::string expected = cLoadResString("2020", "T7");
    EXPECT_FALSE(o.control().ChangeCible(s, "T7"));
    EXPECT_EQ(o.control().ErrorText(), expected);
    EXPECT_FALSE(o.control().DeleteCible("T7"));
    EXPECT_EQ(o.control().ErrorText(), expected);
    EXPECT_FALSE(o.control().HoldCible("T7"));
    EXPECT_EQ(o.control().ErrorText(), expected);
    EXPECT_FALSE(o.control().ReleaseCible("T7"));
    EXPECT_EQ(o.control().ErrorText(), expected);
    EXPECT_FALSE(o.control().CibleUpdatePos("E1", "T7", 1, 1));
    EXPECT_EQ(o.control().ErrorText(), expected);
    std::string detail;
    EXPECT_FALSE(o.control().DetailCible(detail, "T7"));
    EXPECT_EQ(o.control().ErrorNum(), 40);
    EXPECT_FALSE(o.control().CibleExist("T7"));
    EXPECT_EQ(o.control().ErrorNum(), 0);
    EXPECT_FALSE(Writes(o));
    EXPECT_TRUE(o.events.seen.empty());
  }
}

TEST(TargetOperations, CodesArePaddedAndQuotedInKeysAndStatements) {
  OpenedFake o("SQL Server");
  o.control().env("e'");
  o.fake().ClearCalls();
  EXPECT_FALSE(o.control().CibleExist("t'x"));
  EXPECT_FALSE(o.control().CibleExist(""));
  EXPECT_EQ(o.fake().Statements(),
            (Lines{"SELECT * FROM QV_USRDATA..QV_CX WHERE ENVID='e''' AND TGTID='t''x'",
                   "SELECT * FROM QV_USRDATA..QV_CX WHERE ENVID='e''' AND TGTID='   '"}));

  OpenedFake a("AS400");
  a.control().env("e'");
  a.fake().ClearCalls();
  EXPECT_FALSE(a.control().CibleExist("t'x"));
  EXPECT_EQ(a.Trace(), Lines{"Rreadk QV_CX [e't'x] -> 0"});
}

TEST(ChangeCible, AFailedRewriteReleasesTheLockAndRaisesNothing) {
  OpenedFake o("AS400");
  o.fake().On("Rreadk").File("QV_USRDATA/QV_CX").Key("E1T1 ").Record(Cx("E1", "T1"));
  o.fake().On("Rupdate").Fail(DllParam::kCodeRefused, 0, "duplicate key");
  std::string s = Cx("E1", "T2");
  EXPECT_FALSE(o.control().ChangeCible(s, "T1"));
  EXPECT_EQ(o.control().ErrorText(), "duplicate key");
  EXPECT_EQ(o.Trace(), (Lines{"Rreadk QV_CX [E1T1 ]", "Rupdate QV_CX -> 0", "Rreadk QV_CX [E1T1 ] -> 0"}));
  EXPECT_EQ(o.fake().CallsNamed("Rreadk")[1].IntArg(3), DllParam::kKeyEqualNoLock);
  EXPECT_TRUE(o.events.seen.empty());
}

}  // namespace
}  // namespace qv::test
