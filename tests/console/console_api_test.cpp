// The console's JSON API against a demo store: login and session rules,
// refusals of bad input, actions seen in the lists, and several browsers
// seeing one another's changes.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "qvmgr/console/console.h"
#include "qvmgr/console/console_server.h"
#include "platform/clock.h"
#include "qvmgr/options.h"
#include "dllparam/embedded/embedded_source.h"
#include "dllparam/net/net_server.h"
#include "support/embedded_store.h"
#include "support/net_fixture.h"

namespace qv::cli {
namespace {

using Json = nlohmann::json;

// One browser: its own cookie and page token.
class Browser {
 public:
  explicit Browser(int port) : http_("127.0.0.1", port) {}

  httplib::Result Get(const std::string& path) { return http_.Get(path.c_str(), Headers(false)); }
  httplib::Result Post(const std::string& path, const std::string& body, bool token = true) {
    return http_.Post(path.c_str(), Headers(token), body, "application/json");
  }
  httplib::Result Post(const std::string& path, const Json& body) { return Post(path, body.dump()); }

  // Logs in; returns the answer and keeps the cookie and token it gives.
  httplib::Result Login(const std::string& user, const std::string& password, const std::string& env = "PR") {
    httplib::Result r = Post("/api/login", Json{{"user", user}, {"password", password}, {"env", env}}.dump(), false);
    if (r && r->status == 200) {
      const std::string set = r->get_header_value("Set-Cookie");
      cookie_ = set.substr(0, set.find(';'));
      csrf_ = Json::parse(r->body)["csrf"];
    }
    return r;
  }
  void LogInAsMaster() { ASSERT_EQ(Login("QVADMIN", "demo")->status, 200); }

  // Returns the JSON body of a GET that must succeed.
  Json Doc(const std::string& path) {
    httplib::Result r = Get(path);
    EXPECT_TRUE(r && r->status == 200) << path << ": " << (r ? r->body : "no answer");
    return r ? Json::parse(r->body, nullptr, false) : Json();
  }

  std::string& csrf() { return csrf_; }
  std::string& cookie() { return cookie_; }

 private:
  httplib::Headers Headers(bool token) {
    httplib::Headers h;
    if (!cookie_.empty()) h.emplace("Cookie", cookie_);
    if (token && !csrf_.empty()) h.emplace("X-CSRF-Token", csrf_);
    return h;
  }

  httplib::Client http_;
  std::string cookie_, csrf_;
};

std::string ErrorOf(const httplib::Result& r) {
  if (!r) return "(no answer)";
  const Json doc = Json::parse(r->body, nullptr, false);
  return doc.is_object() && doc.contains("error") ? doc["error"].get<std::string>() : r->body;
}

// Returns the cell of the list row key under the column caption.
std::string Cell(const Json& list, const std::string& key, const std::string& caption) {
  const Json& columns = list["list"]["columns"];
  for (std::size_t c = 1; c < columns.size(); ++c) {
    if (columns[c]["text"] != caption) continue;
    for (const Json& item : list["list"]["items"])
      if (item["key"] == key) return item["subItems"][c - 1];
  }
  return "(missing)";
}

bool HasNode(const Json& nodes, const std::string& key) {
  for (const Json& n : nodes)
    if (n["key"] == key || HasNode(n["children"], key)) return true;
  return false;
}

class ConsoleApiTest : public testing::Test {
 protected:
  void SetUp() override {
    config.address = store_.address();
    config.type = "AS400";
    config.env = "PR";
    config.label = "demo";
    Serve();
  }
  // Serves config on a free port.
  void Serve() {
    if (server_) TearDown();
    server_ = std::make_unique<ConsoleServer>(config);
    port_ = server_->Bind("127.0.0.1", 0);
    ASSERT_GT(port_, 0);
    thread_ = std::thread([this] { server_->Run(); });
  }
  void TearDown() override {
    server_->Stop();
    if (thread_.joinable()) thread_.join();
  }

  Browser NewBrowser() { return Browser(port_); }
  // Returns a browser logged in as the master user.
  Browser LoggedIn() {
    Browser b(port_);
    b.LogInAsMaster();
    return b;
  }

