// The replication engine of the embedded source, driven through the
// record-access library as each kind of source answers it: starting jobs,
// their activity moving with the clock, stopping, job lists and their pages,
// the message queue with its continuation and restart, and user spaces.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dllparam/embedded/embedded_engine.h"
#include "dllparam/embedded/embedded_source.h"
#include "support/lib_client.h"
#include "support/topology.h"
#include "operations/engine_text.h"
#include "platform/clock.h"
#include "presentation/strutil.h"
#include "support/embedded_store.h"

namespace qv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Names = std::vector<std::string>;

constexpr const char* kJob = "SE1_T01M01";

// Seconds of a YYYYMMDDHHMMSS time, for differences.
long long Seconds(const std::string& stamp) {
  std::tm tm{};
  ::strptime(stamp.c_str(), "%Y%m%d%H%M%S", &tm);
  return static_cast<long long>(timegm(&tm));
}

std::string Ten(long long n) { return ZeroPadLeft(std::to_string(n), 10); }

using Fields = std::initializer_list<std::pair<const char*, std::string>>;

// Checks the named fields of an activity block.
void ExpectFields(const std::optional<Record>& activity, Fields fields) {
  ASSERT_TRUE(activity) << "no activity";
  for (const auto& [name, value] : fields) EXPECT_EQ(activity->Get(name), value) << name;
}

class EngineTest : public testing::TestWithParam<Kind> {
 protected:
  EngineTest() : store(GetParam().store), scoped(clock), side(lib, GetParam()) {
    embedded::StoreAdmin admin = store.Admin();
    PutDistribution(admin, "E1", "T01", "M01", "0", "P", "RCV0001", "0000001234", {"CUSTOMER", "ADDRESS"});
    PutDistribution(admin, "E1", "T1", "M1");
    PutDistribution(admin, "E1", "T02", "M01", "1");
    EXPECT_TRUE(side.Connect(store.address())) << side.Error().text;
  }

  bool AS400() const { return GetParam().store == embedded::SourceKind::AS400; }
  std::vector<QueueMessage> Read(bool first) {
    auto answer = side.Messages(first);
    EXPECT_TRUE(answer) << side.Error().text;
    return answer ? ParseQueueMessages(*answer) : std::vector<QueueMessage>{};
  }
  std::string Library() const { return AS400() ? "JRNLIB" : ""; }

  EmbeddedStore store;
  platform::ManualClock clock{1000};
  platform::ScopedClock scoped;
  embedded::EmbeddedSource lib;
  LibClient side;
};

TEST_P(EngineTest, StartedJobRunsAndItsCountersMoveWithTheClock) {
  ASSERT_TRUE(side.Start("E1", "T01", "M01")) << side.Error().text;
  EXPECT_EQ(side.Jobs(kJob), Names{kJob});

  auto a = side.Activity(kJob);
  ASSERT_TRUE(a) << side.Error().text;
  ExpectFields(a, {{"state", "I"}, {"Step", "1"}, {"Receiver", FitText("RCV0001", 10) + FitText(Library(), 10)},
                    {"RcvNum", Ten(1)}, {"JOSEQN", Ten(1234)}, {"CptRead", Ten(0)}, {"JOENTT", "  "}});
  const std::string started(a->Get("TimeProcess"));

  clock.Advance(5.7);
  a = side.Activity(kJob);
  ASSERT_TRUE(a);
  ExpectFields(a, {{"state", "A"}, {"Step", "2"}, {"JOSEQN", Ten(1284)}, {"CptRead", Ten(50)}, {"CptSel", Ten(45)},
                    {"CptSnd", Ten(45)}, {"CptIgnore", Ten(5)}, {"CptAdd", Ten(10)}, {"CptUpd", Ten(30)},
                    {"CptDel", Ten(5)}, {"CptMbr", Ten(0)}, {"CptRpr", Ten(0)}, {"CptErr", Ten(0)}, {"JOCODE", "R"},
                    {"JOENTT", "UB"}, {"JOLIB", FitText("DEMOLIB", 10)}, {"JOOBJ", FitText("ADDRESS", 10)}});
  EXPECT_EQ(Seconds(std::string(a->Get("TimeProcess"))) - Seconds(started), 5);
  EXPECT_EQ(a->Get("JOTMST").substr(19), ".000000");

  // A thousand entries fill a receiver: the next one takes over.
  clock.Advance(100);
  ExpectFields(side.Activity(kJob), {{"CptRead", Ten(1050)}, {"RcvNum", Ten(2)}, {"JOSEQN", Ten(2284)},
                                     {"Receiver", FitText("RCV0002", 10) + FitText(Library(), 10)}});
}

