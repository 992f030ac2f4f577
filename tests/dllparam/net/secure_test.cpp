// The guarded source server, through the real server and the real client:
// logins against a users file, TLS with a pinned or CA-checked certificate,
// and the refusal to serve beyond loopback unguarded.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>

#include "dllparam/net/net_tls.h"
#include "dllparam/net/net_users.h"
#include "net_test.h"
#include "support/process.h"
#include "support/scratch.h"

namespace qv::net::test {
namespace {

using qv::test::ReadWholeFile;
using qv::test::RunProcess;
using qv::test::Scratch;
using qv::test::TestCert;

// Serves an NT store with the given guards, counting the sessions that got
// as far as opening the store.
class GuardedServer {
 public:
  explicit GuardedServer(ServerOptions guards) : store_(SourceKind::ODBC) {
    guards.storeAddress = "file:" + store_.path();
    guards.loginDelayMs = 50;
    auto opened = opened_;
    server_ = std::make_unique<ServerThread>(std::move(guards), [opened] {
      opened->fetch_add(1);
      return EmbeddedLibrary();
    });
  }
  ServerThread& server() { return *server_; }
  int Opened() const { return opened_->load(); }

 private:
  qv::test::EmbeddedStore store_;
  std::shared_ptr<std::atomic<int>> opened_ = std::make_shared<std::atomic<int>>(0);
  std::unique_ptr<ServerThread> server_;
};

// Returns server options that serve TLS with cert.
ServerOptions Tls(const TestCert& cert) {
  ServerOptions o;
  o.certFile = cert.cert;
  o.keyFile = cert.key;
  return o;
}

ClientOptions LoggingIn(const std::string& user, const std::string& password) {
  ClientOptions o = TestClientOptions();
  o.login = [user, password] { return Login{user, password}; };
  return o;
}

class LoginTest : public ::testing::Test {
 protected:
  LoginTest() {
    UserFile users;
    users.Set("ALICE", "s3cret-word");
    users.Set("BOB", "other");
    users.Save(dir_ / "users");
    ServerOptions o;
    o.usersFile = dir_ / "users";
    served_ = std::make_unique<GuardedServer>(o);
  }
  Scratch dir_;
  std::unique_ptr<GuardedServer> served_;
};

TEST_F(LoginTest, OnlyTheRightPasswordOfAListedUserOpensASession) {
  struct Case {
    const char* user;
    const char* password;
    bool in;
  };
  for (const Case& c : {Case{"ALICE", "s3cret-word", true}, Case{"ALICE", "other", false},
                        Case{"ALICE", "s3cret-wor", false}, Case{"alice", "s3cret-word", false},
                        Case{"CAROL", "other", false}, Case{"", "", false}}) {
    const int before = served_->Opened();
    LibClient side(qv::test::kOdbc, std::make_unique<NetClient>(LoggingIn(c.user, c.password)));
    const bool connected = side.Connect(served_->server().address());
    EXPECT_EQ(connected, c.in) << c.user << " / " << c.password << ": " << ErrorOf(side.lib());
    if (c.in) {
      EXPECT_TRUE(side.Sread("SELECT COUNT(*) FROM QV_EX").has_value()) << ErrorOf(side.lib());
      continue;
    }
    EXPECT_EQ(served_->Opened(), before) << c.user << ": the store was opened for a refused login";
    EXPECT_EQ(ErrorCode(side.lib()), DllParam::kCodeNetwork);
    EXPECT_NE(ErrorOf(side.lib()).find("login refused"), std::string::npos) << ErrorOf(side.lib());
  }
  EXPECT_TRUE(served_->server().Logged("login refused for user \"ALICE\""));
  EXPECT_TRUE(served_->server().Logged("login refused for user \"\": no user given"));
  for (const std::string& line : served_->server().Logs()) {
    EXPECT_EQ(line.find("other"), std::string::npos) << "a password reached the log: " << line;
    EXPECT_EQ(line.find("s3cret"), std::string::npos) << "a password reached the log: " << line;
  }
}

TEST_F(LoginTest, AClientThatSkipsTheLoginRunsNothing) {
  RawPeer peer(served_->server().port());
  ASSERT_TRUE(peer.SendFrame(FrameKind::Hello, 1, EncodeHello(Hello{1, 1, "raw peer"})));
  Call open{Op::PingPong, {}};
  peer.SendFrame(FrameKind::Call, 2, EncodeCall(open));
  EXPECT_EQ(peer.ReadFaultThenClose(), "login refused");
  EXPECT_EQ(served_->Opened(), 0);
}

TEST_F(LoginTest, AUserAddedWhileServingLogsInAtOnceAndARemovedOneNoLonger) {
  UserFile users = UserFile::Load(dir_ / "users");
  users.Set("CAROL", "new-one");
  users.Remove("ALICE");
  users.Save(dir_ / "users");
  LibClient carol(qv::test::kOdbc, std::make_unique<NetClient>(LoggingIn("CAROL", "new-one")));
  EXPECT_TRUE(carol.Connect(served_->server().address())) << ErrorOf(carol.lib());
  LibClient alice(qv::test::kOdbc, std::make_unique<NetClient>(LoggingIn("ALICE", "s3cret-word")));
  EXPECT_FALSE(alice.Connect(served_->server().address()));
}

TEST(UserFile, KeepsHashesOnlyInAFileOnlyItsOwnerReads) {
  Scratch dir;
  UserFile users;
  users.Set("ALICE", "pa55word");
  users.Save(dir / "users");
  struct stat st {};
  ASSERT_EQ(::stat((dir / "users").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const std::string text = ReadWholeFile(dir / "users");
  EXPECT_EQ(text.find("pa55word"), std::string::npos);
  EXPECT_EQ(text.rfind("ALICE:pbkdf2-sha256$210000$", 0), 0u) << text;

  UserFile back = UserFile::Load(dir / "users");
  EXPECT_TRUE(back.Verify("ALICE", "pa55word"));
  EXPECT_FALSE(back.Verify("ALICE", "pa55worD"));
  EXPECT_FALSE(back.Verify("BOB", "pa55word"));

  // The same password twice gets two salts.
  users.Set("BOB", "pa55word");
  users.Save(dir / "users");
  const std::string again = ReadWholeFile(dir / "users");
  const auto hashOf = [&](const std::string& name) {
    const auto at = again.find(name + ":");
    return again.substr(again.find('$', at), again.find('\n', at) - again.find('$', at));
  };
  EXPECT_NE(hashOf("ALICE"), hashOf("BOB"));

  ASSERT_EQ(::chmod((dir / "users").c_str(), 0640), 0);
  EXPECT_THROW(UserFile::Load(dir / "users"), std::runtime_error);
}

TEST(UserFile, RefusesMalformedLinesNamingThem) {
  Scratch dir;
  UserFile good;
  good.Set("ALICE", "x");
  good.Save(dir / "good");
  const std::string line = ReadWholeFile(dir / "good");
  const std::string rest = line.substr(line.find(':'));  // ":pbkdf2-sha256$210000$SALT$HASH\n"
  const std::string saltAndHash = rest.substr(rest.find('$', 15) + 1);
  struct Case {
    std::string text;
    const char* line;
  };
  for (const Case& c : {Case{"no colon at all\n", "line 3"}, Case{"ALICE" + rest + "ALICE" + rest, "line 4"},
                        Case{rest, "line 3"}, Case{"ALICE:md5$210000$" + saltAndHash, "line 3"},
                        Case{"ALICE:pbkdf2-sha256$12$" + saltAndHash, "line 3"},
                        Case{"ALICE:pbkdf2-sha256$210000$AAAA$" + rest.substr(rest.rfind('$') + 1), "line 3"},
                        Case{"ALICE:pbkdf2-sha256$210000$" + saltAndHash.substr(0, saltAndHash.find('$') + 1) + "AAAA\n",
                             "line 3"}}) {
    std::ofstream(dir / "users") << "# users\n\n" << c.text;
    ::chmod((dir / "users").c_str(), 0600);
    try {
      UserFile::Load(dir / "users");
      ADD_FAILURE() << "took " << c.text;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.line), std::string::npos) << e.what();
    }
  }
  UserFile users;
  for (const char* name : {"", "A:B", "A\nB"}) EXPECT_THROW(users.Set(name, "x"), std::invalid_argument) << name;
  EXPECT_THROW(users.Set("ALICE", ""), std::invalid_argument);
  EXPECT_TRUE(UserFile::Load(dir / "missing", true).Names().empty());
  EXPECT_THROW(UserFile::Load(dir / "missing"), std::runtime_error);
}

TEST(UserCommand, AddsAPasswordReadFromStdinAndListsAndRemovesUsers) {
  if (std::string(QV_QVSOURCE_PATH).empty()) GTEST_SKIP() << "qvsource not built";
  Scratch dir;
  const std::string users = dir / "users";
  // Runs "qvsource user COMMAND --users USERS NAME" with input; returns its exit status.
  const auto user = [&](const std::string& command, const std::string& name, const std::string& input = "") {
    return RunProcess(QV_QVSOURCE_PATH, {"user", command, "--users", users, name}, {}, input).exitCode;
  };
  ASSERT_EQ(user("add", "ALICE", "typed pass\n"), 0);
  ASSERT_EQ(user("add", "BOB", "b\n"), 0);
  EXPECT_TRUE(UserFile::Load(users).Verify("ALICE", "typed pass"));
  EXPECT_EQ(RunProcess(QV_QVSOURCE_PATH, {"user", "list", "--users", users}, {}).out, "ALICE\nBOB\n");
  ASSERT_EQ(user("remove", "ALICE"), 0);
  EXPECT_EQ(UserFile::Load(users).Names(), std::vector<std::string>{"BOB"});
  EXPECT_EQ(user("remove", "ALICE"), 1);
  EXPECT_EQ(user("add", "EMPTY"), 1);
}

class TlsTest : public ::testing::Test {
 protected:
  TlsTest() : cert_(qv::test::MakeTestCert(dir_.path(), "server")), other_(qv::test::MakeTestCert(dir_.path(), "other")) {
    served_ = std::make_unique<GuardedServer>(Tls(cert_));
  }
  // Connects with the address options (and CA file) given; returns the
  // error text ("" when connected).
  std::string ConnectWith(const std::string& options, const std::string& caFile = "") {
    ClientOptions o = TestClientOptions();
    o.tlsCaFile = caFile;
    LibClient side(qv::test::kOdbc, std::make_unique<NetClient>(o));
    if (side.Connect(served_->server().address() + options)) {
      EXPECT_TRUE(side.Sread("SELECT COUNT(*) FROM QV_EX").has_value()) << ErrorOf(side.lib());
      return "";
    }
    return ErrorOf(side.lib());
  }
  Scratch dir_;
  TestCert cert_, other_;
  std::unique_ptr<GuardedServer> served_;
};

TEST_F(TlsTest, TheRightPinOrCaConnectsAndAnyOtherIsRefusedBeforeARequestLeaves) {
  std::string lowered = cert_.fingerprint;
  for (char& ch : lowered) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  EXPECT_EQ(ConnectWith(";pin=" + cert_.fingerprint), "");
  EXPECT_EQ(ConnectWith(";PIN=" + lowered + ";TLS=ON"), "");
  EXPECT_EQ(ConnectWith("", cert_.cert), "");
  EXPECT_EQ(served_->Opened(), 3);
  EXPECT_EQ(CertificateFingerprint(cert_.cert), cert_.fingerprint);

  struct Case {
    std::string options, caFile, says;
  };
  for (const Case& c : {Case{";pin=" + other_.fingerprint, "", "is not the pinned one"},
                        Case{"", other_.cert, "certificate refused"},
                        Case{";pin=" + cert_.fingerprint, other_.cert, "certificate refused"},
                        Case{";pin=1234", "", "pin"}, Case{";ca=x", "", "unknown address option"},
                        Case{";tls=off", "", "source server"}}) {
    const std::string error = ConnectWith(c.options, c.caFile);
    EXPECT_NE(error.find(c.says), std::string::npos) << c.options << ": " << error;
  }
  EXPECT_EQ(served_->Opened(), 3) << "a refused client reached the store";
  int hellos = 0;
  for (const std::string& line : served_->server().Logs()) hellos += line.find(" opened (") != std::string::npos;
  EXPECT_EQ(hellos, 3) << "a refused client sent its hello";
}

TEST_F(TlsTest, AClientTheServerIsTooBusyForReadsWhyInsteadOfAFailedHandshake) {
  ServerOptions o = Tls(cert_);
  o.maxSessions = 1;
  GuardedServer full(o);
  ClientOptions co = TestClientOptions();
  co.tlsPin = cert_.fingerprint;
  LibClient first(qv::test::kOdbc, std::make_unique<NetClient>(co));
  ASSERT_TRUE(first.Connect(full.server().address())) << ErrorOf(first.lib());
  LibClient second(qv::test::kOdbc, std::make_unique<NetClient>(co));
  EXPECT_FALSE(second.Connect(full.server().address()));
  EXPECT_EQ(ErrorOf(second.lib()), "network 0 source server " + full.server().address() +
                                       ": source server busy: 1 sessions already served");
}

TEST_F(TlsTest, ACaCheckedCertificateMustNameTheHostConnectedTo) {
  const TestCert elsewhere = qv::test::MakeTestCert(dir_.path(), "elsewhere", "DNS:elsewhere.example");
  GuardedServer misnamed(Tls(elsewhere));
  ClientOptions co = TestClientOptions();
  co.tlsCaFile = elsewhere.cert;
  LibClient side(qv::test::kOdbc, std::make_unique<NetClient>(co));
  EXPECT_FALSE(side.Connect(misnamed.server().address()));
  EXPECT_NE(ErrorOf(side.lib()).find("certificate refused"), std::string::npos) << ErrorOf(side.lib());
  co.tlsCaFile.clear();
  co.tlsPin = elsewhere.fingerprint;  // a pin names the certificate itself, whatever host it names
  LibClient pinned(qv::test::kOdbc, std::make_unique<NetClient>(co));
  EXPECT_TRUE(pinned.Connect(misnamed.server().address())) << ErrorOf(pinned.lib());
  EXPECT_EQ(misnamed.Opened(), 1);
}

TEST(Listening, BeyondLoopbackNeedsTlsAndUsersOrInsecure) {
  Scratch dir;
  const TestCert cert = qv::test::MakeTestCert(dir.path(), "server");
  UserFile users;
  users.Set("ALICE", "x");
  users.Save(dir / "users");
  struct Case {
    const char* listen;
    bool tls, login, insecure, starts;
  };
  for (const Case& c : {Case{"0.0.0.0:0", false, false, false, false}, Case{"0.0.0.0:0", true, false, false, false},
                        Case{"0.0.0.0:0", true, true, false, true}, Case{"0.0.0.0:0", false, false, true, true},
                        Case{"127.0.0.1:0", false, false, false, true}, Case{"localhost:0", false, false, false, true}}) {
    ServerOptions o = c.tls ? Tls(cert) : ServerOptions{};
    o.listen = c.listen;
    o.storeAddress = "file:/nowhere";
    if (c.login) o.usersFile = dir / "users";
    o.insecure = c.insecure;
    SourceServer server(o, EmbeddedLibrary);
    std::string error;
    EXPECT_EQ(server.Start(&error), c.starts)
        << c.listen << " tls " << c.tls << " login " << c.login << " insecure " << c.insecure << ": " << error;
    if (!c.starts) {
      EXPECT_NE(error.find("--insecure"), std::string::npos) << error;
    }
  }
}

}  // namespace
}  // namespace qv::net::test
