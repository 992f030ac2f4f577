// Opening and closing a source: the exact sequence each kind sends, the
// refusals and their error state, the target-server connection and the idle check.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "support/fake_control.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "support/topology.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

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

  Lines commands;
  for (const FakeCommand& c : s.fake->Commands()) commands.push_back(c.code + " " + c.ctl + " " + c.Request());
  EXPECT_EQ(commands, (Lines{"RCMD______ 0000000100 00017CHGJOB RUNPTY(20)",
                             "RCMD______ 0000000100 00019ADDLIBLE QV_USRDATA", "SYSCRTUSR_ 0000004096 04096"}));

  std::vector<std::string> expected = {"QV_USRDATA/QV_VER", "QV_USRDATA/QV_UID"};
  for (const char* f : kStoreFiles) expected.push_back(std::string("QV_USRDATA/") + f);
  EXPECT_EQ(OpenedFiles(*s.fake), expected);
  // QV_VER, QV_UID for the login check and the two joins are read only.
  const auto ropens = s.fake->CallsNamed("Ropen");
  for (std::size_t i = 0; i < ropens.size(); ++i)
    EXPECT_EQ(ropens[i].Arg(1), i < 2 || i == 8 || i == 15 ? DllParam::kModeRead : DllParam::kModeUpdate) << i;
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

// An open that a check or a call refuses: the fake is scripted by script.
struct OpenFailure {
  const char* kind;
  const char* instance;
  std::function<void(FakeSource&)> script;
  int32_t num;
  std::string text, step;
  const char* user = nullptr;  // the login, when the case needs one
};

TEST(OpenConnection, AnOpenThatFailsNamesTheStepAndLeavesNothingOpen) {
  const auto version = [](char srcType) { return [srcType](FakeSource& s) { s.Version(srcType); }; };
  // Answers statement with row, with no row when row is empty, or refuses it.
  const auto answer = [](const char* statement, std::string row) {
    return [statement, row](FakeSource& s) {
      if (row == "refused") s.fake->On("Saction").Sql(statement).Fail(DllParam::kCodeRefused, 911, "no db");
      else if (row.empty()) s.fake->On("Sread").Sql(statement).NotFound().Repeatedly();
      else s.fake->On("Sread").Sql(statement).Row(row).Repeatedly();
    };
  };
  const auto failGC = [](FakeSource& s) {
    s.fake->On("Ropen").File("QV_USRDATA/QV_GC").Fail(DllParam::kCodeRefused, 3025, "not found");
  };
  // EVE is not the user the user file lists, or the file cannot be read: nobody connects.
  const auto users = [](bool readFails) {
    return [readFails](FakeSource& s) {
      FakeRule& first = s.fake->On("Rreadf").File("QV_USRDATA/QV_UID");
      if (readFails) first.Fail(DllParam::kCodeNetwork, 10054, "connection reset by peer");
      else first.Record(User("**", "BOB", "0", "p"));
    };
  };
  const std::string readVersion = "OpenConnection:Read QV_VER", sql = "OpenConnection:SQL Server";
  const OpenFailure cases[] = {
      {"AS400", "", version('1'), 40, cLoadResString("2009"), readVersion},
      {"ODBC", "", version('0'), 40, cLoadResString("2134"), readVersion},
      {"SQL Server", "", version('2'), 40, cLoadResString("2134"), readVersion},
      {"SQL Server", "", answer("exec master..sp_helpdistributor", ""), 40, cLoadResString("2136", "SRV1"), sql},
      {"SQL Server", "", answer("exec master..sp_helpdistributor", "OTHER"), 40, cLoadResString("2137", "OTHER"), sql},
      {"SQL Server", "", answer("exec master..sp_helpdistributiondb", ""), 40, cLoadResString("2138"), sql},
      {"SQL Server", "", answer("exec master..sp_helpdistpublisher", ""), 40, cLoadResString("2139", "SRV1"), sql},
      {"SQL Server", "", answer("exec master..sp_helpdistpublisher", "ELSEWHERE"), 40,
       cLoadResString("2140", "ELSEWHERE"), sql},
      {"SQL Server", "", answer("exec master..sp_helpsubscriberinfo", ""), 40, cLoadResString("2141"), sql},
      {"SQL Server", "", answer("exec master..sp_helpsubscriberinfo", std::string(128, ' ') + "SOMEONE"), 40,
       cLoadResString("2141"), sql},
      {"SQL Server", "", answer("use QV_USRDATA", "refused"), 40, cLoadResString("2135"), sql},
      {"Oracle", "", nullptr, 40, cLoadResString("1158"), "OpenConnection: GetComputerName"},
      {"Oracle", "*", nullptr, 40, cLoadResString("1158"), "OpenConnection: GetComputerName"},
      {"AS400", "", failGC, 3025, "not found", "OpenConnection:Open QV_GC"},
      {"AS400", "", users(false), 40, cLoadResString("2132", "EVE"), "CheckUser", "EVE"},
      {"AS400", "", users(true), 10054, "connection reset by peer", "CheckUser", "EVE"},
  };
  for (const OpenFailure& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + ": " + c.step + " " + c.text);
    std::optional<ProcessLogin> login;
    if (c.user) login.emplace(c.user, "x");
    FakeSource s(c.kind, c.instance);
    if (c.script) c.script(s);
    EXPECT_FALSE(s.control->OpenConnection("SRC"));
    EXPECT_EQ(s.control->ErrorStep(), c.step);
    EXPECT_EQ(s.control->ErrorNum(), c.num);
    EXPECT_EQ(s.control->ErrorText(), c.text);
    EXPECT_FALSE(s.control->ConnectionOpen());
    EXPECT_TRUE(s.fake->OpenFiles().empty());
    EXPECT_TRUE(s.fake->OpenConnections().empty());
  }
  // The text box names the file that failed; the control opens once the file
  // opens again, and a blank kind of store is an AS/400 one.
  FakeSource again("AS400");
  failGC(again);
  again.Version(' ');
  platform::TextBox text;
  EXPECT_FALSE(again.control->OpenConnection("SRC", &text));
  EXPECT_EQ(text.Text, cLoadResString("2008", "QV_GC"));
  EXPECT_TRUE(again.control->OpenConnection("SRC")) << again.control->ErrorText();
}

