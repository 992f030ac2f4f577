// The web console's HTTP server: sessions, the JSON API and the page.
#include "qvmgr/console/console_server.h"

#include <openssl/rand.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <vector>

#include <httplib.h>

#include "automation/hidden_form.h"
#include "connection/qvsource.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "operations/engine_text.h"
#include "presentation/strutil.h"
#include "presentation/tree_nodes.h"
#include "presentation/view_follower.h"
#include "qvmgr/commands.h"
#include "qvmgr/console/console.h"
#include "qvmgr/output.h"
#include "qvmgr/variant_json.h"
#include "qvmgr/views.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace qv::cli {
namespace {

constexpr const char* kCookie = "qvsession";
constexpr const char* kCsrfHeader = "X-CSRF-Token";

// A refusal the API answers with an HTTP status and {"error": text}.
struct ApiError : std::runtime_error {
  ApiError(int status, const std::string& text) : std::runtime_error(text), status(status) {}
  int status;
};

// Returns n random bytes as lower-case hex.
std::string RandomHex(int n) {
  std::vector<unsigned char> bytes(static_cast<std::size_t>(n));
  if (RAND_bytes(bytes.data(), n) != 1) throw std::runtime_error("no random bytes for a session");
  static const char* const kHex = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

// Compares two texts in a time that does not depend on where they differ.
bool SameSecret(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

// The codes a tree node stands for, read from its key.
struct Codes {
  std::string tgt, grp, fic;
};

// Splits text at every sep.
std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(sep, start)) != std::string::npos; start = at + 1)
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

// Reads the codes of a node from its key, by the kind its tag names.
Codes CodesOf(const platform::TreeNode& node) {
  using namespace tree;
  const std::string& key = node.Key();
  const std::string& tag = node.tag;
  const std::string head = key.substr(0, key.find('/'));
  const std::vector<std::string> parts = Split(head, ':');
  Codes c;
  if (IsKind(tag, kTarget)) c.tgt = key.substr(1);
  else if (IsKind(tag, kModel)) c.grp = key.substr(1);
  else if (IsKind(tag, kTargetDistributions) || IsKind(tag, kTargetDistribute)) c.tgt = head;
  else if (IsKind(tag, kModelTables) || IsKind(tag, kModelDistribute)) c.grp = head;
  else if (IsKind(tag, kModelTable) && parts.size() == 2) c.grp = parts[0], c.fic = parts[1];
  else if ((IsKind(tag, kDistribution) || IsKind(tag, kDistributionTables) || IsKind(tag, kSupervision)) &&
           parts.size() == 2)
    c.tgt = parts[0], c.grp = parts[1];
  else if (IsKind(tag, kDistributedTable) && parts.size() == 3)
    c.tgt = parts[0], c.grp = parts[1], c.fic = parts[2];
  return c;
}

// Tells whether a node is a folder the tree fills on demand.
bool IsLazyFolder(const std::string& tag) {
  return tree::IsKind(tag, tree::kTargetDistributions) || tree::IsKind(tag, tree::kDistributionTables) ||
         tree::IsKind(tag, tree::kModelTables);
}

// Reads a JSON request body; a body that is not a JSON object is refused.
Json Body(const httplib::Request& req) {
  Json body = Json::parse(req.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) throw ApiError(400, "the request is not a JSON object");
  return body;
}

// Returns the text member name of body in Windows-1252, at most width
// characters; a missing one is "" unless required.
std::string Text(const Json& body, const char* name, std::size_t width, bool required = true) {
  const auto it = body.find(name);
  if (it == body.end() || it->is_null()) {
    if (required) throw ApiError(400, std::string("the request needs ") + name);
    return {};
  }
  if (!it->is_string()) throw ApiError(400, std::string(name) + " must be a text");
  std::string value;
  try {
    value = To1252Exact(it->get<std::string>(), name);
  } catch (const std::exception& e) {
    throw ApiError(400, e.what());
  }
  if (value.size() > width)
    throw ApiError(400, "the " + std::string(name) + " holds " + std::to_string(value.size()) +
                            " characters; at most " + std::to_string(width) + " fit");
  if (required && Trim(value).empty()) throw ApiError(400, std::string("the request needs ") + name);
  return value;
}

// Returns the query parameter name in Windows-1252; 400 for a text that has
// no Windows-1252 form.
std::string Param(const httplib::Request& req, const char* name) {
  try {
    return To1252Exact(req.get_param_value(name), name);
  } catch (const std::exception& e) {
    throw ApiError(400, e.what());
  }
}

// Splits "TARGET:MODEL" into its codes, each at most 3 characters.
Codes DistributionOf(const std::string& dist) {
  const std::vector<std::string> parts = Split(dist, ':');
  if (parts.size() != 2 || parts[0].empty() || parts[1].empty() || parts[0].size() > 3 || parts[1].size() > 3)
    throw ApiError(400, "a distribution is named TARGET:MODEL, not " + Utf8(dist));
  return Codes{UCase(parts[0]), UCase(parts[1]), {}};
}

// The fields of the activity block the page shows, in block order.
constexpr const char* kActivityFields[] = {"state",       "Receiver", "RcvNum", "JOSEQN",    "Step",
                                           "TimeProcess", "CptRead",  "CptSel", "CptSnd",    "CptIgnore",
                                           "CptAdd",      "CptUpd",   "CptDel", "CptMbr",    "CptRpr",
                                           "CptErr"};

}  // namespace

