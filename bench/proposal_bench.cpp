// Benchmark of the class proposals on a generated square grid of skewed values with 3 decimals and
// no-data cells: the range scan, then each proposal with its passes over the file.
// Usage: proposal_bench [size=10000] [file=/tmp/karvelo-proposal-bench-SIZE.asc] [classes=8]
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "config/proposals.h"
#include "core/gridfile.h"
#include "bench_support.h"

using karvelo::bench::PeakRssMb;

namespace {

void Generate(const std::string& path, int n) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fprintf(f, "ncols %d\nnrows %d\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n", n, n);
  std::string line;
  unsigned x = 12345;
  char buf[32];
  for (int r = 0; r < n; ++r) {
    line.clear();
    for (int c = 0; c < n; ++c) {
      x = x * 1103515245u + 12345u;
      const unsigned k = (x >> 8) % 100000;
      if (k < 5000) {
        line += "-9999 ";
        continue;
      }
      // A distance-like field: many small values, a long tail.
      const double u = static_cast<double>(k) / 100000.0;
      std::snprintf(buf, sizeof buf, "%.3f ", -std::log(u) * 250.0);
      line += buf;
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), f);
  }
  std::fclose(f);
}

// Processor time of this process, so that other work on a shared machine does not count.
double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::stoi(argv[1]) : 10000;
  const std::string path = argc > 2 ? argv[2] : "/tmp/karvelo-proposal-bench-" + std::to_string(n) + ".asc";
  const int classes = argc > 3 ? std::stoi(argv[3]) : 8;
  if (!std::filesystem::exists(path)) {
    std::printf("generating %s ...\n", path.c_str());
    Generate(path, n);
  }
  const double mb = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
  karvelo::SilentShell shell;
  karvelo::TDataDef def;
  def.FileName = path;
  karvelo::ReadHeader(def, shell);
  auto t0 = std::chrono::steady_clock::now();
  double c0 = CpuSeconds();
  karvelo::ScanData(def, shell);
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%d x %d cells, %.0f MB; range scan %.2f s (processor %.2f s) (%g..%g)\n", n, n, mb, s, CpuSeconds() - c0,
              def.minvalue, def.maxvalue);
  const long rssBefore = PeakRssMb();
  for (karvelo::Proposal p : karvelo::kProposals) {
    int passes = 0;
    t0 = std::chrono::steady_clock::now();
    c0 = CpuSeconds();
    const auto texts = karvelo::ProposalTexts(def, p, classes, shell, &passes);
    s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::string joined;
    for (const auto& t : texts) joined += t + " ";
    std::printf("%-26s %.2f s (processor %.2f s), %d pass(es): %s\n", std::string(karvelo::ProposalCaption(p)).c_str(), s,
                CpuSeconds() - c0, passes, joined.c_str());
  }
  std::printf("peak resident memory: %ld MB before the proposals, %ld MB after\n", rssBefore, PeakRssMb());
  return 0;
}
