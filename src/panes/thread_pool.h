// Threads kept for the life of the process, for work shared out across the cores. A thread made
// for each search starts on the core of the thread that made it and shares that core until the
// scheduler's balancer moves it some milliseconds later; a kept thread, woken for the work, is put
// on an idle core at once. A scan of the whole handbook runs about a tenth faster from a worker
// thread this way.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace lectern {

class ThreadPool {
 public:
  // The process's pool. Its threads are made as they are first needed and wait for work until the
  // process ends.
  static ThreadPool& Shared();

  // Runs `work` on the calling thread and on up to `helpers` kept threads at once, and returns when
  // every run has returned. Runs not started by the time the caller's own has returned are
  // withdrawn, so a pool busy with other callers' work never holds this one up: `work` must take
  // its share from work that any number of runs, one included, finish between them.
  void Run(unsigned helpers, const std::function<void()>& work);

  // Runs `work` on a kept thread and returns at once (or, when the system gives no thread at all,
  // runs it here). It is never withdrawn; `work` tells its caller itself when it is over.
  void Post(std::function<void()> work);

  // Threads made so far.
  size_t thread_count() const;

  // Most threads the pool makes; work asked beyond them waits for a free one, or is withdrawn.
  static constexpr size_t kMostThreads = 64;

 private:
  ThreadPool() = default;
  struct Batch;
  struct Task {
    const std::function<void()>* work;  // a batch's share, or null for `posted`
    Batch* batch;
    std::function<void()> posted;
  };
  // Queues `task` and makes a thread when none is idle for it; under mutex_.
  void Queue(Task task);
  void Serve();

  mutable std::mutex mutex_;
  std::condition_variable work_waiting_;
  std::deque<Task> queue_;  // under mutex_
  size_t threads_ = 0;      // under mutex_
  size_t idle_ = 0;         // under mutex_: threads waiting for work
};

}  // namespace lectern
