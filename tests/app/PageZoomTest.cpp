#include "app/PageZoom.h"

#include <gtest/gtest.h>

namespace mlfk {
namespace {

TEST(PageZoom, StepsAreAddedThenClampedAndTouchpadDeltasAddUp) {
  double zoom = 1.0;
  for (int i = 0; i < 9; ++i) zoom = zoomedIn(zoom);
  EXPECT_EQ(zoom, 1.9000000000000008);
  EXPECT_EQ(zoomedIn(zoom), 2.0);
  EXPECT_EQ(zoomedIn(2.0), 2.0);
  zoom = 1.0;
  for (int i = 0; i < 4; ++i) zoom = zoomedOut(zoom);
  EXPECT_EQ(zoom, 0.6000000000000001);
  EXPECT_EQ(zoomedOut(zoom), 0.6);
  EXPECT_EQ(zoomedOut(0.6), 0.6);

  ScrollZoomSteps steps;
  int taken = 0;
  for (int i = 0; i < 30; ++i) taken += steps.add(-0.1);  // three units of small deltas
  EXPECT_EQ(taken, -3);
  EXPECT_EQ(steps.add(0.4), 0);
  EXPECT_EQ(steps.add(0.7), 1);  // back past one unit the other way
  EXPECT_EQ(steps.add(-1), -1);  // a wheel click is one step
}

}  // namespace
}  // namespace mlfk