// One login: its own control and the tree it shows, kept in step with the
// control's change events by a follower.
struct ConsoleSession {
  std::string id, csrf;
  std::string user, password;  // Windows-1252; the password never leaves the process
  std::string env;
  std::unique_ptr<QVSource> control;
  platform::TreeView tree;
  std::unique_ptr<TreeFollower> follower;
  std::uint64_t treeVersion = 0;  // the change count the tree reflects
  double lastUse = 0;             // platform clock seconds
  bool connected = false;
  platform::ListView queue;  // the message queue as read so far
  bool queueRead = false;
  std::set<std::string> queueSeen;
  std::deque<Json> messages;     // the last ones read, numbered from messagesBase + 1
  std::size_t messagesBase = 0;  // messages dropped from the front
};

struct ConsoleServer::Impl {
  explicit Impl(ConsoleConfig c) : config(std::move(c)) {}

  ConsoleConfig config;
  httplib::Server http;
  bool bound = false;
  bool loopback = true;  // bound to a loopback address
  // Run and Stop in whatever order their threads come: a Stop before Run
  // keeps Run from listening.
  std::mutex runLock;
  bool stopped = false;
  std::atomic<bool> started{false}, finished{false};
  // Serialises every use of the library and of the sessions.
  std::mutex lock;
  std::map<std::string, std::unique_ptr<ConsoleSession>> sessions;
  // Times (platform clock) of the failed logins within the window.
  std::deque<double> failedLogins;

  // Refuses a login while too many failed within the window.
  void CheckLoginAllowed() {
    const double now = platform::CurrentClock().Now();
    while (!failedLogins.empty() && now - failedLogins.front() >= config.failWindowSeconds)
      failedLogins.pop_front();
    if (failedLogins.size() >= config.maxFailedLogins) {
      const double wait = config.failWindowSeconds - (now - failedLogins.front());
      throw ApiError(429, "too many failed logins: try again in " + std::to_string(static_cast<long>(wait) + 1) +
                              " seconds");
    }
  }
  // Counts the changes made through the console; other browsers reload
  // what they show when it moves.
  std::atomic<std::uint64_t> version{1};

  // ---- Sessions -----------------------------------------------------------------------

  // Returns the session id the request's cookie carries, "" without one.
  static std::string CookieOf(const httplib::Request& req) {
    const std::string cookies = req.get_header_value("Cookie");
    for (const std::string& part : Split(cookies, ';')) {
      const std::string item = Trim(part);
      const std::string prefix = std::string(kCookie) + "=";
      if (item.rfind(prefix, 0) == 0) return item.substr(prefix.size());
    }
    return {};
  }

  // Returns the session of the request; nullptr when it has none.
  ConsoleSession* SessionOf(const httplib::Request& req) {
    Expire();
    const auto it = sessions.find(CookieOf(req));
    if (it == sessions.end()) return nullptr;
    it->second->lastUse = platform::CurrentClock().Now();
    return it->second.get();
  }

  // Logs out the sessions unused for longer than the configured idle time,
  // and while keep more are kept, the one unused longest.
  void Expire(std::size_t keep = SIZE_MAX) {
    const double now = platform::CurrentClock().Now();
    for (auto it = sessions.begin(); it != sessions.end();) {
      if (now - it->second->lastUse <= config.idleSeconds) {
        ++it;
        continue;
      }
      Disconnect(*it->second);
      it = sessions.erase(it);
    }
    while (!sessions.empty() && sessions.size() > keep) {
      auto oldest = sessions.begin();
      for (auto it = sessions.begin(); it != sessions.end(); ++it)
        if (it->second->lastUse < oldest->second->lastUse) oldest = it;
      Disconnect(*oldest->second);
      sessions.erase(oldest);
    }
  }

