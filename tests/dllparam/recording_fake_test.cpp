// Checks the parts of the recording fake that other tests rely on: the order
// of scripted answers, result sets spread over calls, the strict checks and
// the error state.
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

TEST_F(RecordingFakeTest, RepeatedlyKeepsTheLastAnswerAndNewerRulesWin) {
  fake.On("Saction").Fail(DllParam::kCodeRefused, 1, "old").Repeatedly();
  fake.On("Saction").SqlPrefix("DELETE").Return(1);
  EXPECT_EQ(fake.Saction("DELETE FROM T"), 1);  // newer rule
  EXPECT_EQ(fake.Saction("DELETE FROM T"), 0);  // newer rule spent, older repeats
  EXPECT_EQ(fake.Saction("INSERT"), 0);
  EXPECT_EQ(Error(), "1/1/old");
}

TEST_F(RecordingFakeTest, MatchesStatementsCommandsKeysFilesAndNthCalls) {
  int32_t ex = Open("QV_USRDATA/QV_EX");
  fake.On("Rreadk").File("QV_USRDATA/QV_EX").Key("AA").Record("AAenv");
  fake.On("Execute").Code("RCMD").DataPrefix("00017").Reply("done");
  fake.On("Sread").SqlMatches("QV_VER").Row("1V1");
  fake.On("Saction").Nth(2).Fail(DllParam::kCodeNetwork, 104, "reset");

  std::string rec = Blanks(5);
  int32_t len = 0;
  EXPECT_EQ(fake.Rreadk(ex, rec, len, DllParam::kKeyEqualNoLock, "AB", 2), 0);  // other key
  EXPECT_EQ(fake.Rreadk(ex, rec, len, DllParam::kKeyEqualNoLock, "AAxx", 2), 1);
  EXPECT_EQ(rec, "AAenv");
  EXPECT_EQ(len, 5);

  std::string code = "RCMD      ", ctl = "0000000100", data = "00017CHGJOB RUNPTY(20)" + Blanks(78);
  EXPECT_EQ(fake.Execute(code, ctl, data), 1);
  EXPECT_EQ(data.size(), 100u);
  EXPECT_EQ(std::string(dllparam::CutAtNul(data)), "done");

  int32_t stmt = -1;
  std::string row = Blanks(12);
  EXPECT_EQ(fake.Sread(stmt, row, len, "SELECT * FROM QV_VER ", 0), 1);
  EXPECT_EQ(len, 3);
  EXPECT_GE(stmt, 0);

  EXPECT_EQ(fake.Saction("one"), 1);
  EXPECT_EQ(fake.Saction("two"), 0);
  EXPECT_EQ(fake.Saction("three"), 1);
}

TEST_F(RecordingFakeTest, SreadThenSnextWalkTheRows) {
  fake.On("Sread").Sql("SELECT").Rows({"r1", "r2", "r3"});
  int32_t stmt = -1, len = 0, flag = 0;
  std::string row = Blanks(4);
  ASSERT_EQ(fake.Sread(stmt, row, len, "SELECT", 0), 1);
  std::vector<std::string> seen{row.substr(0, static_cast<std::size_t>(len))};
  while (fake.Snext(stmt, row, len, flag)) seen.push_back(row.substr(0, static_cast<std::size_t>(len)));
  EXPECT_EQ(seen, (std::vector<std::string>{"r1", "r2", "r3"}));
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(Error(), "5/0/not found");
}

TEST_F(RecordingFakeTest, SreadblockPacksWholeRowsAndPages) {
  std::vector<std::string> rows;
  for (int i = 0; i < 30; ++i) rows.push_back(std::string(304, static_cast<char>('A' + i % 26)));
  fake.On("Sreadblock").SqlPrefix("SELECT * FROM QV_FX").Rows(rows);
  int32_t stmt = -1, len = 0, flag = 0;
  std::vector<int32_t> lengths;
  std::string buf = Blanks(DllParam::kBlockBuffer);
  const char* first = DllParam::kFirstBlock;
  while (fake.Sreadblock(stmt, buf, len, "SELECT * FROM QV_FX", first, flag)) {
    lengths.push_back(len);
    first = DllParam::kNextBlock;
    if (!flag) break;
  }
  EXPECT_EQ(lengths, (std::vector<int32_t>{13 * 304, 13 * 304, 4 * 304}));
  EXPECT_EQ(buf.size(), 4096u);
  EXPECT_EQ(buf[4 * 304], '\0');
  EXPECT_EQ(fake.Statements(), std::vector<std::string>{"SELECT * FROM QV_FX"});
}

