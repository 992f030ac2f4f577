// Implements the record locks of the embedded source.
#include "dllparam/embedded/record_locks.h"

#include <unistd.h>

#include <ctime>
#include <fstream>
#include <sstream>
#include <vector>

namespace qv::embedded {
namespace {

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// Returns field 22 (start time in clock ticks) of /proc/<pid>/stat, or "".
std::string StartTimeOf(const std::string& pid) {
  std::string stat = ReadFirstLine("/proc/" + pid + "/stat");
  auto close = stat.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream rest(stat.substr(close + 2));
  std::string field;
  // Fields after the command start at field 3 (state); the start time is field 22.
  for (int i = 3; i <= 22 && rest >> field; ++i) {
    if (i == 22) return field;
  }
  return {};
}

std::string BootId() { return ReadFirstLine("/proc/sys/kernel/random/boot_id"); }

std::string Now() {
  std::time_t t = std::time(nullptr);
  char buf[32];
  std::tm tm{};
  gmtime_r(&t, &tm);
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

}  // namespace

const std::string& ProcessLockOwner() {
  // Computed again in a child after fork, which must not take its parent's identity.
  static thread_local pid_t computedFor = 0;
  static thread_local std::string owner;
  if (computedFor != ::getpid()) {
    computedFor = ::getpid();
    std::string pid = std::to_string(computedFor);
    owner = BootId() + ":" + pid + ":" + StartTimeOf(pid);
  }
  return owner;
}

bool LockOwnerAlive(std::string_view owner) {
  if (owner == ProcessLockOwner()) return true;
  auto first = owner.find(':');
  auto second = owner.find(':', first == std::string_view::npos ? 0 : first + 1);
  if (first == std::string_view::npos || second == std::string_view::npos) return false;
  if (owner.substr(0, first) != BootId()) return false;
  std::string pid(owner.substr(first + 1, second - first - 1));
  std::string start = StartTimeOf(pid);
  return !start.empty() && start == owner.substr(second + 1);
}

RecordLocks::Outcome RecordLocks::Acquire(std::string_view table, int64_t rid, const LockHolder& holder) {
  if (!insert_.valid())
    insert_ = db_.prepare(
        "INSERT OR IGNORE INTO qvs_lock (tbl, rid, owner, conn, handle, since) VALUES (?, ?, ?, ?, ?, ?)");
  if (!holderOf_.valid()) holderOf_ = db_.prepare("SELECT owner, conn, handle FROM qvs_lock WHERE tbl = ? AND rid = ?");
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::string since = Now();
    insert_.bindStatic(1, table);
    insert_.bind(2, rid);
    insert_.bindStatic(3, ProcessLockOwner());
    insert_.bind(4, holder.connection);
    insert_.bind(5, static_cast<int64_t>(holder.handle));
    insert_.bindStatic(6, since);
    insert_.step();
    insert_.reset();
    if (sqlite3_changes(db_.get()) > 0) return Outcome::Acquired;

    holderOf_.bindStatic(1, table);
    holderOf_.bind(2, rid);
    std::string owner;
    int64_t conn = 0, handle = 0;
    if (holderOf_.step()) {
      owner = std::string(holderOf_.columnText(0));
      conn = holderOf_.columnInt(1);
      handle = holderOf_.columnInt(2);
    }
    holderOf_.reset();
    if (owner == ProcessLockOwner() && conn == holder.connection && handle == holder.handle)
      return Outcome::Acquired;
    if (owner.empty() || LockOwnerAlive(owner)) {
      if (!owner.empty()) return Outcome::HeldByOther;
      continue;  // released meanwhile
    }
    // The owner died: take the lock over.
    Stmt drop = db_.prepare("DELETE FROM qvs_lock WHERE tbl = ? AND rid = ?");
    drop.bindStatic(1, table);
    drop.bind(2, rid);
    drop.step();
  }
  return Outcome::HeldByOther;
}

void RecordLocks::Release(std::string_view table, int64_t rid, const LockHolder& holder) {
  if (!release_.valid())
    release_ = db_.prepare("DELETE FROM qvs_lock WHERE tbl = ? AND rid = ? AND owner = ? AND conn = ?");
  release_.bindStatic(1, table);
  release_.bind(2, rid);
  release_.bindStatic(3, ProcessLockOwner());
  release_.bind(4, holder.connection);
  release_.step();
  release_.reset();
}

void RecordLocks::ReleaseConnection(int64_t connection) {
  Stmt st = db_.prepare("DELETE FROM qvs_lock WHERE owner = ? AND conn = ?");
  st.bindStatic(1, ProcessLockOwner());
  st.bind(2, connection);
  st.step();
}

void RecordLocks::RemoveStale() {
  std::vector<std::string> dead;
  {
    Stmt owners = db_.prepare("SELECT DISTINCT owner FROM qvs_lock");
    while (owners.step()) {
      std::string owner(owners.columnText(0));
      if (!LockOwnerAlive(owner)) dead.push_back(owner);
    }
  }
  for (const std::string& owner : dead) {
    Stmt st = db_.prepare("DELETE FROM qvs_lock WHERE owner = ?");
    st.bind(1, owner);
    st.step();
  }
}

}  // namespace qv::embedded
