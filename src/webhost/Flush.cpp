#include "Flush.h"

#include <memory>

namespace mlfk {

void FlushTiming::start(TimerSource& timers,
                        const std::function<void(std::function<void()> evaluated)>& evaluate,
                        std::function<void()> completion) {
  // Shared by the two scheduled steps only; whichever runs first finishes.
  struct State {
    bool done = false;
    std::function<void()> completion;
  };
  auto state = std::make_shared<State>(State{false, std::move(completion)});
  auto finish = [state] {
    if (state->done) return;
    state->done = true;
    auto completion = std::move(state->completion);
    completion();
  };
  evaluate([&timers, finish] { timers.schedule(kFlushGraceSeconds, finish); });
  timers.schedule(kFlushBoundSeconds, finish);
}

}  // namespace mlfk
