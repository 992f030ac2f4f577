// The manager's cycle over the engine of the embedded source, on every kind of
// source: read the distribution, move its recovery point, update it, start
// it, see its job run and its activity move from that point, read the
// messages, stop it. Members the manager lacks are done on the control of the
// thread's hidden form, as the manager would do them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "automation/frm.h"
#include "automation/qvmanager.h"
#include "connection/qvsource.h"
#include "dllparam/store_admin.h"
#include "engine_support.h"
#include "operations/engine_text.h"
#include "platform/clock.h"
#include "platform/control_objects.h"
#include "platform/dispatch.h"
#include "support/embedded_store.h"

namespace qv::test {
namespace {

using automation::frm;
using automation::QVmanager;
using platform::Variant;
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

  bool Has(QVmanager& m, const char* name) { return m.GetIDsOfNames(name) != platform::kDispidUnknown; }

  // Calls the manager's method when it has one; otherwise runs instead.
  bool Method(QVmanager& m, const char* name, std::vector<Variant> args, const std::function<bool()>& instead) {
    if (!Has(m, name)) {
      missing.push_back(name);
      return instead();
    }
    platform::DispResult r = platform::CallMethod(m, name, args);
    EXPECT_TRUE(r.ok()) << name << ": " << r.text;
    const bool* value = r.value.Get<bool>();
    return value != nullptr && *value;
  }

  EmbeddedStore store;
  platform::ManualClock clock{10};
  platform::ScopedClock scoped;
  std::vector<std::string> missing;
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
  QVSource& ctl = frm().ctl();
  const std::string job = JobName("pr", "as1", "cli");

  // Read, move the recovery point, update.
  if (Has(m, "ReadDistribution") && Has(m, "DistributionReprisePoint") && Has(m, "UpdateDistribution")) {
    ASSERT_TRUE(Method(m, "ReadDistribution", {}, nullptr));
    for (auto& [name, value] : std::vector<std::pair<const char*, Variant>>{
             {"DistributionRepriseType", Variant(std::string("p"))},
             {"DistributionRepriseReceiver", Variant(std::string("rcv0042"))},
             {"DistributionReprisePoint", Variant(std::int32_t{5000})}})
      EXPECT_TRUE(platform::PutProperty(m, name, value).ok()) << name;
    ASSERT_TRUE(Method(m, "UpdateDistribution", {}, nullptr)) << m.ErrorText();
  } else {
    missing.push_back("ReadDistribution, the Distribution properties, UpdateDistribution");
    std::string image(layout::QV_GC.length, ' ');
    ASSERT_TRUE(ctl.DetailGC("CLI", "AS1", image)) << ctl.ErrorText();
    Record gc(layout::QV_GC, image);
    gc.Set("REPRISETYP", "P");
    gc.Set("REPRISERCV", "RCV0042");
    gc.Set("REPRISEPNT", "0000005000");
    std::string changed = gc.image();
    ASSERT_TRUE(ctl.ChangeGC("CLI", "AS1", changed)) << ctl.ErrorText();
  }

  // Start; the job runs from the new point.
  ASSERT_TRUE(Method(m, "StartQV", {}, [&] {
    return ctl.StartQV("PR", "AS1", "CLI", GetParam().kind == embedded::SourceKind::Oracle ? "QVORA" : "");
  })) << m.ErrorText();
  auto running = [&] {
    return Method(m, "SourceJobRun", {}, [&] {
      std::string status;
      return ctl.JobRun(job, status) && status == "R";
    });
  };
  EXPECT_TRUE(running());
  clock.Advance(2);
  ASSERT_TRUE(m.ReadActivity()) << m.ErrorText();
  EXPECT_EQ(m.Activity()->Get("state"), "A");
  EXPECT_EQ(m.Activity()->Get("Receiver").substr(0, 10), "RCV0042   ");
  EXPECT_EQ(m.Activity()->Get("JOSEQN"), "0000005020");
  EXPECT_EQ(m.Activity()->Get("CptRead"), "0000000020");

  // Messages, stop, and the end message after it.
  auto lv = std::make_shared<platform::ListViewObject>();
  auto readMessages = [&](bool first) {
    return Method(m, "ReadMSG", {Variant(first), Variant(first), Variant(platform::ObjectPtr(lv))}, [&] {
      lv->model().SetView(platform::ListView::kReport);
      return ctl.ReadMSG(first, first, lv->model(), "*ALL");
    });
  };
  // The demonstration's queue holds two messages of an earlier run.
  ASSERT_TRUE(readMessages(true)) << m.ErrorText();
  ASSERT_EQ(lv->model().Count(), 3);
  ASSERT_TRUE(m.StopQV()) << m.ErrorText();
  EXPECT_FALSE(running());
  ASSERT_TRUE(m.ReadActivity());
  EXPECT_EQ(m.Activity()->Get("state"), "X");
  ASSERT_TRUE(readMessages(false));
  std::vector<std::string> texts;
  for (const platform::ListItem* item : lv->model().DisplayOrder()) texts.push_back(item->SubItem(4));
  ASSERT_EQ(texts.size(), 4u);
  texts.erase(texts.begin(), texts.begin() + 2);
  EXPECT_THAT(texts, ElementsAre("Distribution PR/AS1/CLI started at entry 5000 of receiver RCV0042.",
                                 "Distribution PR/AS1/CLI ended at entry 5020 of receiver RCV0042: 20 entries "
                                 "read, 18 sent."));
  EXPECT_TRUE(m.CloseConnection());
  if (!missing.empty()) {
    std::string list;
    for (const std::string& name : missing) list += (list.empty() ? "" : ", ") + name;
    RecordProperty("done_on_the_control", list);
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, EngineManagerTest, testing::ValuesIn(kEngineKinds),
                         [](const testing::TestParamInfo<EngineKind>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qv::test
