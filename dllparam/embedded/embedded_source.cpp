// Implements the embedded source's connections, handles and error state.
#include "dllparam/embedded/embedded_source.h"

#include <sys/stat.h>

#include <atomic>
#include <filesystem>

#include "dllparam/embedded/embedded_internal.h"

namespace qv::embedded {

namespace fs = std::filesystem;

std::string TrimText(std::string_view s) {
  s = dllparam::CutAtNul(s);
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

std::string UpperText(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string Fit(std::string_view value, size_t width) {
  std::string out(value.substr(0, std::min(value.size(), width)));
  out.resize(width, ' ');
  return out;
}

namespace {

bool IsRegularFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

// Finds path with each component matched without regard to case when the
// exact spelling does not exist; returns nothing when a component is missing
// or ambiguous. A folder that cannot be listed ends the search: the path
// found so far with the rest as given comes back, so that opening it reports
// why.
std::optional<fs::path> ResolveCaseInsensitive(const fs::path& path) {
  std::error_code ec;
  if (fs::exists(path, ec)) return path;
  fs::path current = path.is_absolute() ? path.root_path() : fs::path(".");
  const fs::path relative = path.relative_path();
  for (auto part = relative.begin(); part != relative.end(); ++part) {
    fs::path exact = current / *part;
    if (fs::exists(exact, ec)) {
      current = exact;
      continue;
    }
    std::string want = UpperText(part->string());
    std::optional<fs::path> match;
    fs::directory_iterator it(current, ec);
    if (ec) {
      for (; part != relative.end(); ++part) current /= *part;
      return current;
    }
    for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
      if (UpperText(it->path().filename().string()) != want) continue;
      if (match) return std::nullopt;  // ambiguous
      match = it->path();
    }
    if (!match) return std::nullopt;
    current = *match;
  }
  if (!path.is_absolute() && current.string().rfind("./", 0) == 0) current = current.string().substr(2);
  return current;
}

std::atomic<int64_t> gConnectionSerial{0};

constexpr int32_t kHandleSpan = 1 << 24;

// Tells whether a function of SQL reads or writes files, or loads code.
bool ReachesFiles(const char* function) {
  if (!function) return false;
  const std::string name = UpperText(function);
  for (const char* f : {"LOAD_EXTENSION", "READFILE", "WRITEFILE", "EDIT", "FTS3_TOKENIZER"})
    if (name == f) return true;
  return false;
}

// Denies served SQL any access to the internal tables (qvs_*) and anything
// that reaches outside the store: pragmas, attachments, virtual tables and
// the functions that touch files; and transaction statements (units of work
// go through SetConnectOption). SQLite itself refuses changes to its schema
// table. VACUUM, which the authorizer sees only as it runs, is refused by
// the statement's text.
int Authorize(void* user, int action, const char* a, const char* b, const char*, const char*) {
  auto* c = static_cast<EmbeddedSource::Connection*>(user);
  if (!c->servingSql) return SQLITE_OK;
  auto internal = [](const char* name) { return name && UpperText(name).rfind("QVS_", 0) == 0; };
  switch (action) {
    case SQLITE_PRAGMA:
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
    case SQLITE_CREATE_VTABLE:
    case SQLITE_DROP_VTABLE:
      return SQLITE_DENY;
    case SQLITE_FUNCTION:
      return ReachesFiles(b) ? SQLITE_DENY : SQLITE_OK;
    case SQLITE_READ:
    case SQLITE_UPDATE:
    case SQLITE_INSERT:
    case SQLITE_DELETE:
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_INDEX:
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_CREATE_VIEW:
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_INDEX:
    case SQLITE_DROP_TRIGGER:
    case SQLITE_DROP_VIEW:
    case SQLITE_ALTER_TABLE:
      return internal(a) ? SQLITE_DENY : SQLITE_OK;
    default:
      return SQLITE_OK;
  }
}

}  // namespace

std::optional<std::string> StorePathOfAddress(const std::string& address) {
  std::string a = TrimText(address);
  if (a.size() >= 5 && UpperText(a.substr(0, 5)) == "FILE:") {
    std::string p = a.substr(5);
    if (p.empty()) return std::nullopt;
    if (auto found = ResolveCaseInsensitive(p)) return found->string();
    return p;
  }
  if (a.empty()) return std::nullopt;
  if (auto found = ResolveCaseInsensitive(a); found && IsRegularFile(*found)) return found->string();
  return std::nullopt;
}

EmbeddedSource::EmbeddedSource(int32_t handleBase)
    : handleBase_(handleBase), busyTimeoutMs_(DefaultBusyTimeoutMs()) {}

EmbeddedSource::~EmbeddedSource() {
  std::vector<int32_t> ids;
  for (auto& [id, c] : connections_) ids.push_back(id);
  for (int32_t id : ids) DropConnection(*connections_.at(id));
}

void EmbeddedSource::Fail(int32_t code, std::string text, int32_t errNum) {
  throw Fault{code, errNum, std::move(text)};
}

int32_t EmbeddedSource::GetLastError(int32_t& code, int32_t& errNum, std::string& text) {
  code = last_.code;
  errNum = last_.errNum;
  std::string t = last_.text.substr(0, kErrorTextMax);
  for (char& ch : t)
    if (ch == '\r' || ch == '\n' || ch == '\0') ch = ' ';
  dllparam::PutInBuffer(text, t);
  return 1;
}

EmbeddedSource::Connection& EmbeddedSource::Live(Connection& c) {
  if (!c.answering) Fail(kCodeNetwork, "connection to " + c.address + " lost: the source does not answer");
  return c;
}

EmbeddedSource::Connection& EmbeddedSource::Current() {
  if (!current_) Fail(kCodeBadCall, "no current connection");
  return Live(*current_);
}

EmbeddedSource::Handle& EmbeddedSource::HandleOf(int32_t h) {
  auto it = handles_.find(h);
  if (it == handles_.end()) Fail(kCodeBadCall, "unknown or closed handle " + std::to_string(h));
  Live(*it->second->conn);
  return *it->second;
}

EmbeddedSource::Handle& EmbeddedSource::FileHandleOf(int32_t h) {
  Handle& hd = HandleOf(h);
  if (hd.statement) Fail(kCodeBadCall, "handle " + std::to_string(h) + " is a statement handle");
  if (hd.member) Fail(kCodeBadCall, "handle " + std::to_string(h) + " is a source member: its lines are only written");
  return hd;
}

int32_t EmbeddedSource::NewHandleId() {
  for (int32_t tries = 0; tries < kHandleSpan; ++tries) {
    int32_t id = handleBase_ + nextHandle_;
    nextHandle_ = (nextHandle_ + 1) % kHandleSpan;
    if (!handles_.count(id)) return id;
  }
  Fail(kCodeRefused, "too many open files");
}

int32_t EmbeddedSource::OpenMConnection(const std::string& address, std::string& serverVersion,
                                        std::string& serverJob, int32_t& hConn) {
  return Guard([&] {
    std::optional<std::string> path = StorePathOfAddress(address);
    if (!path) Fail(kCodeNetwork, "no source server at " + TrimText(address));
    OpenedStore store;
    try {
      store = OpenStoreFile(*path, busyTimeoutMs_);
    } catch (const StoreError& e) {
      struct stat st {};
      bool missing = ::stat(path->c_str(), &st) != 0;
      Fail(missing ? kCodeNetwork : (e.busy() ? kCodeBusy : kCodeRefused), e.what());
    }
    auto c = std::make_unique<Connection>();
    c->db = std::move(store.db);
    c->kind = store.kind;
    c->serial = ++gConnectionSerial;
    c->address = TrimText(address);
    c->path = *path;
    if (IsNtKind(c->kind)) {
      sqlite3_set_authorizer(c->db.get(), Authorize, c.get());
    } else {
      try {
        c->locks = std::make_unique<RecordLocks>(*path);
        c->locks->RemoveStale();
      } catch (const StoreError& e) {
        Fail(kCodeRefused, e.what());
      }
    }

    int32_t id = 0;
    for (int32_t tries = 0; tries < kHandleSpan; ++tries) {
      id = handleBase_ + nextConnection_;
      nextConnection_ = nextConnection_ % (kHandleSpan - 1) + 1;
      if (!connections_.count(id)) break;
    }
    c->id = id;
    current_ = c.get();
    connections_[id] = std::move(c);
    hConn = id;
    dllparam::PutInBuffer(serverVersion, "EMB" + std::to_string(kStoreFormat));
    std::string job = std::to_string(current_->serial);
    dllparam::PutInBuffer(serverJob, std::string(job.size() < 10 ? 10 - job.size() : 0, '0') + job);
    return 1;
  });
}

int32_t EmbeddedSource::SwitchMConnection(int32_t hConn) {
  return Guard([&] {
    auto it = connections_.find(hConn);
    if (it == connections_.end()) Fail(kCodeBadCall, "unknown connection " + std::to_string(hConn));
    current_ = it->second.get();
    return 1;
  });
}

void EmbeddedSource::CloseHandle(Handle& hd) {
  Connection& c = *hd.conn;
  if (hd.lockedRowid) {
    try {
      ReleaseLock(hd);
    } catch (const StoreError&) {
      // The connection's locks are removed again when it closes.
    }
  }
  if (hd.statement) KeepServed(c, std::move(hd.served));
  std::erase(c.handles, hd.id);
  handles_.erase(hd.id);
}

void EmbeddedSource::DropConnection(Connection& c) {
  for (int32_t h : std::vector<int32_t>(c.handles)) handles_.erase(h);
  c.handles.clear();
  c.reads.clear();
  c.writes.clear();
  c.updates.clear();
  c.kept.clear();
  c.spare.clear();
  if (c.inUnit || c.db.inTransaction()) c.db.rollback();
  try {
    if (c.lockedAny) c.locks->ReleaseConnection(c.serial);
  } catch (const StoreError&) {
    // Left to the stale-lock cleanup: the rows name this process and connection.
  }
  c.locks.reset();
  if (current_ == &c) current_ = nullptr;
  connections_.erase(c.id);
}

int32_t EmbeddedSource::CloseMConnection(int32_t hConn) {
  return Guard([&] {
    auto it = connections_.find(hConn);
    if (it == connections_.end()) Fail(kCodeBadCall, "unknown connection " + std::to_string(hConn));
    DropConnection(*it->second);
    return 1;
  });
}

int32_t EmbeddedSource::PingPong() {
  return Guard([&] {
    Connection& c = Current();
    struct stat st {};
    if (::stat(c.path.c_str(), &st) != 0) {
      c.answering = false;
      Fail(kCodeNetwork, "connection to " + c.address + " lost: the store is gone");
    }
    return 1;
  });
}

int32_t EmbeddedSource::Rclose(int32_t h) {
  return Guard([&] {
    auto it = handles_.find(h);
    if (it == handles_.end()) Fail(kCodeBadCall, "unknown or closed handle " + std::to_string(h));
    CloseHandle(*it->second);
    return 1;
  });
}

int32_t EmbeddedSource::SetConnectOption(int32_t option) {
  return Guard([&] {
    Connection& c = Current();
    if (option != kOptionBeginChange && option != kOptionEndChange && option != kOptionEndRead)
      Fail(kCodeNotSupported, "connection option " + std::to_string(option) + " not supported");
    if (!IsNtKind(c.kind)) return 1;
    if (option == kOptionBeginChange) {
      if (!c.inUnit) {
        c.db.begin();
        c.inUnit = true;
      }
      return 1;
    }
    if (c.inUnit) {
      c.inUnit = false;
      if (c.db.inTransaction()) c.db.commit();
    }
    return 1;
  });
}

// ---- Services that later work adds --------------------------------------

namespace {
constexpr const char* kLater = "service not supported by the embedded source yet: ";
}

int32_t EmbeddedSource::BuildReceiverListNT(const std::string&, const std::string&, std::string&, int32_t& len,
                                            int32_t) {
  len = 0;
  return Guard([&]() -> int32_t {
    Current();
    Fail(kCodeNotSupported, std::string(kLater) + "BuildReceiverListNT");
  });
}

}  // namespace qv::embedded
