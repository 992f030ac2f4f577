// The login check and the user operations: what each kind sends and decides,
// and how they fail closed when the user file cannot be read: a failed read
// refuses, with the library's error, where a missing user or Master would
// let the caller in or answer "User not found".
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "support/fake_control.h"
#include "support/topology.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "store/environment_statements.h"
#include "store/records.h"

namespace qv::test {
namespace {

constexpr int32_t kResetNum = 10054;
constexpr const char* kReset = "connection reset by peer";

std::string UserKey(const std::string& env, const std::string& id) {
  return BuildKey(layout::UserKey, {env, id});
}

// A source of kind on which BOB (password "p") is a global plain user (type
// 2) and E1 is a secured environment that does not list him; the control is
// open.
struct SecuredSource {
  explicit SecuredSource(const std::string& kind) : s(kind, kind == "Oracle" ? "ORCL" : "") {
    const std::string p = s.Prefix(), bob = User("**", "BOB", "2", "p"), e1 = Ex("E1", "P", "", "1");
    if (kind == "AS400") {
      s.fake->On("Rreadk").File("QV_USRDATA/QV_UID").Key(UserKey("**", "BOB")).Record(bob).Repeatedly();
      s.fake->On("Rreadk").File("QV_USRDATA/QV_EX").Key("E1").Record(e1).Repeatedly();
    } else {
      s.fake->On("Sread").Sql("SELECT * FROM " + p + "QV_UID WHERE ENVID='**' AND USERID='BOB'").Row(bob).Repeatedly();
      s.fake->On("Sread").Sql(SelectEnvironmentSql(p, "E1")).Row(e1).Repeatedly();
    }
    opened = s.control->OpenConnection("SRC");
    s.fake->ClearCalls();
  }
  QVSource& control() { return *s.control; }
  RecordingFake& fake() { return *s.fake; }

