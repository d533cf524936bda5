// What one run works in: its working folder, its private work folder, its cancel flag and lock.
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/threadpool.h"

namespace karvelo {

// Thrown from the row where a running step notices that it was asked to stop; the driver's top
// reports it as "Cancelled." (window) or "karvelo: interrupted" (batch).
class Cancelled : public std::runtime_error {
 public:
  Cancelled() : std::runtime_error("Cancelled.") {}
};

// The name of the private folder inside the working folder that holds a run's temporary files.
inline constexpr const char* kWorkFolderName = "karvelo-work";
// The file in the working folder that carries the lock of the run that uses it.
inline constexpr const char* kLockFileName = ".karvelo.lock";

class RunContext {
 public:
  RunContext() = default;
  explicit RunContext(std::filesystem::path folder) : folder_(std::move(folder)) {}

  // Results (grids, pictures, tables, the log) go here. A run that was given no folder has none:
  // asking it for a place to write is a fault of its driver (NoFolder), never the process's folder.
  const std::filesystem::path& Folder() const { return folder_; }
  void SetFolder(std::filesystem::path folder) { folder_ = std::move(folder); }
  std::filesystem::path Output(std::string_view name) const { return RequiredFolder() / std::filesystem::path(name); }

  // The private folder of temporary files, created on first use. Nothing of a run's own is ever
  // written beside a user's grid.
  std::filesystem::path WorkFolder() const { return RequiredFolder() / kWorkFolderName; }
  std::filesystem::path WorkFile(std::string_view name) const;
  // Removes the work folder with everything in it; false when something could not be removed.
  bool RemoveWorkFolder() const;
  // What a run that was killed left in the working folder: unfinished outputs of processes that
  // are gone, and its work folder. Only called while this run holds the folder's lock, so no
  // running step of this folder owns them. Returns how many entries were removed.
  int RemoveLeftovers() const;

  // The flag a driver sets (from a button, or a signal handler) to stop the running step.
  bool CancelRequested() const { return cancel_->load(std::memory_order_relaxed); }
  void RequestCancel() { cancel_->store(true, std::memory_order_relaxed); }
  void ClearCancel() { cancel_->store(false, std::memory_order_relaxed); }
  // Makes `flag` the run's cancel flag (one a signal handler sets, say).
  void UseCancelFlag(std::shared_ptr<std::atomic<bool>> flag) { cancel_ = std::move(flag); }
  // Throws Cancelled when a stop was asked for. Long loops call it (through Shell::row) once per row.
  void ThrowIfCancelled() const {
    if (CancelRequested()) throw Cancelled();
  }

  // The threads that parse and format blocks of rows for this run; one per core unless a driver
  // chose a number. Made on first use.
  ThreadPool& Pool() const {
    if (!pool_) pool_ = std::make_shared<ThreadPool>(threads_);
    return *pool_;
  }
  unsigned Threads() const { return threads_; }
  void SetThreads(unsigned threads) {
    threads_ = threads < 1 ? 1 : threads;
    if (pool_ && pool_->Threads() != threads_) pool_.reset();
  }

 private:
  const std::filesystem::path& RequiredFolder() const {
    if (folder_.empty()) throw std::logic_error("a step asked for its working folder, but the run was given none");
    return folder_;
  }
  std::filesystem::path folder_;
  std::shared_ptr<std::atomic<bool>> cancel_ = std::make_shared<std::atomic<bool>>(false);
  unsigned threads_ = DefaultThreadCount();
  mutable std::shared_ptr<ThreadPool> pool_;
};

// An advisory lock on the working folder for as long as the object lives: one run per folder.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock of `folder` without waiting. False when another run holds it; a folder whose
  // lock file cannot be made at all throws FileError.
  bool TryLock(const std::filesystem::path& folder);
  void Unlock();

 private:
  int fd_ = -1;
  std::filesystem::path path_;
};

// "Another Karvelo run is using the folder <dir>."
std::string FolderInUseMessage(const std::filesystem::path& folder);

}  // namespace karvelo
