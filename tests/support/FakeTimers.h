#pragma once

#include <algorithm>
#include <functional>
#include <vector>

#include "base/Timers.h"

namespace mlfk::test {

// Timers that fire only when a test moves time forward.
class FakeTimers final : public TimerSource {
 public:
  void schedule(double seconds, std::function<void()> task) override {
    pending_.push_back({now_ + seconds, order_++, std::move(task)});
  }
  // Runs every task due up to `seconds` from now, in time order.
  void advance(double seconds) {
    const double until = now_ + seconds;
    for (;;) {
      auto next = std::min_element(pending_.begin(), pending_.end(), [](auto& a, auto& b) {
        return a.due != b.due ? a.due < b.due : a.order < b.order;
      });
      if (next == pending_.end() || next->due > until + 1e-9) break;
      auto task = std::move(next->task);
      now_ = next->due;
      pending_.erase(next);
      task();
    }
    now_ = until;
  }
  double now() const { return now_; }
  size_t pending() const { return pending_.size(); }

 private:
  struct Timer {
    double due;
    long order;
    std::function<void()> task;
  };
  std::vector<Timer> pending_;
  double now_ = 0;
  long order_ = 0;
};

}  // namespace mlfk::test
