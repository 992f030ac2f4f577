// QVmanager's refusals before anything reaches the source: a member called
// without a connection or without the identifiers it acts on, a user
// identifier too long for the login, and a receiver library for a source
// that does not store one. Called by DISPID as a script calls them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "automation/qvmanager.h"
#include "connection/qvsource.h"
#include "form_support.h"
#include "platform/control_objects.h"
#include "presentation/messages.h"

namespace qv::automation {
namespace {

using platform::DISPID;
using platform::DispResult;
using platform::DispStatus;
using platform::InvokeKind;
using platform::Variant;
using test::FakeOnForm;
using ::testing::HasSubstr;

constexpr DISPID kUserID = 0x68030011, kRepriseLibrary = 0x68030009, kSourceType = 0x6803000E;

// A Boolean member of the manager and what it acts on.
struct Member {
  const char* name;
  DISPID id;
  bool env, target, model;  // the identifiers it needs
};
const Member kMembers[] = {
    {"ReadEnvironnement", 0x60030015, true, false, false},
    {"ReadTarget", 0x60030016, true, true, false},
    {"ReadModel", 0x60030017, true, false, true},
    {"ReadDistribution", 0x60030018, true, true, true},
    {"UpdateDistribution", 0x60030019, true, true, true},
    {"SourceJobRun", 0x6003001F, true, true, true},
    {"StopQV", 0x60030020, true, true, true},
    {"StartQV", 0x60030021, true, true, true},
    {"ReadActivity", 0x60030022, true, true, true},
    {"ReadMSG", 0x60030023, false, false, false},
};

class ManagerGuardTest : public testing::Test {
 protected:
  void SetUp() override {
    SetProcessUserID("");
    SetProcessPassword("");
    form.HealthySource("AS400");
    // The distribution AA/T1_/M1_ exists, so that UpdateDistribution has a copy to write.
    Record gc(layout::QV_GC);
    gc.Set("ENVID", "AA");
    gc.Set("TGTID", "T1_");
    gc.Set("GRPID", "M1_");
    form.fake().On("Rreadk").File("QV_USRDATA/QV_GC").Key("AAT1_M1_").Record(gc.image()).Repeatedly();
    m.SourceAdress("src1");
  }
  DispResult Call(QVmanager& manager, const Member& member) {
    std::vector<Variant> args;
    if (member.id == 0x60030023) args = {Variant(true), Variant(true), Variant(lv)};
    return manager.Invoke(member.id, InvokeKind::Method, args);
  }
  static DispResult Put(QVmanager& manager, DISPID id, Variant value) {
    std::vector<Variant> args{std::move(value)};
    return manager.Invoke(id, InvokeKind::PropertyPut, args);
  }
  // Expects member to answer false with the manager's refusal, without a
  // call to the source.
  void ExpectRefused(QVmanager& manager, const Member& member, const std::string& text) {
    form.fake().ClearCalls();
    const DispResult r = Call(manager, member);
    ASSERT_TRUE(r.ok()) << member.name << ": " << r.text;
    EXPECT_EQ(r.value, Variant(false)) << member.name;
    EXPECT_EQ(form.fake().Calls().size(), 0u) << member.name;
    EXPECT_EQ(manager.ErrorNum(), QVSource::kRefusalNum) << member.name;
    EXPECT_EQ(manager.ErrorText(), text) << member.name;
  }

