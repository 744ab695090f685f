#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace mlfk {

inline constexpr std::string_view kDefaultExportName = "Field Keeper export.csv";
inline constexpr std::string_view kDamagedDataError = "The file data was damaged.";

// What a "save" message asks for; missing or mistyped keys take defaults.
struct SaveRequest {
  std::string filename{kDefaultExportName};
  std::string content;
  bool base64 = false;
};

// Writes the request's bytes to the chosen file, or not when the user
// cancelled, and gives the reply the page receives.
nlohmann::json completeSave(const SaveRequest& request,
                            const std::optional<std::filesystem::path>& chosen);

// Writes that may take seconds (an export synced to a USB stick) run here,
// one at a time off the main thread, each followed by `done` on the main
// loop. Work still queued when the program ends is finished before it exits.
void writeInBackground(std::function<void()> work, std::function<void()> done);

}  // namespace mlfk
