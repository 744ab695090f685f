#pragma once

#include <chrono>
#include <ctime>

namespace mlfk {

// Time as the record store sees it: a monotonic clock for intervals, so that a
// changed system clock cannot stop or force a rotation, and wall time for
// the names people read.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::chrono::steady_clock::time_point steadyNow() = 0;
  virtual std::time_t wallNow() = 0;
};

class SystemClock final : public Clock {
 public:
  std::chrono::steady_clock::time_point steadyNow() override {
    return std::chrono::steady_clock::now();
  }
  std::time_t wallNow() override { return std::time(nullptr); }
};

}  // namespace mlfk
