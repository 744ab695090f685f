#include "store/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace mlfk {
namespace {

TEST(SerialQueue, RunsHandedOverWorkOneAtATimeOffTheCallersThread) {
  SerialQueue queue;
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> done{0};
  const auto caller = std::this_thread::get_id();
  EXPECT_NE(queue.sync([] { return std::this_thread::get_id(); }), caller);

  std::vector<std::thread> callers;
  for (int t = 0; t < 4; ++t) {
    callers.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        int result = queue.sync([&] {
          if (inside.fetch_add(1) != 0) overlaps++;
          std::this_thread::yield();
          inside.fetch_sub(1);
          return i;
        });
        if (result == i) done++;
      }
    });
  }
  for (auto& c : callers) c.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(done.load(), 800);
}

}  // namespace
}  // namespace mlfk
