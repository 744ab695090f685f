#include "app/AppInfo.h"
#include "app/ColorScheme.h"
#include "app/CommandLine.h"
#include "app/FirstShow.h"
#include "app/MenuModel.h"
#include "app/PageZoom.h"
#include "app/SupportConfig.h"
#include "app/WindowGeometry.h"

#include <limits>
#include <map>
#include <tuple>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/FakeTimers.h"
#include "support/LogCapture.h"
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
  test::LogCapture log;
  EXPECT_FALSE(WindowGeometry::load(file));
  EXPECT_THAT(log.lines, testing::IsEmpty()) << "no file yet is the usual first start";
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
  at->x = 1820;  // a hundred pixels of title bar are enough to grab
  EXPECT_TRUE(at->positionIsReachable(laptop));
  at->x = -1200;  // hanging off the left, title bar still in reach
  EXPECT_TRUE(at->positionIsReachable(laptop));
  at->y = -100;  // title bar above the screen
  EXPECT_FALSE(at->positionIsReachable(laptop));
  // A hand-edited file; the sanitizer run reports an overflow here.
  at->x = at->y = std::numeric_limits<int>::max() - 10;
  EXPECT_FALSE(at->positionIsReachable(laptop));

  // Kept on a large screen, fitted to a laptop's; never below the minimum.
  WindowGeometry large{.width = 3000, .height = 1800, .x = {}, .y = {}};
  large.fitTo(laptop);
  EXPECT_EQ(std::pair(large.width, large.height), std::pair(1920, 1080));
  large.fitTo({{0, 0, 800, 480}});
  EXPECT_EQ(std::pair(large.width, large.height), std::pair(900, 600));

  test::writeFile(file, "[MeadowlineFieldKeeperMain]\nwidth=100\nheight=100\nx=5\n");
  at = WindowGeometry::load(file);
  EXPECT_EQ(std::pair(at->width, at->height), std::pair(900, 600));
  EXPECT_FALSE(at->x);  // half a position is no position

  // A damaged file, or a folder that cannot be made, leaves a line in the log.
  test::writeFile(file, "width=900\n[unclosed\n");
  EXPECT_FALSE(WindowGeometry::load(file));
  test::writeFile(temp / "blocked", "a file where the folder should be");
  saved.save(temp / "blocked" / "window.ini");
  EXPECT_THAT(log.lines,
              testing::ElementsAre(testing::HasSubstr("not read"), testing::HasSubstr("no folder"),
                                   testing::HasSubstr("not kept")));
}

TEST(WindowGeometry, FullScreenOrMaximisedKeepsTheNormalSizeAndPlace) {
  const WindowGeometry normal{.width = 1100, .height = 700, .x = 40, .y = 30};
  const WindowGeometry screen{.width = 1920, .height = 1080, .x = 0, .y = 0};
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

TEST(ColorScheme, ThePortalDecidesUnlessTheThemeItselfIsDark) {
  struct Case {
    std::optional<std::uint32_t> portal;
    bool gtkPrefersDark;
    std::string_view theme, themeEnv;
    bool dark;
  };
  for (const auto& c : std::initializer_list<Case>{
           {std::nullopt, false, "", "", false},
           {std::nullopt, true, "", "", true},
           {0, true, "", "", true},  // no preference: GTK's own setting stands
           {2, true, "", "", false},
           {1, false, "", "", true},
           {2, false, "Adwaita-dark", "", true},
           {2, false, "Adwaita-dark", "Adwaita", false},  // GTK_THEME replaces the theme
           {2, false, "Adwaita", "Adwaita:dark", true},
       }) {
    EXPECT_EQ(prefersDark({c.portal, c.gtkPrefersDark, c.theme, c.themeEnv}), c.dark)
        << c.portal.value_or(9) << c.gtkPrefersDark << c.theme << "/" << c.themeEnv;
  }
  for (auto dark : {"Adwaita-dark", "Arc-Dark", "Adwaita:dark"}) EXPECT_TRUE(themeNameIsDark(dark));
  for (auto light : {"Adwaita", "Darkroom", "-dark"}) EXPECT_FALSE(themeNameIsDark(light));
}

using ::testing::HasSubstr;

CommandLine parse(std::vector<std::string> args) {
  return parseCommandLine(args, "meadowline-field-keeper", "4.2");
}

TEST(CommandLine, HelpAndVersionStopAndUnknownOptionsAreUsageErrorsEvenBesideHelp) {
  const auto help = parse({"--help"});
  EXPECT_EQ(std::tuple(help.run, help.status, help.err), std::tuple(false, 0, ""));
  EXPECT_THAT(help.out, HasSubstr("Usage: meadowline-field-keeper [OPTION...]"));
  EXPECT_EQ(parse({"-h"}).out, help.out);
  EXPECT_EQ(parse({"--version", "--help"}).out, help.out);
  const auto version = parse({"--version"});
  EXPECT_EQ(std::tuple(version.run, version.status, version.out),
            std::tuple(false, 0, "Meadowline Field Keeper 4.2\n"));

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--verbose"}, {"-x", "--help"}, {"--version=2"}}) {
    const auto line = parse(args);
    EXPECT_EQ(std::tuple(line.run, line.status, line.out), std::tuple(false, 2, ""));
    EXPECT_THAT(line.err, HasSubstr("Try 'meadowline-field-keeper --help'"));
  }
  EXPECT_THAT(parse({"--verbose"}).err, HasSubstr("unknown option '--verbose'"));
  EXPECT_THAT(parse({"--version=2"}).err, HasSubstr("'--version' takes no value"));
}

