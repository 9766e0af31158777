// SPDX-License-Identifier: MIT
// The library's worker pool: every task runs once, failures come back to the caller, and calls
// from several threads or from inside a task finish.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/ThreadPool.h"

namespace {

TEST(ThreadPool, EveryTaskRunsExactlyOnceForAnyThreadCount) {
  ThreadPool& pool = ThreadPool::Shared();
  for (int32_t threads : {0, 1, 2, 3, 64}) {
    for (int32_t count : {0, 1, 2, 7, 1000}) {
      std::vector<std::atomic<int>> runs(static_cast<size_t>(count));
      pool.ForEach(count, threads, [&](int32_t i) { runs[static_cast<size_t>(i)]++; });
      for (int32_t i = 0; i < count; ++i)
        ASSERT_EQ(runs[static_cast<size_t>(i)].load(), 1)
            << "task " << i << " of " << count << " with " << threads << " threads";
    }
  }
}

TEST(ThreadPool, OneThreadRunsInOrderOnTheCaller) {
  std::vector<int32_t> order;
  const std::thread::id caller = std::this_thread::get_id();
  bool allOnCaller = true;
  ThreadPool::Shared().ForEach(50, 1, [&](int32_t i) {
    order.push_back(i);
    allOnCaller = allOnCaller && std::this_thread::get_id() == caller;
  });
  ASSERT_EQ(order.size(), 50u);
  for (int32_t i = 0; i < 50; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
  EXPECT_TRUE(allOnCaller);
}

TEST(ThreadPool, TheFirstExceptionReachesTheCallerAfterTheOthersEnd) {
  std::atomic<int> inside{0};
  std::atomic<int> maxInsideAfter{0};
  EXPECT_THROW(ThreadPool::Shared().ForEach(200, 4,
                                            [&](int32_t i) {
                                              inside++;
                                              if (i == 17) {
                                                inside--;
                                                throw std::runtime_error("task 17");
                                              }
                                              inside--;
                                            }),
               std::runtime_error);
  maxInsideAfter = inside.load();
  EXPECT_EQ(maxInsideAfter.load(), 0) << "a task was still running when ForEach returned";
}

TEST(ThreadPool, NestedAndConcurrentCallsFinish) {
  std::atomic<int64_t> sum{0};
  std::vector<std::thread> hosts;
  for (int host = 0; host < 4; ++host) {
    hosts.emplace_back([&] {
      ThreadPool::Shared().ForEach(8, 0, [&](int32_t outer) {
        ThreadPool::Shared().ForEach(16, 0, [&](int32_t inner) { sum += outer * 16 + inner; });
      });
    });
  }
  for (std::thread& t : hosts) t.join();
  EXPECT_EQ(sum.load(), 4 * (127 * 128 / 2));
}

TEST(ThreadPool, ResolveCapsAtThePoolAndTakesZeroAsTheDefault) {
  const int32_t capacity = ThreadPool::Shared().Capacity();
  EXPECT_GE(capacity, 1);
  EXPECT_EQ(ThreadPool::Resolve(0), capacity);
  EXPECT_EQ(ThreadPool::Resolve(1), 1);
  EXPECT_EQ(ThreadPool::Resolve(100000), capacity);
}

}  // namespace
