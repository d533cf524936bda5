// Benchmark of the audit on a generated configuration (one observation grid, two auxiliary grids
// of 8 classes) against the plain way of building the work files: one reading of a grid per
// class and every work file written in full. Reports wall time and bytes written (write calls).
// Usage: audit_bench [size=4000] [folder=/tmp/karvelo-audit-bench]
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audit/audit.h"
#include "audit/workfiles.h"
#include "core/gridfile.h"
#include "core/runtables.h"
#include "bench_support.h"

namespace {

namespace fs = std::filesystem;
using namespace karvelo;

// Bytes the process has handed to write calls so far.
long long WrittenBytes() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value) {
    if (key == "wchar:") return value;
  }
  return -1;
}

void Classes(TDataDef& d, double lo, double step) {
  d.NrClasses = 8;
  for (int k = 0; k < 8; ++k) d.mclasses[static_cast<std::size_t>(k)] = {lo + k * step, lo + (k + 1) * step, 0, 0, 0, 0};
}

// The plain way: a reading of the grid for every class, and every work file written whole.
void PlainMakeBinaries(Workspace& ws, const RunContext& run) {
  auto writeFull = [](const ByteRaster& r, const fs::path& p) {
    std::FILE* f = std::fopen(p.c_str(), "wb");
    std::fwrite(r.data(), 1, ByteRaster::kCells, f);
    std::fclose(f);
  };
  auto build = [](const TDataDef& d, ByteRaster& r, auto test) {
    std::memset(r.data(), 0, ByteRaster::kCells);
    GridReader reader(d);
    reader.SkipHeader();
    for (int row = 1; row <= d.nrows; ++row) {
      for (int c = 1; c <= d.ncols; ++c) {
        if (test(reader.ReadValue())) r.at(row, c) = 1;
      }
      reader.ReadLine();
    }
  };
  std::memset(ws.InsideRaster.data(), 0, ByteRaster::kCells);
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    const TDataDef& d = ws.DataDef(i);
    if (d.NrClasses >= 2) {
      for (int k = 1; k <= d.NrClasses; ++k) {
        const auto& b = d.mclasses[static_cast<std::size_t>(k - 1)];
        build(d, ws.AuxClassRaster, [&](double x) { return b[ClassLower] <= x && x < b[ClassUpper]; });
        for (std::size_t j = 0; j < ByteRaster::kCells; ++j) ws.InsideRaster.data()[j] |= ws.AuxClassRaster.data()[j];
        writeFull(ws.AuxClassRaster, ClassMaskFileName(run, i, d, k));
      }
    }
    if (d.IsPresenceGrid()) {
      build(d, ws.PresenceRaster, [&](double x) { return x == d.PositiveIndicatorValue; });
      writeFull(ws.PresenceRaster, "Positives.bin");
    }
    if (d.IsAbsenceGrid()) {
      build(d, ws.AbsenceRaster, [&](double x) { return x == d.NegativeIndicatorValue; });
      writeFull(ws.AbsenceRaster, "Negatives.bin");
    }
  }
  writeFull(ws.InsideRaster, "InsideMap.bin");
}

// The plain audit's reading back and counting: every class mask read whole, every cell counted.
void PlainCount(Workspace& ws, const RunContext& run) {
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    TDataDef& d = ws.DataDef(i);
    if (d.NrClasses < 2) continue;
    for (int k = 1; k <= d.NrClasses; ++k) {
      std::FILE* f = std::fopen(ClassMaskFileName(run, i, d, k).c_str(), "rb");
      if (std::fread(ws.AuxClassRaster.data(), 1, ByteRaster::kCells, f) != ByteRaster::kCells) std::abort();
      std::fclose(f);
      long long cells = 0, p = 0, a = 0;
      for (int r = 1; r <= d.nrows; ++r)
        for (int c = 1; c <= d.ncols; ++c)
          if (ws.AuxClassRaster.at(r, c)) {
            ++cells;
            p += ws.PresenceRaster.at(r, c) != 0;
            a += ws.AbsenceRaster.at(r, c) != 0;
          }
      d.mclasses[static_cast<std::size_t>(k - 1)][ClassPresences] = static_cast<double>(p);
      d.mclasses[static_cast<std::size_t>(k - 1)][ClassAbsences] = static_cast<double>(a);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::stoi(argv[1]) : 4000;
  const fs::path dir = argc > 2 ? argv[2] : "/tmp/karvelo-audit-bench";
  fs::create_directories(dir);
  fs::current_path(dir);
  const fs::path obs = dir / ("obs" + std::to_string(n) + ".asc"), a1 = dir / ("whole" + std::to_string(n) + ".asc"),
                 a2 = dir / ("frac" + std::to_string(n) + ".asc");
  if (!fs::exists(obs)) {
    std::printf("generating three %d x %d grids in %s ...\n", n, n, dir.c_str());
    bench::GenerateGrid(obs, n, bench::GridKind::Observations);
    bench::GenerateGrid(a1, n, bench::GridKind::Whole);
    bench::GenerateGrid(a2, n, bench::GridKind::Fractions);
  }
  bench::QuietShell shell;
  shell.run().SetFolder(dir);
  auto ws = std::make_unique<Workspace>();
  TDataDef o = bench::ScannedEntry(obs, shell);
  o.PositiveIndicatorValue = 1;
  o.NegativeIndicatorValue = 0;
  TDataDef x = bench::ScannedEntry(a1, shell);
  Classes(x, 0, 10.2);
  TDataDef y = bench::ScannedEntry(a2, shell);
  Classes(y, 0, 0.125);
  ws->AddDataDef(o);
  ws->AddDataDef(x);
  ws->AddDataDef(y);

  RunTables tables;
  LayOutRunTables(tables);
  {
    const auto m0 = std::chrono::steady_clock::now();
    MakeBinaries(*ws, shell);
    std::printf("  (MakeBinaries alone: %.2f s)\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - m0).count());
    const auto s0 = std::chrono::steady_clock::now();
    ScanData(ws->DataDef(2), shell);
    std::printf("  (one reading of an auxiliary grid: %.2f s)\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - s0).count());
  }
  long long w0 = WrittenBytes();
  auto t0 = std::chrono::steady_clock::now();
  RunAudit(*ws, tables, shell);
  const double fast = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const long long fastBytes = WrittenBytes() - w0;
  const std::string verdict = tables.Chi2.Cell(2, 1);

  if (std::getenv("KARVELO_BENCH_FAST_ONLY")) {
    std::printf("  Karvelo audit:      %.2f s, %.1f MB written\n", fast, static_cast<double>(fastBytes) / 1e6);
    return 0;
  }
  w0 = WrittenBytes();
  t0 = std::chrono::steady_clock::now();
  PlainMakeBinaries(*ws, shell.run());
  PlainCount(*ws, shell.run());
  const double plain = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const long long plainBytes = WrittenBytes() - w0;

  std::printf("audit of %d x %d cells, 1 observation grid + 2 grids of 8 classes (chi2 of grid 2: %s)\n", n, n, verdict.c_str());
  std::printf("  Karvelo audit:      %.2f s, %.1f MB written\n", fast, static_cast<double>(fastBytes) / 1e6);
  std::printf("  plain way:          %.2f s, %.1f MB written\n", plain, static_cast<double>(plainBytes) / 1e6);
  std::printf("  ratio:              %.1f x faster, %.1f x fewer bytes written\n", plain / fast,
              static_cast<double>(plainBytes) / static_cast<double>(fastBytes));
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".bin") fs::remove(e.path());
  shell.run().RemoveWorkFolder();
  return 0;
}
