// Load of the source server: N clients at once against a store served on
// loopback, each doing a mix of keyed reads (60%), locked updates (20%: a
// locked read and its rewrite) and block reads (20%), for a bounded number of
// requests and time; the same work in-process (each client its own embedded
// source over the same store file) side by side. Reports requests per
// second, median and 99th-percentile latency, errors, and checks that no
// update was lost (the counters in the store add up to the updates done).
//
// Also measures one client's keyed read in-process, over the network, and
// the loopback round trip of a bare TCP echo, for the target "network median
// keyed read within 3 x in-process + one round trip".
//
// BM_ServerMemory runs "qvsource serve" as a process of its own and keeps
// every one of its sessions busy with the largest calls a client can make:
// output buffers of 16 MiB (refused), block reads with the largest buffer
// served and statements of 1 MiB. It reports the server's peak resident
// memory (VmHWM), to hold under 256 MiB.
//
//   bench_netload [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "dllparam/embedded/embedded_source.h"
#include "dllparam/net/net_client.h"
#include "dllparam/net/net_server.h"
#include "dllparam/admin/store_admin.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace {

using namespace qv;
namespace L = qv::layout;
using Clock = std::chrono::steady_clock;

constexpr int kEnvironments = 64;
constexpr int kTargets = 40;
constexpr int kRequestsPerRun = 6000;  // shared by the clients of a run
constexpr int kSecondsPerRun = 30;

std::string EnvId(int i) { return std::string{static_cast<char>('A' + i / 26), static_cast<char>('A' + i % 26)}; }

// A store in a temporary folder, with kEnvironments environments whose
// description holds an update counter, and kTargets targets of "AA".
class BenchStore {
 public:
  BenchStore() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qvnetload-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    folder_ = pattern;
    path_ = folder_ + "/load.qvs";
    embedded::CreateStore(path_, {});
    embedded::StoreAdmin admin(path_);
    for (int i = 0; i < kEnvironments; ++i) {
      Record r(L::QV_EX);
      r.Set("ENVID", EnvId(i));
      r.Set("DESCRIP", "0");
      admin.PutRecord(r);
    }
    for (int i = 0; i < kTargets; ++i) {
      Record r(L::QV_CX);
      r.Set("ENVID", "AA");
      r.Set("TGTID", std::to_string(100 + i));
      admin.PutRecord(r);
    }
  }
  ~BenchStore() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  const std::string& path() const { return path_; }
  // Returns the sum of the update counters.
  long Updates() {
    embedded::StoreAdmin admin(path_);
    long sum = 0;
    for (const Record& r : admin.Records(L::QV_EX)) sum += std::stol(std::string(r.Trimmed("DESCRIP")));
    return sum;
  }

 private:
  std::string folder_, path_;
};

BenchStore& Store() {
  static BenchStore store;
  return store;
}

// The server of the store, started once.
net::SourceServer& Server() {
  static std::unique_ptr<net::SourceServer> server = [] {
    net::ServerOptions o;
    o.listen = "127.0.0.1:0";
    o.storeAddress = "file:" + Store().path();
    o.maxSessions = 256;
    o.maxPerAddress = 0;
    o.log = [](const std::string&) {};
    auto s = std::make_unique<net::SourceServer>(o, [] { return std::make_unique<embedded::EmbeddedSource>(); });
    std::string error;
    if (!s->Start(&error)) {
      std::fprintf(stderr, "netload: %s\n", error.c_str());
      std::abort();
    }
    std::thread([p = s.get()] { p->Run(); }).detach();
    return s;
  }();
  return *server;
}

std::unique_ptr<DllParam> NewClient(bool network) {
  std::unique_ptr<DllParam> lib;
  std::string address;
  if (network) {
    net::ClientOptions o;
    o.callTimeoutMs = 60000;
    lib = std::make_unique<net::NetClient>(o);
    address = "127.0.0.1:" + std::to_string(Server().Port());
  } else {
    lib = std::make_unique<embedded::EmbeddedSource>();
    address = "file:" + Store().path();
  }
  std::string v(10, ' '), j(10, ' ');
  int32_t h = 0;
  if (!lib->OpenMConnection(address, v, j, h)) return nullptr;
  return lib;
}

