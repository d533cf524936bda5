// Temporary names in the target folder, whole-file renames, and the fault-injection write limit.
#include "core/atomicfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>

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

}  // namespace

std::size_t WriteAllowance(std::size_t size) {
  std::atomic<long long>& limit = WriteLimit();
  long long left = limit.load();
  if (left < 0) return size;
  for (;;) {
    const long long take = std::min<long long>(left, static_cast<long long>(size));
    if (limit.compare_exchange_weak(left, left - take)) return static_cast<std::size_t>(take);
  }
}

void SetWriteLimit(long long bytes) { WriteLimit().store(bytes < 0 ? -1 : bytes); }

bool IsTemporaryOutputName(std::string_view fileName) {
  return fileName.size() > 1 && fileName[0] == '.' && fileName.find(kTempMarker) != std::string_view::npos;
}

AtomicFile::AtomicFile(fs::path finalPath) : final_(std::move(finalPath)) {
  const fs::path dir = final_.parent_path();
  const std::string base = "." + final_.filename().string() + std::string(kTempMarker) + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = dir / (base + std::to_string(g_counter.fetch_add(1)));
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) return;
    if (errno != EEXIST) break;
  }
  ThrowSystemFileError(final_, "cannot create the file");
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
