#include "services/Timers.h"

#include <glib.h>

#include <cmath>

namespace mlfk {

void MainLoopTimers::schedule(double seconds, std::function<void()> task) {
  auto* heldTask = new std::function<void()>(std::move(task));
  const auto milliseconds = static_cast<guint>(std::lround(std::max(0.0, seconds) * 1000.0));
  g_timeout_add_full(
      G_PRIORITY_DEFAULT, milliseconds,
      [](gpointer data) -> gboolean {
        (*static_cast<std::function<void()>*>(data))();
        return G_SOURCE_REMOVE;
      },
      heldTask, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

MainLoopTimers& MainLoopTimers::shared() {
  static MainLoopTimers timers;
  return timers;
}

}  // namespace mlfk
