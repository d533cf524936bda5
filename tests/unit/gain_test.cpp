// The gain table against a plain sort-and-count version, and its files from a map with no-data cells.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include "core/gridfile.h"
#include "core/numfmt.h"
#include "render/qimage_canvas.h"
#include "test_support.h"
#include "validation/gain.h"

namespace karvelo {
namespace {

using test::TestSeed;

// The definition word for word: sort descending, take the value at rank ceil(a x N), count.
std::vector<GainRow> PlainGain(std::vector<double> cells, const std::vector<double>& finds) {
  std::sort(cells.begin(), cells.end(), std::greater<>());
  std::vector<GainRow> rows;
  const double n = static_cast<double>(cells.size());
  for (int a = 5; a <= 100; a += 5) {
    const auto rank = static_cast<std::size_t>(std::ceil(a / 100.0 * n - 1e-9));
    GainRow r;
    r.areaPercent = a;
    r.threshold = cells[rank - 1];
    r.areaTaken = static_cast<double>(std::count_if(cells.begin(), cells.end(), [&](double v) { return v >= r.threshold; })) / n;
    r.findsShare = static_cast<double>(std::count_if(finds.begin(), finds.end(), [&](double v) { return v >= r.threshold; })) /
                   static_cast<double>(finds.size());
    if (r.findsShare > 0) r.gain = 1 - r.areaTaken / r.findsShare;
    rows.push_back(r);
  }
  return rows;
}

TEST(Gain, LinesAsTheTableAndValidateWriteThem) {
  GainRow r;
  r.areaPercent = 10;
  r.threshold = 0.5;
  r.areaTaken = 0.1;
  r.findsShare = 0.45;
  r.gain = 1 - 0.1 / 0.45;
  EXPECT_EQ(GainLine(r), "Gain at 10% of the area: finds 45.00%, gain 0.7778");
  EXPECT_EQ(GainTableLines({r}), (std::vector<std::string>{"Area%;Threshold;AreaTaken%;Finds%;Gain", "10.00;0.50000000;10.00;45.00;0.7778"}));
  r.findsShare = 0;
  r.gain.reset();
  EXPECT_EQ(GainLine(r), "Gain at 10% of the area: finds 0.00%, gain -");
  EXPECT_EQ(GainTableLines({r})[1], "10.00;0.50000000;10.00;0.00;-");
  EXPECT_EQ(GainTitle("/some/folder/BayesP.asc"), "Gain of BayesP.asc");
}

class GainFiles : public test::ScratchFolderTest {
 protected:
  // The values as a one-row map "map.asc" (no-data -9999), its rows from the passes over the file,
  // and the finds' values at the given cells.
  std::vector<GainRow> GainOfValues(const std::vector<double>& values, const std::vector<std::size_t>& findCells,
                                    std::size_t budget = std::size_t{1} << 22) {
    std::vector<std::string> texts;
    for (double v : values) texts.push_back(FormatShortest(v));
    test::WriteFile(dir / "map.asc", test::GridText(static_cast<int>(values.size()), 1, {texts}));
    TDataDef map;
    map.FileName = (dir / "map.asc").string();
    EXPECT_TRUE(ReadHeader(map, shell));
    return GainOfMapFile(map, findCells, shell, budget);
  }
};

// Thresholds, area taken and finds taken as the literal definition gives them.
void ExpectSameRows(const std::vector<GainRow>& got, const std::vector<GainRow>& want, bool withFinds, const std::string& where) {
  ASSERT_EQ(got.size(), want.size()) << where;
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].areaPercent, want[i].areaPercent) << where << " row " << i;
    EXPECT_EQ(got[i].threshold, want[i].threshold) << where << " row " << i;
    EXPECT_EQ(std::signbit(got[i].threshold), std::signbit(want[i].threshold)) << where << " row " << i;
    EXPECT_EQ(got[i].areaTaken, want[i].areaTaken) << where << " row " << i;
    if (!withFinds) continue;
    EXPECT_EQ(got[i].findsShare, want[i].findsShare) << where << " row " << i;
    EXPECT_EQ(got[i].gain.has_value(), want[i].gain.has_value()) << where << " row " << i;
    if (got[i].gain && want[i].gain) {
      EXPECT_DOUBLE_EQ(*got[i].gain, *want[i].gain) << where << " row " << i;
    }
  }
}