  // Makes the process login that of the session for one request; clears
  // the password again when it goes.
  struct Login {
    explicit Login(const ConsoleSession& s) {
      SetProcessUserID(s.user);
      SetProcessPassword(s.password);
    }
    ~Login() { SetProcessPassword(""); }
  };

  // Opens the session's control and selects its environment. Throws ApiError
  // with the library's text when the login or the selection is refused.
  void Connect(ConsoleSession& s) {
    s.follower.reset();
    s.control = std::make_unique<QVSource>(automation::MakeLibrary());
    if (!config.type.empty()) s.control->SourceType(config.type);
    s.control->InstanceName(config.instance);
    Login login(s);
    if (!s.control->OpenConnection(config.address)) throw Refusal(s, 401);
    s.control->env(s.env);
    if (s.control->env().empty()) throw Refusal(s, 403);
    if (!s.control->EnvironmentExist(s.env))
      throw ApiError(404, "the environment " + Utf8(s.env) + " does not exist");
    s.control->ErrorNum();
    s.control->ErrorText();
    s.control->ErrorStep();
    s.connected = true;
    s.follower = std::make_unique<TreeFollower>(*s.control, s.tree);
    s.treeVersion = 0;
  }

  // Closes the session's connection; the next request opens it again.
  void Disconnect(ConsoleSession& s) {
    s.follower.reset();
    if (s.control && s.control->ConnectionOpen()) s.control->CloseConnection();
    s.control.reset();
    s.connected = false;
  }

  // Returns the error state of the session's control (read and so cleared)
  // as an API refusal.
  static ApiError Refusal(ConsoleSession& s, int status = 409) {
    const std::int32_t num = s.control->ErrorNum();
    std::string text = Utf8(s.control->ErrorText());
    s.control->ErrorStep();
    if (text.empty()) text = "the source refused it";
    if (num != 0) text += " (" + std::to_string(num) + ")";
    return ApiError(status, text);
  }

  // ---- The tree -----------------------------------------------------------------------

  // Fills a folder of the tree on demand (distributions of a target, tables
  // of a distribution or of a model).
  void LoadFolder(ConsoleSession& s, platform::TreeNode& node) {
    using namespace tree;
    bool ok = true;
    if (IsKind(node.tag, kTargetDistributions)) ok = s.control->LoadGCInTree(s.tree, node);
    else if (IsKind(node.tag, kDistributionTables)) ok = s.control->LoadFCInTree(s.tree, node);
    else if (IsKind(node.tag, kModelTables)) ok = s.control->LoadFileInTree(s.tree, node);
    if (!ok) throw Refusal(s);
  }

  // Reloads the tree when another session changed something since it was
  // read, opening again the folders that were open.
  void CurrentTree(ConsoleSession& s) {
    if (s.treeVersion == version.load()) return;
    std::vector<std::string> open;
    for (int i = 1; i <= s.tree.Count(); ++i) {
      const platform::TreeNode& n = s.tree.Item(i);
      if (IsLazyFolder(n.tag) && tree::IsLoaded(n.tag)) open.push_back(n.Key());
    }
    const std::uint64_t seen = version.load();
    if (!s.control->LoadTree(s.tree)) throw Refusal(s);
    for (const std::string& key : open)
      if (platform::TreeNode* n = s.tree.Find(key); n && !tree::IsLoaded(n->tag)) LoadFolder(s, *n);
    s.treeVersion = seen;
  }

  // Loads every folder below node not loaded yet.
  void OpenBelow(ConsoleSession& s, platform::TreeNode& node) {
    const std::string key = node.Key();
    for (bool again = true; again;) {
      again = false;
      std::vector<const platform::TreeNode*> pending{s.tree.Find(key)};
      while (!pending.empty() && !again) {
        const platform::TreeNode* n = pending.back();
        pending.pop_back();
        if (IsLazyFolder(n->tag) && !tree::IsLoaded(n->tag)) {
          LoadFolder(s, *s.tree.Find(n->Key()));
          again = true;
        }
        for (const platform::TreeNode* c : n->Children()) pending.push_back(c);
      }
    }
  }

