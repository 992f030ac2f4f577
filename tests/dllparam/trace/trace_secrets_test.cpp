// Checks that a trace never holds a password: statements, records and rows
// masked field by field, and the trace of a real login and user change over
// every kind of embedded source.
#include "dllparam/trace/trace_secrets.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "connection/qvsource.h"
#include "dllparam/embedded/embedded_source.h"
#include "dllparam/trace/trace.h"
#include "store/records.h"
#include "support/embedded_store.h"
#include "support/kinds.h"
#include "support/scratch.h"
#include "support/topology.h"

namespace qv::trace {
namespace {

TEST(MaskSqlPasswords, HidesEveryPasswordLiteralAndKeepsTheRest) {
  struct Case {
    const char* sql;
    const char* expected;
  };
  const Case cases[] = {
      {"UPDATE QV_UID SET ENVID = '**', PASSWORD = 'pw1', LEVELPWD = '0' WHERE USERID='U'",
       "UPDATE QV_UID SET ENVID = '**', PASSWORD = '********', LEVELPWD = '0' WHERE USERID='U'"},
      {"INSERT INTO X..QV_UID (ENVID, USERID, USERTYPE, PASSWORD, LEVELPWD, FILLER)  VALUES('**','U','0','pw2','0',' ')",
       "INSERT INTO X..QV_UID (ENVID, USERID, USERTYPE, PASSWORD, LEVELPWD, FILLER)  VALUES('**','U','0','********','0',' ')"},
      // A value list with numbers and a function call before the password.
      {"INSERT INTO QV_CX (ENVID, X, QV_PASSWORD) VALUES('E1', CAST(1, 2), 'pw3')",
       "INSERT INTO QV_CX (ENVID, X, QV_PASSWORD) VALUES('E1', CAST(1, 2), '********')"},
      {"update qv_gx set dsn_pwd=N'pw4' where x.password <> 'pw5'",
       "update qv_gx set dsn_pwd=N'********' where x.password <> '********'"},
      // A doubled quote inside the password, and a blank password left alone.
      {"UPDATE QV_EX SET QV_PASSWORD='a''b', USERID='it''s'", "UPDATE QV_EX SET QV_PASSWORD='********', USERID='it''s'"},
      {"UPDATE QV_EX SET QV_PASSWORD='   '", "UPDATE QV_EX SET QV_PASSWORD='   '"},
      {"UPDATE QV_GC SET QV_CONNECT='DSN=D;PWD=pw6;UID=u' WHERE ENVID='E1'",
       "UPDATE QV_GC SET QV_CONNECT='DSN=D;PWD=********;UID=u' WHERE ENVID='E1'"},
      {"SELECT * FROM QV_UID WHERE USERID='PASSWORD'", "SELECT * FROM QV_UID WHERE USERID='PASSWORD'"},
      {"UPDATE T SET A = 'unterminated PWD=pw7", "UPDATE T SET A = 'unterminated PWD=********"},
      // The password that ends a log reader's command line, "/" inside it.
      {"exec msdb..sp_add_jobstep @command='\"C:\\QV\\QVlogreader.exe\" SRV/DB/sa/p/w', @step_id=1",
       "exec msdb..sp_add_jobstep @command='\"C:\\QV\\QVlogreader.exe\" SRV/DB/sa/********', @step_id=1"},
  };
  for (const Case& c : cases) EXPECT_EQ(MaskSqlPasswords(c.sql), c.expected) << c.sql;
}

// Returns the image of a global user of type 0.
std::string User(const std::string& id, const std::string& password) { return test::User("**", id, "0", password); }

TEST(MaskRows, HidesThePasswordFieldOfEveryRecordOfABlock) {
  const auto shape = ShapeOfFile("QV_USRDATA/QV_UID_L0");
  ASSERT_TRUE(shape);
  // The last record is cut short within its password.
  const std::string block =
      User("ANN", "first") + User("BOB", "second") + User("CY", "third").substr(0, 36);
  EXPECT_EQ(MaskRows(*shape, block, layout::QV_UID.length),
            User("ANN", "********") + User("BOB", "********") +
                User("CY", "***").substr(0, 36));
}

TEST(ShapeOfQuery, PlacesThePasswordOfTheSelectedColumns) {
  const std::string row = "**ANN" + std::string(27, ' ') + "secret" + std::string(24, ' ');
  auto named = ShapeOfQuery("SELECT ENVID, U.USERID, PASSWORD FROM QV_USRDATA..QV_UID WHERE 1=1");
  ASSERT_TRUE(named);
  EXPECT_EQ(MaskRows(*named, row), "**ANN" + std::string(27, ' ') + "********" + std::string(22, ' '));
  auto all = ShapeOfQuery("select * from QV_USRDATA.qv_uid");
  ASSERT_TRUE(all);
  EXPECT_EQ(all->length, layout::QV_UID.length);
  // A password among columns it cannot place hides the whole row.
  auto unknown = ShapeOfQuery("SELECT UPPER(USERID), PASSWORD FROM QV_UID");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(MaskRows(*unknown, row), "********");
  // Rows without a password keep their text.
  EXPECT_FALSE(ShapeOfQuery("SELECT COUNT(*) FROM QV_UID"));
  EXPECT_FALSE(ShapeOfQuery("SELECT ENVID,ENVTYPE FROM QV_EX"));
}

// ---- A real trace ---------------------------------------------------------

class TracedLogin : public testing::TestWithParam<test::Kind> {};

TEST_P(TracedLogin, TraceOfALoginAndAUserChangeHoldsNoPasswordAndIsPrivate) {
  const test::Kind& kind = GetParam();
  test::EmbeddedStore store(kind.store, /*demo=*/true, "Sup3rSecret");
  const std::string path = store.folder() + "/trace.log";
  {
    auto traced = std::make_unique<TraceDllParam>(std::make_unique<embedded::EmbeddedSource>(), path);
    ASSERT_TRUE(traced->IsOpen()) << traced->OpenError();
    QVSource control(std::move(traced));
    control.SourceType(kind.type);
    control.InstanceName(kind.instance);
    SetProcessUserID(embedded::kDemoMasterUser);
    SetProcessPassword("Sup3rSecret");
    ASSERT_TRUE(control.OpenConnection(store.address())) << control.ErrorText();
    EXPECT_TRUE(control.AddUser(User("CLERK", "Cl3rkWord")));
    EXPECT_TRUE(control.ChangeUser(User("CLERK", "N3wClerkWord"), "**", "CLERK"));
    EXPECT_TRUE(control.ChangeUser(User(embedded::kDemoMasterUser, "N3wMaster"), "**",
                                   embedded::kDemoMasterUser));
    int32_t type = -1;
    SetProcessPassword("N3wMaster");
    EXPECT_TRUE(control.CheckUser(type, "**")) << control.ErrorText();
  }
  SetProcessPassword("");
  const std::string trace = test::ReadWholeFile(path);
  // The calls are there, with their passwords masked.
  for (const char* shown : {"QV_UID", "CLERK", "********"}) EXPECT_NE(trace.find(shown), std::string::npos) << shown;
  for (const char* secret : {"Sup3rSecret", "Cl3rkWord", "N3wClerkWord", "N3wMaster", "PWD=QVADMIN"})
    EXPECT_EQ(trace.find(secret), std::string::npos) << secret << " in\n" << trace;
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, TracedLogin, test::AllKinds(), test::KindName);

}  // namespace
}  // namespace qv::trace
