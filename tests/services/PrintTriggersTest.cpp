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
};

TEST(PrintTriggers, PrintsAQuarterSecondAfterTheFontsAndOnlyOnce) {
  Job job;
  job.triggers->started();
  job.timers.advance(1.0);
  job.triggers->fontsReady();
  job.timers.advance(0.2);
  EXPECT_EQ(job.prints, 0);
  job.timers.advance(10);
  EXPECT_EQ(job.prints, 1);
  EXPECT_NEAR(job.printedAt, 1.25, 1e-9);
  job.triggers->loadFailed();
  EXPECT_EQ(job.prints, 1);
}

TEST(PrintTriggers, FailedLoadPrintsAtOnceAndTheFallbackAfterFiveSeconds) {
  Job failed;
  failed.triggers->started();
  failed.timers.advance(0.5);
  failed.triggers->loadFailed();
  EXPECT_EQ(failed.prints, 1);
  failed.timers.advance(10);
  EXPECT_EQ(failed.prints, 1);

  Job silent;
  silent.triggers->started();
  silent.timers.advance(4.99);
  EXPECT_EQ(silent.prints, 0);
  silent.timers.advance(0.02);
  EXPECT_EQ(silent.prints, 1);
}

TEST(PrintTriggers, LateTriggersFindNoJob) {
  Job job;
  job.triggers->started();
  auto later = job.triggers->fontsReadyLater();
  job.triggers.reset();  // the job is gone
  later();
  job.timers.advance(10);
  EXPECT_EQ(job.prints, 0);
}

}  // namespace
}  // namespace mlfk
