#include "WindowGeometry.h"

#include <glib.h>

#include <algorithm>
#include <cstdint>

#include "base/Log.h"
#include "store/DurableFile.h"

namespace mlfk {

std::filesystem::path WindowGeometry::defaultFile() {
  return std::filesystem::path(g_get_user_state_dir()) / "meadowline-field-keeper" / "window.ini";
}

std::optional<WindowGeometry> WindowGeometry::load(const std::filesystem::path& file) {
  g_autoptr(GKeyFile) keys = g_key_file_new();
  g_autoptr(GError) error = nullptr;
  if (!g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_NONE, &error)) {
    // None kept yet is the usual first start.
    if (!g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT))
      glib::logError(error, "window size and place not read");
    return std::nullopt;
  }
  if (!g_key_file_has_group(keys, kFrameName)) return std::nullopt;
  WindowGeometry geometry;
  auto integer = [&](const char* key) -> std::optional<int> {
    g_autoptr(GError) error = nullptr;
    int value = g_key_file_get_integer(keys, kFrameName, key, &error);
    if (error) return std::nullopt;
    return value;
  };
  // A size below the minimum (a hand-edited file) is raised to it.
  geometry.width = std::max(integer("width").value_or(kDefaultWidth), kMinimumWidth);
  geometry.height = std::max(integer("height").value_or(kDefaultHeight), kMinimumHeight);
  geometry.maximized = g_key_file_get_boolean(keys, kFrameName, "maximized", nullptr);
  geometry.x = integer("x");
  geometry.y = integer("y");
  if (!geometry.x || !geometry.y) geometry.x = geometry.y = std::nullopt;
  return geometry;
}

WindowGeometry WindowGeometry::toKeep(const WindowGeometry& current, WindowState state,
                                      const std::optional<WindowGeometry>& saved) {
  WindowGeometry kept = current;
  if (state != WindowState::Normal && saved) {
    kept = *saved;
  }
  kept.maximized = state == WindowState::Maximized ||
                   (state == WindowState::FullScreen && saved && saved->maximized);
  return kept;
}

bool WindowGeometry::positionIsReachable(const std::vector<ScreenArea>& monitors) const {
  if (!x || !y) return false;
  // The title bar's middle: at least this much of it must be on one monitor.
  constexpr int kGrabWidth = 100;
  constexpr int kGrabHeight = 40;
  // In 64 bits: a hand-edited position may be near the ends of an int.
  for (const auto& m : monitors) {
    const int64_t left = std::max<int64_t>(*x, m.x);
    const int64_t right = std::min<int64_t>(int64_t{*x} + width, int64_t{m.x} + m.width);
    const int64_t top = std::max<int64_t>(*y, m.y);
    const int64_t bottom = std::min<int64_t>(int64_t{*y} + kGrabHeight, int64_t{m.y} + m.height);
    if (right - left >= kGrabWidth && bottom - top >= kGrabHeight) return true;
  }
  return false;
}

void WindowGeometry::fitTo(const std::vector<ScreenArea>& monitors) {
  int widest = 0;
  int tallest = 0;
  for (const auto& m : monitors) {
    widest = std::max(widest, m.width);
    tallest = std::max(tallest, m.height);
  }
  if (widest > 0) width = std::min(width, std::max(widest, kMinimumWidth));
  if (tallest > 0) height = std::min(height, std::max(tallest, kMinimumHeight));
}

void WindowGeometry::save(const std::filesystem::path& file) const {
  g_autoptr(GKeyFile) keys = g_key_file_new();
  g_key_file_set_integer(keys, kFrameName, "width", width);
  g_key_file_set_integer(keys, kFrameName, "height", height);
  g_key_file_set_boolean(keys, kFrameName, "maximized", maximized);
  if (x && y) {
    g_key_file_set_integer(keys, kFrameName, "x", *x);
    g_key_file_set_integer(keys, kFrameName, "y", *y);
  }
  gsize size = 0;
  g_autofree char* text = g_key_file_to_data(keys, &size, nullptr);  // reports no error
  glib::logErrno(g_mkdir_with_parents(file.parent_path().c_str(), 0700),
                 "no folder for the window's size and place");
  // Written on the main thread as the user resizes: no fsync to wait for.
  if (auto error = replaceFile(file, std::string_view(text, size)))
    g_warning("window size and place not kept: %s", error->c_str());
}

}  // namespace mlfk