  // Returns the node of key, loading the folders not loaded yet when it is
  // not shown; 404 when the topology has no such item.
  platform::TreeNode& Node(ConsoleSession& s, const std::string& key) {
    CurrentTree(s);
    platform::TreeNode* n = s.tree.Find(key);
    if (n == nullptr && !s.tree.Roots().empty()) {
      OpenBelow(s, *s.tree.Roots().front());
      n = s.tree.Find(key);
    }
    if (n == nullptr) throw ApiError(404, "there is no item " + Utf8(key) + " (another session may have deleted it)");
    return *n;
  }

  // Counts a change made by s: its own tree followed it through the events.
  void Changed(ConsoleSession& s) {
    const bool current = s.treeVersion == version.load();
    const std::uint64_t now = ++version;
    if (current) s.treeVersion = now;
  }

  // ---- Lists --------------------------------------------------------------------------

  // Reads the list view of a node: what the management screen shows on the
  // right when the node is selected.
  Json List(ConsoleSession& s, const platform::TreeNode& node) {
    using namespace tree;
    const Codes c = CodesOf(node);
    const std::string& tag = node.tag;
    QVSource& q = *s.control;
    platform::ListView lv;
    bool ok = true;
    std::string kind;
    if (IsKind(tag, kRoot) || IsKind(tag, kTargets)) kind = "targets", ok = q.LoadCibleInList(lv);
    else if (IsKind(tag, kModels)) kind = "models", ok = q.LoadGroupInList(lv);
    else if (!c.tgt.empty() && c.grp.empty()) kind = "distributions", ok = q.LoadGCInList(lv, c.tgt);
    else if (IsKind(tag, kSupervision)) kind = "supervision", ok = q.Read_Spv(lv, true);
    else if (!c.tgt.empty() && c.fic.empty()) kind = "tables", ok = q.LoadFCInList(lv, c.tgt, c.grp);
    else if (!c.tgt.empty()) kind = "mapping", ok = q.LoadZX_ZC_InList(lv, c.tgt, c.grp, c.fic);
    else if (!c.grp.empty() && c.fic.empty()) kind = "tables", ok = q.LoadFileInList(lv, c.grp);
    else if (!c.grp.empty()) kind = "fields", ok = q.LoadZXInList(lv, c.grp, c.fic);
    else if (IsKind(tag, kMessages)) kind = "messages";
    if (!ok) throw Refusal(s);
    Json doc{{"node", Utf8(node.Key())}, {"kind", kind}};
    doc["list"] = kind.empty() || kind == "messages" ? Json{{"columns", Json::array()}, {"items", Json::array()}}
                                                     : Json::parse(lv.ToJson());
    return doc;
  }

  // Reads the messages the queue holds beyond those read before.
  void ReadQueue(ConsoleSession& s) {
    const bool first = !s.queueRead;
    if (!s.control->ReadMSG(first, first, s.queue, "*ALL")) throw Refusal(s);
    s.queueRead = true;
    for (const platform::ListItem* item : s.queue.DisplayOrder()) {
      std::string id = item->Key() + "\x1f" + item->text;
      for (const std::string& sub : item->SubItems()) id += "\x1f" + sub;
      if (!s.queueSeen.insert(id).second) continue;
      Json cells = Json::array();
      cells.push_back(Utf8(item->text));
      for (const std::string& sub : item->SubItems()) cells.push_back(Utf8(sub));
      s.messages.push_back(Json{{"seq", s.messagesBase + s.messages.size() + 1}, {"cells", cells}});
    }
    while (s.messages.size() > config.maxMessages) {
      s.messages.pop_front();
      ++s.messagesBase;
    }
  }

  // ---- Distributions ------------------------------------------------------------------

  // Reads the stored distribution; 404 with the library's text when missing.
  Record Distribution(ConsoleSession& s, const Codes& d) {
    std::string image;
    if (!s.control->DetailGC(d.grp, d.tgt, image)) throw Refusal(s, 404);
    return Record(layout::QV_GC, image);
  }

