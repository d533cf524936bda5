// The out-of-memory message, and an operator new that remembers the request it could not serve.
#include "core/memory.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace karvelo {

namespace {

std::atomic<std::size_t> g_failedRequest{0};

// The process's peak resident memory in kB (VmHWM), or 0 when the system does not tell.
long long PeakResidentKb() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  long long kb = 0;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, "VmHWM:", 6) == 0) {
      kb = std::atoll(line + 6);
      break;
    }
  }
  std::fclose(f);
  return kb;
}

}  // namespace

void NoteFailedRequest(std::size_t bytes) {
  std::size_t seen = g_failedRequest.load();
  while (bytes > seen && !g_failedRequest.compare_exchange_weak(seen, bytes)) {
  }
}

std::string OutOfMemoryMessage(const std::string& step) {
  const long long bytes = PeakResidentKb() * 1024 + static_cast<long long>(g_failedRequest.exchange(0));
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