int32_t ErrorCode(DllParam& lib) {
  int32_t code = 0, num = 0;
  std::string text(DllParam::kErrorTextBuffer, ' ');
  lib.GetLastError(code, num, text);
  return code;
}

struct ClientResult {
  std::vector<double> latencyUs;
  long updates = 0;
  long busyRetries = 0;
  long errors = 0;
};

// Runs one client's share of the mix.
ClientResult RunClient(bool network, int requests, unsigned seed, Clock::time_point deadline) {
  ClientResult out;
  auto lib = NewClient(network);
  if (!lib) {
    out.errors = requests;
    return out;
  }
  int32_t ex = -1, cx = -1;
  lib->Ropen("QV_USRDATA/QV_EX", DllParam::kModeUpdate, ex);
  lib->Ropen("QV_USRDATA/QV_CX", DllParam::kModeRead, cx);
  std::mt19937 rng(seed);
  std::string rec(L::QV_EX.length, ' ');
  std::string block(DllParam::kBlockBuffer, ' ');
  out.latencyUs.reserve(static_cast<std::size_t>(requests));
  for (int i = 0; i < requests && Clock::now() < deadline; ++i) {
    const int kind = static_cast<int>(rng() % 10);
    const std::string key = EnvId(static_cast<int>(rng() % kEnvironments));
    int32_t len = 0, count = 0;
    const auto start = Clock::now();
    if (kind < 6) {
      if (!lib->Rreadk(ex, rec, len, DllParam::kKeyEqualNoLock, key, 2)) ++out.errors;
    } else if (kind < 8) {
      // Locked update: retried while another client holds the record, after
      // a sleep of 50 us doubling up to 800 us (a client that spun would take
      // the processor from the holder it waits for).
      bool done = false;
      for (int attempt = 0; attempt < 10000 && !done; ++attempt) {
        if (!lib->Rreadk(ex, rec, len, DllParam::kKeyEqualLocked, key, 2)) {
          if (ErrorCode(*lib) == DllParam::kCodeBusy) {
            ++out.busyRetries;
            std::this_thread::sleep_for(std::chrono::microseconds(50 << std::min(attempt, 4)));
            continue;
          }
          ++out.errors;
          break;
        }
        Record r(L::QV_EX, rec);
        r.Set("DESCRIP", std::to_string(std::stol(std::string(r.Trimmed("DESCRIP"))) + 1));
        if (lib->Rupdate(ex, r.image(), static_cast<int32_t>(r.size()))) {
          ++out.updates;
          done = true;
        } else {
          ++out.errors;
          break;
        }
      }
    } else {
      block.assign(DllParam::kBlockBuffer, ' ');
      if (!lib->Rreadblock(cx, block, count, L::QV_CX.length, "AA", 2) && ErrorCode(*lib) != DllParam::kCodeNotFound)
        ++out.errors;
    }
    out.latencyUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  return out;
}

double Percentile(std::vector<double>& v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())));
  return v[i];
}

struct Summary {
  double rps = 0, p50 = 0, p99 = 0;
  long errors = 0, lost = 0, busy = 0;
};
std::map<std::pair<int, int>, Summary> gSummary;  // (network, clients) -> figures

