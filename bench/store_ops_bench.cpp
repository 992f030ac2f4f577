// Measures the model and distribution operations against the embedded source.
//
// First it prints, for an AS/400 and an NT (SQL Server) store, the number of
// record-access library calls each operation makes beside the fewest calls
// its access pattern allows:
//   NextFicID over N tables, DistributeFC of a model of N tables,
//   DeleteGroup of a model of N tables distributed to M targets, and
//   DeleteEnvironment of the demonstration environment.
// Then Google Benchmark times DeleteGroup of a model of 1 000 tables
// distributed to 10 targets on each kind (QV_BENCH_TABLES sets another number
// of tables), beside the same deletions sent directly to SQLite on a copy of
// the same store file: as set deletes in one transaction, and as the same
// record-at-a-time work the library does (AS/400: a read, a record lock and
// a delete a record; NT: one DELETE a record, all in one transaction).
//
// QV_BENCH_NO_COUNTS=1 leaves out the call counts (scripts/perf sets it: it
// counts instructions of the timed operations only, see counted_span.h).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "connection/qvsource.h"
#include "counted_span.h"
#include "counting_library.h"
#include "dllparam/source_library.h"
#include "dllparam/admin/store_admin.h"
#include "dllparam/embedded/record_locks.h"
#include "dllparam/embedded/store_schema.h"
#include "opened_control.h"
#include "store/record_layouts.h"
#include "topology.h"

