// The library's engine operations (StartQV, JobRun, ListJobRun, ReadActivity,
// ReadMSG, ClearMsgQ, DeleteUsrSpc) against the engine of the embedded
// source, on every kind of source: what the control reads back is what the
// engine did.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "connection/qvsource.h"
#include "dllparam/embedded/embedded_engine.h"
#include "dllparam/embedded/embedded_source.h"
#include "engine_support.h"
#include "operations/engine_text.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "support/embedded_store.h"

namespace qv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr const char* kJob = "SE1_T01M01";

std::string Ten(long long n) {
  std::string s = std::to_string(n);
  return std::string(10 - s.size(), '0') + s;
}

const char* SourceTypeOf(embedded::SourceKind kind) {
  switch (kind) {
    case embedded::SourceKind::ODBC: return "ODBC";
    case embedded::SourceKind::SQLServer: return "SQL Server";
    case embedded::SourceKind::Oracle: return "Oracle";
    default: return "AS400";
  }
}

// Returns a control connected to the store through an embedded source of its own.
std::unique_ptr<QVSource> Control(const EmbeddedStore& store, const EngineKind& kind) {
  auto control = std::make_unique<QVSource>(std::make_unique<embedded::EmbeddedSource>());
  control->SourceType(SourceTypeOf(kind.kind));
  control->InstanceName(kind.kind == embedded::SourceKind::Oracle ? "QVORA" : "");
  if (!control->OpenConnection(store.address()))
    ADD_FAILURE() << "OpenConnection: " << control->ErrorNum() << " " << control->ErrorText();
  control->ErrorStep();
  return control;
}

class EngineControlTest : public testing::TestWithParam<EngineKind> {
 protected:
  EngineControlTest() : store(GetParam().kind), scoped(clock) {
    SetProcessUserID("TESTER");
    SetProcessPassword("");
    embedded::StoreAdmin admin = store.Admin();
    PutDistribution(admin, "E1", "T01", "M01", "0", "P", "RCV0001", "0000001234", {"CUSTOMER"});
    PutDistribution(admin, "E1", "T02", "M01", "1");
    control = Control(store, GetParam());
  }
  ~EngineControlTest() override {
    control->CloseConnection();
    SetProcessUserID("");
  }

  bool AS400() const { return GetParam().kind == embedded::SourceKind::AS400; }
  std::string Status(QVSource& c, const std::string& job = kJob) {
    std::string status = "?";
    EXPECT_TRUE(c.JobRun(job, status)) << c.ErrorText();
    return status;
  }
  // Reads the activity block of E1/T01/M01 (option "I" stops the job).
  Record Activity(QVSource& c, const std::string& option = " ") {
    std::string block(261, ' ');
    EXPECT_TRUE(c.ReadActivity("E1", "T01", "M01", block, 1024, "G", option)) << c.ErrorText();
    return Record(layout::Activity, block);
  }
  std::vector<std::string> Texts(const platform::ListView& lv) {
    std::vector<std::string> out;
    for (const platform::ListItem* item : lv.DisplayOrder()) out.push_back(item->SubItem(4));
    return out;
  }

  EmbeddedStore store;
  platform::ManualClock clock{50};
  platform::ScopedClock scoped;
  std::unique_ptr<QVSource> control;
};

TEST_P(EngineControlTest, StartRunReadStopThroughTheControl) {
  QVSource& c = *control;
  EXPECT_EQ(Status(c), "");
  ASSERT_TRUE(c.StartQV("E1", "T01", "M01", "")) << c.ErrorText();
  EXPECT_EQ(Status(c, JobName("e1", "t01", "m01")), "R");
  platform::ListBox jobs;
  ASSERT_TRUE(c.ListJobRun(kJob, jobs)) << c.ErrorText();
  EXPECT_THAT(jobs.Items(), ElementsAre(AS400() ? std::string(kJob) : std::string(kJob) + " 100001"));

  EXPECT_EQ(Activity(c).Get("state"), "I");
  clock.Advance(3);
  Record a = Activity(c);
  EXPECT_EQ(a.Get("state"), "A");
  EXPECT_EQ(a.Get("CptRead"), Ten(30));
  EXPECT_EQ(a.Get("JOSEQN"), Ten(1264));
  EXPECT_EQ(a.Get("JOOBJ"), FitText("CUSTOMER", 10));

  platform::ListView lv;
  ASSERT_TRUE(c.ReadMSG(true, true, lv, "*ALL")) << c.ErrorText();
  EXPECT_EQ(lv.ColumnCount(), 5);
  ASSERT_EQ(lv.Count(), 1);
  const platform::ListItem& started = *lv.DisplayOrder()[0];
  EXPECT_EQ(started.SubItem(2), kJob);
  EXPECT_EQ(started.SubItem(3), "QVSTR");
  EXPECT_EQ(started.SubItem(4), "Distribution E1/T01/M01 started at entry 1234 of receiver RCV0001.");
  EXPECT_EQ(started.icon, 3);

  // The stop request ends the job; the next read adds the end message.
  a = Activity(c, "I");
  EXPECT_EQ(a.Get("state"), "X");
  EXPECT_EQ(Status(c), "");
  ASSERT_TRUE(c.ListJobRun(kJob, jobs));
  EXPECT_THAT(jobs.Items(), IsEmpty());
  ASSERT_TRUE(c.ReadMSG(false, false, lv, "*ALL")) << c.ErrorText();
  EXPECT_THAT(Texts(lv), ElementsAre(HasSubstr("started"), HasSubstr("ended at entry 1264")));
  // Another job's messages are left out by a filter.
  ASSERT_TRUE(c.ReadMSG(true, true, lv, "SE9_T01M01"));
  EXPECT_EQ(lv.Count(), 0);
}

