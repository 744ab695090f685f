#include "NavigationPolicy.h"

#include <array>
#include <cctype>

namespace mlfk {
namespace {

bool isIn(std::string_view scheme, std::initializer_list<std::string_view> set) {
  for (auto s : set)
    if (s == scheme) return true;
  return false;
}

}  // namespace

std::string lowerCaseScheme(std::string_view url) {
  const auto colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0) return {};
  const std::string_view scheme = url.substr(0, colon);
  if (!std::isalpha(static_cast<unsigned char>(scheme[0]))) return {};
  std::string lower;
  for (char c : scheme) {
    const auto u = static_cast<unsigned char>(c);
    if (!std::isalnum(u) && c != '+' && c != '-' && c != '.') return {};
    lower.push_back(static_cast<char>(std::tolower(u)));
  }
  return lower;
}

NavigationDecision decideNavigation(std::optional<std::string_view> url, LinkTarget target) {
  if (target == LinkTarget::Download) return NavigationDecision::Download;
  if (!url) return NavigationDecision::Drop;
  const std::string scheme = lowerCaseScheme(*url);
  if (isIn(scheme, {"meadowline-farm", "about", "blob", "data"})) return NavigationDecision::Allow;
  if (isIn(scheme, {"http", "https", "mailto", "tel"})) return NavigationDecision::OpenExternally;
  return NavigationDecision::Drop;
}

bool startsNewDocument(std::string_view current, std::string_view target, LoadKind kind) {
  if (kind == LoadKind::Reload) return true;
  const auto hash = target.find('#');
  if (hash == std::string_view::npos) return true;
  return current.substr(0, current.find('#')) != target.substr(0, hash);
}

NavigationDecision decideResponse(bool viewCanShowType) {
  return viewCanShowType ? NavigationDecision::Allow : NavigationDecision::Download;
}

NavigationDecision decideNewWindow(std::optional<std::string_view> url) {
  if (!url) return NavigationDecision::Drop;
  const std::string scheme = lowerCaseScheme(*url);
  if (isIn(scheme, {"http", "https", "mailto"})) return NavigationDecision::OpenExternally;
  return NavigationDecision::Drop;
}

}  // namespace mlfk