namespace {

using namespace qv;
using qv::embedded::SourceKind;
namespace fs = std::filesystem;

struct Kind {
  SourceKind store;
  const char* type;
  const char* instance;
};
const Kind kAs400{SourceKind::AS400, "AS400", ""};
const Kind kSqlServer{SourceKind::SQLServer, "SQL Server", ""};

std::string Folder() {
  static const std::string folder = [] {
    const fs::path p = fs::temp_directory_path() / ("qv-store-ops-bench-" + std::to_string(::getpid()));
    fs::create_directories(p);
    return p.string();
  }();
  return folder;
}

// A control opened on a store file of the kind through the counting library.
struct Opened : bench::OpenedControl {
  Opened(const Kind& kind, const std::string& path) : OpenedControl(path, kind.type, kind.instance) {}
};

std::string NewStore(const Kind& kind, const std::string& name) {
  const std::string path = Folder() + "/" + name + ".qvs";
  embedded::CreateStoreOptions options;
  options.kind = kind.store;
  options.force = true;
  embedded::CreateStore(path, options);
  return path;
}

int64_t Blocks(int64_t records, int64_t perBlock) { return (records + perBlock - 1) / perBlock; }

// Prints one line: operation, kind, measured calls, fewest calls, and the
// calls by operation.
void Report(const char* what, const Kind& kind, const test::CountingLibrary& c, int64_t floor) {
  std::string detail;
  for (const auto& [op, n] : c.counts)
    if (op != "GetLastError") detail += " " + op + "=" + std::to_string(n);
  std::printf("%-44s %-10s calls %7lld  fewest %7lld  x%.2f |%s\n", what, kind.type,
              static_cast<long long>(c.Calls()), static_cast<long long>(floor),
              floor > 0 ? static_cast<double>(c.Calls()) / static_cast<double>(floor) : 0.0, detail.c_str());
}

void CountNextFicID(const Kind& kind, int tables) {
  const std::string path = NewStore(kind, "nextficid");
  {
    embedded::StoreAdmin admin(path);
    test::WriteModel(admin, "E1", "M1", tables, 0);
  }
  Opened o(kind, path);
  int64_t next = 0;
  o.control->NextFicID("M1", next);
  // AS/400: open, one block read per 13 tables (a full last block needs one
  // more read to see the end), close. NT: one block read per 13 rows, close.
  const int64_t floor = kind.store == SourceKind::AS400 ? 2 + Blocks(tables + 1, 13)
                                                        : 1 + std::max<int64_t>(1, Blocks(tables, 13));
  Report(("NextFicID, " + std::to_string(tables) + " tables").c_str(), kind, *o.counting, floor);
}

void CountDistributeFC(const Kind& kind, int tables) {
  const std::string path = NewStore(kind, "distribute");
  {
    embedded::StoreAdmin admin(path);
    test::WriteModel(admin, "E1", "M1", tables, 0);
    admin.PutRecord(test::TopoTarget("E1", "T01"));
    admin.PutRecord(test::TopoDistribution("E1", "T01", "M1"));
  }
  Opened o(kind, path);
  o.control->DistributeFC("T01", "M1");
  // The model and the distribution read once (NT: the model in a read unit
  // of its own, a start and an end around it), the model's tables and the
  // tables the distribution already holds (none) read in blocks (AS/400 each
  // file opened and closed; NT one statement, closed once), one write per
  // table.
  const int64_t floor = kind.store == SourceKind::AS400
                            ? 2 + (2 + Blocks(tables + 1, 13)) + (2 + 1) + tables
                            : 2 + 2 + std::max<int64_t>(1, Blocks(tables, 13)) + 1 + 1 + tables;
  Report(("DistributeFC, " + std::to_string(tables) + " tables").c_str(), kind, *o.counting, floor);
}

// Returns the fewest calls of deleting records one at a time: AS/400 a locked
// read and a delete per record, plus one read that finds no more per key set;
// NT one fetch and one DELETE per record that raises an event, one DELETE per
// set of leaves, one listing per parent. To those come the calls that keep
// the operation's other effects: AS/400 an open and a close of each logical
// file read, NT the unit of work (its start and its end) and a close of each
// statement read at the same time as another; on both kinds each running
// check of a distribution (a job list) and the delete of the two user spaces
// each distribution leaves.
struct DeleteFloor {
  int64_t records = 0, evented = 0, leafSets = 0, lists = 0;
  int64_t files = 0, statements = 0, runningChecks = 0, distributions = 0;
  int64_t For(const Kind& kind) const {
    const int64_t engine = runningChecks + 2 * distributions;
    if (kind.store == SourceKind::AS400) return 2 * records + leafSets + lists + 2 * files + engine;
    return 2 * evented + leafSets + lists + 2 + statements + engine;
  }
};

void CountDeleteGroup(const Kind& kind, int tables, int targets) {
  const std::string path = NewStore(kind, "deletegroup");
  {
    embedded::StoreAdmin admin(path);
    test::WriteModel(admin, "E1", "M1", tables, targets);
  }
  Opened o(kind, path);
  o.control->DeleteGroup("M1");
  DeleteFloor f;
  const int64_t n = tables, m = targets;
  // GX, FX, ZX (2 a table), TX, FC, ZC, GC, END.
  f.records = 1 + n + 2 * n + n + n * m + n * m + m + m;
  f.evented = 1 + n + n * m + m;
  // Leaf sets: program and fields of each table, mappings of each
  // distributed table, end script of each distribution.
  f.leafSets = 2 * n + n * m + m;
  // Listings: the model's tables and distributions, each table's distributed
  // tables, the model record itself.
  f.lists = 3 + n;
  // QV_GC_L0 (the distributions, checked before anything goes), QV_FX_L0,
  // QV_TX_L0, QV_ZX_L0, QV_FC_L1, QV_ZC_L0, QV_END_L0. NT: the model's tables
  // and, under each, its distributed tables are read at the same time.
  f.files = 7;
  f.statements = 2;
  // Each distribution is checked before anything goes, and again as it goes.
  f.distributions = m;
  f.runningChecks = 2 * m;
  Report(("DeleteGroup, " + std::to_string(tables) + " tables x " + std::to_string(targets) + " targets").c_str(),
         kind, *o.counting, f.For(kind));
}

void CountDeleteEnvironment(const Kind& kind) {
  const std::string path = NewStore(kind, "demo");
  std::map<std::string, int64_t> before;
  std::string env;
  {
    embedded::StoreAdmin admin(path);
    embedded::WriteDemoTopology(admin, "demo");
    env = std::string(admin.Records(layout::QV_EX).front().Get("ENVID"));
    for (const Layout* t : StoreTables())
      for (const Record& r : admin.Records(*t))
        if (r.layout().Has("ENVID") && r.Get("ENVID") == env) ++before[std::string(t->name)];
  }
  Opened o(kind, path);
  o.control->env(env);
  o.counting->Reset();
  o.control->DeleteEnvironment(env);
  auto n = [&](const char* t) { return before.count(t) ? before.at(t) : 0; };
  DeleteFloor f;
  for (const auto& [t, c] : before)
    if (t != "QV_SPV") f.records += c;
  f.evented = n("QV_EX") + n("QV_CX") + n("QV_GX") + n("QV_FX") + n("QV_GC") + n("QV_FC");
  f.leafSets = 1 + 2 * n("QV_FX") + n("QV_FC") + n("QV_GC");
  // The environment's targets and models, each target's distributions, each
  // distribution's tables, each model's tables, each model table's
  // distributed tables (the environment record itself is read, not listed).
  f.lists = 2 + n("QV_CX") + n("QV_GC") + n("QV_GX") + n("QV_FX");
  // QV_CX_L0, QV_GC_L1, QV_END_L0, QV_FC_L0, QV_ZC_L0, QV_GX_L0, QV_FX_L0,
  // QV_TX_L0, QV_ZX_L0, QV_FC_L1, QV_UID_L0. NT: targets, their
  // distributions and those distributions' tables are read at the same time.
  f.files = 11;
  f.statements = 3;
  // Each distribution is checked as it goes.
  f.distributions = n("QV_GC");
  f.runningChecks = n("QV_GC");
  Report(("DeleteEnvironment, demo environment " + env).c_str(), kind, *o.counting, f.For(kind));
  std::printf("%-44s %-10s records %lld (evented %lld), leaf sets %lld, listings %lld\n", "", kind.type,
              static_cast<long long>(f.records), static_cast<long long>(f.evented),
              static_cast<long long>(f.leafSets), static_cast<long long>(f.lists));
}

void PrintCallCounts() {
  std::printf("Library calls per operation (GetLastError not counted)\n");
  for (const Kind& kind : {kAs400, kSqlServer}) {
    for (int n : {1, 13, 100, 1000}) CountNextFicID(kind, n);
    for (int n : {13, 100}) CountDistributeFC(kind, n);
    CountDeleteGroup(kind, 2, 3);
    CountDeleteGroup(kind, 100, 5);
    CountDeleteEnvironment(kind);
  }
  std::printf("\n");
}

// ---- Timing: DeleteGroup of 1 000 tables to 10 targets ----------------------------------

int Tables() {
  static const int tables = [] {
    const char* v = std::getenv("QV_BENCH_TABLES");
    const int n = v ? std::atoi(v) : 0;
    return n > 0 ? n : 1000;
  }();
  return tables;
}
constexpr int kTargets = 10;

// The tables that DeleteGroup empties of the model's records, leaves first.
constexpr const char* kGroupTables[] = {"QV_ZC", "QV_FC", "QV_TX", "QV_ZX", "QV_FX", "QV_END", "QV_GC", "QV_GX"};

// Returns a store of the kind holding the model, written once and copied for
// each iteration.
const std::string& Template(const Kind& kind) {
  static std::map<SourceKind, std::string> made;
  auto it = made.find(kind.store);
  if (it != made.end()) return it->second;
  const std::string path = NewStore(kind, std::string("template-") + (kind.store == SourceKind::AS400 ? "as400" : "nt"));
  embedded::StoreAdmin admin(path);
  test::WriteModel(admin, "E1", "M1", Tables(), kTargets);
  test::WriteModel(admin, "E1", "M2", 10, 2);  // a neighbour the deletes leave alone
  return made.emplace(kind.store, path).first->second;
}

std::string FreshCopy(const Kind& kind) {
  const std::string copy = Folder() + "/work.qvs";
  fs::copy_file(Template(kind), copy, fs::copy_options::overwrite_existing);
  return copy;
}

void DeleteGroupThroughTheLibrary(benchmark::State& state, const Kind& kind) {
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = FreshCopy(kind);
    auto opened = std::make_unique<Opened>(kind, path);
    state.ResumeTiming();
    {
      bench::CountedSpan counted;
      if (!opened->control->DeleteGroup("M1")) state.SkipWithError(opened->control->ErrorText().c_str());
    }
    state.PauseTiming();
    opened.reset();
    state.ResumeTiming();
  }
}

