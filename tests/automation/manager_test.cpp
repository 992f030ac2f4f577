// QVmanager against the recording fake, called as a script calls it: what
// reaches the control and the source (identifiers, commands, statements),
// what the manager's copy of the distribution holds, its activity, the
// calls that are refused and the hidden form of each thread.
#include "automation/qvmanager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "automation/hidden_form.h"
#include "connection/remote_commands.h"
#include "presentation/strutil.h"
#include "connection/qvsource.h"
#include "form_support.h"
#include "support/topology.h"
#include "platform/control_objects.h"
#include "presentation/messages.h"
#include "store/distribution_statements.h"

namespace qv::automation {
namespace {

using platform::DISPID;
using platform::DispResult;
using platform::DispStatus;
using platform::InvokeKind;
using platform::Variant;
using test::FakeOnForm;
using test::NamedActivityBlock;
using ::testing::HasSubstr;

// DISPIDs a script holds.
constexpr DISPID kReadDistribution = 0x60030018, kRepriseType = 0x6803000A, kRepriseLibrary = 0x68030009,
                 kRepriseReceiver = 0x68030008, kReprisePoint = 0x68030007, kScheduled = 0x68030006,
                 kHold = 0x68030005, kUpdateDistribution = 0x60030019, kSourceJobRun = 0x6003001F,
                 kStartQV = 0x60030021, kReadActivity = 0x60030022, kReadMSG = 0x60030023,
                 kReadEnvironnement = 0x60030015, kReadTarget = 0x60030016, kReadModel = 0x60030017,
                 kStopQV = 0x60030020, kUserID = 0x68030011, kSourceType = 0x6803000E;

// A distribution AA/T1_/M1_ as stored.
std::string StoredDistribution() {
  return test::Make(layout::QV_GC, {{"ENVID", "AA"}, {"TGTID", "T1_"}, {"GRPID", "M1_"}, {"HOLD", "1"},
                                    {"SCHEDULED", "0"}, {"TGTBDTYPE", "0"}, {"TARGETDB", "TGTDB"},
                                    {"PLANNING", "0800"}, {"REPRISETYP", "P"}, {"REPRISERCV", "RCV0001"},
                                    {"REPRISELIB", "RCVLIB"}, {"REPRISEPNT", "0000000042"}, {"X", "0000000010"},
                                    {"Y", "0000000020"}})
      .image();
}

// The reply of SYSREDUSR_: 35 characters before the block.
std::string UserSpaceReply(const std::string& block) { return "00296" + std::string(30, '.') + block; }

class ManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    SetProcessUserID("");
    SetProcessPassword("");
  }
  // Opens a connection of kind for the manager's distribution AA/T1/M1.
  void Open(const std::string& kind = "AS400") {
    kind_ = kind;
    ASSERT_TRUE(form.OpenFor(m, kind)) << form.control().ErrorText();
  }
  // Answers the reads of the distribution AA/T1_/M1_ with record.
  void Store(const std::string& record) {
    if (kind_ == "AS400")
      form.fake().On("Rreadk").File("QV_USRDATA/QV_GC").Key("AAT1_M1_").Record(record).Repeatedly();
    else
      form.fake()
          .On("Sread")
          .Sql(SelectDistributionSql(test::PrefixOf(kind_), "AA", "T1_", "M1_"))
          .Row(RecordToNtRow(Record(layout::QV_GC, record)))
          .Repeatedly();
  }
  DispResult Call(DISPID id, std::vector<Variant> args = {}) { return m.Invoke(id, InvokeKind::Method, args); }
  DispResult Get(DISPID id) { return m.Invoke(id, InvokeKind::PropertyGet, {}); }
  DispResult Put(DISPID id, Variant value) {
    std::vector<Variant> args{std::move(value)};
    return m.Invoke(id, InvokeKind::PropertyPut, args);
  }
  Record Copy() const { return Record(layout::QV_GC, m.DistributionRecord()); }

