#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/Identity.h"
#include "store/Clock.h"
#include "store/SerialQueue.h"

namespace mlfk {

inline constexpr std::string_view kDataFolderName = kAppName;
inline constexpr std::string_view kSnapshotFolderName = "Safety Snapshots";
inline constexpr std::string_view kDatabaseFileName = "farm-data.json";
inline constexpr std::string_view kPreviousFileName = "farm-data (previous).json";
inline constexpr std::chrono::seconds kRotationInterval{600};

// The record store: owns the data folder and does every write to it on one
// serial queue, so saves and snapshots never overlap.
class FarmStore {
 public:
  // The one store of the process, in the user's data folder; made on first use.
  static FarmStore& shared();

  // A store on any folder, for tools and tests; the folder is created if needed.
  FarmStore(std::filesystem::path folder, std::shared_ptr<Clock> clock);
  FarmStore(const FarmStore&) = delete;
  FarmStore& operator=(const FarmStore&) = delete;

  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path databaseFile() const { return folder_ / kDatabaseFileName; }
  std::filesystem::path previousFile() const { return folder_ / kPreviousFileName; }
  std::filesystem::path snapshotFolder() const { return folder_ / kSnapshotFolderName; }

  // Saves the database text; returns the system's error text when the write
  // failed, in which case the former database is untouched.
  std::optional<std::string> persist(std::string_view text);

  // Copies the database into the snapshot folder under a time-stamped name and
  // keeps the 40 greatest names there. Returns the system's error text when
  // a database exists but no copy of it could be made; pruning is silent.
  std::optional<std::string> snapshot(std::string_view reason);

  // The database file's whole text as it is now, read between writes;
  // nothing when there is none or it cannot be read.
  std::optional<std::string> databaseText();

  // The data folder in a user data directory (GLib's, which is never empty).
  static std::filesystem::path dataFolderIn(const std::string& userDataDir);

 private:
  void rotateIfDue();
  void prune(std::string_view spare);

  const std::filesystem::path folder_;
  std::shared_ptr<Clock> clock_;
  // Absent until the first rotation of this process: the distant past.
  std::optional<BootClock::time_point> lastRotation_;
  SerialQueue queue_;
};

}  // namespace mlfk
