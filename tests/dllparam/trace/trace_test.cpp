// Checks the trace of the record-access library: one line per call whatever
// the texts hold, results, outputs and errors written, passwords hidden.
#include "dllparam/trace/trace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "support/recording_fake.h"
#include "support/scratch.h"

namespace qv {
namespace {

using test::RecordingFake;

std::string Blanks(std::size_t n) { return std::string(n, ' '); }

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A trace file of its own for one test, in a folder removed with it.
struct TempFile {
  test::Scratch dir{"qv-trace"};
  std::string path() const { return dir / "trace.log"; }
};

TEST(TraceText, EscapesWhatCouldBreakALineAndShortensLongTexts) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"a\nb\rc\td", "\"a\\nb\\rc\\td\""},
      {"back\\slash \"quoted\"", "\"back\\\\slash \\\"quoted\\\"\""},
      {"caf\xE9 \x7F", "\"caf\\xE9 \\x7F\""},
      {"", "\"\""},
      {std::string(250, 'x') + Blanks(50), "\"" + std::string(kTraceHead, 'x') + "\"...(300 bytes)"},
      {std::string(kTraceHead, 'y') + Blanks(10), "\"" + std::string(kTraceHead, 'y') + "\"(+10 blanks)"},
  };
  for (const auto& c : cases) EXPECT_EQ(TraceText(c.text), c.shown) << c.shown;
}

class TraceTest : public ::testing::Test {
 protected:
  TraceTest() : trace(fake, file.path()) {
    trace.SetClock([] { return std::string("T"); });
    std::string version = Blanks(10), job = Blanks(10);
    trace.OpenMConnection("SRC", version, job, conn);
  }

  // Returns the lines written after the header and the connection.
  std::vector<std::string> CallLines() {
    std::vector<std::string> lines = ReadLines(file.path());
    return std::vector<std::string>(lines.begin() + 2, lines.end());
  }

  TempFile file;
  RecordingFake fake;
  TraceDllParam trace;
  int32_t conn = 0;
};

