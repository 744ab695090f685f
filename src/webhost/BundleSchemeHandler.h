#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Identity.h"

namespace mlfk {

inline constexpr std::string_view kStartUrl = "meadowline-farm://app/index.html";

// One answer of the scheme: status, header fields in order, and the body.
struct SchemeResponse {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string header(std::string_view name) const;
};

// Serves the web application's files under "meadowline-farm://app/": a
// request maps to a file inside `root`, or to 404 "Not found".
class BundleSchemeHandler {
 public:
  explicit BundleSchemeHandler(std::filesystem::path root);

  SchemeResponse respond(std::string_view url) const;

  // The file a request URL names, or nothing when it would leave `root`.
  std::optional<std::filesystem::path> resolve(std::string_view url) const;

  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
};

// The content type for a served file: the web types table, then
// shared-mime-info by extension, then "application/octet-stream"; with
// "; charset=utf-8" for text, scripts and JSON.
std::string contentTypeFor(const std::filesystem::path& file);

// Percent-decodes `text`; nothing when an escape is malformed or the result
// is not UTF-8.
std::optional<std::string> percentDecode(std::string_view text);

}  // namespace mlfk
