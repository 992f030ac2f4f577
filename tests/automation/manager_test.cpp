// QVmanager against the recording fake: what reaches the control and the
// source, identifiers, error state, activity.
#include "automation/qvmanager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "automation/hidden_form.h"
#include "connection/qvsource.h"
#include "form_support.h"

namespace qv::automation {
namespace {

using platform::DispStatus;
using platform::InvokeKind;
using platform::Variant;
using test::FakeOnForm;
using test::NamedActivityBlock;
using ::testing::HasSubstr;

// The reply of SYSREDUSR_: 35 characters before the block.
std::string UserSpaceReply(const std::string& block) {
  return "00296" + std::string(30, '.') + block;
}

class ManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    SetProcessUserID("");
    SetProcessPassword("");
  }
  // Opens an AS/400 (or NT) connection.
  void Connect(const std::string& kind = "AS400") {
    form.HealthySource(kind);
    if (kind != "AS400") m.SourceType(kind);
    m.SourceAdress("src1");
    ASSERT_TRUE(m.OpenConnection()) << form.control().ErrorText();
  }
  // Opens a connection for the manager's distribution AA/T1/M1.
  void Open(const std::string& kind = "AS400") {
    Connect(kind);
    m.EnvironmentID("aa");
    m.TargetID("t1");
    m.ModelID("m1");
    form.fake().ClearCalls();
    form.control().ErrorNum();
  }
  std::vector<std::string> ActivityValues() {
    std::vector<std::string> v;
    for (std::size_t i = 0; i < Activity::kCount; ++i) v.push_back(m.Activity()->Get(i));
    return v;
  }

  FakeOnForm form;
  QVmanager m;
};

// ---- Identifiers ---------------------------------------------------------------

TEST_F(ManagerTest, IdentifiersAreUpperCasedTrimmedAndPadded) {
  Connect();
  struct Case {
    void (QVmanager::*put)(const std::string&);
    std::string (QVmanager::*get)();
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {&QVmanager::EnvironmentID, &QVmanager::EnvironmentID, " a", "A_"},
      {&QVmanager::EnvironmentID, &QVmanager::EnvironmentID, "abc", "AB"},
      {&QVmanager::EnvironmentID, &QVmanager::EnvironmentID, "", "__"},
      {&QVmanager::TargetID, &QVmanager::TargetID, "t1", "T1_"},
      {&QVmanager::TargetID, &QVmanager::TargetID, "abcd", "ABC"},
      {&QVmanager::ModelID, &QVmanager::ModelID, " m ", "M__"},
      {&QVmanager::ModelID, &QVmanager::ModelID, "\xe9t\xe9", "\xc9T\xc9"},
  };
  for (const Case& c : cases) {
    (m.*c.put)(c.in);
    EXPECT_EQ((m.*c.get)(), c.out) << "input \"" << c.in << "\"";
  }
}

TEST_F(ManagerTest, IdentifiersSelectInTheControl) {
  Connect();
  m.EnvironmentID(" a");
  m.TargetID("t1");
  m.ModelID("m1");
  m.FileID("File 1");
  EXPECT_EQ(form.control().env(), "A_");
  EXPECT_EQ(form.control().tgt(), "T1_");
  EXPECT_EQ(form.control().Grp(), "M1_");
  EXPECT_EQ(form.control().Fic(), "File 1");
  // The file identifier is kept as given, and read back from the manager.
  form.control().Fic("OTHER");
  EXPECT_EQ(m.FileID(), "File 1");
  // Writing a higher level clears the lower ones in the control.
  m.TargetID("t2");
  EXPECT_EQ(m.ModelID(), "");
}

