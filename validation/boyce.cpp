// The moving window over the map's value counts; ratios compared as exact fractions of the counts.
#include "validation/boyce.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "core/numfmt.h"

namespace karvelo {

namespace {

const Rgb kGrey{160, 160, 160};

// a.finds / a.cells against b.finds / b.cells, as whole numbers (every window shares the totals).
bool SameRatio(const BoyceWindow& a, const BoyceWindow& b) { return a.finds * b.cells == b.finds * a.cells; }
bool LessRatio(const BoyceWindow& a, const BoyceWindow& b) { return a.finds * b.cells < b.finds * a.cells; }

// Ranks 1..n with ties given their mean rank.
std::vector<double> Ranks(const std::vector<const BoyceWindow*>& w) {
  std::vector<std::size_t> order(w.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return LessRatio(*w[a], *w[b]); });
  std::vector<double> rank(w.size());
  for (std::size_t i = 0; i < order.size();) {
    std::size_t j = i;
    while (j + 1 < order.size() && SameRatio(*w[order[j + 1]], *w[order[i]])) ++j;
    for (std::size_t k = i; k <= j; ++k) rank[order[k]] = (static_cast<double>(i + j) / 2) + 1;
    i = j + 1;
  }
  return rank;
}

std::optional<double> Pearson(const std::vector<double>& x, const std::vector<double>& y) {
  const double n = static_cast<double>(x.size());
  double mx = 0, my = 0;
  for (std::size_t i = 0; i < x.size(); ++i) mx += x[i] / n, my += y[i] / n;
  double sxy = 0, sxx = 0, syy = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    sxy += (x[i] - mx) * (y[i] - my);
    sxx += (x[i] - mx) * (x[i] - mx);
    syy += (y[i] - my) * (y[i] - my);
  }
  if (!(sxx > 0 && syy > 0)) return std::nullopt;
  return sxy / std::sqrt(sxx * syy);
}

}  // namespace

BoyceResult ContinuousBoyce(const std::vector<double>& findScores, const MapValueCounts& map) {
  BoyceResult out;
  if (findScores.empty() || map.Empty()) return out;
  std::vector<double> finds = findScores;
  std::sort(finds.begin(), finds.end());
  const double lo = map.Lowest(), hi = map.Highest(), width = (hi - lo) / 10;
  const double f = static_cast<double>(finds.size()), n = static_cast<double>(map.total);
  for (int i = 0; i <= kBoyceSteps; ++i) {
    BoyceWindow w;
    w.low = lo + (hi - lo - width) * i / kBoyceSteps;
    // The last window ends at the highest value itself, whatever the rounding of the steps.
    w.high = i == kBoyceSteps ? hi : w.low + width;
    w.centre = w.low + width / 2;
    w.finds = static_cast<long long>(std::upper_bound(finds.begin(), finds.end(), w.high) -
                                     std::lower_bound(finds.begin(), finds.end(), w.low));
    w.cells = map.CellsAtOrAbove(w.low) - map.CellsAbove(w.high);
    if (w.cells > 0) w.pe = (static_cast<double>(w.finds) / f) / (static_cast<double>(w.cells) / n);
    out.windows.push_back(w);
  }
  std::vector<const BoyceWindow*> counted;
  for (std::size_t i = 0; i < out.windows.size(); ++i) {
    BoyceWindow& w = out.windows[i];
    if (!w.pe) continue;
    std::size_t next = i + 1;
    while (next < out.windows.size() && !out.windows[next].pe) ++next;
    w.counted = next == out.windows.size() || !SameRatio(w, out.windows[next]);
    if (w.counted) counted.push_back(&w);
  }
  if (counted.size() < 2) return out;
  std::vector<double> centreRanks;
  for (std::size_t i = 0; i < counted.size(); ++i) centreRanks.push_back(static_cast<double>(i + 1));
  out.index = Pearson(Ranks(counted), centreRanks);
  return out;
}

std::string BoyceLine(const BoyceResult& r) {
  if (r.index) return "Boyce index (continuous): " + FormatFixed(*r.index, 3);
  if (r.windows.empty()) return "Boyce index (continuous): not available (no find on the map)";
  return "Boyce index (continuous): not available (the finds share one ratio to the area in every window)";
}

std::string BoyceTitle(const std::string& mapFileName) {
  return "Boyce of " + std::filesystem::path(mapFileName).filename().string();
}

std::vector<std::string> BoyceTableLines(const BoyceResult& r) {
  std::vector<std::string> lines = {"Low;High;Centre;Finds;Cells;P/E;Counted"};
  for (const BoyceWindow& w : r.windows) {
    lines.push_back(FormatFixed(w.low, 6) + ";" + FormatFixed(w.high, 6) + ";" + FormatFixed(w.centre, 6) + ";" +
                    std::to_string(w.finds) + ";" + std::to_string(w.cells) + ";" + (w.pe ? FormatFixed(*w.pe, 4) : "-") +
                    ";" + (w.counted ? "1" : "0"));
  }
  return lines;
}

void DrawBoyce(const BoyceResult& r, const std::string& title, Canvas& pic) {
  const int left = 60, top = 30, right = pic.Width() - 20, bottom = pic.Height() - 40;
  pic.FillRect(0, 0, pic.Width(), pic.Height(), kWhite);
  pic.Outline(left, top, right, bottom, kBlack, 2);
  pic.Text(std::max(0, (pic.Width() - pic.TextWidth(title)) / 2), 4, title, kBlack, kWhite);
  if (r.windows.empty()) return;
  double peMax = 1;
  for (const BoyceWindow& w : r.windows) {
    if (w.pe) peMax = std::max(peMax, *w.pe);
  }
  peMax *= 1.1;  // headroom: the highest ratio stays off the frame
  const double x0 = r.windows.front().centre, x1 = r.windows.back().centre;
  auto px = [&](double x) { return x1 > x0 ? RoundToInt(left + (x - x0) / (x1 - x0) * (right - left)) : (left + right) / 2; };
  auto py = [&](double y) { return RoundToInt(bottom - y / peMax * (bottom - top)); };
  pic.Line(left, py(1), right, py(1), kGrey, 1);
  for (int i = 0; i <= 4; ++i) {
    const double y = peMax * i / 4;
    const std::string label = FormatFixed(y, 2);
    pic.Line(left - 5, py(y), left, py(y), kBlack, 1);
    pic.Text(left - 8 - pic.TextWidth(label), py(y) - 7, label, kBlack, kWhite);
    const double x = x0 + (x1 - x0) * i / 4;
    const std::string xl = FormatFixed(x, 3);
    pic.Line(px(x), bottom, px(x), bottom + 5, kBlack, 1);
    pic.Text(std::clamp(px(x) - pic.TextWidth(xl) / 2, 0, pic.Width() - pic.TextWidth(xl)), bottom + 7, xl, kBlack, kWhite);
  }
  pic.Text(2, 4, "P/E", kBlack, kWhite);
  const std::string xTitle = "map value (window centre)";
  pic.Text((left + right - pic.TextWidth(xTitle)) / 2, pic.Height() - 18, xTitle, kBlack, kWhite);
  std::vector<int> curve;
  for (const BoyceWindow& w : r.windows) {
    if (!w.pe) continue;
    curve.push_back(px(w.centre));
    curve.push_back(py(*w.pe));
  }
  if (curve.size() >= 4) pic.Polyline(curve, kBlack, 2);
  const std::string label = r.index ? "Boyce = " + FormatFixed(*r.index, 3) : "Boyce: -";
  pic.Text(right - 8 - pic.TextWidth(label), bottom - 22, label, kBlack, kWhite);
}

}  // namespace karvelo