TEST_F(RecordingFakeTest, RreadblockPagesByKeyAndRestartsOnAnotherKey) {
  int32_t h = Open("QV_USRDATA/QV_END_L0", DllParam::kModeRead);
  std::vector<std::string> lines(15, std::string(283, 'L'));
  fake.On("Rreadblock").File("QV_USRDATA/QV_END_L0").Key("AAT01M01T").Records(lines);
  std::string buf = Blanks(DllParam::kBlockBuffer);
  int32_t count = 0;
  EXPECT_EQ(fake.Rreadblock(h, buf, count, 283, "AAT01M01T", 9), 1);
  EXPECT_EQ(count, 14);
  EXPECT_EQ(fake.Rreadblock(h, buf, count, 283, "AAT01M01T", 9), 1);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(fake.Rreadblock(h, buf, count, 283, "AAT01M01T", 9), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(fake.Rreadblock(h, buf, count, 283, "BBT01M01T", 9), 0);
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

TEST_F(RecordingFakeTest, FailCallCountsEveryRecordedCall) {
  fake.FailCall(2, DllParam::kCodeBusy, 3, "locked");
  EXPECT_EQ(fake.Saction("first"), 0);  // the OpenMConnection of SetUp was call 1
  EXPECT_EQ(Error(), "4/3/locked");
  fake.ClearCalls();
  fake.FailCall(1, DllParam::kCodeRefused, 9, "after clear");
  EXPECT_EQ(fake.SetConnectOption(2), 0);
  EXPECT_EQ(fake.ErrorQueries(), 1);
}

TEST_F(RecordingFakeTest, TracksHandlesAndConnections) {
  int32_t a = Open("QV_USRDATA/QV_EX");
  int32_t b = Open("QV_USRDATA/QV_CX");
  EXPECT_NE(a, b);
  fake.Rclose(a);
  EXPECT_EQ(fake.OpenFiles(), (std::map<int32_t, std::string>{{b, "QV_USRDATA/QV_CX"}}));

  std::string version = Blanks(10), job = Blanks(10);
  int32_t second = 0;
  fake.OpenMConnection("OTHER", version, job, second);
  EXPECT_EQ(fake.CurrentConnection(), second);
  Open("QV_USRDATA/QV_GX");
  fake.CloseMConnection(second);
  EXPECT_EQ(fake.OpenFiles().size(), 1u);
  EXPECT_EQ(fake.Saction("x"), 0);  // no current connection any more
  fake.SwitchMConnection(conn);
  EXPECT_EQ(fake.Saction("x"), 1);
  EXPECT_EQ(fake.CallsNamed("Saction")[1].connection, conn);
}

TEST_F(RecordingFakeTest, RecordsArgumentsAsGivenAndListsCommands) {
  std::string code = "RCMD      ", ctl = "0000000100";
  std::string data = "00017CHGJOB RUNPTY(20)" + Blanks(78) + std::string(1, '\0');
  fake.Execute(code, ctl, data);
  const FakeCall& call = fake.LastCall();
  EXPECT_EQ(call.op, "Execute");
  EXPECT_EQ(call.Arg(2).size(), 101u);
  ASSERT_EQ(fake.Commands().size(), 1u);
  EXPECT_EQ(fake.Commands()[0].Request(), "00017CHGJOB RUNPTY(20)");
  EXPECT_EQ(fake.CommandCodes(), std::vector<std::string>{"RCMD      "});
  EXPECT_EQ(call.ToString().substr(0, 52), "Execute(\"RCMD      \", \"0000000100\", \"00017CHGJOB RUN");
  EXPECT_EQ(fake.Ops(), (std::vector<std::string>{"OpenMConnection", "Execute"}));
}

TEST_F(RecordingFakeTest, DefaultsLetAnUnscriptedSessionRun) {
  std::string value = Blanks(255);
  int32_t len = 0;
  EXPECT_EQ(fake.GetConfigStringWithoutDefVal("QV_for_SQLServer", "ServerName", value, len), 0);
  fake.SetConfigString("QV_for_SQLServer", "ServerName", "SQLHOST");
  EXPECT_EQ(fake.GetConfigStringWithoutDefVal("QV_for_SQLServer", "ServerName", value, len), 1);
  EXPECT_EQ(std::string(dllparam::CutAtNul(value)), "SQLHOST");

  std::string list = Blanks(DllParam::kListBuffer);
  EXPECT_EQ(fake.FillTBL("DB", "%", list, len, DllParam::kFirstCall), 1);
  EXPECT_EQ(len, 0);
  std::string jobs = Blanks(DllParam::kJobListBuffer);
  EXPECT_EQ(fake.SJobList("SAA_T01M01", jobs, DllParam::kKindSqlServer), 1);
  EXPECT_EQ(std::string(dllparam::CutAtNul(jobs)), "00000");
  EXPECT_EQ(fake.TableNTExist("DB..T"), 0);
  EXPECT_EQ(Error(), "5/0/not found");
}

TEST(RecordingFakeNoConnection, RefusesCallsUntilAConnectionIsOpen) {
  RecordingFake fake;
  EXPECT_EQ(fake.Saction("x"), 0);
  fake.SetStrict(false);
  EXPECT_EQ(fake.Saction("x"), 1);
}

}  // namespace
}  // namespace qv::test
