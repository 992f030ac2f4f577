// Tests of the network client against a source server that serves the
// recording fake: every member travels with its arguments and buffers,
// several connections at once, failures of the network told apart from the
// source's refusals, a server that keeps serving after bad input, and a store
// whose units of work reach it whole or not at all.
#include <gtest/gtest.h>

#include "net_test.h"
#include "support/recording_fake.h"

namespace qv::net::test {
namespace {

using qv::test::FakeAnswer;
using qv::test::FakeCall;
using qv::test::RecordingFake;

// Scripts a fake with answers for every kind of output.
void Script(RecordingFake& fake) {
  fake.On("Rreadk").Key("AA").Record(std::string("AA0Production") + std::string(203, ' '));
  fake.On("Rreadk").Key("ZZ").NotFound();
  fake.On("Rreadf").Records({std::string("F1\0x", 4), "F2"});
  fake.On("Rreadblock").Records({"B1", "B2", "B3"});
  fake.On("RreadblockD").Records({"D1"});
  fake.On("Rwrite").Fail(DllParam::kCodeRefused, 1022, "duplicate key in QV_EX");
  fake.On("Sread").Sql("SELECT * FROM QV_VER ").Rows({"0V1R0M0   1", "second"});
  fake.On("Sreadblock").SqlPrefix("SELECT * FROM QV_FX").Rows({"R1", "R2"});
  fake.On("Saction").SqlMatches("^DELETE").Fail(DllParam::kCodeRefused, 547, "conflict with FK_FC");
  fake.On("ConnectDSN").Out("DSN=QV;UID=ME;PWD=*");
  fake.SetConfigString("QV_for_SQLServer", "ServerName", "SQLHOST\xE9");
  fake.On("GetDBParamKeys").Outs({"DSN=QV", "SQL Server", "QVADMIN", "SECRET", "QVDB"});
  fake.On("Execute").Code("RCMD").Reply("00017CHGJOB RUNPTY(20)");
  fake.On("SJobList").Reply("00001\tSAAT01GP1 42\t");
  fake.On("Activity").Reply(std::string(41, 'H') + std::string(261, 'A'));
  fake.On("ReadQVMSGQ").Answer([] {
    FakeAnswer a = FakeAnswer::Ok("0004500001message");
    a.number = 7;
    return a;
  }());
  fake.On("FillTBL").Out("dbo.ORDERS\tdbo.LINES\t");
  fake.On("GetPrimaryKey").Out("CODE\t");
  fake.On("TableNTExist").Return(1);
  fake.On("DeleteFile").NotFound();
  fake.On("StrReplication").Fail(DllParam::kCodeNotSupported, 0, "not here");
}

// Calls every member of lib once or more with buffers that are not blank,
// and writes each result, the outputs and the error state as one line.
std::vector<std::string> RunEveryMember(DllParam& lib, const std::string& address) {
  std::vector<std::string> log;
  auto note = [&](const std::string& what, int32_t r, std::initializer_list<std::string> outs) {
    std::string line = what + " -> " + std::to_string(r);
    for (const std::string& o : outs) line += " [" + o + "]";
    line += " " + ErrorOf(lib);
    log.push_back(line);
  };
  auto buf = [](std::size_t n) { return std::string(n, '#'); };
  auto isOpen = [](int32_t h) { return std::string(h >= 0 ? "handle" : "none"); };

  std::string ver = buf(10), job = buf(10);
  int32_t conn = 0;
  note("OpenMConnection", lib.OpenMConnection(address, ver, job, conn), {ver, job});
  note("PingPong", lib.PingPong(), {});

  int32_t h = -1;
  note("Ropen", lib.Ropen("QV_USRDATA/QV_EX", DllParam::kModeUpdate, h), {isOpen(h)});
  std::string rec = buf(216);
  int32_t len = -5;
  note("Rreadk AA", lib.Rreadk(h, rec, len, DllParam::kKeyEqualLocked, "AA", 2), {rec, std::to_string(len)});
  note("Rupdate", lib.Rupdate(h, rec, 216), {});
  note("Rreadk ZZ", lib.Rreadk(h, rec, len, DllParam::kKeyEqualNoLock, "ZZ", 2), {rec, std::to_string(len)});
  note("Rdelete", lib.Rdelete(h), {});
  rec = buf(8);
  note("Rreadf", lib.Rreadf(h, rec, len, 1), {rec, std::to_string(len)});
  note("Rreadn", lib.Rreadn(h, rec, len, 1), {rec, std::to_string(len)});
  note("Rreadn", lib.Rreadn(h, rec, len, 1), {rec, std::to_string(len)});
  std::string block = buf(10);
  int32_t count = -1;
  note("Rreadblock", lib.Rreadblock(h, block, count, 2, "A", 1), {block, std::to_string(count)});
  note("Rreadblock", lib.Rreadblock(h, block, count, 2, "A", 1), {block, std::to_string(count)});
  note("RreadblockD", lib.RreadblockD(h, block, count, 2), {block, std::to_string(count)});
  note("Rwrite", lib.Rwrite(h, std::string("AA\0new", 6), 6), {});
  note("Rclose", lib.Rclose(h), {});

  int32_t stmt = -1, flag = -1;
  std::string row = buf(32);
  note("Sread", lib.Sread(stmt, row, len, "SELECT * FROM QV_VER ", 0), {isOpen(stmt), row, std::to_string(len)});
  note("Snext", lib.Snext(stmt, row, len, flag), {row, std::to_string(len), std::to_string(flag)});
  note("Snext", lib.Snext(stmt, row, len, flag), {row, std::to_string(len), std::to_string(flag)});
  int32_t stmt2 = -1;
  std::string rows = buf(4096);
  note("Sreadblock", lib.Sreadblock(stmt2, rows, len, "SELECT * FROM QV_FX WHERE 1=1", "1", flag),
       {isOpen(stmt2), rows.substr(0, 12), std::to_string(len), std::to_string(flag)});
  note("Rclose stmt", lib.Rclose(stmt), {});
  note("Rclose stmt2", lib.Rclose(stmt2), {});
  note("Saction", lib.Saction("DELETE FROM QV_EX WHERE ENVID='A'''"), {});
  note("SetConnectOption", lib.SetConnectOption(DllParam::kOptionBeginChange), {});

  std::string out = buf(64);
  note("ConnectDSN", lib.ConnectDSN("DSN=QV;", "ME", "PW", out), {out});
  note("CloseConnectionDSN", lib.CloseConnectionDSN("DSN=QV;", out), {out});
  std::string value = buf(255);
  note("GetConfigString", lib.GetConfigStringWithoutDefVal("QV_for_SQLServer", "ServerName", value, len),
       {value.substr(0, 12), std::to_string(len)});
  note("GetConfigString missing", lib.GetConfigStringWithoutDefVal("QV_for_Oracle", "X", value, len),
       {std::to_string(len)});
  std::string a = buf(255), b = buf(100), c = buf(20), d = buf(20), e = buf(20);
  note("GetDBParamKeys", lib.GetDBParamKeys(a, b, c, d, e), {a.substr(0, 10), b.substr(0, 12), c, d, e});
  std::string name = buf(255);
  note("GetComputerName", lib.GetComputerName(name), {name.substr(0, 10)});

  std::string code = "RCMD      ", ctl = "0000000100", data = "00017CHGJOB RUNPTY(20)" + std::string(78, ' ') + '\0';
  note("Execute", lib.Execute(code, ctl, data), {code, ctl, data});
  note("StrReplication", lib.StrReplication("AAT01GP1", "SQL_", "*"), {});
  std::string answer = buf(4096);
  note("SJobList", lib.SJobList("SAAT01GP1 ", answer, "SQL_"), {answer.substr(0, 24)});
  std::string act = "SAAT01GP1 " + std::string(1014, ' ');
  note("Activity", lib.Activity(act, " 00001024F"), {act.substr(0, 310)});
  std::string queue = std::string("QVMSGQ.QVM") + std::string(16990, ' ');
  int32_t qcount = 3;
  note("ReadQVMSGQ", lib.ReadQVMSGQ(queue, qcount, "SQL_"), {queue.substr(0, 30), std::to_string(qcount)});
  note("WriteFile", lib.WriteFile("QVMSGQ.QVM", "", DllParam::kReplaceFile), {});
  note("DeleteFile", lib.DeleteFile("SAAT01GP1"), {});
  note("WriteFileWithFullPath", lib.WriteFileWithFullPath("C:\\QV\\x.txt", "line\r\n", 0), {});
  note("DeleteFileWithFullPath", lib.DeleteFileWithFullPath("C:\\QV\\x.txt"), {});

  std::string list = buf(32000);
  note("GetDSNsAndDrivers", lib.GetDSNsAndDrivers(list, len, 1), {list.substr(0, 5), std::to_string(len)});
  note("FillDB", lib.FillDB("NEANT", list, len, 1), {list.substr(0, 5), std::to_string(len)});
  note("FillTBL", lib.FillTBL("QVDB", "%", list, len, 1), {list.substr(0, 30), std::to_string(len)});
  note("FillColumnsList", lib.FillColumnsList("QVDB", "ORDERS", "%", list, len, 1), {std::to_string(len)});
  note("FillColumnsListSource", lib.FillColumnsListSource("d", "QVDB..ORDERS", list, len, 0), {std::to_string(len)});
  std::string keys = buf(4096);
  note("GetPrimaryKey", lib.GetPrimaryKey("QVDB..ORDERS", keys, len), {keys.substr(0, 8), std::to_string(len)});
  note("TableNTExist", lib.TableNTExist("QVDB..ORDERS"), {});
  note("CreateTable", lib.CreateTable("QVDB..T", "CODE CHAR(10) NOT NULL"), {});
  note("BuildReceiverListNT", lib.BuildReceiverListNT("J", "L", keys, len, 1), {std::to_string(len)});
  note("CloseMConnection", lib.CloseMConnection(conn), {});
  return log;
}

// Returns the calls the fake received, without the switches the shared
// server makes and with the address of the open left out.
std::vector<std::string> CallsSeen(const RecordingFake& fake) {
  std::vector<std::string> out;
  for (FakeCall call : fake.Calls()) {
    if (call.op == "SwitchMConnection") continue;
    if (call.op == "OpenMConnection") call.args[0] = "(address)";
    out.push_back(call.ToString());
  }
  return out;
}

TEST(NetClient, EveryMemberGivesWhatTheLibraryGivesInProcess) {
  RecordingFake direct;
  Script(direct);
  const std::vector<std::string> expected = RunEveryMember(direct, "FAKE");

  RecordingFake served;
  Script(served);
  ServerThread server(StoreOptions("FAKE"), served);
  NetClient client(TestClientOptions());
  const std::vector<std::string> got = RunEveryMember(client, server.address());

  EXPECT_EQ(got, expected);
  EXPECT_EQ(CallsSeen(served), CallsSeen(direct));
}

TEST(NetClient, ConnectionsToTwoServersKeepTheirHandlesApart) {
  RecordingFake fakeA, fakeB;
  fakeA.On("Rreadk").Repeatedly().Record("FROM-A");
  fakeB.On("Rreadk").Repeatedly().Record("FROM-B");
  ServerThread a(StoreOptions("A"), fakeA);
  ServerThread b(StoreOptions("B"), fakeB);
  NetClient client(TestClientOptions());
  const int32_t ca1 = Open(client, a.address()), ca2 = Open(client, a.address()), cb = Open(client, b.address());
  ASSERT_TRUE(ca1 && ca2 && cb) << ErrorOf(client);
  EXPECT_EQ(client.ConnectionCount(), 3u);
  EXPECT_NE(ca1, ca2);

  int32_t hb = -1, ha = -1;
  ASSERT_NE(client.Ropen("QV_USRDATA/QV_EX", DllParam::kModeRead, hb), 0);  // on cb, current
  ASSERT_NE(client.SwitchMConnection(ca1), 0);
  ASSERT_NE(client.Ropen("QV_USRDATA/QV_EX", DllParam::kModeRead, ha), 0);
  EXPECT_NE(ha, hb);

  // A handle call goes to the connection that opened the handle, whatever is current.
  std::string rec(6, ' ');
  int32_t len = 0;
  ASSERT_NE(client.Rreadk(hb, rec, len, DllParam::kKeyEqualNoLock, "K", 1), 0);
  EXPECT_EQ(rec, "FROM-B");
  ASSERT_NE(client.Rreadk(ha, rec, len, DllParam::kKeyEqualNoLock, "K", 1), 0);
  EXPECT_EQ(rec, "FROM-A");

  // Closing one connection forgets its handles and leaves the others.
  ASSERT_NE(client.CloseMConnection(cb), 0);
  EXPECT_EQ(client.Rreadk(hb, rec, len, DllParam::kKeyEqualNoLock, "K", 1), 0);
  EXPECT_EQ(ErrorCode(client), DllParam::kCodeBadCall);
  EXPECT_NE(client.PingPong(), 0) << "ca1 is still current";
  ASSERT_NE(client.CloseMConnection(ca1), 0);
  EXPECT_EQ(client.PingPong(), 0);
  EXPECT_EQ(ErrorOf(client), "bad-call 0 no current connection");
  EXPECT_EQ(client.SwitchMConnection(ca1), 0);
  EXPECT_EQ(client.SwitchMConnection(ca2), 1);
  EXPECT_NE(client.PingPong(), 0);
  EXPECT_EQ(client.CloseMConnection(12345), 0);
  EXPECT_EQ(ErrorCode(client), DllParam::kCodeBadCall);
}

TEST(NetClientFailure, NoServerListeningIsANetworkFailureAndAStoreThatWillNotOpenARefusal) {
  const uint16_t port = FreePort();
  NetClient client(TestClientOptions());
  std::string v(10, ' '), j(10, ' ');
  int32_t conn = 77;
  EXPECT_EQ(client.OpenMConnection("127.0.0.1:" + std::to_string(port), v, j, conn), 0);
  EXPECT_EQ(ErrorOf(client), "network 111 no source server at 127.0.0.1:" + std::to_string(port) +
                                 ": connection refused");
  EXPECT_EQ(conn, 77);
  EXPECT_EQ(client.ConnectionCount(), 0u);

  // A source that cannot open its store refuses the open.
  RecordingFake fake;
  fake.On("OpenMConnection").Fail(DllParam::kCodeRefused, 0, "/srv/x.qvs is not a source store");
  ServerThread server(StoreOptions("FAKE"), fake);
  EXPECT_EQ(client.OpenMConnection(server.address(), v, j, conn), 0);
  EXPECT_EQ(ErrorOf(client), "refused 0 /srv/x.qvs is not a source store");
  EXPECT_EQ(client.ConnectionCount(), 0u);
}

TEST(NetClientFailure, ACallThatOutlastsItsTimeoutKillsTheConnection) {
  RecordingFake fake;
  fake.On("Saction").Compute([](const FakeCall&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    return FakeAnswer::Ok("");
  });
  ServerThread server(StoreOptions("FAKE"), fake);
  NetClient client(TestClientOptions(/*callMs=*/150));
  const int32_t conn = Open(client, server.address());
  ASSERT_NE(conn, 0) << ErrorOf(client);
  EXPECT_EQ(client.Saction("UPDATE QV_EX SET HOLD='1'"), 0);
  EXPECT_EQ(ErrorOf(client), "network 110 source server " + server.address() + " did not answer within 0.15 s");
  EXPECT_FALSE(client.Alive(conn));
  // Every later call fails at once, without waiting again.
  EXPECT_EQ(client.PingPong(), 0);
  EXPECT_EQ(ErrorCode(client), DllParam::kCodeNetwork);
  EXPECT_NE(ErrorOf(client).find("close it and open a new one"), std::string::npos);
  EXPECT_NE(client.CloseMConnection(conn), 0);
  EXPECT_EQ(client.ConnectionCount(), 0u);
}

// ---- A live server under bad input -------------------------------------------------

class BadInput : public ::testing::Test {
 protected:
  void SetUp() override { server_ = std::make_unique<ServerThread>(StoreOptions("FAKE"), fake_); }

