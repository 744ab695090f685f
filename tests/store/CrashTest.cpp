#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>

#include "store/FarmStore.h"
#include "support/TempDir.h"

namespace mlfk {
namespace {

// The n-th database: its number at both ends and a body whose size and bytes
// depend on n, so a torn or mixed file cannot pass.
std::string crashText(uint64_t n) {
  std::string text = "{\"save\":" + std::to_string(n) + ",\"body\":\"";
  for (size_t i = 0, size = 1024 + (n * 7919) % (192 * 1024); i < size; ++i)
    text += static_cast<char>('a' + (n + i) % 26);
  return text + "\",\"end\":" + std::to_string(n) + "}";
}

size_t temporariesIn(const std::filesystem::path& folder) {
  size_t count = 0;
  for (auto& e : std::filesystem::directory_iterator(folder))
    count += e.path().filename().string().starts_with(".mlfk-tmp-");
  return count;
}

// Kills a process that saves as fast as it can at random moments: every
// time, the database must be exactly one of the texts it saved.
TEST(StoreCrash, KilledWriterLeavesOneWholeDatabase) {
  test::TempDir temp;
  const auto folder = temp / "data";
  std::mt19937 random(20261206);
  std::uniform_int_distribution<int> delayMicros(0, 20000);

  for (uint64_t round = 0; round < 200; ++round) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {  // saves until it is killed, saying so once the first is on disk
      FarmStore store(folder, std::make_shared<SystemClock>());
      for (uint64_t n = round * 1000000;; ++n) {
        if (store.persist(crashText(n))) ::_exit(1);
        if (n == round * 1000000) (void)!::write(ready[1], "ready", 5);
      }
    }
    ::close(ready[1]);
    char buffer[5];
    ASSERT_EQ(::read(ready[0], buffer, sizeof buffer), 5) << "writer did not start";
    ::close(ready[0]);

    ::usleep(delayMicros(random));
    ::kill(writer, SIGKILL);
    int status;
    ASSERT_EQ(::waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFSIGNALED(status));

    const std::string saved = test::readFile(folder / "farm-data.json");
    ASSERT_GT(saved.size(), 8u) << "round " << round;
    const auto number = saved.substr(8, saved.find(',') - 8);
    ASSERT_EQ(saved, crashText(std::stoull(number))) << "torn database in round " << round;
    ASSERT_LE(temporariesIn(folder), 1u);  // at most the write that was cut off

    FarmStore restarted(folder, std::make_shared<SystemClock>());
    ASSERT_EQ(temporariesIn(folder), 0u);
  }
}

}  // namespace
}  // namespace mlfk
