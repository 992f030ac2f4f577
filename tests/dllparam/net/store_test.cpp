// A store served over the network, as its clients see it: keyed reads, record
// locks across clients, units of work, and a client that goes away while it
// holds locks or an open unit of work.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "dllparam/embedded/embedded_source.h"
#include "dllparam/source_library.h"
#include "store/record_layouts.h"
#include "support/embedded_store.h"
#include "support/net_fixture.h"
#include "support/topology.h"

namespace qv::net::test {
namespace {

using embedded::SourceKind;
using qv::test::Ex;
using qv::test::LibClient;
namespace L = layout;

class StoreAccess : public ::testing::Test {
 protected:
  // Creates the store and serves it.
  void Make(SourceKind kind) {
    store_ = std::make_unique<qv::test::EmbeddedStore>(kind);
    server_ = std::make_unique<ServerThread>(StoreOptions("file:" + store_->path()),
                                             [] { return std::make_unique<embedded::EmbeddedSource>(); });
  }
  // Returns a new user with its connection open (and logged in on NT).
  std::unique_ptr<LibClient> NewSide() {
    auto side = std::make_unique<LibClient>(store_->kind() == SourceKind::AS400 ? qv::test::kAs400 : qv::test::kOdbc,
                                            std::make_unique<NetClient>(TestClientOptions()));
    EXPECT_TRUE(side->Connect(server_->address())) << ErrorOf(side->lib());
    return side;
  }
  embedded::StoreAdmin Admin() { return store_->Admin(); }
  static bool HasEnvironment(LibClient& side, const std::string& id) {
    return side.Sread("SELECT * FROM QV_EX WHERE ENVID='" + id + "'", 512).has_value();
  }

