// Measures storing transformation programs and checking their texts.
//
// First it prints the record-access library calls of storing a program of
// 500 lines on an embedded AS/400 store and on an embedded SQL Server store,
// by operation, beside the fewest calls the batches allow. Then Google
// Benchmark times the checker on a program of 10 000 lines, and the stores.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "connection/qvsource.h"
#include "counting_library.h"
#include "dllparam/admin/store_admin.h"
#include "opened_control.h"
#include "platform/controls.h"
#include "programs/mi_program.h"
#include "programs/nt_program.h"
#include "programs/program_lines.h"
#include "programs/program_parser.h"
#include "topology.h"

namespace {

using namespace qv;
namespace fs = std::filesystem;

std::string Folder() {
  static const std::string folder = [] {
    const fs::path p = fs::temp_directory_path() / ("qv-programs-bench-" + std::to_string(::getpid()));
    fs::create_directories(p);
    return p.string();
  }();
  return folder;
}

// Returns a program of `lines` lines: 20 declaration lines, then blocks of
// a tag, a copy, a sum, a comparison that branches back and a comment.
ProgramTexts Program(int lines, bool as400) {
  ProgramTexts t;
  t.declarations = "/* work fields";
  for (int i = 1; i < 20; ++i)
    t.declarations += "\r\nDCL W.F" + std::to_string(i) + (as400 ? " PACKED 9,2" : " NUMERIC 9,2");
  for (int i = 0; i < lines - 20; ++i) {
    const std::string n = std::to_string(i / 5 + 1);
    std::string line;
    switch (i % 5) {
      case 0: line = "T" + n + ": "; break;
      case 1: line = "    MOVE I.KEYFLD TO O.KEYFLD "; break;
      case 2: line = "    ADD W.F1 WITH " + n + " TO W.F" + std::to_string(i % 19 + 1) + " "; break;
      case 3: line = "    COMPN W.F1 WITH 100 BRANCHIF GT TO T" + n + " "; break;
      default: line = "/* step " + n; break;
    }
    t.instructions += (i ? "\r\n" : "") + line;
  }
  return t;
}

std::string Store(embedded::SourceKind kind, const char* name) {
  const std::string path = Folder() + "/" + name + ".qvs";
  embedded::CreateStoreOptions options;
  options.kind = kind;
  options.force = true;
  embedded::CreateStore(path, options);
  embedded::StoreAdmin admin(path);
  test::WriteModel(admin, "E1", "M1", 1, 1);
  return path;
}

ParsedProgram Parsed(int lines, bool as400) {
  const ProgramTexts t = Program(lines, as400);
  ParsedProgram p = ParseProgram(t.declarations, t.instructions, as400);
  if (p.HasErrors()) {
    std::fprintf(stderr, "the benchmark's program has errors: %s\n", p.diagnostics[0].text.c_str());
    std::exit(1);
  }
  return p;
}

void Report(const char* what, const bench::OpenedControl& o, int64_t fewest) {
  std::string detail;
  for (const auto& [op, n] : o.counting->counts)
    if (op != "GetLastError") detail += " " + op + "=" + std::to_string(n);
  std::printf("%s  calls %6lld  fewest %6lld  x%.2f |%s\n", what, static_cast<long long>(o.counting->Calls()),
              static_cast<long long>(fewest), static_cast<double>(o.counting->Calls()) / static_cast<double>(fewest),
              detail.c_str());
}

int64_t Batches(std::size_t items) { return static_cast<int64_t>((items + kProgramLinesPerRequest - 1) / kProgramLinesPerRequest); }

void CountAs400(int lines) {
  bench::OpenedControl o(Store(embedded::SourceKind::AS400, "as400"));
  const ParsedProgram p = Parsed(lines, true);
  std::string mi;
  if (!o.control->WritePgmTrsAS("M1", "0000000001", "I", p.declarations, p.instructions, mi, lines)) {
    std::fprintf(stderr, "WritePgmTrsAS: %s\n", o.control->ErrorText().c_str());
    std::exit(1);
  }
  // Commands: the lines and the MI blocks, each with a begin and an end, the
  // compile and the removal of its listing. Store: the table and its model
  // read, the table read locked and rewritten.
  const int64_t commands = 2 + Batches(static_cast<std::size_t>(lines)) + 2 +
                           Batches((mi.size() + kMiBlockWidth - 1) / kMiBlockWidth) + 2;
  Report(("WritePgmTrsAS, " + std::to_string(lines) + " lines").c_str(), o, commands + 4);
}

void CountNt(int lines) {
  bench::OpenedControl o(Store(embedded::SourceKind::SQLServer, "sqlserver"), "SQL Server");
  platform::ListView fields;
  if (!o.control->FillFieldListZX(fields, "M1", "0000000001")) std::exit(1);
  const ParsedProgram p = Parsed(lines, false);
  const std::vector<ProgramLine> stored = LinesFromRecords(p.declarations, p.instructions);
  o.counting->Reset();
  if (!o.control->WritePgmTrsNT("M1", "0000000001", " ", p.declarations, p.instructions, fields)) {
    std::fprintf(stderr, "WritePgmTrsNT: %s\n", o.control->ErrorText().c_str());
    std::exit(1);
  }
  // Statements: the delete, one insert per line and per compiled line; the
  // table and its model read, the table rewritten.
  std::vector<BufferField> table{{"KEYFLD", "C", 10, 0, 1}, {"DATAFLD", "C", 10, 0, 11}};
  const int64_t compiled = static_cast<int64_t>(CompileNtProgram(stored, ProgramBuffers(stored, table)).size());
  Report(("WritePgmTrsNT, " + std::to_string(lines) + " lines").c_str(), o, 1 + lines + compiled + 3);
}

void CheckProgram(benchmark::State& state) {
  const ProgramTexts t = Program(static_cast<int>(state.range(0)), true);
  for (auto _ : state) benchmark::DoNotOptimize(ParseProgram(t.declarations, t.instructions, true));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(CheckProgram)->Arg(10000)->Unit(benchmark::kMillisecond);

void StoreProgram(benchmark::State& state) {
  const bool as400 = state.range(0) == 1;
  const std::string path = Store(as400 ? embedded::SourceKind::AS400 : embedded::SourceKind::SQLServer,
                                 as400 ? "timed-as400" : "timed-sqlserver");
  const ParsedProgram p = Parsed(500, as400);
  bench::OpenedControl o(path, as400 ? "AS400" : "SQL Server");
  platform::ListView fields;
  o.control->FillFieldListZX(fields, "M1", "0000000001");
  for (auto _ : state) {
    std::string mi;
    const bool ok = as400 ? o.control->WritePgmTrsAS("M1", "0000000001", "I", p.declarations, p.instructions, mi, 1)
                          : o.control->WritePgmTrsNT("M1", "0000000001", " ", p.declarations, p.instructions, fields);
    if (!ok) state.SkipWithError("the store failed");
  }
  state.SetLabel(as400 ? "AS400" : "SQL Server");
}
BENCHMARK(StoreProgram)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  CountAs400(500);
  CountNt(500);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  fs::remove_all(Folder());
  return 0;
}
