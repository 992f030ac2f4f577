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
#include "support/net_fixture.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "support/embedded_store.h"
#include "support/topology.h"

#ifndef QV_QVSOURCE_PATH
#define QV_QVSOURCE_PATH ""
#endif

namespace qv::net::test {
namespace {

using embedded::SourceKind;
using qv::test::LibClient;
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

std::string Env(const std::string& id, const std::string& description) {
  return qv::test::Ex(id, "P", description);
}

class ServeProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(QV_QVSOURCE_PATH).empty()) GTEST_SKIP() << "qvsource is not built";
  }
  // A client of the served store, and one of the store in-process.
  static std::unique_ptr<LibClient> Served(const std::string& address, const qv::test::Kind& kind) {
    auto client = std::make_unique<LibClient>(kind, std::make_unique<NetClient>(TestClientOptions()));
    EXPECT_TRUE(client->Connect(address)) << ErrorOf(client->lib());
    return client;
  }
  static std::unique_ptr<LibClient> Local(const qv::test::EmbeddedStore& store) {
    auto client = std::make_unique<LibClient>(qv::test::kAs400, std::make_unique<embedded::EmbeddedSource>());
    EXPECT_TRUE(client->Open(store.address())) << ErrorOf(client->lib());
    return client;
  }
};

TEST_F(ServeProcessTest, StopsCleanlyOnSigtermAndLogsEachConnection) {
  qv::test::EmbeddedStore store(SourceKind::AS400);
  store.Admin().PutRecord(Record(L::QV_EX, Env("AA", "Production")));
  const std::string log = store.folder() + "/serve.log";
  ServeProcess serve(store.path(), log);
  ASSERT_TRUE(serve.started());
  auto client = Served(serve.address(), qv::test::kAs400);
  const int32_t h = client->Ropen("QV_EX");
  ASSERT_TRUE(client->Readk(h, "AA", true, L::QV_EX.length));

  serve.Signal(SIGTERM);
  std::optional<int> status = serve.Wait();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status));
  EXPECT_EQ(WEXITSTATUS(*status), 0);
  EXPECT_EQ(client->lib().PingPong(), 0);
  EXPECT_EQ(client->Error().code, DllParam::kCodeNetwork);
  EXPECT_NE(client->Error().text.find("shutting down"), std::string::npos) << client->Error().text;
  const std::string text = ReadFile(log);
  EXPECT_NE(text.find("opened (net test, protocol 1)"), std::string::npos) << text;
  EXPECT_NE(text.find("closed after 3 requests"), std::string::npos) << text;
  EXPECT_NE(text.find("stopped after 1 sessions"), std::string::npos) << text;
  // The lock went with the session: the record is free in-process.
  auto local = Local(store);
  EXPECT_TRUE(local->Readk(local->Ropen("QV_EX"), "AA", true, L::QV_EX.length)) << local->Error().text;
}

TEST_F(ServeProcessTest, KilledWhileAClientHoldsALockLosesNoCommittedChange) {
  qv::test::EmbeddedStore store(SourceKind::AS400);
  store.Admin().PutRecord(Record(L::QV_EX, Env("AA", "Production")));
  store.Admin().PutRecord(Record(L::QV_EX, Env("AB", "Test")));
  ServeProcess serve(store.path(), store.folder() + "/serve.log");
  ASSERT_TRUE(serve.started());
  auto client = Served(serve.address(), qv::test::kAs400);
  const int32_t h = client->Ropen("QV_EX");
  // A committed change, then a record left locked.
  ASSERT_TRUE(client->Readk(h, "AB", true, L::QV_EX.length));
  const std::string changed = Env("AB", "Changed before the kill");
  ASSERT_NE(client->lib().Rupdate(h, changed, static_cast<int32_t>(changed.size())), 0) << client->Error().text;
  ASSERT_TRUE(client->Readk(h, "AA", true, L::QV_EX.length));

  serve.Signal(SIGKILL);
  ASSERT_TRUE(serve.Wait().has_value());
  const std::string never = Env("AA", "Never written");
  EXPECT_EQ(client->lib().Rupdate(h, never, static_cast<int32_t>(never.size())), 0);
  EXPECT_EQ(client->Error().code, DllParam::kCodeNetwork) << client->Error().text;

  auto local = Local(store);
  const int32_t lh = local->Ropen("QV_EX");
  EXPECT_EQ(local->Readk(lh, "AB", false, L::QV_EX.length), changed);
  // The dead server's lock is taken over; the record is as it was.
  EXPECT_EQ(local->Readk(lh, "AA", true, L::QV_EX.length), Env("AA", "Production")) << local->Error().text;
}

TEST_F(ServeProcessTest, KilledInsideAUnitOfWorkKeepsNoHalfOfIt) {
  qv::test::EmbeddedStore store(SourceKind::ODBC);
  ServeProcess serve(store.path(), store.folder() + "/serve.log");
  ASSERT_TRUE(serve.started());
  auto client = Served(serve.address(), qv::test::kOdbc);
  // A committed unit, then a unit left open.
  ASSERT_TRUE(client->Option(DllParam::kOptionBeginChange));
  ASSERT_TRUE(client->Saction("INSERT INTO QV_EX (ENVID, DESCRIP) VALUES ('C1', 'kept')")) << client->Error().text;
  ASSERT_TRUE(client->Option(DllParam::kOptionEndChange));
  ASSERT_TRUE(client->Option(DllParam::kOptionBeginChange));
  ASSERT_TRUE(client->Saction("INSERT INTO QV_EX (ENVID, DESCRIP) VALUES ('B1', 'half')"));
  ASSERT_TRUE(client->Saction("UPDATE QV_EX SET DESCRIP = 'half' WHERE ENVID = 'C1'"));

  serve.Signal(SIGKILL);
  ASSERT_TRUE(serve.Wait().has_value());
  EXPECT_FALSE(client->Option(DllParam::kOptionEndChange));
  EXPECT_EQ(client->Error().code, DllParam::kCodeNetwork) << client->Error().text;
  const std::vector<Record> rows = store.Admin().Records(L::QV_EX);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Trimmed("ENVID"), "C1");
  EXPECT_EQ(rows[0].Trimmed("DESCRIP"), "kept");
}

}  // namespace
}  // namespace qv::net::test
