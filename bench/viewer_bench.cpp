// Benchmark of the map viewer: opening a large probability map (one pass into the reduced
// images), memory, and the repaint of the drawing area while zooming and panning.
// Usage: viewer_bench [size=10000] [file=/tmp/karvelo-viewer-SIZE.asc]
// The file, a map of 8-decimal probabilities with no-data outside an oval area like BayesP.asc,
// is generated when missing. Run with QT_QPA_PLATFORM=offscreen where there is no display.
#include <sys/resource.h>

#include <QApplication>
#include <QPointF>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "render/mappyramid.h"
#include "ui/frmmapviewer.h"

using karvelo::bench::PeakRssMb;

namespace {

void GenerateProbabilityMap(const std::filesystem::path& path, int n) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fprintf(f, "ncols %d\nnrows %d\nxllcorner 178000\nyllcorner 329000\ncellsize 1\nNODATA_value -9999\n", n, n);
  std::string line;
  char cell[32];
  for (int r = 0; r < n; ++r) {
    line.clear();
    const double v = (r + 0.5) / n - 0.5;
    for (int c = 0; c < n; ++c) {
      const double u = (c + 0.5) / n - 0.5;
      if (u * u / 0.2 + v * v / 0.24 > 1) {
        line += "-9999 ";
        continue;
      }
      const double p = 0.5 + 0.45 * std::sin(9.0 * u + 3 * v) * std::cos(7.0 * v);
      std::snprintf(cell, sizeof cell, "%.8f ", p);
      line += cell;
    }
    line += "\r\n";
    std::fwrite(line.data(), 1, line.size(), f);
  }
  std::fclose(f);
}

struct Figures {
  std::vector<double> ms;
  void Add(double v) { ms.push_back(v); }
  void Print(const char* what) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s %3zu repaints: median %6.1f ms, 90%% within %6.1f ms, max %6.1f ms\n", what, ms.size(), ms[ms.size() / 2],
                ms[ms.size() * 9 / 10], ms.back());
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int n = argc > 1 ? std::atoi(argv[1]) : 10000;
  const std::filesystem::path file = argc > 2 ? argv[2] : "/tmp/karvelo-viewer-" + std::to_string(n) + ".asc";
  if (!std::filesystem::exists(file)) {
    std::printf("generating %s ...\n", file.c_str());
    GenerateProbabilityMap(file, n);
  }
  std::printf("%s: %.0f MB\n", file.c_str(), static_cast<double>(std::filesystem::file_size(file)) / 1e6);

  karvelo::SilentShell shell;
  karvelo::bench::Stopwatch clock;
  // For comparison: the range scan of tab 1 over the same file (the file is then in the page cache).
  karvelo::bench::ScannedEntry(file, shell);
  std::printf("ScanData of the same file: %.2f s\n", clock.Seconds());
  clock.Restart();
  const long rssBefore = PeakRssMb();
  karvelo::MapPyramid map(file, shell);
  const double openSeconds = clock.Seconds();
  std::printf("open (one pass, %zu levels, finest 1:%d): %.2f s, peak resident memory %ld MB (%ld MB before)\n",
              map.Levels().size(), map.Levels().front().factor, openSeconds, PeakRssMb(), rssBefore);

  karvelo::TMapCanvas canvas;
  canvas.resize(1000, 750);
  canvas.show();
  canvas.SetMap(&map);
  app.processEvents();

  Figures fit, zoom, pan, detail;
  for (int i = 0; i < 5; ++i) {
    canvas.Fit();
    canvas.repaint();
    fit.Add(canvas.LastPaintMs());
  }
  // Zoom in step by step around moving points, down to several pixels per cell, and out again.
  for (int round = 0; round < 2; ++round) {
    canvas.Fit();
    for (int i = 0; i < 30; ++i) {
      canvas.ZoomAt(QPointF(300 + 13 * i, 200 + 11 * i), 1.25);
      canvas.repaint();
      (canvas.ShowsDetail() ? detail : zoom).Add(canvas.LastPaintMs());
    }
    for (int i = 0; i < 30; ++i) {
      canvas.ZoomAt(QPointF(500, 375), 0.8);
      canvas.repaint();
      (canvas.ShowsDetail() ? detail : zoom).Add(canvas.LastPaintMs());
    }
  }
  // Pans at three zooms: the whole map, 1 pixel per cell, 6 pixels per cell.
  for (double scale : {0.0, 1.0, 6.0}) {
    canvas.Fit();
    if (scale > 0) canvas.ZoomAt(QPointF(500, 375), scale / canvas.View().scale);
    for (int i = 0; i < 20; ++i) {
      canvas.PanBy(QPointF(37, -23));
      canvas.repaint();
      pan.Add(canvas.LastPaintMs());
    }
  }
  fit.Print("fit (whole map)");
  zoom.Print("zoom from the reduced images");
  pan.Print("pan (whole map, 1 and 6 pixels per cell)");

  // Zoomed in past the finest level: the visible cells are read from the file once the view rests.
  canvas.Fit();
  canvas.ZoomAt(QPointF(500, 375), 1.0 / canvas.View().scale);
  clock.Restart();
  canvas.LoadDetailNow();
  std::printf("full-resolution cells of a 1000 x 750 view at 1 pixel per cell, with margins: %.2f s\n", clock.Seconds());
  for (int i = 0; i < 20; ++i) {
    canvas.PanBy(QPointF(11, 7));
    canvas.repaint();
    detail.Add(canvas.LastPaintMs());
  }
  detail.Print("repaint from full-resolution cells");
  std::printf("peak resident memory at the end: %ld MB\n", PeakRssMb());
  return 0;
}
