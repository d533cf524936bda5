// Drawing the folds picture and the importance bars on the engine's canvas.
#include "validation/insightpictures.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/numfmt.h"
#include "render/maprender.h"

namespace karvelo {

namespace {
constexpr Rgb kPlainGrey{190, 190, 190};
constexpr Rgb kWithoutColour{200, 60, 40}, kAloneColour{40, 90, 200};
}  // namespace

Rgb FoldColour(int fold) {
  static constexpr Rgb kColours[] = {{228, 26, 28},  {55, 126, 184}, {77, 175, 74},  {152, 78, 163}, {255, 127, 0},
                                     {166, 86, 40},  {247, 129, 191}, {0, 190, 190}, {200, 200, 0},  {20, 20, 120}};
  return kColours[static_cast<std::size_t>(std::max(fold, 0)) % std::size(kColours)];
}

void DrawFolds(const ClassGrids& grids, const std::vector<double>& backdrop, const std::vector<std::uint8_t>& cellFold,
               int folds, Canvas& pic) {
  pic.FillRect(0, 0, pic.Width(), pic.Height(), kWhite);
  if (grids.nrows < 1 || grids.ncols < 1) return;
  const int mapHeight = kFoldsPictureWidth;
  double vmin = std::numeric_limits<double>::infinity(), vmax = -vmin;
  for (double v : backdrop) {
    if (std::isnan(v)) continue;
    vmin = std::min(vmin, v);
    vmax = std::max(vmax, v);
  }
  CellGeometry cells(pic.Width(), mapHeight, grids.ncols, grids.nrows);
  const std::size_t ncols = static_cast<std::size_t>(grids.ncols);
  std::vector<int> top(static_cast<std::size_t>(grids.nrows)), bottom(top.size());
  for (int r = 0; r < grids.nrows; ++r) {
    cells.NextRow();
    top[static_cast<std::size_t>(r)] = cells.Top();
    bottom[static_cast<std::size_t>(r)] = cells.Bottom();
    for (int c = 1; c <= grids.ncols; ++c) {
      const std::size_t i = static_cast<std::size_t>(r) * ncols + static_cast<std::size_t>(c - 1);
      if (!grids.inside[i]) continue;
      Rgb colour = kPlainGrey;
      if (!backdrop.empty() && !std::isnan(backdrop[i])) {
        // The map's ramp, lightened so that the folds' colours stand out on its darkest cells.
        const int g = 110 + RampGrey(backdrop[i], vmin, vmax).r * 140 / 255;
        colour = {static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(g)};
      } else if (!backdrop.empty()) {
        colour = kNoDataRed;
      }
      pic.FillRect(cells.Left(c), top[static_cast<std::size_t>(r)], cells.Right(c), bottom[static_cast<std::size_t>(r)], colour);
    }
  }
  // Observations over the map, each visible however small its cell is drawn.
  for (const CountedCell& o : grids.observations) {
    const std::uint8_t f = cellFold[o.index];
    if (f >= folds) continue;
    const std::size_t r = o.index / ncols;
    const int c = static_cast<int>(o.index % ncols) + 1;
    int left = cells.Left(c), right = cells.Right(c), t = top[r], b = bottom[r];
    if (right - left < 3) left = (left + right) / 2 - 1, right = left + 3;
    if (b - t < 3) t = (t + b) / 2 - 1, b = t + 3;
    pic.FillRect(left, t, right, b, FoldColour(f));
  }
  // The legend: a swatch and the number of every fold, in rows below the map.
  int x = 6, y = mapHeight + 8;
  pic.Text(x, y, "Folds:", kBlack, kWhite);
  x += pic.TextWidth("Folds:") + 8;
  for (int f = 0; f < folds; ++f) {
    const std::string label = std::to_string(f + 1);
    const int w = 14 + pic.TextWidth(label) + 10;
    if (x + w > pic.Width()) x = 6, y += 18;
    pic.FillRect(x, y + 2, x + 10, y + 12, FoldColour(f));
    pic.Text(x + 13, y, label, kBlack, kWhite);
    x += w;
  }
}

int ImportancePictureWidth(std::size_t grids) { return 90 + 70 * static_cast<int>(std::max<std::size_t>(grids, 1)) + 20; }

void DrawImportance(const std::vector<ImportanceBar>& bars, std::optional<double> full, const std::string& title, Canvas& pic) {
  pic.FillRect(0, 0, pic.Width(), pic.Height(), kWhite);
  const int left = 50, right = pic.Width() - 20, top = 30, bottom = 250;
  auto yOf = [&](double v) { return bottom - RoundToInt(std::clamp(v, 0.0, 1.0) * (bottom - top)); };
  pic.Text(left, 6, title, kBlack, kWhite);
  pic.Line(left, top, left, bottom, kBlack, 1);
  pic.Line(left, bottom, right, bottom, kBlack, 1);
  for (int t = 0; t <= 10; t += 2) {
    const double v = t / 10.0;
    pic.Line(left - 4, yOf(v), left, yOf(v), kBlack, 1);
    const std::string label = FormatFixed(v, 1);
    pic.Text(left - 8 - pic.TextWidth(label), yOf(v) - 7, label, kBlack, kWhite);
  }
  for (std::size_t g = 0; g < bars.size(); ++g) {
    const int x = left + 20 + 70 * static_cast<int>(g);
    if (bars[g].without) pic.FillRect(x, yOf(*bars[g].without), x + 20, bottom, kWithoutColour);
    if (bars[g].alone) pic.FillRect(x + 22, yOf(*bars[g].alone), x + 42, bottom, kAloneColour);
    std::string name = bars[g].grid;
    if (name.size() > 10) name = name.substr(0, 9) + "~";
    pic.Text(x - 4, bottom + 4, name, kBlack, kWhite);
  }
  if (full) pic.Line(left, yOf(*full), right, yOf(*full), kBlack, 2);
  // The legend below the axis labels.
  const int y = bottom + 30;
  int x = left;
  pic.FillRect(x, y + 2, x + 10, y + 12, kWithoutColour);
  pic.Text(x + 13, y, "without", kBlack, kWhite);
  x += 13 + pic.TextWidth("without") + 14;
  pic.FillRect(x, y + 2, x + 10, y + 12, kAloneColour);
  pic.Text(x + 13, y, "alone", kBlack, kWhite);
  x += 13 + pic.TextWidth("alone") + 14;
  pic.Line(x, y + 7, x + 14, y + 7, kBlack, 2);
  pic.Text(x + 18, y, full ? "all grids (" + FormatFixed(*full, 3) + ")" : "all grids", kBlack, kWhite);
}

}  // namespace karvelo
