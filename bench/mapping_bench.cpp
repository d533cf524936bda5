// Benchmark of the plain mapping run and of the uncertainty run on one generated configuration.
// Usage: mapping_bench [size=4000] [folder=/tmp/karvelo-map-bench]
#include <cstdio>
#include <memory>

#include "audit/audit.h"
#include "bench_support.h"
#include "core/gridfile.h"
#include "core/runtables.h"
#include "mapping/bayesmap.h"
#include "mapping/independence.h"
#include "mapping/uncertainty.h"
#include "render/qimage_canvas.h"

using namespace karvelo;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::stoi(argv[1]) : 4000;
  const fs::path dir = argc > 2 ? argv[2] : "/tmp/karvelo-map-bench";
  fs::create_directories(dir);
  fs::current_path(dir);
  const fs::path obs = dir / "obs.asc", a1 = dir / "whole.asc", a2 = dir / "frac.asc";
  if (!fs::exists(obs)) {
    std::printf("generating three %d x %d grids in %s ...\n", n, n, dir.c_str());
    bench::GenerateGrid(obs, n, bench::GridKind::Observations);
    bench::GenerateGrid(a1, n, bench::GridKind::Whole);
    bench::GenerateGrid(a2, n, bench::GridKind::Fractions);
  }
  bench::QuietShell shell;
  shell.run().SetFolder(dir);
  auto ws = std::make_unique<Workspace>();
  ws->FixedSeed = 1;

  TDataDef o = bench::ScannedEntry(obs, shell);
  o.PositiveIndicatorValue = 1;
  o.NegativeIndicatorValue = 0;
  TDataDef x = bench::ScannedEntry(a1, shell), y = bench::ScannedEntry(a2, shell);
  x.NrClasses = y.NrClasses = 8;
  for (int k = 0; k < 8; ++k) {
    x.mclasses[static_cast<std::size_t>(k)] = {k * 10.2, (k + 1) * 10.2, 0, 0, 0, 0};
    y.mclasses[static_cast<std::size_t>(k)] = {k * 0.125, (k + 1) * 0.125, 0, 0, 0, 0};
  }
  ws->AddDataDef(o);
  ws->AddDataDef(x);
  ws->AddDataDef(y);
  RunTables tables;
  LayOutRunTables(tables);
  bench::Stopwatch w;
  RunAudit(*ws, tables, shell);
  SubmitFinal(*ws, shell);
  std::printf("audit and final submission: %.2f s\n", w.Seconds());

  PriorControls priors;
  QImageCanvas picture(300, 300);
  w.Restart();
  MapBayesianProbability(*ws, tables, priors, picture, kDefaultFace, shell);
  const double plain = w.Seconds();
  const double cells = static_cast<double>(n) * n;
  std::printf("plain run (BayesP.asc and two pictures): %.2f s, %.1f Mcells/s\n", plain, cells / plain / 1e6);
  w.Restart();
  ErrorProp(*ws, tables, priors, EvidenceLevel::All, picture, kDefaultFace, shell);
  const double uncertain = w.Seconds();
  std::printf("uncertainty run (50 samples, two grids, two pictures): %.2f s, %.1f Mcells/s; %.2f x the plain run\n",
              uncertain, cells / uncertain / 1e6, uncertain / plain);
  // The independence tests alone, as each run ends with them.
  w.Restart();
  TestConditionalIndependence(*ws, shell.run(), "BayesP.asc", std::nullopt);
  const double plainTest = w.Seconds();
  w.Restart();
  TestConditionalIndependence(*ws, shell.run(), "AVGBayesP.asc", fs::path("SDBayesP.asc"));
  std::printf("of which the independence tests: %.2f s after the plain run, %.2f s after the uncertainty run\n", plainTest,
              w.Seconds());
  shell.run().RemoveWorkFolder();
  return 0;
}
