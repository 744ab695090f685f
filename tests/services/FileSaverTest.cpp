#include "services/FileSaver.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace mlfk {
namespace {

using nlohmann::json;
using test::readFile;

TEST(FileSaver, WritesTextAsUtf8ReplacingAFileOrNothingWhenCancelled) {
  test::TempDir temp;
  EXPECT_EQ(completeSave({}, std::nullopt), (json{{"cancelled", true}}));
  const auto target = temp / "export.csv";
  test::writeFile(target, "old content that is longer");
  SaveRequest request;
  request.content = "tag,name\n1,Dais\u00ff\n";
  EXPECT_EQ(completeSave(request, target), (json{{"ok", true}, {"path", target.string()}}));
  EXPECT_EQ(readFile(target), "tag,name\n1,Dais\xC3\xBF\n");  // no byte-order mark
  EXPECT_EQ(completeSave(SaveRequest{}, temp / "empty.csv")["ok"], true);
  EXPECT_EQ(std::filesystem::file_size(temp / "empty.csv"), 0u);
}

TEST(FileSaver, Base64IsDecodedStrictlyAndDamageWritesNothing) {
  test::TempDir temp;
  SaveRequest request{.content = "AAEC/w==", .base64 = true};
  EXPECT_EQ(completeSave(request, temp / "bytes.bin")["ok"], true);
  EXPECT_EQ(readFile(temp / "bytes.bin"), std::string("\x00\x01\x02\xFF", 4));

  test::writeFile(temp / "kept.bin", "kept");
  request.content = std::string(76, 'A') + "\n" + "AAAA";  // wrapped lines are damage
  EXPECT_EQ(completeSave(request, temp / "kept.bin"),
            (json{{"ok", false}, {"error", "The file data was damaged."}}));
  EXPECT_EQ(readFile(temp / "kept.bin"), "kept");
  EXPECT_EQ(completeSave(request, temp / "never.bin")["ok"], false);
  EXPECT_FALSE(std::filesystem::exists(temp / "never.bin"));
}

TEST(FileSaver, FailedWriteSaysWhyAndNameNotUtf8IsReportedInItsDisplayForm) {
  test::TempDir temp;
  test::writeFile(temp / "a-file", "x");
  SaveRequest request{.content = "tag\n"};
  EXPECT_EQ(completeSave(request, temp / "a-file" / "inside.csv"),  // a file as a folder
            (json{{"ok", false}, {"error", "Not a directory"}}));
  EXPECT_EQ(readFile(temp / "a-file"), "x");

  const auto reply = completeSave(request, temp / "r\xE9" "colte.csv");  // Latin-1, legal on Linux
  EXPECT_EQ(readFile(temp / "r\xE9" "colte.csv"), "tag\n");
  EXPECT_EQ(reply["path"], (temp / "r\uFFFDcolte.csv").string());
  EXPECT_NO_THROW(reply.dump());  // the reply crosses into the page as JSON
}

}  // namespace
}  // namespace mlfk
