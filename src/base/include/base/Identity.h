#pragma once

#include <string_view>

namespace mlfk {

// Who the program is, to the desktop and to the page.
inline constexpr const char* kApplicationId = "farm.meadowline.FieldKeeper";
inline constexpr const char* kAppName = "Meadowline Field Keeper";
inline constexpr std::string_view kAppScheme = "meadowline-farm";
// What the page is told it runs in; pages written for the first shell
// check for this value.
inline constexpr std::string_view kShellName = "mac-native";

}  // namespace mlfk
