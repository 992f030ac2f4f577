// Checks the trace of the record-access library: one line per call whatever
// the texts hold, results, outputs and errors written, calls forwarded
// unchanged.
#include "dllparam/trace/trace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/recording_fake.h"

namespace qv {
namespace {

using test::FakeCall;
using test::RecordingFake;

std::string Blanks(std::size_t n) { return std::string(n, ' '); }

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class TempFile {
 public:
  TempFile() {
    char pattern[] = "/tmp/qv_trace_XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd >= 0) ::close(fd);
    path_ = pattern;
  }
  ~TempFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(TraceText, EscapesEverythingThatCouldBreakALine) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"plain", "\"plain\""},
      {"a\nb\rc\td", "\"a\\nb\\rc\\td\""},
      {"back\\slash \"quoted\"", "\"back\\\\slash \\\"quoted\\\"\""},
      {std::string("nul\0here", 8), "\"nul\\x00here\""},
      {"caf\xE9 \x7F", "\"caf\\xE9 \\x7F\""},
      {"AB" + Blanks(214), "\"AB\"(+214 blanks)"},
      {Blanks(3), "\"\"(+3 blanks)"},
      {"", "\"\""},
  };
  for (const auto& c : cases) EXPECT_EQ(TraceText(c.text), c.shown) << c.shown;
}

TEST(TraceText, ShortensLongTextsReproducibly) {
  std::string text(250, 'x');
  text += Blanks(50);
  EXPECT_EQ(TraceText(text), "\"" + std::string(kTraceHead, 'x') + "\"...(300 bytes)");
  EXPECT_EQ(TraceText(std::string(kTraceHead, 'y') + Blanks(10)),
            "\"" + std::string(kTraceHead, 'y') + "\"(+10 blanks)");
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

TEST_F(TraceTest, WritesAHeaderAndOneLinePerCall) {
  std::vector<std::string> lines = ReadLines(file.path());
  ASSERT_EQ(lines.size(), 2u);
  // The marker is stamped by the default clock, before the test set its own.
  EXPECT_NE(lines[0].find(" # trace of process " + std::to_string(::getpid())), std::string::npos);
  EXPECT_EQ(lines[1],
            "T OpenMConnection(address=\"SRC\", serverVersion=[10], serverJob=[10]) -> 1 "
            "serverVersion=\"\"(+10 blanks) serverJob=\"\"(+10 blanks) hConn=1");

  trace.Saction("INSERT INTO T VALUES('a\nb', 'c\r\n')");
  std::string code = "RCMD      ", ctl = "0000000100";
  std::string data = "00017CHGJOB RUNPTY(20)" + Blanks(78) + std::string(1, '\0');
  trace.Execute(code, ctl, data);
  int32_t h = -1;
  trace.Ropen("QV_USRDATA/QV_EX", DllParam::kModeUpdate, h);
  std::vector<std::string> calls = CallLines();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], "T Saction(sql=\"INSERT INTO T VALUES('a\\nb', 'c\\r\\n')\") -> 1");
  EXPECT_EQ(calls[1],
            "T Execute(code=\"RCMD\"(+6 blanks), ctl=\"0000000100\", "
            "data=\"00017CHGJOB RUNPTY(20)" + Blanks(78) + "\\x00\") -> 1 data=\"00000\"");
  EXPECT_EQ(calls[2],
            "T Ropen(file=\"QV_USRDATA/QV_EX\", mode=\"rr+, riofb=N, rtncode=N\") -> 1 h=1");
}

TEST_F(TraceTest, WritesOutputsByTheirReportedLength) {
  int32_t h = -1;
  trace.Ropen("QV_USRDATA/QV_EX", DllParam::kModeUpdate, h);
  fake.On("Rreadk").Record("AAE" + Blanks(5));
  std::string rec = Blanks(216);
  int32_t len = 0;
  trace.Rreadk(h, rec, len, DllParam::kKeyEqualLocked, "AA", 2);
  fake.On("Sreadblock").Rows({"r1", "r2", "r3"});
  int32_t stmt = -1, flag = 0;
  std::string buf = Blanks(4);
  trace.Sreadblock(stmt, buf, len, "SELECT 1", DllParam::kFirstBlock, flag);
  std::vector<std::string> calls = CallLines();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1],
            "T Rreadk(h=1, rec=[216], opts=0x0B000100, key=\"AA\", keyLen=2) -> 1 "
            "rec=\"AAE\"(+5 blanks) len=8");
  EXPECT_EQ(calls[2],
            "T Sreadblock(hStmt=-1, buf=[4], sql=\"SELECT 1\", first=\"1\") -> 1 hStmt=2 "
            "buf=\"r1r2\" len=4 flag=1");
}

