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
#include "dllparam/admin/source_tables.h"
#include "dllparam/admin/store_admin.h"
#include "dllparam/embedded/embedded_catalog.h"
#include "dllparam/source_library.h"
#include "opened_control.h"
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

using Opened = bench::OpenedControl;

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

// A SQL Server store with model M1 of environment E1 (no table, one
// distribution) and table SALES.WIDE of `columns` columns, the first its key.
std::string NtStoreWithTable(int columns) {
  const std::string path = Folder() + "/ntwide" + std::to_string(columns) + ".qvs";
  embedded::CreateStoreOptions options;
  options.kind = embedded::SourceKind::SQLServer;
  options.force = true;
  embedded::CreateStore(path, options);
  embedded::StoreAdmin admin(path);
  test::WriteModel(admin, "E1", "M1", 0, 1);
  std::string description = "table SALES.WIDE\n";
  for (int i = 1; i <= columns; ++i)
    description += "C" + std::to_string(i) + (i % 2 ? " VARCHAR(20)" : " DECIMAL(9,2)") + (i == 1 ? " key\n" : "\n");
  embedded::AddSourceTable(admin, embedded::ParseSourceTable(description));
  return path;
}

void CountNtAddFile(int columns) {
  Opened o(NtStoreWithTable(columns), "SQL Server");
  Record fx(layout::QV_FX, test::TopoTable("E1", "M1", 1).image());
  Record name(layout::ObjectName);
  name.Set("LIBRARY", "SALES");
  name.Set("FILE", "WIDE");
  fx.Set("SRCTBL", name.image());
  std::string image = fx.image();
  if (!o.control->AddFile(image, "M1")) {
    std::fprintf(stderr, "AddFile: %s\n", o.control->ErrorText().c_str());
    std::exit(1);
  }
  // Source: the key, the column list in pages of whole lines and its end.
  // Store: the model read, NextFicID (one block, close), the table inserted,
  // one insert per column inside one unit (two options), the table read and
  // updated, the distributions listed (one block, close), and for the one
  // distribution the reads AddFC makes (distribution, table) and its insert.
  const int64_t lineBytes = 40;  // a column line is well under this
  const int64_t pages = (columns * lineBytes + 31999) / 32000 + 1;
  const int64_t fewest = 1 + pages + 1 + 2 + 1 + columns + 2 + 2 + 2 + 3;
  std::string detail;
  for (const auto& [op, n] : o.counting->counts)
    if (op != "GetLastError") detail += " " + op + "=" + std::to_string(n);
  std::printf("AddFile NT, %4d columns  calls %6lld  about %6lld  x%.2f |%s\n", columns,
              static_cast<long long>(o.counting->Calls()), static_cast<long long>(fewest),
              static_cast<double>(o.counting->Calls()) / static_cast<double>(fewest), detail.c_str());
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
  CountNtAddFile(100);
  CountNtAddFile(1000);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  fs::remove_all(Folder());
  return 0;
}