TEST_P(EngineTest, AHeldTableIsLeftOutOfTheReplication) {
  embedded::StoreAdmin admin = store.Admin();
  PutDistribution(admin, "E1", "T03", "M01", "0", "P", "RCV0001", "0000001234", {"CUSTOMER", "ORDERS", "ADDRESS"});
  admin.PutRecord(Make(layout::QV_FC, {{"ENVID", "E1"}, {"TGTID", "T03"}, {"GRPID", "M01"},
                                       {"FICID", "0000000002"}, {"HOLD", "1"}}));
  ASSERT_TRUE(side.Start("E1", "T03", "M01")) << side.Error().text;
  std::set<std::string> objects;
  for (int second = 1; second <= 6; ++second) {
    clock.Advance(1);
    auto a = side.Activity("SE1_T03M01");
    ASSERT_TRUE(a) << side.Error().text;
    objects.insert(Trim(a->Get("JOOBJ")));
  }
  EXPECT_EQ(objects.count("ORDERS"), 0u);
  EXPECT_EQ(objects.count("ADDRESS"), 1u);
}

// One job fails when its distribution is held while it runs, the other runs
// on until a stop ends it; each leaves the job list, its activity and its
// supervision record say how it ended, and the queue tells why.
TEST_P(EngineTest, AJobEndsWhenItsDistributionIsHeldOrWhenItIsStopped) {
  embedded::StoreAdmin admin = store.Admin();
  ASSERT_TRUE(side.Start("E1", "T01", "M01")) << side.Error().text;
  ASSERT_TRUE(side.Start("E1", "T1", "M1")) << side.Error().text;
  clock.Advance(2);
  for (Record gc : admin.Records(layout::QV_GC)) {
    if (gc.Trimmed("TGTID") != "T1") continue;
    gc.Set("HOLD", "1");
    admin.PutRecord(gc);
  }
  ExpectFields(side.Activity("SE1_T1_M1_"), {{"state", "E"}, {"CptErr", Ten(1)}, {"CptRead", Ten(20)}});
  EXPECT_THAT(side.Jobs("SE1_T1_M1_"), IsEmpty());
  EXPECT_EQ(side.Jobs(kJob), Names{kJob});

  auto a = side.Activity(kJob, "I");
  ASSERT_TRUE(a) << side.Error().text;
  ExpectFields(a, {{"state", "X"}, {"Step", "3"}, {"CptRead", Ten(20)}});
  EXPECT_THAT(side.Jobs(kJob), IsEmpty());
  clock.Advance(60);
  auto later = side.Activity(kJob);
  ASSERT_TRUE(later);
  EXPECT_EQ(later->image(), a->image());
  // A second stop request finds nothing to stop.
  ASSERT_TRUE(side.Activity(kJob, "I"));

  const std::vector<QueueMessage> messages = Read(true);
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[2].text,
            "Distribution E1/T1/M1 failed at entry 20 of receiver QVRCV00001: the distribution is held.");
  EXPECT_EQ(messages[3].job, kJob);
  EXPECT_EQ(messages[3].program, "QVSTR");
  EXPECT_EQ(messages[3].severity, 0);
  EXPECT_EQ(messages[3].text,
            "Distribution E1/T01/M01 ended at entry 1254 of receiver RCV0001: 20 entries read, 18 sent.");
  std::map<std::string, std::string> ended;
  for (const Record& spv : admin.Records(layout::QV_SPV))
    ended[std::string(spv.Trimmed("TGTID"))] = std::string(spv.Get("STATE")) + std::string(spv.Get("RUN"));
  EXPECT_EQ(ended, (std::map<std::string, std::string>{{"T01", "X0"}, {"T1", "E0"}}));
}

