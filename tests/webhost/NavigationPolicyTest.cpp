#include "webhost/NavigationPolicy.h"

#include <gtest/gtest.h>

namespace mlfk {
namespace {

using D = NavigationDecision;

// Web, mail, phone, ftp and file links and new windows of each kind are
// followed end to end (test_shell, test_dialogs); here the cases they do not
// reach.
TEST(NavigationPolicy, SchemesInAnyCaseAndWhatStaysInTheView) {
  for (auto url : {"MEADOWLINE-FARM://app/", "about:blank", "blob:meadowline-farm://app/1234",
                   "data:text/plain,hi"})
    EXPECT_EQ(decideNavigation(url, false), D::Allow) << url;
  for (auto url : {"HTTP://example.org/", "Tel:+441234"})
    EXPECT_EQ(decideNavigation(url, false), D::OpenExternally) << url;
  for (auto url : {"javascript:alert(1)", "no scheme here", "1http://x", ""})
    EXPECT_EQ(decideNavigation(url, false), D::Drop) << url;
  EXPECT_EQ(decideNavigation(std::nullopt, false), D::Drop);
  EXPECT_EQ(decideNavigation("ftp://x", true), D::Download);  // no scheme test for downloads
  EXPECT_EQ(decideResponse(true), D::Allow);
  for (auto url : {"meadowline-farm://app/", "about:blank"})
    EXPECT_EQ(decideNewWindow(url), D::Drop);
  EXPECT_EQ(decideNewWindow(std::nullopt), D::Drop);
}

}  // namespace
}  // namespace mlfk
