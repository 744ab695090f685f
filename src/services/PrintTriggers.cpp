#include "services/PrintTriggers.h"

namespace mlfk {

PrintTriggers::PrintTriggers(TimerSource& timers, std::function<void()> runPrint)
    : timers_(timers), state_(std::make_shared<State>()) {
  state_->runPrint = std::move(runPrint);
}

void PrintTriggers::check(const std::weak_ptr<State>& weak) {
  auto state = weak.lock();
  if (!state || !state->alive || state->started) return;
  state->started = true;
  state->runPrint();
}

void PrintTriggers::started() {
  timers_.schedule(kPrintFallbackSeconds, [weak = std::weak_ptr<State>(state_)] { check(weak); });
}

void PrintTriggers::fontsReady() {
  timers_.schedule(kPrintSettleSeconds, [weak = std::weak_ptr<State>(state_)] { check(weak); });
}

std::function<void()> PrintTriggers::fontsReadyLater() {
  return [&timers = timers_, weak = std::weak_ptr<State>(state_)] {
    if (weak.expired()) return;
    timers.schedule(kPrintSettleSeconds, [weak] { check(weak); });
  };
}

void PrintTriggers::loadFailed() {
  check(state_);
}

}  // namespace mlfk
