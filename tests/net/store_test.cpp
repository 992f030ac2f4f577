// The same store-level checks run against the embedded source in-process and
// against the same store served over the network: keyed reads, record locks
// across clients, block reads that page, units of work, and a client that
// goes away while it holds locks or an open unit of work.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "dllparam/embedded/embedded_source.h"
#include "dllparam/source_library.h"
#include "net/net_fixture.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "support/embedded_store.h"

namespace qv::net::test {
namespace {

using embedded::SourceKind;
namespace L = layout;

// One user of the store, through its own library object.
class Side {
 public:
  explicit Side(std::unique_ptr<DllParam> lib) : lib_(std::move(lib)) {}

  DllParam& lib() { return *lib_; }
  // Drops the library without closing anything first (a client that dies).
  void Vanish() { lib_.reset(); }

  bool Open(const std::string& address) {
    std::string v(10, ' '), j(10, ' ');
    return lib_->OpenMConnection(address, v, j, conn_) != 0;
  }
  bool Close() { return lib_->CloseMConnection(conn_) != 0; }
  // Logs in to the data source that a new NT store declares.
  bool Login() {
    std::string out(DllParam::kListBuffer, ' ');
    return lib_->ConnectDSN(kLogin, " ", " ", out) != 0;
  }
  static constexpr const char* kLogin = "DSN=QVSOURCE;UID=QVADMIN;PWD=QVADMIN";
  int32_t Ropen(const std::string& file, bool update) {
    int32_t h = -1;
    lib_->Ropen(file, update ? DllParam::kModeUpdate : DllParam::kModeRead, h);
    return h;
  }
  std::optional<std::string> Readk(int32_t h, const std::string& key, bool lock, std::size_t recLen) {
    std::string rec(recLen, ' ');
    int32_t len = 0;
    if (!lib_->Rreadk(h, rec, len, lock ? DllParam::kKeyEqualLocked : DllParam::kKeyEqualNoLock, key,
                      static_cast<int32_t>(key.size())))
      return std::nullopt;
    return rec.substr(0, static_cast<std::size_t>(len));
  }
  // Reads every block of key; returns the records and each block's count.
  std::vector<std::string> Blocks(int32_t h, const Layout& layout, const std::string& key,
                                  std::vector<int32_t>& counts) {
    std::vector<std::string> out;
    for (int guard = 0; guard < 1000; ++guard) {
      std::string buf(DllParam::kBlockBuffer, ' ');
      int32_t count = -1;
      const int32_t r = lib_->Rreadblock(h, buf, count, layout.length, key, static_cast<int32_t>(key.size()));
      counts.push_back(count);
      if (!r) break;
      for (int32_t i = 0; i < count; ++i) out.push_back(buf.substr(static_cast<std::size_t>(i) * layout.length, layout.length));
    }
    return out;
  }
  bool Saction(const std::string& sql) { return lib_->Saction(sql) != 0; }
  bool Option(int32_t option) { return lib_->SetConnectOption(option) != 0; }
  // Tells whether QV_EX of an NT store holds environment id.
  bool HasEnvironment(const std::string& id) {
    int32_t h = -1, len = 0;
    std::string buf(512, ' ');
    const int32_t r = lib_->Sread(h, buf, len, "SELECT * FROM QV_EX WHERE ENVID='" + id + "'", DllParam::kFirstRow);
    if (h >= 0) lib_->Rclose(h);
    return r != 0;
  }
  int32_t Code() { return ErrorCode(*lib_); }
  std::string Error() { return ErrorOf(*lib_); }

 private:
  std::unique_ptr<DllParam> lib_;
  int32_t conn_ = 0;
};

Record Environment(const std::string& id, const std::string& description) {
  Record r(L::QV_EX);
  r.Set("ENVID", id);
  r.Set("ENVTYPE", "0");
  r.Set("DESCRIP", description);
  return r;
}

Record Target(const std::string& env, int n) {
  Record r(L::QV_CX);
  r.Set("ENVID", env);
  r.Set("TGTID", std::to_string(100 + n));
  r.Set("DESCRIP", "target " + std::to_string(n));
  return r;
}

enum class Path { InProcess, Served };

class StoreAccess : public ::testing::TestWithParam<Path> {
 protected:
  // Creates the store, then serves it when the path is the network.
  void Make(SourceKind kind) {
    store_ = std::make_unique<qv::test::EmbeddedStore>(kind);
    if (GetParam() == Path::Served)
      server_ = std::make_unique<ServerThread>(StoreOptions("file:" + store_->path()),
                                               [] { return std::make_unique<embedded::EmbeddedSource>(); });
  }
  // Returns a new user with its connection open.
  std::unique_ptr<Side> NewSide() {
    std::unique_ptr<Side> side;
    if (GetParam() == Path::Served) {
      side = std::make_unique<Side>(std::make_unique<NetClient>(TestClientOptions()));
      EXPECT_TRUE(side->Open(server_->address())) << side->Error();
    } else {
      side = std::make_unique<Side>(std::make_unique<embedded::EmbeddedSource>());
      EXPECT_TRUE(side->Open(store_->address())) << side->Error();
    }
    if (store_->kind() != SourceKind::AS400) {
      EXPECT_TRUE(side->Login()) << side->Error();
    }
    return side;
  }
  embedded::StoreAdmin Admin() { return store_->Admin(); }