  FakeOnForm form;
  QVmanager m;
  std::string kind_ = "AS400";
};

// ---- Identifiers and the connection ----------------------------------------------

TEST_F(ManagerTest, IdentifiersArePaddedToTheirWidthsAndSelectedInTheControl) {
  m.TargetID("t1");
  EXPECT_EQ(m.TargetID(), "T1_");
  EXPECT_TRUE(form.fake().Calls().empty());  // nothing is read without a connection
  Open();
  m.EnvironmentID(" a");
  m.TargetID("t1");
  m.ModelID("m1");
  m.FileID("File 1");
  EXPECT_EQ((std::vector<std::string>{form.control().env(), form.control().tgt(), form.control().Grp(), m.ModelID(),
                                      form.control().Fic()}),
            (std::vector<std::string>{"A_", "T1_", "M1_", "M1_", "File 1"}));
  form.control().Fic("OTHER");
  EXPECT_EQ(m.FileID(), "File 1");
  m.TargetID("t2");  // a higher level clears the lower ones
  EXPECT_EQ(m.ModelID(), "");
}

TEST_F(ManagerTest, OpensAsAnAs400SourceByDefaultAndClosesWhatItOpenedWhenItGoes) {
  form.HealthySource("AS400");
  EXPECT_EQ(m.SourceType(), "AS400");
  {
    QVmanager other;  // every manager of the thread shares the control
    other.SourceAdress("src1:1310");
    ASSERT_TRUE(other.OpenConnection()) << form.control().ErrorText();
    EXPECT_TRUE(m.ConnectionOpen());
    EXPECT_EQ(form.fake().CallCount("OpenMConnection"), 1);
    m.InstanceName("INST");
    EXPECT_EQ(form.control().InstanceName(), "INST");
  }
  EXPECT_FALSE(m.ConnectionOpen());
  EXPECT_TRUE(form.fake().OpenConnections().empty());
}

TEST_F(ManagerTest, AFailedLibraryCallGivesItsCategoryAbove1000) {
  form.fake().On("OpenMConnection").Fail(DllParam::kCodeNetwork, 0, "host unreachable");
  m.SourceAdress("nowhere");
  EXPECT_FALSE(m.OpenConnection());
  EXPECT_EQ(m.ErrorNum(), QVSource::kLibraryErrorBase + DllParam::kCodeNetwork);
  EXPECT_THAT(m.ErrorText(), HasSubstr("host unreachable\r\n"));
}

// ---- Refusals before anything reaches the source ----------------------------------

// A Boolean member of the manager and the identifiers it acts on.
struct Member {
  const char* name;
  DISPID id;
  bool env, target, model;
};
const Member kMembers[] = {
    {"ReadEnvironnement", kReadEnvironnement, true, false, false},
    {"ReadTarget", kReadTarget, true, true, false},
    {"ReadModel", kReadModel, true, false, true},
    {"ReadDistribution", kReadDistribution, true, true, true},
    {"UpdateDistribution", kUpdateDistribution, true, true, true},
    {"SourceJobRun", kSourceJobRun, true, true, true},
    {"StopQV", kStopQV, true, true, true},
    {"StartQV", kStartQV, true, true, true},
    {"ReadActivity", kReadActivity, true, true, true},
    {"ReadMSG", kReadMSG, false, false, false},
};

// Calls member by DISPID and expects false with the manager's refusal text,
// told once, without a call to the source.
void ExpectRefused(QVmanager& manager, test::RecordingFake& fake, const Member& member, const std::string& text) {
  fake.ClearCalls();
  std::vector<Variant> args;
  if (member.id == kReadMSG)
    args = {Variant(true), Variant(true), Variant(std::make_shared<platform::ListViewObject>())};
  const DispResult r = manager.Invoke(member.id, InvokeKind::Method, args);
  ASSERT_TRUE(r.ok()) << member.name << ": " << r.text;
  EXPECT_EQ(r.value, Variant(false)) << member.name;
  EXPECT_TRUE(fake.Calls().empty()) << member.name;
  EXPECT_EQ(manager.ErrorNum(), QVSource::kRefusalNum) << member.name;
  EXPECT_EQ(manager.ErrorText(), text) << member.name;
  EXPECT_EQ(manager.ErrorNum(), 0) << member.name;
  EXPECT_EQ(manager.ErrorText(), "") << member.name;
}

