#include "BundleSchemeHandler.h"

#include <gio/gio.h>

#include <algorithm>
#include <array>
#include <cctype>

#include "store/DurableFile.h"

namespace mlfk {
namespace {

// Every distribution serves the page alike for the files web applications
// ship; shared-mime-info only answers for the rest.
constexpr std::array<std::pair<std::string_view, std::string_view>, 40> kWebTypes{{
    {"html", "text/html"},
    {"htm", "text/html"},
    {"js", "text/javascript"},
    {"mjs", "text/javascript"},
    {"css", "text/css"},
    {"json", "application/json"},
    {"map", "application/json"},
    {"svg", "image/svg+xml"},
    {"png", "image/png"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"gif", "image/gif"},
    {"webp", "image/webp"},
    {"avif", "image/avif"},
    {"ico", "image/vnd.microsoft.icon"},
    {"woff", "font/woff"},
    {"woff2", "font/woff2"},
    {"ttf", "font/ttf"},
    {"otf", "font/otf"},
    {"wasm", "application/wasm"},
    {"txt", "text/plain"},
    {"csv", "text/csv"},
    {"xml", "application/xml"},
    {"pdf", "application/pdf"},
    {"mp3", "audio/mpeg"},
    {"wav", "audio/wav"},
    {"ogg", "audio/ogg"},
    {"oga", "audio/ogg"},
    {"opus", "audio/ogg"},
    {"m4a", "audio/mp4"},
    {"flac", "audio/flac"},
    {"aac", "audio/aac"},
    {"mp4", "video/mp4"},
    {"m4v", "video/mp4"},
    {"webm", "video/webm"},
    {"ogv", "video/ogg"},
    {"mov", "video/quicktime"},
    {"webmanifest", "application/manifest+json"},
    {"md", "text/markdown"},
    {"xhtml", "application/xhtml+xml"},
}};

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path of a URL: after "scheme://authority", before "?" or "#".
std::string_view rawPathOf(std::string_view url) {
  url = url.substr(0, url.find_first_of("?#"));
  const auto colon = url.find(':');
  if (colon != std::string_view::npos) url.remove_prefix(colon + 1);
  if (url.starts_with("//")) {
    url.remove_prefix(2);
    const auto slash = url.find('/');
    url = slash == std::string_view::npos ? std::string_view() : url.substr(slash);
  }
  return url;
}

std::string lowerExtension(const std::filesystem::path& file) {
  const std::string name = file.filename().string();
  const auto dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  std::string extension = name.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

std::string systemTypeForExtension(const std::string& extension) {
  // By name only, never by content; a made-up name keeps other parts of
  // the real name from matching a glob.
  const std::string probe = "file." + extension;
  gboolean uncertain = FALSE;
  g_autofree char* type = g_content_type_guess(probe.c_str(), nullptr, 0, &uncertain);
  if (!type || uncertain) return {};
  g_autofree char* mime = g_content_type_get_mime_type(type);
  return mime ? mime : std::string();
}

SchemeResponse notFound() {
  SchemeResponse response;
  response.status = 404;
  response.headers = {{"Content-Type", "text/plain"}};
  response.body = "Not found";
  return response;
}

}  // namespace

std::string SchemeResponse::header(std::string_view name) const {
  for (const auto& [key, value] : headers)
    if (key == name) return value;
  return {};
}

std::optional<std::string> percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = hexValue(text[i + 1]);
    const int low = hexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  if (!g_utf8_validate(out.data(), static_cast<gssize>(out.size()), nullptr)) return std::nullopt;
  return out;
}

std::string contentTypeFor(const std::filesystem::path& file) {
  const std::string extension = lowerExtension(file);
  std::string type;
  if (!extension.empty()) {
    for (const auto& [known, mime] : kWebTypes) {
      if (known == extension) {
        type = mime;
        break;
      }
    }
    if (type.empty()) type = systemTypeForExtension(extension);
  }
  if (type.empty()) type = "application/octet-stream";
  if (type.starts_with("text/") || type.find("javascript") != std::string::npos ||
      type.find("json") != std::string::npos) {
    type += "; charset=utf-8";
  }
  return type;
}

BundleSchemeHandler::BundleSchemeHandler(std::filesystem::path root)
    : root_(std::filesystem::absolute(root).lexically_normal()) {
  // A trailing separator would make the "inside root" test below miss.
  if (!root_.has_filename() && root_.has_parent_path() && root_ != root_.root_path())
    root_ = root_.parent_path();
}

std::optional<std::filesystem::path> BundleSchemeHandler::resolve(std::string_view url) const {
  const std::string_view raw = rawPathOf(url);
  auto once = percentDecode(raw);
  if (!once) return std::nullopt;  // a path that is no URL path
  std::string path = *once;
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  if (auto twice = percentDecode(path)) path = *twice;
  if (path.empty() || path == "/") path = "/index.html";
  // A NUL would cut the name short when it reaches the file system.
  if (path.find('\0') != std::string::npos) return std::nullopt;
  if (path.front() == '/') path.erase(0, 1);

  std::filesystem::path candidate = root_;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t slash = std::min(path.find('/', start), path.size());
    candidate /= path.substr(start, slash - start);
    start = slash + 1;
  }
  candidate = candidate.lexically_normal();

  const std::string rootText = root_.string();
  const std::string candidateText = candidate.string();
  if (candidateText == rootText) return candidate;
  if (candidateText.size() > rootText.size() && candidateText.starts_with(rootText) &&
      (rootText.back() == '/' || candidateText[rootText.size()] == '/')) {
    return candidate;
  }
  return std::nullopt;
}

SchemeResponse BundleSchemeHandler::respond(std::string_view url) const {
  const auto file = resolve(url);
  if (!file) return notFound();
  auto content = readWholeFile(*file);
  if (!content) return notFound();
  SchemeResponse response;
  response.headers = {{"Content-Type", contentTypeFor(*file)},
                      {"Content-Length", std::to_string(content->size())},
                      {"Cache-Control", "no-cache"}};
  response.body = std::move(*content);
  return response;
}

}  // namespace mlfk
