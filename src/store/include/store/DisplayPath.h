#pragma once

#include <filesystem>
#include <string>

namespace mlfk {

// A path as text the page can be handed: unchanged when it is UTF-8, else
// GLib's display form of the file name. Linux allows any bytes in a name;
// JSON and JavaScript strings do not.
std::string displayPath(const std::filesystem::path& path);

}  // namespace mlfk
