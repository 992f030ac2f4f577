// Gives the library its monotonic clock and lets tests swap it.
#include "platform/clock.h"

#include <atomic>
#include <chrono>

namespace qv::platform {
namespace {

SteadyClock gSteady;
std::atomic<Clock*> gCurrent{nullptr};

}  // namespace

double SteadyClock::Now() const {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

Clock& CurrentClock() {
  Clock* c = gCurrent.load();
  return c != nullptr ? *c : gSteady;
}

void SetCurrentClock(Clock* clock) { gCurrent.store(clock); }

ScopedClock::ScopedClock(Clock& clock) : previous_(gCurrent.load()) { SetCurrentClock(&clock); }

ScopedClock::~ScopedClock() { SetCurrentClock(previous_); }

}  // namespace qv::platform
