// The prediction-area curve from the map's value counts, its crossing found on exact counts.
#include "validation/predictionarea.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "core/numfmt.h"

namespace karvelo {

namespace {

const Rgb kBlue{30, 80, 200};
const Rgb kRed{200, 30, 30};

}  // namespace

PredictionArea PredictionAreaCurve(const std::vector<double>& findScores, const MapValueCounts& map) {
  PredictionArea out;
  if (findScores.empty() || map.Empty()) return out;
  std::vector<double> finds = findScores;
  std::sort(finds.begin(), finds.end());
  const long long m = static_cast<long long>(finds.size()), n = map.total;
  const std::size_t k = map.value.size();
  auto point = [&](std::size_t i, long long taken) {
    return PredictionAreaPoint{map.value[i], static_cast<double>(taken) / static_cast<double>(m),
                               static_cast<double>(map.atOrAbove[i]) / static_cast<double>(n)};
  };
  // Down through the map's values: the finds at or above each, and how far finds + area is from 1,
  // as whole numbers (finds x n + cells x m - m x n).
  const std::size_t step = std::max<std::size_t>(1, (k + kPredictionAreaCurvePoints - 1) / kPredictionAreaCurvePoints);
  std::size_t f = finds.size(), bestAt = k;
  long long taken = 0, bestGap = 0;
  std::vector<PredictionAreaPoint> curve;
  for (std::size_t i = k; i-- > 0;) {
    while (f > 0 && finds[f - 1] >= map.value[i]) --f, ++taken;
    const long long gap = std::llabs(taken * n + map.atOrAbove[i] * m - m * n);
    if (bestAt == k || gap < bestGap) bestGap = gap, bestAt = i;
    if (i % step == 0 || i + 1 == k) curve.push_back(point(i, taken));
  }
  std::reverse(curve.begin(), curve.end());
  out.curve = std::move(curve);
  // The finds at or above the best value, counted again (the sweep has gone on past it).
  const auto takenAt = static_cast<long long>(finds.end() - std::lower_bound(finds.begin(), finds.end(), map.value[bestAt]));
  out.intersection = point(bestAt, takenAt);
  return out;
}

std::string PredictionAreaLine(const PredictionArea& r) {
  if (!r.intersection) return "Prediction-area intersection: not available (no find on the map)";
  return "Prediction-area intersection: threshold " + FormatFixed(r.intersection->threshold, 6) + ", finds " +
         FormatFixed(r.intersection->finds, 4) + ", area " + FormatFixed(r.intersection->area, 4);
}

std::string PredictionAreaTitle(const std::string& mapFileName) {
  return "Prediction-area of " + std::filesystem::path(mapFileName).filename().string();
}

void DrawPredictionArea(const PredictionArea& r, const std::string& title, Canvas& pic) {
  const int left = 60, top = 30, right = pic.Width() - 60, bottom = pic.Height() - 40;
  pic.FillRect(0, 0, pic.Width(), pic.Height(), kWhite);
  pic.Outline(left, top, right, bottom, kBlack, 2);
  pic.Text(std::max(0, (pic.Width() - pic.TextWidth(title)) / 2), 4, title, kBlack, kWhite);
  if (r.curve.empty()) return;
  const double x0 = r.curve.front().threshold, x1 = r.curve.back().threshold;
  auto px = [&](double x) { return x1 > x0 ? RoundToInt(left + (x - x0) / (x1 - x0) * (right - left)) : (left + right) / 2; };
  auto py = [&](double share) { return RoundToInt(bottom - share * (bottom - top)); };
  for (int i = 0; i <= 5; ++i) {
    const double s = i / 5.0;
    const std::string finds = std::to_string(20 * i), area = std::to_string(100 - 20 * i);
    pic.Line(left - 5, py(s), left, py(s), kBlack, 1);
    pic.Text(left - 8 - pic.TextWidth(finds), py(s) - 7, finds, kBlue, kWhite);
    pic.Line(right, py(s), right + 5, py(s), kBlack, 1);
    pic.Text(right + 8, py(s) - 7, area, kRed, kWhite);
    const double x = x0 + (x1 - x0) * i / 5;
    const std::string xl = FormatFixed(x, 3);
    pic.Line(px(x), bottom, px(x), bottom + 5, kBlack, 1);
    pic.Text(std::clamp(px(x) - pic.TextWidth(xl) / 2, 0, pic.Width() - pic.TextWidth(xl)), bottom + 7, xl, kBlack, kWhite);
  }
  pic.Text(2, 4, "finds %", kBlue, kWhite);
  pic.Text(pic.Width() - pic.TextWidth("area %") - 2, 4, "area %", kRed, kWhite);
  const std::string xTitle = "threshold";
  pic.Text((left + right - pic.TextWidth(xTitle)) / 2, pic.Height() - 18, xTitle, kBlack, kWhite);
  // The area is drawn against the reversed right axis, so the curves cross where finds = 1 - area.
  std::vector<int> finds, area;
  for (const PredictionAreaPoint& p : r.curve) {
    finds.insert(finds.end(), {px(p.threshold), py(p.finds)});
    area.insert(area.end(), {px(p.threshold), py(1 - p.area)});
  }
  if (finds.size() >= 4) {
    pic.Polyline(finds, kBlue, 2);
    pic.Polyline(area, kRed, 2);
  }
  if (r.intersection) {
    const int x = px(r.intersection->threshold), y = py(r.intersection->finds);
    pic.Outline(x - 4, y - 4, x + 5, y + 5, kBlack, 2);
  }
}

}  // namespace karvelo