TEST_F(ManagerTest, WithoutAConnectionEveryMemberAnswersFalseAndTellsWhy) {
  m.EnvironmentID("aa");
  m.TargetID("t1");
  m.ModelID("m1");
  // Never connected: StopQV and ReadActivity once reported a stop and blank counters.
  ExpectRefused(m, form.fake(), kMembers[6], cLoadResString("1904"));
  ExpectRefused(m, form.fake(), kMembers[8], cLoadResString("1904"));

  Open();
  Store(StoredDistribution());
  ASSERT_TRUE(m.ReadDistribution()) << m.ErrorText();
  ASSERT_TRUE(m.CloseConnection());
  for (const Member& member : kMembers) ExpectRefused(m, form.fake(), member, cLoadResString("1904"));
}

TEST_F(ManagerTest, WithoutAnIdentifierItActsOnAMemberAnswersFalseAndNamesIt) {
  form.HealthySource("AS400");
  for (const char* missing : {"EnvironmentID", "TargetID", "ModelID"}) {
    for (const Member& member : kMembers) {
      const bool needs = std::string(missing) == "EnvironmentID" ? member.env
                         : std::string(missing) == "TargetID"    ? member.target
                                                                 : member.model;
      // An identifier once set is never empty again: nothing is read without all three.
      if (!needs || member.id == kUpdateDistribution) continue;
      QVmanager fresh;
      fresh.SourceAdress("src1");
      ASSERT_TRUE(fresh.OpenConnection());
      if (missing != std::string("EnvironmentID")) fresh.EnvironmentID("aa");
      if (missing != std::string("TargetID")) fresh.TargetID("t1");
      if (missing != std::string("ModelID")) fresh.ModelID("m1");
      fresh.ErrorText();  // what the selection reported
      fresh.ErrorNum();
      ExpectRefused(fresh, form.fake(), member, cLoadResString("1905", missing));
    }
  }
}

TEST_F(ManagerTest, ALaterErrorOfTheSourceTakesThePlaceOfARefusal) {
  form.HealthySource("AS400");
  m.SourceAdress("src1");
  ASSERT_TRUE(m.OpenConnection());
  m.EnvironmentID("aa");
  m.TargetID("t1");
  EXPECT_FALSE(m.StopQV());  // refused without a model, and not read
  m.ModelID("m9");  // no such distribution: the source's refusal comes after the manager's
  EXPECT_FALSE(m.ReadDistribution());
  EXPECT_EQ(m.ErrorText(), cLoadResString("2026", "M9_", "T1_"));
  EXPECT_EQ(m.ErrorNum(), QVSource::kRefusalNum);
  EXPECT_EQ(m.ErrorText(), "");
}

TEST_F(ManagerTest, AUserIdentifierTooLongForTheLoginIsRefusedNotCut) {
  struct Case {
    std::string user;
    bool taken;
  };
  const Case cases[] = {
      {"QVADMIN" + std::string(23, ' ') + "ZZZ", false},  // would be QVADMIN once cut to 30
      {std::string(30, 'U'), true},
      {"QVADMIN" + std::string(40, ' '), true},  // trailing blanks are padding
  };
  for (const Case& c : cases) {
    SetProcessUserID("BEFORE");
    const DispResult r = Put(kUserID, Variant(c.user));
    EXPECT_EQ(r.ok(), c.taken) << "\"" << c.user << "\"";
    EXPECT_EQ(ProcessUserID(), c.taken ? c.user : "BEFORE") << "\"" << c.user << "\"";
    if (!c.taken) {
      EXPECT_THAT(r.text, HasSubstr("at most 30 characters"));
    }
  }
}