// -0.0 and 0.0 are one value to the gain: the definition is applied to the values as the map holds them.
std::vector<double> AsOneZero(std::vector<double> values) {
  for (double& v : values) v += 0.0;
  return values;
}

TEST_F(GainFiles, MatchesSortAndCountOnRandomMapsWithTies) {
  std::mt19937 rng(TestSeed());
  for (int round = 0; round < 40; ++round) {
    const int n = 1 + static_cast<int>(rng() % 3000), levels = 1 + static_cast<int>(rng() % 50);
    std::vector<double> cells;
    for (int i = 0; i < n; ++i) cells.push_back(static_cast<double>(rng() % static_cast<unsigned>(levels)) / levels);
    // Finds favour high values: the larger of two cells.
    std::vector<std::size_t> findCells;
    std::vector<double> finds;
    const int f = static_cast<int>(rng() % 40);
    for (int i = 0; i < f; ++i) {
      const std::size_t a = rng() % cells.size(), b = rng() % cells.size();
      findCells.push_back(cells[a] >= cells[b] ? a : b);
      finds.push_back(cells[findCells.back()]);
    }
    const std::string where = "seed " + std::to_string(TestSeed()) + " round " + std::to_string(round);
    ExpectSameRows(GainOfValues(cells, findCells), PlainGain(cells, finds), !finds.empty(), where);
    if (finds.empty()) {
      for (const GainRow& r : GainOfValues(cells, findCells)) EXPECT_FALSE(r.gain) << where;
    }
  }
  // A map without a value has no gain.
  EXPECT_TRUE(GainOfValues({-9999, -9999}, {0}).empty());
}

// Values crowded below one key prefix beside far outliers, a range too wide for a double, and
// -0.0 beside 0.0; small budgets make the passes narrow the prefixes down to single keys.
TEST_F(GainFiles, CrowdedAndExtremeValuesStillMatch) {
  std::mt19937 rng(TestSeed());
  const std::vector<std::vector<double>> extremes = {{1e300}, {-1e300, 1e300}, {-1.7e308, 1.7e308}, {-0.0, 0.0}};
  for (const auto& extra : extremes) {
    std::vector<double> cells;
    for (int i = 0; i < 997; ++i) cells.push_back(0.5 + static_cast<double>(rng() % 7) * 1e-12);
    for (double v : extra) cells.push_back(v);
    const std::vector<std::size_t> findCells = {3, 10, cells.size() - 1};
    const std::vector<double> finds = {cells[3], cells[10], extra.back()};
    const std::vector<GainRow> want = PlainGain(AsOneZero(cells), finds);
    for (std::size_t budget : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 22}) {
      ExpectSameRows(GainOfValues(cells, findCells, budget), want, true, "budget " + std::to_string(budget));
    }
  }
}

// A 4 x 2 map with two no-data cells; finds lie on 0.9 and 0.5, a non-find on 0.1.
TEST_F(GainFiles, NoDataCellsAreLeftOutAndTheFilesWritten) {
  test::WriteFile(dir / "map.asc", test::GridText(4, 2, {{"0.9", "-9999", "0.5", "0.5"}, {"0.1", "0.3", "-9999", "0.7"}}));
  // Cell centres: x = 0.5 .. 3.5, y = 1.5 (top row) and 0.5.
  ValidationRecords records;
  records.Add(1, "0.5", "1.5", "1");
  records.Add(2, "2.5", "1.5", "1");
  records.Add(3, "0.5", "0.5", "0");
  QImageCanvas picture(kGainPictureSize, kGainPictureSize);
  const std::vector<GainRow> rows = EvaluateGain((dir / "map.asc").string(), 1, records, picture, shell);
  ASSERT_EQ(rows.size(), 20u);
  // Six cells with a value: 0.9 0.7 0.5 0.5 0.3 0.1. At 50%: rank 3 is 0.5, taken 4 of 6 cells, both finds.
  EXPECT_EQ(rows[9].threshold, 0.5);
  EXPECT_DOUBLE_EQ(rows[9].areaTaken, 4.0 / 6);
  EXPECT_EQ(rows[9].findsShare, 1.0);
  // At 5%: rank 1 is 0.9, one cell, one find of two: gain 1 - (1/6) / (1/2).
  EXPECT_EQ(rows[0].threshold, 0.9);
  EXPECT_DOUBLE_EQ(*rows[0].gain, 1 - (1.0 / 6) / 0.5);
  const std::string table = test::ReadFile(dir / "Gain of map.asc.txt");
  EXPECT_EQ(table.substr(0, table.find('\n') + 1), "Area%;Threshold;AreaTaken%;Finds%;Gain\r\n");
  EXPECT_NE(table.find("50.00;0.50000000;66.67;100.00;0.3333\r\n"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir / "Gain of map.asc.bmp"));
  // The curve passes through (1/6 of the area, half the finds); the diagonal runs corner to corner.
  EXPECT_EQ(picture.Pixel(GainPixelX(1.0 / 6), GainPixelY(0.5)), (Rgb{0, 0, 0}));
  EXPECT_EQ(picture.Pixel(215, 95), (Rgb{160, 160, 160}));
}

