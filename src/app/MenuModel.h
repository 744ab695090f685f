#pragma once

#include <string>
#include <vector>

namespace mlfk {

// One entry of the menu bar: a title and the action it runs ("app." or
// "win." prefixed), with its keyboard shortcuts in GTK accelerator syntax.
// An empty title is a separator.
struct MenuEntry {
  std::string title;
  std::string action;
  std::vector<std::string> accelerators;
  bool isSeparator() const { return title.empty(); }
};

struct Menu {
  std::string title;
  std::vector<MenuEntry> entries;
};

// The whole menu bar, in order.
const std::vector<Menu>& menuBar();

// Actions that have no meaning on this platform: shown, never enabled.
const std::vector<std::string>& unavailableActions();

}  // namespace mlfk