TEST_F(TraceTest, AddsTheErrorStateAfterAZeroResult) {
  fake.On("Saction").Fail(DllParam::kCodeRefused, 2627, "Violation of \"PK\"\nline 2");
  EXPECT_EQ(trace.Saction("INSERT"), 0);
  int32_t code = 0, num = 0;
  std::string text = Blanks(DllParam::kErrorTextBuffer);
  trace.GetLastError(code, num, text);
  EXPECT_EQ(code, DllParam::kCodeRefused);  // the trace's own query left the state alone
  EXPECT_EQ(num, 2627);
  std::vector<std::string> calls = CallLines();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0],
            "T Saction(sql=\"INSERT\") -> 0 error=1:refused num=2627 "
            "text=\"Violation of \\\"PK\\\"\\nline 2\"");
  EXPECT_EQ(calls[1],
            "T GetLastError(text=[1024]) -> 1 code=1 errNum=2627 "
            "text=\"Violation of \\\"PK\\\"\\nline 2\"");
}

TEST_F(TraceTest, HidesLoginPasswords) {
  std::string out = Blanks(DllParam::kDsnMessageBuffer);
  trace.ConnectDSN("DRIVER={SQL Server};SERVER=H;UID=sa;PWD=s3cret;", "sa", "s3cret", out);
  fake.SetConfigString("QV_for_SQLServer", "ParamPwd", "hidden");
  std::string value = Blanks(255);
  int32_t len = 0;
  trace.GetConfigStringWithoutDefVal("QV_for_SQLServer", "ParamPwd", value, len);
  std::string all;
  for (const std::string& line : CallLines()) all += line + "\n";
  EXPECT_EQ(all.find("s3cret"), std::string::npos) << all;
  EXPECT_EQ(all.find("hidden"), std::string::npos) << all;
  EXPECT_NE(all.find("PWD=***;"), std::string::npos) << all;
  // The library itself still gets the real values.
  EXPECT_EQ(fake.CallsNamed("ConnectDSN")[0].Arg(2), "s3cret");
}