// Runs fn on a fresh copy of the kind's store opened directly, timing and
// counting fn only.
template <typename Fn>
void OnFreshStore(benchmark::State& state, const Kind& kind, Fn fn) {
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = FreshCopy(kind);
    // Opened as the library opens it, with the same durability setting.
    embedded::Db db = embedded::OpenStoreFile(path, 5000).db;
    state.ResumeTiming();
    bench::CountedSpan counted;
    fn(db);
  }
}

// The same deletions as one transaction of set deletes on the store file.
void DeleteGroupDirectly(benchmark::State& state, const Kind& kind) {
  OnFreshStore(state, kind, [](embedded::Db& db) {
    db.begin();
    for (const char* table : kGroupTables)
      db.exec(std::string("DELETE FROM ") + table + " WHERE ENVID='E1' AND GRPID='M1 '");
    db.commit();
  });
}

// The same deletions record at a time, as the AS/400 library does them: for
// each record, a keyed read, its lock in the shared lock table, its delete,
// and the lock's release, until the keyed read finds no more.
//
//   SELECT rowid, * ... LIMIT 1;   lock (table, rowid)
//   DELETE ... WHERE rowid = ?;    release (table, rowid)
void DeleteGroupRecordAtATime(benchmark::State& state, const Kind& kind) {
  OnFreshStore(state, kind, [](embedded::Db& db) {
    embedded::RecordLocks locks(sqlite3_db_filename(db.get(), "main"));
    const embedded::LockHolder holder{1, 1};
    std::string image;
    for (const char* table : kGroupTables) {
      embedded::Stmt read = db.prepare(std::string("SELECT rowid, * FROM ") + table +
                                       " WHERE ENVID = 'E1' AND GRPID = 'M1 ' LIMIT 1");
      embedded::Stmt remove = db.prepare(std::string("DELETE FROM ") + table + " WHERE rowid = ?");
      for (;;) {
        const bool found = read.step();
        const int64_t rowid = found ? read.columnInt(0) : 0;
        if (found) {
          image.clear();
          for (int i = 1; i < read.columnCount(); ++i) image += read.columnText(i);
          benchmark::DoNotOptimize(image.data());
        }
        read.reset();
        if (!found) break;
        locks.Acquire(table, rowid, holder);
        remove.bind(1, rowid);
        remove.step();
        remove.reset();
        locks.Release(table, rowid, holder, true);
      }
    }
  });
}

