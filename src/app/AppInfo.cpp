#include "AppInfo.h"

#include <fstream>

#include <nlohmann/json.hpp>

#include "webhost/FarmWebView.h"

namespace mlfk {
namespace {

std::string stringEntry(const std::filesystem::path& infoFile, const char* key,
                        const char* fallback) {
  std::ifstream in(infoFile);
  if (!in) return fallback;
  const auto info = nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false);
  if (!info.is_object()) return fallback;
  const auto it = info.find(key);
  if (it == info.end() || !it->is_string()) return fallback;
  return it->get<std::string>();
}

std::filesystem::path installedInfo() {
  return resourcesFolder() / "Info.json";
}

}  // namespace

std::string AppInfo::versionFrom(const std::filesystem::path& infoFile) {
  return stringEntry(infoFile, "CFBundleShortVersionString", "4.1");
}
std::string AppInfo::buildFrom(const std::filesystem::path& infoFile) {
  return stringEntry(infoFile, "CFBundleVersion", "1");
}
std::string AppInfo::version() {
  return versionFrom(installedInfo());
}
std::string AppInfo::build() {
  return buildFrom(installedInfo());
}

}  // namespace mlfk
