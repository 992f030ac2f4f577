// A store served over the network, as its clients see it: units of work
// whole or not at all, and the routing library that sends store paths
// in-process and other addresses to the server.
#include <gtest/gtest.h>

#include <optional>

#include "dllparam/source_library.h"
#include "net_test.h"
#include "store/record_layouts.h"
#include "support/topology.h"

namespace qv::net::test {
namespace {

using qv::test::Ex;
namespace L = layout;

class StoreAccess : public ::testing::Test {
 protected:
  // Returns a new user with its connection open and logged in.
  std::unique_ptr<LibClient> NewSide() {
    auto side = std::make_unique<LibClient>(qv::test::kOdbc, std::make_unique<NetClient>(TestClientOptions()));
    EXPECT_TRUE(side->Connect(server_.address())) << ErrorOf(side->lib());
    return side;
  }
  static bool HasEnvironment(LibClient& side, const std::string& id) {
    return side.Sread("SELECT * FROM QV_EX WHERE ENVID='" + id + "'", 512).has_value();
  }

  qv::test::EmbeddedStore store_{SourceKind::ODBC};
  ServerThread server_{StoreOptions("file:" + store_.path()), EmbeddedLibrary};
};

TEST_F(StoreAccess, AUnitOfWorkReachesTheStoreWholeOrNotAtAll) {
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

TEST(SourceLibraryRouting, StorePathsStayInProcessAndOtherAddressesGoToTheServer) {
  qv::test::EmbeddedStore local(SourceKind::AS400), remote(SourceKind::AS400);
  local.Admin().PutRecord(Record(L::QV_EX, Ex("LO", "P", "local")));
  remote.Admin().PutRecord(Record(L::QV_EX, Ex("RE", "P", "remote")));
  ServerThread server(StoreOptions("file:" + remote.path()), EmbeddedLibrary);
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
