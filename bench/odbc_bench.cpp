// Compares the ODBC source on PostgreSQL with the same statements sent
// directly through ODBC: a keyed read, a block read of 10 000 rows, and
// DeleteGroup of a model with its tables and distributions (the control's
// whole operation, beside the statements it sends, replayed directly). Needs
// the server of scripts/pg (QV_PG_PORT); without it every benchmark is
// skipped. Prints each pair side by side with the library's overhead.
//
// DeleteGroup runs outside Google Benchmark: each round rebuilds the store
// (untimed) before each side, the two sides take turns and swap which goes
// first every round, and the summary gives the median and minimum of each
// side (QV_BENCH_ROUNDS rounds, 25 by default), their ratios, and the
// library's cost per statement: (library - direct) / statements, from the
// medians, the minimums and the median of each round's own difference.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "connection/dllparam_wrapper.h"
#include "connection/qvsource.h"
#include "counted_span.h"
#include "summary_reporter.h"
#include "dllparam/odbc/odbc_source.h"
#include "dllparam/odbc/odbc_store.h"
#include "odbc_databases.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "store/sqltext.h"

namespace {

using namespace qv;

constexpr int kRows = 10000;
const std::string kKeyedRead = "SELECT * FROM QV_FX WHERE ENVID='E1' AND GRPID='G01' AND FICID='0000005000'";
const std::string kBlockRead = "SELECT * FROM QV_FX WHERE ENVID='E1' AND GRPID='G01'";

std::string Ficid(int n) {
  std::string s = std::to_string(n);
  return std::string(10 - s.size(), '0') + s;
}

// Records the SQL a control sends, the query behind each job list included.
class Recorder : public DllParamWrapper {
 public:
  using DllParamWrapper::DllParamWrapper;
  bool recording = false;
  // What the control sent: queries, actions and the units of work around them.
  enum class Kind { Query, Action, Option };
  std::vector<std::pair<Kind, std::string>> statements;

  int32_t SJobList(const std::string& job, std::string& answer, const std::string& kind) override {
    if (recording) statements.emplace_back(Kind::Query, odbc::OdbcSource::kRunningJobsSql);
    return DllParamWrapper::SJobList(job, answer, kind);
  }
  int32_t Saction(const std::string& sql) override {
    if (recording) statements.emplace_back(Kind::Action, sql);
    return DllParamWrapper::Saction(sql);
  }
  int32_t SetConnectOption(int32_t option) override {
    if (recording) statements.emplace_back(Kind::Option, std::to_string(option));
    return DllParamWrapper::SetConnectOption(option);
  }
  int32_t Sread(int32_t& h, std::string& buf, int32_t& len, const std::string& sql, int32_t option) override {
    if (recording) statements.emplace_back(Kind::Query, sql);
    return DllParamWrapper::Sread(h, buf, len, sql, option);
  }
  int32_t Sreadblock(int32_t& h, std::string& buf, int32_t& len, const std::string& sql, const std::string& first,
                     int32_t& flag) override {
    if (recording && first == DllParam::kFirstBlock) statements.emplace_back(Kind::Query, sql);
    return DllParamWrapper::Sreadblock(h, buf, len, sql, first, flag);
  }
};

// A direct ODBC connection: statements prepared once, rows fetched into
// bound buffers.
struct Direct {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  std::map<std::string, SQLHSTMT> prepared;

