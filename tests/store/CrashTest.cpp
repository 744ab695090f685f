#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>

#include "CrashText.h"
#include "store/FarmStore.h"
#include "support/TempDir.h"

extern char** environ;

namespace mlfk {
namespace {

size_t temporariesIn(const std::filesystem::path& folder) {
  size_t count = 0;
  for (auto& e : std::filesystem::directory_iterator(folder))
    if (e.path().filename().string().starts_with(".mlfk-tmp-")) ++count;
  return count;
}

// Kills a process that saves as fast as it can at random moments: every
// time, the database must be exactly one of the texts it saved.
TEST(StoreCrash, KilledWriterLeavesOneWholeDatabase) {
  test::TempDir temp;
  const auto folder = temp / "data";
  std::mt19937 random(20261206);
  std::uniform_int_distribution<int> delayMicros(0, 20000);

  for (int round = 0; round < 200; ++round) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string first = std::to_string(round * 1000000ull);
    std::string folderArg = folder.string();
    char* argv[] = {const_cast<char*>(MLFK_CRASH_WRITER), folderArg.data(),
                    const_cast<char*>(first.c_str()), nullptr};
    pid_t child;
    ASSERT_EQ(posix_spawn(&child, MLFK_CRASH_WRITER, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    char ready[6];
    ASSERT_EQ(::read(out[0], ready, sizeof ready), 6) << "writer did not start";
    ::close(out[0]);

    ::usleep(delayMicros(random));
    ::kill(child, SIGKILL);
    int status;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    const std::string saved = test::readFile(folder / "farm-data.json");
    ASSERT_GT(saved.size(), 8u) << "round " << round;
    const auto number = saved.substr(8, saved.find(',') - 8);
    ASSERT_EQ(saved, test::crashText(std::stoull(number))) << "torn database in round " << round;
    ASSERT_LE(temporariesIn(folder), 1u);  // at most the write that was cut off

    FarmStore restarted(folder, std::make_shared<SystemClock>());
    ASSERT_EQ(temporariesIn(folder), 0u);
  }
}

}  // namespace
}  // namespace mlfk
