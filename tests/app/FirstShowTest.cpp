#include "app/FirstShow.h"

#include <gtest/gtest.h>

#include "support/FakeTimers.h"

namespace mlfk {
namespace {

struct Window {
  test::FakeTimers timers;
  bool showing = false;
  int presented = 0;
  FirstShow firstShow{[this] { return showing; },
                      [this] {
                        ++presented;
                        showing = true;
                      }};
  Window() { firstShow.launched(timers); }
};

TEST(FirstShow, ShownOnLoadOrAfterTwoAndAHalfSecondsAndBroughtBackIfMinimised) {
  Window loaded;
  loaded.timers.advance(0.8);
  loaded.firstShow.showWindow();
  EXPECT_EQ(loaded.presented, 1);
  loaded.timers.advance(5);
  EXPECT_EQ(loaded.presented, 1);

  Window neverLoaded;
  neverLoaded.timers.advance(2.49);
  EXPECT_EQ(neverLoaded.presented, 0);
  neverLoaded.timers.advance(0.02);
  EXPECT_EQ(neverLoaded.presented, 1);

  Window minimised;
  minimised.firstShow.showWindow();
  minimised.showing = false;  // by the user, before the timer
  minimised.timers.advance(3);
  EXPECT_EQ(minimised.presented, 2);
}

}  // namespace
}  // namespace mlfk
