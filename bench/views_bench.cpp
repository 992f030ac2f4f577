// Measures the topology tree and the list views against the embedded source.
//
// It builds, for an AS/400 and an NT (SQL Server) store, a topology of 50
// targets x 20 models x 100 tables (QV_BENCH_TARGETS, QV_BENCH_MODELS,
// QV_BENCH_TABLES set other sizes), every model distributed to every target.
// Then it prints, for LoadTree and each Load procedure, the number of
// record-access library calls beside the fewest its block reads allow (an
// open, the blocks the records fill plus the one that tells the end, a
// close; on NT sources the blocks the rows fill and the statement's
// close), and Google Benchmark times LoadTree, the whole tree with every
// folder opened, and each list.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "dllparam/admin/store_admin.h"
#include "dllparam/embedded/store_schema.h"
#include "opened_control.h"
#include "platform/controls.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "topology.h"

namespace {

using namespace qv;
namespace fs = std::filesystem;

int Size(const char* variable, int fallback) {
  const char* v = std::getenv(variable);
  return v != nullptr && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}
const int kTargets = Size("QV_BENCH_TARGETS", 50), kModels = Size("QV_BENCH_MODELS", 20),
          kTables = Size("QV_BENCH_TABLES", 100);

struct Kind {
  embedded::SourceKind store;
  const char* type;
};
const Kind kKinds[] = {{embedded::SourceKind::AS400, "AS400"}, {embedded::SourceKind::SQLServer, "SQL Server"}};

std::string ModelCode(int i) {
  const std::string n = std::to_string(i);
  return "M" + std::string(n.size() < 2 ? 2 - n.size() : 0, '0') + n;
}

const std::string& StorePath(const Kind& kind) {
  static std::string paths[2];
  std::string& path = paths[kind.store == embedded::SourceKind::AS400 ? 0 : 1];
  if (!path.empty()) return path;
  const fs::path folder = fs::temp_directory_path() / ("qv-views-bench-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  path = (folder / (std::string(embedded::KindName(kind.store)) + ".qvs")).string();
  embedded::CreateStoreOptions options;
  options.kind = kind.store;
  options.force = true;
  embedded::CreateStore(path, options);
  embedded::StoreAdmin admin(path);
  for (int m = 1; m <= kModels; ++m) test::WriteModel(admin, "E1", ModelCode(m), kTables, kTargets);
  return path;
}

// The fewest calls of a block read of n records of a layout: AS/400 an
// open, the full blocks and the one that is not full, a close; NT the blocks
// the rows fill (the last one says it is the last) and the statement's close.
long Fewest(const Kind& kind, long n, const Layout& layout) {
  if (kind.store == embedded::SourceKind::AS400) return 2 + n / (DllParam::kBlockBuffer / layout.length) + 1;
  const long per = DllParam::kBlockBuffer / static_cast<long>(NtRowLength(layout));
  return std::max(1L, (n + per - 1) / per) + 1;
}

void PrintCounts() {
  std::printf("%-16s %-11s %8s %8s\n", "operation", "kind", "calls", "fewest");
  for (const Kind& kind : kKinds) {
    bench::OpenedControl o(StorePath(kind), kind.type);
    QVSource& c = *o.control;
    auto count = [&](const char* name, long fewest, const std::function<bool()>& op) {
      o.counting->Reset();
      if (!op()) std::fprintf(stderr, "%s failed: %s\n", name, c.ErrorText().c_str());
      std::printf("%-16s %-11s %8lld %8ld\n", name, kind.type, static_cast<long long>(o.counting->Calls()), fewest);
    };
    platform::TreeView tv;
    platform::ListView lv;
    count("LoadTree", Fewest(kind, kTargets, layout::QV_CX) + Fewest(kind, kModels, layout::QV_GX),
          [&] { return c.LoadTree(tv); });
    count("LoadGCInTree", Fewest(kind, kModels, layout::DistributionWithModel),
          [&] { return c.LoadGCInTree(tv, tv.Item("T01/GC")); });
    count("LoadFCInTree", Fewest(kind, kTables, layout::DistributedTableWithModelTable),
          [&] { return c.LoadFCInTree(tv, tv.Item("T01:M01/FC")); });
    count("LoadFileInTree", Fewest(kind, kTables, layout::QV_FX), [&] { return c.LoadFileInTree(tv, tv.Item("M01/File")); });
    count("LoadCibleInList", Fewest(kind, kTargets, layout::QV_CX), [&] { return c.LoadCibleInList(lv); });
    count("LoadGroupInList", Fewest(kind, kModels, layout::QV_GX), [&] { return c.LoadGroupInList(lv); });
    count("LoadGCInList", Fewest(kind, kModels, layout::DistributionWithModel),
          [&] { return c.LoadGCInList(lv, "T01"); });
    count("LoadFCInList", Fewest(kind, kTables, layout::DistributedTableWithModelTable),
          [&] { return c.LoadFCInList(lv, "T01", "M01"); });
    count("LoadFileInList", Fewest(kind, kTables, layout::QV_FX), [&] { return c.LoadFileInList(lv, "M01"); });
    count("LoadZXInList", Fewest(kind, 2, layout::QV_ZX), [&] { return c.LoadZXInList(lv, "M01", "0000000001"); });
  }
}

void BM_LoadTree(benchmark::State& state, const Kind& kind) {
  bench::OpenedControl o(StorePath(kind), kind.type);
  for (auto _ : state) {
    platform::TreeView tv;
    benchmark::DoNotOptimize(o.control->LoadTree(tv));
  }
}

// LoadTree, then every distributions folder and every model's tables folder.
void BM_WholeTree(benchmark::State& state, const Kind& kind) {
  bench::OpenedControl o(StorePath(kind), kind.type);
  for (auto _ : state) {
    platform::TreeView tv;
    o.control->LoadTree(tv);
    for (int t = 1; t <= kTargets; ++t) o.control->LoadGCInTree(tv, tv.Item(test::TargetCode(t) + "/GC"));
    for (int m = 1; m <= kModels; ++m) o.control->LoadFileInTree(tv, tv.Item(ModelCode(m) + "/File"));
    state.counters["nodes"] = tv.Count();
  }
}

void BM_LoadFCInList(benchmark::State& state, const Kind& kind) {
  bench::OpenedControl o(StorePath(kind), kind.type);
  for (auto _ : state) {
    platform::ListView lv;
    benchmark::DoNotOptimize(o.control->LoadFCInList(lv, "T01", "M01"));
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (std::getenv("QV_BENCH_NO_COUNTS") == nullptr) PrintCounts();
  for (const Kind& kind : kKinds) {
    const std::string k(embedded::KindName(kind.store));
    benchmark::RegisterBenchmark(("LoadTree/" + k).c_str(), BM_LoadTree, kind)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("WholeTree/" + k).c_str(), BM_WholeTree, kind)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("LoadFCInList/" + k).c_str(), BM_LoadFCInList, kind)->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
