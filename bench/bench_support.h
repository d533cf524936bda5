// Shared pieces of the benchmarks: a silent Shell, generated grids, and a stopwatch.
#pragma once

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include <sys/resource.h>

#include "core/gridfile.h"
#include "core/shell.h"

namespace karvelo::bench {

// The peak resident memory of this process so far, in MB.
inline long PeakRssMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024;
}

// Benchmarks watch the clock, not the reports.
using QuietShell = SilentShell;

// A grid file as picking it on tab 1 reads it: header, then range.
inline TDataDef ScannedEntry(const std::filesystem::path& p, Shell& shell) {
  TDataDef d;
  d.FileName = p.string();
  ReadHeader(d, shell);
  ScanData(d, shell);
  return d;
}

// Kinds of generated grid: scattered observations (1 presence, 0 absence, -9999 elsewhere), a
// smooth surface of whole numbers 0..80, a smooth surface of fractions 0..1. Real maps vary
// smoothly in space; a little noise keeps class borders ragged.
enum class GridKind { Observations, Whole, Fractions };

inline void GenerateGrid(const std::filesystem::path& path, int n, GridKind kind) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fprintf(f, "ncols %d\nnrows %d\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n", n, n);
  unsigned x = 777u + static_cast<unsigned>(kind);
  std::string line;
  for (int r = 0; r < n; ++r) {
    line.clear();
    for (int c = 0; c < n; ++c) {
      x = x * 1103515245u + 12345u;
      const unsigned k = (x >> 16) % 1000;
      const double u = static_cast<double>(r) / n, v = static_cast<double>(c) / n;
      if (kind == GridKind::Observations) {
        line += k < 5 ? "1" : (k < 10 ? "0" : "-9999");
      } else if (kind == GridKind::Whole) {
        line += std::to_string(static_cast<int>(79.99 * (0.6 * u + 0.4 * v)) + (k < 20 ? 1 : 0));
      } else {
        const double f2 = 0.5 + 0.45 * std::sin(6.0 * u) * std::cos(5.0 * v) + (static_cast<double>(k) - 500) / 50000;
        line += std::to_string(f2).substr(0, 6);
      }
      line += ' ';
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), f);
  }
  std::fclose(f);
}

class Stopwatch {
 public:
  double Seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }
  void Restart() { start_ = std::chrono::steady_clock::now(); }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace karvelo::bench