TEST_F(ManagerTest, AReceiverLibraryIsRefusedForTheSourcesThatDoNotStoreIt) {
  for (const char* sourceType : {"ODBC", "SQL Server", "Oracle", "", "AS400"}) {
    const bool stored = sourceType == std::string("AS400") || sourceType == std::string("");
    ASSERT_TRUE(Put(kSourceType, Variant(std::string(sourceType))).ok());
    const DispResult r = Put(kRepriseLibrary, Variant("jrnlib"));
    EXPECT_EQ(r.ok(), stored) << sourceType;
    EXPECT_EQ(m.DistributionRepriseLibrary(), stored ? "JRNLIB" : "") << sourceType;
    if (!stored) {
      EXPECT_EQ(r.status, DispStatus::Exception) << sourceType;
    }
    // A blank library is what every kind stores.
    EXPECT_TRUE(Put(kRepriseLibrary, Variant("  ")).ok()) << sourceType;
    EXPECT_EQ(m.DistributionRepriseLibrary(), "") << sourceType;
  }
}

// ---- Activity -----------------------------------------------------------------

TEST_F(ManagerTest, ReadActivityCutsTheBlockIntoThePropertiesAndAFailedReadKeepsThem) {
  Open();
  ASSERT_TRUE(m.ReadActivity());  // the object check answers "not found" by default
  EXPECT_EQ(form.fake().CommandCodes(), (std::vector<std::string>{"CHKOBJ____"}));

  form.fake().ClearCalls();
  form.fake().On("Execute").Code("CHKOBJ____").Reply("000010").Repeatedly();
  form.fake().On("Execute").Code("SYSREDUSR_").Reply(UserSpaceReply(NamedActivityBlock()));
  ASSERT_EQ(Call(kReadActivity).value, Variant(true)) << form.control().ErrorText();
  const std::vector<test::FakeCommand> cmds = form.fake().Commands();
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ((std::vector<std::string>{cmds[0].Request(), cmds[1].ctl, cmds[1].Request()}),
            (std::vector<std::string>{"SAA_T1_M1_QV_USRDATA*USRSPC", "0000000305",
                                      "00300SAA_T1_M1_QV_USRDATAG 00001024"}));

  const std::vector<std::string> before = test::ActivityValues(m);
  ASSERT_EQ(before[0], "s");
  form.fake().On("Execute").Code("SYSREDUSR_").Fail(DllParam::kCodeRefused, 3101, "user space damaged");
  EXPECT_FALSE(m.ReadActivity());
  EXPECT_EQ(test::ActivityValues(m), before);
  EXPECT_EQ(m.ErrorNum(), 3101);
  EXPECT_EQ(m.ErrorText(), "user space damaged");

  // The stop request sends option I and leaves the snapshot alone.
  ASSERT_TRUE(m.StopQV());
  EXPECT_EQ(form.fake().Commands().back().Request(), "00300SAA_T1_M1_QV_USRDATAGI00001024");
  EXPECT_EQ(test::ActivityValues(m), before);

  // A failed check of the space is not a blank activity, and a stop request
  // behind it is not reported as sent.
  form.fake().On("Execute").Code("CHKOBJ____").Fail(DllParam::kCodeNetwork, 10054, "connection reset").Repeatedly();
  form.fake().ClearCalls();
  EXPECT_FALSE(m.ReadActivity());
  EXPECT_EQ(test::ActivityValues(m), before);
  EXPECT_EQ(m.ErrorNum(), 10054);
  EXPECT_FALSE(m.StopQV());
  EXPECT_EQ(m.ErrorText(), "connection reset");
  EXPECT_EQ(form.fake().CommandCodes(), (std::vector<std::string>{"CHKOBJ____", "CHKOBJ____"}));
}

