#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "store/FarmStore.h"
#include "store/SnapshotNames.h"
#include "support/FakeClock.h"
#include "support/FileSystemFaults.h"
#include "support/TempDir.h"

namespace mlfk {
namespace {

using namespace std::chrono_literals;
using test::readFile;
using test::writeFile;

// Time stamps are local time; pin the zone so the expected names hold anywhere.
class UtcZone : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
};
const auto* const utc = ::testing::AddGlobalTestEnvironment(new UtcZone);

constexpr std::time_t kMarch14 = 1773479107;  // 2026-03-14 09:05:07 UTC

TEST(SnapshotNames, TimestampAndReasonCleanedAndCutAtFortyCharacters) {
  EXPECT_EQ(snapshotTimestamp(kMarch14), "2026-03-14 09-05-07");
  EXPECT_EQ(snapshotFileName(kMarch14, "before import 3/2026"),
            "2026-03-14 09-05-07 before import 3-2026.json");
  EXPECT_EQ(snapshotFileName(kMarch14, "a/b/c"), "2026-03-14 09-05-07 a-b-c.json");
  EXPECT_EQ(snapshotFileName(kMarch14, ""), "2026-03-14 09-05-07 .json");
  EXPECT_EQ(snapshotTimestamp(0), "1970-01-01 00-00-00");
  // The reason is cut at forty user-perceived characters.
  EXPECT_EQ(cleanSnapshotReason(std::string(50, 'r')), std::string(40, 'r'));
  EXPECT_EQ(cleanSnapshotReason(std::string(40, 'r')), std::string(40, 'r'));

  std::string accented;  // "é" as one precomposed scalar: 2 bytes each
  for (int i = 0; i < 45; ++i) accented += "\u00e9";
  std::string fortyAccented;
  for (int i = 0; i < 40; ++i) fortyAccented += "\u00e9";
  EXPECT_EQ(cleanSnapshotReason(accented), fortyAccented);

  std::string combining;  // "e" + combining acute: two scalars, one character
  for (int i = 0; i < 41; ++i) combining += "e\u0301";
  EXPECT_EQ(cleanSnapshotReason(combining), combining.substr(0, 40 * 3));

  // A family emoji is seven scalars joined into one character.
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
  std::string emoji = std::string(39, 'x') + family + "tail";
  EXPECT_EQ(cleanSnapshotReason(emoji), std::string(39, 'x') + family);
}

TEST(SnapshotNames, PruningRemovesTheSmallestNamesAfterDecomposition) {
  std::vector<std::string> names;
  for (int i = 10; i < 52; ++i) names.push_back("2026-01-" + std::to_string(i) + " x.json");
  names.push_back(".hidden");
  names.push_back("Zebra notes");
  auto doomed = snapshotsToPrune(names, 40);
  ASSERT_EQ(doomed.size(), 4u);
  EXPECT_EQ(doomed[0], ".hidden");
  EXPECT_EQ(doomed[1], "2026-01-10 x.json");
  EXPECT_EQ(doomed[3], "2026-01-12 x.json");

  // Precomposed "é" (U+00E9) and "e"+U+0301 compare alike after
  // decomposition; both sort before "f", which a byte comparison of the
  // precomposed form would not give.
  auto order = snapshotsToPrune({"f", "\u00e9", "e\u0301", "e"}, 1);
  EXPECT_EQ(order, (std::vector<std::string>{"e", "\u00e9", "e\u0301"}));
  EXPECT_TRUE(snapshotsToPrune({"a", "b"}, 40).empty());
}

class SnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override { store = std::make_unique<FarmStore>(temp / "data", clock); }
  std::filesystem::path snapshots() const { return temp / "data" / "Safety Snapshots"; }
  std::set<std::string> names() const {
    std::set<std::string> result;
    for (auto& e : std::filesystem::directory_iterator(snapshots()))
      result.insert(e.path().filename());
    return result;
  }
  void addUserEntry(const std::string& name) { writeFile(snapshots() / name, "user"); }

  test::TempDir temp;
  std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
  std::unique_ptr<FarmStore> store;
};