  std::unique_ptr<qv::test::EmbeddedStore> store_;
  std::unique_ptr<ServerThread> server_;
};

TEST_F(StoreAccess, KeyedReadsFindTheRecordAndLocksHoldAcrossClientsUntilTheUpdate) {
  Make(SourceKind::AS400);
  Admin().PutRecord(Record(L::QV_EX, Ex("AA", "P", "Production")));
  Admin().PutRecord(Record(L::QV_EX, Ex("AB", "P", "Test \xE9t\xE9")));
  auto first = NewSide();
  auto second = NewSide();
  const int32_t h1 = first->Ropen("QV_EX");
  const int32_t h2 = second->Ropen("QV_EX");
  ASSERT_GE(h1, 0) << ErrorOf(first->lib());
  EXPECT_EQ(first->Readk(h1, "AB", false, L::QV_EX.length), Ex("AB", "P", "Test \xE9t\xE9"));
  EXPECT_EQ(first->Readk(h1, "ZZ", false, L::QV_EX.length), std::nullopt);
  EXPECT_EQ(first->Error().code, DllParam::kCodeNotFound);

  ASSERT_TRUE(first->Readk(h1, "AA", true, L::QV_EX.length));
  EXPECT_EQ(second->Readk(h2, "AA", true, L::QV_EX.length), std::nullopt);
  EXPECT_EQ(second->Error().code, DllParam::kCodeBusy) << ErrorOf(second->lib());
  EXPECT_TRUE(second->Readk(h2, "AA", false, L::QV_EX.length)) << "reading without a lock is allowed";
  const std::string changed = Ex("AA", "P", "Changed");
  ASSERT_NE(first->lib().Rupdate(h1, changed, static_cast<int32_t>(changed.size())), 0) << ErrorOf(first->lib());
  EXPECT_EQ(second->Readk(h2, "AA", true, L::QV_EX.length), changed);
}

TEST_F(StoreAccess, AUnitOfWorkReachesTheStoreWholeOrNotAtAll) {
  Make(SourceKind::ODBC);
  auto writer = NewSide();
  auto reader = NewSide();
  ASSERT_TRUE(writer->Option(DllParam::kOptionBeginChange));
  ASSERT_TRUE(writer->Saction("INSERT INTO QV_EX (ENVID, DESCRIP) VALUES ('B1', 'one')")) << ErrorOf(writer->lib());
  ASSERT_TRUE(writer->Saction("INSERT INTO QV_EX (ENVID, DESCRIP) VALUES ('B2', 'two')")) << ErrorOf(writer->lib());
  ASSERT_TRUE(writer->Option(DllParam::kOptionEndChange));
  EXPECT_TRUE(HasEnvironment(*reader, "B1"));
  EXPECT_TRUE(HasEnvironment(*reader, "B2"));
  // A unit abandoned by closing the connection leaves nothing.
  ASSERT_TRUE(writer->Option(DllParam::kOptionBeginChange));
  ASSERT_TRUE(writer->Saction("INSERT INTO QV_EX (ENVID, DESCRIP) VALUES ('B3', 'three')"));
  ASSERT_TRUE(writer->Close());
  EXPECT_FALSE(HasEnvironment(*reader, "B3"));
  EXPECT_TRUE(HasEnvironment(*reader, "B1"));
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

TEST_F(StoreAccess, AClientThatGoesAwayReleasesItsLocks) {
  Make(SourceKind::AS400);
  Admin().PutRecord(Record(L::QV_EX, Ex("AA", "P", "Production")));
  auto holder = NewSide();
  auto other = NewSide();
  const int32_t h1 = holder->Ropen("QV_EX");
  const int32_t h2 = other->Ropen("QV_EX");
  ASSERT_TRUE(holder->Readk(h1, "AA", true, L::QV_EX.length));
  ASSERT_FALSE(other->Readk(h2, "AA", true, L::QV_EX.length));
  holder->Vanish();
  EXPECT_TRUE(Eventually([&] { return other->Readk(h2, "AA", true, L::QV_EX.length).has_value(); }))
      << ErrorOf(other->lib());
}

TEST_F(StoreAccess, AClientThatGoesAwayInsideAUnitOfWorkLeavesNothingOfIt) {
  Make(SourceKind::ODBC);
  auto writer = NewSide();
  auto reader = NewSide();
  ASSERT_TRUE(writer->Option(DllParam::kOptionBeginChange));
  ASSERT_TRUE(writer->Saction("INSERT INTO QV_EX (ENVID, DESCRIP) VALUES ('B1', 'one')"));
  writer->Vanish();
  // The store is free for writing again and holds nothing of the unit.
  EXPECT_TRUE(Eventually([&] { return reader->Saction("INSERT INTO QV_EX (ENVID, DESCRIP) VALUES ('C1', 'x')"); }))
      << ErrorOf(reader->lib());
  EXPECT_FALSE(HasEnvironment(*reader, "B1"));
  EXPECT_TRUE(HasEnvironment(*reader, "C1"));
}

TEST(SourceLibraryRouting, StorePathsStayInProcessAndOtherAddressesGoToTheServer) {
  qv::test::EmbeddedStore local(SourceKind::AS400), remote(SourceKind::AS400);
  local.Admin().PutRecord(Record(L::QV_EX, Ex("LO", "P", "local")));
  remote.Admin().PutRecord(Record(L::QV_EX, Ex("RE", "P", "remote")));
  ServerThread server(StoreOptions("file:" + remote.path()), [] { return std::make_unique<embedded::EmbeddedSource>(); });
  LibClient side(qv::test::kAs400, MakeSourceLibrary());
  ASSERT_TRUE(side.Open(local.address())) << ErrorOf(side.lib());
  const int32_t hl = side.Ropen("QV_EX", false);
  ASSERT_TRUE(side.Open(server.address())) << ErrorOf(side.lib());
  const int32_t hr = side.Ropen("QV_EX", false);
  ASSERT_GE(hl, 0);
  ASSERT_GE(hr, 0);
  EXPECT_EQ(side.Readk(hr, "RE", false, L::QV_EX.length), Ex("RE", "P", "remote"));
  EXPECT_EQ(side.Readk(hl, "LO", false, L::QV_EX.length), Ex("LO", "P", "local"));
  EXPECT_EQ(side.Readk(hr, "LO", false, L::QV_EX.length), std::nullopt);
  EXPECT_EQ(side.Error().code, DllParam::kCodeNotFound);
}

}  // namespace
}  // namespace qv::net::test