TEST_F(TraceTest, WritesAHeaderThenOneLinePerCall) {
  std::vector<std::string> lines = ReadLines(file.path());
  ASSERT_EQ(lines.size(), 2u);
  // The marker is stamped by the default clock, before the test set its own.
  EXPECT_NE(lines[0].find(" # trace of process " + std::to_string(::getpid())), std::string::npos);
  EXPECT_EQ(lines[1],
            "T OpenMConnection(address=\"SRC\", serverVersion=[10], serverJob=[10]) -> 1 "
            "serverVersion=\"\"(+10 blanks) serverJob=\"\"(+10 blanks) hConn=1");

  int32_t h = -1, len = 0, stmt = -1, flag = 0;
  std::string rec = Blanks(216), buf = Blanks(4), text = Blanks(DllParam::kErrorTextBuffer);
  std::string code = "RCMD      ", ctl = "0000000100";
  std::string data = "00017CHGJOB RUNPTY(20)" + Blanks(78) + std::string(1, '\0');
  fake.On("Rreadk").Record("AAE" + Blanks(5));
  fake.On("Sreadblock").Rows({"r1", "r2", "r3"});
  fake.On("Saction").Sql("INSERT").Fail(DllParam::kCodeRefused, 2627, "Violation of \"PK\"\nline 2");
  // Each call with the line it writes: texts escaped, outputs cut to their
  // reported length, the error state after a zero result.
  const struct {
    std::function<void()> call;
    std::string line;
  } cases[] = {
      {[&] { trace.Saction("INSERT INTO T VALUES('a\nb', 'c\r\n')"); },
       "T Saction(sql=\"INSERT INTO T VALUES('a\\nb', 'c\\r\\n')\") -> 1"},
      {[&] { trace.Execute(code, ctl, data); },
       "T Execute(code=\"RCMD\"(+6 blanks), ctl=\"0000000100\", data=\"00017CHGJOB RUNPTY(20)" + Blanks(78) +
           "\\x00\") -> 1 data=\"00000\""},
      {[&] { trace.Ropen("QV_USRDATA/QV_EX", DllParam::kModeUpdate, h); },
       "T Ropen(file=\"QV_USRDATA/QV_EX\", mode=\"rr+, riofb=N, rtncode=N\") -> 1 h=1"},
      {[&] { trace.Rreadk(h, rec, len, DllParam::kKeyEqualLocked, "AA", 2); },
       "T Rreadk(h=1, rec=[216], opts=0x0B000100, key=\"AA\", keyLen=2) -> 1 rec=\"AAE\"(+5 blanks) len=8"},
      {[&] { trace.Sreadblock(stmt, buf, len, "SELECT 1", DllParam::kFirstBlock, flag); },
       "T Sreadblock(hStmt=-1, buf=[4], sql=\"SELECT 1\", first=\"1\") -> 1 hStmt=2 buf=\"r1r2\" len=4 flag=1"},
      {[&] { EXPECT_EQ(trace.Saction("INSERT"), 0); },
       "T Saction(sql=\"INSERT\") -> 0 error=1:refused num=2627 text=\"Violation of \\\"PK\\\"\\nline 2\""},
      {[&] {
         int32_t error = 0, num = 0;
         trace.GetLastError(error, num, text);
         EXPECT_EQ(error, DllParam::kCodeRefused);  // the trace's own query left the state alone
         EXPECT_EQ(num, 2627);
       },
       "T GetLastError(text=[1024]) -> 1 code=1 errNum=2627 text=\"Violation of \\\"PK\\\"\\nline 2\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::size_t before = CallLines().size();
    c.call();
    const std::vector<std::string> calls = CallLines();
    ASSERT_EQ(calls.size(), before + 1);
    EXPECT_EQ(calls.back(), c.line);
  }
}

TEST_F(TraceTest, HidesLoginPasswords) {
  std::string out = Blanks(DllParam::kDsnMessageBuffer);
  trace.ConnectDSN("DRIVER={SQL Server};SERVER=H;UID=sa;PWD=s3cret;", "sa", "s3cret", out);
  trace.ConnectDSN("dsn=x;uid=sa;pwd=lower;", "sa", "lower", out);
  fake.SetConfigString("QV_for_SQLServer", "ParamPwd", "hidden");
  std::string value = Blanks(255);
  int32_t len = 0;
  trace.GetConfigStringWithoutDefVal("QV_for_SQLServer", "ParamPwd", value, len);
  std::string all;
  for (const std::string& line : CallLines()) all += line + "\n";
  for (const char* secret : {"s3cret", "hidden", "lower"}) EXPECT_EQ(all.find(secret), std::string::npos) << all;
  EXPECT_NE(all.find("PWD=********;"), std::string::npos) << all;
  // The library itself still gets the real values.
  EXPECT_EQ(fake.CallsNamed("ConnectDSN")[0].Arg(2), "s3cret");
}

TEST(TraceWrapping, FollowsTheEnvironmentAndAppendsToTheFile) {
  TempFile file;
  ::unsetenv(kTraceEnvironmentVariable);
  auto fake = std::make_unique<RecordingFake>();
  DllParam* raw = fake.get();
  std::unique_ptr<DllParam> lib = WrapWithTraceFromEnv(std::move(fake));
  EXPECT_EQ(lib.get(), raw);

  ::setenv(kTraceEnvironmentVariable, file.path().c_str(), 1);
  lib = WrapWithTraceFromEnv(std::move(lib));
  EXPECT_NE(dynamic_cast<TraceDllParam*>(lib.get()), nullptr);
  lib->Saction("SELECT 1");
  lib.reset();
  EXPECT_EQ(ReadLines(file.path()).size(), 2u);
  // A second trace of the file appends its header.
  WrapWithTraceFromEnv(std::make_unique<RecordingFake>()).reset();
  EXPECT_EQ(ReadLines(file.path()).size(), 3u);

  ::setenv(kTraceEnvironmentVariable, "/nonexistent/dir/trace.log", 1);
  fake = std::make_unique<RecordingFake>();
  raw = fake.get();
  std::string error;
  lib = WrapWithTraceFromEnv(std::move(fake), &error);
  EXPECT_EQ(lib.get(), raw);
  EXPECT_NE(error.find("/nonexistent/dir/trace.log"), std::string::npos) << error;
  ::unsetenv(kTraceEnvironmentVariable);
}

}  // namespace
}  // namespace qv
