// Checks the part of the recording fake that the other suites cannot see
// fail: the strict checks of interface use. (The order of scripted answers
// and the defaults are relied on by every suite that scripts the fake.)
#include <gtest/gtest.h>

#include "support/recording_fake.h"

namespace qv::test {
namespace {

TEST(RecordingFakeTest, StrictChecksCatchInterfaceMistakes) {
  RecordingFake fake;
  std::string version(10, ' '), job(10, ' ');
  int32_t conn = 0, upd = -1, ro = -1;
  ASSERT_NE(fake.OpenMConnection("SRC", version, job, conn), 0);
  ASSERT_NE(fake.Ropen("QV_USRDATA/QV_EX", DllParam::kModeUpdate, upd), 0);
  ASSERT_NE(fake.Ropen("QV_USRDATA/QV_EX_L0", DllParam::kModeRead, ro), 0);
  auto errorCode = [&] {
    int32_t code = 0, num = 0;
    std::string text(DllParam::kErrorTextBuffer, ' ');
    fake.GetLastError(code, num, text);
    return code;
  };
  EXPECT_EQ(fake.Rupdate(upd, "AA", 2), 0);  // no locked read yet
  EXPECT_EQ(errorCode(), DllParam::kCodeBadCall);
  EXPECT_EQ(fake.Rwrite(ro, "AA", 2), 0);
  EXPECT_EQ(errorCode(), DllParam::kCodeRefused);
  EXPECT_EQ(fake.Rwrite(upd, "AA", 3), 0);  // length beyond the record

  fake.On("Rreadk").Record("AA");
  std::string rec(2, ' ');
  int32_t len = 0;
  ASSERT_EQ(fake.Rreadk(upd, rec, len, DllParam::kKeyEqualLocked, "AA", 2), 1);
  EXPECT_EQ(fake.Rdelete(upd), 1);
  EXPECT_EQ(fake.Rdelete(upd), 0);  // the lock ended with the delete

  std::string code = "SYSLSTOBJ_", ctl = "0000004096", data(100, ' ');
  EXPECT_EQ(fake.Execute(code, ctl, data), 0);
  std::string shortCode = "RCMD";
  data.assign(4096, ' ');
  EXPECT_EQ(fake.Execute(shortCode, ctl, data), 0);

  ASSERT_EQ(fake.Rclose(upd), 1);
  EXPECT_EQ(fake.Rreadf(upd, rec, len, 1), 0);
  EXPECT_EQ(errorCode(), DllParam::kCodeBadCall);
  int32_t stmt = 7, flag = 0;
  EXPECT_EQ(fake.Sreadblock(stmt, rec, len, "S", DllParam::kNextBlock, flag), 0);

  ASSERT_EQ(fake.CloseMConnection(conn), 1);
  EXPECT_EQ(fake.Saction("x"), 0);  // no connection
  fake.SetStrict(false);
  EXPECT_EQ(fake.Saction("x"), 1);
}

}  // namespace
}  // namespace qv::test
