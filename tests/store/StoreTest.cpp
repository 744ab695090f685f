#include "store/DurableFile.h"
#include "store/FarmStore.h"
#include "store/InstanceLock.h"
#include "store/SerialQueue.h"
#include "store/SnapshotNames.h"

#include <sys/stat.h>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/FakeClock.h"
#include "support/FileSystemFaults.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace mlfk {
namespace {

using namespace std::chrono_literals;
using test::readFile;
using test::TempDir;
using test::writeFile;

class FarmStoreTest : public ::testing::Test {
 protected:
  std::filesystem::path dataFolder() const { return temp / "Meadowline Field Keeper"; }
  FarmStore& store() {
    if (!store_) store_ = std::make_unique<FarmStore>(dataFolder(), clock);
    return *store_;
  }
  std::string database() { return readFile(store().databaseFile()); }
  std::string previous() { return readFile(store().previousFile()); }
  std::filesystem::path snapshots() { return store(), dataFolder() / "Safety Snapshots"; }
  std::set<std::string> names() {
    std::set<std::string> result;
    for (auto& e : std::filesystem::directory_iterator(snapshots()))
      result.insert(e.path().filename());
    return result;
  }
  void addUserEntry(const std::string& name) { writeFile(snapshots() / name, "user"); }

  TempDir temp;
  std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
  std::unique_ptr<FarmStore> store_;
};

TEST_F(FarmStoreTest, FirstStartMakesAPrivateFolderWithAnEmptySnapshotFolderOnly) {
  store();
  struct stat info;
  ASSERT_EQ(::stat(dataFolder().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  std::vector<std::string> entries;
  for (auto& e : std::filesystem::recursive_directory_iterator(dataFolder()))
    entries.push_back(e.path().lexically_relative(dataFolder()));
  EXPECT_EQ(entries, std::vector<std::string>{"Safety Snapshots"});
}

TEST_F(FarmStoreTest, StartWithExistingFoldersKeepsEverythingButStaleTemporaries) {
  std::filesystem::create_directories(dataFolder() / "Safety Snapshots");
  writeFile(dataFolder() / "farm-data.json", "kept");
  writeFile(dataFolder() / "notes.txt", "user file");
  writeFile(dataFolder() / ".mlfk-tmp-farm-data.json-abc123", "torn");
  writeFile(dataFolder() / "Safety Snapshots" / ".mlfk-tmp-x.json-q1w2e3", "torn");
  writeFile(dataFolder() / "Safety Snapshots" / "2026-01-01 00-00-00 a.json", "snap");
  store();
  EXPECT_EQ(readFile(dataFolder() / "farm-data.json"), "kept");
  EXPECT_EQ(readFile(dataFolder() / "notes.txt"), "user file");
  EXPECT_FALSE(std::filesystem::exists(dataFolder() / ".mlfk-tmp-farm-data.json-abc123"));
  EXPECT_FALSE(
      std::filesystem::exists(dataFolder() / "Safety Snapshots" / ".mlfk-tmp-x.json-q1w2e3"));
  EXPECT_TRUE(
      std::filesystem::exists(dataFolder() / "Safety Snapshots" / "2026-01-01 00-00-00 a.json"));
}

TEST_F(FarmStoreTest, RotatesAtTheFirstSaveOfARunThenOnlyAfterMoreThanSixHundredSeconds) {
  FarmStore fresh(temp / "fresh", clock);  // a fresh installation: from the second save
  EXPECT_EQ(fresh.persist("first"), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(fresh.previousFile()));
  EXPECT_EQ(fresh.persist("second"), std::nullopt);
  EXPECT_EQ(readFile(fresh.previousFile()), "first");

  std::filesystem::create_directories(dataFolder());
  writeFile(dataFolder() / "farm-data.json", "at start");
  ASSERT_EQ(store().persist("one"), std::nullopt);  // first save of the run rotates
  EXPECT_EQ(previous(), "at start");

  clock->advance(300s);
  ASSERT_EQ(store().persist("two"), std::nullopt);
  EXPECT_EQ(previous(), "at start");

  clock->advance(300s);  // exactly 600 s after the rotation
  ASSERT_EQ(store().persist("three"), std::nullopt);
  EXPECT_EQ(previous(), "at start");

  clock->advance(0.5s);
  ASSERT_EQ(store().persist("four"), std::nullopt);
  EXPECT_EQ(previous(), "three");
  EXPECT_EQ(database(), "four");

  clock->advance(660s);
  ASSERT_EQ(store().persist("five"), std::nullopt);
  EXPECT_EQ(previous(), "four");
}

TEST_F(FarmStoreTest, WritesTheTextsBytesUnchangedEvenUnderANameNearTheLimit) {
  ASSERT_EQ(store().persist("caf\u00e9 \xF0\x9F\x90\x84\r\n"), std::nullopt);
  EXPECT_EQ(database(), "caf\xC3\xA9 \xF0\x9F\x90\x84\r\n");
  // Made as any file of the user's is, not with the temporary file's 0600.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat info {};
  ASSERT_EQ(::stat(store().databaseFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
  ASSERT_EQ(store().persist(""), std::nullopt);
  EXPECT_TRUE(std::filesystem::exists(store().databaseFile()));
  EXPECT_EQ(std::filesystem::file_size(store().databaseFile()), 0u);
  const auto nearTheNameLimit = dataFolder() / (std::string(250, 'n') + ".csv");
  EXPECT_EQ(writeFileDurably(nearTheNameLimit, "tag,weight\n"), std::nullopt);
  EXPECT_EQ(readFile(nearTheNameLimit), "tag,weight\n");
}

TEST_F(FarmStoreTest, VanishedDataFolderOrOneBehindAFileFailsWithoutBeingMade) {
  store();
  std::filesystem::remove_all(dataFolder());
  EXPECT_EQ(store().persist("x"), "No such file or directory");
  EXPECT_FALSE(std::filesystem::exists(dataFolder()));
  // A path component that is a file, not a folder: fails for root too.
  writeFile(temp / "blocker", "i am a file");
  EXPECT_EQ(FarmStore(temp / "blocker" / "data", clock).persist("x"), "Not a directory");
  EXPECT_EQ(readFile(temp / "blocker"), "i am a file");
}

TEST_F(FarmStoreTest, FullOrReadOnlyFileSystemKeepsTheFormerDatabaseWhole) {
  MLFK_REQUIRE(::geteuid() == 0, "mounting a small tmpfs needs root");
  test::ScratchMount mount(dataFolder(), "size=64k,mode=0700");
  MLFK_REQUIRE(mount.mounted(), "could not mount a tmpfs");
  ASSERT_EQ(store().persist("former"), std::nullopt);
  EXPECT_EQ(store().persist(std::string(256 * 1024, 'x')), "No space left on device");
  EXPECT_EQ(database(), "former");
  for (auto& e : std::filesystem::directory_iterator(dataFolder()))
    EXPECT_FALSE(e.path().filename().string().starts_with(".mlfk-tmp-")) << e.path();
  ASSERT_TRUE(mount.remountReadOnly());
  EXPECT_EQ(store().persist("newer"), "Read-only file system");
  EXPECT_EQ(database(), "former");
}

TEST_F(FarmStoreTest, UnremovablePreviousVersionDoesNotStopTheSave) {
  MLFK_REQUIRE(::geteuid() == 0, "mounting a tmpfs needs root");
  // A folder in place of the previous version holding a mount point: it cannot
  // be removed or replaced, even by root.
  std::filesystem::create_directories(dataFolder());
  writeFile(dataFolder() / "farm-data.json", "old");
  test::ScratchMount busy(dataFolder() / "farm-data (previous).json" / "busy", "size=16k");
  MLFK_REQUIRE(busy.mounted(), "could not mount a tmpfs");

  test::LogCapture log;
  EXPECT_EQ(store().persist("new"), std::nullopt);
  EXPECT_EQ(database(), "new");
  EXPECT_TRUE(std::filesystem::is_directory(store().previousFile()));
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0].rfind("previous version not kept: ", 0), 0u) << log.lines[0];
}

TEST_F(FarmStoreTest, FolderThatCannotBeSyncedStillSavesButOtherSyncFailuresCount) {
  test::FileSystemFaults faults;
  for (int unsupported : {EINVAL, ENOTSUP}) {
    faults.failFolderSync(unsupported);
    EXPECT_EQ(store().persist("saved " + std::to_string(unsupported)), std::nullopt);
    EXPECT_EQ(database(), "saved " + std::to_string(unsupported));
  }
  faults.failFolderSync(EIO);
  EXPECT_EQ(store().persist("after an I/O error"), "Input/output error");
  EXPECT_EQ(test::FileSystemFaults::folderSyncs, 1);  // never retried
}

TEST(InstanceLock, OneHolderPerFolderUntilItGoes) {
  test::TempDir temp;
  auto first = std::make_unique<InstanceLock>(temp.path());
  EXPECT_EQ(first->state(), InstanceLock::State::Held);
  InstanceLock second(temp.path());
  EXPECT_EQ(second.state(), InstanceLock::State::HeldElsewhere);
  EXPECT_EQ(second.retry(), InstanceLock::State::HeldElsewhere);
  first.reset();  // the first instance ends
  EXPECT_EQ(second.retry(), InstanceLock::State::Held);
  EXPECT_EQ(InstanceLock(temp / "missing").state(), InstanceLock::State::Unavailable);
}

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

TEST_F(FarmStoreTest, CopiesTheDatabaseUnderItsNameAndKeepsTheFirstOfASecond) {
  ASSERT_EQ(store().persist("records v1"), std::nullopt);
  store().snapshot("before import 3/2026");
  ASSERT_EQ(store().persist("records v2"), std::nullopt);
  store().snapshot("before import 3/2026");  // same second, same reason
  store().snapshot("other");
  EXPECT_EQ(names(), (std::set<std::string>{"2026-03-14 09-05-07 before import 3-2026.json",
                                            "2026-03-14 09-05-07 other.json"}));
  EXPECT_EQ(readFile(snapshots() / "2026-03-14 09-05-07 before import 3-2026.json"), "records v1");
  EXPECT_EQ(readFile(snapshots() / "2026-03-14 09-05-07 other.json"), "records v2");
}

TEST_F(FarmStoreTest, KeepsFortyEntriesDroppingTheOldest) {
  ASSERT_EQ(store().persist("db"), std::nullopt);
  for (int i = 0; i < 41; ++i) {
    store().snapshot("s");
    clock->advance(1s);
  }
  auto kept = names();
  EXPECT_EQ(kept.size(), 40u);
  EXPECT_EQ(*kept.begin(), "2026-03-14 09-05-08 s.json");  // the first one went
  EXPECT_EQ(*kept.rbegin(), "2026-03-14 09-05-47 s.json");
}

TEST_F(FarmStoreTest, UserEntriesTakePartInPruningByName) {
  ASSERT_EQ(store().persist("db"), std::nullopt);
  for (int i = 0; i < 42; ++i)
    addUserEntry("2025-05-05 10-00-" + std::to_string(10 + i) + " u.json");
  addUserEntry(".hidden");
  std::filesystem::create_directories(snapshots() / "0 old folder" / "inner");
  addUserEntry("Notes about snapshots");
  ASSERT_EQ(names().size(), 45u);

  store().snapshot("new");  // 46 entries: the six smallest names go
  auto kept = names();
  EXPECT_EQ(kept.size(), 40u);
  EXPECT_FALSE(kept.count(".hidden"));
  EXPECT_FALSE(kept.count("0 old folder"));
  EXPECT_FALSE(kept.count("2025-05-05 10-00-13 u.json"));
  EXPECT_TRUE(kept.count("2025-05-05 10-00-14 u.json"));
  EXPECT_TRUE(kept.count("Notes about snapshots"));  // letters sort after digits
  EXPECT_TRUE(kept.count("2026-03-14 09-05-07 new.json"));

  clock->setWall(0);  // a clock set back: the new copy has the smallest name
  EXPECT_EQ(store().snapshot("before import"), std::nullopt);
  EXPECT_EQ(names().size(), 40u);
  EXPECT_TRUE(names().count("1970-01-01 00-00-00 before import.json"));
}

TEST_F(FarmStoreTest, NothingWithoutADatabaseEvenWhenOverfullAndNoFolderIsMadeAgain) {
  for (int i = 0; i < 45; ++i)
    addUserEntry("2020-01-01 00-00-" + std::to_string(10 + i) + " u.json");
  store().snapshot("x");
  EXPECT_EQ(names().size(), 45u);
  ASSERT_EQ(store().persist("db"), std::nullopt);
  std::filesystem::remove_all(snapshots());
  EXPECT_EQ(store().snapshot("x"), "No such file or directory");
  EXPECT_FALSE(std::filesystem::exists(snapshots()));
}

TEST_F(FarmStoreTest, WithoutHardLinksASnapshotIsStillMadeAndNeverReplacesOne) {
  test::FileSystemFaults faults;
  faults.failLinks(EPERM);  // what exFAT answers
  ASSERT_EQ(store().persist("records v1"), std::nullopt);
  EXPECT_EQ(store().snapshot("before import"), std::nullopt);
  ASSERT_EQ(store().persist("records v2"), std::nullopt);
  EXPECT_EQ(store().snapshot("before import"), std::nullopt);  // same second and reason
  EXPECT_EQ(names(), (std::set<std::string>{"2026-03-14 09-05-07 before import.json"}));
  EXPECT_EQ(readFile(snapshots() / "2026-03-14 09-05-07 before import.json"), "records v1");
  // The previous version falls back to a copy as well.
  clock->advance(601s);
  ASSERT_EQ(store().persist("records v3"), std::nullopt);
  EXPECT_EQ(readFile(dataFolder() / "farm-data (previous).json"), "records v2");
  for (auto& e : std::filesystem::directory_iterator(dataFolder()))
    EXPECT_FALSE(e.path().filename().string().starts_with(".mlfk-tmp-")) << e.path();
}

// Downloads land beside their destination first and take its name whole.
TEST(DurableFile, ATemporaryIsPublishedUnderItsNameOrTheFailureIsSaid) {
  test::TempDir temp;
  const auto target = temp / "herd.csv";
  const auto first = newTemporaryBeside(target);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->parent_path(), temp.path());
  writeFile(*first, "tag,weight\n");
  EXPECT_EQ(publishFile(*first, target), std::nullopt);
  EXPECT_EQ(readFile(target), "tag,weight\n");
  EXPECT_FALSE(std::filesystem::exists(*first));

  const auto second = newTemporaryBeside(target);
  ASSERT_TRUE(second);
  EXPECT_EQ(publishFile(*second, temp / "gone" / "herd.csv"), "No such file or directory");
  EXPECT_TRUE(std::filesystem::exists(*second)) << "left for the caller to remove";
  EXPECT_FALSE(newTemporaryBeside(temp / "gone" / "herd.csv"));
}

// A one-byte file is the edge of every read and write loop.
TEST(DurableFile, WrittenSyncedAndReadWholeAndAFailedCopyIsSaidAndLeavesNothing) {
  test::TempDir temp;
  test::FileSystemFaults faults;
  faults.countSyncs();
  EXPECT_EQ(writeFileDurably(temp / "one", "7"), std::nullopt);
  EXPECT_EQ(std::pair(test::FileSystemFaults::fileSyncs, test::FileSystemFaults::folderSyncs),
            std::pair(1, 1));
  EXPECT_EQ(readWholeFile(temp / "one"), "7");
  EXPECT_EQ(copyFileDurably(temp / "missing", temp / "copy"), "No such file or directory");
  // A folder opens but cannot be read.
  EXPECT_EQ(copyFileDurably(temp.path(), temp / "copy"), "Is a directory");
  EXPECT_FALSE(std::filesystem::exists(temp / "copy"));
  for (auto& e : std::filesystem::directory_iterator(temp.path()))
    EXPECT_FALSE(e.path().filename().string().starts_with(".mlfk-tmp-")) << e.path();
}

TEST(SerialQueue, RunsHandedOverWorkOneAtATimeOffTheCallersThread) {
  SerialQueue queue;
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> done{0};
  const auto caller = std::this_thread::get_id();
  EXPECT_NE(queue.sync([] { return std::this_thread::get_id(); }), caller);

  std::vector<std::thread> callers;
  for (int t = 0; t < 4; ++t) {
    callers.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        int result = queue.sync([&] {
          if (inside.fetch_add(1) != 0) overlaps++;
          std::this_thread::yield();
          inside.fetch_sub(1);
          return i;
        });
        if (result == i) done++;
      }
    });
  }
  for (auto& c : callers) c.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(done.load(), 800);
}

}  // namespace
}  // namespace mlfk