  // Returns what the page shows of a distribution: hold, job, recovery point.
  Json DistributionJson(ConsoleSession& s, const Codes& d) {
    const Record gc = Distribution(s, d);
    std::string status;
    if (!s.control->JobRun(JobName(s.env, d.tgt, d.grp), status)) throw Refusal(s);
    return Json{{"dist", Utf8(d.tgt + ":" + d.grp)},
                {"hold", std::string(gc.Get("HOLD")) == "1"},
                {"running", status == "R"},
                {"recovery",
                 {{"type", Utf8(Trim(gc.Get("REPRISETYP")))},
                  {"receiver", Utf8(Trim(gc.Get("REPRISERCV")))},
                  {"library", Utf8(Trim(gc.Get("REPRISELIB")))},
                  {"point", Utf8(Trim(gc.Get("REPRISEPNT")))}}}};
  }

  // ---- Routes ---------------------------------------------------------------------------

  // Sends doc as the JSON answer, never cached.
  static void Answer(httplib::Response& res, int status, const Json& doc) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(doc.dump(), "application/json; charset=utf-8");
  }

  using Handler = std::function<Json(ConsoleSession&, const httplib::Request&)>;

  // How a route counts: a read, a change other browsers should see, or a
  // request that needs the token but changes nothing they show.
  enum class Kind { Read, Change, Guarded };

  // Serves an API route for a logged-in session: 401 without one, 403 for a
  // change without its token, 503 while the source cannot be reached.
  void Route(const char* method, const std::string& path, Kind kind, Handler handler) {
    const bool change = kind != Kind::Read;
    auto run = [this, kind, change, handler](const httplib::Request& req, httplib::Response& res) {
      try {
        std::lock_guard<std::mutex> guard(lock);
        ConsoleSession* s = SessionOf(req);
        if (s == nullptr) throw ApiError(401, "log in first");
        if (change && !SameSecret(req.get_header_value(kCsrfHeader), s->csrf))
          throw ApiError(403, "the request lacks the page's token; reload the page");
        Login login(*s);
        if (!s->connected) {
          try {
            Connect(*s);
          } catch (const ApiError&) {
            Disconnect(*s);
            throw ApiError(503, "the source " + config.label + " is not connected");
          }
        }
        Json doc = handler(*s, req);
        if (kind == Kind::Change) Changed(*s);
        Answer(res, 200, doc);
      } catch (const ApiError& e) {
        Answer(res, e.status, Json{{"error", e.what()}});
      } catch (const std::exception& e) {
        Answer(res, 500, Json{{"error", e.what()}});
      }
    };
    if (std::string(method) == "GET") http.Get(path, run);
    else http.Post(path, run);
  }

  // Answers only requests that name this machine when the console listens
  // on loopback, so that a web site whose name resolves to 127.0.0.1 cannot
  // reach it through a visitor's browser.
  static bool LocalHost(const std::string& hostHeader) {
    std::string host = hostHeader;
    if (!host.empty() && host.front() == '[') host = host.substr(1, host.find(']') - 1);
    else host = host.substr(0, host.find(':'));
    return IsLoopback(host);
  }

  void Routes() {
    http.set_payload_max_length(64 * 1024);
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      if (!loopback || LocalHost(req.get_header_value("Host"))) return httplib::Server::HandlerResponse::Unhandled;
      Answer(res, 403, Json{{"error", "this console answers only to requests for this machine"}});
      return httplib::Server::HandlerResponse::Handled;
    });
    int count = 0;
    const ConsoleAsset* assets = ConsoleAssets(count);
    for (int i = 0; i < count; ++i) {
      const ConsoleAsset a = assets[i];
      http.Get(a.path, [a](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        res.set_header("Content-Security-Policy",
                       "default-src 'self'; img-src 'self' data:; style-src 'self'; script-src 'self'");
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_content(reinterpret_cast<const char*>(a.data), a.size, std::string(a.type) + "; charset=utf-8");
      });
    }

    http.Get("/api/config", [this](const httplib::Request&, httplib::Response& res) {
      Answer(res, 200, Json{{"source", config.label}, {"env", Utf8(config.env)}, {"user", config.user}});
    });

    http.Post("/api/login", [this](const httplib::Request& req, httplib::Response& res) {
      try {
        const Json body = Body(req);
        auto s = std::make_unique<ConsoleSession>();
        s->user = UCase(Trim(Text(body, "user", 30)));
        s->password = Text(body, "password", 128, false);
        std::string env = Text(body, "env", 2, false);
        if (Trim(env).empty()) env = config.env;
        if (Trim(env).empty()) throw ApiError(400, "the request needs env");
        s->env = NormalizeId(UCase(Trim(env)), 2);
        std::lock_guard<std::mutex> guard(lock);
        CheckLoginAllowed();
        try {
          Connect(*s);
        } catch (const ApiError& e) {
          if (e.status == 401 || e.status == 403) failedLogins.push_back(platform::CurrentClock().Now());
          Disconnect(*s);
          SetProcessPassword("");
          throw;
        } catch (...) {
          Disconnect(*s);
          SetProcessPassword("");
          throw;
        }
        SetProcessPassword("");
        Expire(config.maxSessions > 0 ? config.maxSessions - 1 : 0);
        s->lastUse = platform::CurrentClock().Now();
        s->id = RandomHex(16);
        s->csrf = RandomHex(16);
        res.set_header("Set-Cookie", std::string(kCookie) + "=" + s->id + "; HttpOnly; SameSite=Strict; Path=/");
        const Json doc{{"csrf", s->csrf}, {"user", Utf8(Trim(s->user))}, {"env", Utf8(s->env)},
                       {"source", config.label}};
        sessions[s->id] = std::move(s);
        Answer(res, 200, doc);
      } catch (const ApiError& e) {
        Answer(res, e.status, Json{{"error", e.what()}});
      } catch (const std::exception& e) {
        Answer(res, 500, Json{{"error", e.what()}});
      }
    });

    Route("POST", "/api/logout", Kind::Guarded, [this](ConsoleSession& s, const httplib::Request&) {
      Disconnect(s);
      const std::string id = s.id;
      sessions.erase(id);
      return Json{{"ok", true}};
    });

    Route("GET", "/api/state", Kind::Read, [this](ConsoleSession& s, const httplib::Request&) {
      if (!s.control->PingPong()) {
        Disconnect(s);
        return Json{{"connected", false}, {"version", version.load()}};
      }
      return Json{{"connected", true}, {"version", version.load()}, {"user", Utf8(Trim(s.user))},
                  {"env", Utf8(s.env)}, {"source", config.label}};
    });

    Route("GET", "/api/tree", Kind::Read, [this](ConsoleSession& s, const httplib::Request&) {
      CurrentTree(s);
      return Json{{"version", s.treeVersion}, {"tree", Json::parse(s.tree.ToJson())}};
    });

    Route("GET", "/api/tree/children", Kind::Read, [this](ConsoleSession& s, const httplib::Request& req) {
      platform::TreeNode& n = Node(s, Param(req, "key"));
      if (IsLazyFolder(n.tag) && !tree::IsLoaded(n.tag)) LoadFolder(s, n);
      return Json{{"version", s.treeVersion}, {"tree", Json::parse(s.tree.ToJson())}};
    });

    Route("GET", "/api/list", Kind::Read, [this](ConsoleSession& s, const httplib::Request& req) {
      return List(s, Node(s, Param(req, "node")));
    });

    Route("GET", "/api/supervision", Kind::Read, [](ConsoleSession& s, const httplib::Request&) {
      platform::ListView lv;
      if (!s.control->Read_Spv(lv, true)) throw Refusal(s);
      Json columns = Json::array();
      for (const platform::ColumnHeader& h : lv.Columns()) columns.push_back(Utf8(h.text));
      return Json{{"columns", columns}, {"distributions", SupervisionJson(lv)}};
    });

    Route("GET", "/api/messages", Kind::Read, [this](ConsoleSession& s, const httplib::Request& req) {
      ReadQueue(s);
      std::size_t after = 0;
      try {
        after = req.has_param("after") ? std::stoul(req.get_param_value("after")) : 0;
      } catch (const std::exception&) {
        throw ApiError(400, "after takes a message number");
      }
      Json columns = Json::array();
      for (const platform::ColumnHeader& h : s.queue.Columns()) columns.push_back(Utf8(h.text));
      Json items = Json::array();
      for (std::size_t i = after > s.messagesBase ? after - s.messagesBase : 0; i < s.messages.size(); ++i)
        items.push_back(s.messages[i]);
      return Json{{"columns", columns}, {"messages", items}, {"last", s.messagesBase + s.messages.size()}};
    });

    Route("GET", "/api/dist", Kind::Read, [this](ConsoleSession& s, const httplib::Request& req) {
      return DistributionJson(s, DistributionOf(Param(req, "dist")));
    });

    Route("GET", "/api/activity", Kind::Read, [this](ConsoleSession& s, const httplib::Request& req) {
      const Codes d = DistributionOf(Param(req, "dist"));
      Distribution(s, d);
      std::string block(layout::Activity.length, ' ');
      if (!s.control->ReadActivity(s.env, d.tgt, d.grp, block, 1024, "G", " ")) throw Refusal(s);
      const Record activity(layout::Activity, block);
      Json fields = Json::object();
      for (const char* name : kActivityFields) fields[name] = Utf8(Trim(activity.Get(name)));
      return Json{{"dist", Utf8(d.tgt + ":" + d.grp)}, {"activity", fields}};
    });

    Route("GET", "/api/receivers", Kind::Read, [](ConsoleSession& s, const httplib::Request& req) {
      const std::string journal = req.has_param("journal") ? Param(req, "journal") : "QVJRN";
      const std::string library = req.has_param("library") ? Param(req, "library") : "QV_USRDATA";
      platform::ListView lv;
      if (!s.control->LoadRcvList(lv, journal, library)) throw Refusal(s);
      Json rows = Json::array();
      for (const platform::ListItem* item : lv.DisplayOrder())
        rows.push_back(Json{{"receiver", Utf8(Trim(item->text))},
                            {"first", Utf8(Trim(item->SubItem(1)))},
                            {"last", Utf8(Trim(item->SubItem(2)))}});
      return Json{{"journal", Utf8(journal)}, {"library", Utf8(library)}, {"receivers", rows}};
    });

    for (const char* action : {"hold", "release", "start", "stop"}) {
      const std::string a = action;
      Route("POST", "/api/dist/" + a, Kind::Change, [this, a](ConsoleSession& s, const httplib::Request& req) {
        const Codes d = DistributionOf(Text(Body(req), "dist", 7));
        QVSource& q = *s.control;
        Distribution(s, d);
        bool ok = false;
        if (a == "hold") ok = q.HoldGC(s.env, d.tgt, d.grp);
        else if (a == "release") ok = q.ReleaseGC(s.env, d.tgt, d.grp);
        else if (a == "start") ok = q.StartQV(s.env, d.tgt, d.grp, config.instance);
        else {
          std::string block(layout::Activity.length, ' ');
          ok = q.ReadActivity(s.env, d.tgt, d.grp, block, 1024, "G", "I");
        }
        if (!ok) throw Refusal(s);
        return DistributionJson(s, d);
      });
    }

    Route("POST", "/api/dist/recovery", Kind::Change, [this](ConsoleSession& s, const httplib::Request& req) {
      const Json body = Body(req);
      const Codes d = DistributionOf(Text(body, "dist", 7));
      const std::string receiver = UCase(Trim(Text(body, "receiver", 10)));
      const std::string library = UCase(Trim(Text(body, "library", 10, false)));
      const std::string point = Trim(Text(body, "point", 10));
      if (point.find_first_not_of("0123456789") != std::string::npos || std::stoll(point) > 2147483647)
        throw ApiError(400, "the point is a number from 0 to 2147483647, not " + Utf8(point));
      Record gc = Distribution(s, d);
      gc.Set("REPRISETYP", "P");
      gc.Set("REPRISERCV", receiver);
      if (s.control->SourceType() == "AS400") gc.Set("REPRISELIB", library);
      gc.Set("REPRISEPNT", std::string(10 - point.size(), '0') + point);
      std::string image = gc.image();
      if (!s.control->ChangeGC(d.grp, d.tgt, image)) throw Refusal(s);
      return DistributionJson(s, d);
    });

    Route("GET", "/api/catalog/files", Kind::Read, [](ConsoleSession& s, const httplib::Request& req) {
      const std::string library = Param(req, "library");
      platform::ListBox list;
      std::int32_t count = 0;
      bool ok = library.empty() ? s.control->fillLIB(list, false, count)
                                : s.control->FillLIBFile(list, library, "PF", count);
      if (!ok) throw Refusal(s);
      Json names = Json::array();
      for (const std::string& name : list.Items()) names.push_back(Utf8(Trim(name)));
      return Json{{"library", Utf8(library)}, {"names", names}};
    });

    Route("POST", "/api/table/add", Kind::Change, [](ConsoleSession& s, const httplib::Request& req) {
      const Json body = Body(req);
      const std::string model = UCase(Trim(Text(body, "model", 3)));
      const std::string library = UCase(Trim(Text(body, "library", 10)));
      const std::string file = UCase(Trim(Text(body, "file", 10)));
      const std::string description = Trim(Text(body, "description", 30, false));
      Record fx(layout::QV_FX);
      fx.Set("ENVID", s.env);
      fx.Set("GRPID", model);
      Record source(layout::ObjectName);
      source.Set("LIBRARY", library);
      source.Set("FILE", file);
      fx.Set("SRCTBL", source.image());
      fx.Set("DESCRIP", description);
      for (const char* flag : {"HOLD", "QV_TRANSFORM", "INSTINSERT", "INSTUPDATE", "INSTDELETE"}) fx.Set(flag, "0");
      fx.Set("X", "0000000000");
      fx.Set("Y", "0000000000");
      std::string image = fx.image();
      if (!s.control->AddFile(image, model)) throw Refusal(s);
      const std::string fic = Trim(Record(layout::QV_FX, image).Get("FICID"));
      platform::ListView fields;
      if (!s.control->FillFieldListZX(fields, model, fic)) throw Refusal(s);
      return Json{{"model", Utf8(model)}, {"table", Utf8(fic)}, {"fields", fields.Count()}};
    });

    Route("GET", "/api/item/below", Kind::Read, [this](ConsoleSession& s, const httplib::Request& req) {
      const std::string key = Param(req, "key");
      OpenBelow(s, Node(s, key));
      const platform::TreeNode& root = Node(s, key);
      Json below = Json::array();
      std::vector<std::pair<const platform::TreeNode*, int>> pending;
      for (auto it = root.Children().rbegin(); it != root.Children().rend(); ++it) pending.emplace_back(*it, 1);
      while (!pending.empty()) {
        auto [n, depth] = pending.back();
        pending.pop_back();
        below.push_back(Json{{"key", Utf8(n->Key())}, {"text", Utf8(n->text)}, {"depth", depth}});
        for (auto it = n->Children().rbegin(); it != n->Children().rend(); ++it) pending.emplace_back(*it, depth + 1);
      }
      return Json{{"key", Utf8(key)}, {"text", Utf8(root.text)}, {"below", below}};
    });

    Route("POST", "/api/item/delete", Kind::Change, [this](ConsoleSession& s, const httplib::Request& req) {
      const std::string key = Text(Body(req), "key", 40);
      const platform::TreeNode& n = Node(s, key);
      const Codes c = CodesOf(n);
      const std::string text = n.text;
      QVSource& q = *s.control;
      bool ok = false;
      if (tree::IsKind(n.tag, tree::kTarget)) ok = q.DeleteCible(c.tgt);
      else if (tree::IsKind(n.tag, tree::kModel)) ok = q.DeleteGroup(c.grp);
      else if (tree::IsKind(n.tag, tree::kDistribution)) ok = q.DeleteGC(c.tgt, c.grp);
      else if (tree::IsKind(n.tag, tree::kModelTable)) ok = q.DeleteFile(c.grp, c.fic);
      else if (tree::IsKind(n.tag, tree::kDistributedTable)) ok = q.DeleteFC(c.tgt, c.grp, c.fic);
      else throw ApiError(400, "the item " + Utf8(text) + " cannot be deleted");
      if (!ok) throw Refusal(s);
      return Json{{"deleted", Utf8(key)}, {"text", Utf8(text)}};
    });
  }
};

