// Temporary names in the target folder, whole-file renames, and the fault-injection write limit.
#include "core/atomicfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "core/errors.h"

namespace karvelo {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTempMarker = ".karvelo-tmp-";

std::atomic<unsigned> g_counter{0};

long long InitialWriteLimit() {
  const char* text = std::getenv("KARVELO_WRITE_LIMIT");
  if (!text || !*text) return -1;
  long long v = -1;
  const auto res = std::from_chars(text, text + std::strlen(text), v);
  return res.ec == std::errc() && v >= 0 ? v : -1;
}

std::atomic<long long>& WriteLimit() {
  static std::atomic<long long> limit{InitialWriteLimit()};
  return limit;
}

// A free temporary name beside `final`, reserved by creating it; -1 when none could be made.
int CreateTemporary(const fs::path& final, fs::path& temp) {
  const std::string base = "." + final.filename().string() + std::string(kTempMarker) + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = final.parent_path() / (base + std::to_string(g_counter.fetch_add(1)));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The open stage of this process: what it holds, by final name, in the order it was finished.
struct Staged {
  fs::path final;
  fs::path temp;     // empty: the final file is retired
};
struct Stage {
  std::mutex mutex;
  bool open = false;
  fs::path immediate;
  std::vector<Staged> files;
};
Stage& TheStage() {
  static Stage stage;
  return stage;
}

fs::path Normal(const fs::path& p) {
  std::error_code ec;
  const fs::path a = fs::absolute(p, ec);
  return (ec ? p : a).lexically_normal();
}

bool Inside(const fs::path& file, const fs::path& folder) {
  if (folder.empty()) return false;
  const fs::path f = Normal(file), d = Normal(folder);
  auto fi = f.begin();
  for (auto di = d.begin(); di != d.end(); ++di, ++fi) {
    if (di->empty()) continue;  // the trailing separator of "dir/"
    if (fi == f.end() || *fi != *di) return false;
  }
  return true;
}

// The stage's entry for `final`, or nullptr. The stage's mutex is held by the caller.
Staged* Find(Stage& stage, const fs::path& final) {
  const fs::path key = Normal(final);
  for (Staged& s : stage.files) {
    if (s.final == key) return &s;
  }
  return nullptr;
}

// Hands a finished temporary file (or, with an empty temp, the retirement of `final`) to the open
// stage; false when no stage takes it and the caller must act at once.
bool JoinStage(const fs::path& final, const fs::path& temp) {
  Stage& stage = TheStage();
  std::lock_guard lock(stage.mutex);
  if (!stage.open || Inside(final, stage.immediate)) return false;
  if (Staged* s = Find(stage, final)) {
    // Written again within the step: only the last version is a result.
    if (!s->temp.empty()) ::unlink(s->temp.c_str());
    s->temp = temp;
    return true;
  }
  stage.files.push_back({Normal(final), temp});
  return true;
}

}  // namespace

long TemporaryNameProcess(std::string_view name) {
  if (!IsTemporaryOutputName(name)) return 0;
  const std::size_t at = name.find(kTempMarker) + kTempMarker.size();
  long pid = 0;
  const auto res = std::from_chars(name.data() + at, name.data() + name.size(), pid);
  return res.ec == std::errc() && res.ptr < name.data() + name.size() && *res.ptr == '-' ? pid : 0;
}

ResultStage::ResultStage(fs::path immediate) {
  Stage& stage = TheStage();
  std::lock_guard lock(stage.mutex);
  active_ = true;
  if (stage.open) return;
  outer_ = true;
  stage.open = true;
  stage.immediate = std::move(immediate);
  stage.files.clear();
}

ResultStage::~ResultStage() { Abandon(); }

void ResultStage::Abandon() {
  if (!active_) return;
  active_ = false;
  // A part of a step that stops abandons what the whole step staged so far: none of it is whole.
  Stage& stage = TheStage();
  std::lock_guard lock(stage.mutex);
  for (const Staged& s : stage.files) {
    if (!s.temp.empty()) ::unlink(s.temp.c_str());
  }
  stage.files.clear();
  if (outer_) stage.open = false;
  outer_ = false;
}

std::vector<ResultStage::File> ResultStage::Release() {
  std::vector<File> released;
  if (!active_) return released;
  active_ = false;
  Stage& stage = TheStage();
  std::lock_guard lock(stage.mutex);
  for (Staged& s : stage.files) released.push_back({std::move(s.final), std::move(s.temp)});
  stage.files.clear();
  if (outer_) stage.open = false;
  outer_ = false;
  return released;
}

void ResultStage::Commit() {
  if (!active_) return;
  active_ = false;
  if (!outer_) return;
  Stage& stage = TheStage();
  std::vector<Staged> files;
  {
    std::lock_guard lock(stage.mutex);
    files.swap(stage.files);
    stage.open = false;
    outer_ = false;
  }
  // Each earlier version is kept under a second name until every file is in place, so that a
  // rename that fails half-way can be undone.
  struct Done {
    const Staged* file;
    fs::path backup;  // the earlier version, or empty when there was none
  };
  std::vector<Done> done;
  auto undo = [&] {
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
      if (!it->backup.empty()) {
        ::rename(it->backup.c_str(), it->file->final.c_str());
      } else if (!it->file->temp.empty()) {
        ::unlink(it->file->final.c_str());
      }
    }
  };
  for (std::size_t i = 0; i < files.size(); ++i) {
    const Staged& s = files[i];
    Done d{&s, {}};
    fs::path backup;
    const int fd = CreateTemporary(s.final, backup);
    if (fd >= 0) {
      ::close(fd);
      ::unlink(backup.c_str());
      // Retiring moves the file aside; replacing keeps a second link to it.
      const int kept = s.temp.empty() ? ::rename(s.final.c_str(), backup.c_str()) : ::link(s.final.c_str(), backup.c_str());
      if (kept == 0) d.backup = backup;
    }
    if (!s.temp.empty() && ::rename(s.temp.c_str(), s.final.c_str()) != 0) {
      const int err = errno;
      if (!d.backup.empty()) ::unlink(d.backup.c_str());
      undo();
      for (std::size_t j = i; j < files.size(); ++j) {
        if (!files[j].temp.empty()) ::unlink(files[j].temp.c_str());
      }
      for (const Done& earlier : done) {
        if (!earlier.backup.empty()) ::unlink(earlier.backup.c_str());
      }
      errno = err;
      ThrowSystemFileError(s.final, "cannot replace the file");
    }
    done.push_back(d);
  }
  for (const Done& d : done) {
    if (!d.backup.empty()) ::unlink(d.backup.c_str());
  }
}

