// Measures adding a source table to a model on an embedded AS/400 store.
//
// First it prints the record-access library calls of AddFile for a file of
// 100 and of 1 000 fields, by operation, beside the fewest calls the listing
// pages allow. Then Google Benchmark times AddFile of each file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "connection/qvsource.h"
#include "counting_library.h"
#include "dllparam/admin/store_admin.h"
#include "dllparam/embedded/embedded_catalog.h"
#include "dllparam/source_library.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "topology.h"

namespace {

using namespace qv;
namespace fs = std::filesystem;

std::string Folder() {
  static const std::string folder = [] {
    const fs::path p = fs::temp_directory_path() / ("qv-fields-bench-" + std::to_string(::getpid()));
    fs::create_directories(p);
    return p.string();
  }();
  return folder;
}

// A store with model M1 of environment E1 (no table, one distribution) and
// file DEMOLIB/WIDE of `fields` fields, the first one its key.
std::string StoreWithFile(int fields) {
  const std::string path = Folder() + "/wide" + std::to_string(fields) + ".qvs";
  embedded::CreateStoreOptions options;
  options.force = true;
  embedded::CreateStore(path, options);
  embedded::StoreAdmin admin(path);
  test::WriteModel(admin, "E1", "M1", 0, 1);
  embedded::CatalogFile file;
  file.library = "DEMOLIB";
  file.name = "WIDE";
  file.keys = {"F1"};
  for (int i = 1; i <= fields; ++i)
    file.fields.push_back({"F" + std::to_string(i), i % 2 ? 'A' : 'P', i % 2 ? 20 : 5, i % 2 ? 0 : 9, i % 2 ? 0 : 2,
                           "Field " + std::to_string(i), false});
  embedded::PutCatalogFile(admin.db(), file);
  return path;
}

std::string NewTable() {
  Record fx(layout::QV_FX, test::TopoTable("E1", "M1", 1).image());
  Record name(layout::ObjectName);
  name.Set("LIBRARY", "DEMOLIB");
  name.Set("FILE", "WIDE");
  fx.Set("SRCTBL", name.image());
  return fx.image();
}

struct Opened {
  explicit Opened(const std::string& path) {
    auto lib = std::make_unique<test::CountingLibrary>(MakeSourceLibrary());
    lib->answerJobLists = true;
    counting = lib.get();
    control = std::make_unique<QVSource>(std::move(lib));
    if (!control->OpenConnection("file:" + path)) {
      std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), control->ErrorText().c_str());
      std::exit(1);
    }
    control->env("E1");
    counting->Reset();
  }
  ~Opened() { control->CloseConnection(); }
  std::unique_ptr<QVSource> control;
  test::CountingLibrary* counting = nullptr;
};

void CountAddFile(int fields) {
  Opened o(StoreWithFile(fields));
  std::string fx = NewTable();
  if (!o.control->AddFile(fx, "M1")) {
    std::fprintf(stderr, "AddFile: %s\n", o.control->ErrorText().c_str());
    std::exit(1);
  }
  // Commands: the file check, a format page and its end, the access path, as
  // many field pages as 37 entries fill and the end. Store: the model read,
  // NextFicID (open, one block, close), the table written, one write per
  // field, the table read locked and rewritten, the distributions listed
  // (open, one block, close), and for the one distribution the reads AddFC
  // makes (distribution, table) and its write.
  const int64_t pages = (fields + 36) / 37 + 1;
  const int64_t commands = 1 + 2 + 1 + pages;
  const int64_t store = 1 + 3 + 1 + fields + 2 + 3 + 3;
  std::string detail;
  for (const auto& [op, n] : o.counting->counts)
    if (op != "GetLastError") detail += " " + op + "=" + std::to_string(n);
  std::printf("AddFile, %4d fields  calls %6lld  fewest %6lld  x%.2f |%s\n", fields,
              static_cast<long long>(o.counting->Calls()), static_cast<long long>(commands + store),
              static_cast<double>(o.counting->Calls()) / static_cast<double>(commands + store), detail.c_str());
}

void AddFileTimed(benchmark::State& state) {
  const std::string path = StoreWithFile(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    Opened o(path);
    std::string fx = NewTable();
    state.ResumeTiming();
    if (!o.control->AddFile(fx, "M1")) state.SkipWithError("AddFile failed");
    state.PauseTiming();
    o.control->DeleteFile("M1", std::string(Record(layout::QV_FX, fx).Get("FICID")));
    state.ResumeTiming();
  }
}
BENCHMARK(AddFileTimed)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  CountAddFile(100);
  CountAddFile(1000);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  fs::remove_all(Folder());
  return 0;
}
