#include "store/DurableFile.h"

#include <fcntl.h>
#include <glib.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "FileSystemCalls.h"

namespace mlfk {

FileSystemCalls& fileSystemCalls() {
  static FileSystemCalls calls{::link, ::fsync};
  return calls;
}

namespace {

std::string errorText(int error) {
  return g_strerror(error);
}

// New files get the permissions the user's umask asks for, as any other
// program's would; mkstemp alone would leave them private to the owner.
mode_t newFileMode() {
  static const mode_t mode = [] {
    mode_t mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
      char line[256];
      while (std::fgets(line, sizeof line, status)) {
        unsigned value;
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
          mask = static_cast<mode_t>(value);
          break;
        }
      }
      std::fclose(status);
    }
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

// Closes a descriptor on every path.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // close() reports write-back errors on some file systems: they must count.
  int close() {
    int result = 0;
    if (fd_ >= 0) result = ::close(fd_);
    fd_ = -1;
    return result;
  }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

int syncFolder(const std::filesystem::path& folder) {
  Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return errno;
  if (fileSystemCalls().fsync(dir.get()) != 0) {
    // Some network and shared folders cannot sync a folder at all; the
    // renamed file is in place and nothing more can be done for it.
    if (errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP) return 0;
    return errno;
  }
  return 0;
}

std::filesystem::path folderOf(const std::filesystem::path& target) {
  auto folder = target.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

// A temporary file beside `target`, created exclusively. Fills `path`. The
// name is short whatever the target's, so a target near the file-name limit
// can still be written.
int createTemporary(const std::filesystem::path& target, std::string& path) {
  path = (folderOf(target) / (std::string(kTemporaryPrefix) + "XXXXXX")).string();
  int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd >= 0) ::fchmod(fd, newFileMode());
  return fd;
}

// Writes `fill`'s bytes into a fresh temporary file beside `target`, fsyncs
// it and hands its path to `publish`. The temporary file never outlives the
// call. Returns 0 or an errno value.
template <typename Fill, typename Publish>
int viaTemporary(const std::filesystem::path& target, Fill fill, Publish publish,
                 bool durable = true) {
  std::string temporary;
  Descriptor fd(createTemporary(target, temporary));
  if (fd.get() < 0) return errno;
  int error = 0;
  if (!fill(fd.get())) error = errno ? errno : EIO;
  if (!error && durable && fileSystemCalls().fsync(fd.get()) != 0) error = errno;
  if (!error && fd.close() != 0) error = errno;
  if (!error) error = publish(temporary);
  if (error) {
    fd.reset();
    ::unlink(temporary.c_str());
  }
  return error;
}

bool copyContent(int from, int to) {
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (!writeAll(to, buffer, static_cast<size_t>(n))) return false;
  }
}

int renameOver(const std::string& temporary, const std::filesystem::path& target,
               bool durable = true) {
  if (::rename(temporary.c_str(), target.c_str()) != 0) return errno;
  return durable ? syncFolder(folderOf(target)) : 0;
}

bool noHardLinks(int error) {
  return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS ||
         error == EMLINK;
}

// Gives a finished temporary file the name `target` unless that name is
// taken. A hard link does it in one step; file systems without hard links
// (FAT, exFAT, some network shares) get a rename that refuses to replace,
// or, where even that flag is unknown, a rename after a look: snapshots are
// written by one queue of one instance only, so nobody takes the name in
// between.
int publishIfAbsent(const std::string& temporary, const std::filesystem::path& target) {
  if (fileSystemCalls().link(temporary.c_str(), target.c_str()) == 0) {
    ::unlink(temporary.c_str());
    return 0;
  }
  if (!noHardLinks(errno)) return errno;
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP) return errno;
  struct stat existing;
  if (::lstat(target.c_str(), &existing) == 0) return EEXIST;
  if (::rename(temporary.c_str(), target.c_str()) != 0) return errno;
  return 0;
}

}  // namespace

