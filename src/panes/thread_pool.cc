#include "panes/thread_pool.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace lectern {

struct ThreadPool::Batch {
  size_t running = 0;  // under the pool's mutex
  std::condition_variable finished;
};

ThreadPool& ThreadPool::Shared() {
  // Never destroyed: its threads may still be waiting for work when the process ends.
  static ThreadPool* pool = new ThreadPool;
  return *pool;
}

size_t ThreadPool::thread_count() const {
  std::lock_guard lock(mutex_);
  return threads_;
}

void ThreadPool::Queue(Task task) {
  queue_.push_back(std::move(task));
  if (idle_ < queue_.size() && threads_ < kMostThreads) {
    try {
      std::thread(&ThreadPool::Serve, this).detach();
      ++threads_;
      ++idle_;
    } catch (const std::system_error&) {
      // The system has no thread to give: the task waits for one of ours, or is withdrawn.
    }
  }
  work_waiting_.notify_one();
}

void ThreadPool::Post(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    Queue({nullptr, nullptr, std::move(work)});
    if (threads_ > 0) return;
    // Not one thread could be made: the work runs here rather than never.
    work = std::move(queue_.back().posted);
    queue_.pop_back();
  }
  work();
}

void ThreadPool::Run(unsigned helpers, const std::function<void()>& work) {
  Batch batch;
  if (helpers > 0) {
    std::lock_guard lock(mutex_);
    for (unsigned i = 0; i < helpers; ++i) Queue({&work, &batch, nullptr});
  }
  work();
  if (helpers == 0) return;
  std::unique_lock lock(mutex_);
  std::erase_if(queue_, [&](const Task& task) { return task.batch == &batch; });
  batch.finished.wait(lock, [&] { return batch.running == 0; });
}

void ThreadPool::Serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_waiting_.wait(lock, [this] { return !queue_.empty(); });
    Task task = std::move(queue_.front());
    queue_.pop_front();
    --idle_;
    if (task.batch) ++task.batch->running;
    lock.unlock();
    if (task.work) {
      (*task.work)();
    } else {
      task.posted();
      task.posted = nullptr;  // what it holds goes before the thread waits again
    }
    lock.lock();
    ++idle_;
    // Under the lock: the caller cannot see the count reach zero and let the batch go before this
    // thread is done with it.
    if (task.batch && --task.batch->running == 0) task.batch->finished.notify_all();
  }
}

}  // namespace lectern