ConsoleServer::ConsoleServer(ConsoleConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {
  impl_->Routes();
}

ConsoleServer::~ConsoleServer() { Stop(); }

int ConsoleServer::Bind(const std::string& host, int port) {
  const int bound = port == 0 ? impl_->http.bind_to_any_port(host) : (impl_->http.bind_to_port(host, port) ? port : -1);
  impl_->bound = bound > 0;
  impl_->loopback = Impl::LocalHost(host.find(':') != std::string::npos ? "[" + host + "]" : host);
  return bound > 0 ? bound : -1;
}

bool ConsoleServer::Run() {
  {
    std::lock_guard<std::mutex> guard(impl_->runLock);
    if (!impl_->bound || impl_->stopped) return false;
    impl_->started = true;
  }
  const bool ok = impl_->http.listen_after_bind();
  impl_->finished = true;
  return ok;
}

void ConsoleServer::Stop() {
  {
    std::lock_guard<std::mutex> guard(impl_->runLock);
    impl_->stopped = true;
  }
  // Waits for a Run just begun to listen, so that the stop reaches it.
  while (impl_->started && !impl_->finished) {
    if (impl_->http.is_running()) impl_->http.stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::lock_guard<std::mutex> guard(impl_->lock);
  for (auto& [id, s] : impl_->sessions) impl_->Disconnect(*s);
  impl_->sessions.clear();
}

}  // namespace qv::cli
