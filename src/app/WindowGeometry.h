#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace mlfk {

inline constexpr const char* kFrameName = "MeadowlineFieldKeeperMain";
inline constexpr int kDefaultWidth = 1320;
inline constexpr int kDefaultHeight = 860;
inline constexpr int kMinimumWidth = 900;
inline constexpr int kMinimumHeight = 600;

enum class WindowState { Normal, Maximized, FullScreen };

struct ScreenArea {
  int x, y, width, height;
};

// The main window's size, maximised state and, where the window system lets
// an application place windows, position, as the last run left them.
struct WindowGeometry {
  int width = kDefaultWidth;
  int height = kDefaultHeight;
  bool maximized = false;
  std::optional<int> x, y;

  // Kept in a key file under the user's state folder, group "MeadowlineFieldKeeperMain".
  static std::filesystem::path defaultFile();
  static std::optional<WindowGeometry> load(const std::filesystem::path& file);
  // What to keep of a window that now has `current` size and place in
  // `state`: maximised or full screen, the size and place it returns to
  // stay those last saved.
  static WindowGeometry toKeep(const WindowGeometry& current, WindowState state,
                               const std::optional<WindowGeometry>& saved);
  void save(const std::filesystem::path& file) const;

  // Whether the saved position shows enough of the window's top edge on one
  // of `monitors` to grab it; a monitor unplugged since would put it off
  // screen.
  bool positionIsReachable(const std::vector<ScreenArea>& monitors) const;
  // No larger than the largest of `monitors` (the minimum size aside): a
  // size kept on a large screen would overflow a laptop's.
  void fitTo(const std::vector<ScreenArea>& monitors);
};

}  // namespace mlfk
