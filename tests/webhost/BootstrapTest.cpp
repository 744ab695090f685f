#include "webhost/Bootstrap.h"

#include <gtest/gtest.h>

#include "services/Base64.h"
#include "support/TempDir.h"

namespace mlfk {
namespace {

TEST(Bootstrap, MarkerAloneWithoutADatabase) {
  test::TempDir temp;
  EXPECT_EQ(bootstrapScriptForFile(temp / "missing.json"), "window.__ML_SHELL = 'mac-native';");
  test::writeFile(temp / "empty.json", "");
  EXPECT_EQ(bootstrapScriptForFile(temp / "empty.json"), "window.__ML_SHELL = 'mac-native';");
  EXPECT_EQ(bootstrapScriptForFile(temp.path()), "window.__ML_SHELL = 'mac-native';");  // a folder
}

TEST(Bootstrap, DatabaseInBase64) {
  test::TempDir temp;
  test::writeFile(temp / "db.json", "abc");
  const std::string script = bootstrapScriptForFile(temp / "db.json");
  EXPECT_EQ(script, "window.__ML_SHELL = 'mac-native'; window.__ML_DB_B64 = 'YWJj';");
  EXPECT_EQ(script.size(), 62u);
  EXPECT_EQ(kDatabaseScriptOpening.size(), 56u);

  std::string binary;
  for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
  for (size_t cut : {size_t{1}, size_t{2}, size_t{254}, size_t{256}}) {
    const std::string script = bootstrapScript(binary.substr(0, cut));
    const std::string encoded = script.substr(56, script.size() - 58);
    EXPECT_EQ(base64DecodeStrict(encoded), binary.substr(0, cut));
    EXPECT_TRUE(script.ends_with("';"));
  }
}

TEST(Base64, KnownVectorsAndStrictDecoding) {
  EXPECT_EQ(base64Encode(""), "");
  EXPECT_EQ(base64Encode("f"), "Zg==");
  EXPECT_EQ(base64Encode("fo"), "Zm8=");
  EXPECT_EQ(base64Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(base64Encode("\xFB\xFF"), "+/8=");
  EXPECT_EQ(base64DecodeStrict("Zm9vYmFy"), "foobar");
  EXPECT_EQ(base64DecodeStrict("Zg=="), "f");
  EXPECT_EQ(base64DecodeStrict(""), "");
  for (auto bad : {"Zg", "Zg=", "Zm9v\nYmFy", "Zm9v YmFy", "Zm-_", "Z===", "====", "Zg==Zg==",
                   "Zm=v", "Zm9vYmFy\n"}) {
    EXPECT_EQ(base64DecodeStrict(bad), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace mlfk