// The passes over the file give the rows of the literal definition: random maps with ties,
// no-data, -0.0, values crowded below one key prefix and a file that ends early; small budgets
// force the passes to narrow the prefixes down to single keys.
TEST_F(GainFiles, PassesOverTheFileMatchSortAndCountOnMapFiles) {
  std::mt19937 rng(TestSeed());
  for (int round = 0; round < 30; ++round) {
    const int cols = 1 + static_cast<int>(rng() % 40), rows = 1 + static_cast<int>(rng() % 40);
    const int kind = round % 3;
    std::vector<std::vector<std::string>> texts(static_cast<std::size_t>(rows));
    std::vector<double> values;
    for (auto& row : texts) {
      for (int c = 0; c < cols; ++c) {
        std::string t;
        const auto pick = rng() % 10;
        if (pick == 0) {
          t = "-9999";
        } else if (pick == 1) {
          t = rng() % 2 ? "-0.0" : "0";
        } else if (kind == 0) {
          t = std::to_string(rng() % 7);
        } else if (kind == 1) {
          t = FormatShortest(0.5 + static_cast<double>(rng() % 1000) * 1e-13);  // one prefix for many keys
        } else {
          t = FormatShortest(std::ldexp(static_cast<double>(rng() % 1000), static_cast<int>(rng() % 60) - 30));
        }
        row.push_back(t);
      }
    }
    test::WriteFile(dir / "map.asc", test::GridText(cols, rows, texts));
    TDataDef map;
    map.FileName = (dir / "map.asc").string();
    ASSERT_TRUE(ReadHeader(map, shell));
    for (const auto& row : texts) {
      for (const std::string& t : row) {
        const double v = *ParseReal(t);
        if (v != map.NODATA_value) values.push_back(v);
      }
    }
    std::vector<std::size_t> findCells;
    std::vector<double> finds;
    for (int f = 0; f < 5; ++f) {
      const std::size_t cell = rng() % static_cast<std::size_t>(rows * cols);
      findCells.push_back(cell);
      const double v = *ParseReal(texts[cell / static_cast<std::size_t>(cols)][cell % static_cast<std::size_t>(cols)]);
      if (v != map.NODATA_value) finds.push_back(v);
    }
    if (values.empty()) continue;
    const std::vector<GainRow> want = PlainGain(AsOneZero(values), finds);
    for (std::size_t budget : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 22}) {
      const std::string where = "seed " + std::to_string(TestSeed()) + " round " + std::to_string(round) + " budget " + std::to_string(budget);
      ExpectSameRows(GainOfMapFile(map, findCells, shell, budget), want, !finds.empty(), where);
    }
  }
  // A file that ends early: the rows it lacks have no value, as when the map was held whole.
  test::WriteFile(dir / "short.asc", test::GridText(3, 3, {{"1", "2", "3"}, {"4", "5", "6"}, {"7", "8", "9"}}));
  std::string text = test::ReadFile(dir / "short.asc");
  text.resize(text.find("4 5 6"));
  test::WriteFile(dir / "short.asc", text);
  TDataDef map;
  map.FileName = (dir / "short.asc").string();
  ASSERT_TRUE(ReadHeader(map, shell));
  ExpectSameRows(GainOfMapFile(map, {0, 8}, shell), PlainGain({1, 2, 3}, {1}), true, "short file");
}

}  // namespace
}  // namespace karvelo
