// Benchmark of the validation: a million points against a generated 4000 x 4000 map, per phase.
// Usage: validation_bench [size=4000] [points=1000000] [folder=/tmp/karvelo-val-bench]
#include <QGuiApplication>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <random>

#include "bench_support.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "core/runtables.h"
#include "render/qimage_canvas.h"
#include "validation/lookup.h"
#include "stats/aucinterval.h"
#include "validation/boyce.h"
#include "validation/gain.h"
#include "validation/mapvalues.h"
#include "validation/pairedauc.h"
#include "validation/predictionarea.h"
#include "validation/thresholds.h"
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
  shell.run().SetFolder(dir);
  RunTables tables;
  LayOutRunTables(tables);
  ValidationFile file;
  bench::Stopwatch total, w;
  OpenValidationFile(file, val, shell);
  const double open = w.Seconds();
  w.Restart();
  ValidationRecords records;
  LoadValData(file, records, shell);
  const double import = w.Seconds();
  w.Restart();
  TDataDef m;
  LookUpPredictiveMap(m, map, true, records, shell);
  const double lookup = w.Seconds();
  w.Restart();
  QImageCanvas pic(kRocPictureSize, kRocPictureSize);
  RocCounts counts;
  const auto auc = EvaluateRoc(map, val, "1", m.minvalue, m.maxvalue, records, pic, shell, &counts);
  const double roc = w.Seconds();
  w.Restart();
  std::clock_t cpu = std::clock();
  auto cpuSeconds = [&cpu] {
    const std::clock_t now = std::clock();
    const double s = static_cast<double>(now - cpu) / CLOCKS_PER_SEC;
    cpu = now;
    return s;
  };
  const ScoreGroups groups = GroupScores(counts.findScores, counts.nonFindScores);
  const auto delong = DeLongInterval(groups);
  const double delongTime = w.Seconds(), delongCpu = cpuSeconds();
  w.Restart();
  RandomGenerator rng;
  rng.SetSeed(1);
  ThreadPool pool;
  const auto boot = BootstrapInterval(groups, rng, pool);
  const double bootTime = w.Seconds(), bootCpu = cpuSeconds();
  w.Restart();
  QImageCanvas gainPic(kGainPictureSize, kGainPictureSize);
  const auto gain = EvaluateGain(map, 1, records, gainPic, shell);
  const double gainTime = w.Seconds(), gainCpu = cpuSeconds();
  // The statistics beyond the AUC: one pass over the map for its value counts and the points' cells,
  // then everything from the counts and the points' values.
  w.Restart();
  std::vector<std::size_t> cells;
  std::mt19937 cellRng(9);
  const std::size_t mapCells = static_cast<std::size_t>(m.ncols) * static_cast<std::size_t>(m.nrows);
  for (int i = 0; i < points; ++i) cells.push_back(cellRng() % mapCells);
  const MapSample sample = SampleMapFile(m, cells, shell);
  const double passTime = w.Seconds(), passCpu = cpuSeconds();
  w.Restart();
  const auto thresholds = ThresholdTable(counts.findScores, counts.nonFindScores, counts.findScores, sample.counts);
  const double thresholdTime = w.Seconds();
  w.Restart();
  const BoyceResult boyce = ContinuousBoyce(counts.findScores, sample.counts);
  const PredictionArea pa = PredictionAreaCurve(counts.findScores, sample.counts);
  const double boyceTime = w.Seconds();
  w.Restart();
  std::vector<double> second;
  std::vector<bool> isFind;
  for (double v : counts.findScores) second.push_back(v * v), isFind.push_back(true);
  for (double v : counts.nonFindScores) second.push_back(v * v), isFind.push_back(false);
  std::vector<double> first = counts.findScores;
  first.insert(first.end(), counts.nonFindScores.begin(), counts.nonFindScores.end());
  const auto compared = ComparePairedAuc(PairScores(first, second, isFind));
  const double pairedTime = w.Seconds();
  QImageCanvas boycePic(kBoycePictureWidth, kBoycePictureHeight), paPic(kPredictionAreaPictureWidth, kPredictionAreaPictureHeight);
  DrawBoyce(boyce, BoyceTitle("map.asc"), boycePic);
  boycePic.SaveBmp(dir / "Boyce of map.asc.bmp");
  DrawPredictionArea(pa, PredictionAreaTitle("map.asc"), paPic);
  paPic.SaveBmp(dir / "Prediction-area of map.asc.bmp");
  std::printf("%d points against a %d x %d map (AUC %.4f; %zu distinct scores)\n", points, n, n, auc.value_or(-1), groups.value.size());
  std::printf("  open and screen: %.2f s\n  import and sort: %.2f s\n  lookup (incl. scanning the map): %.2f s\n  ROC and AUC: %.2f s\n",
              open, import, lookup, roc);
  std::printf("  DeLong interval (grouping the scores included): %.2f s, CPU %.2f s [%.4f, %.4f]\n", delongTime, delongCpu,
              delong ? delong->lower : -1, delong ? delong->upper : -1);
  std::printf("  bootstrap interval (%d resamples): %.2f s, CPU %.2f s [%.4f, %.4f]\n", kBootstrapResamples, bootTime, bootCpu,
              boot ? boot->lower : -1, boot ? boot->upper : -1);
  std::printf("  gain table and picture (from the lookup's counts of the map's values): %.2f s, CPU %.2f s (%zu rows)\n  total: %.2f s\n", gainTime, gainCpu,
              gain.size(), total.Seconds());
  std::printf("  value counts and the points' cells (one pass over the map): %.2f s, CPU %.2f s (%zu %s values)\n", passTime, passCpu,
              sample.counts.value.size(), sample.counts.binned ? "binned" : "distinct");
  std::printf("  threshold table: %.2f s (%zu rows)\n  Boyce index and prediction-area curve: %.2f s\n  paired DeLong: %.2f s\n",
              thresholdTime, thresholds.size(), boyceTime, pairedTime);
  for (const ThresholdRow& r : thresholds) std::printf("  %s\n", ThresholdLine(r).c_str());
  std::printf("  %s\n  %s\n", BoyceLine(boyce).c_str(), PredictionAreaLine(pa).c_str());
  if (compared) std::printf("  %s\n", ComparisonLine("squared map", *compared).c_str());
  return 0;
}
