// SPDX-License-Identifier: MIT
// ThreadPool: the library's one set of worker threads, shared by every image object.
#pragma once

#include <cstdint>
#include <functional>

// Work is handed over as "run task(i) for every i below count". The calling thread takes part,
// so a call with one thread (or one task) runs every task in order on the caller: that is the
// plain path, and a faster path that splits work must give the very same result.
//
// Workers are started on first use: one fewer than the processors (the caller is the last one),
// or TESSEL_THREADS - 1 when that variable is set. Calls from several host threads at once, and
// calls from inside a task, are fine: each call finishes its own tasks even if no worker helps.
class ThreadPool {
 public:
  // The pool of the process. It lives until the process ends.
  static ThreadPool& Shared();

  // Threads a call may use when its host asked for `requested`: 0 means the default (the
  // processors, or TESSEL_THREADS), anything else is capped by the pool's size plus the caller.
  static int32_t Resolve(int32_t requested);

  // Runs task(i) for each i in [0, count) on at most `threads` threads, the caller included, and
  // returns when all have finished. If tasks throw, the first exception is rethrown here after
  // every started task has ended (tasks not yet started are skipped).
  void ForEach(int32_t count, int32_t threads, const std::function<void(int32_t)>& task);

  // Workers plus the caller: the most threads a call can use.
  int32_t Capacity() const;

  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

 private:
  struct State;
  ThreadPool();
  ~ThreadPool() = delete;  // never destroyed: workers may still wait when the process ends
  State* state_;
};
