// Compares the embedded source with SQLite used directly on the same store
// file: a keyed read, a locked read followed by its rewrite, and a block read
// of 10 000 records. Prints each pair side by side, their ratio, and the peak
// resident memory before and after the block reads (the embedded block read
// pages, so memory stays flat). Under scripts/perf each loop is counted by
// callgrind (counted_span.h).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "counted_span.h"
#include "summary_reporter.h"
#include "dllparam/source_library.h"
#include "dllparam/admin/store_admin.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace {

using namespace qv;
namespace L = layout;

constexpr int kRecords = 10000;

std::string Ficid(int n) {
  std::string s = std::to_string(n);
  return std::string(10 - s.size(), '0') + s;
}

// A store with kRecords model tables of one model, created once.
struct Fixture {
  std::string folder;
  std::string path;

  Fixture() {
    folder = (std::filesystem::temp_directory_path() / ("qv-embedded-bench-" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(folder);
    path = folder + "/bench.qvs";
    embedded::CreateStoreOptions options;
    options.force = true;
    embedded::CreateStore(path, options);
    embedded::StoreAdmin admin(path);
    embedded::WithWriteTransaction(admin.db(), [&] {
      for (int i = 1; i <= kRecords; ++i) {
        Record r(L::QV_FX);
        r.Set("ENVID", "E1");
        r.Set("GRPID", "G01");
        r.Set("FICID", Ficid(i));
        r.Set("DESCRIP", "table " + std::to_string(i));
        r.Set("HOLD", "0");
        admin.PutRecord(r);
      }
    });
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
};

Fixture& TheFixture() {
  static Fixture f;
  return f;
}

long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

long CurrentRssKb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// An open embedded connection with an update handle on QV_FX.
struct EmbeddedSession {
  SourceLibrary lib{false};
  int32_t conn = 0, h = -1;
  explicit EmbeddedSession(const char* file = "QV_USRDATA/QV_FX") {
    std::string v(10, ' '), j(10, ' ');
    lib.OpenMConnection("file:" + TheFixture().path, v, j, conn);
    lib.Ropen(file, DllParam::kModeUpdate, h);
  }
};

std::string KeyOf(int i) { return "E1G01" + Ficid(i); }

void KeyedRead_Embedded(benchmark::State& state) {
  EmbeddedSession s;
  std::string rec(L::QV_FX.length, ' ');
  int32_t len = 0;
  int i = 0;
  bench::CountedSpan counted;
  for (auto _ : state) {
    std::string key = KeyOf(i++ % kRecords + 1);
    if (!s.lib.Rreadk(s.h, rec, len, DllParam::kKeyEqualNoLock, key, 15)) state.SkipWithError("not found");
    benchmark::DoNotOptimize(rec.data());
  }
}

// Reads the record's fields into a record image, as a caller of SQLite would.
void ReadImage(sqlite3_stmt* st, std::string& rec) {
  size_t off = 0;
  int col = 0;
  for (const Field& f : L::QV_FX.fields) {
    const unsigned char* t = sqlite3_column_text(st, col);
    size_t n = static_cast<size_t>(sqlite3_column_bytes(st, col++));
    n = std::min<size_t>(n, f.width);
    rec.replace(off, n, reinterpret_cast<const char*>(t), n);
    if (n < f.width) rec.replace(off + n, f.width - n, f.width - n, ' ');
    off += f.width;
  }
}

struct DirectSession {
  sqlite3* db = nullptr;
  DirectSession() {
    sqlite3_open_v2(TheFixture().path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_busy_timeout(db, 5000);
  }
  ~DirectSession() { sqlite3_close_v2(db); }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    return st;
  }
};

constexpr const char* kSelectByKey = "SELECT * FROM QV_FX WHERE ENVID = ? AND GRPID = ? AND FICID = ?";

void KeyedRead_Sqlite(benchmark::State& state) {
  DirectSession d;
  sqlite3_stmt* st = d.Prepare(kSelectByKey);
  std::string rec(L::QV_FX.length, ' ');
  int i = 0;
  bench::CountedSpan counted;
  for (auto _ : state) {
    std::string ficid = Ficid(i++ % kRecords + 1);
    sqlite3_bind_text(st, 1, "E1", 2, SQLITE_STATIC);
    sqlite3_bind_text(st, 2, "G01", 3, SQLITE_STATIC);
    sqlite3_bind_text(st, 3, ficid.data(), 10, SQLITE_STATIC);
    if (sqlite3_step(st) != SQLITE_ROW) state.SkipWithError("not found");
    ReadImage(st, rec);
    sqlite3_reset(st);
    benchmark::DoNotOptimize(rec.data());
  }
  sqlite3_finalize(st);
}

void LockedReadUpdate_Embedded(benchmark::State& state) {
  EmbeddedSession s;
  std::string rec(L::QV_FX.length, ' ');
  int32_t len = 0;
  int i = 0;
  bench::CountedSpan counted;
  for (auto _ : state) {
    std::string key = KeyOf(i++ % kRecords + 1);
    if (!s.lib.Rreadk(s.h, rec, len, DllParam::kKeyEqualLocked, key, 15)) state.SkipWithError("not found");
    char& hold = rec[L::QV_FX["HOLD"].offset];
    hold = hold == '0' ? '1' : '0';
    if (!s.lib.Rupdate(s.h, rec, len)) state.SkipWithError("update failed");
  }
}

void LockedReadUpdate_Sqlite(benchmark::State& state) {
  DirectSession d;
  sqlite3_stmt* sel = d.Prepare("SELECT rowid, * FROM QV_FX WHERE ENVID = ? AND GRPID = ? AND FICID = ?");
  sqlite3_stmt* upd = d.Prepare("UPDATE QV_FX SET HOLD = ? WHERE rowid = ?");
  int i = 0;
  bench::CountedSpan counted;
  for (auto _ : state) {
    std::string ficid = Ficid(i++ % kRecords + 1);
    sqlite3_exec(d.db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_bind_text(sel, 1, "E1", 2, SQLITE_STATIC);
    sqlite3_bind_text(sel, 2, "G01", 3, SQLITE_STATIC);
    sqlite3_bind_text(sel, 3, ficid.data(), 10, SQLITE_STATIC);
    if (sqlite3_step(sel) != SQLITE_ROW) state.SkipWithError("not found");
    sqlite3_int64 rowid = sqlite3_column_int64(sel, 0);
    std::string hold(reinterpret_cast<const char*>(sqlite3_column_text(sel, 1 + static_cast<int>(L::QV_FX.Index("HOLD")))));
    sqlite3_reset(sel);
    sqlite3_bind_text(upd, 1, hold == "0" ? "1" : "0", 1, SQLITE_STATIC);
    sqlite3_bind_int64(upd, 2, rowid);
    sqlite3_step(upd);
    sqlite3_reset(upd);
    sqlite3_exec(d.db, "COMMIT", nullptr, nullptr, nullptr);
  }
  sqlite3_finalize(sel);
  sqlite3_finalize(upd);
}

std::map<std::string, long> gRss;

void BlockRead_Embedded(benchmark::State& state) {
  gRss["embedded before"] = PeakRssKb();
  EmbeddedSession s("QV_USRDATA/QV_FX_L0");
  std::string buf(4096, ' ');
  long records = 0;
  bench::CountedSpan counted;
  for (auto _ : state) {
    records = 0;
    int32_t count = 0;
    while (s.lib.Rreadblock(s.h, buf, count, L::QV_FX.length, "E1G01", 5)) records += count;
    if (records != kRecords) state.SkipWithError("wrong record count");
  }
  state.counters["records"] = static_cast<double>(records);
  gRss["embedded after"] = PeakRssKb();
  state.counters["peak_rss_kb"] = static_cast<double>(gRss["embedded after"]);
  state.counters["rss_kb"] = static_cast<double>(CurrentRssKb());
}

void BlockRead_Sqlite(benchmark::State& state) {
  gRss["sqlite before"] = PeakRssKb();
  DirectSession d;
  sqlite3_stmt* st = d.Prepare(
      "SELECT * FROM QV_FX WHERE ENVID = ? AND GRPID = ? ORDER BY ENVID, GRPID, FICID");
  std::string buf(4096, ' '), rec(L::QV_FX.length, ' ');
  long records = 0;
  bench::CountedSpan counted;
  for (auto _ : state) {
    records = 0;
    sqlite3_bind_text(st, 1, "E1", 2, SQLITE_STATIC);
    sqlite3_bind_text(st, 2, "G01", 3, SQLITE_STATIC);
    size_t off = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      ReadImage(st, rec);
      if (off + rec.size() > buf.size()) off = 0;
      buf.replace(off, rec.size(), rec);
      off += rec.size();
      ++records;
    }
    sqlite3_reset(st);
    if (records != kRecords) state.SkipWithError("wrong record count");
  }
  sqlite3_finalize(st);
  state.counters["records"] = static_cast<double>(records);
  gRss["sqlite after"] = PeakRssKb();
  state.counters["peak_rss_kb"] = static_cast<double>(gRss["sqlite after"]);
  state.counters["rss_kb"] = static_cast<double>(CurrentRssKb());
}

BENCHMARK(KeyedRead_Embedded)->Apply(bench::IterationsFromEnvironment);
BENCHMARK(KeyedRead_Sqlite)->Apply(bench::IterationsFromEnvironment);
BENCHMARK(LockedReadUpdate_Embedded)->Apply(bench::IterationsFromEnvironment);
BENCHMARK(LockedReadUpdate_Sqlite)->Apply(bench::IterationsFromEnvironment);
BENCHMARK(BlockRead_Embedded)->Unit(benchmark::kMillisecond)->Apply(bench::IterationsFromEnvironment);
BENCHMARK(BlockRead_Sqlite)->Unit(benchmark::kMillisecond)->Apply(bench::IterationsFromEnvironment);


}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TheFixture();
  qv::bench::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%-18s %15s %15s %7s %15s %15s %7s\n", "work", "embedded", "sqlite direct", "ratio",
              "embedded cpu", "sqlite cpu", "ratio");
  for (const char* work : {"KeyedRead", "LockedReadUpdate", "BlockRead"}) {
    const std::string e = std::string(work) + "_Embedded", s = std::string(work) + "_Sqlite";
    if (!reporter.nsPerIteration.count(e) || !reporter.nsPerIteration.count(s)) continue;
    double we = reporter.nsPerIteration[e], ws = reporter.nsPerIteration[s];
    double ce = reporter.cpuNsPerIteration[e], cs = reporter.cpuNsPerIteration[s];
    std::printf("%-18s %12.0f ns %12.0f ns %6.2fx %12.0f ns %12.0f ns %6.2fx\n", work, we, ws, we / ws, ce, cs,
                ce / cs);
  }
  if (gRss.count("embedded before"))
    std::printf("\npeak RSS around the embedded block reads of %d records: %ld kB before, %ld kB after\n", kRecords,
                gRss["embedded before"], gRss["embedded after"]);
  if (gRss.count("sqlite before"))
    std::printf("peak RSS around the direct block reads: %ld kB before, %ld kB after\n", gRss["sqlite before"],
                gRss["sqlite after"]);
  benchmark::Shutdown();
  return 0;
}