TEST_P(EngineTest, ShortCodesMakeThePaddedJobNameAndARestartResumes) {
  ASSERT_TRUE(side.Start("E1", "T1", "M1")) << side.Error().text;
  const std::string job = JobName("e1", "t1", "m1");
  ASSERT_EQ(job, "SE1_T1_M1_");
  EXPECT_EQ(side.Jobs(job), Names{job});
  // The same distribution named with its padding is the same job.
  EXPECT_FALSE(side.Start("E1", "T1_", "M1_"));
  EXPECT_THAT(side.Error().text, HasSubstr("job SE1_T1_M1_ of distribution E1/T1/M1 is already active"));

  clock.Advance(3);
  // Without distributed tables every entry is ignored.
  ExpectFields(side.Activity(job, "I"),
               {{"Receiver", FitText("QVRCV00001", 10) + FitText(AS400() ? "QV_USRDATA" : "", 10)},
                {"JOSEQN", Ten(30)}, {"CptIgnore", Ten(30)}, {"CptSel", Ten(0)}, {"JOOBJ", std::string(10, ' ')}});

  ASSERT_TRUE(side.Start("E1", "T1_", "M1_")) << side.Error().text;
  clock.Advance(1);
  ExpectFields(side.Activity(job), {{"JOSEQN", Ten(40)}, {"CptRead", Ten(10)}});
}

TEST_P(EngineTest, MissingAndHeldDistributionsAreRefused) {
  struct Case {
    const char *tgt, *text;
  };
  const Case cases[] = {{"T09", "distribution E1/T09/M01 not found"},
                        {"T02", "distribution E1/T02/M01 is held; it cannot start"},
                        {"T0001", "distribution E1/T0001/M01 not found"}};
  for (const Case& c : cases) {
    EXPECT_FALSE(side.Start("E1", c.tgt, "M01")) << c.tgt;
    const LibError e = side.Error();
    if (!AS400() && std::string(c.tgt) == "T0001") {
      // The NT service takes 8 characters at most.
      EXPECT_EQ(e.code, DllParam::kCodeBadCall) << e.text;
      continue;
    }
    EXPECT_EQ(e.code, DllParam::kCodeRefused) << c.tgt;
    EXPECT_THAT(e.text, HasSubstr(c.text));
  }
  EXPECT_THAT(side.Jobs("*ALL"), IsEmpty());
  EXPECT_THAT(store.Admin().UserSpaces(), IsEmpty());
  EXPECT_THAT(Read(true), IsEmpty());
}

TEST_P(EngineTest, MessagesContinueWhereTheLastReadStoppedAndRestartAfterAClear) {
  ASSERT_TRUE(side.Start("E1", "T01", "M01"));
  auto answer = side.Messages(true);
  ASSERT_TRUE(answer) << side.Error().text;
  EXPECT_EQ(answer->substr(5, 5), "00001");
  EXPECT_EQ(std::stoul(answer->substr(0, 5)), answer->size() - 10);
  std::vector<QueueMessage> m = ParseQueueMessages(*answer);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].text, "Distribution E1/T01/M01 started at entry 1234 of receiver RCV0001.");
  EXPECT_THAT(m[0].date, ::testing::MatchesRegex("20[0-9][0-9]/[01][0-9]/[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]"));

  EXPECT_THAT(Read(false), IsEmpty());
  ASSERT_TRUE(side.Start("E1", "T1", "M1"));
  m = Read(false);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].job, "SE1_T1_M1_");
  EXPECT_EQ(Read(true).size(), 2u);

  // Cleared since the last read: the next continuation says so.
  ASSERT_TRUE(side.ClearQueue()) << side.Error().text;
  ASSERT_TRUE(side.Activity("SE1_T1_M1_", "I"));
  ASSERT_TRUE(side.Start("E1", "T1", "M1"));
  answer = side.Messages(false);
  ASSERT_TRUE(answer);
  EXPECT_TRUE(QueueRestarted(*answer));
  if (!AS400()) {
    // NT answers from the first message at once.
    m = ParseQueueMessages(*answer);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_THAT(m[0].text, HasSubstr("ended"));
    EXPECT_EQ(side.position(), 2);
  } else {
    EXPECT_THAT(ParseQueueMessages(*answer), IsEmpty());
    EXPECT_EQ(Read(true).size(), 2u);
  }
  EXPECT_THAT(Read(false), IsEmpty());
  ASSERT_TRUE(side.ClearQueue());
  EXPECT_THAT(Read(true), IsEmpty());
}

