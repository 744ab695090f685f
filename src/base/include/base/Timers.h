#pragma once

#include <functional>

namespace mlfk {

// Schedules work on the main loop after a delay. The behaviour that depends
// on time (flush, first show, print triggers) takes one of these, so tests
// can move time by hand.
class TimerSource {
 public:
  virtual ~TimerSource() = default;
  virtual void schedule(double seconds, std::function<void()> task) = 0;
};

// Timers on the GLib main context of the calling thread.
class MainLoopTimers final : public TimerSource {
 public:
  void schedule(double seconds, std::function<void()> task) override;
  static MainLoopTimers& shared();
};

}  // namespace mlfk
