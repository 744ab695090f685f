#include "store/FarmStore.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "store/DurableFile.h"
#include "store/InstanceLock.h"
#include "support/FakeClock.h"
#include "support/FileSystemFaults.h"
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

TEST(FarmStoreFolder, UserDataDirectoryOrHomeFallback) {
  EXPECT_EQ(FarmStore::dataFolderIn("/x/data", "/home/u"),
            std::filesystem::path("/x/data/Meadowline Field Keeper"));
  EXPECT_EQ(FarmStore::dataFolderIn("", "/home/u"),
            std::filesystem::path("/home/u/.local/share/Meadowline Field Keeper"));
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

  EXPECT_EQ(store().persist("new"), std::nullopt);
  EXPECT_EQ(database(), "new");
  EXPECT_TRUE(std::filesystem::is_directory(store().previousFile()));
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
  EXPECT_EQ(InstanceLock(temp.path()).state(), InstanceLock::State::HeldElsewhere);
  first.reset();
  EXPECT_EQ(InstanceLock(temp.path()).state(), InstanceLock::State::Held);
  EXPECT_EQ(InstanceLock(temp / "missing").state(), InstanceLock::State::Unavailable);
}

}  // namespace
}  // namespace mlfk
