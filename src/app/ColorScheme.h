#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mlfk {

// The desktop's light or dark preference, from the settings portal's
// org.freedesktop.appearance color-scheme (0 no preference, 1 prefer dark,
// 2 prefer light) when a portal answers, else from GTK's own settings.
struct Appearance {
  std::optional<std::uint32_t> portalColorScheme;
  bool gtkPrefersDark = false;   // gtk-application-prefer-dark-theme as configured
  std::string_view themeName;    // gtk-theme-name
  std::string_view gtkThemeEnv;  // GTK_THEME, which overrides the theme name
};

// Whether the window should use GTK's dark variant. The page follows it:
// WebKitGTK answers prefers-color-scheme from the same GTK settings.
bool prefersDark(const Appearance& appearance);

bool themeNameIsDark(std::string_view themeName);

// Applies the preference to GTK now and whenever the portal or GTK's theme
// changes, for as long as the program runs. Call once, after GTK is set up.
void followDesktopColorScheme();

}  // namespace mlfk