  // Checks that an ordinary client is still served.
  void ExpectServed() {
    NetClient client(TestClientOptions());
    const int32_t conn = Open(client, server_->address());
    ASSERT_NE(conn, 0) << ErrorOf(client);
    EXPECT_NE(client.PingPong(), 0);
    EXPECT_NE(client.CloseMConnection(conn), 0);
  }

  RecordingFake fake_;
  std::unique_ptr<ServerThread> server_;
};

TEST_F(BadInput, AFrameItCannotServeGetsAFaultAndTheConnectionClosed) {
  struct Case {
    bool handshake;
    std::string bytes;
    const char* says;
  };
  const Case cases[] = {
      {true, std::string("\x7F\xFF\xFF\xFF", 4), "exceeds the limit"},
      {false, EncodeFrame(FrameKind::Hello, 1, EncodeHello(Hello{7, 9, "future"})), "protocol versions 7..9 not served"},
      {false, EncodeFrame(FrameKind::Call, 1, EncodeCall(Call{Op::PingPong, {}})), "expected a hello frame"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    RawPeer peer(server_->port());
    if (c.handshake) peer.Handshake();
    ASSERT_TRUE(peer.Send(c.bytes));
    EXPECT_NE(peer.ReadFaultThenClose().find(c.says), std::string::npos);
  }
  // The oversized frame was refused from its length alone.
  EXPECT_TRUE(server_->Logged("refused: a frame of 2147483647 bytes exceeds the limit of " +
                              std::to_string(kServerMaxFrame)));
  ExpectServed();
}


// Returns the call that opens a session's connection.
Call OpenCall() {
  return Call{Op::OpenMConnection,
              {Value{0, "X"}, Value{0, std::string(10, ' ')}, Value{0, std::string(10, ' ')}, Value{0, {}}}};
}

// A client that goes away in the middle of a frame ends its session, and the
// connection it left open is closed on the shared library.
TEST_F(BadInput, AFrameCutShortEndsItsSessionAndTheServerServesOn) {
  {
    RawPeer peer(server_->port());
    peer.Handshake();
    Frame f;
    ASSERT_TRUE(peer.SendFrame(FrameKind::Call, 2, EncodeCall(OpenCall())));
    ASSERT_TRUE(peer.Read(f).ok());
    ASSERT_TRUE(peer.Send(std::string("\x00\x00\x01\x00\x04", 5)));  // 256 bytes announced, 1 sent
  }
  ExpectServed();
  for (int i = 0; i < 500 && server_->server().ActiveSessions() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(server_->server().ActiveSessions(), 0u);
  server_->Stop();
  EXPECT_EQ(fake_.CallCount("CloseMConnection"), 2);
  EXPECT_TRUE(fake_.OpenConnections().empty());
}

TEST_F(BadInput, UnknownOperationsCallsBeforeTheOpenAndASecondOpenAreRefusedAndTheSessionGoesOn) {
  RawPeer peer(server_->port());
  peer.Handshake();
  // Sends a call payload; returns the reply.
  auto call = [&](uint32_t sequence, const std::string& payload) {
    Frame f;
    EXPECT_TRUE(peer.SendFrame(FrameKind::Call, sequence, payload));
    EXPECT_TRUE(peer.Read(f).ok());
    EXPECT_EQ(f.kind, FrameKind::Reply);
    EXPECT_EQ(f.sequence, sequence);
    return DecodeReply(f.payload);
  };
  Reply r = call(2, std::string("\xC8payload", 8));
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.code, DllParam::kCodeNotSupported);
  EXPECT_TRUE(r.outs.empty());
  // A call before the open is refused without running it.
  EXPECT_EQ(call(3, EncodeCall(Call{Op::PingPong, {}})).code, DllParam::kCodeBadCall);
  EXPECT_TRUE(server_->Logged("refused PingPong: no current connection"));
  EXPECT_EQ(call(4, EncodeCall(OpenCall())).result, 1);
  EXPECT_EQ(call(5, EncodeCall(OpenCall())).code, DllParam::kCodeBadCall);
  server_->Stop();  // every session has ended: the fake is the test's again
  EXPECT_EQ(fake_.CallCount("PingPong"), 0);
  EXPECT_EQ(fake_.CallCount("OpenMConnection"), 1);
}

// Destroys the server while Run() still serves sessions holding a connection,
// as a server kept in a static and run by a detached thread is at exit.
TEST(NetServer, DestroyedWhileServingItEndsEverySessionOnceAndWaitsForRun) {
  RecordingFake fake;
  for (int round = 0; round < 100; ++round) {
    ServerOptions o = StoreOptions("FAKE");
    o.listen = "127.0.0.1:0";
    o.log = [](const std::string&) {};
    auto server = std::make_unique<SourceServer>(o, fake);
    std::string error;
    ASSERT_TRUE(server->Start(&error)) << error;
    std::thread runner([p = server.get()] { p->Run(); });
    std::vector<std::unique_ptr<RawPeer>> peers;
    for (int c = 0; c < 3; ++c) {
      peers.push_back(std::make_unique<RawPeer>(server->Port()));
      peers.back()->Handshake();
      Frame f;
      ASSERT_TRUE(peers.back()->SendFrame(FrameKind::Call, 2, EncodeCall(OpenCall())));
      ASSERT_TRUE(peers.back()->Read(f).ok());
    }
    std::thread destroyer([&] { server.reset(); });
    for (auto& peer : peers) {
      EXPECT_EQ(peer->ReadFaultThenClose(), "source server is shutting down") << "round " << round;
      peer.reset();
    }
    destroyer.join();
    EXPECT_TRUE(fake.OpenConnections().empty()) << "round " << round << ": the server went before its sessions";
    runner.join();
  }
  EXPECT_EQ(fake.CallCount("CloseMConnection"), 300);
}

// ---- A store served to several clients ------------------------------------------

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

}  // namespace
}  // namespace qv::net::test
