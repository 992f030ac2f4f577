// Opening and closing a source: the exact sequence each kind sends, the
// refusals and their error state, the target-server connection and the idle check.
#include <gtest/gtest.h>

#include "support/fake_control.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "presentation/messages.h"

namespace qv::test {
namespace {

const char* const kStoreFiles[] = {"QV_UID", "QV_EX",      "QV_EX",    "QV_CX",    "QV_CX_XY", "QV_GX",
                                   "QV_GX_GC_1", "QV_FX",  "QV_ZX",    "QV_TX",    "QV_GC",    "QV_GC_XY",
                                   "QV_FC",  "QV_FC_FXU",  "QV_ZC",    "QV_END"};

std::vector<std::string> OpenedFiles(const RecordingFake& fake) {
  std::vector<std::string> files;
  for (const FakeCall& c : fake.CallsNamed("Ropen")) files.push_back(c.Arg(0));
  return files;
}

TEST(OpenConnection, As400SendsStartUpCommandsChecksVersionAndOpensTheStoreInOrder) {
  FakeSource s("AS400");
  platform::TextBox text;
  platform::Label caption;
  ASSERT_TRUE(s.control->OpenConnection(" source1 ", &text, &caption)) << s.control->ErrorText();
  EXPECT_EQ(s.control->SourceAdress(), "SOURCE1");
  EXPECT_EQ(s.fake->CallsNamed("OpenMConnection")[0].Arg(0), "SOURCE1");

  const auto commands = s.fake->Commands();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].code, "RCMD______");
  EXPECT_EQ(commands[0].ctl, "0000000100");
  EXPECT_EQ(commands[0].Request(), "00017CHGJOB RUNPTY(20)");
  EXPECT_EQ(commands[1].Request().substr(0, 24), "00019ADDLIBLE QV_USRDATA");
  EXPECT_EQ(commands[2].code, "SYSCRTUSR_");
  EXPECT_EQ(commands[2].ctl, "0000004096");
  EXPECT_EQ(commands[2].Request(), "04096");

  std::vector<std::string> expected = {"QV_USRDATA/QV_VER", "QV_USRDATA/QV_UID"};
  for (const char* f : kStoreFiles) expected.push_back(std::string("QV_USRDATA/") + f);
  EXPECT_EQ(OpenedFiles(*s.fake), expected);
  const auto ropens = s.fake->CallsNamed("Ropen");
  EXPECT_EQ(ropens[0].Arg(1), DllParam::kModeRead);   // QV_VER
  EXPECT_EQ(ropens[1].Arg(1), DllParam::kModeRead);   // QV_UID for the login check
  EXPECT_EQ(ropens[2].Arg(1), DllParam::kModeUpdate); // QV_UID
  EXPECT_EQ(ropens[8].Arg(1), DllParam::kModeRead);   // QV_GX_GC_1
  EXPECT_EQ(ropens[15].Arg(1), DllParam::kModeRead);  // QV_FC_FXU
  EXPECT_EQ(text.Text, cLoadResString("2006"));
  EXPECT_EQ(caption.Caption, text.Text);
  EXPECT_EQ(s.control->SrcType(), "AS");
  EXPECT_EQ(s.control->Ver(), "V1R0      ");
  EXPECT_TRUE(s.control->ConnectionOpen());

  EXPECT_TRUE(s.control->VersionFlag());  // no "*" after the version

  // Everything is closed again, each file by the control itself.
  EXPECT_TRUE(s.control->CloseConnection());
  EXPECT_EQ(s.fake->CallCount("Rclose"), s.fake->CallCount("Ropen"));
  EXPECT_TRUE(s.fake->OpenFiles().empty());
  EXPECT_TRUE(s.fake->OpenConnections().empty());
  EXPECT_FALSE(s.control->ConnectionOpen());
}