  explicit Direct(const std::string& connect) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::string c = connect;
    if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(c.data()), SQL_NTS, nullptr, 0,
                                       nullptr, SQL_DRIVER_NOPROMPT))) {
      std::fprintf(stderr, "direct ODBC connection failed\n");
      std::exit(1);
    }
  }
  ~Direct() {
    for (auto& [sql, st] : prepared) SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  SQLHSTMT Prepare(const std::string& sql) {
    auto it = prepared.find(sql);
    if (it != prepared.end()) return it->second;
    SQLHSTMT st = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLPrepare(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    return prepared[sql] = st;
  }
  // Runs sql and fetches every row's columns as text; returns the rows.
  int Run(const std::string& sql) {
    SQLHSTMT st = Prepare(sql);
    if (!SQL_SUCCEEDED(SQLExecute(st))) return -1;
    SQLSMALLINT columns = 0;
    SQLNumResultCols(st, &columns);
    static char buffers[64][1024];
    static SQLLEN indicators[64];
    for (SQLSMALLINT i = 0; i < columns && i < 64; ++i)
      SQLBindCol(st, static_cast<SQLUSMALLINT>(i + 1), SQL_C_CHAR, buffers[i], sizeof buffers[i], &indicators[i]);
    int rows = 0;
    while (columns > 0 && SQL_SUCCEEDED(SQLFetch(st))) ++rows;
    SQLFreeStmt(st, SQL_CLOSE);
    return rows;
  }
};

struct Fixture {
  std::string connect;
  std::unique_ptr<Direct> direct;
  std::unique_ptr<odbc::OdbcSource> lib;
  int32_t hStmt = -1;

  Fixture() {
    auto pg = test::PostgresConnect();
    if (!pg) return;
    connect = *pg;
    Reset();
    direct = std::make_unique<Direct>(connect);
    SQLSetConnectAttr(direct->dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    for (int i = 1; i <= kRows; ++i) {
      Record r(layout::QV_FX);
      r.Set("ENVID", "E1");
      r.Set("GRPID", "G01");
      r.Set("FICID", Ficid(i));
      r.Set("DESCRIP", "table " + std::to_string(i));
      direct->Run(SqlInsert("", r));
    }
    SQLEndTran(SQL_HANDLE_DBC, direct->dbc, SQL_COMMIT);
    SQLSetConnectAttr(direct->dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    for (auto& [sql, st] : direct->prepared) SQLFreeHandle(SQL_HANDLE_STMT, st);
    direct->prepared.clear();
    lib = std::make_unique<odbc::OdbcSource>();
    std::string version(10, ' '), job(10, ' '), out(DllParam::kDsnMessageBuffer, ' ');
    int32_t h = 0;
    lib->OpenMConnection("odbc:" + connect, version, job, h);
    lib->ConnectDSN(connect, " ", " ", out);
  }
  // Makes the store the demo again, with no distribution running.
  void Reset() {
    odbc::OdbcStoreOptions options;
    options.demo = true;
    options.force = true;
    odbc::CreateOdbcStore(connect, options);
    odbc::OdbcSource source;
    std::string version(10, ' '), job(10, ' '), out(DllParam::kDsnMessageBuffer, ' ');
    int32_t h = 0;
    source.OpenMConnection("odbc:" + connect, version, job, h);
    source.ConnectDSN(connect, " ", " ", out);
    if (!source.Saction("UPDATE QV_SPV SET RUN = '0', STATE = 'X'")) {
      std::fprintf(stderr, "cannot end the demo's distributions\n");
      std::exit(1);
    }
  }
};

Fixture& TheFixture() {
  static Fixture f;
  return f;
}

bool Ready(benchmark::State& state) {
  if (TheFixture().lib) return true;
  state.SkipWithError("QV_PG_PORT is not set: start a server with scripts/pg");
  return false;
}

void KeyedRead_Library(benchmark::State& state) {
  if (!Ready(state)) return;
  Fixture& f = TheFixture();
  std::string rec(layout::QV_FX.length, ' ');
  int32_t len = 0;
  for (auto _ : state)
    if (!f.lib->Sread(f.hStmt, rec, len, kKeyedRead, DllParam::kFirstRow)) state.SkipWithError("not found");
}

void KeyedRead_Direct(benchmark::State& state) {
  if (!Ready(state)) return;
  Fixture& f = TheFixture();
  for (auto _ : state)
    if (f.direct->Run(kKeyedRead) != 1) state.SkipWithError("not found");
}

void BlockRead_Library(benchmark::State& state) {
  if (!Ready(state)) return;
  Fixture& f = TheFixture();
  const std::size_t width = layout::QV_FX.length;
  for (auto _ : state) {
    std::string buf(DllParam::kBlockBuffer, ' ');
    int32_t len = 0, flag = 1;
    std::size_t rows = 0;
    std::string first = DllParam::kFirstBlock;
    while (flag && f.lib->Sreadblock(f.hStmt, buf, len, kBlockRead, first, flag)) {
      rows += static_cast<std::size_t>(len) / width;
      first = DllParam::kNextBlock;
    }
    if (rows != kRows) state.SkipWithError("wrong row count");
  }
}

void BlockRead_Direct(benchmark::State& state) {
  if (!Ready(state)) return;
  Fixture& f = TheFixture();
  for (auto _ : state)
    if (f.direct->Run(kBlockRead) != kRows) state.SkipWithError("wrong row count");
}

// Opens a control on the demo store (the model CLI of PR, with its tables
// and distributions) through a recorder.
struct DemoControl {
  Recorder* recorder = nullptr;
  std::unique_ptr<QVSource> control;
  explicit DemoControl(const std::string& connect) {
    auto lib = std::make_unique<Recorder>(std::make_unique<odbc::OdbcSource>());
    recorder = lib.get();
    control = std::make_unique<QVSource>(std::move(lib));
    control->SourceType("ODBC");
    SetProcessUserID("QVADMIN");
    SetProcessPassword("demo");
    if (!control->OpenConnection("odbc:" + connect)) {
      std::fprintf(stderr, "cannot open the demo store: %s\n", control->ErrorText().c_str());
      std::exit(1);
    }
    control->env("PR");
  }
};

using Statements = std::vector<std::pair<Recorder::Kind, std::string>>;

// Sends the statements a control sent straight to the direct connection,
// with its units of work.
void Replay(Direct& direct, const Statements& statements) {
  bool inUnit = false;
  for (const auto& [kind, sql] : statements) {
    if (kind == Recorder::Kind::Option) {
      const bool begin = sql == std::to_string(DllParam::kOptionBeginChange);
      if (begin == inUnit) continue;
      if (!begin) SQLEndTran(SQL_HANDLE_DBC, direct.dbc, SQL_COMMIT);
      SQLSetConnectAttr(direct.dbc, SQL_ATTR_AUTOCOMMIT,
                        reinterpret_cast<SQLPOINTER>(begin ? SQL_AUTOCOMMIT_OFF : SQL_AUTOCOMMIT_ON), 0);
      inUnit = begin;
      continue;
    }
    // The library's DELETE without FROM, as the ODBC source sends it.
    std::string text = sql;
    if (kind == Recorder::Kind::Action && text.rfind("DELETE ", 0) == 0 && text.rfind("DELETE FROM ", 0) != 0)
      text = "DELETE FROM " + text.substr(7);
    direct.Run(text);
  }
}

struct Samples {
  std::vector<double> ms;
  double Median() const {
    std::vector<double> v = ms;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }
  double Min() const { return ms.empty() ? 0 : *std::min_element(ms.begin(), ms.end()); }
};

// Times fn once, in milliseconds.
template <typename Fn>
double TimedMs(Fn&& fn) {
  const auto t0 = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Compares DeleteGroup of model CLI of PR through the library with its
// statements sent directly, in interleaved rounds; prints the summary.
void CompareDeleteGroup(Fixture& f, int rounds) {
  Statements statements;
  {
    f.Reset();
    DemoControl demo(f.connect);
    demo.recorder->recording = true;
    if (!demo.control->DeleteGroup("CLI")) {
      std::fprintf(stderr, "DeleteGroup failed: %s\n", demo.control->ErrorText().c_str());
      return;
    }
    statements = demo.recorder->statements;
  }
  std::size_t sent = 0;
  for (const auto& [kind, sql] : statements) sent += kind != Recorder::Kind::Option;
  DemoControl demo(f.connect);
  Samples library, direct;
  bool failed = false;
  auto runLibrary = [&] {
    f.Reset();
    library.ms.push_back(TimedMs([&] { failed |= !demo.control->DeleteGroup("CLI"); }));
  };
  auto runDirect = [&] {
    f.Reset();
    direct.ms.push_back(TimedMs([&] { Replay(*f.direct, statements); }));
  };
  runLibrary();  // warms both connections' prepared statements
  runDirect();
  library.ms.clear();
  direct.ms.clear();
  for (int r = 0; r < rounds; ++r) {
    if (r % 2) {
      runDirect();
      runLibrary();
    } else {
      runLibrary();
      runDirect();
    }
  }
  if (failed) {
    std::fprintf(stderr, "DeleteGroup failed: %s\n", demo.control->ErrorText().c_str());
    return;
  }
  std::printf("\nDeleteGroup, %d interleaved rounds, %zu statements\n", rounds, sent);
  std::printf("%-8s %12s %12s\n", "", "median ms", "min ms");
  std::printf("%-8s %12.3f %12.3f\n", "library", library.Median(), library.Min());
  std::printf("%-8s %12.3f %12.3f\n", "direct", direct.Median(), direct.Min());
  std::printf("%-8s %12.3f %12.3f\n", "ratio", library.Median() / direct.Median(), library.Min() / direct.Min());
  // The rounds' own differences: a round slowed by the machine slows both of its sides.
  Samples paired;
  for (std::size_t i = 0; i < library.ms.size(); ++i) paired.ms.push_back(library.ms[i] - direct.ms[i]);
  std::printf("per statement: %.1f us (medians), %.1f us (minimums), %.1f us (median of the rounds' differences)\n",
              (library.Median() - direct.Median()) * 1000 / static_cast<double>(sent),
              (library.Min() - direct.Min()) * 1000 / static_cast<double>(sent),
              paired.Median() * 1000 / static_cast<double>(sent));
}

BENCHMARK(KeyedRead_Library)->Apply(bench::IterationsFromEnvironment);
BENCHMARK(KeyedRead_Direct)->Apply(bench::IterationsFromEnvironment);
BENCHMARK(BlockRead_Library)->Unit(benchmark::kMillisecond)->Apply(bench::IterationsFromEnvironment);
BENCHMARK(BlockRead_Direct)->Unit(benchmark::kMillisecond)->Apply(bench::IterationsFromEnvironment);


}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TheFixture();
  qv::bench::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%-12s %15s %15s %9s\n", "work", "library", "direct ODBC", "overhead");
  for (const char* work : {"KeyedRead", "BlockRead"}) {
    const std::string l = std::string(work) + "_Library", d = std::string(work) + "_Direct";
    if (!reporter.nsPerIteration.count(l) || !reporter.nsPerIteration.count(d)) continue;
    const double wl = reporter.nsPerIteration[l], wd = reporter.nsPerIteration[d];
    std::printf("%-12s %12.0f ns %12.0f ns %8.1f%%\n", work, wl, wd, (wl / wd - 1) * 100);
  }
  if (TheFixture().lib) {
    const char* rounds = std::getenv("QV_BENCH_ROUNDS");
    const long n = rounds ? std::strtol(rounds, nullptr, 10) : 0;
    CompareDeleteGroup(TheFixture(), n > 0 ? static_cast<int>(n) : 25);
  }
  benchmark::Shutdown();
  return 0;
}