TEST_F(ManagerTest, IdentifiersGivenBeforeTheConnectionAreSelectedOnOpen) {
  m.EnvironmentID("aa");
  m.TargetID("t1");
  m.ModelID("m1");
  m.FileID("F1");
  EXPECT_EQ(m.EnvironmentID(), "AA");  // kept, to be read and checked by the open
  Connect();
  EXPECT_EQ(m.EnvironmentID(), "AA");
  EXPECT_EQ(m.TargetID(), "T1_");
  EXPECT_EQ(m.ModelID(), "M1_");
  EXPECT_EQ(form.control().Fic(), "F1");
  EXPECT_EQ(form.fake().CallsNamed("Rreadk").back().key, "AA");
}

// ---- Connection ----------------------------------------------------------------

TEST_F(ManagerTest, OpenConnectionWithoutSourceTypeConnectsAsAS400) {
  form.HealthySource("AS400");
  m.SourceAdress("src1:1310");
  EXPECT_EQ(m.SourceType(), "AS400");
  ASSERT_TRUE(m.OpenConnection()) << form.control().ErrorText();
  EXPECT_TRUE(m.ConnectionOpen());
  EXPECT_EQ(form.fake().CallsNamed("OpenMConnection").at(0).Arg(0), "SRC1:1310");
  std::vector<std::string> rcmd;
  for (const test::FakeCommand& c : form.fake().Commands())
    if (c.code == "RCMD______") rcmd.push_back(c.Request());
  EXPECT_EQ(rcmd, (std::vector<std::string>{"00017CHGJOB RUNPTY(20)", "00019ADDLIBLE QV_USRDATA"}));

  EXPECT_TRUE(m.CloseConnection());
  EXPECT_FALSE(m.ConnectionOpen());
  EXPECT_EQ(form.fake().OpenConnections().size(), 0u);
}

TEST_F(ManagerTest, SourceTypeAndInstancePassThroughTheControl) {
  m.SourceType("sql server");
  EXPECT_EQ(m.SourceType(), "SQL Server");
  EXPECT_EQ(form.control().SourceType(), "SQL Server");
  m.InstanceName("INST");
  EXPECT_EQ(form.control().InstanceName(), "INST");
  form.control().InstanceName("OTHER");
  EXPECT_EQ(m.InstanceName(), "OTHER");
}

TEST_F(ManagerTest, LoginIsProcessWide) {
  m.UserID("BOB");
  m.Password("pw");
  EXPECT_EQ(ProcessUserID(), "BOB");
  EXPECT_EQ(ProcessPassword(), "pw");
}

TEST_F(ManagerTest, ErrorStateIsReadOnceThenCleared) {
  form.fake().On("OpenMConnection").Fail(DllParam::kCodeNetwork, 0, "host unreachable");
  m.SourceAdress("nowhere");
  EXPECT_FALSE(m.OpenConnection());
  EXPECT_EQ(m.ErrorNum(), QVSource::kLibraryErrorBase + DllParam::kCodeNetwork);
  EXPECT_EQ(m.ErrorNum(), 0);
  const std::string text = m.ErrorText();
  EXPECT_THAT(text, HasSubstr("host unreachable\r\n"));
  EXPECT_EQ(m.ErrorText(), "");
  EXPECT_FALSE(m.ConnectionOpen());
}

TEST_F(ManagerTest, GoingAwayClosesTheOpenConnection) {
  form.HealthySource("AS400");
  {
    QVmanager other;
    other.SourceAdress("src1");
    ASSERT_TRUE(other.OpenConnection());
    // Every manager of the thread shares the control.
    EXPECT_TRUE(m.ConnectionOpen());
  }
  EXPECT_FALSE(form.control().ConnectionOpen());
  EXPECT_EQ(form.fake().CallCount("CloseMConnection"), 1);
  EXPECT_FALSE(m.ConnectionOpen());
}

// ---- Activity ------------------------------------------------------------------

