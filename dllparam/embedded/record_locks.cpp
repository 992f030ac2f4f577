// Implements the record locks of the embedded source.
#include "dllparam/embedded/record_locks.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <map>
#include <tuple>
#include <vector>

#include "dllparam/embedded/sqlite_db.h"

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


// ---- The shared table ---------------------------------------------------------

namespace {

constexpr uint64_t kMagic = 0x31304B434F4C5651ull;  // "QVLOCK01"
constexpr uint32_t kSlots = 4096;                  // locks held at once, all processes together
constexpr uint32_t kStamps = 256;                  // change stamps, tables hashed onto them
constexpr std::size_t kTableMax = 64, kOwnerMax = 96, kSinceMax = 24;

static_assert(std::atomic<uint64_t>::is_always_lock_free, "stamps are shared between processes");

struct Slot {
  uint32_t used;
  int32_t handle;
  int64_t rid;
  int64_t conn;
  char table[kTableMax];
  char owner[kOwnerMax];
  char since[kSinceMax];
};

uint64_t Fnv(std::string_view text, uint64_t h = 1469598103934665603ull) {
  for (unsigned char ch : text) h = (h ^ ch) * 1099511628211ull;
  return h;
}

uint32_t HomeOf(std::string_view table, int64_t rid) {
  uint64_t h = Fnv(table);
  for (int i = 0; i < 8; ++i) h = (h ^ ((static_cast<uint64_t>(rid) >> (8 * i)) & 0xff)) * 1099511628211ull;
  return static_cast<uint32_t>(h % kSlots);
}

std::string_view Text(const char* field, std::size_t size) { return {field, strnlen(field, size)}; }

void Copy(char* field, std::size_t size, std::string_view text) {
  std::memset(field, 0, size);
  std::memcpy(field, text.data(), std::min(text.size(), size));
}

}  // namespace

struct RecordLocks::Shared {
  uint64_t magic;
  uint32_t slots;
  uint32_t stampCount;
  pthread_mutex_t mutex;
  std::atomic<uint64_t> stamps[kStamps];
  Slot slot[kSlots];

  bool Holds(uint32_t i, std::string_view table, int64_t rid) const {
    return slot[i].rid == rid && Text(slot[i].table, kTableMax) == table;
  }

  // Returns the slot of (table, rid), or kSlots when it is not locked.
  uint32_t Find(std::string_view table, int64_t rid) const {
    for (uint32_t n = 0, i = HomeOf(table, rid); n < kSlots && slot[i].used; ++n, i = (i + 1) % kSlots)
      if (Holds(i, table, rid)) return i;
    return kSlots;
  }

  // Returns the first free slot from the home of (table, rid), or kSlots when full.
  uint32_t FreeFor(std::string_view table, int64_t rid) const {
    for (uint32_t n = 0, i = HomeOf(table, rid); n < kSlots; ++n, i = (i + 1) % kSlots)
      if (!slot[i].used) return i;
    return kSlots;
  }

  // Empties slot i and moves back the entries after it that would no longer
  // be found from their home slot, so that no lookup stops short of them.
  void Erase(uint32_t i) {
    slot[i].used = 0;  // the hole; the walk below ends at the latest when it comes back to it
    for (uint32_t j = (i + 1) % kSlots; slot[j].used; j = (j + 1) % kSlots) {
      uint32_t home = HomeOf(Text(slot[j].table, kTableMax), slot[j].rid);
      bool reachable = i <= j ? (i < home && home <= j) : (i < home || home <= j);
      if (reachable) continue;
      slot[i] = slot[j];
      slot[j].used = 0;
      i = j;
    }
  }

  // Empties every slot for which drop answers true.
  template <typename Fn>
  void EraseWhere(Fn&& drop) {
    for (uint32_t i = 0; i < kSlots; ++i)
      while (slot[i].used && drop(slot[i])) Erase(i);
  }

  // Puts every entry back from its home slot, once each: the table as a
  // process left it when it died in the middle of a change.
  void Rebuild() {
    std::vector<Slot> entries;
    for (const Slot& s : slot)
      if (s.used) entries.push_back(s);
    for (Slot& s : slot) s.used = 0;
    for (const Slot& s : entries) {
      std::string_view table = Text(s.table, kTableMax);
      if (Find(table, s.rid) != kSlots) continue;
      uint32_t i = FreeFor(table, s.rid);
      if (i != kSlots) slot[i] = s;
    }
  }
};

