// The time source of the library: a monotonic clock in seconds, which tests
// replace by one they move by hand.
#pragma once

namespace qv::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Returns seconds since an arbitrary start; never goes back.
  virtual double Now() const = 0;
};

// Reads std::chrono::steady_clock.
class SteadyClock : public Clock {
 public:
  double Now() const override;
};

// Stays where it is put.
class ManualClock : public Clock {
 public:
  explicit ManualClock(double start = 0) : now_(start) {}
  double Now() const override { return now_; }
  void Set(double seconds) { now_ = seconds; }
  void Advance(double seconds) { now_ += seconds; }

 private:
  double now_;
};

// Returns the clock the library uses (a SteadyClock unless replaced).
Clock& CurrentClock();
// Replaces the clock; nullptr goes back to the steady clock. The caller keeps
// the clock alive while it is current.
void SetCurrentClock(Clock* clock);

// Makes a clock current for the life of this object, then puts back the
// previous one.
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* previous_;
};

}  // namespace qv::platform
