#include "services/PrintFileName.h"

#include <gtest/gtest.h>

namespace mlfk {
namespace {

TEST(PrintFileName, TitleBecomesANameEveryFolderTakes) {
  EXPECT_EQ(printFileName("Medicine book 2026"), "Medicine book 2026");
  EXPECT_EQ(printFileName("Movements 01/03/2026\u20132026/06"),
            "Movements 01-03-2026\u20132026-06");
  EXPECT_EQ(printFileName("..hidden\tname "), "hidden-name");
  EXPECT_EQ(printFileName(" / "), "-");
  EXPECT_EQ(printFileName(""), "Field Keeper");
  EXPECT_EQ(printFileName("caf\xE9"), "caf_");  // not UTF-8
  const std::string longTitle(300, 'r');
  EXPECT_EQ(printFileName(longTitle).size(), 200u);
  // A character is never cut in two at the limit.
  EXPECT_EQ(printFileName(std::string(199, 'r') + "\u00e9"), std::string(199, 'r'));
}

}  // namespace
}  // namespace mlfk
