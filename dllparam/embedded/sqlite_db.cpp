// Implements the SQLite wrappers of the embedded source.
#include "dllparam/embedded/sqlite_db.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <utility>

namespace qv::embedded {
namespace {

using WaitClock = std::chrono::steady_clock;

// Waits while another connection holds the store: sleeps of 20 us doubling
// up to 1 ms, so that a lock held for a commit's few hundred microseconds is
// taken soon after its release, until the timeout (ms in arg) has passed
// since the first refusal of this lock; then lets SQLite report the store
// busy.
int WaitWhileBusy(void* arg, int count) {
  // A connection is used by one thread at a time and waits for one lock at
  // a time, so the start of the current wait is kept per thread.
  thread_local WaitClock::time_point since;
  const auto now = WaitClock::now();
  if (count == 0) since = now;
  const auto limit = std::chrono::milliseconds(reinterpret_cast<intptr_t>(arg));
  const auto waited = now - since;
  if (waited >= limit) return 0;
  const auto step = std::chrono::microseconds(std::min<int64_t>(1000, int64_t{20} << std::min(count, 6)));
  std::this_thread::sleep_for(std::min<WaitClock::duration>(step, limit - waited));
  return 1;
}

}  // namespace

void ThrowSqlite(sqlite3* db, int rc, std::string_view context) {
  int primary = rc & 0xff;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) throw StoreError(kStoreBusyText, true, rc);
  std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  if (primary == SQLITE_NOTADB) text = "file is not a source store";
  if (!context.empty()) text = std::string(context) + ": " + text;
  throw StoreError(text, false, rc);
}

Db::~Db() { close(); }

void Db::close() noexcept {
  begin_ = Stmt();
  commit_ = Stmt();
  rollback_ = Stmt();
  lent_.clear();
  if (db_) sqlite3_close_v2(std::exchange(db_, nullptr));
}

Db& Db::operator=(Db&& other) noexcept {
  if (this != &other) {
    close();
    db_ = std::exchange(other.db_, nullptr);
    begin_ = std::move(other.begin_);
    commit_ = std::move(other.commit_);
    rollback_ = std::move(other.rollback_);
    lent_ = std::move(other.lent_);
  }
  return *this;
}

void Db::runKept(Stmt& slot, std::string_view sql) {
  if (!slot.valid()) slot = prepare(sql);
  // Reset even when the step throws, so that a kept statement never stays
  // half-run between two transactions.
  struct Reset {
    sqlite3_stmt* stmt;
    ~Reset() { sqlite3_reset(stmt); }
  } reset{slot.get()};
  slot.step();
}

void Db::begin() { runKept(begin_, "BEGIN IMMEDIATE"); }

void Db::commit() { runKept(commit_, "COMMIT"); }

void Db::rollback() noexcept {
  try {
    runKept(rollback_, "ROLLBACK");
  } catch (const std::exception&) {
    // Nothing to roll back, or the store rolled the transaction back itself.
  }
}

Db Db::Open(const std::string& path, bool create, int busyTimeoutMs) {
  Db db;
  if (create && path != ":memory:" && !path.empty()) {
    // Creates the file readable by its owner only; SQLite gives its journal,
    // WAL and shared-memory files the mode of the database file.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) throw StoreError("cannot open store " + path + ": " + std::strerror(errno));
    ::close(fd);
  }
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &db.db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string text = db.db_ ? sqlite3_errmsg(db.db_) : sqlite3_errstr(rc);
    throw StoreError("cannot open store " + path + ": " + text);
  }
  sqlite3_extended_result_codes(db.db_, 1);
  if (busyTimeoutMs > 0)
    sqlite3_busy_handler(db.db_, WaitWhileBusy, reinterpret_cast<void*>(static_cast<intptr_t>(busyTimeoutMs)));
  // No statement may load code into the process.
  sqlite3_db_config(db.db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  return db;
}

void Db::exec(std::string_view sql) {
  std::string text(sql);
  char* msg = nullptr;
  int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &msg);
  if (rc != SQLITE_OK) {
    sqlite3_free(msg);
    ThrowSqlite(db_, rc);
  }
}

Stmt Db::prepare(std::string_view sql) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                              &st, nullptr);
  if (rc != SQLITE_OK) ThrowSqlite(db_, rc);
  return Stmt(db_, st);
}

Stmt Db::prepareOnce(std::string_view sql, std::string_view* tail) {
  sqlite3_stmt* st = nullptr;
  const char* rest = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &st, &rest);
  if (rc != SQLITE_OK) ThrowSqlite(db_, rc);
  if (tail) *tail = rest ? std::string_view(rest, static_cast<size_t>(sql.data() + sql.size() - rest)) : "";
  return Stmt(db_, st);
}

StmtLoan Db::lend(std::string_view sql) {
  auto it = lent_.find(sql);
  if (it == lent_.end()) it = lent_.emplace(std::string(sql), prepare(sql)).first;
  return StmtLoan(it->second);
}

std::string Db::errorText() const { return db_ ? sqlite3_errmsg(db_) : std::string(); }

Stmt::~Stmt() {
  if (st_) sqlite3_finalize(st_);
}

Stmt& Stmt::operator=(Stmt&& other) noexcept {
  if (this != &other) {
    if (st_) sqlite3_finalize(st_);
    db_ = other.db_;
    st_ = std::exchange(other.st_, nullptr);
  }
  return *this;
}

void Stmt::bindStatic(int index, std::string_view text) {
  int rc = sqlite3_bind_text(st_, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  if (rc != SQLITE_OK) ThrowSqlite(db_, rc);
}

void Stmt::bind(int index, std::string_view text) {
  int rc = sqlite3_bind_text(st_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) ThrowSqlite(db_, rc);
}

void Stmt::bind(int index, int64_t value) {
  int rc = sqlite3_bind_int64(st_, index, value);
  if (rc != SQLITE_OK) ThrowSqlite(db_, rc);
}

bool Stmt::step() {
  int rc = sqlite3_step(st_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  // Keep the statement reusable after a failure.
  sqlite3_reset(st_);
  ThrowSqlite(db_, rc);
}

void Stmt::reset() {
  sqlite3_reset(st_);
  sqlite3_clear_bindings(st_);
}

std::string_view Stmt::columnText(int i) const {
  const unsigned char* p = sqlite3_column_text(st_, i);
  if (!p) return {};
  return {reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(st_, i))};
}

}  // namespace qv::embedded
