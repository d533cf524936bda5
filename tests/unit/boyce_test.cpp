// The continuous Boyce index against the literal moving window over every cell, and its texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "core/numfmt.h"
#include "render/qimage_canvas.h"
#include "test_support.h"
#include "validation/boyce.h"

namespace karvelo {
namespace {

// Every window counted cell by cell; runs of equal ratios kept once (the last); Spearman's rho
// as the Pearson correlation of mean ranks, ranked by comparing every pair.
std::optional<double> LiteralBoyce(const std::vector<double>& cells, const std::vector<double>& finds) {
  const double lo = *std::min_element(cells.begin(), cells.end()), hi = *std::max_element(cells.begin(), cells.end());
  const double w = (hi - lo) / 10;
  std::vector<double> pe, centre;
  for (int i = 0; i <= 100; ++i) {
    const double a = lo + (hi - lo - w) * i / 100, b = i == 100 ? hi : a + w;
    auto in = [&](double v) { return v >= a && v <= b; };
    const double c = static_cast<double>(std::count_if(cells.begin(), cells.end(), in));
    const double f = static_cast<double>(std::count_if(finds.begin(), finds.end(), in));
    if (c == 0) continue;
    const double ratio = (f / static_cast<double>(finds.size())) / (c / static_cast<double>(cells.size()));
    if (!pe.empty() && std::fabs(pe.back() - ratio) <= 1e-9 * std::max(1.0, ratio)) {
      pe.back() = ratio, centre.back() = a + w / 2;  // the run's last window stands for it
    } else {
      pe.push_back(ratio), centre.push_back(a + w / 2);
    }
  }
  if (pe.size() < 2) return std::nullopt;
  auto ranks = [](const std::vector<double>& v) {
    std::vector<double> r;
    for (double x : v) {
      double below = 0, equal = 0;
      for (double y : v) below += std::fabs(y - x) > 1e-9 * std::max(1.0, x) && y < x, equal += std::fabs(y - x) <= 1e-9 * std::max(1.0, x);
      r.push_back(below + (equal + 1) / 2);
    }
    return r;
  };
  const std::vector<double> x = ranks(pe), y = ranks(centre);
  const double n = static_cast<double>(x.size());
  double mx = 0, my = 0, sxy = 0, sxx = 0, syy = 0;
  for (std::size_t i = 0; i < x.size(); ++i) mx += x[i] / n, my += y[i] / n;
  for (std::size_t i = 0; i < x.size(); ++i) sxy += (x[i] - mx) * (y[i] - my), sxx += (x[i] - mx) * (x[i] - mx), syy += (y[i] - my) * (y[i] - my);
  if (sxx == 0 || syy == 0) return std::nullopt;
  return sxy / std::sqrt(sxx * syy);
}

TEST(Boyce, MatchesTheLiteralMovingWindowWithTies) {
  std::mt19937 rng(test::TestSeed());
  SCOPED_TRACE(test::SeedTrace(test::TestSeed()));
  for (int round = 0; round < 50; ++round) {
    // Few levels give empty windows and runs of equal ratios; many give near-continuous maps.
    const int levels = 2 + static_cast<int>(rng() % (round % 2 ? 12 : 400));
    std::vector<double> cells, finds;
    for (int i = 0, n = 20 + static_cast<int>(rng() % 800); i < n; ++i) cells.push_back(static_cast<double>(rng() % static_cast<unsigned>(levels)) / levels);
    for (int i = 0, m = 1 + static_cast<int>(rng() % 60); i < m; ++i) {
      const double a = cells[rng() % cells.size()], b = cells[rng() % cells.size()];
      finds.push_back(rng() % 3 ? std::max(a, b) : a);
    }
    const BoyceResult got = ContinuousBoyce(finds, CountValues(cells));
    const auto want = LiteralBoyce(cells, finds);
    ASSERT_EQ(got.index.has_value(), want.has_value()) << "round " << round;
    if (want) {
      EXPECT_NEAR(*got.index, *want, 1e-12) << "round " << round;
    }
    EXPECT_EQ(got.windows.size(), 101u);
  }
}

TEST(Boyce, LinesTableAndPicture) {
  // Finds only in the top half of a map whose values rise evenly: a perfect index.
  std::vector<double> cells;
  for (int i = 0; i < 100; ++i) cells.push_back(i / 99.0);
  const BoyceResult r = ContinuousBoyce({0.6, 0.7, 0.8, 0.9, 1.0, 0.95}, CountValues(cells));
  ASSERT_TRUE(r.index);
  EXPECT_GT(*r.index, 0.5);
  EXPECT_EQ(BoyceLine(r), "Boyce index (continuous): " + FormatFixed(*r.index, 3));
  const std::vector<std::string> lines = BoyceTableLines(r);
  ASSERT_EQ(lines.size(), 102u);
  EXPECT_EQ(lines[0], "Low;High;Centre;Finds;Cells;P/E;Counted");
  EXPECT_EQ(lines[1], "0.000000;0.100000;0.050000;0;10;0.0000;0");  // the first of a run of zeros
  EXPECT_EQ(BoyceTitle("/a/b/BayesP.asc"), "Boyce of BayesP.asc");
  // One value everywhere: no index, and the line says so.
  const BoyceResult flat = ContinuousBoyce({0.5}, CountValues({0.5, 0.5}));
  EXPECT_FALSE(flat.index);
  EXPECT_NE(BoyceLine(flat).find("not available"), std::string::npos);
  EXPECT_NE(BoyceLine(ContinuousBoyce({}, CountValues({0.5}))).find("no find"), std::string::npos);
  QImageCanvas pic(kBoycePictureWidth, kBoycePictureHeight);
  DrawBoyce(r, "Boyce of map.asc", pic);
  // The curve rises to the right: ink in the top right of the plot, none in its top left.
  auto ink = [&](int x0, int x1, int y0, int y1) {
    int dark = 0;
    for (int x = x0; x < x1; ++x)
      for (int y = y0; y < y1; ++y) dark += pic.Pixel(x, y) == Rgb{0, 0, 0};
    return dark;
  };
  EXPECT_GT(ink(250, 395, 30, 120), 0);
  EXPECT_EQ(ink(70, 150, 60, 120), 0);
}

}  // namespace
}  // namespace karvelo
