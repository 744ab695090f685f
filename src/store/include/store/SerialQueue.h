#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <type_traits>

namespace mlfk {

// One worker thread that runs handed-over tasks one after another. Callers
// wait for their task's result, so file work never overlaps and never runs
// concurrently with the caller.
class SerialQueue {
 public:
  SerialQueue();
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  template <typename F>
  std::invoke_result_t<F&> sync(F&& work) {
    using R = std::invoke_result_t<F&>;
    if (std::this_thread::get_id() == worker_.get_id()) return work();  // nested hand-over
    std::packaged_task<R()> task(std::forward<F>(work));
    std::future<R> result = task.get_future();
    post([&task] { task(); });
    return result.get();
  }

  // Hands `work` over without waiting for it; it must not throw.
  void async(std::function<void()> work) { post(std::move(work)); }

 private:
  void post(std::function<void()> task);
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace mlfk