  ConsoleConfig config;
  test::EmbeddedStore store_{embedded::SourceKind::AS400, true};
  std::unique_ptr<ConsoleServer> server_;
  int port_ = 0;
  std::thread thread_;
};

TEST_F(ConsoleApiTest, LoginKeepsOutWrongCredentialsAndGivesASessionCookie) {
  struct Case {
    const char* name;
    std::string body;
    int status;
  };
  const Case cases[] = {
      {"wrong password", Json{{"user", "QVADMIN"}, {"password", "nope"}}.dump(), 401},
      {"unknown user", Json{{"user", "NOBODY"}, {"password", "demo"}}.dump(), 401},
      {"unknown environment", Json{{"user", "QVADMIN"}, {"password", "demo"}, {"env", "ZZ"}}.dump(), 404},
      {"user too long", Json{{"user", std::string(31, 'U')}, {"password", "demo"}}.dump(), 400},
      {"user not a text", Json{{"user", 12}, {"password", "demo"}}.dump(), 400},
      {"not JSON", "{user: QVADMIN", 400},
  };
  for (const Case& c : cases) {
    Browser b = NewBrowser();
    httplib::Result r = b.Post("/api/login", c.body, false);
    ASSERT_TRUE(r) << c.name;
    EXPECT_EQ(r->status, c.status) << c.name << ": " << r->body;
    EXPECT_FALSE(r->has_header("Set-Cookie")) << c.name;
    EXPECT_FALSE(ErrorOf(r).empty()) << c.name;
    EXPECT_EQ(r->body.find("demo\""), std::string::npos) << c.name << " echoes the password";
  }

  Browser b = NewBrowser();
  httplib::Result r = b.Login("qvadmin", "demo");
  ASSERT_EQ(r->status, 200) << r->body;
  const std::string cookie = r->get_header_value("Set-Cookie");
  EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
  EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
  EXPECT_EQ(b.csrf().size(), 32u);
  EXPECT_EQ(b.cookie().size(), std::string("qvsession=").size() + 32);
  EXPECT_EQ(b.Doc("/api/state")["user"], "QVADMIN");

  ASSERT_EQ(b.Post("/api/logout", Json::object())->status, 200);
  EXPECT_EQ(b.Get("/api/state")->status, 401);
}

TEST_F(ConsoleApiTest, SessionsEndWhenIdleOrCrowdedOut) {
  platform::ManualClock clock(1000);
  platform::ScopedClock scoped(clock);
  config.idleSeconds = 600;
  config.maxSessions = 2;
  Serve();
  Browser first = LoggedIn();
  clock.Advance(1);
  Browser second = LoggedIn();
  clock.Advance(1);
  first.Doc("/api/state");  // the first is now used more lately than the second
  clock.Advance(1);
  Browser third = LoggedIn();
  EXPECT_EQ(second.Get("/api/state")->status, 401);
  EXPECT_EQ(first.Get("/api/state")->status, 200);

  clock.Advance(599);
  EXPECT_EQ(third.Get("/api/state")->status, 200);
  clock.Advance(2);
  EXPECT_EQ(first.Get("/api/state")->status, 401) << "idle for 601 s";
  EXPECT_EQ(third.Get("/api/state")->status, 200) << "idle for 2 s";
}

TEST_F(ConsoleApiTest, FailedLoginsHoldOffFurtherLoginsForAWhile) {
  platform::ManualClock clock(1000);
  platform::ScopedClock scoped(clock);
  config.maxFailedLogins = 2;
  config.failWindowSeconds = 60;
  Serve();
  Browser b = NewBrowser();
  EXPECT_EQ(b.Login("QVADMIN", "nope")->status, 401);
  clock.Advance(30);
  EXPECT_EQ(b.Login("QVADMIN", "nope")->status, 401);
  httplib::Result held = b.Login("QVADMIN", "demo");
  EXPECT_EQ(held->status, 429);
  EXPECT_EQ(ErrorOf(held), "too many failed logins: try again in 31 seconds");
  clock.Advance(30);  // the first failure has left the window, the second has not
  EXPECT_EQ(b.Login("QVADMIN", "demo")->status, 200);
}

TEST_F(ConsoleApiTest, ASessionKeepsItsLastMessagesAndNumbersThemOn) {
  config.maxMessages = 1;
  Serve();
  Browser b = LoggedIn();
  const Json all = b.Doc("/api/messages");
  const std::size_t last = all["last"];
  ASSERT_GE(last, 2u) << "the demo queue holds several messages";
  ASSERT_EQ(all["messages"].size(), 1u);
  EXPECT_EQ(all["messages"][0]["seq"], last);
  EXPECT_EQ(b.Doc("/api/messages?after=" + std::to_string(last - 1))["messages"].size(), 1u);
  EXPECT_TRUE(b.Doc("/api/messages?after=" + std::to_string(last))["messages"].empty());
}

TEST_F(ConsoleApiTest, RequestsWithoutSessionOrTokenChangeNothing) {
  Browser good = LoggedIn();
  Browser stranger = NewBrowser();
  Browser forged = LoggedIn();
  forged.csrf() = std::string(32, '0');
  Browser tokenless = LoggedIn();
  tokenless.csrf().clear();
  Browser stolenToken = NewBrowser();
  stolenToken.csrf() = good.csrf();

  struct Case {
    const char* name;
    Browser* browser;
    int status;
  };
  const Case cases[] = {{"no session", &stranger, 401},
                        {"no session, a valid token", &stolenToken, 401},
                        {"wrong token", &forged, 403},
                        {"no token", &tokenless, 403}};
  for (const Case& c : cases) {
    for (const char* path : {"/api/dist/hold", "/api/dist/start", "/api/item/delete"}) {
      httplib::Result r = c.browser->Post(path, Json{{"dist", "AS1:CLI"}, {"key", "AS1:CLI"}});
      ASSERT_TRUE(r);
      EXPECT_EQ(r->status, c.status) << c.name << " " << path;
    }
  }
  const Json d = good.Doc("/api/dist?dist=AS1:CLI");
  EXPECT_EQ(d["hold"], false);
  EXPECT_EQ(d["running"], false);
  EXPECT_TRUE(HasNode(good.Doc("/api/tree/children?key=AS1/GC")["tree"]["nodes"], "AS1:CLI"));
}

TEST_F(ConsoleApiTest, BadInputIsRefusedWithAMessageAndChangesNothing) {
  Browser b = LoggedIn();
  const Json before = b.Doc("/api/dist?dist=AS1:CLI");
  struct Case {
    const char* name;
    const char* path;
    std::string body;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {"malformed JSON", "/api/dist/hold", "{\"dist\": ", 400, "not a JSON object"},
      {"JSON that is not an object", "/api/dist/hold", "[\"AS1:CLI\"]", 400, "not a JSON object"},
      {"no distribution", "/api/dist/hold", "{}", 400, "needs dist"},
      {"unknown distribution", "/api/dist/hold", R"({"dist":"ZZ9:CLI"})", 404, "not found"},
      {"distribution name too long", "/api/dist/start", R"({"dist":"AS1:CLIENTS"})", 400, "at most 7"},
      {"receiver too long", "/api/dist/recovery",
       R"({"dist":"AS1:CLI","receiver":"QVRCV000001","point":"1"})", 400, "at most 10"},
      {"point not a number", "/api/dist/recovery", R"({"dist":"AS1:CLI","receiver":"QVRCV00001","point":"1e3"})",
       400, "0 to 2147483647"},
      {"point too big", "/api/dist/recovery", R"({"dist":"AS1:CLI","receiver":"QVRCV00001","point":"2147483648"})",
       400, "0 to 2147483647"},
      {"unknown item", "/api/item/delete", R"({"key":"cZZ9"})", 404, "no item cZZ9"},
      {"item that cannot go", "/api/item/delete", R"({"key":"Cibles"})", 400, "cannot be deleted"},
      {"description too long", "/api/table/add",
       Json{{"model", "CLI"}, {"library", "DEMOLIB"}, {"file", "ORDERS"}, {"description", std::string(31, 'd')}}
           .dump(),
       400, "at most 30"},
      {"text outside the source's characters", "/api/table/add",
       Json{{"model", "CLI"}, {"library", "DEMOLIB"}, {"file", "ORDERS"}, {"description", "\u4e2d"}}.dump(), 400,
       ""},
  };
  for (const Case& c : cases) {
    httplib::Result r = b.Post(c.path, c.body);
    ASSERT_TRUE(r) << c.name;
    EXPECT_EQ(r->status, c.status) << c.name << ": " << r->body;
    EXPECT_NE(ErrorOf(r).find(c.says), std::string::npos) << c.name << ": " << ErrorOf(r);
  }
  EXPECT_EQ(b.Doc("/api/dist?dist=AS1:CLI"), before);
  for (const auto& [path, status] : {std::pair{"/api/list?node=nowhere", 404}, {"/api/list?node=c%22AS1'", 404},
                                     {"/api/list?node=%FF", 400}, {"/api/messages?after=x", 400},
                                     {"/api/dist?dist=AS1", 400}, {"/api/activity?dist=AS1:ZZZ", 404}}) {
    httplib::Result r = b.Get(path);
    ASSERT_TRUE(r) << path;
    EXPECT_EQ(r->status, status) << path << ": " << r->body;
    EXPECT_FALSE(ErrorOf(r).empty()) << path;
  }
}

TEST_F(ConsoleApiTest, StartRunsTheJobAndStopEndsIt) {
  Browser b = LoggedIn();
  ASSERT_EQ(b.Post("/api/dist/start", Json{{"dist", "AS1:CLI"}})->status, 200);
  EXPECT_EQ(b.Doc("/api/dist?dist=AS1:CLI")["running"], true);

  // A running distribution cannot be deleted: the library's own text comes back.
  b.Doc("/api/tree/children?key=AS1/GC");
  httplib::Result refused = b.Post("/api/item/delete", Json{{"key", "AS1:CLI"}});
  EXPECT_EQ(refused->status, 409);
  EXPECT_NE(ErrorOf(refused).find("active distribution"), std::string::npos) << ErrorOf(refused);

  ASSERT_EQ(b.Post("/api/dist/stop", Json{{"dist", "AS1:CLI"}})->status, 200);
  bool running = true;
  for (int i = 0; i < 50 && running; ++i) {
    running = b.Doc("/api/dist?dist=AS1:CLI")["running"];
    if (running) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_FALSE(running);
}

TEST_F(ConsoleApiTest, TablesComeFromTheCatalogAndDeletesSayWhatGoesBelow) {
  WriteDemoCatalog(store_.path());
  Browser b = LoggedIn();
  httplib::Result missing = b.Post("/api/table/add", Json{{"model", "CLI"}, {"library", "DEMOLIB"}, {"file", "CUSTOMER"}});
  EXPECT_EQ(missing->status, 409);
  EXPECT_NE(ErrorOf(missing).find("File not found DEMOLIB/CUSTOMER"), std::string::npos) << ErrorOf(missing);
  const Json libraries = b.Doc("/api/catalog/files");
  ASSERT_NE(std::find(libraries["names"].begin(), libraries["names"].end(), "DEMOLIB"), libraries["names"].end());
  const Json files = b.Doc("/api/catalog/files?library=DEMOLIB");
  ASSERT_NE(std::find(files["names"].begin(), files["names"].end(), "ORDERS"), files["names"].end());

  const std::size_t before = b.Doc("/api/list?node=gCLI")["list"]["items"].size();
  httplib::Result added = b.Post("/api/table/add", Json{{"model", "CLI"}, {"library", "demolib"}, {"file", "ORDERS"},
                                                         {"description", "Orders \"open\" and 'closed'"}});
  ASSERT_EQ(added->status, 200) << added->body;
  const std::string fic = Json::parse(added->body)["table"];
  EXPECT_EQ(Json::parse(added->body)["fields"], 3);
  const Json tables = b.Doc("/api/list?node=gCLI");
  EXPECT_EQ(tables["list"]["items"].size(), before + 1);
  EXPECT_EQ(Cell(tables, "CLI:" + fic, "Description"), "Orders \"open\" and 'closed'");

  const Json below = b.Doc("/api/item/below?key=cAS1");
  bool listsDistribution = false;
  for (const Json& n : below["below"]) listsDistribution |= n["key"] == "AS1:CLI";
  EXPECT_TRUE(listsDistribution) << below.dump();

  ASSERT_EQ(b.Post("/api/item/delete", Json{{"key", "CLI:" + fic}})->status, 200);
  EXPECT_EQ(b.Doc("/api/list?node=gCLI")["list"]["items"].size(), before);
}

TEST_F(ConsoleApiTest, BrowsersSeeOneAnothersHoldsReleasesAndDeletes) {
  Browser first = LoggedIn();
  Browser second = LoggedIn();
  second.Doc("/api/tree/children?key=AS1/GC");
  for (const auto& [action, shown] : {std::pair{"hold", "Yes"}, {"release", "No"}, {"hold", "Yes"}}) {
    const Json version = second.Doc("/api/state")["version"];
    httplib::Result r = first.Post(std::string("/api/dist/") + action, Json{{"dist", "AS1:CLI"}});
    ASSERT_EQ(r->status, 200) << r->body;
    EXPECT_EQ(Json::parse(r->body)["hold"], std::string(shown) == "Yes");
    EXPECT_NE(second.Doc("/api/state")["version"], version) << action;
    EXPECT_EQ(Cell(second.Doc("/api/list?node=AS1/GC"), "AS1:CLI", "Hold"), shown) << action;
  }

  first.Doc("/api/tree/children?key=AS1/GC");
  ASSERT_EQ(first.Post("/api/item/delete", Json{{"key", "AS1:CLI"}})->status, 200);
  // The second tree drops the distribution, the folder it had open staying open.
  const Json tree = second.Doc("/api/tree");
  EXPECT_FALSE(HasNode(tree["tree"]["nodes"], "AS1:CLI"));
  EXPECT_TRUE(HasNode(tree["tree"]["nodes"], "AS1/GC"));
  // Acting on what the first deleted gives a message, not a fault.
  httplib::Result hold = second.Post("/api/dist/hold", Json{{"dist", "AS1:CLI"}});
  EXPECT_EQ(hold->status, 404);
  EXPECT_NE(ErrorOf(hold).find("not found"), std::string::npos) << ErrorOf(hold);
}

TEST_F(ConsoleApiTest, ThePageIsServedFromTheProgram) {
  Browser b = NewBrowser();
  for (const char* path : {"/", "/console.js", "/console.css"}) {
    httplib::Result r = b.Get(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << path;
    EXPECT_GT(r->body.size(), 500u) << path;
    EXPECT_NE(r->get_header_value("Content-Security-Policy").find("default-src 'self'"), std::string::npos);
  }
  EXPECT_NE(b.Get("/")->body.find("/console.js"), std::string::npos);
  // A name that resolves to loopback elsewhere does not reach the console.
  httplib::Client rebound("127.0.0.1", port_);
  for (const char* host : {"evil.example", "evil.example:8131", "127.0.0.1.evil.example"}) {
    httplib::Result r = rebound.Get("/api/config", httplib::Headers{{"Host", host}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 403) << host;
  }
  EXPECT_EQ(rebound.Get("/api/config", httplib::Headers{{"Host", "localhost:8131"}})->status, 200);
  EXPECT_EQ(b.Doc("/api/config")["env"], "PR");
}

TEST_F(ConsoleApiTest, ASourceThatGoesAwayShowsDisconnectedAndComesBack) {
  // Serves the store on a fixed port, so that it can stop and come back there.
  net::ServerOptions options = net::test::StoreOptions("file:" + store_.path());
  options.listen = "127.0.0.1:" + std::to_string(net::test::FreePort());
  std::optional<net::test::ServerThread> source;
  auto start = [&] { source.emplace(options, [] { return std::make_unique<embedded::EmbeddedSource>(); }); };
  start();
  config.address = options.listen;
  Serve();
  Browser b = LoggedIn();
  EXPECT_EQ(b.Doc("/api/state")["connected"], true);

  source.reset();
  httplib::Result gone = b.Get("/api/state");
  ASSERT_TRUE(gone);
  EXPECT_EQ(gone->status, 200);
  EXPECT_EQ(Json::parse(gone->body)["connected"], false);
  httplib::Result still = b.Get("/api/supervision");
  EXPECT_EQ(still->status, 503);
  EXPECT_NE(ErrorOf(still).find("not connected"), std::string::npos) << ErrorOf(still);

  // The same session, without a new login, finds the source again.
  start();
  EXPECT_EQ(b.Doc("/api/state")["connected"], true);
  EXPECT_EQ(b.Post("/api/dist/hold", Json{{"dist", "AS1:CLI"}})->status, 200);
  EXPECT_EQ(b.Doc("/api/dist?dist=AS1:CLI")["hold"], true);
}

TEST(ConsoleListen, SplitsHostAndPortAndTellsLoopback) {
  struct Case {
    const char* listen;
    const char* host;
    int port;
    bool loopback;
  };
  const Case cases[] = {{"127.0.0.1:8131", "127.0.0.1", 8131, true},
                        {"localhost:0", "localhost", 0, true},
                        {"[::1]:9000", "::1", 9000, true},
                        {"0.0.0.0:8131", "0.0.0.0", 8131, false},
                        {"127.0.0.1.example:80", "127.0.0.1.example", 80, false},
                        {"127.1.2:80", "127.1.2", 80, false},
                        {"127.0.0.256:80", "127.0.0.256", 80, false}};
  for (const Case& c : cases) {
    std::string host;
    int port = -1;
    ParseListen(c.listen, host, port);
    EXPECT_EQ(host, c.host) << c.listen;
    EXPECT_EQ(port, c.port) << c.listen;
    EXPECT_EQ(IsLoopback(host), c.loopback) << c.listen;
  }
  for (const char* bad : {"8131", "127.0.0.1:", ":8131", "127.0.0.1:65536", "127.0.0.1:http", "h:123456"}) {
    std::string host;
    int port = 0;
    EXPECT_THROW(ParseListen(bad, host, port), UsageError) << bad;
  }
}

}  // namespace
}  // namespace qv::cli
