#pragma once

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "store/FileSystemCalls.h"

namespace mlfk::test {

// Acts out a file system that refuses some calls, for the life of one test.
class FileSystemFaults {
 public:
  FileSystemFaults() : saved_(fileSystemCalls()) {}
  ~FileSystemFaults() { fileSystemCalls() = saved_; }
  FileSystemFaults(const FileSystemFaults&) = delete;

  // link() fails with `error`, as on FAT and exFAT.
  void failLinks(int error) {
    linkError = error;
    fileSystemCalls().link = [](const char*, const char*) { return errno = linkError, -1; };
  }
  // fsync() of a folder fails with `error`; files still sync.
  void failFolderSync(int error) {
    folderSyncError = error;
    folderSyncs = 0;
    fileSystemCalls().fsync = [](int fd) {
      struct stat info;
      if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode)) return ::fsync(fd);
      ++folderSyncs;
      return errno = folderSyncError, -1;
    };
  }
  // fsync() works, and is counted for files and folders apart.
  void countSyncs() {
    fileSyncs = folderSyncs = 0;
    fileSystemCalls().fsync = [](int fd) {
      struct stat info;
      ++(::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) ? folderSyncs : fileSyncs);
      return ::fsync(fd);
    };
  }
  static inline int folderSyncs = 0, fileSyncs = 0;

 private:
  static inline int linkError = 0, folderSyncError = 0;
  FileSystemCalls saved_;
};

}  // namespace mlfk::test