void BM_Load(benchmark::State& state) {
  const bool network = state.range(0) != 0;
  const int clients = static_cast<int>(state.range(1));
  Summary s;
  for (auto _ : state) {
    const long before = Store().Updates();
    const auto deadline = Clock::now() + std::chrono::seconds(kSecondsPerRun);
    std::vector<ClientResult> results(static_cast<std::size_t>(clients));
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (int c = 0; c < clients; ++c)
      threads.emplace_back([&, c] {
        results[static_cast<std::size_t>(c)] = RunClient(network, kRequestsPerRun / clients, 1310u + static_cast<unsigned>(c), deadline);
      });
    for (auto& t : threads) t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> all;
    long updates = 0;
    for (ClientResult& r : results) {
      all.insert(all.end(), r.latencyUs.begin(), r.latencyUs.end());
      updates += r.updates;
      s.errors += r.errors;
      s.busy += r.busyRetries;
    }
    s.lost = (before + updates) - Store().Updates();
    s.rps = static_cast<double>(all.size()) / seconds;
    s.p50 = Percentile(all, 0.50);
    s.p99 = Percentile(all, 0.99);
    state.SetIterationTime(seconds);
  }
  state.counters["req/s"] = s.rps;
  state.counters["p50_us"] = s.p50;
  state.counters["p99_us"] = s.p99;
  state.counters["errors"] = static_cast<double>(s.errors);
  state.counters["lost_updates"] = static_cast<double>(s.lost);
  state.counters["busy_retries"] = static_cast<double>(s.busy);
  gSummary[{network ? 1 : 0, clients}] = s;
}
BENCHMARK(BM_Load)
    ->ArgNames({"network", "clients"})
    ->ArgsProduct({{0, 1}, {1, 8, 32}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// ---- One client's keyed read and the loopback round trip -------------------

double gKeyedMedian[2] = {0, 0};
double gRoundTrip = 0;

void BM_KeyedRead(benchmark::State& state) {
  const bool network = state.range(0) != 0;
  auto lib = NewClient(network);
  int32_t ex = -1;
  lib->Ropen("QV_USRDATA/QV_EX", DllParam::kModeRead, ex);
  std::string rec(L::QV_EX.length, ' ');
  std::vector<double> lat;
  int i = 0;
  for (auto _ : state) {
    int32_t len = 0;
    const auto start = Clock::now();
    benchmark::DoNotOptimize(lib->Rreadk(ex, rec, len, DllParam::kKeyEqualNoLock, EnvId(i++ % kEnvironments), 2));
    lat.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  gKeyedMedian[network ? 1 : 0] = Percentile(lat, 0.5);
  state.counters["p50_us"] = gKeyedMedian[network ? 1 : 0];
}
BENCHMARK(BM_KeyedRead)->ArgName("network")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Bounces 64 bytes over a loopback TCP connection (an echo thread).
void BM_LoopbackRoundTrip(benchmark::State& state) {
  net::Fd listener;
  uint16_t port = 0;
  net::ListenTcp(net::HostPort{"127.0.0.1", 0}, 1, listener, port);
  std::thread echo([&] {
    net::Fd peer(::accept(listener.get(), nullptr, nullptr));
    char buf[64];
    for (;;) {
      std::string in;
      if (!net::RecvExact(peer.get(), sizeof buf, in, net::DeadlineIn(0)).ok()) return;
      if (!net::SendAll(peer.get(), in, net::DeadlineIn(0)).ok()) return;
    }
  });
  net::Fd sock;
  net::ConnectTcp(net::HostPort{"127.0.0.1", port}, 5000, sock);
  const std::string msg(64, 'x');
  std::string in;
  std::vector<double> lat;
  for (auto _ : state) {
    const auto start = Clock::now();
    net::SendAll(sock.get(), msg, net::DeadlineIn(0));
    net::RecvExact(sock.get(), msg.size(), in, net::DeadlineIn(0));
    lat.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  sock.Reset();
  echo.join();
  gRoundTrip = Percentile(lat, 0.5);
  state.counters["p50_us"] = gRoundTrip;
}
BENCHMARK(BM_LoopbackRoundTrip)->Unit(benchmark::kMicrosecond);

// ---- The server's memory with every session busy ----------------------------

double gServerPeakMiB = 0;

// Returns the peak resident memory of process pid in MiB.
double PeakMiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return -1;
}

void BM_ServerMemory(benchmark::State& state) {
  const int sessions = static_cast<int>(state.range(0));
  int out[2];
  if (::pipe(out) != 0) std::abort();
  const std::string maxSessions = std::to_string(sessions);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    const int quiet = ::open("/dev/null", O_WRONLY);  // the session log
    if (quiet >= 0) ::dup2(quiet, 2);
    execl(QV_QVSOURCE_PATH, "qvsource", "serve", Store().path().c_str(), "--listen", "127.0.0.1:0",
          "--max-sessions", maxSessions.c_str(), "--max-per-address", "0", static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(out[1]);
  std::string banner;  // "serving PATH on 127.0.0.1:PORT"
  for (char c; banner.find('\n') == std::string::npos && ::read(out[0], &c, 1) == 1;) banner += c;
  ::close(out[0]);
  const std::string address = banner.substr(banner.rfind(' ') + 1, banner.find('\n') - banner.rfind(' ') - 1);
  long refused = 0, served = 0;
  std::mutex countMutex;
  // One huge buffer for every client: the server refuses it, so it is only read.
  std::string huge(16u << 20, ' ');
  const std::string statement = "SELECT 1" + std::string((1u << 20) - 8, ' ');
  for (auto _ : state) {
    std::vector<std::thread> threads;
    for (int c = 0; c < sessions; ++c) {
      threads.emplace_back([&] {
        net::ClientOptions o;
        o.callTimeoutMs = 60000;
        net::NetClient lib(o);
        std::string v(10, ' '), j(10, ' ');
        int32_t h = 0, cx = -1;
        if (!lib.OpenMConnection(address, v, j, h)) return;
        lib.Ropen("QV_USRDATA/QV_CX", DllParam::kModeRead, cx);
        long mine = 0, ok = 0;
        for (int round = 0; round < 20; ++round) {
          int32_t len = 0, count = 0;
          mine += lib.GetDSNsAndDrivers(huge, len, DllParam::kFirstCall) == 0;
          std::string block(net::LargestAnswer(net::Op::Rreadblock), ' ');
          ok += lib.Rreadblock(cx, block, count, L::QV_CX.length, "AA", 2) != 0;
          lib.Saction(statement);
        }
        lib.CloseMConnection(h);
        std::lock_guard<std::mutex> g(countMutex);
        refused += mine;
        served += ok;
      });
    }
    for (std::thread& t : threads) t.join();
  }
  gServerPeakMiB = PeakMiB(pid);
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  state.counters["server_peak_MiB"] = gServerPeakMiB;
  state.counters["huge_refused"] = static_cast<double>(refused);
  state.counters["blocks_served"] = static_cast<double>(served);
}
BENCHMARK(BM_ServerMemory)->ArgName("sessions")->Arg(64)->Iterations(1)->Unit(benchmark::kMillisecond);

void PrintSummary() {
  if (!gSummary.empty()) {
    std::printf("\n%-8s | %-34s | %-34s\n", "clients", "in-process  req/s   p50 us   p99 us",
                "network     req/s   p50 us   p99 us");
    for (int n : {1, 8, 32}) {
      auto a = gSummary.find({0, n}), b = gSummary.find({1, n});
      if (a == gSummary.end() && b == gSummary.end()) continue;
      auto cell = [](auto it, auto end) {
        char buf[64];
        if (it == end) return std::string("-");
        std::snprintf(buf, sizeof buf, "%15.0f %8.0f %8.0f", it->second.rps, it->second.p50, it->second.p99);
        return std::string(buf);
      };
      std::printf("%-8d | %-34s | %-34s\n", n, cell(a, gSummary.end()).c_str(), cell(b, gSummary.end()).c_str());
    }
    long errors = 0, lost = 0;
    for (auto& [k, s] : gSummary) {
      errors += s.errors;
      lost += s.lost;
    }
    std::printf("errors: %ld, lost updates: %ld\n", errors, lost);
  }
  if (gKeyedMedian[0] > 0 && gKeyedMedian[1] > 0 && gRoundTrip > 0) {
    const double bound = 3 * gKeyedMedian[0] + gRoundTrip;
    std::printf("keyed read median: in-process %.1f us, network %.1f us, loopback round trip %.1f us; "
                "target 3 x in-process + round trip = %.1f us: %s\n",
                gKeyedMedian[0], gKeyedMedian[1], gRoundTrip, bound, gKeyedMedian[1] <= bound ? "met" : "MISSED");
  }
  if (gServerPeakMiB > 0)
    std::printf("server peak memory with every session busy: %.1f MiB (target under 256 MiB): %s\n", gServerPeakMiB,
                gServerPeakMiB < 256 ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Warms the store file and the server up, so that the first measured run
  // does not pay for it.
  for (bool network : {false, true}) RunClient(network, 500, 7u, Clock::now() + std::chrono::seconds(kSecondsPerRun));
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintSummary();
  return 0;
}