// Calls every member once with inputs that make each output visible.
std::vector<std::string> ExerciseAll(DllParam& lib) {
  std::vector<std::string> seen;
  auto note = [&](int32_t r, std::initializer_list<std::string> outs) {
    std::string line = std::to_string(r);
    for (const std::string& out : outs) line += "|" + out;
    seen.push_back(line);
  };
  auto n = [](int32_t v) { return std::to_string(v); };
  std::string a = Blanks(10), b = Blanks(10), buf = Blanks(64), c = Blanks(20), d = Blanks(20),
              e = Blanks(20);
  int32_t conn = 0, h = -1, len = 0, count = 0, flag = 0, stmt = -1;
  note(lib.OpenMConnection("SRC", a, b, conn), {a, b, n(conn)});
  note(lib.SwitchMConnection(conn), {});
  note(lib.PingPong(), {});
  note(lib.Ropen("QV_USRDATA/QV_EX", DllParam::kModeUpdate, h), {n(h)});
  note(lib.Rreadk(h, buf, len, DllParam::kKeyEqualLocked, "AA", 2), {buf, n(len)});
  note(lib.Rupdate(h, "AAx", 3), {});
  note(lib.Rreadf(h, buf, len, 1), {buf, n(len)});
  note(lib.Rreadn(h, buf, len, 1), {buf, n(len)});
  note(lib.Rreadblock(h, buf, count, 16, "AA", 2), {buf, n(count)});
  note(lib.RreadblockD(h, buf, count, 16), {buf, n(count)});
  note(lib.Rwrite(h, "BB", 2), {});
  note(lib.Rreadk(h, buf, len, DllParam::kKeyEqualLocked, "BB", 2), {buf, n(len)});
  note(lib.Rdelete(h), {});
  note(lib.Rclose(h), {});
  note(lib.Sread(stmt, buf, len, "SELECT A", 0), {n(stmt), buf, n(len)});
  note(lib.Snext(stmt, buf, len, flag), {buf, n(len), n(flag)});
  note(lib.Sreadblock(stmt, buf, len, "SELECT B", DllParam::kFirstBlock, flag),
       {n(stmt), buf, n(len), n(flag)});
  note(lib.Saction("DELETE"), {});
  note(lib.SetConnectOption(2), {});
  note(lib.ConnectDSN("DSN=X;", " ", " ", buf), {buf});
  note(lib.CloseConnectionDSN("DSN=X;", buf), {buf});
  note(lib.GetConfigStringWithoutDefVal("S", "K", buf, len), {buf, n(len)});
  note(lib.GetDBParamKeys(buf, a, c, d, e), {buf, a, c, d, e});
  note(lib.GetComputerName(buf), {buf});
  std::string code = "SYSLSTJOB_", ctl = "0000000064", data = "040960SAA_T01M01" + Blanks(48);
  note(lib.Execute(code, ctl, data), {code, ctl, data});
  note(lib.StrReplication("AAT01M01", "SQL_", "*"), {});
  note(lib.SJobList("SAA_T01M01", buf, "SQL_"), {buf});
  std::string name = "SAA_T01M01" + Blanks(54);
  note(lib.Activity(name, " 00000064G"), {name});
  std::string queue = "QVMSGQ.QVM" + Blanks(54);
  count = 3;
  note(lib.ReadQVMSGQ(queue, count, "SQL_"), {queue, n(count)});
  note(lib.WriteFile("QVMSGQ.QVM", "", 1), {});
  note(lib.DeleteFile("SAA_T01M01"), {});
  note(lib.WriteFileWithFullPath("/tmp/x", "text", 0), {});
  note(lib.DeleteFileWithFullPath("/tmp/x"), {});
  note(lib.GetDSNsAndDrivers(buf, len, 1), {buf, n(len)});
  note(lib.FillDB("NEANT", buf, len, 1), {buf, n(len)});
  note(lib.FillTBL("DB", "%", buf, len, 1), {buf, n(len)});
  note(lib.FillColumnsList("DB", "T", "%", buf, len, 1), {buf, n(len)});
  note(lib.FillColumnsListSource("d", "DB..T", buf, len, 0), {buf, n(len)});
  note(lib.GetPrimaryKey("DB..T", buf, len), {buf, n(len)});
  note(lib.TableNTExist("DB..T"), {});
  note(lib.CreateTable("DB..T", "A CHAR(1)"), {});
  note(lib.BuildReceiverListNT("J", "DB", buf, len, 1), {buf, n(len)});
  note(lib.CloseMConnection(conn), {});
  int32_t code2 = 0, num = 0;
  std::string text = Blanks(64);
  note(lib.GetLastError(code2, num, text), {n(code2), n(num), text});
  return seen;
}