  ProcessLogin login{"BOB", "p"};
  FakeSource s;
  bool opened = false;
};

TEST(CheckUser, GlobalUserWithTheRightPasswordGetsItsType) {
  ProcessLogin login("bob", " right ");
  FakeSource s("Oracle", "ORCL");
  s.fake->On("Sread")
      .Sql("SELECT * FROM QV_USRDATA.QV_UID WHERE ENVID='**' AND USERID='bob'")
      .Row(User("**", "bob", "1", "right"))
      .Repeatedly();
  ASSERT_TRUE(s.control->OpenConnection("SRC")) << s.control->ErrorText();
  EXPECT_EQ(s.control->GlobalUserType(), 1);
}

TEST(CheckUser, EnvironmentUserIsAcceptedWithoutPasswordCheck) {
  ProcessLogin login("BOB", "whatever");
  FakeSource s("AS400");
  ASSERT_TRUE(s.control->OpenConnection("SRC"));
  s.fake->On("Rreadk").File("QV_USRDATA/QV_UID").Key("E1BOB" + std::string(27, ' ')).Record(
      User("E1", "BOB", "2", "other"));
  int32_t type = -1;
  EXPECT_TRUE(s.control->CheckUser(type, "E1"));
  EXPECT_EQ(type, 2);
}

TEST(Users, NtStatementsAreQuotedAndExact) {
  FakeSource s("SQL Server");
  s.fake->On("Sread").SqlPrefix("SELECT COUNT(*)").Row("0").Repeatedly();
  ASSERT_TRUE(s.control->OpenConnection("SRC"));
  s.fake->ClearCalls();
  s.fake->On("Sread").SqlPrefix("SELECT * FROM QV_USRDATA..QV_UID WHERE ENVID='E1' and USERID = 'O''HARA").Row(
      User("E1", "O'HARA", "2", "")).Repeatedly();

  EXPECT_TRUE(s.control->AddUser(User("E1", "O'HARA", "2", "pw")));
  EXPECT_TRUE(s.control->DeleteEnvUser("E1", "O'HARA"));
  EXPECT_TRUE(s.control->DeleteUser("O'HARA"));
  EXPECT_TRUE(s.control->DeleteUserEnv("E1"));
  const auto st = s.fake->Statements();
  ASSERT_EQ(st.size(), 5u);
  EXPECT_EQ(st[0].substr(0, 106),
            "INSERT INTO QV_USRDATA..QV_UID (ENVID, USERID, USERTYPE, PASSWORD, LEVELPWD, FILLER)  "
            "VALUES('E1','O''HARA");
  EXPECT_EQ(st[1], "SELECT * FROM QV_USRDATA..QV_UID WHERE ENVID='E1' and USERID = 'O''HARA'");
  EXPECT_EQ(st[2], "DELETE FROM QV_USRDATA..QV_UID  WHERE ENVID ='E1' AND USERID='O''HARA'");
  EXPECT_EQ(st[3], "DELETE FROM QV_USRDATA..QV_UID WHERE USERID ='O''HARA'");
  EXPECT_EQ(st[4], "DELETE FROM QV_USRDATA..QV_UID WHERE ENVID ='E1'");

  s.fake->ClearCalls();
  EXPECT_TRUE(s.control->ChangeUser(User("E1", "O'HARA", "1", "pw"), "E1", "O'HARA"));
  const std::string update = s.fake->Statements().back();
  EXPECT_EQ(update.substr(0, 37), "UPDATE QV_USRDATA..QV_UID SET ENVID =");
  EXPECT_EQ(update.substr(update.find(" WHERE")), " WHERE ENVID ='E1' AND USERID='O''HARA'");
}

TEST(Users, ListsShowIdAndTypeName) {
  FakeSource s("AS400");
  ASSERT_TRUE(s.control->OpenConnection("SRC"));
  s.fake->On("Rreadblock").File("QV_USRDATA/QV_UID_L0").Key("**").Records(
      {User("**", "ANN", "0", ""), User("**", "BOB", "1", ""), User("**", "CID", "7", "")});
  platform::ListView lv;
  ASSERT_TRUE(s.control->LoadUserInList(lv));
  ASSERT_EQ(lv.ColumnCount(), 2);
  EXPECT_EQ(lv.Columns()[0].text, cLoadResString("2202"));
  std::vector<std::string> shown;
  for (const platform::ListItem* item : lv.DisplayOrder()) shown.push_back(item->text + ": " + item->SubItem(1));
  EXPECT_EQ(shown, (std::vector<std::string>{"ANN: " + cLoadResString("12"), "BOB: " + cLoadResString("13"),
                                             "CID: " + cLoadResString("14")}));
}

// ---- A secured environment that does not list the user ---------------------------

// Scripts the users of E1: a block read of QV_UID_L0 (AS/400) or a select (NT).
void ListUsersOfE1(FakeSource& s, const std::vector<std::string>& users) {
  if (s.AS400())
    s.fake->On("Rreadblock").File("QV_USRDATA/QV_UID_L0").Key("E1").Records(users).Repeatedly();
  else
    s.fake->On("Sread").Sql("SELECT * FROM " + s.Prefix() + "QV_UID WHERE ENVID ='E1'").Rows(users).Repeatedly();
}

// Makes the read of E1's users fail at op: the open or the block read of
// QV_UID_L0 (AS/400), the listing or its second row (NT).
void FailUsersOfE1(RecordingFake& f, const std::string& op, const std::string& prefix) {
  const std::string list = "SELECT * FROM " + prefix + "QV_UID WHERE ENVID ='E1'";
  if (op == "Snext") f.On("Sread").Sql(list).Row(User("E1", "AL", "2")).Repeatedly();
  FakeRule& rule = f.On(op);
  if (op == "Ropen" || op == "Rreadblock") rule.File("QV_USRDATA/QV_UID_L0");
  if (op == "Sread") rule.Sql(list);
  rule.Fail(DllParam::kCodeNetwork, kResetNum, kReset).Repeatedly();
}

// Only a Master among E1's users shuts BOB out, and users that cannot be
// read refuse him with the library's error.
TEST(CheckUser, AnUnlistedUserIsAdmittedWithHisGlobalTypeOnlyWhenNoMasterIsReadInTheEnvironment) {
  struct Case {
    const char* kind;
    std::vector<std::string> listed;  // the users of E1 when they can be read,
    const char* op;                   // else the call that fails
    const char* step;                 // and where its failure is reported
    bool admitted;
  };
  const std::vector<std::string> supervisor{User("E1", "AL", "1", "")};
  const std::vector<std::string> master{User("E1", "AL", "2", ""), User("E1", "ZED", "0", "")};
  const Case cases[] = {
      {"AS400", supervisor, "", "", true},
      {"AS400", master, "", "", false},
      {"SQL Server", supervisor, "", "", true},
      {"SQL Server", master, "", "", false},
      {"AS400", {}, "Ropen", "AtLeastOneMasterUser:Open QV_UID_L0", false},
      {"AS400", {}, "Rreadblock", "AtLeastOneMasterUser", false},
      {"ODBC", {}, "Sread", "AtLeastOneMasterUser", false},
      {"SQL Server", {}, "Snext", "AtLeastOneMasterUser", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + ": " + (*c.op ? c.op : c.admitted ? "no master" : "a master"));
    SecuredSource src(c.kind);
    ASSERT_TRUE(src.opened) << src.control().ErrorText();
    if (*c.op) FailUsersOfE1(src.fake(), c.op, src.s.Prefix());
    else ListUsersOfE1(src.s, c.listed);
    const std::string refusal = *c.op ? std::string(kReset) : cLoadResString("2132", "BOB");

    src.control().env("E1");
    if (c.admitted) {
      EXPECT_EQ(src.control().env(), "E1");
      EXPECT_EQ(src.control().CurrentUserType(), 2);
    } else {
      EXPECT_EQ(src.control().env(), "");
      EXPECT_EQ(src.control().ErrorNum(), *c.op ? kResetNum : QVSource::kRefusalNum);
      EXPECT_EQ(src.control().ErrorText(), refusal);
      if (*c.op) {
        EXPECT_EQ(src.control().ErrorStep(), c.step);
      }
    }
    int32_t type = -1;
    EXPECT_EQ(src.control().CheckUser(type, "E1"), c.admitted) << src.control().ErrorText();
    EXPECT_EQ(type, c.admitted ? 2 : -1);
    if (!c.admitted) {
      EXPECT_EQ(src.control().ErrorText(), refusal);
    }
  }
}

// ---- Changing or deleting one user when the read fails ----------------------------

// A missing user is refused on the stores (the over-long codes of the
// fail-closed store test); a read that fails is not a missing user.
TEST(FailClosedUsers, AFailedReadIsNotAMissingUser) {
  for (const char* kind : {"AS400", "ODBC", "SQL Server", "Oracle"}) {
    SCOPED_TRACE(kind);
    SecuredSource src(kind);
    ASSERT_TRUE(src.opened);
    if (src.s.AS400())
      src.fake().On("Rreadk").File("QV_USRDATA/QV_UID").Key(UserKey("E1", "AL")).Fail(
          DllParam::kCodeNetwork, kResetNum, kReset).Repeatedly();
    else
      src.fake().On("Sread").SqlPrefix("SELECT * FROM " + src.s.Prefix() + "QV_UID WHERE ENVID='E1' and").Fail(
          DllParam::kCodeNetwork, kResetNum, kReset).Repeatedly();
    for (const std::string step : {"ChangeUser", "DeleteEnvUser"}) {
      EXPECT_FALSE(step == "ChangeUser" ? src.control().ChangeUser(User("E1", "AL", "1"), "E1", "AL")
                                        : src.control().DeleteEnvUser("E1", "AL"));
      EXPECT_EQ((std::tuple{src.control().ErrorNum(), src.control().ErrorText(), src.control().ErrorStep()}),
                (std::tuple{kResetNum, std::string(kReset), step}));
    }
    EXPECT_EQ(src.fake().CallCount("Rupdate") + src.fake().CallCount("Rdelete") + src.fake().CallCount("Saction"), 0);
  }
}

// ---- Deleting every entry of a user --------------------------------------------------

// Deletes a user's entries through QV_UID_L1: every entry goes, and a failed
// read stops the loop with its error.
TEST(FailClosedUsers, DeletingAUserTakesEveryEntryAndStopsOnAFailedRead) {
  for (bool secondFails : {false, true}) {
    SCOPED_TRACE(secondFails ? "the second entry is held by another job" : "two entries");
    FakeSource s("AS400");
    ASSERT_TRUE(s.control->OpenConnection("SRC"));
    s.fake->ClearCalls();
    FakeRule& entries = s.fake->On("Rreadk").File("QV_USRDATA/QV_UID_L1").Key("BOB" + std::string(27, ' '));
    entries.Record(User("**", "BOB", "0"));
    if (secondFails) entries.Fail(DllParam::kCodeBusy, 3202, "record held by another job");
    else entries.Record(User("E1", "BOB", "1"));
    EXPECT_EQ(s.control->DeleteUser("BOB"), !secondFails);
    if (secondFails) {
      EXPECT_EQ(s.control->ErrorNum(), 3202);
      EXPECT_EQ(s.control->ErrorText(), "record held by another job");
    }
    EXPECT_EQ(s.fake->CallCount("Rdelete"), secondFails ? 1 : 2);
    EXPECT_EQ(s.fake->CallsNamed("Ropen").at(0).Arg(1), DllParam::kModeUpdate);
    EXPECT_EQ(s.fake->OpenFiles().size(), 17u);  // the logical file is closed again
  }
}

}  // namespace
}  // namespace qv::test