TEST_P(EngineTest, LongJobListsArePagedAndGenericNamesListSeveralJobs) {
  {
    embedded::StoreAdmin admin = store.Admin();
    for (int i = 10; i < 20; ++i) PutDistribution(admin, "E2", "T" + std::to_string(i), "M01");
  }
  for (int i = 10; i < 20; ++i) ASSERT_TRUE(side.Start("E2", "T" + std::to_string(i), "M01")) << i;
  ASSERT_TRUE(side.Start("E1", "T01", "M01"));

  std::vector<size_t> pages;
  const Names jobs = side.Jobs("SE2*", 45, &pages);
  ASSERT_EQ(jobs.size(), 10u);
  EXPECT_EQ(jobs.front(), "SE2_T10M01");
  EXPECT_EQ(jobs.back(), "SE2_T19M01");
  if (AS400()) {
    EXPECT_THAT(pages, ElementsAre(4u, 4u, 2u));
  }
  EXPECT_EQ(side.Jobs("*ALL").size(), 11u);
  EXPECT_EQ(side.Jobs("SE2_T15M01"), Names{"SE2_T15M01"});
  EXPECT_THAT(side.Jobs("SE3*"), IsEmpty());

  if (AS400()) {
    // A page that comes without a first one, and the page after the last.
    EXPECT_EQ(*side.Execute("SYSLSTJOB", 4096, "040961SE2*"), "00000");
  } else {
    // An answer holds the whole entries that fit, counted.
    std::string small(60, ' ');
    ASSERT_TRUE(side.lib().SJobList("SE2*", small, GetParam().engineCode));
    EXPECT_EQ(std::string(dllparam::CutAtNul(small)),
              "00003\tSE2_T10M01 100001\tSE2_T11M01 100002\tSE2_T12M01 100003\t");
    std::string none(20, ' ');
    ASSERT_TRUE(side.lib().SJobList("SE9_T01M01", none, GetParam().engineCode));
    EXPECT_EQ(std::string(dllparam::CutAtNul(none)), "00000");
  }
}

TEST_P(EngineTest, TheUserSpacesOfAnActiveJobStayUntilItEnds) {
  ASSERT_TRUE(side.Start("E1", "T01", "M01"));
  std::vector<std::string> names;
  for (const auto& [name, size] : store.Admin().UserSpaces()) names.push_back(name);
  const std::string where = AS400() ? "QV_USRDATA/" : "engine:";
  EXPECT_THAT(names, ElementsAre(where + "SE1$T01M01", where + kJob));

  for (const char* space : {kJob, "SE1$T01M01"}) {
    EXPECT_FALSE(side.DeleteSpace(space)) << space;
    EXPECT_EQ(side.Error().code, DllParam::kCodeRefused);
    EXPECT_THAT(side.Error().text, HasSubstr("in use by its active job"));
  }
  ASSERT_TRUE(side.Activity(kJob, "I"));
  EXPECT_TRUE(side.DeleteSpace(kJob)) << side.Error().text;
  EXPECT_TRUE(side.DeleteSpace("SE1$T01M01")) << side.Error().text;
  EXPECT_THAT(store.Admin().UserSpaces(), IsEmpty());
}

