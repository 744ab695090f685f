#include "webhost/BundleSchemeHandler.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace mlfk {
namespace {

using test::writeFile;

class SchemeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(temp / "web" / "js" / "sub");
    writeFile(temp / "web" / "index.html", "<!doctype html>start");
    writeFile(temp / "web" / "js" / "app.mjs", "export {}");
    writeFile(temp / "web" / "my file.css", "body{}");
    writeFile(temp / "web" / "caf\u00e9.json", "{}");
    writeFile(temp / "web" / "empty.txt", "");
    writeFile(temp / "secret.txt", "outside");
    writeFile(temp / "web-other.txt", "sibling");
  }
  std::string bodyOf(std::string_view url) { return handler().respond(url).body; }
  int statusOf(std::string_view url) { return handler().respond(url).status; }
  BundleSchemeHandler handler() { return BundleSchemeHandler(temp / "web"); }

  test::TempDir temp;
};

TEST_F(SchemeTest, RootSpellingsQueryAndFragmentServeTheStartPage) {
  for (auto url : {"meadowline-farm://app/index.html", "meadowline-farm://app/",
                   "meadowline-farm://app", "meadowline-farm://other/", "meadowline-farm:",
                   "meadowline-farm://app/index.html?x=1#top", "meadowline-farm://app/?q#f"}) {
    EXPECT_EQ(bodyOf(url), "<!doctype html>start") << url;
  }
}

TEST_F(SchemeTest, FilesFoundByDecodedNames) {
  EXPECT_EQ(bodyOf("meadowline-farm://app/js/app.mjs"), "export {}");
  EXPECT_EQ(bodyOf("meadowline-farm://app/my%20file.css"), "body{}");
  EXPECT_EQ(bodyOf("meadowline-farm://app/my%2520file.css"), "body{}");  // encoded twice
  EXPECT_EQ(bodyOf("meadowline-farm://app/caf%C3%A9.json"), "{}");
  EXPECT_EQ(bodyOf("meadowline-farm://app/js/./sub/../app.mjs"), "export {}");
}

TEST_F(SchemeTest, FoldersEscapesAndMissingFilesAreNotFound) {
  for (auto url :
       {"meadowline-farm://app/js", "meadowline-farm://app/js/", "meadowline-farm://app/missing.js",
        "meadowline-farm://app/../secret.txt", "meadowline-farm://app/js/../../secret.txt",
        "meadowline-farm://app/%2e%2e/secret.txt", "meadowline-farm://app/%252e%252e/secret.txt",
        "meadowline-farm://app/..%2fsecret.txt", "meadowline-farm://app/../web-other.txt",
        "meadowline-farm://app/index.html%00.png", "meadowline-farm://app/%zz",
        "meadowline-farm://app/%C3"}) {
    EXPECT_EQ(statusOf(url), 404) << url;
  }
}

TEST_F(SchemeTest, ResponseHeadersFoundEmptyAndMissing) {
  const auto found = handler().respond("meadowline-farm://app/index.html");
  EXPECT_EQ(found.status, 200);
  ASSERT_EQ(found.headers.size(), 3u);
  EXPECT_EQ(found.header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(found.header("Content-Length"), "20");
  EXPECT_EQ(found.header("Cache-Control"), "no-cache");

  const auto empty = handler().respond("meadowline-farm://app/empty.txt");
  EXPECT_EQ(empty.status, 200);
  EXPECT_EQ(empty.header("Content-Length"), "0");
  EXPECT_EQ(empty.body, "");

  const auto missing = handler().respond("meadowline-farm://app/nothing");
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.headers, (decltype(missing.headers){{"Content-Type", "text/plain"}}));
  EXPECT_EQ(missing.body, "Not found");
}

// The web types WebKit is strict about (module scripts, WebAssembly) are
// checked by the end-to-end page; here the fallbacks and the charset.
TEST(ContentType, CaseCharsetSystemTypesAndFallback) {
  EXPECT_EQ(contentTypeFor("a/APP.MJS"), "text/javascript; charset=utf-8");
  EXPECT_EQ(contentTypeFor("a/style.css"), "text/css; charset=utf-8");
  EXPECT_EQ(contentTypeFor("a/logo.svg"), "image/svg+xml");
  for (auto unknown : {"a/LICENSE", "a/data.qqzz", "a/trailing."})
    EXPECT_EQ(contentTypeFor(unknown), "application/octet-stream") << unknown;
  // Not in the web table: shared-mime-info by name, without a charset.
  EXPECT_EQ(contentTypeFor("a/archive.zip"), "application/zip");
  EXPECT_EQ(contentTypeFor("a/notes.rtf").find("; charset=utf-8"), std::string::npos);
}

}  // namespace
}  // namespace mlfk
