#pragma once

#include <functional>
#include <memory>

#include "base/Timers.h"

namespace mlfk {

inline constexpr double kFirstShowSeconds = 2.5;

// The main window comes on screen when the first page load finishes, or
// 2.5 s after launch at the latest; whichever is later finds it showing and
// does nothing. A window minimised in between is brought back.
class FirstShow {
 public:
  FirstShow(std::function<bool()> isShowing, std::function<void()> present);
  void launched(TimerSource& timers);  // arms the 2.5 s fallback
  void showWindow();                   // first load finished, or the fallback ran

 private:
  struct Hooks {
    std::function<bool()> isShowing;
    std::function<void()> present;
  };
  std::shared_ptr<Hooks> hooks_;
};

}  // namespace mlfk
