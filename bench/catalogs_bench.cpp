// Measures listing a large AS/400 library through FillFileList on an
// embedded AS/400 store.
//
// First it fills library BIGLIB with 10 000 physical files in one write and
// prints the time that took, then the record-access library calls of one
// FillFileList beside the fewest the listing pages allow: one "SYSLSTOBJ_"
// per page of whole 70-character entries after the 5-digit count, and the
// empty page that ends the listing. Then Google Benchmark times
// FillFileList.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "connection/qvsource.h"
#include "dllparam/admin/store_admin.h"
#include "opened_control.h"
#include "platform/controls.h"

namespace {

using namespace qv;
namespace fs = std::filesystem;

constexpr int kFiles = 10000;

std::string Folder() {
  static const std::string folder = [] {
    const fs::path p = fs::temp_directory_path() / ("qv-catalogs-bench-" + std::to_string(::getpid()));
    fs::create_directories(p);
    return p.string();
  }();
  return folder;
}

// Returns a store whose library BIGLIB holds kFiles physical files, made once.
const std::string& StoreWithBigLibrary() {
  static const std::string path = [] {
    const std::string p = Folder() + "/biglib.qvs";
    embedded::CreateStoreOptions options;
    options.force = true;
    embedded::CreateStore(p, options);
    embedded::StoreAdmin admin(p);
    std::vector<embedded::StoreObject> objects{{"QSYS", "BIGLIB", "*LIB", "PROD", "Many files"}};
    for (int i = 0; i < kFiles; ++i) {
      char name[11];
      std::snprintf(name, sizeof name, "F%07d", i);
      objects.push_back({"BIGLIB", name, "*FILE", "PF", std::string("File ") + name});
    }
    const auto start = std::chrono::steady_clock::now();
    admin.PutObjects(objects);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("PutObjects, %d files  %.1f ms\n", kFiles, took.count());
    return p;
  }();
  return path;
}

int32_t ListBigLibrary(QVSource& control) {
  platform::ListBox list;
  int32_t count = 0;
  if (!control.FillFileList(list, "BIGLIB", "PF", "%", count)) {
    std::fprintf(stderr, "FillFileList: %s\n", control.ErrorText().c_str());
    std::exit(1);
  }
  return count;
}

void CountFillFileList() {
  bench::OpenedControl o(StoreWithBigLibrary());
  const auto start = std::chrono::steady_clock::now();
  const int32_t listed = ListBigLibrary(*o.control);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  const int64_t perPage = (4096 - 5) / QVSource::kObjectEntryWidth;
  const int64_t fewest = (kFiles + perPage - 1) / perPage + 1;
  std::string detail;
  for (const auto& [op, n] : o.counting->counts)
    if (op != "GetLastError") detail += " " + op + "=" + std::to_string(n);
  std::printf("FillFileList, %d files  listed %d  calls %lld  fewest %lld  x%.2f  %.1f ms |%s\n", kFiles, listed,
              static_cast<long long>(o.counting->Calls()), static_cast<long long>(fewest),
              static_cast<double>(o.counting->Calls()) / static_cast<double>(fewest), took.count(), detail.c_str());
}

void FillFileListTimed(benchmark::State& state) {
  bench::OpenedControl o(StoreWithBigLibrary());
  for (auto _ : state) benchmark::DoNotOptimize(ListBigLibrary(*o.control));
  state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(FillFileListTimed)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  CountFillFileList();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  fs::remove_all(Folder());
  return 0;
}
