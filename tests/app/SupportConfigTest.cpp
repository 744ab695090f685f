#include "app/SupportConfig.h"

#include <gtest/gtest.h>

namespace mlfk {
namespace {

TEST(SupportMail, UrlByteForByteWithDelimitersInsideValuesEscaped) {
  EXPECT_EQ(SupportConfig::mailUrl("Meadowline Field Keeper support", "4.1", "1",
                                   "Debian GNU/Linux 12 (bookworm), Linux 6.1.0"),
            "mailto:support@meadowline.farm?subject=Meadowline%20Field%20Keeper%20support"
            "&body=%0A%0A----%0AMeadowline%20Field%20Keeper%204.1%20(build%201)%0A"
            "Debian%20GNU/Linux%2012%20(bookworm),%20Linux%206.1.0");
  EXPECT_EQ(encodeQueryValue("a&b#c=d+e%f ü"), "a%26b%23c%3Dd%2Be%25f%20%C3%BC");
  const std::string url = SupportConfig::mailUrl("Q&A #1", "4.1&x", "1", "sys");
  EXPECT_NE(url.find("subject=Q%26A%20%231&body="), std::string::npos);
  EXPECT_EQ(url.find('#'), std::string::npos);
}

}  // namespace
}  // namespace mlfk
