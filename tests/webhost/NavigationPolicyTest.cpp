#include "webhost/NavigationPolicy.h"

#include <gtest/gtest.h>

namespace mlfk {
namespace {

using D = NavigationDecision;

TEST(NavigationPolicy, LinksBySchemeInAnyCaseNewWindowsOnlyForWebAndMail) {
  for (auto [url, decision] : std::initializer_list<std::pair<const char*, D>>{
           {"meadowline-farm://app/x.html", D::Allow}, {"MEADOWLINE-FARM://app/", D::Allow},
           {"about:blank", D::Allow}, {"blob:meadowline-farm://app/1234", D::Allow},
           {"data:text/plain,hi", D::Allow}, {"https://example.org/", D::OpenExternally},
           {"HTTP://example.org/", D::OpenExternally}, {"mailto:vet@example.org", D::OpenExternally},
           {"Tel:+441234", D::OpenExternally}, {"ftp://example.org/", D::Drop},
           {"file:///etc/passwd", D::Drop}, {"javascript:alert(1)", D::Drop},
           {"no scheme here", D::Drop}, {"1http://x", D::Drop}, {"", D::Drop}}) {
    EXPECT_EQ(decideNavigation(url, false), decision) << url;
  }
  EXPECT_EQ(decideNavigation(std::nullopt, false), D::Drop);
  EXPECT_EQ(decideNavigation("ftp://x", true), D::Download);  // no scheme test for downloads
  EXPECT_EQ(decideResponse(true), D::Allow);
  EXPECT_EQ(decideResponse(false), D::Download);

  for (auto [url, decision] : std::initializer_list<std::pair<const char*, D>>{
           {"https://example.org", D::OpenExternally}, {"MAILTO:a@b", D::OpenExternally},
           {"tel:123", D::Drop}, {"meadowline-farm://app/", D::Drop}, {"about:blank", D::Drop}}) {
    EXPECT_EQ(decideNewWindow(url), decision) << url;
  }
  EXPECT_EQ(decideNewWindow(std::nullopt), D::Drop);
}

}  // namespace
}  // namespace mlfk
