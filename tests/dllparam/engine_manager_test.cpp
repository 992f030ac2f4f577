// The manager's cycle over the engine of the embedded source, on every kind of
// source: read the distribution, move its recovery point, update it, start
// it, see its job run and its activity move from that point, read the
// messages, stop it; a held distribution does not start.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "automation/hidden_form.h"
#include "automation/qvmanager.h"
#include "connection/qvsource.h"
#include "dllparam/admin/store_admin.h"
#include "engine_support.h"
#include "operations/engine_text.h"
#include "platform/clock.h"
#include "platform/control_objects.h"
#include "support/embedded_store.h"

namespace qv::test {
namespace {

using automation::QVmanager;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const char* SourceTypeOf(embedded::SourceKind kind) {
  switch (kind) {
    case embedded::SourceKind::ODBC: return "ODBC";
    case embedded::SourceKind::SQLServer: return "SQL Server";
    case embedded::SourceKind::Oracle: return "Oracle";
    default: return "AS400";
  }
}

class EngineManagerTest : public testing::TestWithParam<EngineKind> {
 protected:
  EngineManagerTest() : store(GetParam().kind, /*demo=*/true, "demo"), scoped(clock) {
    automation::SetLibraryFactory(nullptr);
    automation::DropForm();
  }
  ~EngineManagerTest() override {
    SetProcessUserID("");
    SetProcessPassword("");
    automation::DropForm();
  }

  EmbeddedStore store;
  platform::ManualClock clock{10};
  platform::ScopedClock scoped;
};

TEST_P(EngineManagerTest, ReadMoveUpdateStartRunReadStop) {
  QVmanager m;
  m.SourceType(SourceTypeOf(GetParam().kind));
  m.InstanceName(GetParam().kind == embedded::SourceKind::Oracle ? "QVORA" : "");
  m.UserID("QVADMIN");
  m.Password("demo");
  m.SourceAdress(store.address());
  ASSERT_TRUE(m.OpenConnection()) << m.ErrorNum() << " " << m.ErrorText();
  m.EnvironmentID("pr");
  m.TargetID("as1");
  m.ModelID("cli");

  // Read, move the recovery point, update.
  ASSERT_TRUE(m.ReadDistribution()) << m.ErrorText();
  m.DistributionRepriseType("p");
  m.DistributionRepriseReceiver("rcv0042");
  ASSERT_TRUE(m.DistributionReprisePoint(5000));
  ASSERT_TRUE(m.UpdateDistribution()) << m.ErrorText();

  // Start; the job runs from the new point.
  EXPECT_FALSE(m.SourceJobRun());
  ASSERT_TRUE(m.StartQV()) << m.ErrorText();
  EXPECT_TRUE(m.SourceJobRun()) << m.ErrorText();
  clock.Advance(2);
  ASSERT_TRUE(m.ReadActivity()) << m.ErrorText();
  EXPECT_EQ(m.Activity()->Get("state"), "A");
  EXPECT_EQ(m.Activity()->Get("Receiver").substr(0, 10), "RCV0042   ");
  EXPECT_EQ(m.Activity()->Get("JOSEQN"), "0000005020");
  EXPECT_EQ(m.Activity()->Get("CptRead"), "0000000020");
  EXPECT_FALSE(m.StartQV());
  EXPECT_THAT(m.ErrorText(), HasSubstr("job SPR_AS1CLI of distribution PR/AS1/CLI is already active"));

  // The demonstration's queue holds two messages of an earlier run.
  auto lv = std::make_shared<platform::ListViewObject>();
  ASSERT_TRUE(m.ReadMSG(true, true, lv)) << m.ErrorText();
  EXPECT_EQ(lv->model().View(), platform::ListView::kReport);
  ASSERT_EQ(lv->model().Count(), 3);

  // Stop, and the end message after it.
  ASSERT_TRUE(m.StopQV()) << m.ErrorText();
  EXPECT_FALSE(m.SourceJobRun());
  ASSERT_TRUE(m.ReadActivity());
  EXPECT_EQ(m.Activity()->Get("state"), "X");
  ASSERT_TRUE(m.ReadMSG(false, false, lv));
  std::vector<std::string> texts;
  for (const platform::ListItem* item : lv->model().DisplayOrder()) texts.push_back(item->SubItem(4));
  ASSERT_EQ(texts.size(), 4u);
  texts.erase(texts.begin(), texts.begin() + 2);
  EXPECT_THAT(texts, ElementsAre("Distribution PR/AS1/CLI started at entry 5000 of receiver RCV0042.",
                                 "Distribution PR/AS1/CLI ended at entry 5020 of receiver RCV0042: 20 entries "
                                 "read, 18 sent."));

  // A held distribution does not start.
  ASSERT_TRUE(m.ReadDistribution());
  m.DistributionHold(true);
  ASSERT_TRUE(m.UpdateDistribution()) << m.ErrorText();
  EXPECT_FALSE(m.StartQV());
  EXPECT_THAT(m.ErrorText(), HasSubstr("distribution PR/AS1/CLI is held"));
  EXPECT_FALSE(m.SourceJobRun());
  EXPECT_TRUE(m.CloseConnection());
}

INSTANTIATE_TEST_SUITE_P(Kinds, EngineManagerTest, testing::ValuesIn(kEngineKinds),
                         [](const testing::TestParamInfo<EngineKind>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qv::test
