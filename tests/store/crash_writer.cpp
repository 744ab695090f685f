// Saves crashText(first), crashText(first + 1), ... into the store at argv[1]
// as fast as it can, announcing on stdout once the first save is on disk.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "CrashText.h"
#include "store/FarmStore.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  mlfk::FarmStore store(argv[1], std::make_shared<mlfk::SystemClock>());
  uint64_t n = std::strtoull(argv[2], nullptr, 10);
  if (store.persist(mlfk::test::crashText(n))) return 1;
  (void)!::write(STDOUT_FILENO, "ready\n", 6);
  for (;;) {
    if (store.persist(mlfk::test::crashText(++n))) return 1;
  }
}