TEST_F(SnapshotTest, CopiesTheDatabaseUnderItsNameAndKeepsTheFirstOfASecond) {
  ASSERT_EQ(store->persist("records v1"), std::nullopt);
  store->snapshot("before import 3/2026");
  ASSERT_EQ(store->persist("records v2"), std::nullopt);
  store->snapshot("before import 3/2026");  // same second, same reason
  store->snapshot("other");
  EXPECT_EQ(names(), (std::set<std::string>{"2026-03-14 09-05-07 before import 3-2026.json",
                                            "2026-03-14 09-05-07 other.json"}));
  EXPECT_EQ(readFile(snapshots() / "2026-03-14 09-05-07 before import 3-2026.json"), "records v1");
  EXPECT_EQ(readFile(snapshots() / "2026-03-14 09-05-07 other.json"), "records v2");
}

TEST_F(SnapshotTest, KeepsFortyEntriesDroppingTheOldest) {
  ASSERT_EQ(store->persist("db"), std::nullopt);
  for (int i = 0; i < 41; ++i) {
    store->snapshot("s");
    clock->advance(1s);
  }
  auto kept = names();
  EXPECT_EQ(kept.size(), 40u);
  EXPECT_EQ(*kept.begin(), "2026-03-14 09-05-08 s.json");  // the first one went
  EXPECT_EQ(*kept.rbegin(), "2026-03-14 09-05-47 s.json");
}

TEST_F(SnapshotTest, UserEntriesTakePartInPruningByName) {
  ASSERT_EQ(store->persist("db"), std::nullopt);
  for (int i = 0; i < 42; ++i)
    addUserEntry("2025-05-05 10-00-" + std::to_string(10 + i) + " u.json");
  addUserEntry(".hidden");
  std::filesystem::create_directories(snapshots() / "0 old folder" / "inner");
  addUserEntry("Notes about snapshots");
  ASSERT_EQ(names().size(), 45u);

  store->snapshot("new");  // 46 entries: the six smallest names go
  auto kept = names();
  EXPECT_EQ(kept.size(), 40u);
  EXPECT_FALSE(kept.count(".hidden"));
  EXPECT_FALSE(kept.count("0 old folder"));
  EXPECT_FALSE(kept.count("2025-05-05 10-00-13 u.json"));
  EXPECT_TRUE(kept.count("2025-05-05 10-00-14 u.json"));
  EXPECT_TRUE(kept.count("Notes about snapshots"));  // letters sort after digits
  EXPECT_TRUE(kept.count("2026-03-14 09-05-07 new.json"));
}

TEST_F(SnapshotTest, NothingWithoutADatabaseEvenWhenOverfullAndNoFolderIsMadeAgain) {
  for (int i = 0; i < 45; ++i)
    addUserEntry("2020-01-01 00-00-" + std::to_string(10 + i) + " u.json");
  store->snapshot("x");
  EXPECT_EQ(names().size(), 45u);
  ASSERT_EQ(store->persist("db"), std::nullopt);
  std::filesystem::remove_all(snapshots());
  EXPECT_EQ(store->snapshot("x"), "No such file or directory");
  EXPECT_FALSE(std::filesystem::exists(snapshots()));
}

TEST_F(SnapshotTest, WithoutHardLinksASnapshotIsStillMadeAndNeverReplacesOne) {
  test::FileSystemFaults faults;
  faults.failLinks(EPERM);  // what exFAT answers
  ASSERT_EQ(store->persist("records v1"), std::nullopt);
  EXPECT_EQ(store->snapshot("before import"), std::nullopt);
  ASSERT_EQ(store->persist("records v2"), std::nullopt);
  EXPECT_EQ(store->snapshot("before import"), std::nullopt);  // same second and reason
  EXPECT_EQ(names(), (std::set<std::string>{"2026-03-14 09-05-07 before import.json"}));
  EXPECT_EQ(readFile(snapshots() / "2026-03-14 09-05-07 before import.json"), "records v1");
  // The previous version falls back to a copy as well.
  clock->advance(601s);
  ASSERT_EQ(store->persist("records v3"), std::nullopt);
  EXPECT_EQ(readFile(temp / "data" / "farm-data (previous).json"), "records v2");
  for (auto& e : std::filesystem::directory_iterator(temp / "data"))
    EXPECT_FALSE(e.path().filename().string().starts_with(".mlfk-tmp-")) << e.path();
}

}  // namespace
}  // namespace mlfk
