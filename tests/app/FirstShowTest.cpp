#include "app/FirstShow.h"

#include <gtest/gtest.h>

#include "support/FakeTimers.h"

namespace mlfk {
namespace {

struct Window {
  bool showing = false;
  int presented = 0;
  FirstShow firstShow{[this] { return showing; },
                      [this] {
                        ++presented;
                        showing = true;
                      }};
};

TEST(FirstShow, LoadFirstThenTheTimerDoesNothing) {
  test::FakeTimers timers;
  Window window;
  window.firstShow.launched(timers);
  timers.advance(0.8);
  window.firstShow.showWindow();
  EXPECT_EQ(window.presented, 1);
  timers.advance(5);
  EXPECT_EQ(window.presented, 1);
}

TEST(FirstShow, TimerFirstWhenTheLoadNeverFinishes) {
  test::FakeTimers timers;
  Window window;
  window.firstShow.launched(timers);
  timers.advance(2.49);
  EXPECT_EQ(window.presented, 0);
  timers.advance(0.02);
  EXPECT_EQ(window.presented, 1);
}

TEST(FirstShow, MinimisedBeforeTheTimerIsBroughtBack) {
  test::FakeTimers timers;
  Window window;
  window.firstShow.launched(timers);
  window.firstShow.showWindow();
  window.showing = false;  // minimised by the user
  timers.advance(3);
  EXPECT_EQ(window.presented, 2);
}

}  // namespace
}  // namespace mlfk
