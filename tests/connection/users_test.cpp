// The login check and the user operations: what each kind sends and decides.
#include <gtest/gtest.h>

#include "support/fake_control.h"
#include "support/topology.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "store/records.h"

namespace qv::test {
namespace {

TEST(CheckUser, EmptyUserFileLetsAnyoneInAsMaster) {
  ProcessLogin login("ANYONE", "x");
  for (const char* kind : {"AS400", "SQL Server"}) {
    FakeSource s(kind);
    s.fake->On("Sread").SqlPrefix("SELECT COUNT(*)").Row("0").Repeatedly();
    ASSERT_TRUE(s.control->OpenConnection("SRC")) << kind << s.control->ErrorText();
    EXPECT_EQ(s.control->GlobalUserType(), 0);
  }
}

TEST(CheckUser, GlobalUserWithAWrongPasswordIsRefused) {
  ProcessLogin login("BOB", "wrong");
  FakeSource s("AS400");
  const std::string key = "**" + std::string("BOB") + std::string(27, ' ');
  s.fake->On("Rreadk").File("QV_USRDATA/QV_UID").Key(key).Record(User("**", "BOB", "1", "right")).Repeatedly();
  EXPECT_FALSE(s.control->OpenConnection("SRC"));
  EXPECT_EQ(s.control->ErrorNum(), 40);
  EXPECT_EQ(s.control->ErrorText(), cLoadResString("2133"));
  EXPECT_TRUE(s.fake->OpenConnections().empty());
}

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

TEST(CheckUser, UnknownUserInAFileWithUsersIsRefused) {
  ProcessLogin login("EVE", "x");
  FakeSource s("AS400");
  s.fake->On("Rreadf").File("QV_USRDATA/QV_UID").Record(User("**", "BOB", "0", "p"));
  EXPECT_FALSE(s.control->OpenConnection("SRC"));
  EXPECT_EQ(s.control->ErrorText(), cLoadResString("2132", "EVE"));
}

TEST(CheckUser, SecuredEnvironmentWithoutMasterGivesTheGlobalType) {
  ProcessLogin login("BOB", "p");
  FakeSource s("AS400");
  // BOB is a global Supervisor; environment E1 lists only a plain user.
  s.fake->On("Rreadk").File("QV_USRDATA/QV_UID").Key("**BOB" + std::string(27, ' ')).Record(
      User("**", "BOB", "1", "p")).Repeatedly();
  s.fake->On("Rreadblock").File("QV_USRDATA/QV_UID_L0").Key("E1").Records({User("E1", "AL", "2", "")});
  s.fake->On("Rreadk").File("QV_USRDATA/QV_EX").Key("E1").Record(Ex("E1", "P", "", "1")).Repeatedly();
  ASSERT_TRUE(s.control->OpenConnection("SRC"));
  int32_t type = -1;
  EXPECT_TRUE(s.control->CheckUser(type, "E1"));
  EXPECT_EQ(type, 1);
  // Selecting the environment admits him with that type.
  s.control->env("E1");
  EXPECT_EQ(s.control->env(), "E1");
  EXPECT_EQ(s.control->CurrentUserType(), 1);
}

TEST(CheckUser, OnlyAMasterOfTheEnvironmentShutsOutAnUnlistedUser) {
  struct Case {
    const char* name;
    std::vector<std::string> listed;  // the users of E1
    bool admitted;                    // else refused with 2132
  };
  const Case cases[] = {
      {"a supervisor is no master", {User("E1", "AL", "1", "")}, true},
      {"a master", {User("E1", "AL", "2", ""), User("E1", "ZED", "0", "")}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProcessLogin login("BOB", "p");
    FakeSource s("SQL Server");
    s.fake->On("Sread").SqlPrefix("SELECT COUNT(*)").Row("0").Repeatedly();
    s.fake->On("Sread")
        .Sql("SELECT * FROM QV_USRDATA..QV_UID WHERE ENVID='**' AND USERID='BOB'")
        .Row(User("**", "BOB", "2", "p"))
        .Repeatedly();
    s.fake->On("Sread").Sql("SELECT * FROM QV_USRDATA..QV_UID WHERE ENVID ='E1'").Rows(c.listed);
    ASSERT_TRUE(s.control->OpenConnection("SRC")) << s.control->ErrorText();
    int32_t type = -1;
    EXPECT_EQ(s.control->CheckUser(type, "E1"), c.admitted) << s.control->ErrorText();
    if (c.admitted) EXPECT_EQ(type, 2);  // the global type
    else EXPECT_EQ(s.control->ErrorText(), cLoadResString("2132", "BOB"));
  }
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
  ASSERT_EQ(lv.Count(), 3);
  const auto items = lv.DisplayOrder();
  EXPECT_EQ(items[0]->text, "ANN");
  EXPECT_EQ(items[0]->SubItem(1), cLoadResString("12"));
  EXPECT_EQ(items[1]->SubItem(1), cLoadResString("13"));
  EXPECT_EQ(items[2]->SubItem(1), cLoadResString("14"));
}

}  // namespace
}  // namespace qv::test
