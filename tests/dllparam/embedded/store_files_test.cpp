// Checks the files of a store: created and described, private to their owner
// (with the WAL files SQLite makes beside them), flushed to disk as the store
// is set, and the check that a server runs before it serves a store.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "dllparam/admin/store_admin.h"
#include "dllparam/embedded/embedded_source.h"
#include "dllparam/embedded/store_schema.h"
#include "support/embedded_store.h"
#include "support/lib_client.h"
#include "support/topology.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;
using embedded::SourceKind;

TEST(DescribeStore, ShowsTheKindAndRowsAndMasksPasswords) {
  for (SourceKind kind : {SourceKind::AS400, SourceKind::ODBC, SourceKind::SQLServer, SourceKind::Oracle}) {
    SCOPED_TRACE(embedded::KindName(kind));
    EmbeddedStore store(kind, true, "s3cret");
    const std::string text = embedded::DescribeStore(store.path());
    EXPECT_NE(text.find(std::string("kind            ") + std::string(embedded::KindName(kind))), std::string::npos);
    EXPECT_NE(text.find("QV_EX    2 rows"), std::string::npos) << text;
    EXPECT_NE(text.find("USERID=QVADMIN"), std::string::npos);
    EXPECT_EQ(text.find("s3cret"), std::string::npos);
    EXPECT_EQ(text.find("password=QVADMIN"), std::string::npos);
  }
}

TEST(CreateStore, RefusesAnExistingFileUnlessForcedAndLosesNothing) {
  EmbeddedStore store(SourceKind::AS400, true);
  embedded::CreateStoreOptions options;
  options.kind = SourceKind::SQLServer;
  EXPECT_THROW(embedded::CreateStore(store.path(), options), embedded::StoreError);
  EXPECT_EQ(embedded::StoreAdmin(store.path()).kind(), SourceKind::AS400);
  EXPECT_EQ(embedded::StoreAdmin(store.path()).Count(layout::QV_EX), 2u);

  options.force = true;
  embedded::CreateStore(store.path(), options);
  {
    embedded::StoreAdmin replaced(store.path());
    EXPECT_EQ(replaced.kind(), SourceKind::SQLServer);
    EXPECT_EQ(replaced.Count(layout::QV_EX), 0u);
  }
  // No temporary file is left beside it.
  const fs::directory_iterator files(store.folder());
  EXPECT_EQ(std::distance(begin(files), end(files)), 1);
  EXPECT_THROW(embedded::CreateStore("/nonexistent-folder-qv/store.qvs", {}), embedded::StoreError);
}

TEST(StoreFiles, AStoreAndTheFilesBesideItAreReadableByTheirOwnerOnly) {
  for (SourceKind kind : {SourceKind::AS400, SourceKind::Oracle}) {
    EmbeddedStore store(kind, /*demo=*/true);
    LibClient client;
    ASSERT_NE(client.Open(store.address()), 0);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(store.folder())) {
      struct stat st {};
      ASSERT_EQ(::stat(entry.path().c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0600u) << entry.path();
      ++files;
    }
    // The store, its WAL and shared-memory files, and on AS/400 its record lock table.
    EXPECT_EQ(files, kind == SourceKind::AS400 ? 4 : 3) << "while a connection is open";
  }
}

// Counts the disk flushes of every SQLite file opened while it lives: it
// stands as the default file system of SQLite, opens each file with the one
// it replaced, and gives the file the same methods but a flush that counts.
class FlushCounter {
 public:
  FlushCounter() : base_(sqlite3_vfs_find(nullptr)), vfs_(*base_) {
    vfs_.zName = "qvflushcount";
    vfs_.pAppData = this;
    vfs_.xOpen = &Open;
    sqlite3_vfs_register(&vfs_, 1);
  }
  ~FlushCounter() { sqlite3_vfs_unregister(&vfs_); }
  FlushCounter(const FlushCounter&) = delete;
  FlushCounter& operator=(const FlushCounter&) = delete;

  int flushes() const { return flushes_.load(); }

 private:
  // The methods given to a file: its own, with the counting flush.
  struct Methods {
    sqlite3_io_methods counting;
    const sqlite3_io_methods* real;
    FlushCounter* counter;
  };

  static int Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    auto* self = static_cast<FlushCounter*>(vfs->pAppData);
    const int rc = self->base_->xOpen(self->base_, name, file, flags, outFlags);
    if (file->pMethods) {
      std::unique_ptr<Methods>& m = self->methods_[file->pMethods];
      if (!m) m.reset(new Methods{*file->pMethods, file->pMethods, self});
      m->counting.xSync = &Sync;
      file->pMethods = &m->counting;
    }
    return rc;
  }
  static int Sync(sqlite3_file* f, int flags) {
    const auto* m = reinterpret_cast<const Methods*>(f->pMethods);
    m->counter->flushes_.fetch_add(1);
    return m->real->xSync(f, flags);
  }

  sqlite3_vfs* base_;
  sqlite3_vfs vfs_;
  std::map<const sqlite3_io_methods*, std::unique_ptr<Methods>> methods_;
  std::atomic<int> flushes_{0};
};

