#pragma once

#include <functional>
#include <string_view>

#include "base/Timers.h"

namespace mlfk {

inline constexpr std::string_view kFlushScript = "window.mlFlushNow ? window.mlFlushNow() : true";
inline constexpr double kFlushGraceSeconds = 0.15;
inline constexpr double kFlushBoundSeconds = 1.0;

// The timing of one flush before quitting: the completion runs once, 0.15 s
// after the page's flush script has reported back or 1.0 s after the start,
// whichever comes first.
class FlushTiming {
 public:
  // Starts the bound; `evaluate` is called at once and must call the function
  // it is given exactly once when the page's script has completed (or failed).
  static void start(TimerSource& timers,
                    const std::function<void(std::function<void()> evaluated)>& evaluate,
                    std::function<void()> completion);
};

}  // namespace mlfk
