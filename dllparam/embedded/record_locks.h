// Record locks of the embedded AS/400 files, kept in the store's qvs_lock
// table so that they hold across connections and across processes.
//
// A lock row names the physical table and row, the owning process (boot id,
// process id and start time, so that a lock left by a process that died is
// recognised and taken over) and the owning connection and file handle.
// A record locked by another handle is refused at once (no waiting).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dllparam/embedded/sqlite_db.h"

namespace qv::embedded {

// Returns the identity of this process as written in lock rows:
// "<boot id>:<pid>:<start time>".
const std::string& ProcessLockOwner();

// Returns true when the process named by a lock owner text is still running.
bool LockOwnerAlive(std::string_view owner);

// Who asks for a lock: a connection serial unique in the process and a handle.
struct LockHolder {
  int64_t connection;
  int32_t handle;
};

class RecordLocks {
 public:
  explicit RecordLocks(Db& db) : db_(db) {}

  enum class Outcome { Acquired, HeldByOther };

  // Locks row rid of table for holder. Must run inside a write transaction.
  // A lock of the same holder on that row is kept; a lock of a dead process
  // is taken over. Throws StoreError.
  Outcome Acquire(std::string_view table, int64_t rid, const LockHolder& holder);
  // Releases the lock of holder on that row (nothing when it holds none).
  void Release(std::string_view table, int64_t rid, const LockHolder& holder);
  // Releases every lock of a connection of this process.
  void ReleaseConnection(int64_t connection);
  // Removes the locks of processes that no longer run.
  void RemoveStale();

 private:
  Db& db_;
  Stmt insert_, holderOf_, release_;
};

}  // namespace qv::embedded
