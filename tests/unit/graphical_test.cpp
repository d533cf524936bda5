// The graphical analysis: histogram bars, scatterplot points and ticks, saved files and log lines.
#include <gtest/gtest.h>

#include <cmath>

#include "audit/graphical.h"
#include "core/gridfile.h"
#include "render/qimage_canvas.h"
#include "test_support.h"

namespace karvelo {
namespace {

using test::GridText;
using test::RecordingShell;
using test::TempDir;
using test::WriteFile;

const Rgb kGreen{0, 128, 0};
const Rgb kRed{255, 0, 0};

class GraphicalTest : public test::ScratchFolderTest {
 protected:
  static void Counts(TDataDef& d, std::vector<double> p, std::vector<double> a) {
    d.NrClasses = static_cast<int>(p.size());
    for (std::size_t j = 0; j < p.size(); ++j) {
      d.mclasses[j][ClassPresences] = p[j];
      d.mclasses[j][ClassAbsences] = a[j];
    }
  }
  // Observation grid (presence 1, absence 0) and one auxiliary grid with audited counts.
  void Configuration(const std::vector<std::vector<std::string>>& obsRows,
                     const std::vector<std::vector<std::string>>& auxRows) {
    TDataDef obs = Grid("obs.asc", obsRows);
    obs.PositiveIndicatorValue = 1;
    obs.NegativeIndicatorValue = 0;
    TDataDef aux = Grid("aux.asc", auxRows);
    Counts(aux, {1, 2}, {3, 0});
    ws->AddDataDef(obs);
    ws->AddDataDef(aux);
  }

