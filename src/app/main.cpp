#include <malloc.h>

#include <csignal>

#include "AppDelegate.h"
#include "CommandLine.h"

int main(int argc, char** argv) {
  if (int status = mlfk::handleCommandLine(argc, argv); status != mlfk::kKeepRunning) return status;
  // A write past a file-size limit must fail like any other write, with an
  // answer to the page, instead of killing the program.
  std::signal(SIGXFSZ, SIG_IGN);
  // Databases of many megabytes pass through here on every save. A fixed
  // threshold keeps such buffers in their own mappings, returned on free;
  // glibc's moving threshold would keep them in the heap and the heap would grow.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  mlfk::AppDelegate app;
  app.run(argc, argv);
  return 0;
}
