#include "webhost/NavigationPolicy.h"

#include <gtest/gtest.h>

namespace mlfk {
namespace {

using D = NavigationDecision;
using Urls = std::vector<const char*>;

TEST(NavigationPolicy, LinksBySchemeInAnyCaseNewWindowsOnlyForWebAndMail) {
  for (auto [decision, urls] :
       {std::pair<D, Urls>{D::Allow,
                           {"meadowline-farm://app/x.html", "MEADOWLINE-FARM://app/", "about:blank",
                            "blob:meadowline-farm://app/1234", "data:text/plain,hi"}},
        {D::OpenExternally,
         {"https://example.org/", "HTTP://example.org/", "mailto:vet@example.org", "Tel:+441234"}},
        {D::Drop,
         {"ftp://example.org/", "file:///etc/passwd", "javascript:alert(1)", "no scheme here",
          "1http://x", ""}}}) {
    for (auto url : urls) EXPECT_EQ(decideNavigation(url, false), decision) << url;
  }
  EXPECT_EQ(decideNavigation(std::nullopt, false), D::Drop);
  EXPECT_EQ(decideNavigation("ftp://x", true), D::Download);  // no scheme test for downloads
  EXPECT_EQ(decideResponse(true), D::Allow);
  EXPECT_EQ(decideResponse(false), D::Download);

  for (auto url : {"https://example.org", "MAILTO:a@b"})
    EXPECT_EQ(decideNewWindow(url), D::OpenExternally);
  for (auto url : {"tel:123", "meadowline-farm://app/", "about:blank"})
    EXPECT_EQ(decideNewWindow(url), D::Drop);
  EXPECT_EQ(decideNewWindow(std::nullopt), D::Drop);
}

}  // namespace
}  // namespace mlfk