TEST_F(ManagerTest, ReadActivityCutsTheBlockIntoTheProperties) {
  Open();
  form.fake().On("Execute").Code("CHKOBJ____").Reply("000010");
  form.fake().On("Execute").Code("SYSREDUSR_").Reply(UserSpaceReply(NamedActivityBlock()));
  ASSERT_TRUE(m.ReadActivity()) << form.control().ErrorText();

  const std::vector<test::FakeCommand> cmds = form.fake().Commands();
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].Request(), "SAA_T1_M1_QV_USRDATA*USRSPC");
  EXPECT_EQ(cmds[1].ctl, "0000000305");
  EXPECT_EQ(cmds[1].Request(), "00300SAA_T1_M1_QV_USRDATAG 00001024");

  const Activity& a = *m.Activity();
  EXPECT_EQ(a.Get("state"), "s");
  EXPECT_EQ(a.Get("Receiver"), "Receiver            ");
  EXPECT_EQ(a.Get("JOENTT"), "JO");
  EXPECT_EQ(a.Get("JOTMST"), "JOTMST                    ");
  EXPECT_EQ(a.Get("TimeProcess"), "TimeProcess   ");
  EXPECT_EQ(a.Get("CptErr"), "CptErr    ");
  for (std::size_t i = 0; i < Activity::kCount; ++i)
    EXPECT_EQ(a.Get(i).size(), layout::Activity.fields[i].width) << layout::Activity.fields[i].name;
}

TEST_F(ManagerTest, NoUserSpaceGivesBlankProperties) {
  Open();
  ASSERT_TRUE(m.ReadActivity());  // the object check answers "not found" by default
  EXPECT_EQ(form.fake().CommandCodes(), (std::vector<std::string>{"CHKOBJ____"}));
  for (std::size_t i = 0; i < Activity::kCount; ++i)
    EXPECT_EQ(m.Activity()->Get(i), std::string(layout::Activity.fields[i].width, ' '));
}

TEST_F(ManagerTest, NTSourcesReadTheActivityService) {
  Open("ODBC");
  const std::string header = "00302SAA_T1_M1_" + std::string(26, ' ');
  ASSERT_EQ(header.size(), static_cast<std::size_t>(DllParam::kActivityHeader));
  form.fake().On("Activity").Out(header + NamedActivityBlock());
  ASSERT_TRUE(m.ReadActivity()) << form.control().ErrorText();
  const test::FakeCall call = form.fake().CallsNamed("Activity").at(0);
  EXPECT_EQ(call.Arg(0).substr(0, 11), "SAA_T1_M1_ ");
  EXPECT_EQ(call.Arg(1), " 00001024G");
  EXPECT_EQ(m.Activity()->Get("RcvNum"), "RcvNum    ");
  EXPECT_EQ(m.Activity()->Get("CptRpr"), "CptRpr    ");
}

TEST_F(ManagerTest, FailedReadKeepsThePreviousValues) {
  Open();
  form.fake().On("Execute").Code("CHKOBJ____").Reply("000010").Repeatedly();
  form.fake().On("Execute").Code("SYSREDUSR_").Reply(UserSpaceReply(NamedActivityBlock()));
  ASSERT_TRUE(m.ReadActivity());
  const std::vector<std::string> before = ActivityValues();

  form.fake().On("Execute").Code("SYSREDUSR_").Fail(DllParam::kCodeRefused, 3101, "user space damaged");
  EXPECT_FALSE(m.ReadActivity());
  EXPECT_EQ(ActivityValues(), before);
  EXPECT_EQ(m.ErrorNum(), 3101);
  EXPECT_EQ(m.ErrorText(), "user space damaged");
}

TEST_F(ManagerTest, ReadActivityNeedsAnActivityObject) {
  Open();
  m.Activity(nullptr);
  EXPECT_FALSE(m.ReadActivity());
  EXPECT_EQ(form.fake().Calls().size(), 0u);
  platform::DispResult r = m.Invoke(0x60030022, InvokeKind::Method, {});
  EXPECT_EQ(r.status, DispStatus::Exception);
  EXPECT_THAT(r.text, HasSubstr("not set"));
}

