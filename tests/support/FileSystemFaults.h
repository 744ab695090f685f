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
  FileSystemFaults& operator=(const FileSystemFaults&) = delete;

  // link() fails with `error`, as on FAT and exFAT.
  void failLinks(int error) {
    linkError() = error;
    fileSystemCalls().link = [](const char*, const char*) {
      errno = linkError();
      return -1;
    };
  }
  // fsync() of a folder fails with `error`; files still sync.
  void failFolderSync(int error) {
    folderSyncError() = error;
    folderSyncs() = 0;
    fileSystemCalls().fsync = [](int fd) {
      struct stat info;
      if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ++folderSyncs();
        errno = folderSyncError();
        return -1;
      }
      return ::fsync(fd);
    };
  }
  static int& folderSyncs() {
    static int count = 0;
    return count;
  }

 private:
  static int& linkError() {
    static int error = 0;
    return error;
  }
  static int& folderSyncError() {
    static int error = 0;
    return error;
  }
  FileSystemCalls saved_;
};

}  // namespace mlfk::test