  FakeOnForm form;
  QVmanager m;
  std::shared_ptr<platform::ListViewObject> lv = std::make_shared<platform::ListViewObject>();
};

TEST_F(ManagerGuardTest, WithoutAConnectionEveryMemberAnswersFalseAndTellsWhy) {
  m.EnvironmentID("aa");
  m.TargetID("t1");
  m.ModelID("m1");
  // Never connected: StopQV and ReadActivity once reported a stop and blank counters.
  ExpectRefused(m, kMembers[6], cLoadResString("1904"));
  ExpectRefused(m, kMembers[8], cLoadResString("1904"));

  ASSERT_TRUE(m.OpenConnection());
  ASSERT_TRUE(m.ReadDistribution()) << m.ErrorText();
  ASSERT_TRUE(m.CloseConnection());
  for (const Member& member : kMembers) ExpectRefused(m, member, cLoadResString("1904"));
}

TEST_F(ManagerGuardTest, WithoutAnIdentifierItActsOnAMemberAnswersFalseAndNamesIt) {
  struct Missing {
    bool Member::*need;
    const char* property;
  };
  for (const Missing& missing : {Missing{&Member::env, "EnvironmentID"}, Missing{&Member::target, "TargetID"},
                                 Missing{&Member::model, "ModelID"}}) {
    for (const Member& member : kMembers) {
      // An identifier once set is never empty again: nothing is read without all three.
      if (!(member.*(missing.need)) || member.id == 0x60030019) continue;
      QVmanager fresh;
      fresh.SourceAdress("src1");
      ASSERT_TRUE(fresh.OpenConnection());
      if (missing.property != std::string("EnvironmentID")) fresh.EnvironmentID("aa");
      if (missing.property != std::string("TargetID")) fresh.TargetID("t1");
      if (missing.property != std::string("ModelID")) fresh.ModelID("m1");
      fresh.ErrorText();  // what the selection reported
      fresh.ErrorNum();
      ExpectRefused(fresh, member, cLoadResString("1905", missing.property));
    }
  }
}

TEST_F(ManagerGuardTest, ARefusalIsToldOnceAndALaterErrorOfTheSourceTakesItsPlace) {
  ASSERT_TRUE(m.OpenConnection());
  m.EnvironmentID("aa");
  m.TargetID("t1");
  EXPECT_FALSE(m.StopQV());
  EXPECT_EQ(m.ErrorNum(), QVSource::kRefusalNum);
  EXPECT_EQ(m.ErrorNum(), 0);
  EXPECT_EQ(m.ErrorText(), cLoadResString("1905", "ModelID"));
  EXPECT_EQ(m.ErrorText(), "");

  EXPECT_FALSE(m.StopQV());
  m.ModelID("m9");  // no such distribution: the source's refusal comes after the manager's
  EXPECT_FALSE(m.ReadDistribution());
  EXPECT_EQ(m.ErrorText(), cLoadResString("2026", "M9_", "T1_"));
  EXPECT_EQ(m.ErrorNum(), QVSource::kRefusalNum);
  EXPECT_EQ(m.ErrorText(), "");
}

TEST_F(ManagerGuardTest, AUserIdentifierTooLongForTheLoginIsRefusedNotCut) {
  struct Case {
    std::string user;
    bool taken;
  };
  const Case cases[] = {
      {"QVADMIN" + std::string(23, ' ') + "ZZZ", false},  // would be QVADMIN once cut to 30
      {std::string(31, 'U'), false},
      {std::string(30, 'U'), true},
      {"QVADMIN" + std::string(40, ' '), true},  // trailing blanks are padding
  };
  for (const Case& c : cases) {
    SetProcessUserID("BEFORE");
    const DispResult r = Put(m, kUserID, Variant(c.user));
    EXPECT_EQ(r.ok(), c.taken) << "\"" << c.user << "\"";
    EXPECT_EQ(ProcessUserID(), c.taken ? c.user : "BEFORE") << "\"" << c.user << "\"";
    if (!c.taken) {
      EXPECT_THAT(r.text, HasSubstr("at most 30 characters"));
    }
  }
}

TEST_F(ManagerGuardTest, AReceiverLibraryIsRefusedForTheSourcesThatDoNotStoreIt) {
  struct Case {
    const char* sourceType;
    bool stored;
  };
  for (const Case& c : {Case{"AS400", true}, Case{"", true}, Case{"ODBC", false}, Case{"SQL Server", false},
                        Case{"Oracle", false}}) {
    QVmanager fresh;
    ASSERT_TRUE(Put(fresh, kSourceType, Variant(std::string(c.sourceType))).ok());
    const DispResult r = Put(fresh, kRepriseLibrary, Variant("jrnlib"));
    EXPECT_EQ(r.ok(), c.stored) << c.sourceType;
    EXPECT_EQ(fresh.DistributionRepriseLibrary(), c.stored ? "JRNLIB" : "") << c.sourceType;
    if (!c.stored) {
      EXPECT_EQ(r.status, DispStatus::Exception) << c.sourceType;
    }
    // A blank library is what every kind stores.
    EXPECT_TRUE(Put(fresh, kRepriseLibrary, Variant("  ")).ok()) << c.sourceType;
    EXPECT_EQ(fresh.DistributionRepriseLibrary(), "") << c.sourceType;
  }
}

}  // namespace
}  // namespace qv::automation
