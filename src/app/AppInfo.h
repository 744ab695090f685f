#pragma once

#include <filesystem>
#include <string>

namespace mlfk {

// The version texts of the installed program, read afresh from Info.json
// on every call; a missing file, key, or a value that is not a string gives
// the fallbacks "4.1" and "1".
namespace AppInfo {
std::string version();
std::string build();
std::string versionFrom(const std::filesystem::path& infoFile);
std::string buildFrom(const std::filesystem::path& infoFile);
}  // namespace AppInfo

}  // namespace mlfk
