// Tests of a real "qvsource serve" process: it serves a client, stops
// cleanly on SIGTERM, and when it is killed outright while a client holds a
// locked record or an open unit of work, no committed change is lost, no
// half unit is kept, and the client's next call fails as a network failure.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <optional>

#include "dllparam/embedded/embedded_source.h"
#include "net/net_fixture.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "support/embedded_store.h"

#ifndef QV_QVSOURCE_PATH
#define QV_QVSOURCE_PATH ""
#endif

namespace qv::net::test {
namespace {

using embedded::SourceKind;
namespace L = layout;

// A "qvsource serve STORE --listen 127.0.0.1:0" child process; the port is
// read from the line it prints on stdout.
class ServeProcess {
 public:
  explicit ServeProcess(const std::string& store, const std::string& logPath) {
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      FILE* log = std::fopen(logPath.c_str(), "w");
      if (log) ::dup2(fileno(log), 2);
      ::close(out[0]);
      ::close(out[1]);
      ::execl(QV_QVSOURCE_PATH, "qvsource", "serve", store.c_str(), "--listen", "127.0.0.1:0",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    // "serving PATH on 127.0.0.1:PORT"
    std::string line;
    char c = 0;
    const auto deadline = DeadlineIn(20000);
    while (line.size() < 4096 && WaitReadable(out[0], deadline).ok() && ::read(out[0], &c, 1) == 1 && c != '\n')
      line += c;
    ::close(out[0]);
    const auto at = line.rfind(':');
    if (at != std::string::npos) address_ = "127.0.0.1:" + line.substr(at + 1);
  }
  ~ServeProcess() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  const std::string& address() const { return address_; }
  bool started() const { return pid_ > 0 && !address_.empty(); }
  void Signal(int sig) { ::kill(pid_, sig); }
  // Waits for the process to end (at most 20 s); returns its wait status.
  std::optional<int> Wait() {
    for (int i = 0; i < 2000; ++i) {
      int status = 0;
      const pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        reaped_ = true;
        return status;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  std::string address_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Record Environment(const std::string& id, const std::string& description) {
  Record r(L::QV_EX);
  r.Set("ENVID", id);
  r.Set("DESCRIP", description);
  return r;
}

class ServeProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(QV_QVSOURCE_PATH).empty()) GTEST_SKIP() << "qvsource is not built";
  }
  std::unique_ptr<NetClient> Connect(const std::string& address, int32_t& conn) {
    auto client = std::make_unique<NetClient>(TestClientOptions());
    std::string v(10, ' '), j(10, ' ');
    EXPECT_NE(client->OpenMConnection(address, v, j, conn), 0) << ErrorOf(*client);
    return client;
  }
};

TEST_F(ServeProcessTest, StopsCleanlyOnSigtermAndLogsEachConnection) {
  qv::test::EmbeddedStore store(SourceKind::AS400);
  store.Admin().PutRecord(Environment("AA", "Production"));
  const std::string log = store.folder() + "/serve.log";
  ServeProcess serve(store.path(), log);
  ASSERT_TRUE(serve.started());
  int32_t conn = 0;
  auto client = Connect(serve.address(), conn);
  int32_t h = -1;
  ASSERT_NE(client->Ropen("QV_USRDATA/QV_EX", DllParam::kModeUpdate, h), 0);
  std::string rec(L::QV_EX.length, ' ');
  int32_t len = 0;
  ASSERT_NE(client->Rreadk(h, rec, len, DllParam::kKeyEqualLocked, "AA", 2), 0);

  serve.Signal(SIGTERM);
  std::optional<int> status = serve.Wait();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status));
  EXPECT_EQ(WEXITSTATUS(*status), 0);
  EXPECT_EQ(client->PingPong(), 0);
  EXPECT_EQ(ErrorCode(*client), DllParam::kCodeNetwork);
  EXPECT_NE(ErrorOf(*client).find("shutting down"), std::string::npos) << ErrorOf(*client);

  const std::string text = ReadFile(log);
  EXPECT_NE(text.find("opened (net test, protocol 1)"), std::string::npos) << text;
  EXPECT_NE(text.find("closed after 3 requests"), std::string::npos) << text;
  EXPECT_NE(text.find("stopped after 1 sessions"), std::string::npos) << text;

