// The run context's folders and the working folder's lock.
#include "core/runcontext.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "core/atomicfile.h"
#include "core/errors.h"

namespace karvelo {

namespace fs = std::filesystem;

namespace {
// Marks a folder as one Karvelo made, so that a user's own folder of the same name is never emptied.
constexpr const char* kWorkFolderMark = ".karvelo-work-folder";
}  // namespace

fs::path RunContext::WorkFile(std::string_view name) const {
  const fs::path dir = WorkFolder();
  std::error_code ec;
  if (!fs::exists(dir / kWorkFolderMark, ec)) {
    if (fs::exists(dir, ec)) {
      ThrowFileError(dir, "the folder exists but was not made by Karvelo; rename or move it, Karvelo keeps its work files there");
    }
    fs::create_directories(dir, ec);
    if (ec) ThrowFileError(dir, "cannot create the work folder: " + ec.message());
    const int fd = ::open((dir / kWorkFolderMark).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) ThrowSystemFileError(dir, "cannot create the work folder");
    ::close(fd);
  }
  return dir / fs::path(name);
}

bool RunContext::RemoveWorkFolder() const {
  const fs::path dir = WorkFolder();
  std::error_code ec;
  if (!fs::exists(dir / kWorkFolderMark, ec)) return !fs::exists(dir, ec);
  fs::remove_all(dir, ec);
  return !ec;
}

int RunContext::RemoveLeftovers() const {
  int removed = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder_, ec)) {
    const long pid = TemporaryNameProcess(entry.path().filename().string());
    // kill with signal 0 only asks whether the process is there.
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      std::error_code rm;
      if (fs::remove(entry.path(), rm)) ++removed;
    }
  }
  if (fs::exists(WorkFolder() / kWorkFolderMark, ec) && RemoveWorkFolder()) ++removed;
  return removed;
}

FolderLock::~FolderLock() { Unlock(); }

bool FolderLock::TryLock(const fs::path& folder) {
  Unlock();
  const fs::path path = folder / kLockFileName;
  // The lock file is removed when a run ends, so the folder keeps no trace of it. A run that
  // opened the file just before it was removed would lock a file nobody else sees: after locking,
  // the name must still lead to the locked file, or the attempt starts over.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
      // Every result and the log go into this folder: say so, not that a lock file failed.
      ThrowFileError(folder, std::string("the folder is read-only (") + std::strerror(errno) +
                                 "); Karvelo writes its results and its log there, so choose a folder you can write to");
    }
    if (fd < 0) ThrowSystemFileError(path, "cannot create the lock file");
    int rc;
    while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
      const int err = errno;
      ::close(fd);
      if (err == EWOULDBLOCK) return false;
      errno = err;
      ThrowSystemFileError(path, "cannot lock the folder");
    }
    struct stat byName {}, byFd {};
    if (::stat(path.c_str(), &byName) == 0 && ::fstat(fd, &byFd) == 0 && byName.st_dev == byFd.st_dev &&
        byName.st_ino == byFd.st_ino) {
      fd_ = fd;
      path_ = path;
      return true;
    }
    ::close(fd);
  }
  ThrowFileError(path, "cannot lock the folder: the lock file keeps changing");
}

void FolderLock::Unlock() {
  if (fd_ < 0) return;
  // Removed while still locked, so that no other run can take the old file's lock in between.
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

std::string FolderInUseMessage(const fs::path& folder) {
  return "Another Karvelo run is using the folder " + folder.string() + ".";
}

}  // namespace karvelo