// Runs commits after a locked read on an AS/400 store, with QV_STORE_SYNC
// set to sync (unset when nothing), and returns the disk flushes they made.
int FlushesOfCommitsAfterALockedRead(const std::optional<std::string>& sync) {
  EmbeddedStore store(SourceKind::AS400);
  const char* was = std::getenv("QV_STORE_SYNC");
  const std::optional<std::string> saved = was ? std::optional<std::string>(was) : std::nullopt;
  if (sync) ::setenv("QV_STORE_SYNC", sync->c_str(), 1);
  else ::unsetenv("QV_STORE_SYNC");
  FlushCounter counter;
  LibClient client;
  const bool opened = client.Open(store.address()) > 0;
  if (saved) ::setenv("QV_STORE_SYNC", saved->c_str(), 1);
  else ::unsetenv("QV_STORE_SYNC");
  if (!opened) return ADD_FAILURE() << client.Error().text, -1;
  const int32_t h = client.Ropen("QV_EX");
  // The first commit may write the log's header; the count starts after it.
  EXPECT_TRUE(client.Write(h, Ex("W0", "P", "first"))) << client.Error().text;
  const int before = counter.flushes();
  EXPECT_TRUE(client.Readk(h, "W0", true, layout::QV_EX.length)) << client.Error().text;
  const std::string changed = Ex("W0", "P", "changed");
  EXPECT_NE(client.lib().Rupdate(h, changed, static_cast<int32_t>(changed.size())), 0) << client.Error().text;
  EXPECT_TRUE(client.Write(h, Ex("W1", "P", "second"))) << client.Error().text;
  EXPECT_TRUE(client.Write(h, Ex("W2", "P", "third"))) << client.Error().text;
  return counter.flushes() - before;
}

TEST(StoreDurability, CommitsFlushTheDiskOnlyWhenTheStoreIsSetToFull) {
  EXPECT_EQ(FlushesOfCommitsAfterALockedRead(std::nullopt), 0) << "the default keeps commits through a crash only";
  EXPECT_EQ(FlushesOfCommitsAfterALockedRead("normal"), 0);
  EXPECT_GE(FlushesOfCommitsAfterALockedRead("full"), 3) << "each of the three commits with data flushes";
}

// ---- The check before serving ---------------------------------------------------

// Runs sql on the store file directly.
void Damage(const std::string& path, const std::string& sql) {
  embedded::Db db = embedded::Db::Open(path, false, 1000);
  db.exec(sql);
}

// Overwrites the first page of table's tree with garbage.
void Scribble(const std::string& path, const std::string& table) {
  int64_t page = 0, size = 0;
  {
    embedded::Db db = embedded::Db::Open(path, false, 1000);
    db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    embedded::Stmt root = db.prepareOnce("SELECT rootpage FROM sqlite_master WHERE name='" + table + "'");
    ASSERT_TRUE(root.step());
    page = root.columnInt(0);
    embedded::Stmt pageSize = db.prepareOnce("PRAGMA page_size");
    ASSERT_TRUE(pageSize.step());
    size = pageSize.columnInt(0);
  }
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp((page - 1) * size + 8);
  const std::string garbage(64, '\x7F');
  file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
}

TEST(CheckStoreFile, AcceptsAGoodStoreOfEveryKindAndNamesWhatIsWrongWithABadOne) {
  for (SourceKind kind : {SourceKind::AS400, SourceKind::ODBC, SourceKind::SQLServer, SourceKind::Oracle}) {
    EmbeddedStore store(kind, /*demo=*/true);
    EXPECT_EQ(embedded::CheckStoreFile(store.path()), kind);
  }
  struct Case {
    const char* name;
    std::function<void(const std::string&)> damage;
    const char* expected;
  };
  const Case cases[] = {
      {"missing column", [](const std::string& p) { Damage(p, "ALTER TABLE QV_GC DROP COLUMN ASYNC"); },
       "the table QV_GC has no column ASYNC"},
      {"broken page", [](const std::string& p) { Scribble(p, "QV_FX"); }, " is damaged: "},
  };
  for (const Case& c : cases) {
    EmbeddedStore store(SourceKind::SQLServer, /*demo=*/true);
    c.damage(store.path());
    try {
      embedded::CheckStoreFile(store.path());
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const embedded::StoreError& e) {
      EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << c.name << ": " << e.what();
      EXPECT_EQ(std::string(e.what()).find(store.path()), 0u) << c.name << ": " << e.what();
    }
  }
}

}  // namespace
}  // namespace qv::test