TEST_F(ManagerTest, StopQVSendsOptionI) {
  Open();
  form.fake().On("Execute").Code("CHKOBJ____").Reply("000010").Repeatedly();
  ASSERT_TRUE(m.StopQV());
  EXPECT_EQ(form.fake().Commands().at(1).Request(), "00300SAA_T1_M1_QV_USRDATAGI00001024");
  // The stop request leaves the snapshot alone.
  for (std::size_t i = 0; i < Activity::kCount; ++i) EXPECT_EQ(m.Activity()->Get(i), "");
}

TEST_F(ManagerTest, StopQVOnNTSourcesSendsOptionI) {
  Open("ODBC");
  ASSERT_TRUE(m.StopQV());
  EXPECT_EQ(form.fake().CallsNamed("Activity").at(0).Arg(1), "I00001024G");
}

// ---- Object model --------------------------------------------------------------

TEST_F(ManagerTest, NewManagerHoldsOneEmptyActivityInItsCollection) {
  ASSERT_TRUE(m.cActivity());
  ASSERT_EQ(m.cActivity()->Count(), 1u);
  EXPECT_EQ(m.cActivity()->Item(std::size_t{1})->ToObject(), m.Activity());
  for (std::size_t i = 0; i < Activity::kCount; ++i) EXPECT_EQ(m.Activity()->Get(i), "");
  // Nothing reached the control.
  EXPECT_EQ(form.fake().Calls().size(), 0u);
}

// ---- Threads -------------------------------------------------------------------

// A fake that tells when its connection was closed, after it is gone.
class WatchedFake : public test::RecordingFake {
 public:
  explicit WatchedFake(std::atomic<int>& closes) : closes_(closes) {}
  int32_t CloseMConnection(int32_t h) override {
    ++closes_;
    return RecordingFake::CloseMConnection(h);
  }

 private:
  std::atomic<int>& closes_;
};

TEST(FormTest, EachThreadHasItsOwnFormClosedWhenTheThreadEnds) {
  std::atomic<int> closes{0};
  FakeOnForm here;
  QVSource* mine = &frm().ctl();
  QVSource* theirs = nullptr;
  int closesBeforeExit = -1;
  std::thread worker([&] {
    auto fake = std::make_unique<WatchedFake>(closes);
    fake->On("Rreadf").File("QV_USRDATA/QV_VER").Record("0V1R0       ").Repeatedly();
    InstallLibrary(std::move(fake));
    theirs = &frm().ctl();
    EXPECT_TRUE(theirs->OpenConnection("src1")) << theirs->ErrorText();
    closesBeforeExit = closes.load();
  });
  worker.join();
  EXPECT_NE(mine, theirs);
  EXPECT_EQ(&frm().ctl(), mine);
  EXPECT_EQ(closesBeforeExit, 0);
  EXPECT_EQ(closes.load(), 1);
}

TEST(FormTest, FormIsCreatedOnFirstUseAndDropped) {
  DropForm();
  EXPECT_EQ(ExistingForm(), nullptr);
  {
    QVmanager m;  // creating a manager does not create the form
    EXPECT_EQ(ExistingForm(), nullptr);
  }
  FakeOnForm form;
  EXPECT_NE(ExistingForm(), nullptr);
  EXPECT_THROW(InstallControl(nullptr), std::invalid_argument);
}

TEST(FormTest, FactoryMakesTheLibraryOfNewForms) {
  int made = 0;
  SetLibraryFactory([&made] {
    ++made;
    return std::make_unique<test::RecordingFake>();
  });
  DropForm();
  QVmanager m;
  EXPECT_EQ(m.SourceType(), "AS400");
  EXPECT_EQ(made, 1);
  EXPECT_NE(dynamic_cast<test::RecordingFake*>(&frm().ctl().Library()), nullptr);
  SetLibraryFactory(nullptr);
  DropForm();
}

}  // namespace
}  // namespace qv::automation
