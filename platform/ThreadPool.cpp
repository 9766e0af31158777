// SPDX-License-Identifier: MIT
// ThreadPool: workers that take indices from the jobs of waiting callers.
#include "platform/ThreadPool.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr int32_t kMostThreads = 256;

// TESSEL_THREADS when it is a whole number from 1 to kMostThreads, else the processors.
int32_t DefaultThreads() {
  if (const char* text = std::getenv("TESSEL_THREADS"); text != nullptr && *text != '\0') {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end == '\0' && value >= 1 && value <= kMostThreads) return static_cast<int32_t>(value);
  }
  const unsigned processors = std::thread::hardware_concurrency();
  if (processors == 0) return 1;
  return processors > kMostThreads ? kMostThreads : static_cast<int32_t>(processors);
}

// One ForEach call: the next index to hand out, and how many helpers may still join.
struct Job {
  const std::function<void(int32_t)>* task = nullptr;
  int32_t count = 0;
  std::atomic<int32_t> next{0};
  int32_t helpersWanted = 0;  // workers that may still join (guarded by the pool's mutex)
  int32_t running = 0;        // threads inside RunTasks (guarded by the pool's mutex)
  std::exception_ptr error;   // the first exception a task threw (guarded by errorMutex)
  std::mutex errorMutex;
  std::atomic<bool> failed{false};
};

// Takes indices until none are left or a task has thrown.
void RunTasks(Job& job) {
  for (;;) {
    if (job.failed.load(std::memory_order_relaxed)) return;
    const int32_t index = job.next.fetch_add(1, std::memory_order_relaxed);
    if (index >= job.count) return;
    try {
      (*job.task)(index);
    } catch (...) {
      std::lock_guard<std::mutex> lock(job.errorMutex);
      if (!job.error) job.error = std::current_exception();
      job.failed.store(true, std::memory_order_relaxed);
    }
  }
}

}  // namespace

struct ThreadPool::State {
  std::mutex mutex;
  std::condition_variable workAvailable;  // a job wants helpers
  std::condition_variable jobDone;        // a helper left a job
  std::deque<Job*> jobs;                  // jobs that still want helpers, oldest first
  int32_t workers = 0;

  void WorkerLoop() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      workAvailable.wait(lock, [this] { return !jobs.empty(); });
      Job* job = jobs.front();
      if (--job->helpersWanted == 0) jobs.pop_front();
      ++job->running;
      lock.unlock();
      RunTasks(*job);
      lock.lock();
      --job->running;
      jobDone.notify_all();
    }
  }
};

ThreadPool::ThreadPool() : state_(new State) {
  state_->workers = DefaultThreads() - 1;
  for (int32_t i = 0; i < state_->workers; ++i) {
    std::thread([state = state_] { state->WorkerLoop(); }).detach();
  }
}

ThreadPool& ThreadPool::Shared() {
  static ThreadPool* pool = new ThreadPool();
  return *pool;
}

int32_t ThreadPool::Capacity() const { return state_->workers + 1; }

int32_t ThreadPool::Resolve(int32_t requested) {
  const int32_t capacity = Shared().Capacity();
  if (requested <= 0) return capacity;
  return requested < capacity ? requested : capacity;
}

void ThreadPool::ForEach(int32_t count, int32_t threads, const std::function<void(int32_t)>& task) {
  if (count <= 0) return;
  if (threads > Capacity()) threads = Capacity();
  if (threads <= 1 || count == 1) {
    for (int32_t i = 0; i < count; ++i) task(i);
    return;
  }
  Job job;
  job.task = &task;
  job.count = count;
  job.helpersWanted = (threads - 1 < count - 1) ? threads - 1 : count - 1;
  State& state = *state_;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.jobs.push_back(&job);
  }
  state.workAvailable.notify_all();
  RunTasks(job);
  {
    // No helper may join once the caller is done taking indices; then wait for those inside.
    std::unique_lock<std::mutex> lock(state.mutex);
    if (job.helpersWanted > 0) {
      for (auto it = state.jobs.begin(); it != state.jobs.end(); ++it) {
        if (*it == &job) {
          state.jobs.erase(it);
          break;
        }
      }
      job.helpersWanted = 0;
    }
    state.jobDone.wait(lock, [&job] { return job.running == 0; });
  }
  if (job.error) std::rethrow_exception(job.error);
}
