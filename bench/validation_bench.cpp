// Benchmark of the validation: a million points against a generated 4000 x 4000 map, per phase.
// Usage: validation_bench [size=4000] [points=1000000] [folder=/tmp/karvelo-val-bench]
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "bench_support.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "core/runtables.h"
#include "render/qimage_canvas.h"
#include "validation/lookup.h"
#include "validation/roc.h"
#include "validation/valdata.h"

using namespace karvelo;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);  // the ROC picture carries text
  const int n = argc > 1 ? std::stoi(argv[1]) : 4000;
  const int points = argc > 2 ? std::stoi(argv[2]) : 1000000;
  const fs::path dir = argc > 3 ? argv[3] : "/tmp/karvelo-val-bench";
  fs::create_directories(dir);
  fs::current_path(dir);
  const fs::path map = dir / "map.asc", val = dir / "points.txt";
  if (!fs::exists(map)) bench::GenerateGrid(map, n, bench::GridKind::Fractions);
  if (!fs::exists(val)) {
    std::FILE* f = std::fopen(val.c_str(), "wb");
    std::fprintf(f, "X;Y;Val\n");
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> pos(0, n);
    for (int i = 0; i < points; ++i) {
      const double xx = pos(rng), yy = pos(rng);
      std::fprintf(f, "%.2f;%.2f;%d\n", xx, yy, static_cast<int>(rng() % 4 == 0));
    }
    std::fclose(f);
  }
  bench::QuietShell shell;
  RunTables tables;
  LayOutRunTables(tables);
  ValidationFile file;
  bench::Stopwatch total, w;
  OpenValidationFile(file, val, shell);
  const double open = w.Seconds();
  w.Restart();
  LoadValData(file, tables.ValData, shell);
  const double import = w.Seconds();
  w.Restart();
  TDataDef m;
  LookUpPredictiveMap(m, map, true, file, tables.ValData, shell);
  const double lookup = w.Seconds();
  w.Restart();
  QImageCanvas pic(kRocPictureSize, kRocPictureSize);
  const auto auc = EvaluateRoc(map, val, "1", m.minvalue, m.maxvalue, pic, shell);
  const double roc = w.Seconds();
  std::printf("%d points against a %d x %d map (AUC %.4f)\n", points, n, n, auc.value_or(-1));
  std::printf("  open and screen: %.2f s\n  import and sort: %.2f s\n  lookup (incl. scanning the map): %.2f s\n  ROC and AUC: %.2f s\n  total: %.2f s\n",
              open, import, lookup, roc, total.Seconds());
  return 0;
}