  QImageCanvas img1{kAuxHistogramWidth, kAuxHistogramHeight};
  QImageCanvas img2{kAuxHistogramWidth, kAuxHistogramHeight};
  QImageCanvas scatter{kScatterWidth, kScatterHeight};
};

TEST_F(GraphicalTest, HistogramBarsOfTheExample) {
  TDataDef d;
  Counts(d, {4, 0, 12}, {8, 8, 0});
  ClearImages(img1, img2, scatter);
  EXPECT_EQ(DrawAuxHistogram(d, "soil.asc", img1), "Histogram for soil.asc");
  // Class 1: green (15, 153)-(38, 225), red (38, 82)-(61, 225); the axis is drawn over x = 15.
  EXPECT_EQ(img1.Pixel(16, 153), kGreen);
  EXPECT_EQ(img1.Pixel(37, 224), kGreen);
  EXPECT_EQ(img1.Pixel(16, 152), kWhite);
  EXPECT_EQ(img1.Pixel(38, 82), kRed);
  EXPECT_EQ(img1.Pixel(60, 224), kRed);
  EXPECT_EQ(img1.Pixel(38, 81), kWhite);
  // Class 2: no green bar, red (108, 82)-(131, 225).
  EXPECT_EQ(img1.Pixel(90, 200), kWhite);
  EXPECT_EQ(img1.Pixel(108, 82), kRed);
  EXPECT_EQ(img1.Pixel(131, 200), kWhite);
  // Class 3: green from the top (155, 10) to (178, 225), no red bar.
  EXPECT_EQ(img1.Pixel(155, 10), kGreen);
  EXPECT_EQ(img1.Pixel(177, 224), kGreen);
  EXPECT_EQ(img1.Pixel(185, 200), kWhite);
  // Legend squares.
  EXPECT_EQ(img1.Pixel(195, 35), kRed);
  EXPECT_EQ(img1.Pixel(195, 20), kGreen);
}

TEST_F(GraphicalTest, SameGridTwiceDrawsTheDiagonalAndSavesEverything) {
  Configuration({{"1", "0", "1"}, {"-9999", "1", "0"}}, {{"0", "5", "10"}, {"2", "8", "9"}});
  const GraphicalLists lists = GraphicalAnalysisLists(*ws);
  ASSERT_EQ(lists.entries.size(), 1u);
  EXPECT_EQ(lists.entries[0].name, "aux.asc");
  EXPECT_EQ(lists.observationGrid, (dir / "obs.asc").string());
  ASSERT_TRUE(ShowDiagrams(*ws, lists.entries[0], lists.entries[0], img1, img2, scatter, shell));
  // Value 0 (presence) at the lower left, 10 (presence) at the upper right, 5 (absence) in the
  // middle; the frame is drawn over the points' centres at the corners.
  EXPECT_EQ(scatter.Pixel(26, kScatterHeight - 26), kGreen);
  EXPECT_EQ(scatter.Pixel(kScatterWidth - 6, 16), kGreen);
  EXPECT_EQ(scatter.Pixel(26 + (kScatterWidth - 30) / 2, 15 + (kScatterHeight - 40) / 2), kRed);
  EXPECT_TRUE(std::filesystem::exists(dir / "Histogram for aux.asc.bmp"));
  EXPECT_TRUE(std::filesystem::exists(dir / "Scatterplot aux.asc X aux.asc.bmp"));
  EXPECT_EQ(shell.logLines, (std::vector<std::string>{"Histogram displayed and saved to <Histogram for aux.asc.bmp>",
                                                      "Histogram displayed and saved to <Histogram for aux.asc.bmp>",
                                                      "Scatterplot displayed and saved to <Scatterplot aux.asc X aux.asc.bmp>"}));
}

TEST_F(GraphicalTest, APresenceIsNeverPaintedOverButPaintsOverAnAbsence) {
  // Two cells with value 3: first an absence then a presence, and the other way round in row 2.
  Configuration({{"0", "1", "1", "0"}}, {{"3", "3", "7", "7"}});
  const GraphicalLists lists = GraphicalAnalysisLists(*ws);
  ASSERT_TRUE(ShowDiagrams(*ws, lists.entries[0], lists.entries[0], img1, img2, scatter, shell));
  EXPECT_EQ(scatter.Pixel(26, kScatterHeight - 26), kGreen);
  EXPECT_EQ(scatter.Pixel(kScatterWidth - 6, 16), kGreen);
}

TEST_F(GraphicalTest, TicksStepOnWholeNumbersInsideTheRange) {
  // Minimum 0, maximum 250.5: ticks 1..250 below the frame, labelled at 1 and 250.
  Configuration({{"1", "0"}}, {{"0", "250.5"}});
  const GraphicalLists lists = GraphicalAnalysisLists(*ws);
  ASSERT_TRUE(ShowDiagrams(*ws, lists.entries[0], lists.entries[0], img1, img2, scatter, shell));
  const int H = kScatterHeight, W = kScatterWidth;
  auto tickAt = [&](double t) { return static_cast<int>(std::lround((W - 30) * t / 250.5)) + 25; };
  const Rgb black{0, 0, 0};
  EXPECT_EQ(scatter.Pixel(tickAt(100), H - 23), black);
  EXPECT_EQ(scatter.Pixel(tickAt(250), H - 23), black);
  EXPECT_EQ(scatter.Pixel(25, H - 23), kWhite);  // no tick at 0: it is not inside the range

  // Minimum 0.2, maximum 0.9: no whole number inside, no tick.
  ws->ClearDataDefs();
  Configuration({{"1", "0"}}, {{"0.2", "0.9"}});
  const GraphicalLists small = GraphicalAnalysisLists(*ws);
  ASSERT_TRUE(ShowDiagrams(*ws, small.entries[0], small.entries[0], img1, img2, scatter, shell));
  for (int x = 26; x < W - 5; ++x) EXPECT_NE(scatter.Pixel(x, H - 23), black) << x;
}

TEST_F(GraphicalTest, WhatCannotBeDrawnIsSaidAndNothingIsSaved) {
  TDataDef aux = Grid("aux.asc", {{"1", "2"}});
  ws->AddDataDef(aux);
  GraphicalEntry e{"aux.asc", aux.FileName};
  EXPECT_FALSE(ShowDiagrams(*ws, e, e, img1, img2, scatter, shell));  // no observation grid
  EXPECT_NE(shell.messages.back().find("no grid with presences"), std::string::npos);

  ws->ClearDataDefs();
  Configuration({{"1", "0"}}, {{"1", "2"}});
  ws->DataDef(2).NrClasses = 0;
  EXPECT_FALSE(ShowDiagrams(*ws, e, e, img1, img2, scatter, shell));
  EXPECT_NE(shell.messages.back().find("has no classes"), std::string::npos);

  Counts(ws->DataDef(2), {0, 0}, {0, 0});
  EXPECT_FALSE(ShowDiagrams(*ws, e, e, img1, img2, scatter, shell));
  EXPECT_NE(shell.messages.back().find("no presence or absence was counted"), std::string::npos);

  Counts(ws->DataDef(2), {1, 0}, {0, 1});
  ws->DataDef(2).maxvalue = ws->DataDef(2).minvalue;
  EXPECT_FALSE(ShowDiagrams(*ws, e, e, img1, img2, scatter, shell));
  EXPECT_NE(shell.messages.back().find("no range"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "Histogram for aux.asc.bmp"));
  EXPECT_TRUE(shell.logLines.empty());
}

}  // namespace
}  // namespace karvelo