  std::unique_ptr<qv::test::EmbeddedStore> store_;
  std::unique_ptr<ServerThread> server_;
};

TEST_P(StoreAccess, KeyedReadFindsTheRecordByItsKey) {
  Make(SourceKind::AS400);
  Admin().PutRecord(Environment("AA", "Production"));
  Admin().PutRecord(Environment("AB", "Test \xE9t\xE9"));
  auto side = NewSide();
  const int32_t h = side->Ropen("QV_USRDATA/QV_EX", false);
  ASSERT_GE(h, 0) << side->Error();
  EXPECT_EQ(side->Readk(h, "AB", false, L::QV_EX.length), Environment("AB", "Test \xE9t\xE9").image());
  EXPECT_EQ(side->Readk(h, "ZZ", false, L::QV_EX.length), std::nullopt);
  EXPECT_EQ(side->Code(), DllParam::kCodeNotFound);
}

TEST_P(StoreAccess, ALockedRecordIsRefusedToAnotherClientUntilUpdated) {
  Make(SourceKind::AS400);
  Admin().PutRecord(Environment("AA", "Production"));
  auto first = NewSide();
  auto second = NewSide();
  const int32_t h1 = first->Ropen("QV_USRDATA/QV_EX", true);
  const int32_t h2 = second->Ropen("QV_USRDATA/QV_EX", true);
  ASSERT_TRUE(first->Readk(h1, "AA", true, L::QV_EX.length));

  EXPECT_EQ(second->Readk(h2, "AA", true, L::QV_EX.length), std::nullopt);
  EXPECT_EQ(second->Code(), DllParam::kCodeBusy) << second->Error();
  EXPECT_TRUE(second->Readk(h2, "AA", false, L::QV_EX.length)) << "reading without a lock is allowed";

  const std::string changed = Environment("AA", "Changed").image();
  ASSERT_NE(first->lib().Rupdate(h1, changed, static_cast<int32_t>(changed.size())), 0) << first->Error();
  EXPECT_EQ(second->Readk(h2, "AA", true, L::QV_EX.length), changed);
}

TEST_P(StoreAccess, BlockReadsPageThroughTheRecordsOfAKey) {
  Make(SourceKind::AS400);
  {
    auto admin = Admin();
    for (int i = 0; i < 30; ++i) admin.PutRecord(Target("AA", 29 - i));
    for (int i = 0; i < 3; ++i) admin.PutRecord(Target("AB", i));
  }
  auto side = NewSide();
  const int32_t h = side->Ropen("QV_USRDATA/QV_CX", false);
  std::vector<int32_t> counts;
  const std::vector<std::string> records = side->Blocks(h, L::QV_CX, "AA", counts);
  EXPECT_EQ(counts, (std::vector<int32_t>{14, 14, 2, 0}));
  EXPECT_EQ(side->Code(), DllParam::kCodeNotFound);
  ASSERT_EQ(records.size(), 30u);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(records[static_cast<std::size_t>(i)], Target("AA", i).image());
}

TEST_P(StoreAccess, AUnitOfWorkReachesTheStoreWholeOrNotAtAll) {
  Make(SourceKind::ODBC);
  auto writer = NewSide();
  auto reader = NewSide();
  ASSERT_TRUE(writer->Option(DllParam::kOptionBeginChange));
  ASSERT_TRUE(writer->Saction("INSERT INTO QV_EX (ENVID, DESCRIP) VALUES ('B1', 'one')")) << writer->Error();
  ASSERT_TRUE(writer->Saction("INSERT INTO QV_EX (ENVID, DESCRIP) VALUES ('B2', 'two')")) << writer->Error();
  ASSERT_TRUE(writer->Option(DllParam::kOptionEndChange));
  EXPECT_TRUE(reader->HasEnvironment("B1"));
  EXPECT_TRUE(reader->HasEnvironment("B2"));

  // A unit abandoned by closing the connection leaves nothing.
  ASSERT_TRUE(writer->Option(DllParam::kOptionBeginChange));
  ASSERT_TRUE(writer->Saction("INSERT INTO QV_EX (ENVID, DESCRIP) VALUES ('B3', 'three')"));
  ASSERT_TRUE(writer->Close());
  EXPECT_FALSE(reader->HasEnvironment("B3"));
  EXPECT_TRUE(reader->HasEnvironment("B1"));
}

// Repeats check (bounded) until it holds: the server notices a client that
// went away a moment after the client is gone.
template <typename Check>
bool Eventually(Check check) {
  for (int i = 0; i < 300; ++i) {
    if (check()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST_P(StoreAccess, AClientThatGoesAwayReleasesItsLocks) {
  Make(SourceKind::AS400);
  Admin().PutRecord(Environment("AA", "Production"));
  auto holder = NewSide();
  auto other = NewSide();
  const int32_t h1 = holder->Ropen("QV_USRDATA/QV_EX", true);
  const int32_t h2 = other->Ropen("QV_USRDATA/QV_EX", true);
  ASSERT_TRUE(holder->Readk(h1, "AA", true, L::QV_EX.length));
  ASSERT_FALSE(other->Readk(h2, "AA", true, L::QV_EX.length));
  holder->Vanish();
  EXPECT_TRUE(Eventually([&] { return other->Readk(h2, "AA", true, L::QV_EX.length).has_value(); }))
      << other->Error();
}

TEST_P(StoreAccess, AClientThatGoesAwayInsideAUnitOfWorkLeavesNothingOfIt) {
  Make(SourceKind::ODBC);
  auto writer = NewSide();
  auto reader = NewSide();
  ASSERT_TRUE(writer->Option(DllParam::kOptionBeginChange));
  ASSERT_TRUE(writer->Saction("INSERT INTO QV_EX (ENVID, DESCRIP) VALUES ('B1', 'one')"));
  writer->Vanish();
  // The store is free for writing again and holds nothing of the unit.
  EXPECT_TRUE(Eventually([&] { return reader->Saction("INSERT INTO QV_EX (ENVID, DESCRIP) VALUES ('C1', 'x')"); }))
      << reader->Error();
  EXPECT_FALSE(reader->HasEnvironment("B1"));
  EXPECT_TRUE(reader->HasEnvironment("C1"));
}

TEST(SourceLibraryRouting, StorePathsStayInProcessAndOtherAddressesGoToTheServer) {
  qv::test::EmbeddedStore local(SourceKind::AS400), remote(SourceKind::AS400);
  local.Admin().PutRecord(Environment("LO", "local"));
  remote.Admin().PutRecord(Environment("RE", "remote"));
  ServerThread server(StoreOptions("file:" + remote.path()), [] { return std::make_unique<embedded::EmbeddedSource>(); });

  Side side(MakeSourceLibrary());
  ASSERT_TRUE(side.Open(local.address())) << side.Error();
  const int32_t hl = side.Ropen("QV_USRDATA/QV_EX", false);
  ASSERT_TRUE(side.Open(server.address())) << side.Error();
  const int32_t hr = side.Ropen("QV_USRDATA/QV_EX", false);
  ASSERT_GE(hl, 0);
  ASSERT_GE(hr, 0);
  EXPECT_EQ(side.Readk(hr, "RE", false, L::QV_EX.length), Environment("RE", "remote").image());
  EXPECT_EQ(side.Readk(hl, "LO", false, L::QV_EX.length), Environment("LO", "local").image());
  EXPECT_EQ(side.Readk(hr, "LO", false, L::QV_EX.length), std::nullopt);
  EXPECT_EQ(side.Code(), DllParam::kCodeNotFound);

  Side nowhere(MakeSourceLibrary());
  EXPECT_FALSE(nowhere.Open("127.0.0.1:" + std::to_string(FreePort())));
  EXPECT_EQ(nowhere.Code(), DllParam::kCodeNetwork);
  EXPECT_NE(nowhere.Error().find("connection refused"), std::string::npos) << nowhere.Error();
}

INSTANTIATE_TEST_SUITE_P(Paths, StoreAccess, ::testing::Values(Path::InProcess, Path::Served),
                         [](const ::testing::TestParamInfo<Path>& info) {
                           return info.param == Path::Served ? "Served" : "InProcess";
                         });

}  // namespace
}  // namespace qv::net::test
