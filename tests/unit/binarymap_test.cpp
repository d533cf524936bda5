// The binary map cell by cell against its threshold, with the map's header, no data and projection.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "core/gridfile.h"
#include "core/numfmt.h"
#include "test_support.h"
#include "validation/binarymap.h"

namespace karvelo {
namespace {

class BinaryMap : public test::ScratchFolderTest {};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

TEST_F(BinaryMap, EveryCellAgainstTheThreshold) {
  std::mt19937 rng(test::TestSeed());
  SCOPED_TRACE(test::SeedTrace(test::TestSeed()));
  const int ncols = 37, nrows = 23;
  std::vector<std::vector<std::string>> rows(nrows);
  std::vector<double> values;
  for (auto& row : rows) {
    for (int c = 0; c < ncols; ++c) {
      const bool empty = rng() % 7 == 0;
      const double v = empty ? -9999 : static_cast<double>(rng() % 1000) / 999;
      values.push_back(v);
      row.push_back(empty ? "-9999" : FormatShortest(v));
    }
  }
  test::WriteFile("map.asc", test::GridText(ncols, nrows, rows, "-9999", 1000.5, 2000, 25));
  test::WriteFile("map.prj", "PROJCS[\"test\"]");
  TDataDef map;
  map.FileName = "map.asc";
  ASSERT_TRUE(ReadHeader(map, shell));
  // A threshold that is one of the values: cells holding it are at or above it.
  const double threshold = values[5] >= 0 ? values[5] : 0.5;
  EXPECT_EQ(BinaryMapFileName("/x/map.asc"), "Binary of map.asc");
  WriteBinaryMap(map, threshold, "Binary of map.asc", shell);

  const std::vector<std::string> in = Lines(test::ReadFile("map.asc")), out = Lines(test::ReadFile("Binary of map.asc"));
  ASSERT_EQ(out.size(), in.size());
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(out[i], in[i]);
  for (int r = 0; r < nrows; ++r) {
    std::istringstream cells(out[static_cast<std::size_t>(6 + r)]);
    for (int c = 0; c < ncols; ++c) {
      std::string cell;
      ASSERT_TRUE(cells >> cell);
      const double v = values[static_cast<std::size_t>(r * ncols + c)];
      EXPECT_EQ(cell, v == -9999 ? "-9999" : v >= threshold ? "1" : "0") << r << "," << c;
    }
  }
  EXPECT_EQ(test::ReadFile("Binary of map.prj"), "PROJCS[\"test\"]");
}

TEST_F(BinaryMap, AMapTheReaderRefusesWritesNothing) {
  test::WriteFile("short.asc", test::GridText(2, 3, {{"0.1", "0.2"}, {"0.3", "0.4"}}));
  TDataDef map;
  map.FileName = "short.asc";
  ASSERT_TRUE(ReadHeader(map, shell));
  try {
    WriteBinaryMap(map, 0.2, "Binary of short.asc", shell);
    FAIL() << "a map with a missing row was written";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("short.asc"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists("Binary of short.asc"));
}

}  // namespace
}  // namespace karvelo
