// QVmanager fails closed: a failed user-space check is not a blank activity.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/hidden_form.h"
#include "automation/qvmanager.h"
#include "connection/qvsource.h"
#include "form_support.h"
#include "presentation/messages.h"

namespace qv::automation {
namespace {

using test::FakeOnForm;
using test::ActivityValues;
using test::NamedActivityBlock;

constexpr int32_t kResetNum = 10054;
constexpr const char* kReset = "connection reset by peer";

class ManagerFailClosed : public testing::Test {
 protected:
  void SetUp() override {
    SetProcessUserID("");
    SetProcessPassword("");
  }
  FakeOnForm form;
  QVmanager m;
};

TEST_F(ManagerFailClosed, AFailedSpaceCheckKeepsTheActivityAndSendsNothingMore) {
  ASSERT_TRUE(form.OpenFor(m)) << form.control().ErrorText();
  form.fake().On("Execute").Code("CHKOBJ____").Reply("000010");
  form.fake()
      .On("Execute")
      .Code("SYSREDUSR_")
      .Reply("00296" + std::string(30, '.') + NamedActivityBlock());
  ASSERT_TRUE(m.ReadActivity()) << m.ErrorText();
  const std::vector<std::string> before = ActivityValues(m);
  ASSERT_EQ(before[0], "s");

  form.fake()
      .On("Execute")
      .Code("CHKOBJ____")
      .Fail(DllParam::kCodeNetwork, kResetNum, kReset)
      .Repeatedly();
  form.fake().ClearCalls();
  EXPECT_FALSE(m.ReadActivity());
  EXPECT_EQ(ActivityValues(m), before);
  EXPECT_EQ(m.ErrorNum(), kResetNum);
  EXPECT_EQ(m.ErrorText(), kReset);
  // The stop request is not reported as sent when the check failed.
  EXPECT_FALSE(m.StopQV());
  EXPECT_EQ(m.ErrorText(), kReset);
  EXPECT_EQ(form.fake().CommandCodes(), (std::vector<std::string>{"CHKOBJ____", "CHKOBJ____"}));
}

}  // namespace
}  // namespace qv::automation