// Scripts one answer for each member, so that every output carries data.
void Script(RecordingFake& fake) {
  fake.On("OpenMConnection").Outs({"V1", "JOB1"});
  fake.On("Rreadk").Record("AAxyz");
  fake.On("Rreadk").Nth(2).Fail(DllParam::kCodeBusy, 7, "held");
  fake.On("Rreadf").Records({"f1", "f2"});
  fake.On("Rreadblock").Records({"k1", "k2"});
  fake.On("RreadblockD").Records({"d1"});
  fake.On("Sread").Rows({"s1", "s2"});
  fake.On("Sreadblock").Rows({"b1", "b2"});
  fake.On("ConnectDSN").Out("DSN=X;UID=u;");
  fake.On("CloseConnectionDSN").Out("closed");
  fake.SetConfigString("S", "K", "value");
  fake.On("GetDBParamKeys").Outs({"DSN=Y", "drv", "usr", "pwd", "db"});
  fake.On("GetComputerName").Out("HOST");
  fake.On("Execute").Reply("00015SAA_T01M01");
  fake.On("SJobList").Out("00001\tSAA_T01M01 42\t");
  fake.On("Activity").Out("activity");
  test::FakeAnswer messages = test::FakeAnswer::Ok("0001500001message");
  messages.number = 4;
  fake.On("ReadQVMSGQ").Answer(messages);
  fake.On("DeleteFile").NotFound();
  fake.On("GetDSNsAndDrivers").Out("X\tdriver\n");
  fake.On("FillDB").Out("DB\t");
  fake.On("FillTBL").Out("dbo.T\t");
  fake.On("FillColumnsList").Out("A\tCHAR 1\t1\t1\t\n");
  fake.On("FillColumnsListSource").Out("B\tINT 10\t1\t0\t\n");
  fake.On("GetPrimaryKey").Out("A\t");
  fake.On("TableNTExist").Return(1);
  fake.On("BuildReceiverListNT").Out(std::string(77, 'R'));
  fake.On("Saction").Fail(DllParam::kCodeRefused, 1, "no");
}

TEST(TraceForwarding, PassesEveryCallThroughUnchanged) {
  RecordingFake direct, underTrace;
  Script(direct);
  Script(underTrace);
  TempFile file;
  const std::vector<std::string> expected = ExerciseAll(direct);
  std::vector<std::string> got;
  {
    TraceDllParam trace(underTrace, file.path());
    got = ExerciseAll(trace);
  }
  EXPECT_EQ(got, expected);
  ASSERT_EQ(underTrace.Calls().size(), direct.Calls().size());
  for (std::size_t i = 0; i < direct.Calls().size(); ++i) {
    const FakeCall& want = direct.Calls()[i];
    const FakeCall& have = underTrace.Calls()[i];
    EXPECT_EQ(have.op, want.op);
    EXPECT_EQ(have.args, want.args) << want;
    EXPECT_EQ(have.outs, want.outs) << want;
    EXPECT_EQ(have.result, want.result) << want;
  }
  // One line per call, plus the header; none split.
  const std::vector<std::string> lines = ReadLines(file.path());
  EXPECT_EQ(lines.size(), direct.Calls().size() + 1 + 1);  // + GetLastError, not recorded
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_NE(lines[i].find(") -> "), std::string::npos) << lines[i];
  }
}

TEST(TraceWrapping, FollowsTheEnvironment) {
  TempFile file;
  ::unsetenv(kTraceEnvironmentVariable);
  auto fake = std::make_unique<RecordingFake>();
  DllParam* raw = fake.get();
  std::unique_ptr<DllParam> lib = WrapWithTraceFromEnv(std::move(fake));
  EXPECT_EQ(lib.get(), raw);

  ::setenv(kTraceEnvironmentVariable, file.path().c_str(), 1);
  lib = WrapWithTraceFromEnv(std::move(lib));
  EXPECT_NE(lib.get(), raw);
  EXPECT_NE(dynamic_cast<TraceDllParam*>(lib.get()), nullptr);
  lib->Saction("SELECT 1");
  lib.reset();
  EXPECT_EQ(ReadLines(file.path()).size(), 2u);

  ::setenv(kTraceEnvironmentVariable, "/nonexistent/dir/trace.log", 1);
  fake = std::make_unique<RecordingFake>();
  raw = fake.get();
  std::string error;
  lib = WrapWithTraceFromEnv(std::move(fake), &error);
  EXPECT_EQ(lib.get(), raw);
  EXPECT_NE(error.find("/nonexistent/dir/trace.log"), std::string::npos) << error;
  ::unsetenv(kTraceEnvironmentVariable);
}

TEST(TraceWrapping, AppendsToAnExistingFile) {
  TempFile file;
  RecordingFake fake;
  { TraceDllParam first(fake, file.path()); }
  { TraceDllParam second(fake, file.path()); }
  EXPECT_EQ(ReadLines(file.path()).size(), 2u);
}

}  // namespace
}  // namespace qv
