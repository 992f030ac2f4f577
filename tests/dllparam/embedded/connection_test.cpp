// Connections of the embedded source and its routing library: addresses,
// store files that are refused, current connection and handles, the remote
// commands of an AS/400 source, and two processes writing one store.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "dllparam/source_library.h"
#include "support/lib_client.h"
#include "support/topology.h"
#include "support/embedded_store.h"

namespace qv::test {
namespace {

using embedded::SourceKind;
namespace L = layout;

TEST(EmbeddedAddress, StoreAddressesAreServedOtherAddressesAndFilesAreRefused) {
  EmbeddedStore store(SourceKind::AS400);
  LibClient client;
  EXPECT_GT(client.Open("file:" + store.path()), 0) << client.Error().text;
  EXPECT_GT(client.Open(store.path()), 0) << client.Error().text;
  // Callers upper-case addresses: the path is found without regard to case.
  EXPECT_GT(client.Open(store.address()), 0) << client.Error().text;

  // Without a network client the address is named in the library's own error.
  LibClient local(kAs400, std::make_unique<SourceLibrary>(false));
  EXPECT_EQ(local.Open("AS400.EXAMPLE.COM:1310"), 0);
  EXPECT_EQ(ErrorOf(local.lib()), "network 0 no source server at AS400.EXAMPLE.COM:1310");

  EXPECT_EQ(client.Open("file:" + store.folder() + "/missing.qvs"), 0);
  EXPECT_EQ(ErrorOf(client.lib()).rfind("network 0 no store at", 0), 0u) << ErrorOf(client.lib());

  // Files that are not stores are refused with a text, and left as they were.
  const std::string text = store.folder() + "/notes.txt";
  std::ofstream(text) << "this is not a store, just some notes that are long enough to be read\n";
  const std::string empty = store.folder() + "/empty.qvs";
  std::ofstream(empty).flush();
  const std::string future = store.folder() + "/future.qvs";
  embedded::CreateStore(future, {});
  {
    embedded::Db db = embedded::Db::Open(future, false, 100);
    db.exec("PRAGMA user_version=99");
  }
  for (const std::string& path : {text, empty}) {
    EXPECT_EQ(client.Open("file:" + path), 0) << path;
    EXPECT_EQ(ErrorOf(client.lib()), "refused 0 " + path + " is not a source store");
  }
  EXPECT_EQ(client.Open("file:" + future), 0);
  EXPECT_NE(client.Error().text.find("format 99"), std::string::npos);
  std::ifstream in(text);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first.substr(0, 15), "this is not a s");
}

TEST(EmbeddedConnections, EachCallWorksOnTheCurrentConnectionAndHandlesStayWithTheirs) {
  EmbeddedStore as400(SourceKind::AS400);
  EmbeddedStore sql(SourceKind::SQLServer);
  LibClient client;
  int32_t a = client.Open(as400.address());
  int32_t s = client.Open(sql.address());
  ASSERT_GT(a, 0);
  ASSERT_GT(s, 0);
  EXPECT_NE(a, s);

  // s is current: SQL works after a login, record files do not exist there.
  EXPECT_TRUE(client.Login("DRIVER={SQL Server};SERVER=QVSOURCE;UID=QVADMIN;PWD=QVADMIN"));
  EXPECT_TRUE(client.Sread("SELECT * FROM QV_USRDATA..QV_VER"));
  ASSERT_TRUE(client.lib().SwitchMConnection(a));
  int32_t h = client.Ropen("QV_VER", false);
  ASSERT_GE(h, 0);
  // A refusal's text is bounded, and the next success clears the error state.
  EXPECT_EQ(client.Ropen(std::string(700, 'X')), -1);
  EXPECT_EQ(client.Error().code, DllParam::kCodeRefused);
  EXPECT_LE(client.Error().text.size(), static_cast<size_t>(DllParam::kErrorTextMax));
  ASSERT_TRUE(client.lib().SwitchMConnection(s));
  EXPECT_EQ(ErrorOf(client.lib()), "none 0 ");
  // The file handle still reads the AS/400 store.
  auto ver = client.Readf(h, L::QV_VER.length);
  ASSERT_TRUE(ver) << client.Error().text;
  EXPECT_EQ(ver->substr(0, 1), "0");

  ASSERT_TRUE(client.lib().CloseMConnection(a));
  EXPECT_FALSE(client.Readf(h, L::QV_VER.length));
  EXPECT_EQ(client.Error().code, DllParam::kCodeBadCall);
  EXPECT_FALSE(client.lib().SwitchMConnection(a));
  ASSERT_TRUE(client.lib().CloseMConnection(s));
  EXPECT_FALSE(client.lib().PingPong());
  EXPECT_EQ(client.Error().code, DllParam::kCodeBadCall);
}

TEST(RemoteCommands, MalformedEnvelopesAreRefused) {
  EmbeddedStore store(SourceKind::AS400);
  LibClient client;
  ASSERT_GT(client.Open(store.address()), 0);
  struct Case {
    const char* name;
    std::string code, ctl, data;
  } cases[] = {
      {"control not digits", "RCMD      ", "00000001x0", std::string(100, ' ')},
      {"data shorter than control", "RCMD      ", "0000000100", "00017CHGJOB RUNPTY(20)"},
      {"length not digits", "RCMD      ", "0000000100", "0001xCHGJOB RUNPTY(20)" + std::string(78, ' ')},
      {"length cuts the command", "RCMD      ", "0000000100", "00010CHGJOB RUNPTY(20)" + std::string(78, ' ')},
      {"length beyond the area", "RCMD      ", "0000000030", "00099CHGJOB RUNPTY(20)" + std::string(8, ' ')},
      {"no command", "RCMD      ", "0000000100", "00000" + std::string(95, ' ')},
  };
  for (Case& c : cases) {
    EXPECT_FALSE(client.lib().Execute(c.code, c.ctl, c.data)) << c.name;
    EXPECT_EQ(client.Error().code, DllParam::kCodeBadCall) << c.name;
  }
  EXPECT_FALSE(client.Execute("RCMD", 100, "00020ADDLIBLE NOSUCHLIB"));
  EXPECT_EQ(client.Error().code, DllParam::kCodeRefused);
  EXPECT_FALSE(client.Execute("RCMD", 100, "00008DLTLIB X"));
  EXPECT_EQ(client.Error().code, DllParam::kCodeNotSupported);
  EXPECT_NE(client.Error().text.find("DLTLIB"), std::string::npos);
  EXPECT_FALSE(client.Execute("SYSRUNPGM_", 4096, "04096CUSTOMER  DEMOLIB"));
  EXPECT_EQ(ErrorOf(client.lib()), "not-supported 0 command not supported: SYSRUNPGM_");
}

TEST(EmbeddedProcesses, TwoProcessesWritingOneStoreKeepEveryChange) {
  EmbeddedStore store(SourceKind::SQLServer);
  auto writer = [&](const std::string& env, int units) {
    LibClient c;
    if (c.Open(store.address()) <= 0 || !c.Login(kSqlServer.login)) return false;
    for (int i = 0; i < units; ++i) {
      if (!c.lib().SetConnectOption(DllParam::kOptionBeginChange)) return false;
      for (int j = 0; j < 2; ++j) {
        std::string user = env + "-" + std::to_string(i) + "-" + std::to_string(j);
        if (!c.Saction("INSERT INTO QV_USRDATA..QV_UID (ENVID, USERID) VALUES ('" + env + "', '" + user + "')"))
          return false;
      }
      if (!c.lib().SetConnectOption(DllParam::kOptionEndChange)) return false;
    }
    return true;
  };
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(writer("C", 60) ? 0 : 1);
  bool parentOk = writer("P", 60);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(parentOk);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(store.Admin().Count(L::QV_UID), 240u);
}

}  // namespace
}  // namespace qv::test
