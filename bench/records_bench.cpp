// Measures the record codec and the SQL text builders on the records that
// the operations handle most: distributions and blocks of model tables.
#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

#include "store/records.h"
#include "store/sqltext.h"

namespace {

using namespace qv;

Record SampleDistribution() {
  Record gc(layout::QV_GC);
  gc.Set("ENVID", "01");
  gc.Set("TGTID", "T1");
  gc.Set("GRPID", "G1");
  gc.Set("HOLD", "0");
  gc.Set("QV_CONNECT", "DRIVER={SQL Server};SERVER=target;UID=repl;PWD=it's secret");
  gc.Set("TARGETDB", "SALES");
  gc.Set("PLANNING", std::string(168, '1'));
  gc.Set("REPRISETYP", "C");
  gc.Set("REPRISEPNT", "0000000000");
  gc.Set("X", "0000000120");
  gc.Set("Y", "0000000040");
  return gc;
}

// Sets every field of a distribution by name, then takes the image.
void BM_PackDistribution(benchmark::State& state) {
  const Record source = SampleDistribution();
  std::vector<std::pair<std::string_view, std::string>> values;
  for (const Field& f : layout::QV_GC.fields) values.emplace_back(f.name, source.Get(f.name));
  for (auto _ : state) {
    Record gc(layout::QV_GC);
    for (const auto& [name, value] : values) gc.Set(name, value);
    benchmark::DoNotOptimize(gc.image().data());
  }
}
BENCHMARK(BM_PackDistribution);

// Builds a distribution from its 624-byte image and reads every field by name.
void BM_UnpackDistribution(benchmark::State& state) {
  const std::string image = SampleDistribution().image();
  for (auto _ : state) {
    const Record gc(layout::QV_GC, image);
    std::size_t total = 0;
    for (const Field& f : layout::QV_GC.fields) total += gc.Get(f.name).size();
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_UnpackDistribution);

// Cuts a block of 13 model tables (13 x 304 bytes) and reads the table
// number and description of each, by field index.
void BM_UnpackModelTableBlock(benchmark::State& state) {
  std::string block;
  for (int i = 1; i <= 13; ++i) {
    Record fx(layout::QV_FX);
    fx.Set("ENVID", "01");
    fx.Set("GRPID", "G1");
    fx.Set("FICID", std::string(8, '0') + (i < 10 ? "0" : "") + std::to_string(i));
    fx.Set("DESCRIP", "Customer table");
    block += fx.image();
  }
  constexpr std::size_t kFicid = layout::QV_FX.Index("FICID");
  constexpr std::size_t kDescrip = layout::QV_FX.Index("DESCRIP");
  for (auto _ : state) {
    const auto records = RecordsFromBlock(layout::QV_FX, block, 13);
    std::size_t total = 0;
    for (const Record& r : records) total += r.Get(kFicid).size() + r.Get(kDescrip).size();
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * block.size()));
}
BENCHMARK(BM_UnpackModelTableBlock);

// Builds the INSERT statement of a distribution for a SQL Server source.
void BM_InsertDistribution(benchmark::State& state) {
  const Record gc = SampleDistribution();
  for (auto _ : state) {
    std::string sql = SqlInsert("QV_USRDATA..", gc);
    benchmark::DoNotOptimize(sql.data());
  }
}
BENCHMARK(BM_InsertDistribution);

}  // namespace

BENCHMARK_MAIN();
