#include "app/AppInfo.h"
#include "app/WindowGeometry.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/TempDir.h"

namespace mlfk {
namespace {

TEST(AppInfo, ValuesFallbacksAndNonStrings) {
  test::TempDir temp;
  const auto info = temp / "Info.json";
  EXPECT_EQ(AppInfo::versionFrom(info), "4.1");  // no file
  EXPECT_EQ(AppInfo::buildFrom(info), "1");
  test::writeFile(info, R"({"CFBundleShortVersionString": " 5.0 beta", "CFBundleVersion": "77"})");
  EXPECT_EQ(AppInfo::versionFrom(info), " 5.0 beta");  // unchanged, untrimmed
  EXPECT_EQ(AppInfo::buildFrom(info), "77");
  test::writeFile(info, R"({"CFBundleShortVersionString": 5.0, "CFBundleVersion": null})");
  EXPECT_EQ(AppInfo::versionFrom(info), "4.1");
  EXPECT_EQ(AppInfo::buildFrom(info), "1");
  test::writeFile(info, "not json");
  EXPECT_EQ(AppInfo::versionFrom(info), "4.1");
}

TEST(WindowGeometry, SavedAndRestored) {
  test::TempDir temp;
  const auto file = temp / "state" / "window.ini";
  EXPECT_FALSE(WindowGeometry::load(file));
  WindowGeometry saved;
  saved.width = 1000;
  saved.height = 700;
  saved.maximized = true;
  saved.x = 40;
  saved.y = 50;
  saved.save(file);
  auto restored = WindowGeometry::load(file);
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->width, 1000);
  EXPECT_EQ(restored->height, 700);
  EXPECT_TRUE(restored->maximized);
  EXPECT_EQ(restored->x, 40);
  EXPECT_EQ(restored->y, 50);

  test::writeFile(file, "[MeadowlineFieldKeeperMain]\nwidth=100\nheight=100\nx=5\n");
  restored = WindowGeometry::load(file);
  EXPECT_EQ(restored->width, 900);  // never below the minimum
  EXPECT_EQ(restored->height, 600);
  EXPECT_FALSE(restored->x);  // half a position is no position
}

TEST(WindowGeometry, FullScreenOrMaximisedKeepsTheNormalSizeAndPlace) {
  WindowGeometry normal;
  normal.width = 1100;
  normal.height = 700;
  normal.x = 40;
  normal.y = 30;
  WindowGeometry screen;
  screen.width = 1920;
  screen.height = 1080;
  screen.x = 0;
  screen.y = 0;
  auto full = WindowGeometry::toKeep(screen, WindowState::FullScreen, normal);
  EXPECT_EQ(std::tie(full.width, full.height, full.x, full.y, full.maximized),
            std::tie(normal.width, normal.height, normal.x, normal.y, normal.maximized));
  auto maximised = WindowGeometry::toKeep(screen, WindowState::Maximized, normal);
  EXPECT_EQ(maximised.width, 1100);
  EXPECT_TRUE(maximised.maximized);
  // Full screen from a maximised window comes back maximised.
  EXPECT_TRUE(WindowGeometry::toKeep(screen, WindowState::FullScreen, maximised).maximized);
  EXPECT_EQ(WindowGeometry::toKeep(normal, WindowState::Normal, maximised).width, 1100);
  EXPECT_FALSE(WindowGeometry::toKeep(normal, WindowState::Normal, maximised).maximized);
}

TEST(WindowGeometry, PositionOnAMonitorThatIsGoneIsNotReachable) {
  WindowGeometry at;
  at.width = 1320;
  at.height = 860;
  at.x = 2100;
  at.y = 80;
  const std::vector<ScreenArea> both = {{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}};
  const std::vector<ScreenArea> laptop = {{0, 0, 1920, 1080}};
  EXPECT_TRUE(at.positionIsReachable(both));
  EXPECT_FALSE(at.positionIsReachable(laptop));
  at.x = 1850;  // only its left edge left on screen
  EXPECT_FALSE(at.positionIsReachable(laptop));
  at.x = -1200;  // hanging off the left, title bar still in reach
  EXPECT_TRUE(at.positionIsReachable(laptop));
  at.y = -100;  // title bar above the screen
  EXPECT_FALSE(at.positionIsReachable(laptop));
}

}  // namespace
}  // namespace mlfk
