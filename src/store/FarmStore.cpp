#include "store/FarmStore.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>

#include <cerrno>

#include <vector>

#include "SnapshotNames.h"
#include "store/DurableFile.h"

namespace mlfk {
namespace {

bool entryExists(const std::filesystem::path& entry) {
  struct stat info;
  return ::stat(entry.c_str(), &info) == 0;
}

// New user folders are private, as the XDG base directory convention asks.
void createFolder(const std::filesystem::path& folder) {
  g_mkdir_with_parents(folder.c_str(), 0700);
}

}  // namespace

std::filesystem::path FarmStore::dataFolderIn(const std::string& userDataDir) {
  return std::filesystem::path(userDataDir) / kDataFolderName;
}

FarmStore& FarmStore::shared() {
  static FarmStore store(dataFolderIn(g_get_user_data_dir()), std::make_shared<SystemClock>());
  return store;
}

FarmStore::FarmStore(std::filesystem::path folder, std::shared_ptr<Clock> clock)
    : folder_(std::move(folder)), clock_(std::move(clock)) {
  createFolder(folder_);
  createFolder(snapshotFolder());
  removeStaleTemporaries(folder_);
  removeStaleTemporaries(snapshotFolder());
}

std::optional<std::string> FarmStore::persist(std::string_view text) {
  return queue_.sync([this, text]() -> std::optional<std::string> {
    rotateIfDue();
    return writeFileDurably(databaseFile(), text);
  });
}

void FarmStore::rotateIfDue() {
  if (!entryExists(databaseFile())) return;
  if (lastRotation_ && clock_->elapsedNow() - *lastRotation_ <= kRotationInterval) return;
  removeEntry(previousFile());
  // The save below replaces the database by rename, so the file as it stands
  // can simply be kept under the second name: no copy, whatever its size.
  if (auto error = keepVersionOf(databaseFile(), previousFile()))  // never stops the save
    g_warning("previous version not kept: %s", error->c_str());
  lastRotation_ = clock_->elapsedNow();
}

std::optional<std::string> FarmStore::snapshot(std::string_view reason) {
  return queue_.sync([this, reason]() -> std::optional<std::string> {
    if (!entryExists(databaseFile())) return std::nullopt;
    const std::string name = snapshotFileName(clock_->wallNow(), reason);
    const int error = copyFileIfAbsent(databaseFile(), snapshotFolder() / name);
    prune(name);
    // A snapshot of the same second and reason is already there.
    if (error == 0 || error == EEXIST) return std::nullopt;
    return std::string(g_strerror(error));
  });
}

std::optional<std::string> FarmStore::databaseText() {
  return queue_.sync([this] { return readWholeFile(databaseFile()); });
}

void FarmStore::prune(std::string_view spare) {
  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator it(snapshotFolder(), ec);
  if (ec) return;
  for (std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) return;  // a listing that fails part-way prunes nothing
    names.push_back(it->path().filename().string());
  }
  for (const auto& name : snapshotsToPrune(std::move(names), kSnapshotRetention, spare)) {
    removeEntry(snapshotFolder() / name);
  }
}

}  // namespace mlfk
