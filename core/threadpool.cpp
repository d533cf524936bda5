// The engine's thread pool: workers wait for a job, take its tasks one by one, report when done.
#include "core/threadpool.h"

#include <algorithm>

namespace karvelo {

unsigned DefaultThreadCount() { return std::max(1u, std::thread::hardware_concurrency()); }

ThreadPool::ThreadPool(unsigned threads) {
  for (unsigned i = 1; i < std::max(1u, threads); ++i) workers_.emplace_back([this] { Work(); });
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void ThreadPool::Drain() {
  std::unique_lock lock(mutex_);
  while (next_ < tasks_) {
    const std::size_t i = next_++;
    const auto* task = task_;
    lock.unlock();
    std::exception_ptr error;
    try {
      (*task)(i);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    if (error && (!failure_ || i < failedTask_)) {
      failure_ = error;
      failedTask_ = i;
    }
    if (++finished_ == tasks_) done_.notify_all();
  }
}

void ThreadPool::Work() {
  std::size_t seen = 0;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
      if (stop_) return;
      seen = generation_;
    }
    Drain();
  }
}

void ThreadPool::Run(std::size_t tasks, const std::function<void(std::size_t)>& task) {
  if (tasks == 0) return;
  if (workers_.empty() || tasks == 1) {
    for (std::size_t i = 0; i < tasks; ++i) task(i);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    task_ = &task;
    tasks_ = tasks;
    next_ = finished_ = 0;
    failure_ = nullptr;
    ++generation_;
  }
  wake_.notify_all();
  Drain();
  std::exception_ptr failure;
  {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return finished_ == tasks_; });
    failure = failure_;
    failure_ = nullptr;
    task_ = nullptr;
    tasks_ = next_ = finished_ = 0;
  }
  if (failure) std::rethrow_exception(failure);
}

std::size_t ThreadPool::RowBlocks(int first, int last) const {
  if (last < first) return 0;
  return std::min<std::size_t>(static_cast<std::size_t>(last - first) + 1, Threads() * 4u);
}

int ThreadPool::BlockStart(int first, int last, std::size_t blocks, std::size_t b) {
  const long long n = static_cast<long long>(last) - first + 1;
  return first + static_cast<int>(n * static_cast<long long>(b) / static_cast<long long>(blocks));
}

void ThreadPool::ForRows(int first, int last, const std::function<void(int, int)>& rows) {
  const std::size_t blocks = RowBlocks(first, last);
  Run(blocks, [&](std::size_t b) {
    const int from = BlockStart(first, last, blocks, b), to = BlockStart(first, last, blocks, b + 1) - 1;
    if (from <= to) rows(from, to);
  });
}

}  // namespace karvelo
