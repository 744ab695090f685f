#include "webhost/Flush.h"

#include <gtest/gtest.h>

#include "support/FakeTimers.h"

namespace mlfk {
namespace {

struct FlushRun {
  test::FakeTimers timers;
  std::function<void()> answer;
  int completions = 0;
  double completedAt = -1;
  FlushRun() {
    FlushTiming::start(
        timers, [this](std::function<void()> done) { answer = std::move(done); },
        [this] {
          ++completions;
          completedAt = timers.now();
        });
  }
};

TEST(Flush, FinishesAGraceAfterThePageAnswersAndAtOneSecondAtMost) {
  FlushRun prompt;
  prompt.timers.advance(0.05);
  prompt.answer();
  prompt.timers.advance(0.149);
  EXPECT_EQ(prompt.completions, 0);
  prompt.timers.advance(2.0);
  EXPECT_EQ(prompt.completions, 1);
  EXPECT_NEAR(prompt.completedAt, 0.2, 1e-9);

  FlushRun silent;
  silent.timers.advance(5.0);
  EXPECT_EQ(silent.completions, 1);
  EXPECT_NEAR(silent.completedAt, 1.0, 1e-9);

  FlushRun late;
  late.timers.advance(0.9);
  late.answer();  // its grace would end at 1.05
  late.timers.advance(5.0);
  EXPECT_EQ(late.completions, 1);
  EXPECT_NEAR(late.completedAt, 1.0, 1e-9);
}

}  // namespace
}  // namespace mlfk
