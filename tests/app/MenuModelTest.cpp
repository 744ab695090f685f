#include "app/MenuModel.h"

#include <gtest/gtest.h>

#include <map>

namespace mlfk {
namespace {

// GTK gives a shortcut used twice to one of its actions without a word.
TEST(MenuModel, EveryShortcutBelongsToOneAction) {
  std::map<std::string, std::string> byAccel;
  for (const auto& menu : menuBar())
    for (const auto& entry : menu.entries)
      for (const auto& accel : entry.accelerators)
        EXPECT_TRUE(byAccel.emplace(accel, entry.action).second) << accel << " used twice";
  EXPECT_FALSE(byAccel.empty());
}

}  // namespace
}  // namespace mlfk
