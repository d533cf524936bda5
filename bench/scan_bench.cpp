// Benchmark of ScanData on a generated square grid of small whole numbers with no-data cells.
// Usage: scan_bench [size=10000] [file=/tmp/karvelo-bench-SIZE.asc]
// Prints MB/s, cells/s and the peak resident memory, and the same for a plain character-by-character
// reader (std::ifstream, one token at a time) as the ratio's baseline.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/gridfile.h"
#include "core/numfmt.h"
#include "bench_support.h"

using karvelo::bench::PeakRssMb;

namespace {

void Generate(const std::string& path, int n) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fprintf(f, "ncols %d\nnrows %d\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n", n, n);
  std::string line;
  unsigned x = 12345;
  for (int r = 0; r < n; ++r) {
    line.clear();
    for (int c = 0; c < n; ++c) {
      x = x * 1103515245u + 12345u;
      const unsigned k = (x >> 16) % 10;
      line += k == 0 ? "-9999" : std::to_string(k % 8);
      line += ' ';
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), f);
  }
  std::fclose(f);
}

double PlainScanSeconds(const std::string& path, int n) {
  const auto t0 = std::chrono::steady_clock::now();
  std::ifstream in(path);
  std::string line, token;
  for (int i = 0; i < 6; ++i) std::getline(in, line);
  double lo = 1e9, hi = -1e9;
  for (long long i = 0; i < static_cast<long long>(n) * n && in >> token; ++i) {
    const double v = karvelo::ParseRealPrefix(token);
    if (v != -9999 && v < lo) lo = v;
    if (v != -9999 && v > hi) hi = v;
  }
  const auto t1 = std::chrono::steady_clock::now();
  std::printf("  (plain reader range %g..%g)\n", lo, hi);
  return std::chrono::duration<double>(t1 - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::stoi(argv[1]) : 10000;
  const std::string path = argc > 2 ? argv[2] : "/tmp/karvelo-bench-" + std::to_string(n) + ".asc";
  if (!std::filesystem::exists(path)) {
    std::printf("generating %s ...\n", path.c_str());
    Generate(path, n);
  }
  const double mb = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
  const double cells = static_cast<double>(n) * n;
  karvelo::SilentShell shell;
  karvelo::TDataDef def;
  def.FileName = path;
  karvelo::ReadHeader(def, shell);
  const long rssBefore = PeakRssMb();
  const auto t0 = std::chrono::steady_clock::now();
  const karvelo::ScanResult scan = karvelo::ScanData(def, shell);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("ScanData: %d x %d cells, %.1f MB in %.2f s: %.0f MB/s, %.1f Mcells/s; range %g..%g, %s\n", n, n, mb, s,
              mb / s, cells / s / 1e6, def.minvalue, def.maxvalue, scan.listText.c_str());
  std::printf("peak resident memory: %ld MB before the scan, %ld MB after\n", rssBefore, PeakRssMb());
  const double plain = PlainScanSeconds(path, n);
  std::printf("plain ifstream reader: %.2f s (%.0f MB/s); ScanData is %.1f x faster\n", plain, mb / plain, plain / s);
  return 0;
}