namespace {

using Shared = RecordLocks::Shared;

// Holds the table's mutex, repairing the table when its last holder died.
class Held {
 public:
  explicit Held(Shared* s) : s_(s) {
    int rc = pthread_mutex_lock(&s_->mutex);
    if (rc == EOWNERDEAD) {
      s_->Rebuild();
      pthread_mutex_consistent(&s_->mutex);
    } else if (rc != 0) {
      throw StoreError(std::string("record locks unusable: ") + std::strerror(rc));
    }
  }
  ~Held() { pthread_mutex_unlock(&s_->mutex); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

 private:
  Shared* s_;
};

// Closes a descriptor when it goes.
struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

[[noreturn]] void Unusable(const std::string& path, const std::string& why) {
  throw StoreError("record locks " + path + " unusable: " + why);
}

// Maps the lock table at path, making and filling it first when it is new
// (under an exclusive file lock, so that two processes never both fill it).
Shared* MapLockTable(const std::string& path, mode_t mode) {
  Fd f{::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, mode)};
  if (f.fd < 0) Unusable(path, std::strerror(errno));
  if (::flock(f.fd, LOCK_EX) != 0) Unusable(path, std::strerror(errno));
  struct stat st {};
  if (::fstat(f.fd, &st) != 0) Unusable(path, std::strerror(errno));
  const auto size = static_cast<off_t>(sizeof(Shared));
  if (st.st_size != 0 && st.st_size != size) Unusable(path, "not a lock table of this version");
  if (st.st_size == 0 && ::ftruncate(f.fd, size) != 0) Unusable(path, std::strerror(errno));
  void* map = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED, f.fd, 0);
  if (map == MAP_FAILED) Unusable(path, std::strerror(errno));
  auto* s = static_cast<Shared*>(map);
  if (s->magic != kMagic) {
    // New, or left half made by a process that died making it: nobody else
    // can have used it, since it was never marked as made.
    std::memset(static_cast<void*>(s), 0, sizeof(Shared));
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    int rc = pthread_mutex_init(&s->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
      ::munmap(map, sizeof(Shared));
      Unusable(path, std::strerror(rc));
    }
    s->slots = kSlots;
    s->stampCount = kStamps;
    std::atomic_thread_fence(std::memory_order_release);
    s->magic = kMagic;
  } else if (s->slots != kSlots || s->stampCount != kStamps) {
    ::munmap(map, sizeof(Shared));
    Unusable(path, "not a lock table of this version");
  }
  ::flock(f.fd, LOCK_UN);
  return s;
}

}  // namespace

std::string LockTablePath(const std::string& storePath) { return storePath + "-locks"; }

std::vector<StoreLock> ListStoreLocks(const std::string& storePath) {
  struct stat st {};
  if (::stat(LockTablePath(storePath).c_str(), &st) != 0) return {};
  return RecordLocks(storePath).List();
}

RecordLocks::RecordLocks(const std::string& storePath) {
  struct stat st {};
  mode_t mode = ::stat(storePath.c_str(), &st) == 0 ? (st.st_mode & 0666) : 0600;
  shared_ = MapLockTable(LockTablePath(storePath), mode);
}

RecordLocks::~RecordLocks() { ::munmap(shared_, sizeof(Shared)); }

RecordLocks::Outcome RecordLocks::Acquire(std::string_view table, int64_t rid, const LockHolder& holder) {
  const std::string& me = ProcessLockOwner();
  if (table.size() > kTableMax) throw StoreError("table name too long to lock: " + std::string(table));
  if (me.size() > kOwnerMax) throw StoreError("process identity too long to lock with: " + me);
  Held held(shared_);
  uint32_t i = shared_->Find(table, rid);
  if (i != kSlots) {
    Slot& s = shared_->slot[i];
    std::string_view owner = Text(s.owner, kOwnerMax);
    if (owner == me && s.conn == holder.connection && s.handle == holder.handle) return Outcome::Acquired;
    if (LockOwnerAlive(owner)) return Outcome::HeldByOther;
    // The owner died: the lock is taken over below, in its slot.
  } else {
    i = shared_->FreeFor(table, rid);
    if (i == kSlots) throw StoreError("too many record locks held at once (" + std::to_string(kSlots) + ")");
  }
  Slot& s = shared_->slot[i];
  s.rid = rid;
  s.conn = holder.connection;
  s.handle = holder.handle;
  Copy(s.table, kTableMax, table);
  Copy(s.owner, kOwnerMax, me);
  Copy(s.since, kSinceMax, Now());
  s.used = 1;
  return Outcome::Acquired;
}

void RecordLocks::Release(std::string_view table, int64_t rid, const LockHolder& holder, bool changed) {
  const std::string& me = ProcessLockOwner();
  Held held(shared_);
  if (changed) shared_->stamps[Fnv(table) % kStamps].fetch_add(1);
  uint32_t i = shared_->Find(table, rid);
  if (i != kSlots && shared_->slot[i].conn == holder.connection && Text(shared_->slot[i].owner, kOwnerMax) == me)
    shared_->Erase(i);
}

uint64_t RecordLocks::Stamp(std::string_view table) const { return shared_->stamps[Fnv(table) % kStamps].load(); }

void RecordLocks::ReleaseConnection(int64_t connection) {
  const std::string& me = ProcessLockOwner();
  Held held(shared_);
  shared_->EraseWhere([&](const Slot& s) { return s.conn == connection && Text(s.owner, kOwnerMax) == me; });
}

void RecordLocks::RemoveStale() {
  Held held(shared_);
  std::map<std::string, bool, std::less<>> alive;
  shared_->EraseWhere([&](const Slot& s) {
    std::string_view owner = Text(s.owner, kOwnerMax);
    auto it = alive.find(owner);
    if (it == alive.end()) it = alive.emplace(std::string(owner), LockOwnerAlive(owner)).first;
    return !it->second;
  });
}

std::vector<StoreLock> RecordLocks::List() {
  std::vector<StoreLock> out;
  {
    Held held(shared_);
    for (const Slot& s : shared_->slot)
      if (s.used)
        out.push_back({std::string(Text(s.table, kTableMax)), s.rid, std::string(Text(s.owner, kOwnerMax)), s.conn,
                       s.handle, std::string(Text(s.since, kSinceMax))});
  }
  std::sort(out.begin(), out.end(),
            [](const StoreLock& a, const StoreLock& b) { return std::tie(a.table, a.rowid) < std::tie(b.table, b.rowid); });
  return out;
}

}  // namespace qv::embedded