TEST(OpenConnection, UnreachableSourceKeepsTheLibraryTextFirstAndEachGetterClearsWhatItGives) {
  FakeSource s("AS400");
  s.fake->On("OpenMConnection").Fail(DllParam::kCodeNetwork, 111, "connection refused");
  platform::TextBox text;
  EXPECT_FALSE(s.control->OpenConnection("SRC", &text));
  EXPECT_EQ(text.Text, cLoadResString("2007"));
  EXPECT_FALSE(s.control->ConnectionOpen());
  EXPECT_EQ(s.control->ErrorStep(), "OpenConnection");
  EXPECT_EQ(s.control->ErrorStep(), "");
  EXPECT_EQ(s.control->ErrorNum(), 111);
  EXPECT_EQ(s.control->ErrorNum(), 0);
  EXPECT_EQ(s.control->ErrorText(), "connection refused\r\n" + cLoadResString("2142"));
  EXPECT_EQ(s.control->ErrorText(), "");
}

struct VersionCase {
  const char* kind;
  char srcType;
  bool accepted;
  const char* message;
};

class VersionCheck : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionCheck, RefusesAStoreOfTheOtherKindAndLeavesNothingOpen) {
  const VersionCase& c = GetParam();
  FakeSource s(c.kind, std::string(c.kind) == "Oracle" ? "ORCL" : "");
  s.Version(c.srcType);
  const bool ok = s.control->OpenConnection("SRC");
  EXPECT_EQ(ok, c.accepted) << s.control->ErrorText();
  if (!c.accepted) {
    EXPECT_EQ(s.control->ErrorNum(), 40);
    EXPECT_EQ(s.control->ErrorText(), cLoadResString(c.message));
    EXPECT_EQ(s.control->ErrorStep(), "OpenConnection:Read QV_VER");
    EXPECT_FALSE(s.control->ConnectionOpen());
    EXPECT_TRUE(s.fake->OpenFiles().empty());
    EXPECT_TRUE(s.fake->OpenConnections().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, VersionCheck,
    ::testing::Values(VersionCase{"AS400", '0', true, ""}, VersionCase{"AS400", ' ', true, ""},
                      VersionCase{"AS400", '1', false, "2009"},
                      VersionCase{"AS400", '2', false, "2009"},
                      VersionCase{"ODBC", '1', true, ""}, VersionCase{"ODBC", '0', false, "2134"},
                      VersionCase{"SQL Server", '2', false, "2134"},
                      VersionCase{"Oracle", ' ', false, "2134"},
                      VersionCase{"Oracle", '1', true, ""}));

TEST(OpenConnection, SqlServerLogsInWithTheInstanceSettingsAndRunsTheChecksInOrder) {
  FakeSource s("SQL Server", "INST");
  // With an instance, the distributor and publisher must name server\instance.
  s.fake->On("Sread").Sql("exec master..sp_helpdistributor").Row("srv1\\inst").Repeatedly();
  s.fake->On("Sread").Sql("exec master..sp_helpdistpublisher").Row("SRV1\\INST").Repeatedly();
  ASSERT_TRUE(s.control->OpenConnection("SRC")) << s.control->ErrorText();
  const auto dsn = s.fake->CallsNamed("ConnectDSN");
  ASSERT_EQ(dsn.size(), 1u);
  EXPECT_EQ(dsn[0].Arg(0), "DRIVER={SQL Native};SERVER=SRV1\\INST;UID=sa2;PWD=secret2");
  const auto st = s.fake->Statements();
  const std::vector<std::string> head(st.begin(), st.begin() + 5);
  EXPECT_EQ(head, (std::vector<std::string>{
                      "exec master..sp_helpdistributor", "exec master..sp_helpdistributiondb",
                      "exec master..sp_helpdistpublisher", "exec master..sp_helpsubscriberinfo",
                      "use QV_USRDATA"}));
  EXPECT_EQ(st[5], "SELECT * FROM QV_USRDATA..QV_VER ");
  EXPECT_EQ(s.control->DistributionDatabase(), "distribution");
  EXPECT_EQ(OpenedFiles(*s.fake).back(), "QV_USRDATA..QV_END");
  EXPECT_EQ(s.fake->CommandCodes().size(), 0u);  // no AS/400 commands on NT
  EXPECT_EQ(s.fake->OpenFiles().size(), std::size(kStoreFiles) + 1)
      << "the store's files and the user file of the login check, but no statement";
}

struct SqlCheckCase {
  const char* statement;
  std::string row;  // "" = no row; "refused" = the statement is refused
  const char* message;
};

class SqlServerCheck : public ::testing::TestWithParam<SqlCheckCase> {};

TEST_P(SqlServerCheck, FailsWithItsMessageAndClosesTheConnection) {
  const SqlCheckCase& c = GetParam();
  FakeSource s("SQL Server");
  if (c.row == "refused") s.fake->On("Saction").Sql(c.statement).Fail(DllParam::kCodeRefused, 911, "no db");
  else if (c.row.empty()) s.fake->On("Sread").Sql(c.statement).NotFound().Repeatedly();
  else s.fake->On("Sread").Sql(c.statement).Row(c.row).Repeatedly();
  EXPECT_FALSE(s.control->OpenConnection("SRC"));
  EXPECT_EQ(s.control->ErrorNum(), 40);
  const std::string text = s.control->ErrorText();
  EXPECT_EQ(text.substr(0, 10), cLoadResString(c.message, "SRV1").substr(0, 10)) << text;
  EXPECT_TRUE(s.fake->OpenConnections().empty());
  EXPECT_TRUE(s.fake->OpenFiles().empty()) << "the statement of the checks is closed";
}

INSTANTIATE_TEST_SUITE_P(
    Checks, SqlServerCheck,
    ::testing::Values(SqlCheckCase{"exec master..sp_helpdistributor", "", "2136"},
                      SqlCheckCase{"exec master..sp_helpdistributor", "OTHER", "2137"},
                      SqlCheckCase{"exec master..sp_helpdistributiondb", "", "2138"},
                      SqlCheckCase{"exec master..sp_helpdistpublisher", "", "2139"},
                      SqlCheckCase{"exec master..sp_helpdistpublisher", "ELSEWHERE", "2140"},
                      SqlCheckCase{"exec master..sp_helpsubscriberinfo", "", "2141"},
                      SqlCheckCase{"exec master..sp_helpsubscriberinfo",
                                   std::string(128, ' ') + "SOMEONE", "2141"},
                      SqlCheckCase{"use QV_USRDATA", "refused", "2135"}));

TEST(OpenConnection, OracleNeedsAnInstance) {
  for (const char* instance : {"", "*"}) {
    FakeSource s("Oracle", instance);
    EXPECT_FALSE(s.control->OpenConnection("SRC"));
    EXPECT_EQ(s.control->ErrorStep(), "OpenConnection: GetComputerName");
    EXPECT_EQ(s.control->ErrorNum(), 40);
    EXPECT_EQ(s.control->ErrorText(), cLoadResString("1158"));
    EXPECT_TRUE(s.fake->OpenConnections().empty());
  }
}

TEST(OpenConnection, OracleLogsInToItsInstanceAndSetsTheSession) {
  FakeSource s("Oracle", "ORCL");
  ASSERT_TRUE(s.control->OpenConnection("SRC")) << s.control->ErrorText();
  EXPECT_EQ(s.fake->CallsNamed("ConnectDSN")[0].Arg(0),
            "DRIVER={Oracle ODBC};SERVER=ORA1;UID=system;PWD=manager;DBQ=ORCL");
  const auto st = s.fake->Statements();
  EXPECT_EQ(st[0], "alter session set NLS_NUMERIC_CHARACTERS='. ';");
  EXPECT_EQ(st[1], "alter session set current_schema=qv_usrdata");
  EXPECT_EQ(OpenedFiles(*s.fake)[0], "QV_USRDATA.QV_VER");
}

TEST(OpenConnection, OdbcLogsInWithTheDataSourceKeys) {
  FakeSource s("ODBC");
  s.fake->On("GetDBParamKeys").Outs({"DSN=demo", "driver", "bob ", "pw", "db"});
  ASSERT_TRUE(s.control->OpenConnection("SRC")) << s.control->ErrorText();
  const auto dsn = s.fake->CallsNamed("ConnectDSN")[0];
  EXPECT_EQ(dsn.Arg(0), "DSN=demo;UID=bob;PWD=pw");
  EXPECT_EQ(dsn.Arg(1), "bob");
  EXPECT_EQ(dsn.Arg(2), "pw");
  EXPECT_EQ(OpenedFiles(*s.fake)[0], "QV_VER");
}

TEST(OpenConnection, AFileThatWillNotOpenClosesEverythingAndNamesTheStep) {
  FakeSource s("AS400");
  s.fake->On("Ropen").File("QV_USRDATA/QV_GC").Fail(DllParam::kCodeRefused, 3025, "not found");
  platform::TextBox text;
  EXPECT_FALSE(s.control->OpenConnection("SRC", &text));
  EXPECT_EQ(s.control->ErrorStep(), "OpenConnection:Open QV_GC");
  EXPECT_EQ(s.control->ErrorNum(), 3025);
  EXPECT_EQ(s.control->ErrorText(), "not found");
  EXPECT_EQ(text.Text, cLoadResString("2008", "QV_GC"));
  EXPECT_TRUE(s.fake->OpenFiles().empty());
  EXPECT_TRUE(s.fake->OpenConnections().empty());
  EXPECT_FALSE(s.control->ConnectionOpen());
  // The control can open again afterwards.
  EXPECT_TRUE(s.control->OpenConnection("SRC")) << s.control->ErrorText();
}

TEST(TargetServer, OpensOnceForOneAddressAndReopensForAnother) {
  FakeSource s("AS400");
  ASSERT_TRUE(s.control->OpenConnection("SRC"));
  ASSERT_TRUE(s.control->OpenQVsrv("tgt1", "1"));
  ASSERT_TRUE(s.control->OpenQVsrv(" TGT1 ", "1"));
  EXPECT_EQ(s.fake->CallCount("OpenMConnection"), 2);
  EXPECT_EQ(s.control->TargetAdress(), "TGT1");
  ASSERT_TRUE(s.control->OpenQVsrv("tgt2", "0"));
  EXPECT_EQ(s.fake->CallCount("OpenMConnection"), 3);
  EXPECT_EQ(s.fake->CallCount("CloseMConnection"), 1);
  EXPECT_EQ(s.fake->CommandCodes().back(), "SYSCRTUSR_");  // flag "0"
  s.control->CloseConnection();
  EXPECT_TRUE(s.fake->OpenConnections().empty());
}

TEST(Replication, OpensRLogsInAndReusesTheLogin) {
  FakeSource s("AS400");
  ASSERT_TRUE(s.control->OpenConnection("SRC"));
  ASSERT_TRUE(s.control->ConnectSourceRepli(" dsn1 ", "u", "p"));
  ASSERT_TRUE(s.control->ConnectSourceRepli("DSN1", "U", "P"));
  EXPECT_EQ(s.fake->CallCount("ConnectDSN"), 1);
  EXPECT_EQ(s.fake->CallsNamed("ConnectDSN")[0].Arg(0), "DSN=dsn1;UID=u;PWD=p;");
  ASSERT_TRUE(s.control->ConnectSourceRepli("DSN2", "U", "P"));
  EXPECT_EQ(s.fake->CallCount("CloseConnectionDSN"), 1);
  EXPECT_EQ(s.fake->CallCount("ConnectDSN"), 2);
  // Closing the control closes the replication connection too.
  s.control->CloseConnection();
  EXPECT_TRUE(s.fake->OpenConnections().empty());
}

TEST(CtlTimeOut, PingsOnlyIdleConnectionsAndClosesADeadOne) {
  platform::ManualClock clock(1000);
  platform::ScopedClock scoped(clock);
  FakeSource s("AS400");
  ASSERT_TRUE(s.control->OpenConnection("SRC"));
  ASSERT_TRUE(s.control->OpenQVsrv("TGT", "1"));
  std::string kind, address;
  // Idle for 60 seconds: nothing is sent; for 61: both are pinged and answer;
  // 30 seconds after a ping: nothing again.
  for (const auto& [seconds, pings] : {std::pair{60, 0}, std::pair{1, 2}, std::pair{30, 0}}) {
    SCOPED_TRACE(seconds);
    clock.Advance(seconds);
    s.fake->ClearCalls();
    EXPECT_TRUE(s.control->CtlTimeOut(kind, address));
    EXPECT_EQ(s.fake->CallCount("PingPong"), pings);
  }

  clock.Advance(31);  // the source is dead now
  s.fake->On("PingPong").Fail(DllParam::kCodeNetwork, 110, "timed out");
  EXPECT_FALSE(s.control->CtlTimeOut(kind, address));
  EXPECT_EQ(kind, "S");
  EXPECT_EQ(address, "SRC");
  EXPECT_FALSE(s.control->ConnectionOpen());
  EXPECT_TRUE(s.fake->OpenConnections().empty());
}

}  // namespace
}  // namespace qv::test
