#include "services/FileSaver.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace mlfk {
namespace {

using nlohmann::json;
using test::readFile;

// Text, Base64 over a file and a cancelled dialog are saved end to end
// (test_dialogs); here what the dialogs cannot easily reach.
TEST(FileSaver, EmptyTextDamagedBase64AndFailedWrites) {
  test::TempDir temp;
  EXPECT_EQ(completeSave(SaveRequest{}, temp / "empty.csv")["ok"], true);
  EXPECT_EQ(std::filesystem::file_size(temp / "empty.csv"), 0u);

  test::writeFile(temp / "kept.bin", "kept");
  SaveRequest request{.content = std::string(76, 'A') + "\nAAAA", .base64 = true};  // wrapped
  EXPECT_EQ(completeSave(request, temp / "kept.bin"),
            (json{{"ok", false}, {"error", "The file data was damaged."}}));
  EXPECT_EQ(readFile(temp / "kept.bin"), "kept");

  request = {.content = "tag\n"};
  EXPECT_EQ(completeSave(request, temp / "kept.bin" / "inside.csv"),  // a file as a folder
            (json{{"ok", false}, {"error", "Not a directory"}}));
  EXPECT_EQ(readFile(temp / "kept.bin"), "kept");
}

TEST(FileSaver, NameThatIsNotUtf8IsWrittenAndReportedInItsDisplayForm) {
  test::TempDir temp;
  const auto reply = completeSave({.content = "tag\n"}, temp /
                                                            "r\xE9"
                                                            "colte.csv");  // Latin-1
  EXPECT_EQ(readFile(temp / "r\xE9"
                            "colte.csv"),
            "tag\n");
  EXPECT_EQ(reply["path"], (temp / "r\uFFFDcolte.csv").string());
  EXPECT_NO_THROW(reply.dump());  // the reply crosses into the page as JSON
}

}  // namespace
}  // namespace mlfk