TEST_F(ManagerTest, NtSourcesReadAndStopThroughTheActivityService) {
  Open("ODBC");
  const std::string header = "00302SAA_T1_M1_" + std::string(26, ' ');
  form.fake().On("Activity").Out(header + NamedActivityBlock());
  ASSERT_TRUE(m.ReadActivity()) << form.control().ErrorText();
  ASSERT_TRUE(m.StopQV());
  // The read's arguments are what the embedded engine reads (EmbeddedManagerTest).
  EXPECT_EQ(form.fake().CallsNamed("Activity").at(1).Arg(1), "I00001024G");
}

TEST_F(ManagerTest, ObjectArgumentsMustBeSetAndOfTheirClass) {
  Open();
  m.Activity(nullptr);
  DispResult r = Call(kReadActivity);
  EXPECT_EQ(r.status, DispStatus::Exception);
  EXPECT_THAT(r.text, HasSubstr("not set"));
  r = Call(kReadMSG, {Variant(true), Variant(true), Variant(nullptr)});
  EXPECT_EQ(r.status, DispStatus::Exception);
  EXPECT_EQ(r.argIndex, 2);
  EXPECT_TRUE(form.fake().Calls().empty());
}

// ---- The distribution copy ------------------------------------------------------

TEST_F(ManagerTest, ACopyThatWasNeverReadCannotBeWrittenBack) {
  Open();
  ASSERT_TRUE(Put(kReprisePoint, Variant(std::int32_t{42})).ok());
  ASSERT_TRUE(Put(kScheduled, Variant(true)).ok());
  // The copy is blank but for those two: writing it back would wipe the
  // distribution's settings.
  const DispResult update = Call(kUpdateDistribution);
  EXPECT_EQ(update.status, DispStatus::Exception);
  EXPECT_THAT(update.text, HasSubstr("ReadDistribution first"));
  EXPECT_FALSE(m.UpdateDistribution());
  EXPECT_TRUE(form.fake().Calls().empty());
}

TEST_F(ManagerTest, PropertiesTakeTheValuesAScriptPassesAndRefuseTheOthers) {
  Open();
  ASSERT_TRUE(Put(kReprisePoint, Variant("1234")).ok());
  EXPECT_EQ(Copy().Get("REPRISEPNT"), "0000001234");
  ASSERT_TRUE(Put(kReprisePoint, Variant(2147483647.0)).ok());
  EXPECT_EQ(Copy().Get("REPRISEPNT"), "2147483647");
  ASSERT_TRUE(Put(kHold, Variant("True")).ok());
  ASSERT_TRUE(Put(kScheduled, Variant(std::int32_t{-1})).ok());
  EXPECT_EQ(Copy().Get("HOLD"), "1");
  EXPECT_EQ(Copy().Get("SCHEDULED"), "1");
  const std::string before = m.DistributionRecord();
  DispResult r = Put(kReprisePoint, Variant(std::int32_t{-5}));
  EXPECT_EQ(r.status, DispStatus::Overflow);
  EXPECT_THAT(r.text, HasSubstr("cannot be negative (-5)"));
  EXPECT_EQ(Put(kReprisePoint, Variant(3e9)).status, DispStatus::Overflow);
  EXPECT_EQ(Put(kReprisePoint, Variant("next")).status, DispStatus::TypeMismatch);
  EXPECT_EQ(Put(kHold, Variant("maybe")).status, DispStatus::TypeMismatch);
  EXPECT_EQ(m.DistributionRecord(), before);

  // A stored point beyond a Long reads as an overflow.
  Record gc(layout::QV_GC, StoredDistribution());
  gc.Set("REPRISEPNT", "9999999999");
  Store(gc.image());
  ASSERT_TRUE(m.ReadDistribution());
  r = Get(kReprisePoint);
  EXPECT_EQ(r.status, DispStatus::Overflow);
  EXPECT_THAT(r.text, HasSubstr("\"9999999999\""));
}

