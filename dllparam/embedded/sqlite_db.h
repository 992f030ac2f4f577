// Thin RAII wrappers over SQLite for the embedded source: a database handle
// and prepared statements, with failures turned into StoreError.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace qv::embedded {

// Raised by the store layer; what() is the text the library reports.
// busy() tells that the store stayed locked by another writer past the busy timeout.
class StoreError : public std::runtime_error {
 public:
  explicit StoreError(const std::string& text, bool busy = false, int sqliteCode = 0)
      : std::runtime_error(text), busy_(busy), sqliteCode_(sqliteCode) {}
  bool busy() const { return busy_; }
  // The SQLite result code (extended) behind the failure, 0 when none.
  int sqliteCode() const { return sqliteCode_; }
  bool constraint() const { return (sqliteCode_ & 0xff) == SQLITE_CONSTRAINT; }

 private:
  bool busy_;
  int sqliteCode_;
};

// Text of every "store locked too long" failure.
inline constexpr const char* kStoreBusyText = "source store busy";

// A prepared statement. Move-only; finalised on destruction.
class Stmt {
 public:
  Stmt() = default;
  Stmt(sqlite3* db, sqlite3_stmt* st) : db_(db), st_(st) {}
  ~Stmt();
  Stmt(Stmt&& other) noexcept : db_(other.db_), st_(other.st_) { other.st_ = nullptr; }
  Stmt& operator=(Stmt&& other) noexcept;
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  sqlite3_stmt* get() const { return st_; }
  bool valid() const { return st_ != nullptr; }

  // Binds text that stays alive until the next reset (no copy).
  void bindStatic(int index, std::string_view text);
  // Binds a copy of the text.
  void bind(int index, std::string_view text);
  void bind(int index, int64_t value);
  // Steps once: true when a row is ready, false when done. Throws StoreError.
  bool step();
  // Resets the statement and clears its bindings.
  void reset();

  int columnCount() const { return sqlite3_column_count(st_); }
  std::string_view columnText(int i) const;
  int64_t columnInt(int i) const { return sqlite3_column_int64(st_, i); }
  bool columnIsNull(int i) const { return sqlite3_column_type(st_, i) == SQLITE_NULL; }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* st_ = nullptr;
};

// A statement that a connection keeps prepared, lent for one run: reset,
// its bindings cleared, when the loan ends.
class StmtLoan {
 public:
  explicit StmtLoan(Stmt& st) : st_(&st) {}
  ~StmtLoan() { st_->reset(); }
  StmtLoan(const StmtLoan&) = delete;
  StmtLoan& operator=(const StmtLoan&) = delete;

  Stmt& operator*() const { return *st_; }
  Stmt* operator->() const { return st_; }

 private:
  Stmt* st_;
};

// One SQLite connection to a store file. Move-only.
class Db {
 public:
  Db() = default;
  ~Db();
  Db(Db&& other) noexcept { *this = std::move(other); }
  Db& operator=(Db&& other) noexcept;
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;

  // Opens an existing file (create=false) or creates it (create=true) with
  // mode 0600, and so its journal and WAL files. A statement that finds the
  // store locked by another connection waits up to busyTimeoutMs for it
  // (0: fails at once), looking again every millisecond at most. Throws
  // StoreError with the path in the text on failure.
  static Db Open(const std::string& path, bool create, int busyTimeoutMs);

  sqlite3* get() const { return db_; }
  bool isOpen() const { return db_ != nullptr; }

  // Runs one or more statements without results; throws StoreError.
  void exec(std::string_view sql);
  // Prepares one statement kept for reuse; throws StoreError.
  Stmt prepare(std::string_view sql);
  // Prepares one statement run once. When tail is given it receives what
  // follows the first statement. Throws StoreError.
  Stmt prepareOnce(std::string_view sql, std::string_view* tail = nullptr);
  // Lends the statement of sql, prepared on its first loan and kept while
  // the connection is open: for the store's own statements that run often.
  // One loan of a text at a time. Throws StoreError.
  StmtLoan lend(std::string_view sql);
  // Returns the text of the last error of this connection.
  std::string errorText() const;
  bool inTransaction() const { return db_ && !sqlite3_get_autocommit(db_); }

  // Begins a write transaction (BEGIN IMMEDIATE), commits it, or rolls it
  // back (without throwing), each with a statement prepared once for the
  // connection. begin and commit throw StoreError.
  void begin();
  void commit();
  void rollback() noexcept;

 private:
  // Closes the connection after its kept statements.
  void close() noexcept;
  // Runs the kept statement of sql in slot, preparing it on first use.
  void runKept(Stmt& slot, std::string_view sql);

  sqlite3* db_ = nullptr;
  Stmt begin_, commit_, rollback_;
  std::map<std::string, Stmt, std::less<>> lent_;
};

// Throws StoreError for a failed SQLite result code, naming busy stores clearly.
[[noreturn]] void ThrowSqlite(sqlite3* db, int rc, std::string_view context = {});

// Runs a statement inside BEGIN IMMEDIATE / COMMIT when the connection is in
// autocommit mode; inside an open transaction it runs the work directly.
template <typename Fn>
auto WithWriteTransaction(Db& db, Fn&& fn) {
  if (db.inTransaction()) return fn();
  db.begin();
  try {
    if constexpr (std::is_void_v<decltype(fn())>) {
      fn();
      db.commit();
    } else {
      auto result = fn();
      db.commit();
      return result;
    }
  } catch (...) {
    db.rollback();
    throw;
  }
}

}  // namespace qv::embedded
