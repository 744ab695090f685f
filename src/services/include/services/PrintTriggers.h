#pragma once

#include <functional>
#include <memory>

#include "base/Timers.h"

namespace mlfk {

inline constexpr double kPrintSettleSeconds = 0.25;
inline constexpr double kPrintFallbackSeconds = 5.0;

// When a composed document is printed: 0.25 s after its fonts are ready,
// at once when its load fails, or 5.0 s after the start at the latest; the
// print operation runs at most once. Late triggers after the job has gone
// do nothing.
class PrintTriggers {
 public:
  PrintTriggers(TimerSource& timers, std::function<void()> runPrint);

  void started();     // arms the fallback
  void fontsReady();  // the font script reported back after a finished load
  // fontsReady() for a caller that may outlive the job.
  std::function<void()> fontsReadyLater();
  void loadFailed();
  bool hasStarted() const { return state_->started; }
  // The job is gone: pending timers find nothing to do.
  void cancel() { state_->alive = false; }

 private:
  struct State {
    bool started = false;
    bool alive = true;
    std::function<void()> runPrint;
  };
  static void check(const std::weak_ptr<State>& weak);

  TimerSource& timers_;
  std::shared_ptr<State> state_;
};

}  // namespace mlfk
