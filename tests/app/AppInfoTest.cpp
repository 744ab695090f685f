#include "app/AppInfo.h"
#include "app/WindowGeometry.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace mlfk {
namespace {

TEST(AppInfo, ValuesUntrimmedWithFallbacksForMissingFilesAndNonStrings) {
  test::TempDir temp;
  const auto info = temp / "Info.json";
  EXPECT_EQ(AppInfo::versionFrom(info) + AppInfo::buildFrom(info), "4.11");  // no file
  test::writeFile(info, R"({"CFBundleShortVersionString": " 5.0 beta", "CFBundleVersion": "77"})");
  EXPECT_EQ(AppInfo::versionFrom(info), " 5.0 beta");
  EXPECT_EQ(AppInfo::buildFrom(info), "77");
  test::writeFile(info, R"({"CFBundleShortVersionString": 5.0, "CFBundleVersion": null})");
  EXPECT_EQ(AppInfo::versionFrom(info) + AppInfo::buildFrom(info), "4.11");
  test::writeFile(info, "not json");
  EXPECT_EQ(AppInfo::versionFrom(info), "4.1");
}

TEST(WindowGeometry, SavedRestoredAtLeastTheMinimumAndOnlyWhereAMonitorIs) {
  test::TempDir temp;
  const auto file = temp / "state" / "window.ini";
  EXPECT_FALSE(WindowGeometry::load(file));
  WindowGeometry saved{.width = 1320, .height = 860, .maximized = true, .x = 2100, .y = 80};
  saved.save(file);
  auto at = WindowGeometry::load(file);
  ASSERT_TRUE(at);
  EXPECT_EQ(std::tuple(at->width, at->height, at->maximized, at->x, at->y),
            std::tuple(1320, 860, true, std::optional(2100), std::optional(80)));

  const std::vector<ScreenArea> both = {{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}};
  const std::vector<ScreenArea> laptop = {{0, 0, 1920, 1080}};
  EXPECT_TRUE(at->positionIsReachable(both));
  EXPECT_FALSE(at->positionIsReachable(laptop));
  at->x = 1850;  // only its left edge left on screen
  EXPECT_FALSE(at->positionIsReachable(laptop));
  at->x = -1200;  // hanging off the left, title bar still in reach
  EXPECT_TRUE(at->positionIsReachable(laptop));
  at->y = -100;  // title bar above the screen
  EXPECT_FALSE(at->positionIsReachable(laptop));

  test::writeFile(file, "[MeadowlineFieldKeeperMain]\nwidth=100\nheight=100\nx=5\n");
  at = WindowGeometry::load(file);
  EXPECT_EQ(std::pair(at->width, at->height), std::pair(900, 600));
  EXPECT_FALSE(at->x);  // half a position is no position
}

}  // namespace
}  // namespace mlfk
