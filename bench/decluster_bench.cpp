// Benchmark of declustering: the ring search cell by cell against Karvelo's search, on scattered
// observations. Usage: decluster_bench [size=2000] [observations=200] [plain=1]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "core/numfmt.h"
#include "mapping/decluster.h"
#include "bench_support.h"

namespace {

using namespace karvelo;

// The ring search as the program describes it, cell by cell.
void RingSearch(const ByteRaster& pres, const ByteRaster& abs, int n, ByteRaster& out) {
  const double D = std::sqrt(2.0 * n * n);
  for (int r = 1; r <= n; ++r) {
    for (int c = 1; c <= n; ++c) {
      if (pres.at(r, c) || abs.at(r, c)) {
        out.at(r, c) = pres.at(r, c) ? 1 : 0;
        continue;
      }
      double best = D;
      int by = -1, bx = -1, k = 0, kMax = RoundToInt(D);
      bool found = false;
      auto test = [&](int y, int x) {
        if (pres.at(y, x) || abs.at(y, x)) {
          const double d = std::sqrt(static_cast<double>((x - c) * (x - c) + (y - r) * (y - r)));
          if (d < best) best = d, by = y, bx = x, found = true;
        }
      };
      do {
        ++k;
        const int top = std::max(r - k, 1), bottom = std::min(r + k, n), left = std::max(c - k, 1), right = std::min(c + k, n);
        for (int p = top; p <= bottom; ++p) test(p, left), test(p, right);
        for (int q = left; q <= right; ++q) test(top, q), test(bottom, q);
        if (found) kMax = std::min(kMax, k + 3);
      } while (k != kMax);
      out.at(r, c) = abs.at(by, bx) ? 0 : 1;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::stoi(argv[1]) : 2000;
  const int count = argc > 2 ? std::stoi(argv[2]) : 200;
  const bool plain = argc > 3 ? std::stoi(argv[3]) != 0 : true;
  auto pres = std::make_unique<ByteRaster>(), abs = std::make_unique<ByteRaster>();
  unsigned x = 4242;
  for (int i = 0; i < count; ++i) {
    x = x * 1103515245u + 12345u;
    const int r = 1 + static_cast<int>((x >> 8) % static_cast<unsigned>(n));
    x = x * 1103515245u + 12345u;
    const int c = 1 + static_cast<int>((x >> 8) % static_cast<unsigned>(n));
    (i % 3 ? pres : abs)->at(r, c) = 1;
  }
  bench::QuietShell shell;
  auto fast = std::make_unique<ByteRaster>();
  auto t0 = std::chrono::steady_clock::now();
  DeclusterKinds(*pres, *abs, n, n, *fast, shell);
  const double tf = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("declustering %d x %d cells with %d observations: %.2f s (%.1f Mcells/s)\n", n, n, count, tf,
              static_cast<double>(n) * n / tf / 1e6);
  if (plain) {
    auto slow = std::make_unique<ByteRaster>();
    t0 = std::chrono::steady_clock::now();
    RingSearch(*pres, *abs, n, *slow);
    const double ts = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    long long differ = 0;
    for (int r = 1; r <= n; ++r)
      for (int c = 1; c <= n; ++c) differ += fast->at(r, c) != slow->at(r, c);
    std::printf("ring search cell by cell: %.2f s; %.0f x slower; cells that differ: %lld\n", ts, ts / tf, differ);
  }
  return 0;
}
