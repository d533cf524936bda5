// The map viewer's engine: reduced images against a plain reduction, the cell under a pixel at
// any zoom, the drawn view, and the class labels of the histograms.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include "core/errors.h"
#include "core/numfmt.h"
#include "render/classlabels.h"
#include "render/maprender.h"
#include "render/mappyramid.h"
#include "render/mapview.h"
#include "render/qimage_canvas.h"
#include "test_support.h"

namespace karvelo {
namespace {

using test::GridText;
using test::RecordingShell;
using test::TempDir;
using test::WriteFile;

constexpr double kNoData = -9999;

// A seed from KARVELO_TEST_SEED when set, so that a failure printed with its seed can be replayed.
// A random grid file: values with up to 4 decimals, about one cell in eight no-data. Returns the
// cells as the file's texts parse.
std::vector<double> WriteRandomGrid(const std::filesystem::path& file, int ncols, int nrows, std::mt19937& rng) {
  std::vector<double> cells;
  std::vector<std::vector<std::string>> rows(static_cast<std::size_t>(nrows));
  std::uniform_int_distribution<int> value(-50000, 150000), gap(0, 7);
  for (int r = 0; r < nrows; ++r) {
    for (int c = 0; c < ncols; ++c) {
      std::string text = gap(rng) == 0 ? "-9999" : FormatFixed(value(rng) / 10000.0, 4);  // "." whatever the locale
      double v = 0;
      std::from_chars(text.data(), text.data() + text.size(), v);
      cells.push_back(v);
      rows[static_cast<std::size_t>(r)].push_back(std::move(text));
    }
  }
  WriteFile(file, GridText(ncols, nrows, rows, "-9999", 1000, 2000, 5));
  return cells;
}

// The plain reduction: each texel the mean of its block's data cells, NaN for none.
std::vector<double> ReduceByMean(const std::vector<double>& cells, int ncols, int nrows, int factor) {
  const int cols = (ncols + factor - 1) / factor, rows = (nrows + factor - 1) / factor;
  std::vector<double> out(static_cast<std::size_t>(cols) * rows, std::numeric_limits<double>::quiet_NaN());
  for (int R = 0; R < rows; ++R) {
    for (int C = 0; C < cols; ++C) {
      double sum = 0;
      int count = 0;
      for (int r = R * factor; r < std::min(nrows, (R + 1) * factor); ++r) {
        for (int c = C * factor; c < std::min(ncols, (C + 1) * factor); ++c) {
          const double v = cells[static_cast<std::size_t>(r) * ncols + c];
          if (v == kNoData) continue;
          sum += v;
          ++count;
        }
      }
      if (count > 0) out[static_cast<std::size_t>(R) * cols + C] = sum / count;
    }
  }
  return out;
}

TEST(MapPyramid, LevelsEqualAPlainReductionOnRandomGrids) {
  const unsigned seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 rng(seed);
  TempDir dir;
  RecordingShell shell;
  std::uniform_int_distribution<int> side(1, 120);
  std::uniform_int_distribution<int> budget(1, 3000);
  for (int round = 0; round < 30; ++round) {
    const int ncols = side(rng), nrows = side(rng);
    const std::vector<double> cells = WriteRandomGrid(dir / "g.asc", ncols, nrows, rng);
    const long long maxTexels = budget(rng);
    MapPyramid map(dir / "g.asc", shell, maxTexels, 3);
    SCOPED_TRACE(std::to_string(ncols) + " x " + std::to_string(nrows) + ", at most " + std::to_string(maxTexels) + " texels");
    ASSERT_FALSE(map.Levels().empty());
    const PyramidLevel& finest = map.Levels().front();
    EXPECT_LE(static_cast<long long>(finest.cols) * finest.rows, maxTexels);
    if (finest.factor > 1) {
      // The finest level is the finest power of two that keeps within the budget.
      const int half = finest.factor / 2;
      EXPECT_GT(static_cast<long long>((ncols + half - 1) / half) * ((nrows + half - 1) / half), maxTexels);
    }
    int factor = finest.factor;
    for (const PyramidLevel& level : map.Levels()) {
      ASSERT_EQ(level.factor, factor);
      factor *= 2;
      const std::vector<double> plain = ReduceByMean(cells, ncols, nrows, level.factor);
      ASSERT_EQ(level.texels.size(), plain.size());
      for (std::size_t i = 0; i < plain.size(); ++i) {
        if (std::isnan(plain[i])) {
          ASSERT_TRUE(std::isnan(level.texels[i])) << "factor " << level.factor << " texel " << i;
        } else {
          ASSERT_NEAR(level.texels[i], plain[i], 1e-5 * std::max(1.0, std::abs(plain[i]))) << "factor " << level.factor << " texel " << i;
        }
      }
    }
    EXPECT_LE(std::max(map.Levels().back().cols, map.Levels().back().rows), std::max(3, std::max(finest.cols, finest.rows) > 3 ? 3 : 0));
    // Range over the data cells.
    double lo = 1e300, hi = -1e300;
    for (double v : cells)
      if (v != kNoData) lo = std::min(lo, v), hi = std::max(hi, v);
    if (lo <= hi) {
      EXPECT_EQ(map.Min(), lo);
      EXPECT_EQ(map.Max(), hi);
    } else {
      EXPECT_FALSE(map.HasData());
    }
  }
}

TEST(MapPyramid, TheValueUnderAPixelIsTheGridsCellAtEveryZoom) {
  const unsigned seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 rng(seed);
  TempDir dir;
  RecordingShell shell;
  const int ncols = 53, nrows = 31;
  const std::vector<double> cells = WriteRandomGrid(dir / "g.asc", ncols, nrows, rng);
  // A budget that keeps no full-resolution level: every value comes back from the file.
  MapPyramid map(dir / "g.asc", shell, 100);
  ASSERT_GT(map.Levels().front().factor, 1);
  const int width = 400, height = 300;
  std::vector<ViewTransform> views{ViewTransform::Fit(ncols, nrows, width, height)};
  for (double scale : {0.37, 1.0, 2.5, 7.0, 19.0}) {
    ViewTransform v = views.front();
    v.ZoomAt(133, 71, scale / v.scale, 0.01, 100);
    views.push_back(v);
  }
  for (const ViewTransform& view : views) {
    int onMap = 0;
    for (int k = 0; k < (width / 3) * (height / 3); ++k) {
      const int x = 3 * (k % (width / 3)), y = 3 * (k / (width / 3));
      const int c = view.Col(x), r = view.Row(y);
      // The pixel's centre lies in that cell.
      const double mx = view.left + (x + 0.5) / view.scale, my = view.top + (y + 0.5) / view.scale;
      ASSERT_LE(c, mx);
      ASSERT_GT(c + 1, mx);
      ASSERT_LE(r, my);
      ASSERT_GT(r + 1, my);
      const std::optional<double> value = map.CellValue(c, r);
      if (c < 0 || r < 0 || c >= ncols || r >= nrows) {
        EXPECT_FALSE(value.has_value());
        continue;
      }
      ++onMap;
      const double expected = cells[static_cast<std::size_t>(r) * ncols + c];
      if (expected == kNoData) {
        EXPECT_FALSE(value.has_value()) << c << "," << r;
      } else {
        ASSERT_TRUE(value.has_value()) << c << "," << r;
        EXPECT_EQ(*value, expected) << c << "," << r << " at scale " << view.scale;
      }
    }
    EXPECT_GT(onMap, 0) << "scale " << view.scale;
  }
  // Cell centres in map coordinates: x from the left, y from the bottom.
  EXPECT_DOUBLE_EQ(map.CellX(0), 1002.5);
  EXPECT_DOUBLE_EQ(map.CellY(nrows - 1), 2002.5);
}

TEST(MapView, ZoomKeepsThePointUnderTheCursorAndFitShowsTheWholeMap) {
  ViewTransform v = ViewTransform::Fit(200, 100, 400, 400);
  EXPECT_EQ(v.scale, 2);
  EXPECT_EQ(v.Col(0), 0);
  EXPECT_EQ(v.Col(399), 199);
  EXPECT_EQ(v.Row(100), 0);  // the map is centred: 100 pixels of background above it
  EXPECT_EQ(v.Row(99), -1);
  const int c = v.Col(250), r = v.Row(180);
  v.ZoomAt(250, 180, 8, 0.01, 64);
  EXPECT_EQ(v.scale, 16);
  EXPECT_EQ(v.Col(250), c);
  EXPECT_EQ(v.Row(180), r);
  v.ZoomAt(250, 180, 1000, 0.01, 64);
  EXPECT_EQ(v.scale, 64);  // no further than the limit
  v.Pan(64, -128);
  EXPECT_EQ(v.Col(250 + 64), c);
  EXPECT_EQ(v.Row(180 - 128), r);
}

TEST(MapView, DrawsGreysNoDataRedAndBackgroundBeyondTheMap) {
  TempDir dir;
  RecordingShell shell;
  WriteFile(dir / "p.asc", GridText(3, 2, {{"0.1", "0.5", "-9999"}, {"0.9", "0.3", "0.7"}}));
  MapPyramid map(dir / "p.asc", shell);
  ASSERT_EQ(map.Levels().front().factor, 1);
  ViewTransform view;  // 10 pixels per cell, the map at the top-left
  view.scale = 10;
  std::vector<std::uint32_t> out;
  const ViewStyle linear{false, Rgb{1, 2, 3}};
  RenderView(map, view, linear, nullptr, 40, 30, out);
  auto pixel = [&](int x, int y) { return out[static_cast<std::size_t>(y) * 40 + x]; };
  auto packed = [](Rgb c) { return 0xff000000u | (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b; };
  EXPECT_EQ(pixel(5, 5), packed(RampGrey(0.1, 0.1, 0.9)));
  EXPECT_EQ(pixel(15, 5), packed(RampGrey(0.5, 0.1, 0.9)));
  EXPECT_EQ(pixel(25, 5), packed(kNoDataRed));
  EXPECT_EQ(pixel(5, 15), packed(RampGrey(0.9, 0.1, 0.9)));
  EXPECT_EQ(pixel(35, 5), packed(Rgb{1, 2, 3}));   // right of the map
  EXPECT_EQ(pixel(5, 25), packed(Rgb{1, 2, 3}));   // below it
  // The log10 scale spans log10 of the range, as the map pictures do.
  RenderView(map, view, ViewStyle{true, Rgb{1, 2, 3}}, nullptr, 40, 30, out);
  EXPECT_EQ(pixel(15, 5), packed(RampGrey(std::log10(0.5), std::log10(0.1), std::log10(0.9))));
}

TEST(MapView, ZoomedInBeyondTheKeptLevelsDrawsTheFilesCells) {
  const unsigned seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 rng(seed);
  TempDir dir;
  RecordingShell shell;
  const std::vector<double> cells = WriteRandomGrid(dir / "g.asc", 64, 48, rng);
  MapPyramid map(dir / "g.asc", shell, 64);
  ASSERT_GT(map.Levels().front().factor, 1);
  ViewTransform view;
  view.scale = 4;
  view.left = 10.5;
  view.top = 7.25;
  int c0, r0, c1, r1;
  ASSERT_TRUE(NeedsDetail(map, view, 100, 80, c0, r0, c1, r1));
  EXPECT_EQ(c0, 10);
  EXPECT_EQ(r0, 7);
  EXPECT_EQ(c1, 36);  // the last pixel's column is 10.5 + 99.5 / 4 = 35.375
  EXPECT_EQ(r1, 28);  // the last pixel row is 7.25 + 79.5 / 4 = 27.125
  DetailRegion detail{c0, r0, c1, r1, map.Region(c0, r0, c1, r1)};
  std::vector<std::uint32_t> out;
  RenderView(map, view, ViewStyle{}, &detail, 100, 80, out);
  double lo, hi;
  RampRange(map, false, lo, hi);
  for (int y = 0; y < 80; y += 3) {
    for (int x = 0; x < 100; x += 3) {
      const double v = cells[static_cast<std::size_t>(view.Row(y)) * 64 + view.Col(x)];
      const Rgb expected = v == kNoData ? kNoDataRed : RampGrey(static_cast<float>(v), lo, hi);
      const std::uint32_t p = out[static_cast<std::size_t>(y) * 100 + x];
      ASSERT_EQ(p, 0xff000000u | (std::uint32_t{expected.r} << 16) | (std::uint32_t{expected.g} << 8) | expected.b) << x << "," << y;
    }
  }
  // Zoomed out to a pixel per texel of the finest level kept, the reduced images suffice.
  view.scale = 1.0 / map.Levels().front().factor;
  EXPECT_FALSE(NeedsDetail(map, view, 100, 80, c0, r0, c1, r1));
}

TEST(MapPyramid, BadFilesAreRefusedNamingTheFile) {
  TempDir dir;
  RecordingShell shell;
  WriteFile(dir / "bad.asc", GridText(2, 2, {{"1", "2"}, {"x", "4"}}));
  try {
    MapPyramid map(dir / "bad.asc", shell);
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("bad.asc"), std::string::npos) << e.what();
  }
  EXPECT_THROW(MapPyramid(dir / "missing.asc", shell), FileError);
  WriteFile(dir / "huge.asc", "ncols 10001\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n");
  EXPECT_THROW(MapPyramid(dir / "huge.asc", shell), FileError);
}

TEST(ClassLabels, CrowdedLabelsAreLeftOutRatherThanOverwritten) {
  QImageCanvas pic(225, 235, Rgb{255, 255, 255});
  // Twenty classes ten pixels apart: "Class 1" is wider than that.
  std::vector<int> lefts;
  for (int k = 0; k < 20; ++k) lefts.push_back(15 + 10 * k);
  const std::vector<int> drawn = DrawClassLabels(pic, lefts, 226);
  ASSERT_FALSE(drawn.empty());
  EXPECT_EQ(drawn.front(), 1);
  EXPECT_LT(drawn.size(), 20u);
  // No two drawn labels touch, and none runs past the picture.
  for (std::size_t i = 0; i + 1 < drawn.size(); ++i) {
    const int k = drawn[i];
    const std::string text = k == 1 ? "Class 1" : std::to_string(k);
    EXPECT_LT(lefts[static_cast<std::size_t>(k - 1)] + pic.TextWidth(text), lefts[static_cast<std::size_t>(drawn[i + 1] - 1)]);
  }
  const int last = drawn.back();
  EXPECT_LE(lefts[static_cast<std::size_t>(last - 1)] + pic.TextWidth(std::to_string(last)), pic.Width());
  // Labels far enough apart are all drawn.
  const std::vector<int> spaced = DrawClassLabels(pic, {15, 70, 125, 180}, 226);
  EXPECT_EQ(spaced, (std::vector<int>{1, 2, 3, 4}));
}

}  // namespace
}  // namespace karvelo
