// QVmanager's configuration, distribution, engine and message members against
// the recording fake, called by DISPID as a script calls them: what reaches
// the source, what the manager's copy of the distribution holds, and the
// calls that are refused.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "automation/qvmanager.h"
#include "catalogs/commands.h"
#include "connection/qvsource.h"
#include "form_support.h"
#include "platform/control_objects.h"
#include "store/statements_gc.h"

namespace qv::automation {
namespace {

using platform::DISPID;
using platform::DispResult;
using platform::DispStatus;
using platform::InvokeKind;
using platform::Variant;
using test::FakeOnForm;
using ::testing::HasSubstr;

// DISPIDs a script holds.
constexpr DISPID kReadEnvironnement = 0x60030015, kReadTarget = 0x60030016, kReadModel = 0x60030017,
                 kReadDistribution = 0x60030018, kRepriseType = 0x6803000A, kRepriseLibrary = 0x68030009,
                 kRepriseReceiver = 0x68030008, kReprisePoint = 0x68030007, kScheduled = 0x68030006,
                 kHold = 0x68030005, kUpdateDistribution = 0x60030019, kSourceJobRun = 0x6003001F,
                 kStartQV = 0x60030021, kReadMSG = 0x60030023;

// A distribution AA/T1_/M1_ as stored.
std::string StoredDistribution() {
  Record r(layout::QV_GC);
  r.Set("ENVID", "AA");
  r.Set("TGTID", "T1_");
  r.Set("GRPID", "M1_");
  r.Set("HOLD", "1");
  r.Set("SCHEDULED", "0");
  r.Set("TGTBDTYPE", "0");
  r.Set("TARGETDB", "TGTDB");
  r.Set("PLANNING", "0800");
  r.Set("REPRISETYP", "P");
  r.Set("REPRISERCV", "RCV0001");
  r.Set("REPRISELIB", "RCVLIB");
  r.Set("REPRISEPNT", "0000000042");
  r.Set("X", "0000000010");
  r.Set("Y", "0000000020");
  return r.image();
}

// One message of a queue answer, and the answer.
std::string QueueMessage(const std::string& job, const std::string& text) {
  std::string j = job, p = "QVSTR";
  j.resize(10, ' ');
  p.resize(12, ' ');
  return Digits(10, 5) + j + p + "1240315" + "083012" + Digits(static_cast<long long>(text.size()), 5) + text;
}
std::string QueueAnswer(const std::string& messages) {
  return Digits(static_cast<long long>(messages.size()), 5) + "00002" + messages;
}

class ManagerOperationsTest : public testing::Test {
 protected:
  void SetUp() override {
    SetProcessUserID("");
    SetProcessPassword("");
  }
  // Opens a connection of kind for the manager's distribution AA/T1/M1.
  void Open(const std::string& kind = "AS400") {
    kind_ = kind;
    form.HealthySource(kind);
    if (kind != "AS400") m.SourceType(kind);
    if (kind == "Oracle") m.InstanceName("ORCL");
    m.SourceAdress("src1");
    ASSERT_TRUE(m.OpenConnection()) << form.control().ErrorText();
    m.EnvironmentID("aa");
    m.TargetID("t1");
    m.ModelID("m1");
    form.fake().ClearCalls();
    form.control().ErrorNum();
  }
  // Answers the reads of the distribution AA/T1_/M1_ with record.
  void Store(const std::string& record) {
    if (kind_ == "AS400")
      form.fake().On("Rreadk").File("QV_USRDATA/QV_GC").Key("AAT1_M1_").Record(record).Repeatedly();
    else
      form.fake()
          .On("Sread")
          .Sql(SelectDistributionSql(FakeOnForm::Prefix(kind_), "AA", "T1_", "M1_"))
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
  std::string kind_;
};

// ---- Configuration reads -------------------------------------------------------

TEST_F(ManagerOperationsTest, ReadEnvironmentTargetAndModelTellWhetherTheyExist) {
  Open();
  for (DISPID id : {kReadEnvironnement, kReadTarget, kReadModel}) {
    EXPECT_EQ(Call(id).value, Variant(false)) << std::hex << id;
    EXPECT_EQ(m.ErrorNum(), QVSource::kRefusalNum) << std::hex << id;
  }
  std::vector<std::string> keys;
  for (const test::FakeCall& c : form.fake().CallsNamed("Rreadk")) keys.push_back(c.file + " " + c.key);
  EXPECT_EQ(keys,
            (std::vector<std::string>{"QV_USRDATA/QV_EX AA", "QV_USRDATA/QV_CX AAT1_", "QV_USRDATA/QV_GX AAM1_"}));

  Record ex(layout::QV_EX), cx(layout::QV_CX), gx(layout::QV_GX);
  ex.Set("ENVID", "AA");
  cx.Set("ENVID", "AA");
  cx.Set("TGTID", "T1_");
  gx.Set("ENVID", "AA");
  gx.Set("GRPID", "M1_");
  form.fake().On("Rreadk").File("QV_USRDATA/QV_EX").Key("AA").Record(ex.image()).Repeatedly();
  form.fake().On("Rreadk").File("QV_USRDATA/QV_CX").Key("AAT1_").Record(cx.image()).Repeatedly();
  form.fake().On("Rreadk").File("QV_USRDATA/QV_GX").Key("AAM1_").Record(gx.image()).Repeatedly();
  for (DISPID id : {kReadEnvironnement, kReadTarget, kReadModel}) EXPECT_EQ(Call(id).value, Variant(true));
  EXPECT_EQ(m.ErrorNum(), 0);
}

// ---- The distribution copy -----------------------------------------------------

TEST_F(ManagerOperationsTest, ReadDistributionFillsTheCopyThatThePropertiesRead) {
  Open();
  Store(StoredDistribution());
  ASSERT_EQ(Call(kReadDistribution).value, Variant(true)) << m.ErrorText();
  EXPECT_EQ(form.fake().CallsNamed("Rreadk").at(0).key, "AAT1_M1_");
  EXPECT_EQ(m.DistributionRecord(), StoredDistribution());
  EXPECT_EQ(Get(kRepriseType).value, Variant("P"));
  EXPECT_EQ(Get(kRepriseReceiver).value, Variant("RCV0001"));
  EXPECT_EQ(Get(kRepriseLibrary).value, Variant("RCVLIB"));
  EXPECT_EQ(Get(kReprisePoint).value, Variant(std::int32_t{42}));
  EXPECT_EQ(Get(kScheduled).value, Variant(false));
  EXPECT_EQ(Get(kHold).value, Variant(true));
}

TEST_F(ManagerOperationsTest, FailedReadKeepsTheCopy) {
  Open();
  ASSERT_TRUE(Put(kReprisePoint, Variant(std::int32_t{9})).ok());
  const std::string before = m.DistributionRecord();
  EXPECT_EQ(Call(kReadDistribution).value, Variant(false));
  EXPECT_EQ(m.ErrorNum(), QVSource::kRefusalNum);
  EXPECT_EQ(m.DistributionRecord(), before);
}

TEST_F(ManagerOperationsTest, PropertiesChangedWithoutAReadChangeABlankRecord) {
  Open();
  ASSERT_TRUE(Put(kReprisePoint, Variant(std::int32_t{42})).ok());
  ASSERT_TRUE(Put(kScheduled, Variant(true)).ok());
  ASSERT_TRUE(Put(kRepriseReceiver, Variant("rcv1")).ok());
  Record expected(layout::QV_GC);
  expected.Set("REPRISEPNT", "0000000042");
  expected.Set("SCHEDULED", "1");
  expected.Set("REPRISERCV", "RCV1");
  EXPECT_EQ(m.DistributionRecord(), expected.image());
  EXPECT_EQ(Get(kRepriseType).value, Variant(" "));
  EXPECT_EQ(Get(kHold).value, Variant(false));
  EXPECT_TRUE(form.fake().Calls().empty());

  // Writing that blank record back would wipe the distribution's settings.
  const DispResult update = Call(kUpdateDistribution);
  EXPECT_EQ(update.status, DispStatus::Exception);
  EXPECT_THAT(update.text, HasSubstr("ReadDistribution first"));
  EXPECT_FALSE(m.UpdateDistribution());
  EXPECT_TRUE(form.fake().Calls().empty());
}

TEST_F(ManagerOperationsTest, ReprisePointStoresTenDigitsAndRefusesNegativeValues) {
  Open();
  ASSERT_TRUE(Put(kReprisePoint, Variant(std::int32_t{42})).ok());
  EXPECT_EQ(Copy().Get("REPRISEPNT"), "0000000042");
  EXPECT_EQ(Get(kReprisePoint).value, Variant(std::int32_t{42}));
  // Scripts may pass the number as text or as a Double.
  ASSERT_TRUE(Put(kReprisePoint, Variant("1234")).ok());
  EXPECT_EQ(Copy().Get("REPRISEPNT"), "0000001234");
  ASSERT_TRUE(Put(kReprisePoint, Variant(2147483647.0)).ok());
  EXPECT_EQ(Copy().Get("REPRISEPNT"), "2147483647");

  const std::string before = m.DistributionRecord();
  DispResult r = Put(kReprisePoint, Variant(std::int32_t{-5}));
  EXPECT_EQ(r.status, DispStatus::Overflow);
  EXPECT_EQ(r.argIndex, 0);
  EXPECT_THAT(r.text, HasSubstr("cannot be negative (-5)"));
  EXPECT_EQ(Put(kReprisePoint, Variant(3e9)).status, DispStatus::Overflow);
  EXPECT_EQ(Put(kReprisePoint, Variant("next")).status, DispStatus::TypeMismatch);
  EXPECT_EQ(m.DistributionRecord(), before);
}

TEST_F(ManagerOperationsTest, StoredPointBeyondALongIsAnOverflowOnRead) {
  Open();
  Record gc(layout::QV_GC, StoredDistribution());
  gc.Set("REPRISEPNT", "9999999999");
  Store(gc.image());
  ASSERT_TRUE(m.ReadDistribution());
  const DispResult r = Get(kReprisePoint);
  EXPECT_EQ(r.status, DispStatus::Overflow);
  EXPECT_THAT(r.text, HasSubstr("\"9999999999\""));
  EXPECT_EQ(m.DistributionReprisePoint(), 9999999999LL);
}

TEST_F(ManagerOperationsTest, FlagsStoreOneOrZeroAndReadAsNumbers) {
  Open();
  Record gc(layout::QV_GC, StoredDistribution());
  gc.Set("SCHEDULED", "0");
  gc.Set("HOLD", "0");
  Store(gc.image());
  ASSERT_TRUE(m.ReadDistribution());
  EXPECT_EQ(Get(kScheduled).value, Variant(false));
  ASSERT_TRUE(Put(kScheduled, Variant(true)).ok());
  EXPECT_EQ(Copy().Get("SCHEDULED"), "1");
  EXPECT_EQ(Get(kScheduled).value, Variant(true));
  ASSERT_TRUE(Put(kHold, Variant("True")).ok());
  EXPECT_EQ(Copy().Get("HOLD"), "1");
  ASSERT_TRUE(Put(kHold, Variant(std::int32_t{0})).ok());
  EXPECT_EQ(Copy().Get("HOLD"), "0");
  EXPECT_EQ(Put(kHold, Variant("maybe")).status, DispStatus::TypeMismatch);
  EXPECT_EQ(Copy().Get("HOLD"), "0");
}

TEST_F(ManagerOperationsTest, RepriseTypeIgnoresOtherValues) {
  Open();
  ASSERT_TRUE(Put(kRepriseType, Variant("c")).ok());
  EXPECT_EQ(Get(kRepriseType).value, Variant("C"));
  for (const char* ignored : {"x", "", "PP", "1"}) {
    EXPECT_TRUE(Put(kRepriseType, Variant(ignored)).ok()) << ignored;
    EXPECT_EQ(Get(kRepriseType).value, Variant("C")) << ignored;
  }
  ASSERT_TRUE(Put(kRepriseType, Variant(" ")).ok());
  EXPECT_EQ(Copy().Get("REPRISETYP"), " ");
}

TEST_F(ManagerOperationsTest, ReceiverAndLibraryAreUpperCasedPaddedOrCut) {
  Open();
  ASSERT_TRUE(Put(kRepriseReceiver, Variant("rcv0042")).ok());
  ASSERT_TRUE(Put(kRepriseLibrary, Variant("journal_library")).ok());
  EXPECT_EQ(Copy().Get("REPRISERCV"), "RCV0042   ");
  EXPECT_EQ(Copy().Get("REPRISELIB"), "JOURNAL_LI");
  EXPECT_EQ(Get(kRepriseReceiver).value, Variant("RCV0042"));
  EXPECT_EQ(Get(kRepriseLibrary).value, Variant("JOURNAL_LI"));
}

// ---- Update --------------------------------------------------------------------

TEST_F(ManagerOperationsTest, UpdateSendsTheWholeCopyAsOneNtUpdate) {
  Open("ODBC");
  Store(StoredDistribution());
  ASSERT_EQ(Call(kReadDistribution).value, Variant(true)) << m.ErrorText();
  ASSERT_TRUE(Put(kRepriseType, Variant("c")).ok());
  ASSERT_TRUE(Put(kRepriseReceiver, Variant("rcv0042")).ok());
  EXPECT_FALSE(Put(kRepriseLibrary, Variant("jrnlib")).ok());  // NT rows have no such column
  ASSERT_TRUE(Put(kReprisePoint, Variant(std::int32_t{5000})).ok());
  ASSERT_TRUE(Put(kScheduled, Variant(true)).ok());
  form.fake().ClearCalls();
  ASSERT_EQ(Call(kUpdateDistribution).value, Variant(true)) << m.ErrorText();

  const std::vector<std::string> st = form.fake().Statements();
  ASSERT_EQ(st.size(), 2u);
  EXPECT_EQ(st[0], "SELECT * FROM QV_GC WHERE ENVID='AA' AND TGTID ='T1_' AND GRPID ='M1_'");
  const std::string b250(250, ' ');
  EXPECT_EQ(st[1],
            "UPDATE QV_GC SET ENVID ='AA', TGTID ='T1_', GRPID ='M1_', HOLD ='1', SCHEDULED ='1', STOPEND_QV =' ', "
            "TGTBDTYPE ='0', QV_CONNECT ='" +
                b250 + "', TARGETDB ='TGTDB" + std::string(25, ' ') +
                "', ASYNC =' ', END_QV ='          ', USELIBNAME =' ', PLANNING ='0800" + std::string(164, ' ') +
                "', ACTREBUILD =' ', REPRISETYP ='C', REPRISERCV ='RCV0042   ', REPRISEPNT ='0000005000', "
                "X ='0000000010', Y ='0000000020', LOADWITHTXTFILE =' ', PATHFORTXTFILE ='" +
                std::string(60, ' ') + "', FILLER ='" + std::string(39, ' ') +
                "' WHERE ENVID ='AA' AND TGTID='T1_' AND GRPID='M1_'");
  EXPECT_EQ(st[1].find("JRNLIB"), std::string::npos);
  // The copy stays as the manager made it.
  EXPECT_EQ(m.DistributionRecord().substr(0, 8), "AAT1_M1_");
  EXPECT_EQ(m.DistributionRepriseLibrary(), "");
}

TEST_F(ManagerOperationsTest, UpdateRewritesTheLockedAs400Record) {
  Open();
  Store(StoredDistribution());
  ASSERT_TRUE(m.ReadDistribution());
  ASSERT_TRUE(Put(kReprisePoint, Variant(std::int32_t{5000})).ok());
  ASSERT_TRUE(Put(kRepriseLibrary, Variant("jrnlib")).ok());
  form.fake().ClearCalls();
  ASSERT_EQ(Call(kUpdateDistribution).value, Variant(true)) << m.ErrorText();
  const std::vector<test::FakeCall> reads = form.fake().CallsNamed("Rreadk");
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].key, "AAT1_M1_");
  EXPECT_EQ(reads[0].IntArg(3), 0x0B000100);  // equal key, locked
  const std::vector<test::FakeCall> updates = form.fake().CallsNamed("Rupdate");
  ASSERT_EQ(updates.size(), 1u);
  Record expected(layout::QV_GC, StoredDistribution());
  expected.Set("REPRISEPNT", "0000005000");
  expected.Set("REPRISELIB", "JRNLIB");
  EXPECT_EQ(updates[0].Arg(1), expected.image());
  EXPECT_EQ(updates[0].IntArg(2), 624);
}

TEST_F(ManagerOperationsTest, RefusedUpdateReportsTheControlsError) {
  Open();
  Store(StoredDistribution());
  ASSERT_TRUE(m.ReadDistribution());
  form.fake().On("Rupdate").Fail(DllParam::kCodeRefused, 1218, "record locked by another job");
  EXPECT_EQ(Call(kUpdateDistribution).value, Variant(false));
  EXPECT_EQ(m.ErrorNum(), 1218);
  EXPECT_EQ(m.ErrorText(), "record locked by another job");
}

// ---- Engine --------------------------------------------------------------------

TEST_F(ManagerOperationsTest, SourceJobRunAsksForTheDistributionsJob) {
  Open();
  form.fake().On("Execute").Code("SYSLSTJOB_").Reply("00015SAA_T1_M1_");
  EXPECT_EQ(Call(kSourceJobRun).value, Variant(true));
  ASSERT_EQ(form.fake().Commands().size(), 1u);
  EXPECT_EQ(form.fake().Commands()[0].Request(), "040960SAA_T1_M1_");
  // No job of that name, and a failed question.
  EXPECT_EQ(Call(kSourceJobRun).value, Variant(false));
  EXPECT_EQ(m.ErrorNum(), 0);
  form.fake().On("Execute").Code("SYSLSTJOB_").Fail(DllParam::kCodeNetwork, 0, "connection lost");
  EXPECT_EQ(Call(kSourceJobRun).value, Variant(false));
  EXPECT_THAT(m.ErrorText(), HasSubstr("connection lost"));
}

TEST_F(ManagerOperationsTest, SourceJobRunOnNtSources) {
  Open("SQL Server");
  form.fake().On("SJobList").Out("00001\tSAA_T1_M1_\t");
  EXPECT_TRUE(m.SourceJobRun());
  const test::FakeCall call = form.fake().CallsNamed("SJobList").at(0);
  EXPECT_EQ(call.Arg(0), "SAA_T1_M1_");
  EXPECT_EQ(call.Arg(2), DllParam::kKindSqlServer);
}

TEST_F(ManagerOperationsTest, StartQVSendsTheInstanceName) {
  Open("Oracle");
  ASSERT_EQ(Call(kStartQV).value, Variant(true)) << m.ErrorText();
  test::FakeCall call = form.fake().CallsNamed("StrReplication").at(0);
  EXPECT_EQ(call.Arg(0), "AAT1_M1_");
  EXPECT_EQ(call.Arg(1), DllParam::kKindOracle);
  EXPECT_EQ(call.Arg(2), "ORCL");
  // The instance is the one last given to the manager.
  m.InstanceName("ORCL2");
  ASSERT_TRUE(m.StartQV());
  EXPECT_EQ(form.fake().CallsNamed("StrReplication").at(1).Arg(2), "ORCL2");
}

TEST_F(ManagerOperationsTest, StartQVOnAs400CallsTheStartProgram) {
  Open();
  ASSERT_TRUE(m.StartQV()) << m.ErrorText();
  ASSERT_EQ(form.fake().Commands().size(), 1u);
  EXPECT_EQ(form.fake().Commands()[0].Request(), "00042CALL PGM(QVSTR) PARM('AA' 'T1_' 'M1_' 'z')");
}

// ---- Messages ------------------------------------------------------------------

TEST_F(ManagerOperationsTest, ReadMSGShowsAReportOfEveryJobsMessages) {
  Open();
  form.fake().On("Execute").Code("SYSRTVMSG_").Reply(
      QueueAnswer(QueueMessage("SAA_T1_M1_", "Started") + QueueMessage("SBB_T2_M2_", "Other job")));
  auto lv = std::make_shared<platform::ListViewObject>();
  ASSERT_EQ(lv->model().View(), platform::ListView::kIcon);
  ASSERT_EQ(Call(kReadMSG, {Variant(true), Variant(true), Variant(lv)}).value, Variant(true)) << m.ErrorText();
  EXPECT_EQ(lv->model().View(), platform::ListView::kReport);
  EXPECT_EQ(lv->model().ColumnCount(), 5);
  std::vector<std::string> jobs;
  for (const platform::ListItem* item : lv->model().DisplayOrder()) jobs.push_back(item->SubItem(2));
  EXPECT_EQ(jobs, (std::vector<std::string>{"SAA_T1_M1_", "SBB_T2_M2_"}));
  EXPECT_EQ(form.fake().Commands().at(0).Request(), "08162000000");
  // The next read asks for the messages after those read.
  ASSERT_TRUE(m.ReadMSG(false, false, lv));
  EXPECT_EQ(form.fake().Commands().at(1).Request(), "08162000001");
}

TEST_F(ManagerOperationsTest, ReadMSGNeedsAListView) {
  Open();
  DispResult r = Call(kReadMSG, {Variant(true), Variant(true), Variant(nullptr)});
  EXPECT_EQ(r.status, DispStatus::Exception);
  EXPECT_THAT(r.text, HasSubstr("not set"));
  EXPECT_EQ(r.argIndex, 2);
  // A list box has no View.
  r = Call(kReadMSG, {Variant(true), Variant(true), Variant(std::make_shared<platform::ListBoxObject>())});
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.argIndex, 2);
  r = Call(kReadMSG, {Variant(true), Variant(true), Variant("lv")});
  EXPECT_EQ(r.status, DispStatus::TypeMismatch);
  EXPECT_EQ(Call(kReadMSG, {Variant(true)}).status, DispStatus::BadArgCount);
  EXPECT_FALSE(m.ReadMSG(true, true, nullptr));
  EXPECT_TRUE(form.fake().Calls().empty());
}

}  // namespace
}  // namespace qv::automation
