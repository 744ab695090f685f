#include "webhost/Bootstrap.h"

#include <gtest/gtest.h>

#include "services/Base64.h"
#include "support/TempDir.h"

namespace mlfk {
namespace {

TEST(Bootstrap, MarkerAloneWithoutADatabaseAndTheDatabaseInBase64) {
  test::TempDir temp;
  test::writeFile(temp / "empty.json", "");
  for (auto missing : {temp / "missing.json", temp / "empty.json", temp.path()})  // and a folder
    EXPECT_EQ(bootstrapScriptForFile(missing), "window.__ML_SHELL = 'mac-native';") << missing;
  test::writeFile(temp / "db.json", "abc");
  EXPECT_EQ(bootstrapScriptForFile(temp / "db.json"),
            "window.__ML_SHELL = 'mac-native'; window.__ML_DB_B64 = 'YWJj';");

  std::string binary;
  for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
  for (size_t cut : {size_t{1}, size_t{2}, size_t{254}, size_t{256}}) {
    const std::string script = bootstrapScript(binary.substr(0, cut));
    ASSERT_TRUE(script.starts_with(kDatabaseScriptOpening) && script.ends_with("';"));
    const size_t from = kDatabaseScriptOpening.size();
    EXPECT_EQ(base64DecodeStrict(script.substr(from, script.size() - from - 2)),
              binary.substr(0, cut));
  }
}

TEST(Base64, KnownVectorsAndStrictDecoding) {
  for (auto [plain, encoded] : std::initializer_list<std::pair<std::string, std::string>>{
           {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foobar", "Zm9vYmFy"}, {"\xFB\xFF", "+/8="}}) {
    EXPECT_EQ(base64Encode(plain), encoded);
    EXPECT_EQ(base64DecodeStrict(encoded), plain);
  }
  for (auto bad : {"Zg", "Zg=", "Zm9v\nYmFy", "Zm9v YmFy", "Zm-_",
                   "Z===", "====", "Zg==Zg==", "Zm=v", "Zm9vYmFy\n"}) {
    EXPECT_EQ(base64DecodeStrict(bad), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace mlfk
