// The window's validation table with a million records: memory of the records, Refresh, repaints.
//
// usage: table_bench [RECORDS]   (default 1000000; QT_QPA_PLATFORM=offscreen to run headless)
#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/textgrid.h"
#include "ui/stringgridview.h"

using namespace karvelo;
using namespace karvelo::bench;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int records = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000000;
  const long baseMb = PeakRssMb();

  // Records as the import leaves them: X, Y and code as read, the map value as the lookup writes it.
  std::mt19937 rng(7);
  TextGrid table(4, records + 1);
  table.SetRow(0, {"X", "Y", "Val", "DataGridfile"});
  Stopwatch fill;
  for (int r = 1; r <= records; ++r) {
    table.SetRow(r, {std::to_string(178000 + rng() % 400000), std::to_string(329000 + rng() % 400000),
                     std::to_string(rng() % 2), "0." + std::to_string(1000000 + rng() % 9000000)});
  }
  const double fillSeconds = fill.Seconds();
  const long tableMb = PeakRssMb();

  TStringGridView view(table);
  view.resize(350, 350);
  view.show();
  app.processEvents();
  Stopwatch refresh;
  view.Refresh();
  app.processEvents();
  const double refreshSeconds = refresh.Seconds();

  // Scrolling through the table: each step repaints the rows that come into view.
  std::vector<double> repaints;
  QScrollBar* bar = view.verticalScrollBar();
  for (int step = 0; step < 200; ++step) {
    bar->setValue(static_cast<int>(static_cast<long long>(bar->maximum()) * step / 199));
    Stopwatch paint;
    view.viewport()->repaint();
    repaints.push_back(paint.Seconds());
  }
  std::sort(repaints.begin(), repaints.end());

  std::printf("records %d: table filled in %.2f s, %ld MB for the table (%ld MB before)\n", records, fillSeconds,
              tableMb - baseMb, baseMb);
  std::printf("Refresh (model reset and column widths) %.3f s; repaint while scrolling: median %.1f ms, at most %.1f ms\n",
              refreshSeconds, 1000 * repaints[repaints.size() / 2], 1000 * repaints.back());
  std::printf("peak resident memory %ld MB\n", PeakRssMb());
  return 0;
}
