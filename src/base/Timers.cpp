#include "base/Timers.h"

#include "base/Callbacks.h"

#include <cmath>

namespace mlfk {

void MainLoopTimers::schedule(double seconds, std::function<void()> task) {
  const auto milliseconds = std::lround(std::max(0.0, seconds) * 1000.0);
  glib::timeoutOnce(std::chrono::milliseconds(milliseconds), std::move(task));
}

MainLoopTimers& MainLoopTimers::shared() {
  static MainLoopTimers timers;
  return timers;
}

}  // namespace mlfk
