#include "store/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace mlfk {

InstanceLock::InstanceLock(const std::filesystem::path& folder) {
  const auto file = folder / kLockFileName;
  fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);  // a folder we may not write
  if (fd_ < 0) return;
  retry();
}

InstanceLock::State InstanceLock::retry() {
  if (fd_ < 0) return state_;
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    state_ = State::Held;
  } else if (errno == EWOULDBLOCK) {
    state_ = State::HeldElsewhere;
  }
  return state_;
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace mlfk