fs::path ReadablePath(const fs::path& path) {
  Stage& stage = TheStage();
  std::lock_guard lock(stage.mutex);
  if (!stage.open) return path;
  const Staged* s = Find(stage, path);
  if (!s) return path;
  // A retired file reads as missing.
  return s->temp.empty() ? path.parent_path() / (path.filename().string() + std::string(kTempMarker) + "retired") : s->temp;
}

bool ExistsAfterCommit(const fs::path& path) {
  {
    Stage& stage = TheStage();
    std::lock_guard lock(stage.mutex);
    if (stage.open) {
      if (const Staged* s = Find(stage, path)) return !s->temp.empty();
    }
  }
  std::error_code ec;
  return fs::exists(path, ec);
}

void StageFinishedFile(const fs::path& final, const fs::path& temp) {
  if (JoinStage(final, temp)) return;
  if (::rename(temp.c_str(), final.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    errno = err;
    ThrowSystemFileError(final, "cannot replace the file");
  }
}

void RemoveOutput(const fs::path& path) {
  std::error_code ec;
  if (JoinStage(path, {})) return;
  fs::remove(path, ec);
}

static std::atomic<std::size_t (*)(std::size_t)> g_delegate{nullptr};

std::size_t WriteAllowance(std::size_t size) {
  if (const auto delegate = g_delegate.load()) return delegate(size);
  std::atomic<long long>& limit = WriteLimit();
  long long left = limit.load();
  if (left < 0) return size;
  for (;;) {
    const long long take = std::min<long long>(left, static_cast<long long>(size));
    if (limit.compare_exchange_weak(left, left - take)) return static_cast<std::size_t>(take);
  }
}

void DelegateWriteAllowance(std::size_t (*allowance)(std::size_t)) { g_delegate.store(allowance); }

void SetWriteLimit(long long bytes) { WriteLimit().store(bytes < 0 ? -1 : bytes); }

bool IsTemporaryOutputName(std::string_view fileName) {
  return fileName.size() > 1 && fileName[0] == '.' && fileName.find(kTempMarker) != std::string_view::npos;
}

AtomicFile::AtomicFile(fs::path finalPath) : final_(std::move(finalPath)) {
  fd_ = CreateTemporary(final_, temp_);
  if (fd_ < 0) {
    temp_.clear();
    ThrowSystemFileError(final_, "cannot create the file");
  }
}

AtomicFile::~AtomicFile() { Abandon(); }

void AtomicFile::Write(const void* data, std::size_t size) {
  if (fd_ < 0) ThrowFileError(final_, "cannot write the file: it is already closed");
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const std::size_t allowed = WriteAllowance(size);
    if (allowed == 0) {
      errno = ENOSPC;
      ThrowSystemFileError(final_, "cannot write the file");
    }
    const ssize_t w = ::write(fd_, p, allowed);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) ThrowSystemFileError(final_, "cannot write the file");
    p += w;
    size -= static_cast<std::size_t>(w);
  }
}

void AtomicFile::Commit() {
  if (fd_ < 0) ThrowFileError(final_, "cannot write the file: it is already closed");
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp_.c_str());
    errno = err;
    ThrowSystemFileError(final_, "cannot write the file");
  }
  if (JoinStage(final_, temp_)) {
    temp_.clear();
    return;
  }
  if (::rename(temp_.c_str(), final_.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp_.c_str());
    errno = err;
    ThrowSystemFileError(final_, "cannot replace the file");
  }
  temp_.clear();
}

void AtomicFile::Abandon() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

}  // namespace karvelo
