#include "services/PrintTriggers.h"

#include <gtest/gtest.h>

#include "support/FakeTimers.h"

namespace mlfk {
namespace {

struct Job {
  test::FakeTimers timers;
  int prints = 0;
  double printedAt = -1;
  std::unique_ptr<PrintTriggers> triggers = std::make_unique<PrintTriggers>(timers, [this] {
    ++prints;
    printedAt = timers.now();
  });
  Job() { triggers->started(); }
};

TEST(PrintTriggers, OncePerJobAfterTheFontsAFailedLoadOrFiveSeconds) {
  Job fonts;  // a quarter second after the fonts, and only once
  fonts.timers.advance(1.0);
  fonts.triggers->fontsReady();
  fonts.timers.advance(0.2);
  EXPECT_EQ(fonts.prints, 0);
  fonts.timers.advance(10);
  fonts.triggers->loadFailed();
  EXPECT_EQ(fonts.prints, 1);
  EXPECT_NEAR(fonts.printedAt, 1.25, 1e-9);

  Job failed;  // at once, with no fallback after it
  failed.timers.advance(0.5);
  failed.triggers->loadFailed();
  EXPECT_EQ(failed.prints, 1);
  failed.timers.advance(10);
  EXPECT_EQ(failed.prints, 1);

  Job silent;
  silent.timers.advance(4.99);
  EXPECT_EQ(silent.prints, 0);
  silent.timers.advance(0.02);
  EXPECT_EQ(silent.prints, 1);

  Job gone;  // late triggers find no job
  auto later = gone.triggers->fontsReadyLater();
  gone.triggers.reset();
  later();
  gone.timers.advance(10);
  EXPECT_EQ(gone.prints, 0);
}

}  // namespace
}  // namespace mlfk
