// The prediction-area crossing against counting by hand at every map value, and its texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "render/qimage_canvas.h"
#include "test_support.h"
#include "validation/predictionarea.h"

namespace karvelo {
namespace {

TEST(PredictionArea, CrossingMatchesEveryValueCountedByHand) {
  std::mt19937 rng(test::TestSeed());
  SCOPED_TRACE(test::SeedTrace(test::TestSeed()));
  for (int round = 0; round < 50; ++round) {
    const int levels = 1 + static_cast<int>(rng() % (round % 2 ? 6 : 3000));
    std::vector<double> cells, finds;
    for (int i = 0, n = 1 + static_cast<int>(rng() % 3000); i < n; ++i) cells.push_back(static_cast<double>(rng() % static_cast<unsigned>(levels)) / levels);
    for (int i = 0, m = 1 + static_cast<int>(rng() % 40); i < m; ++i) finds.push_back(std::max(cells[rng() % cells.size()], cells[rng() % cells.size()]));
    auto share = [](const std::vector<double>& v, double t) {
      return static_cast<double>(std::count_if(v.begin(), v.end(), [&](double x) { return x >= t; })) / static_cast<double>(v.size());
    };
    double bestGap = 2, bestT = 0;
    for (double t : cells) {
      const double gap = std::fabs(share(finds, t) + share(cells, t) - 1);
      if (gap < bestGap - 1e-12 || (gap <= bestGap + 1e-12 && t > bestT)) bestGap = std::min(gap, bestGap), bestT = t;
    }
    const PredictionArea got = PredictionAreaCurve(finds, CountValues(cells));
    ASSERT_TRUE(got.intersection) << "round " << round;
    EXPECT_EQ(got.intersection->threshold, bestT) << "round " << round;
    EXPECT_DOUBLE_EQ(got.intersection->finds, share(finds, bestT)) << "round " << round;
    EXPECT_DOUBLE_EQ(got.intersection->area, share(cells, bestT)) << "round " << round;
    // The picture's curve: ascending thresholds, each point as counted, both ends of the map.
    ASSERT_FALSE(got.curve.empty());
    EXPECT_LE(got.curve.size(), kPredictionAreaCurvePoints + 1);
    EXPECT_EQ(got.curve.front().threshold, *std::min_element(cells.begin(), cells.end()));
    EXPECT_EQ(got.curve.back().threshold, *std::max_element(cells.begin(), cells.end()));
    for (const PredictionAreaPoint& p : got.curve) EXPECT_DOUBLE_EQ(p.finds, share(finds, p.threshold));
  }
}

TEST(PredictionArea, LineAndPicture) {
  PredictionArea r;
  r.intersection = PredictionAreaPoint{0.1234565, 0.75, 0.25};
  EXPECT_EQ(PredictionAreaLine(r), "Prediction-area intersection: threshold 0.123456, finds 0.7500, area 0.2500");
  EXPECT_NE(PredictionAreaLine(PredictionAreaCurve({}, CountValues({0.5}))).find("not available"), std::string::npos);
  // finds + area - 1 is +0.25 at 2 and -0.25 at 3: equally close, the higher value is taken.
  const PredictionArea tie = PredictionAreaCurve({0, 2, 3, 3}, CountValues({0, 1, 2, 3}));
  ASSERT_TRUE(tie.intersection);
  EXPECT_EQ(tie.intersection->threshold, 3);
  EXPECT_EQ(PredictionAreaTitle("x/BayesP.asc"), "Prediction-area of BayesP.asc");
  std::vector<double> cells;
  for (int i = 0; i < 200; ++i) cells.push_back(i / 199.0);
  const PredictionArea curve = PredictionAreaCurve({0.9, 0.8, 0.7, 0.95}, CountValues(cells));
  QImageCanvas pic(kPredictionAreaPictureWidth, kPredictionAreaPictureHeight);
  DrawPredictionArea(curve, PredictionAreaTitle("BayesP.asc"), pic);
  // Both curves are drawn: the finds' in blue, the area's in red.
  int blue = 0, red = 0;
  for (int x = 0; x < pic.Width(); ++x) {
    for (int y = 0; y < pic.Height(); ++y) {
      blue += pic.Pixel(x, y) == Rgb{30, 80, 200};
      red += pic.Pixel(x, y) == Rgb{200, 30, 30};
    }
  }
  EXPECT_GT(blue, 200);
  EXPECT_GT(red, 200);
}

}  // namespace
}  // namespace karvelo
