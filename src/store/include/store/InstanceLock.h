#pragma once

#include <filesystem>

namespace mlfk {

// One running program per data folder: an advisory lock on a file in the
// folder, held for as long as this object lives and released by the kernel
// if the process dies. Without a session bus the application cannot see
// another instance; two writers of one database would lose records.
class InstanceLock {
 public:
  enum class State {
    Held,           // this process is the folder's only writer
    HeldElsewhere,  // another running instance has the folder
    Unavailable,    // the folder cannot be locked (read-only, no locks): go on
  };

  explicit InstanceLock(const std::filesystem::path& folder);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  State state() const { return state_; }
  // Tries again to take a lock held elsewhere: an instance that is just
  // ending gives it up a moment later.
  State retry();

 private:
  int fd_ = -1;
  State state_ = State::Unavailable;
};

inline constexpr const char* kLockFileName = ".instance.lock";

}  // namespace mlfk
