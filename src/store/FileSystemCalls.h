#pragma once

namespace mlfk {

// The system calls whose failures decide what a write reports. Tests swap
// them to act out file systems this machine does not have: no hard links,
// a folder that cannot be synced.
struct FileSystemCalls {
  int (*link)(const char* from, const char* to);
  int (*fsync)(int fd);
};

FileSystemCalls& fileSystemCalls();

}  // namespace mlfk
