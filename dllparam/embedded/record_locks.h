// Record locks of the embedded AS/400 files, kept in a small table of shared
// memory beside the store file ("<store>-locks", mapped by every process
// that opens the store), so that they hold across connections and across
// processes without a write to the store of their own.
//
// A lock names the physical table and row, the owning process (boot id,
// process id and start time, so that a lock left by a process that died is
// recognised and taken over) and the owning connection and file handle.
// A record locked by another handle is refused at once (no waiting).
//
// Each table also has a change stamp, moved by a holder that releases a
// record it changed (after its change is committed). A reader reads the
// stamp, reads the record, locks it and reads the stamp again: when the
// stamp did not move, what it read is the record as it is now.
//
// The table is guarded by a process-shared robust mutex: a process that dies
// while it holds the mutex leaves the table to be repaired by the next one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::embedded {

// Returns the identity of this process as written in locks:
// "<boot id>:<pid>:<start time>".
const std::string& ProcessLockOwner();

// Returns true when the process named by a lock owner text is still running.
bool LockOwnerAlive(std::string_view owner);

// Who asks for a lock: a connection serial unique in the process and a handle.
struct LockHolder {
  int64_t connection;
  int32_t handle;
};

// One lock as listed for the store's administration.
struct StoreLock {
  std::string table;
  int64_t rowid = 0;
  std::string owner;
  int64_t connection = 0;
  int32_t handle = 0;
  std::string since;
};

// Returns the path of the lock table of the store file at storePath.
std::string LockTablePath(const std::string& storePath);

// Returns the locks held on the store at storePath, by table and row (none
// when its lock table was never made). Throws StoreError.
std::vector<StoreLock> ListStoreLocks(const std::string& storePath);

class RecordLocks {
 public:
  // Maps the lock table of the store file at storePath, making it when it
  // does not exist (with the store file's permissions). Throws StoreError.
  explicit RecordLocks(const std::string& storePath);
  ~RecordLocks();
  RecordLocks(const RecordLocks&) = delete;
  RecordLocks& operator=(const RecordLocks&) = delete;

  enum class Outcome { Acquired, HeldByOther };

  // Locks row rid of table for holder. A lock of the same holder on that row
  // is kept; a lock of a dead process is taken over. Throws StoreError when
  // the table is full.
  Outcome Acquire(std::string_view table, int64_t rid, const LockHolder& holder);
  // Releases the lock of holder's connection on that row (nothing when it
  // holds none); with changed, first moves the table's change stamp.
  void Release(std::string_view table, int64_t rid, const LockHolder& holder, bool changed = false);
  // Returns the change stamp of a table.
  uint64_t Stamp(std::string_view table) const;
  // Releases every lock of a connection of this process.
  void ReleaseConnection(int64_t connection);
  // Removes the locks of processes that no longer run.
  void RemoveStale();
  // Returns every lock held, by table and row.
  std::vector<StoreLock> List();

  struct Shared;

 private:
  Shared* shared_ = nullptr;
};

}  // namespace qv::embedded
