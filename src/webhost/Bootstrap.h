#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "base/Identity.h"

namespace mlfk {

inline constexpr std::string_view kShellMarkerScript = "window.__ML_SHELL = 'mac-native';";

inline constexpr std::string_view kDatabaseScriptOpening =
    "window.__ML_SHELL = 'mac-native'; window.__ML_DB_B64 = '";

// The script every page load starts with: the shell marker, and the saved
// database in Base64 when `database` holds at least one byte.
std::string bootstrapScript(std::string_view database);

// Reads the database file once and builds the script from it; a missing,
// unreadable or empty file gives the marker alone.
std::string bootstrapScriptForFile(const std::filesystem::path& databaseFile);

}  // namespace mlfk