TEST_P(EngineControlTest, AQueueClearedByAnotherUserIsReadAgainFromItsFirstMessage) {
  QVSource& c = *control;
  ASSERT_TRUE(c.StartQV("E1", "T01", "M01", ""));
  platform::ListView lv;
  ASSERT_TRUE(c.ReadMSG(true, true, lv, "*ALL"));
  ASSERT_EQ(lv.Count(), 1);
  std::unique_ptr<QVSource> other = Control(store, GetParam());
  ASSERT_TRUE(other->ClearMsgQ()) << other->ErrorText();
  Activity(*other, "I");
  ASSERT_TRUE(other->StartQV("E1", "T01", "M01", ""));
  other->CloseConnection();
  // The continuation finds the queue cleared: the list starts again.
  ASSERT_TRUE(c.ReadMSG(false, false, lv, "*ALL")) << c.ErrorText();
  EXPECT_THAT(Texts(lv), ElementsAre(HasSubstr("ended"), HasSubstr("started")));
  ASSERT_TRUE(c.ClearMsgQ());
  ASSERT_TRUE(c.ReadMSG(true, true, lv, "*ALL"));
  EXPECT_EQ(lv.Count(), 0);
}

TEST_P(EngineControlTest, RefusedStartsCarryTheEnginesReason) {
  QVSource& c = *control;
  EXPECT_FALSE(c.StartQV("E1", "T09", "M01", ""));
  EXPECT_THAT(c.ErrorText(), HasSubstr("distribution E1/T09/M01 not found"));
  EXPECT_FALSE(c.StartQV("E1", "T02", "M01", ""));
  EXPECT_THAT(c.ErrorText(), HasSubstr("distribution E1/T02/M01 is held"));
  EXPECT_EQ(Status(c, "SE1*"), "");
  ASSERT_TRUE(c.StartQV("E1", "T01", "M01", ""));
  EXPECT_FALSE(c.StartQV("E1", "T01", "M01", ""));
  EXPECT_THAT(c.ErrorText(), HasSubstr("already active"));
}

TEST_P(EngineControlTest, UserSpacesGoOnlyOnceTheJobHasEnded) {
  QVSource& c = *control;
  ASSERT_TRUE(c.StartQV("E1", "T01", "M01", ""));
  c.DeleteUsrSpc("E1", "T01", "M01");
  EXPECT_EQ(store.Admin().UserSpaces().size(), 2u);
  EXPECT_EQ(Activity(c, "I").Get("state"), "X");
  c.DeleteUsrSpc("E1", "T01", "M01");
  EXPECT_THAT(store.Admin().UserSpaces(), IsEmpty());
  c.DeleteUsrSpc("E1", "T01", "M01");  // nothing left: no harm
  EXPECT_EQ(Activity(c).image(), std::string(261, ' '));
}

TEST_P(EngineControlTest, ASecondControlSeesAndStopsTheJob) {
  ASSERT_TRUE(control->StartQV("E1", "T01", "M01", ""));
  clock.Advance(2);
  std::unique_ptr<QVSource> other = Control(store, GetParam());
  EXPECT_EQ(Status(*other), "R");
  EXPECT_EQ(Activity(*other).Get("CptRead"), Ten(20));
  EXPECT_EQ(Activity(*other, "I").Get("state"), "X");
  EXPECT_EQ(Status(*control), "");
  EXPECT_EQ(Activity(*control).Get("CptRead"), Ten(20));
  other->CloseConnection();
}

TEST_P(EngineControlTest, ListJobRunReadsEveryPageOfALongList) {
  {
    embedded::StoreAdmin admin = store.Admin();
    embedded::WithWriteTransaction(admin.db(), [&] {
      for (int i = 0; i < 450; ++i) {
        std::string tgt = std::to_string(i);
        tgt = std::string(3 - tgt.size(), '0') + tgt;
        PutDistribution(admin, "E2", tgt, "M01");
        embedded::StartJob(admin.db(), admin.kind(), "E2", tgt, "M01", GetParam().code, "");
      }
    });
  }
  platform::ListBox jobs;
  ASSERT_TRUE(control->ListJobRun("SE2*", jobs)) << control->ErrorText();
  if (AS400()) {
    // 409 entries fit in a page of 4096: two pages.
    ASSERT_EQ(jobs.ListCount(), 450);
    EXPECT_EQ(jobs.List(409), "SE2_409M01");
  } else {
    // One answer of 4096 holds 227 entries of 18 characters.
    ASSERT_EQ(jobs.ListCount(), 227);
  }
  EXPECT_EQ(jobs.List(0).substr(0, 10), "SE2_000M01");
  EXPECT_EQ(Status(*control, "SE2*"), "R");
}

INSTANTIATE_TEST_SUITE_P(Kinds, EngineControlTest, testing::ValuesIn(kEngineKinds),
                         [](const testing::TestParamInfo<EngineKind>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qv::test