TEST(OpenConnection, NtKindsLogInWithTheirSettingsAndPrepareTheSessionBeforeReadingTheVersion) {
  struct Case {
    const char* kind;
    const char* instance;
    Lines login;       // the connection string, the user and the password
    Lines statements;  // up to the read of the version
    const char* distribution;
  };
  const Case cases[] = {
      {"SQL Server", "INST", {"DRIVER={SQL Native};SERVER=SRV1\\INST;UID=sa2;PWD=secret2", "sa2", "secret2"},
       {"exec master..sp_helpdistributor", "exec master..sp_helpdistributiondb", "exec master..sp_helpdistpublisher",
        "exec master..sp_helpsubscriberinfo", "use QV_USRDATA", "SELECT * FROM QV_USRDATA..QV_VER "},
       "distribution"},
      {"Oracle", "ORCL", {"DRIVER={Oracle ODBC};SERVER=ORA1;UID=system;PWD=manager;DBQ=ORCL", "system", "manager"},
       {"alter session set NLS_NUMERIC_CHARACTERS='. ';", "alter session set current_schema=qv_usrdata",
        "SELECT * FROM QV_USRDATA.QV_VER "},
       ""},
      {"ODBC", "", {"DSN=demo;UID=bob;PWD=pw", "bob", "pw"}, {"SELECT * FROM QV_VER "}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    FakeSource s(c.kind, c.instance);
    // With an instance, the distributor and publisher must name server\instance.
    s.fake->On("Sread").Sql("exec master..sp_helpdistributor").Row("srv1\\inst").Repeatedly();
    s.fake->On("Sread").Sql("exec master..sp_helpdistpublisher").Row("SRV1\\INST").Repeatedly();
    s.fake->On("GetDBParamKeys").Outs({"DSN=demo", "driver", "bob ", "pw", "db"});
    ASSERT_TRUE(s.control->OpenConnection("SRC")) << s.control->ErrorText();
    const std::vector<FakeCall> dsn = s.fake->CallsNamed("ConnectDSN");
    ASSERT_EQ(dsn.size(), 1u);
    EXPECT_EQ((Lines{dsn[0].Arg(0), dsn[0].Arg(1), dsn[0].Arg(2)}), c.login);
    const Lines st = s.fake->Statements();
    EXPECT_EQ(Lines(st.begin(), st.begin() + std::min(st.size(), c.statements.size())), c.statements);
    EXPECT_EQ(s.control->DistributionDatabase(), c.distribution);
    EXPECT_EQ(OpenedFiles(*s.fake).front(), s.Prefix() + "QV_VER");
    EXPECT_EQ(OpenedFiles(*s.fake).back(), s.Prefix() + "QV_END");
    EXPECT_TRUE(s.fake->CommandCodes().empty());  // no AS/400 commands on NT
    EXPECT_EQ(s.fake->OpenFiles().size(), std::size(kStoreFiles) + 1)
        << "the store's files and the user file of the login check, but no statement";
  }
}

// The target-server connection and the replication connection are kept for
// the same address or login, reopened for another, and closed with the
// control.
TEST(SecondConnections, AreReusedForTheSameAddressReopenedForAnotherAndClosedWithTheControl) {
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

  ASSERT_TRUE(s.control->ConnectSourceRepli(" dsn1 ", "u", "p"));
  ASSERT_TRUE(s.control->ConnectSourceRepli("DSN1", "U", "P"));
  EXPECT_EQ(s.fake->CallCount("ConnectDSN"), 1);
  EXPECT_EQ(s.fake->CallsNamed("ConnectDSN")[0].Arg(0), "DSN=dsn1;UID=u;PWD=p;");
  ASSERT_TRUE(s.control->ConnectSourceRepli("DSN2", "U", "P"));
  EXPECT_EQ(s.fake->CallCount("CloseConnectionDSN"), 1);
  EXPECT_EQ(s.fake->CallCount("ConnectDSN"), 2);
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
