#include "app/ColorScheme.h"

#include <gtest/gtest.h>

namespace mlfk {
namespace {

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

}  // namespace
}  // namespace mlfk
