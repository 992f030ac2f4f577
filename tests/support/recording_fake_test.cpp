// Checks the parts of the recording fake that the other suites cannot see
// fail: the order of scripted answers and the strict checks of interface
// use.
#include <gtest/gtest.h>

#include "support/recording_fake.h"

namespace qv::test {
namespace {

std::string Blanks(std::size_t n) { return std::string(n, ' '); }

class RecordingFakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string version = Blanks(10), job = Blanks(10);
    ASSERT_NE(fake.OpenMConnection("SRC", version, job, conn), 0);
  }

  int32_t Open(const std::string& file, const char* mode = DllParam::kModeUpdate) {
    int32_t h = -1;
    EXPECT_NE(fake.Ropen(file, mode, h), 0);
    return h;
  }

  std::string Error() {
    int32_t code = 0, num = 0;
    std::string text = Blanks(DllParam::kErrorTextBuffer);
    fake.GetLastError(code, num, text);
    return std::to_string(code) + "/" + std::to_string(num) + "/" +
           std::string(dllparam::CutAtNul(text));
  }

  RecordingFake fake;
  int32_t conn = 0;
};

TEST_F(RecordingFakeTest, AnswersInQueueOrderThenFallsBackToTheDefault) {
  fake.On("Saction").Return(1).Fail(DllParam::kCodeRefused, 2627, "duplicate");
  EXPECT_EQ(fake.Saction("A"), 1);
  EXPECT_EQ(fake.Saction("B"), 0);
  EXPECT_EQ(Error(), "1/2627/duplicate");
  EXPECT_EQ(fake.Saction("C"), 1);  // the rule is spent: default success
  EXPECT_EQ(Error(), "0/0/");
}

TEST_F(RecordingFakeTest, StrictChecksCatchInterfaceMistakes) {
  int32_t upd = Open("QV_USRDATA/QV_EX");
  int32_t ro = Open("QV_USRDATA/QV_EX_L0", DllParam::kModeRead);
  EXPECT_EQ(fake.Rupdate(upd, "AA", 2), 0);  // no locked read yet
  EXPECT_EQ(Error().substr(0, 2), "6/");
  EXPECT_EQ(fake.Rwrite(ro, "AA", 2), 0);
  EXPECT_EQ(Error().substr(0, 2), "1/");
  EXPECT_EQ(fake.Rwrite(upd, "AA", 3), 0);  // length beyond the record

  fake.On("Rreadk").Record("AA");
  std::string rec = Blanks(2);
  int32_t len = 0;
  ASSERT_EQ(fake.Rreadk(upd, rec, len, DllParam::kKeyEqualLocked, "AA", 2), 1);
  EXPECT_EQ(fake.Rdelete(upd), 1);
  EXPECT_EQ(fake.Rdelete(upd), 0);  // the lock ended with the delete

  std::string code = "SYSLSTOBJ_", ctl = "0000004096", data = Blanks(100);
  EXPECT_EQ(fake.Execute(code, ctl, data), 0);
  std::string shortCode = "RCMD";
  data = Blanks(4096);
  EXPECT_EQ(fake.Execute(shortCode, ctl, data), 0);

  ASSERT_EQ(fake.Rclose(upd), 1);
  EXPECT_EQ(fake.Rreadf(upd, rec, len, 1), 0);
  EXPECT_EQ(Error().substr(0, 2), "6/");
  int32_t stmt = 7, flag = 0;
  EXPECT_EQ(fake.Sreadblock(stmt, rec, len, "S", DllParam::kNextBlock, flag), 0);
}

TEST(RecordingFakeNoConnection, RefusesCallsUntilAConnectionIsOpen) {
  RecordingFake fake;
  EXPECT_EQ(fake.Saction("x"), 0);
  fake.SetStrict(false);
  EXPECT_EQ(fake.Saction("x"), 1);
}

}  // namespace
}  // namespace qv::test
