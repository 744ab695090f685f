#include <malloc.h>

#include <csignal>

#include "AppDelegate.h"
#include "CommandLine.h"
#include "base/Log.h"

namespace {

// Once this instance has let go of its bus name and data folder, so that the
// new one opens a window instead of handing over to this one.
void startAgain() {
  g_autoptr(GError) error = nullptr;
  g_autofree char* program = g_file_read_link("/proc/self/exe", &error);
  char* argv[] = {program, nullptr};
  if (program)
    g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, &error);
  mlfk::glib::logError(error, "not started again");
}

}  // namespace

int main(int argc, char** argv) {
  if (int status = mlfk::handleCommandLine(argc, argv); status != mlfk::kKeepRunning) return status;
  // A write past a file-size limit must fail like any other write, with an
  // answer to the page, instead of killing the program.
  std::signal(SIGXFSZ, SIG_IGN);
  // Databases of many megabytes pass through here on every save. A fixed
  // threshold keeps such buffers in their own mappings, returned on free;
  // glibc's moving threshold would keep them in the heap and the heap would grow.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  auto afterQuit = mlfk::AppDelegate::AfterQuit::Exit;
  {
    mlfk::AppDelegate app;
    app.run(argc, argv);
    afterQuit = app.afterQuit();
  }
  if (afterQuit == mlfk::AppDelegate::AfterQuit::StartAgain) startAgain();
  return 0;
}