TEST_P(EngineTest, BadRequestsAreRefusedAndChangeNothing) {
  ASSERT_TRUE(side.Start("E1", "T01", "M01"));
  clock.Advance(1);
  if (AS400()) {
    struct Case {
      const char* code;
      size_t length;
      std::string request;
      int32_t error;
    };
    const Case cases[] = {
        {"SYSLSTJOB", 4096, "04096xSE1_T01M01", DllParam::kCodeBadCall},
        {"SYSLSTJOB", 12, "040960SE1", DllParam::kCodeBadCall},
        {"SYSRTVMSG", 8162, "08162000002", DllParam::kCodeBadCall},
        {"SYSRTVMSG", 10, "0816200000", DllParam::kCodeBadCall},
        {"RCMD", 60, "00042CALL PGM(QVSTR) PARM('E1' 'T01')", DllParam::kCodeRefused},
        {"RCMD", 60, "00038CALL PGM(OTHER) PARM('E1' 'T01' 'M01')", DllParam::kCodeNotSupported},
    };
    for (const Case& c : cases) {
      EXPECT_FALSE(side.Execute(c.code, c.length, c.request)) << c.request;
      EXPECT_EQ(side.Error().code, c.error) << c.request << ": " << side.Error().text;
    }
    EXPECT_FALSE(side.Execute("RCMD", 60, "00031CLRMSGQ MSGQ(QSYS/QSYSOPR)"));
    EXPECT_EQ(side.Error().code, DllParam::kCodeRefused);
    EXPECT_EQ(side.Error().text, "CPF2403: message queue QSYSOPR in QSYS not found");
  } else {
    DllParam& l = side.lib();
    std::string queue = "OTHER.QVM";
    queue.resize(DllParam::kMessageBuffer, ' ');
    int32_t count = 0;
    EXPECT_FALSE(l.ReadQVMSGQ(queue, count, GetParam().engineCode));
    EXPECT_EQ(side.Error().code, DllParam::kCodeRefused);
    EXPECT_FALSE(l.StrReplication("E1T01M01X", GetParam().engineCode, GetParam().engineInstance));
    EXPECT_EQ(side.Error().code, DllParam::kCodeBadCall);
    EXPECT_FALSE(l.StrReplication("E1T01M01", "XXXX", GetParam().engineInstance));
    EXPECT_EQ(side.Error().code, DllParam::kCodeNotSupported);
    // Remote commands are a service of the AS/400 only.
    EXPECT_FALSE(side.Execute("RCMD", 100, "00017CHGJOB RUNPTY(20)"));
    EXPECT_EQ(side.Error().code, DllParam::kCodeNotSupported);
    // Text that is not messages leaves the queue as it was.
    EXPECT_FALSE(l.WriteFile(DllParam::kMessageQueueFile, "not a message", DllParam::kReplaceFile));
    EXPECT_THAT(side.Error().text, HasSubstr("45-character header"));
  }
  EXPECT_EQ(side.Jobs("*ALL"), Names{kJob});
  EXPECT_EQ(side.Activity(kJob)->Get("CptRead"), Ten(10));
  EXPECT_EQ(Read(true).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EngineTest, AllKinds(), KindName);

class NtEngineTest : public EngineTest {};

TEST_P(NtEngineTest, ANameWithoutPaddingIsMatchedAgainstTheDistributions) {
  ASSERT_TRUE(lib.StrReplication("E1T1M1", GetParam().engineCode, GetParam().engineInstance)) << side.Error().text;
  EXPECT_EQ(side.Jobs("SE1_T1_M1_"), Names{"SE1_T1_M1_"});
  {
    embedded::StoreAdmin admin = store.Admin();
    PutDistribution(admin, "E1", "T", "1M1");
  }
  EXPECT_FALSE(lib.StrReplication("E1T1M", GetParam().engineCode, GetParam().engineInstance));
  EXPECT_THAT(side.Error().text, HasSubstr("distribution E1T1M not found"));
  ASSERT_TRUE(side.Activity("SE1_T1_M1_", "I"));
  EXPECT_FALSE(lib.StrReplication("E1T1M1", GetParam().engineCode, GetParam().engineInstance));
  EXPECT_THAT(side.Error().text, HasSubstr("names 2 distributions"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, NtEngineTest, NtKinds(), KindName);

}  // namespace
}  // namespace qv::test
