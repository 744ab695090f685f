#include "app/ColorScheme.h"

#include <gtest/gtest.h>

namespace mlfk {
namespace {

TEST(ColorScheme, ThePortalDecidesUnlessTheThemeItselfIsDark) {
  Appearance a;
  EXPECT_FALSE(prefersDark(a));
  a.gtkPrefersDark = true;
  EXPECT_TRUE(prefersDark(a));
  a.portalColorScheme = 0;  // no preference: GTK's own setting stands
  EXPECT_TRUE(prefersDark(a));
  a.portalColorScheme = 2;
  EXPECT_FALSE(prefersDark(a));
  a.gtkPrefersDark = false;
  a.portalColorScheme = 1;
  EXPECT_TRUE(prefersDark(a));

  a.portalColorScheme = 2;
  a.themeName = "Adwaita-dark";
  EXPECT_TRUE(prefersDark(a));
  a.gtkThemeEnv = "Adwaita";  // GTK_THEME replaces the configured theme
  EXPECT_FALSE(prefersDark(a));
  a.gtkThemeEnv = "Adwaita:dark";
  a.themeName = "Adwaita";
  EXPECT_TRUE(prefersDark(a));
}

TEST(ColorScheme, DarkThemeNames) {
  EXPECT_TRUE(themeNameIsDark("Adwaita-dark"));
  EXPECT_TRUE(themeNameIsDark("Arc-Dark"));
  EXPECT_TRUE(themeNameIsDark("Adwaita:dark"));
  EXPECT_FALSE(themeNameIsDark("Adwaita"));
  EXPECT_FALSE(themeNameIsDark("Darkroom"));
  EXPECT_FALSE(themeNameIsDark("-dark"));
}

}  // namespace
}  // namespace mlfk
