#include "app/MenuModel.h"

#include <gtest/gtest.h>

#include <map>

namespace mlfk {
namespace {

std::vector<std::string> titles(const Menu& menu) {
  std::vector<std::string> out;
  for (const auto& e : menu.entries) out.push_back(e.isSeparator() ? "-" : e.title);
  return out;
}

TEST(MenuModel, MenusAndItemsInOrder) {
  const auto& bar = menuBar();
  ASSERT_EQ(bar.size(), 6u);
  EXPECT_EQ(titles(bar[1]),
            (std::vector<std::string>{"Back Up\u2026", "-", "Print\u2026", "-", "Close Window"}));
  EXPECT_EQ(titles(bar[2]).back(), "Find an Animal\u2026");
  EXPECT_EQ(titles(bar[3]), (std::vector<std::string>{"Actual Size", "Zoom In", "Zoom Out", "-",
                                                      "Reload", "Enter Full Screen"}));
  EXPECT_EQ(bar[5].title, "Help");
  ASSERT_EQ(bar[5].entries.size(), 1u);
  EXPECT_EQ(bar[5].entries[0].title, "Contact Support\u2026");
  EXPECT_EQ(bar[5].entries[0].action, "app.support");
  EXPECT_EQ(std::string("\u2026"), "\xE2\x80\xA6");
}

TEST(MenuModel, ShortcutsAreUniqueAndMapped) {
  std::map<std::string, std::string> byAccel;
  std::map<std::string, std::vector<std::string>> byAction;
  for (const auto& menu : menuBar())
    for (const auto& entry : menu.entries)
      for (const auto& accel : entry.accelerators) {
        EXPECT_TRUE(byAccel.emplace(accel, entry.action).second) << accel << " used twice";
        byAction[entry.action].push_back(accel);
      }
  EXPECT_EQ(byAccel["<Control>k"], "win.findAnimal");
  EXPECT_FALSE(byAccel.count("<Control>f"));  // find is Ctrl+K, not Ctrl+F
  EXPECT_EQ(byAccel["F11"], "win.fullscreen");
  EXPECT_EQ(byAccel["<Control>plus"], "win.zoomIn");
  EXPECT_EQ(byAccel["<Control>equal"], "win.zoomIn");
  EXPECT_EQ(byAccel["<Control>0"], "win.zoomReset");
  EXPECT_EQ(byAccel["<Control>h"], "app.hide");
  EXPECT_EQ(byAccel["<Control><Alt>h"], "app.hideOthers");
  EXPECT_EQ(byAccel["<Control><Shift>z"], "win.redo");
  EXPECT_EQ(byAccel["<Control>q"], "app.quit");
  EXPECT_TRUE(byAction["win.zoom"].empty());
  EXPECT_EQ(unavailableActions(), (std::vector<std::string>{"app.hideOthers", "app.showAll"}));
}

}  // namespace
}  // namespace mlfk
