#include "webhost/NavigationPolicy.h"

#include <gtest/gtest.h>

namespace mlfk {
namespace {

using D = NavigationDecision;

TEST(NavigationPolicy, BySchemeInAnyCase) {
  EXPECT_EQ(decideNavigation("meadowline-farm://app/x.html", false), D::Allow);
  EXPECT_EQ(decideNavigation("MEADOWLINE-FARM://app/", false), D::Allow);
  EXPECT_EQ(decideNavigation("about:blank", false), D::Allow);
  EXPECT_EQ(decideNavigation("blob:meadowline-farm://app/1234", false), D::Allow);
  EXPECT_EQ(decideNavigation("data:text/plain,hi", false), D::Allow);
  EXPECT_EQ(decideNavigation("https://example.org/", false), D::OpenExternally);
  EXPECT_EQ(decideNavigation("HTTP://example.org/", false), D::OpenExternally);
  EXPECT_EQ(decideNavigation("mailto:vet@example.org", false), D::OpenExternally);
  EXPECT_EQ(decideNavigation("Tel:+441234", false), D::OpenExternally);
  EXPECT_EQ(decideNavigation("ftp://example.org/", false), D::Drop);
  EXPECT_EQ(decideNavigation("file:///etc/passwd", false), D::Drop);
  EXPECT_EQ(decideNavigation("javascript:alert(1)", false), D::Drop);
  EXPECT_EQ(decideNavigation("no scheme here", false), D::Drop);
  EXPECT_EQ(decideNavigation("", false), D::Drop);
  EXPECT_EQ(decideNavigation(std::nullopt, false), D::Drop);
  EXPECT_EQ(decideNavigation("ftp://x", true), D::Download);  // no scheme test for downloads
}

TEST(NavigationPolicy, ResponsesAndNewWindows) {
  EXPECT_EQ(decideResponse(true), D::Allow);
  EXPECT_EQ(decideResponse(false), D::Download);
  EXPECT_EQ(decideNewWindow("https://example.org"), D::OpenExternally);
  EXPECT_EQ(decideNewWindow("MAILTO:a@b"), D::OpenExternally);
  EXPECT_EQ(decideNewWindow("tel:123"), D::Drop);  // unlike a link
  EXPECT_EQ(decideNewWindow("meadowline-farm://app/"), D::Drop);
  EXPECT_EQ(decideNewWindow("about:blank"), D::Drop);
  EXPECT_EQ(decideNewWindow(std::nullopt), D::Drop);
  EXPECT_EQ(lowerCaseScheme("HtTpS://x"), "https");
  EXPECT_EQ(lowerCaseScheme("1http://x"), "");
}

}  // namespace
}  // namespace mlfk