std::optional<std::string> writeFileDurably(const std::filesystem::path& target,
                                            std::string_view bytes) {
  errno = 0;
  int error = viaTemporary(
      target, [&](int fd) { return writeAll(fd, bytes.data(), bytes.size()); },
      [&](const std::string& temporary) { return renameOver(temporary, target); });
  if (error) return errorText(error);
  return std::nullopt;
}

std::optional<std::string> replaceFile(const std::filesystem::path& target,
                                       std::string_view bytes) {
  errno = 0;
  int error = viaTemporary(
      target, [&](int fd) { return writeAll(fd, bytes.data(), bytes.size()); },
      [&](const std::string& temporary) { return renameOver(temporary, target, false); }, false);
  if (error) return errorText(error);
  return std::nullopt;
}

std::optional<std::string> copyFileDurably(const std::filesystem::path& source,
                                           const std::filesystem::path& target) {
  Descriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (from.get() < 0) return errorText(errno);
  errno = 0;
  int error = viaTemporary(
      target, [&](int fd) { return copyContent(from.get(), fd); },
      [&](const std::string& temporary) { return renameOver(temporary, target); });
  if (error) return errorText(error);
  return std::nullopt;
}

std::optional<std::string> keepVersionOf(const std::filesystem::path& source,
                                         const std::filesystem::path& target) {
  // The temporary name is made by mkstemp and given up at once, so the link
  // below finds it free unless another writer raced us; then copy instead.
  std::string temporary;
  int fd = createTemporary(target, temporary);
  if (fd < 0) return errorText(errno);
  ::close(fd);
  ::unlink(temporary.c_str());
  if (fileSystemCalls().link(source.c_str(), temporary.c_str()) == 0) {
    if (int error = renameOver(temporary, target)) {
      ::unlink(temporary.c_str());
      return errorText(error);
    }
    return std::nullopt;
  }
  return copyFileDurably(source, target);
}

int copyFileIfAbsent(const std::filesystem::path& source, const std::filesystem::path& target) {
  Descriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (from.get() < 0) return errno;
  struct stat existing;
  if (::lstat(target.c_str(), &existing) == 0) return EEXIST;
  errno = 0;
  return viaTemporary(
      target, [&](int fd) { return copyContent(from.get(), fd); },
      [&](const std::string& temporary) {
        if (int error = publishIfAbsent(temporary, target)) return error;
        return syncFolder(folderOf(target));
      });
}

std::optional<std::string> publishFile(const std::filesystem::path& temporary,
                                       const std::filesystem::path& target) {
  Descriptor fd(::open(temporary.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errorText(errno);
  if (fileSystemCalls().fsync(fd.get()) != 0) return errorText(errno);
  fd.reset();
  if (int error = renameOver(temporary.string(), target)) return errorText(error);
  return std::nullopt;
}

std::optional<std::filesystem::path> newTemporaryBeside(const std::filesystem::path& target) {
  std::string path;
  int fd = createTemporary(target, path);
  if (fd < 0) return std::nullopt;
  ::close(fd);
  return std::filesystem::path(path);
}

void removeStaleTemporaries(const std::filesystem::path& folder) {
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.starts_with(kTemporaryPrefix) && it->is_regular_file(ec)) {
      std::filesystem::remove(it->path(), ec);
    }
  }
}

void removeEntry(const std::filesystem::path& entry) {
  std::error_code ec;
  std::filesystem::remove_all(entry, ec);
}

std::optional<std::string> readWholeFile(const std::filesystem::path& file) {
  Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  struct stat info;
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  std::string content;
  content.resize(static_cast<size_t>(info.st_size));
  size_t have = 0;
  while (have < content.size()) {
    ssize_t n = ::read(fd.get(), content.data() + have, content.size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;  // the file shrank
    have += static_cast<size_t>(n);
  }
  content.resize(have);
  // The file may have grown since fstat: take the rest without a large guess.
  char more[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd.get(), more, sizeof more);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    content.append(more, static_cast<size_t>(n));
  }
  return content;
}

}  // namespace mlfk
