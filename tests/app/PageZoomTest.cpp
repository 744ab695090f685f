#include "app/PageZoom.h"

#include <gtest/gtest.h>

namespace mlfk {
namespace {

TEST(PageZoom, StepsAreAddedThenClamped) {
  double zoom = 1.0;
  for (int i = 0; i < 8; ++i) zoom = zoomedIn(zoom);
  zoom = zoomedIn(zoom);
  EXPECT_EQ(zoom, 1.9000000000000008);
  zoom = zoomedIn(zoom);
  EXPECT_EQ(zoom, 2.0);
  EXPECT_EQ(zoomedIn(zoom), 2.0);

  zoom = 1.0;
  for (int i = 0; i < 4; ++i) zoom = zoomedOut(zoom);
  EXPECT_EQ(zoom, 0.6000000000000001);
  zoom = zoomedOut(zoom);
  EXPECT_EQ(zoom, 0.6);
  EXPECT_EQ(zoomedOut(zoom), 0.6);
  EXPECT_EQ(kZoomActualSize, 1.0);
}

}  // namespace
}  // namespace mlfk
