// Marks the part of a benchmark whose instructions scripts/perf counts.
//
// scripts/perf runs a benchmark under callgrind with instrumentation and
// collection off; a CountedSpan turns both on for its lifetime, so the count
// holds the measured work and none of the set-up (store copies, opening the
// control). Outside callgrind the span costs a few instructions and does
// nothing.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>

#if defined(__has_include)
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define QV_HAVE_CALLGRIND 1
#endif
#endif

namespace qv::bench {

class CountedSpan {
 public:
  CountedSpan() {
#ifdef QV_HAVE_CALLGRIND
    CALLGRIND_START_INSTRUMENTATION;
    CALLGRIND_TOGGLE_COLLECT;
#endif
  }
  ~CountedSpan() {
#ifdef QV_HAVE_CALLGRIND
    CALLGRIND_TOGGLE_COLLECT;
    CALLGRIND_STOP_INSTRUMENTATION;
#endif
  }
  CountedSpan(const CountedSpan&) = delete;
  CountedSpan& operator=(const CountedSpan&) = delete;
};

// Gives a benchmark the number of iterations QV_BENCH_ITERATIONS names, when
// it is set, so that the whole count belongs to that many iterations (Google
// Benchmark otherwise runs a benchmark several times while it picks a count).
inline void IterationsFromEnvironment(benchmark::internal::Benchmark* b) {
  const char* v = std::getenv("QV_BENCH_ITERATIONS");
  const long n = v ? std::strtol(v, nullptr, 10) : 0;
  if (n > 0) b->Iterations(n);
}

}  // namespace qv::bench
