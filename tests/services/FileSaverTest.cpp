#include "services/FileSaver.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace mlfk {
namespace {

using nlohmann::json;
using test::readFile;

TEST(FileSaver, CancelledWritesNothing) {
  EXPECT_EQ(completeSave({}, std::nullopt), (json{{"cancelled", true}}));
}

TEST(FileSaver, WritesTextAsUtf8AndReplacesAFile) {
  test::TempDir temp;
  const auto target = temp / "export.csv";
  test::writeFile(target, "old content that is longer");
  SaveRequest request;
  request.content = "tag,name\n1,Dais\u00ff\n";
  EXPECT_EQ(completeSave(request, target), (json{{"ok", true}, {"path", target.string()}}));
  EXPECT_EQ(readFile(target), "tag,name\n1,Dais\xC3\xBF\n");  // no byte-order mark

  EXPECT_EQ(completeSave(SaveRequest{}, temp / "empty.csv")["ok"], true);
  EXPECT_EQ(std::filesystem::file_size(temp / "empty.csv"), 0u);
}

TEST(FileSaver, Base64IsDecodedStrictly) {
  test::TempDir temp;
  SaveRequest request;
  request.base64 = true;
  request.content = "AAEC/w==";
  EXPECT_EQ(completeSave(request, temp / "bytes.bin")["ok"], true);
  EXPECT_EQ(readFile(temp / "bytes.bin"), std::string("\x00\x01\x02\xFF", 4));

  test::writeFile(temp / "kept.bin", "kept");
  std::string wrapped(76, 'A');
  request.content = wrapped + "\n" + "AAAA";
  EXPECT_EQ(completeSave(request, temp / "kept.bin"),
            (json{{"ok", false}, {"error", "The file data was damaged."}}));
  EXPECT_EQ(readFile(temp / "kept.bin"), "kept");
  EXPECT_FALSE(std::filesystem::exists(temp / "never.bin"));
  EXPECT_EQ(completeSave(request, temp / "never.bin")["ok"], false);
  EXPECT_FALSE(std::filesystem::exists(temp / "never.bin"));
}

TEST(FileSaver, FailedWriteKeepsTheFormerFileAndSaysWhy) {
  test::TempDir temp;
  test::writeFile(temp / "a-file", "x");
  SaveRequest request;
  request.content = "new";
  auto reply = completeSave(request, temp / "a-file" / "inside.csv");  // a file as a folder
  EXPECT_EQ(reply, (json{{"ok", false}, {"error", "Not a directory"}}));
  EXPECT_EQ(readFile(temp / "a-file"), "x");
}

TEST(FileSaver, NameThatIsNotUtf8IsWrittenAndReportedInItsDisplayForm) {
  test::TempDir temp;
  const auto target = temp / "r\xE9" "colte.csv";  // Latin-1, legal on Linux
  SaveRequest request;
  request.content = "tag\n";
  const auto reply = completeSave(request, target);
  EXPECT_EQ(readFile(target), "tag\n");
  EXPECT_EQ(reply["path"], (temp / "r\uFFFDcolte.csv").string());
  EXPECT_NO_THROW(reply.dump());  // the reply crosses into the page as JSON
}

}  // namespace
}  // namespace mlfk
