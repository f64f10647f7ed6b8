#include "panes/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lectern {
namespace {

// Work shared the way the search shares files: each run takes the next item until none is left.
struct Items {
  explicit Items(size_t count) : done(count) {}
  void Take(std::atomic<int>* runs = nullptr) {
    if (runs) ++*runs;
    for (size_t i = next.fetch_add(1); i < done.size(); i = next.fetch_add(1)) done[i].fetch_add(1);
  }
  bool EachDoneOnce() const {
    for (const auto& count : done)
      if (count.load() != 1) return false;
    return true;
  }
  std::atomic<size_t> next{0};
  std::vector<std::atomic<int>> done;
};

TEST(ThreadPoolTest, CallersAtOnceEachGetTheirWorkDoneOnceAndTheThreadsAreKept) {
  ThreadPool& pool = ThreadPool::Shared();
  constexpr int kCallers = 8;
  for (int round = 0; round < 20; ++round) {
    std::vector<std::unique_ptr<Items>> items;
    std::vector<std::thread> callers;
    for (int c = 0; c < kCallers; ++c) items.push_back(std::make_unique<Items>(5000));
    for (int c = 0; c < kCallers; ++c)
      callers.emplace_back([&, c] { pool.Run(3, [&] { items[size_t(c)]->Take(); }); });
    for (std::thread& caller : callers) caller.join();
    for (int c = 0; c < kCallers; ++c)
      ASSERT_TRUE(items[size_t(c)]->EachDoneOnce()) << "round " << round << " caller " << c;
  }
  size_t made = pool.thread_count();
  EXPECT_LE(made, size_t(kCallers) * 3);
  pool.Run(2, [] {});
  EXPECT_EQ(pool.thread_count(), made);
}

// The window's searches: posted, each sharing its own work out again from the kept thread it runs on.
TEST(ThreadPoolTest, PostedWorkRunsOnKeptThreadsAndMayShareItsOwnWorkOut) {
  ThreadPool& pool = ThreadPool::Shared();
  constexpr int kPosts = 16;
  std::vector<std::unique_ptr<Items>> items;
  for (int i = 0; i < kPosts; ++i) items.push_back(std::make_unique<Items>(2000));
  std::mutex mutex;
  std::condition_variable changed;
  int ended = 0;
  std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool> ran_on_caller{false};
  for (int i = 0; i < kPosts; ++i) {
    pool.Post([&, i] {
      if (std::this_thread::get_id() == caller) ran_on_caller = true;
      pool.Run(2, [&] { items[size_t(i)]->Take(); });
      std::lock_guard lock(mutex);
      ++ended;
      changed.notify_all();
    });
  }
  std::unique_lock lock(mutex);
  ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return ended == kPosts; }));
  EXPECT_FALSE(ran_on_caller);
  for (int i = 0; i < kPosts; ++i) EXPECT_TRUE(items[size_t(i)]->EachDoneOnce()) << "post " << i;
}

TEST(ThreadPoolTest, ABusyPoolDoesNotHoldUpACallerWhoseWorkIsDone) {
  ThreadPool& pool = ThreadPool::Shared();
  // Every thread the pool may make is held by one long run; the next caller's helpers cannot start.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> holding{0};
  std::thread holder([&] {
    pool.Run(ThreadPool::kMostThreads, [&] {
      ++holding;
      released.wait();
    });
  });
  while (size_t(holding.load()) < ThreadPool::kMostThreads + 1) std::this_thread::yield();
  Items items(100);
  std::atomic<int> runs{0};
  pool.Run(4, [&] { items.Take(&runs); });
  EXPECT_TRUE(items.EachDoneOnce());
  EXPECT_EQ(runs.load(), 1) << "the withdrawn runs never started";
  release.set_value();
  holder.join();
  EXPECT_EQ(pool.thread_count(), ThreadPool::kMostThreads);
}

}  // namespace
}  // namespace lectern
