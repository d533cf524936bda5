// A small pool of worker threads that share the blocks of one job with the calling thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace karvelo {

// The number of threads a run uses when nobody chose one: one per core.
unsigned DefaultThreadCount();

// Runs the tasks 0..n-1 of one job at a time on `threads` threads, the caller's included, and
// returns when all are done. A pool of one thread runs everything on the caller, in order. Tasks
// must not talk to the Shell: only the caller reports, after the job.
class ThreadPool {
 public:
  explicit ThreadPool(unsigned threads = DefaultThreadCount());
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  unsigned Threads() const { return static_cast<unsigned>(workers_.size()) + 1; }

  // The exception of the lowest-numbered task that threw is rethrown once all tasks ended.
  void Run(std::size_t tasks, const std::function<void(std::size_t)>& task);

  // Splits rows first..last into a few blocks per thread and runs rows(from, to) on each block
  // [from, to]. For work whose blocks touch disjoint memory or whose results are combined by the
  // caller in block order.
  void ForRows(int first, int last, const std::function<void(int, int)>& rows);
  // The number of blocks ForRows makes of n rows, and the first row of block b (of first..last).
  std::size_t RowBlocks(int first, int last) const;
  static int BlockStart(int first, int last, std::size_t blocks, std::size_t b);

 private:
  void Work();
  void Drain();  // takes tasks of the current job until none is left

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void(std::size_t)>* task_ = nullptr;
  std::size_t tasks_ = 0;
  std::size_t next_ = 0;      // next task to hand out
  std::size_t finished_ = 0;  // tasks ended
  std::size_t generation_ = 0;
  bool stop_ = false;
  std::size_t failedTask_ = 0;
  std::exception_ptr failure_;
};

}  // namespace karvelo
