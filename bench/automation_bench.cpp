// Measures what late binding costs: one call of a control member by DISPID
// against the direct member call, and the manager's members, which reach the
// control late-bound, called directly and by DISPID.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "automation/hidden_form.h"
#include "automation/qvmanager.h"
#include "connection/qvsource.h"
#include "dllparam/source_library.h"
#include "platform/dispatch.h"

namespace {

using namespace qv;
using platform::InvokeKind;
using platform::Variant;

struct Control {
  Control() : control(MakeSourceLibrary()), object(control.Dispatch()) {}
  QVSource control;
  std::shared_ptr<platform::IDispatch> object;
};

void BM_DirectSourceTypeGet(benchmark::State& state) {
  Control c;
  for (auto _ : state) {
    std::string type = c.control.SourceType();
    benchmark::DoNotOptimize(type.data());
  }
}
BENCHMARK(BM_DirectSourceTypeGet);

void BM_InvokeSourceTypeGet(benchmark::State& state) {
  Control c;
  const platform::DISPID id = c.object->GetIDsOfNames("SourceType");
  for (auto _ : state) {
    platform::DispResult r = c.object->Invoke(id, InvokeKind::PropertyGet, {});
    benchmark::DoNotOptimize(r.value);
  }
}
BENCHMARK(BM_InvokeSourceTypeGet);

void BM_DirectErrorNum(benchmark::State& state) {
  Control c;
  for (auto _ : state) benchmark::DoNotOptimize(c.control.ErrorNum());
}
BENCHMARK(BM_DirectErrorNum);

void BM_InvokeErrorNum(benchmark::State& state) {
  Control c;
  const platform::DISPID id = c.object->GetIDsOfNames("ErrorNum");
  for (auto _ : state) {
    platform::DispResult r = c.object->Invoke(id, InvokeKind::PropertyGet, {});
    benchmark::DoNotOptimize(r.value);
  }
}
BENCHMARK(BM_InvokeErrorNum);

// A put with one argument: the value crosses as a Variant.
void BM_InvokeTargetPut(benchmark::State& state) {
  Control c;
  const platform::DISPID id = c.object->GetIDsOfNames("tgt");
  for (auto _ : state) {
    std::vector<Variant> args{Variant("T1_")};
    benchmark::DoNotOptimize(c.object->Invoke(id, InvokeKind::PropertyPut, args).status);
  }
}
BENCHMARK(BM_InvokeTargetPut);

void BM_DirectTargetPut(benchmark::State& state) {
  Control c;
  for (auto _ : state) {
    c.control.tgt("T1_");
    benchmark::DoNotOptimize(c.control.tgt().data());
  }
}
BENCHMARK(BM_DirectTargetPut);

// Resolving a name, which callers do once per member.
void BM_GetIDsOfNames(benchmark::State& state) {
  Control c;
  for (auto _ : state) benchmark::DoNotOptimize(c.object->GetIDsOfNames("Fic"));
}
BENCHMARK(BM_GetIDsOfNames);

// The manager's SourceType: one late-bound call to the thread's control.
void BM_ManagerSourceTypeGet(benchmark::State& state) {
  automation::QVmanager m;
  for (auto _ : state) {
    std::string type = m.SourceType();
    benchmark::DoNotOptimize(type.data());
  }
}
BENCHMARK(BM_ManagerSourceTypeGet);

// A script's call: by DISPID into the manager, which calls the control.
void BM_ManagerInvokeSourceTypeGet(benchmark::State& state) {
  automation::QVmanager m;
  for (auto _ : state) {
    platform::DispResult r = m.Invoke(0x6803000E, InvokeKind::PropertyGet, {});
    benchmark::DoNotOptimize(r.value);
  }
}
BENCHMARK(BM_ManagerInvokeSourceTypeGet);

void BM_ManagerInvokeErrorNum(benchmark::State& state) {
  automation::QVmanager m;
  for (auto _ : state) {
    platform::DispResult r = m.Invoke(0x6003001B, InvokeKind::Method, {});
    benchmark::DoNotOptimize(r.value);
  }
}
BENCHMARK(BM_ManagerInvokeErrorNum);

}  // namespace

BENCHMARK_MAIN();