TEST(CommandLine, FilesAreNamedAsNotOpenedAndTheProgramRuns) {
  const auto line = parse({"herd.json", "--", "--help", "-"});
  EXPECT_TRUE(line.run);
  EXPECT_EQ(line.out, "");
  for (auto name : {"'herd.json'", "'--help'", "'-'"})
    EXPECT_THAT(line.err, HasSubstr(std::string("not opening ") + name));
  EXPECT_TRUE(parse({}).run);
  EXPECT_EQ(parse({}).err, "");
}

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

// GTK gives a shortcut used twice to one of its actions without a word.
TEST(MenuModel, EveryShortcutBelongsToOneAction) {
  std::map<std::string, std::string> byAccel;
  for (const auto& menu : menuBar())
    for (const auto& entry : menu.entries)
      for (const auto& accel : entry.accelerators)
        EXPECT_TRUE(byAccel.emplace(accel, entry.action).second) << accel << " used twice";
  EXPECT_FALSE(byAccel.empty());
}

TEST(PageZoom, StepsAreAddedThenClampedAndTouchpadDeltasAddUp) {
  double zoom = 1.0;
  for (int i = 0; i < 9; ++i) zoom = zoomedIn(zoom);
  EXPECT_EQ(zoomedIn(zoom), 2.0);
  EXPECT_EQ(zoomedIn(2.0), 2.0);
  zoom = 1.0;
  for (int i = 0; i < 4; ++i) zoom = zoomedOut(zoom);
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

TEST(SupportMail, UrlByteForByteWithDelimitersInsideValuesEscaped) {
  EXPECT_EQ(SupportConfig::mailUrl("Meadowline Field Keeper support", "4.1", "1",
                                   "Debian GNU/Linux 12 (bookworm), Linux 6.1.0"),
            "mailto:support@meadowline.farm?subject=Meadowline%20Field%20Keeper%20support"
            "&body=%0A%0A----%0AMeadowline%20Field%20Keeper%204.1%20(build%201)%0A"
            "Debian%20GNU/Linux%2012%20(bookworm),%20Linux%206.1.0");
  EXPECT_EQ(encodeQueryValue("a&b#c=d+e%f ü"), "a%26b%23c%3Dd%2Be%25f%20%C3%BC");
  const std::string url = SupportConfig::mailUrl("Q&A #1", "4.1&x", "1", "sys");
  EXPECT_NE(url.find("subject=Q%26A%20%231&body="), std::string::npos);
  EXPECT_EQ(url.find('#'), std::string::npos);
}

}  // namespace
}  // namespace mlfk
