#include "app/AppDelegate.h"

int main(int argc, char** argv) {
  mlfk::AppDelegate app;
  app.run(argc, argv);
  return 0;
}
