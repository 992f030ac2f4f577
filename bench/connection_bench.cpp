// Opening and closing a source: the library calls OpenConnection makes on each
// kind of embedded store beside the fewest its steps allow, and the time of
// OpenConnection + CloseConnection.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "connection/qvsource.h"
#include "counting_library.h"
#include "dllparam/source_library.h"
#include "support/embedded_store.h"

namespace {

using qv::embedded::SourceKind;

struct Kind {
  SourceKind kind;
  const char* type;
  const char* instance;
  const char* name;
  // The fewest calls the opening steps allow when the global user is found:
  // open "S"; AS/400 two start-up commands, NT the login (and its settings
  // and checks); QV_VER open, read, close; QV_UID open and the user read;
  // NT the close of the statement that the checks and the user read share
  // (left open, it would hold a read of the store across later operations);
  // sixteen store files; AS/400 the user announcement.
  int fewest;
};

const Kind kKinds[] = {
    {SourceKind::AS400, "AS400", "", "AS400", 1 + 2 + 3 + 2 + 16 + 1},
    {SourceKind::ODBC, "ODBC", "", "ODBC", 1 + 2 + 3 + 2 + 1 + 16},
    {SourceKind::SQLServer, "SQL Server", "", "SQL Server", 1 + 1 + 4 + 1 + 4 + 1 + 3 + 2 + 1 + 16},
    {SourceKind::Oracle, "Oracle", "QVORA", "Oracle", 1 + 1 + 4 + 1 + 2 + 3 + 2 + 1 + 16},
};

std::unique_ptr<qv::QVSource> Control(const Kind& k, qv::test::CountingLibrary** counter) {
  auto counting = std::make_unique<qv::test::CountingLibrary>(qv::MakeSourceLibrary());
  *counter = counting.get();
  auto control = std::make_unique<qv::QVSource>(std::move(counting));
  control->SourceType(k.type);
  control->InstanceName(k.instance);
  return control;
}

void PrintCallCounts() {
  qv::SetProcessUserID("QVADMIN");
  qv::SetProcessPassword("demo");
  std::printf("Library calls of OpenConnection (GetLastError not counted)\n");
  for (const Kind& k : kKinds) {
    qv::test::EmbeddedStore store(k.kind, true, "demo");
    qv::test::CountingLibrary* counter = nullptr;
    auto control = Control(k, &counter);
    if (!control->OpenConnection(store.address())) {
      std::printf("%-11s open failed: %s\n", k.name, control->ErrorText().c_str());
      continue;
    }
    std::printf("%-11s calls %3lld  fewest %3d |", k.name, static_cast<long long>(counter->Calls()),
                k.fewest);
    for (const auto& [op, n] : counter->counts)
      if (op != "GetLastError") std::printf(" %s=%lld", op.c_str(), static_cast<long long>(n));
    std::printf("\n");
    control->CloseConnection();
  }
  std::fflush(stdout);
}

void OpenAndClose(benchmark::State& state) {
  const Kind& k = kKinds[state.range(0)];
  qv::SetProcessUserID("QVADMIN");
  qv::SetProcessPassword("demo");
  qv::test::EmbeddedStore store(k.kind, true, "demo");
  qv::test::CountingLibrary* counter = nullptr;
  auto control = Control(k, &counter);
  for (auto _ : state) {
    if (!control->OpenConnection(store.address())) state.SkipWithError("open failed");
    control->CloseConnection();
  }
  state.SetLabel(k.name);
}
BENCHMARK(OpenAndClose)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  PrintCallCounts();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
