// The out-of-memory message, and an operator new that remembers the request it could not serve.
#include "core/memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace karvelo {

namespace {

// The process's memory in kB as /proc/self/status gives it under `key`, or 0 when it does not tell.
// Read without allocating: it is called where an allocation has just failed.
long long StatusKb(const char* key) {
  const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[4096];
  const ssize_t got = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (got <= 0) return 0;
  text[got] = '\0';
  const char* at = std::strstr(text, key);
  return at ? std::atoll(at + std::strlen(key)) : 0;
}

// What the process had mapped when memory was last refused, plus the refused request, in bytes.
std::atomic<long long> g_neededAtFailure{0};

}  // namespace

void NoteFailedRequest(std::size_t bytes) {
  // Memory is refused where the address space is limited (ulimit -v) or committed memory is
  // accounted strictly: both count what the process has mapped, resident or not. Measured now,
  // before the failing step lets go of what it held.
  const long long held = std::max(StatusKb("VmSize:"), StatusKb("VmHWM:")) * 1024;
  g_neededAtFailure.store(held + static_cast<long long>(bytes));
}

std::string OutOfMemoryMessage(const std::string& step) {
  long long bytes = g_neededAtFailure.exchange(0);
  if (bytes == 0) bytes = std::max(StatusKb("VmSize:"), StatusKb("VmHWM:")) * 1024;
  const long long mb = (bytes + (1 << 20) - 1) >> 20;
  return "Not enough memory for " + step + " (about " + std::to_string(mb) + " MB needed)";
}

}  // namespace karvelo

// The sanitizers bring operator new of their own, which must stay in place for their checks.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KARVELO_OWN_NEW 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define KARVELO_OWN_NEW 0
#endif
#endif
#ifndef KARVELO_OWN_NEW
#define KARVELO_OWN_NEW 1
#endif
#if KARVELO_OWN_NEW
void* operator new(std::size_t size) {
  if (size == 0) size = 1;
  for (;;) {
    if (void* p = std::malloc(size)) return p;
    std::new_handler handler = std::get_new_handler();
    if (!handler) {
      karvelo::NoteFailedRequest(size);
      throw std::bad_alloc();
    }
    handler();
  }
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#endif