  // The lock went with the session: the record is free in-process.
  embedded::EmbeddedSource local;
  std::string v(10, ' '), j(10, ' ');
  int32_t c = 0, lh = -1;
  ASSERT_NE(local.OpenMConnection(store.address(), v, j, c), 0);
  ASSERT_NE(local.Ropen("QV_USRDATA/QV_EX", DllParam::kModeUpdate, lh), 0);
  EXPECT_NE(local.Rreadk(lh, rec, len, DllParam::kKeyEqualLocked, "AA", 2), 0) << ErrorOf(local);
}

TEST_F(ServeProcessTest, KilledWhileAClientHoldsALockLosesNoCommittedChange) {
  qv::test::EmbeddedStore store(SourceKind::AS400);
  store.Admin().PutRecord(Environment("AA", "Production"));
  store.Admin().PutRecord(Environment("AB", "Test"));
  ServeProcess serve(store.path(), store.folder() + "/serve.log");
  ASSERT_TRUE(serve.started());
  int32_t conn = 0;
  auto client = Connect(serve.address(), conn);
  int32_t h = -1;
  ASSERT_NE(client->Ropen("QV_USRDATA/QV_EX", DllParam::kModeUpdate, h), 0);
  std::string rec(L::QV_EX.length, ' ');
  int32_t len = 0;
  // A committed change, then a record left locked.
  ASSERT_NE(client->Rreadk(h, rec, len, DllParam::kKeyEqualLocked, "AB", 2), 0);
  const std::string changed = Environment("AB", "Changed before the kill").image();
  ASSERT_NE(client->Rupdate(h, changed, static_cast<int32_t>(changed.size())), 0) << ErrorOf(*client);
  ASSERT_NE(client->Rreadk(h, rec, len, DllParam::kKeyEqualLocked, "AA", 2), 0);

  serve.Signal(SIGKILL);
  ASSERT_TRUE(serve.Wait().has_value());

  const std::string never = Environment("AA", "Never written").image();
  EXPECT_EQ(client->Rupdate(h, never, static_cast<int32_t>(never.size())), 0);
  EXPECT_EQ(ErrorCode(*client), DllParam::kCodeNetwork) << ErrorOf(*client);

  embedded::EmbeddedSource local;
  std::string v(10, ' '), j(10, ' ');
  int32_t c = 0, lh = -1;
  ASSERT_NE(local.OpenMConnection(store.address(), v, j, c), 0) << ErrorOf(local);
  ASSERT_NE(local.Ropen("QV_USRDATA/QV_EX", DllParam::kModeUpdate, lh), 0);
  ASSERT_NE(local.Rreadk(lh, rec, len, DllParam::kKeyEqualNoLock, "AB", 2), 0);
  EXPECT_EQ(rec, changed);
  // The dead server's lock is taken over; the record is as it was.
  ASSERT_NE(local.Rreadk(lh, rec, len, DllParam::kKeyEqualLocked, "AA", 2), 0) << ErrorOf(local);
  EXPECT_EQ(rec, Environment("AA", "Production").image());
}

TEST_F(ServeProcessTest, KilledInsideAUnitOfWorkKeepsNoHalfOfIt) {
  qv::test::EmbeddedStore store(SourceKind::ODBC);
  ServeProcess serve(store.path(), store.folder() + "/serve.log");
  ASSERT_TRUE(serve.started());
  int32_t conn = 0;
  auto client = Connect(serve.address(), conn);
  std::string out(DllParam::kListBuffer, ' ');
  ASSERT_NE(client->ConnectDSN("DSN=QVSOURCE;UID=QVADMIN;PWD=QVADMIN", " ", " ", out), 0) << ErrorOf(*client);
  // A committed unit, then a unit left open.
  ASSERT_NE(client->SetConnectOption(DllParam::kOptionBeginChange), 0);
  ASSERT_NE(client->Saction("INSERT INTO QV_EX (ENVID, DESCRIP) VALUES ('C1', 'kept')"), 0) << ErrorOf(*client);
  ASSERT_NE(client->SetConnectOption(DllParam::kOptionEndChange), 0);
  ASSERT_NE(client->SetConnectOption(DllParam::kOptionBeginChange), 0);
  ASSERT_NE(client->Saction("INSERT INTO QV_EX (ENVID, DESCRIP) VALUES ('B1', 'half')"), 0);
  ASSERT_NE(client->Saction("UPDATE QV_EX SET DESCRIP = 'half' WHERE ENVID = 'C1'"), 0);

  serve.Signal(SIGKILL);
  ASSERT_TRUE(serve.Wait().has_value());
  EXPECT_EQ(client->SetConnectOption(DllParam::kOptionEndChange), 0);
  EXPECT_EQ(ErrorCode(*client), DllParam::kCodeNetwork) << ErrorOf(*client);

  embedded::StoreAdmin admin = store.Admin();
  std::vector<Record> rows = admin.Records(L::QV_EX);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Trimmed("ENVID"), "C1");
  EXPECT_EQ(rows[0].Trimmed("DESCRIP"), "kept");
}

}  // namespace
}  // namespace qv::net::test
