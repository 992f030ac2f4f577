// Tests of a real "qvsource serve" process: it serves a client, stops
// cleanly on SIGTERM, and when it is killed outright while a client holds a
// locked record, no committed change is lost, the lock is taken over, and
// the client's next call fails as a network failure.
#include <gtest/gtest.h>
#include <signal.h>

#include "net_test.h"
#include "support/process.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "support/topology.h"

namespace qv::net::test {
namespace {

using qv::test::Ex;
namespace L = layout;

// A "qvsource serve STORE --listen 127.0.0.1:0" child process, and the
// address it serves, read from the line it prints on stdout:
// "serving PATH on 127.0.0.1:PORT".
struct ServeProcess {
  explicit ServeProcess(const std::string& store)
      : child(QV_QVSOURCE_PATH, {"serve", store, "--listen", "127.0.0.1:0"}, {}) {
    if (!child.WaitForOutput("\n", std::chrono::seconds(20))) return;
    const std::string line = child.Output().substr(0, child.Output().find('\n'));
    address = "127.0.0.1:" + line.substr(line.rfind(':') + 1);
  }
  qv::test::Child child;
  std::string address;
};

// Serves an AS/400 store holding environment AA to a client that has QV_EX
// open for update.
class ServeProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(QV_QVSOURCE_PATH).empty()) GTEST_SKIP() << "qvsource is not built";
    store.Admin().PutRecord(Record(L::QV_EX, Ex("AA", "P", "Production")));
    store.Admin().PutRecord(Record(L::QV_EX, Ex("AB", "P", "Test")));
    serve = std::make_unique<ServeProcess>(store.path());
    ASSERT_FALSE(serve->address.empty());
    client = std::make_unique<LibClient>(qv::test::kAs400, std::make_unique<NetClient>(TestClientOptions()));
    ASSERT_TRUE(client->Connect(serve->address)) << ErrorOf(client->lib());
    h = client->Ropen("QV_EX");
  }

  qv::test::EmbeddedStore store{SourceKind::AS400};
  std::unique_ptr<ServeProcess> serve;
  std::unique_ptr<LibClient> client;
  int32_t h = -1;
};

TEST_F(ServeProcessTest, StopsCleanlyOnSigtermAndLogsEachConnection) {
  ASSERT_TRUE(client->Readk(h, "AA", true, L::QV_EX.length));

  serve->child.Signal(SIGTERM);
  const qv::test::ProcessResult ended = serve->child.Wait();
  EXPECT_EQ(ended.exitCode, 0);
  EXPECT_EQ(client->lib().PingPong(), 0);
  EXPECT_EQ(client->Error().code, DllParam::kCodeNetwork);
  EXPECT_NE(client->Error().text.find("shutting down"), std::string::npos) << client->Error().text;
  for (const char* logged : {"opened (net test, protocol 1)", "closed after 3 requests", "stopped after 1 sessions"})
    EXPECT_NE(ended.err.find(logged), std::string::npos) << ended.err;
}

TEST_F(ServeProcessTest, KilledWhileAClientHoldsALockLosesNoCommittedChange) {
  // A committed change, then a record left locked.
  ASSERT_TRUE(client->Readk(h, "AB", true, L::QV_EX.length));
  const std::string changed = Ex("AB", "P", "Changed before the kill");
  ASSERT_NE(client->lib().Rupdate(h, changed, static_cast<int32_t>(changed.size())), 0) << client->Error().text;
  ASSERT_TRUE(client->Readk(h, "AA", true, L::QV_EX.length));
  // While the server lives its lock holds against this process too.
  LibClient local(qv::test::kAs400, EmbeddedLibrary());
  ASSERT_TRUE(local.Open(store.address())) << local.Error().text;
  const int32_t lh = local.Ropen("QV_EX");
  EXPECT_FALSE(local.Readk(lh, "AA", true, L::QV_EX.length));
  EXPECT_EQ(local.Error().code, DllParam::kCodeBusy) << local.Error().text;

  serve->child.Signal(SIGKILL);
  serve->child.Wait();
  const std::string never = Ex("AA", "P", "Never written");
  EXPECT_EQ(client->lib().Rupdate(h, never, static_cast<int32_t>(never.size())), 0);
  EXPECT_EQ(client->Error().code, DllParam::kCodeNetwork) << client->Error().text;

  EXPECT_EQ(local.Readk(lh, "AB", false, L::QV_EX.length), changed);
  // The dead server's lock is taken over; the record is as it was.
  EXPECT_EQ(local.Readk(lh, "AA", true, L::QV_EX.length), Ex("AA", "P", "Production")) << local.Error().text;
}

}  // namespace
}  // namespace qv::net::test
