#include "webhost/Flush.h"

#include <gtest/gtest.h>

#include "support/FakeTimers.h"

namespace mlfk {
namespace {

struct FlushRun {
  test::FakeTimers timers;
  std::function<void()> evaluated;
  int completions = 0;
  double completedAt = -1;

  void start() {
    FlushTiming::start(
        timers, [this](std::function<void()> done) { evaluated = std::move(done); },
        [this] {
          ++completions;
          completedAt = timers.now();
        });
  }
};

TEST(Flush, FinishesAGraceAfterThePageAnswers) {
  FlushRun run;
  run.start();
  run.timers.advance(0.05);
  run.evaluated();
  run.timers.advance(0.149);
  EXPECT_EQ(run.completions, 0);
  run.timers.advance(2.0);
  EXPECT_EQ(run.completions, 1);
  EXPECT_NEAR(run.completedAt, 0.2, 1e-9);
}

TEST(Flush, BoundWhenThePageNeverOrLateAnswers) {
  FlushRun silent;
  silent.start();
  silent.timers.advance(5.0);
  EXPECT_EQ(silent.completions, 1);
  EXPECT_NEAR(silent.completedAt, 1.0, 1e-9);

  FlushRun late;
  late.start();
  late.timers.advance(0.9);
  late.evaluated();  // its grace would end at 1.05
  late.timers.advance(5.0);
  EXPECT_EQ(late.completions, 1);
  EXPECT_NEAR(late.completedAt, 1.0, 1e-9);
}

}  // namespace
}  // namespace mlfk