// The same deletions record at a time in one transaction, one prepared
// DELETE a record, as SQLite would do the NT library's single-row deletes.
void DeleteGroupRowsInOneTransaction(benchmark::State& state, const Kind& kind) {
  OnFreshStore(state, kind, [](embedded::Db& db) {
    db.begin();
    std::vector<int64_t> rows;
    for (const char* table : kGroupTables) {
      embedded::Stmt list = db.prepare(std::string("SELECT rowid FROM ") + table +
                                       " WHERE ENVID = 'E1' AND GRPID = 'M1 '");
      rows.clear();
      while (list.step()) rows.push_back(list.columnInt(0));
      embedded::Stmt remove = db.prepare(std::string("DELETE FROM ") + table + " WHERE rowid = ?");
      for (int64_t rowid : rows) {
        remove.bind(1, rowid);
        remove.step();
        remove.reset();
      }
    }
    db.commit();
  });
}

// The same deletions as the NT library sends them, in the same order, without
// the library: in one transaction, each listing and each delete a statement
// prepared once and bound for each parent. The NT library can only name a row
// by its key; deleting by rowid (above) is a shortcut its statements do not
// have.
//
//   SELECT * FROM QV_FX WHERE ENVID = ? AND GRPID = ?
//     each table:  DELETE FROM QV_TX WHERE ENVID = ? AND GRPID = ? AND FICID = ?
//                  DELETE FROM QV_ZX ... (the same key)
//                  SELECT ENVID, TGTID, GRPID, FICID FROM QV_FC WHERE ENVID = ? AND GRPID = ? AND FICID = ?
//                    each distributed table:  DELETE FROM QV_ZC WHERE <its key>
//                                             DELETE FROM QV_FC WHERE <its key>
//                  DELETE FROM QV_FX WHERE <its key>
//   SELECT ENVID, TGTID, GRPID FROM QV_GC WHERE ENVID = ? AND GRPID = ?
//     each distribution:  DELETE FROM QV_END WHERE <its key>; DELETE FROM QV_GC WHERE <its key>
//   DELETE FROM QV_GX WHERE ENVID = ? AND GRPID = ?
void DeleteGroupByKeyInOneTransaction(benchmark::State& state, const Kind& kind) {
  OnFreshStore(state, kind, [](embedded::Db& db) {
    auto run = [](embedded::Stmt& st, std::initializer_list<std::string_view> values) {
      int i = 0;
      for (std::string_view v : values) st.bind(++i, v);
      st.step();
      st.reset();
    };
    db.begin();
    embedded::Stmt tables = db.prepare("SELECT * FROM QV_FX WHERE ENVID = ? AND GRPID = ?");
    embedded::Stmt deleteTx = db.prepare("DELETE FROM QV_TX WHERE ENVID = ? AND GRPID = ? AND FICID = ?");
    embedded::Stmt deleteZx = db.prepare("DELETE FROM QV_ZX WHERE ENVID = ? AND GRPID = ? AND FICID = ?");
    embedded::Stmt distributed =
        db.prepare("SELECT ENVID, TGTID, GRPID, FICID FROM QV_FC WHERE ENVID = ? AND GRPID = ? AND FICID = ?");
    embedded::Stmt deleteZc =
        db.prepare("DELETE FROM QV_ZC WHERE ENVID = ? AND TGTID = ? AND GRPID = ? AND FICID = ?");
    embedded::Stmt deleteFc =
        db.prepare("DELETE FROM QV_FC WHERE ENVID = ? AND TGTID = ? AND GRPID = ? AND FICID = ?");
    embedded::Stmt deleteFx = db.prepare("DELETE FROM QV_FX WHERE ENVID = ? AND GRPID = ? AND FICID = ?");
    embedded::Stmt distributions = db.prepare("SELECT ENVID, TGTID, GRPID FROM QV_GC WHERE ENVID = ? AND GRPID = ?");
    embedded::Stmt deleteEnd = db.prepare("DELETE FROM QV_END WHERE ENVID = ? AND TGTID = ? AND GRPID = ?");
    embedded::Stmt deleteGc = db.prepare("DELETE FROM QV_GC WHERE ENVID = ? AND TGTID = ? AND GRPID = ?");
    embedded::Stmt deleteGx = db.prepare("DELETE FROM QV_GX WHERE ENVID = ? AND GRPID = ?");
    const std::string env = "E1", grp = "M1 ";
    tables.bind(1, env);
    tables.bind(2, grp);
    std::vector<std::string> row;
    auto take = [&row](embedded::Stmt& st) {
      row.clear();
      for (int i = 0; i < st.columnCount(); ++i) row.emplace_back(st.columnText(i));
    };
    std::vector<std::vector<std::string>> fcs;
    while (tables.step()) {
      take(tables);
      const std::string fic = row[2];  // ENVID, GRPID, FICID lead the row
      run(deleteTx, {env, grp, fic});
      run(deleteZx, {env, grp, fic});
      distributed.bind(1, env);
      distributed.bind(2, grp);
      distributed.bind(3, fic);
      fcs.clear();
      while (distributed.step()) {
        take(distributed);
        fcs.push_back(row);
      }
      distributed.reset();
      for (const std::vector<std::string>& fc : fcs) {
        run(deleteZc, {fc[0], fc[1], fc[2], fc[3]});
        run(deleteFc, {fc[0], fc[1], fc[2], fc[3]});
      }
      run(deleteFx, {env, grp, fic});
    }
    tables.reset();
    distributions.bind(1, env);
    distributions.bind(2, grp);
    std::vector<std::vector<std::string>> gcs;
    while (distributions.step()) {
      take(distributions);
      gcs.push_back(row);
    }
    distributions.reset();
    for (const std::vector<std::string>& gc : gcs) {
      run(deleteEnd, {gc[0], gc[1], gc[2]});
      run(deleteGc, {gc[0], gc[1], gc[2]});
    }
    run(deleteGx, {env, grp});
    db.commit();
  });
}

BENCHMARK_CAPTURE(DeleteGroupThroughTheLibrary, AS400, kAs400)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(DeleteGroupRecordAtATime, AS400, kAs400)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(DeleteGroupDirectly, AS400, kAs400)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(DeleteGroupThroughTheLibrary, SQLServer, kSqlServer)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(DeleteGroupRowsInOneTransaction, SQLServer, kSqlServer)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(DeleteGroupByKeyInOneTransaction, SQLServer, kSqlServer)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(DeleteGroupDirectly, SQLServer, kSqlServer)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  // The demonstration store has users; the others have none and let anyone in.
  SetProcessUserID(embedded::kDemoMasterUser);
  SetProcessPassword("demo");
  if (!std::getenv("QV_BENCH_NO_COUNTS")) PrintCallCounts();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(Folder(), ec);
  return 0;
}
