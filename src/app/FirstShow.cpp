#include "FirstShow.h"

namespace mlfk {

FirstShow::FirstShow(std::function<bool()> isShowing, std::function<void()> present)
    : hooks_(std::make_shared<Hooks>(Hooks{std::move(isShowing), std::move(present)})) {}

void FirstShow::launched(TimerSource& timers) {
  timers.schedule(kFirstShowSeconds, [weak = std::weak_ptr<Hooks>(hooks_)] {
    if (auto hooks = weak.lock(); hooks && !hooks->isShowing()) hooks->present();
  });
}

void FirstShow::showWindow() {
  if (!hooks_->isShowing()) hooks_->present();
}

}  // namespace mlfk