TEST_F(ManagerTest, UpdateSendsTheWholeCopyAsOneNtUpdate) {
  Open("ODBC");
  Store(StoredDistribution());
  ASSERT_EQ(Call(kReadDistribution).value, Variant(true)) << m.ErrorText();
  ASSERT_TRUE(Put(kRepriseType, Variant("c")).ok());
  ASSERT_TRUE(Put(kRepriseReceiver, Variant("rcv0042")).ok());
  ASSERT_TRUE(Put(kReprisePoint, Variant(std::int32_t{5000})).ok());
  ASSERT_TRUE(Put(kScheduled, Variant(true)).ok());
  form.fake().ClearCalls();
  ASSERT_EQ(Call(kUpdateDistribution).value, Variant(true)) << m.ErrorText();
  const std::vector<std::string> st = form.fake().Statements();
  ASSERT_EQ(st.size(), 2u);
  EXPECT_EQ(st[0], "SELECT * FROM QV_GC WHERE ENVID='AA' AND TGTID ='T1_' AND GRPID ='M1_'");
  EXPECT_EQ(st[1],
            "UPDATE QV_GC SET ENVID ='AA', TGTID ='T1_', GRPID ='M1_', HOLD ='1', SCHEDULED ='1', STOPEND_QV =' ', "
            "TGTBDTYPE ='0', QV_CONNECT ='" +
                std::string(250, ' ') + "', TARGETDB ='TGTDB" + std::string(25, ' ') +
                "', ASYNC =' ', END_QV ='          ', USELIBNAME =' ', PLANNING ='0800" + std::string(164, ' ') +
                "', ACTREBUILD =' ', REPRISETYP ='C', REPRISERCV ='RCV0042   ', REPRISEPNT ='0000005000', "
                "X ='0000000010', Y ='0000000020', LOADWITHTXTFILE =' ', PATHFORTXTFILE ='" +
                std::string(60, ' ') + "', FILLER ='" + std::string(39, ' ') +
                "' WHERE ENVID ='AA' AND TGTID='T1_' AND GRPID='M1_'");
}

// ---- Engine and messages ---------------------------------------------------------

TEST_F(ManagerTest, ReadMSGShowsAReportOfEveryJobsMessagesAndReadsOn) {
  Open();
  auto message = [](const std::string& job, const std::string& text) {
    return Digits(10, 5) + PadRight(job, 10) + PadRight("QVSTR", 12) + "1240315" + "083012" +
           Digits(static_cast<long long>(text.size()), 5) + text;
  };
  const std::string messages = message("SAA_T1_M1_", "Started") + message("SBB_T2_M2_", "Other job");
  form.fake().On("Execute").Code("SYSRTVMSG_").Reply(Digits(static_cast<long long>(messages.size()), 5) + "00002" +
                                                      messages);
  auto lv = std::make_shared<platform::ListViewObject>();
  ASSERT_EQ(Call(kReadMSG, {Variant(true), Variant(true), Variant(lv)}).value, Variant(true)) << m.ErrorText();
  EXPECT_EQ(lv->model().View(), platform::ListView::kReport);
  std::vector<std::string> jobs;
  for (const platform::ListItem* item : lv->model().DisplayOrder()) jobs.push_back(item->SubItem(2));
  EXPECT_EQ(jobs, (std::vector<std::string>{"SAA_T1_M1_", "SBB_T2_M2_"}));
  ASSERT_TRUE(m.ReadMSG(false, false, lv));
  EXPECT_EQ(form.fake().Commands().at(1).Request(), "08162000001");
}

// ---- The hidden form of each thread -------------------------------------------------

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
    test::ScriptHealthySource(*fake, "AS400");
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

}  // namespace
}  // namespace qv::automation
