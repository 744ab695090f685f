#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mlfk {

enum class NavigationDecision {
  Allow,           // the web view performs it
  OpenExternally,  // handed to the desktop's default handler; the view stays
  Drop,            // ignored silently
  Download,        // becomes a download
};

// The scheme of a URL in lower case, or "" when it has none.
std::string lowerCaseScheme(std::string_view url);

// Whether the link asked to be saved (a download attribute) rather than shown.
enum class LinkTarget { Show, Download };

// Links and frame loads: the application's own schemes load inside, web,
// mail and telephone links go to the desktop, everything else is dropped.
NavigationDecision decideNavigation(std::optional<std::string_view> url, LinkTarget target);

enum class LoadKind { Navigation, Reload };

// Whether a navigation from the document at `current` to `target` loads a
// new document: a reload does, a move to another fragment of the same
// document (the page's own routes) does not.
bool startsNewDocument(std::string_view current, std::string_view target, LoadKind kind);

// A response the view cannot show becomes a download.
NavigationDecision decideResponse(bool viewCanShowType);

// Requests for a new window: only web and mail addresses leave, and no
// second view is ever made.
NavigationDecision decideNewWindow(std::optional<std::string_view> url);

}  // namespace mlfk
