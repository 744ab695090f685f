#include <csignal>

#include "app/AppDelegate.h"

int main(int argc, char** argv) {
  // A write past a file-size limit must fail like any other write, with an
  // answer to the page, instead of killing the program.
  std::signal(SIGXFSZ, SIG_IGN);
  mlfk::AppDelegate app;
  app.run(argc, argv);
  return 0;
}
