// Framing of remote commands and the engine's request texts.
#include <gtest/gtest.h>

#include "connection/remote_commands.h"
#include "operations/engine_text.h"

namespace qv {
namespace {

TEST(Commands, ClCommandCarriesTheCommandLengthInA100CharacterArea) {
  EXPECT_EQ(ClCommand("CHGJOB RUNPTY(20)").data, "00017CHGJOB RUNPTY(20)" + std::string(78, ' ') + '\0');
}

TEST(Commands, ObjectCheckUpperCasesAndPadsEveryName) {
  const RemoteCommand c = CheckObjectCommand("sa1_t01m01", "qv_usrdata", "*usrspc");
  EXPECT_EQ(c.code, "CHKOBJ____");
  EXPECT_EQ(c.ctl, "0000000040");
  EXPECT_EQ(ReplyText(c), "SA1_T01M01QV_USRDATA*USRSPC             ");
  EXPECT_TRUE(ObjectExists("00000" "0"));
  EXPECT_FALSE(ObjectExists("00000" "1"));
  EXPECT_FALSE(ObjectExists("000"));
}

TEST(Commands, CodesAndDigitsAreCutOrPadded) {
  EXPECT_EQ(CommandCode("SYSLSTOBJ_X"), "SYSLSTOBJ_");
  EXPECT_EQ(Digits(42, 8), "00000042");
  EXPECT_EQ(Digits(123456, 5), "23456");
  EXPECT_EQ(Digits(-3, 5), "00000");
}

TEST(EngineText, JobNamesNormaliseTheIdentifiers) {
  EXPECT_EQ(JobName(" a", "t1", "model"), "SA__T1_MOD");
  EXPECT_EQ(NormalizeId("", 3), "___");
  EXPECT_EQ(ActivityAction("x"), "G");
  EXPECT_EQ(ActivityAction("f"), "F");
}

}  // namespace
}  // namespace qv
