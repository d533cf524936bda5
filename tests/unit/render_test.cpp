// The map pictures: where cells fall, which grey they get, red no-data, and the saved BMP.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <random>

#include "core/errors.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "render/maprender.h"
#include "render/qimage_canvas.h"
#include "test_support.h"

namespace karvelo {
namespace {

using test::GridText;
using test::RecordingShell;
using test::TempDir;
using test::WriteFile;

// A grid of ncols x nrows whose cell (r, c) holds value(r, c).
template <class F>
std::string MakeGrid(int ncols, int nrows, F value) {
  std::vector<std::vector<std::string>> rows(static_cast<std::size_t>(nrows));
  for (int r = 1; r <= nrows; ++r)
    for (int c = 1; c <= ncols; ++c) rows[static_cast<std::size_t>(r - 1)].push_back(value(r, c));
  return GridText(ncols, nrows, rows);
}

class RenderTest : public ::testing::Test {
 protected:
  TDataDef Scanned(const std::string& text) {
    WriteFile(dir / "g.asc", text);
    TDataDef def;
    def.FileName = (dir / "g.asc").string();
    EXPECT_TRUE(ReadHeader(def, shell));
    ScanData(def, shell);
    shell.progress.clear();
    shell.refreshes = 0;
    return def;
  }
  TempDir dir;
  RecordingShell shell;
  QImageCanvas canvas{kMapPictureSize, kMapPictureSize};
};

const Rgb kDark{1, 1, 1};
const Rgb kFace = kDefaultFace;

TEST(RampGrey, EndsMiddleAndOutside) {
  EXPECT_EQ(RampGrey(0, 0, 1), kWhite);
  EXPECT_EQ(RampGrey(1, 0, 1), kDark);
  EXPECT_EQ(RampGrey(0.5, 0, 1), (Rgb{128, 128, 128}));  // 127.5 goes to the even 128
  EXPECT_EQ(RampGrey(-3, 0, 1), kWhite);
  EXPECT_EQ(RampGrey(7, 0, 1), kDark);
  EXPECT_EQ(RampGrey(0.3, 0.3, 0.3), (Rgb{128, 128, 128}));  // an empty range draws mid grey
}

TEST(Llog10, ZeroForNonPositive) {
  EXPECT_EQ(llog10(100), 2);
  EXPECT_EQ(llog10(0), 0);
  EXPECT_EQ(llog10(-5), 0);
}

TEST(CellGeometry, WideGridFillsTheWidthAndTopRows) {
  CellGeometry g(300, 300, 100, 50);
  EXPECT_EQ(g.side(), 3);
  EXPECT_EQ(g.Left(1), 0);
  EXPECT_EQ(g.Right(1), 3);
  EXPECT_EQ(g.Left(100), 297);
  EXPECT_EQ(g.Right(100), 300);
  int top = -1, bottom = -1;
  for (int r = 1; r <= 50; ++r) {
    g.NextRow();
    if (r == 1) top = g.Top();
    bottom = g.Bottom();
  }
  EXPECT_EQ(top, 0);
  EXPECT_EQ(bottom, 150);
}

TEST(CellGeometry, TallGridStepsColumnsByTheCellSide) {
  CellGeometry g(300, 300, 50, 100);
  EXPECT_EQ(g.side(), 3);
  for (int c = 1; c <= 50; ++c) {
    EXPECT_EQ(g.Left(c), 3 * (c - 1));
    EXPECT_EQ(g.Right(c), 3 * c);
  }
  // A side that is no whole number: every column starts where the one before it ends, like rows.
  CellGeometry h(300, 300, 78, 104);
  EXPECT_EQ(h.Left(1), 0);
  for (int c = 2; c <= 78; ++c) EXPECT_EQ(h.Left(c), h.Right(c - 1)) << c;
  EXPECT_EQ(h.Right(78), 225);  // 78 * 300 / 104
}

TEST(CellGeometry, WideGridKeepsItsColumnEdges) {
  // 300 / 70 = 4.2857...: the edges of W * (c - 1) / ncols, rounded.
  CellGeometry g(300, 300, 70, 40);
  EXPECT_EQ(g.Left(2), 4);
  EXPECT_EQ(g.Right(2), 9);
  EXPECT_EQ(g.Left(36), 150);
  EXPECT_EQ(g.Left(70), 296);
  EXPECT_EQ(g.Right(70), 300);
}

TEST_F(RenderTest, DataMapOfAWideGrid) {
  // Column 1 holds the smallest value, column 100 the largest; row 2 column 2 has no data.
  TDataDef def = Scanned(MakeGrid(100, 50, [](int r, int c) {
    if (r == 2 && c == 2) return std::string("-9999");
    return std::to_string(c == 100 ? 10 : (c == 1 ? 0 : 5));
  }));
  DrawDataMap(def, canvas, shell);
  EXPECT_EQ(canvas.Pixel(0, 0), kWhite);
  EXPECT_EQ(canvas.Pixel(2, 149), kWhite);
  EXPECT_EQ(canvas.Pixel(299, 0), kDark);
  EXPECT_EQ(canvas.Pixel(297, 149), kDark);
  EXPECT_EQ(canvas.Pixel(150, 150), kFace);       // below the map
  EXPECT_EQ(canvas.Pixel(4, 4), kFace);           // the no-data cell (columns 3..5, rows 3..5)
  EXPECT_EQ(canvas.Pixel(100, 100), (Rgb{128, 128, 128}));
  EXPECT_EQ(shell.progress.size(), 50u);
  EXPECT_EQ(shell.refreshes, 50);  // r * 50 is a multiple of 50 in every row
}

TEST_F(RenderTest, DataMapOfATallGridIsOneBlockOfSquareCells) {
  // 50 x 100 cells of side 3: columns 0..149 hold the map, with no background column inside it.
  TDataDef def = Scanned(MakeGrid(50, 100, [](int r, int c) { return std::to_string(r + c); }));
  DrawDataMap(def, canvas, shell);
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 300; ++x) {
      const int r = y / 3 + 1, c = x / 3 + 1;
      const Rgb expected = x < 150 ? RampGrey(r + c, def.minvalue, def.maxvalue) : kFace;
      ASSERT_EQ(canvas.Pixel(x, y), expected) << x << "," << y;
    }
  }
  EXPECT_EQ(shell.refreshes, 50);  // r * 50 divisible by 100 for every even row
}

TEST_F(RenderTest, DataMapOfAWideGridKeepsItsPixels) {
  // 100 x 50 cells of side 3 fill the top half; the lower half is background.
  TDataDef def = Scanned(MakeGrid(100, 50, [](int r, int c) { return std::to_string(r * c % 17); }));
  DrawDataMap(def, canvas, shell);
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 300; ++x) {
      const int r = y / 3 + 1, c = x / 3 + 1;
      const Rgb expected = y < 150 ? RampGrey(r * c % 17, def.minvalue, def.maxvalue) : kFace;
      ASSERT_EQ(canvas.Pixel(x, y), expected) << x << "," << y;
    }
  }
}

TEST_F(RenderTest, OneCellFillsThePicture) {
  TDataDef def = Scanned(MakeGrid(1, 1, [](int, int) { return std::string("4"); }));
  DrawDataMap(def, canvas, shell);
  // One value: range 4..5, so the cell is white everywhere.
  for (int y : {0, 150, 299})
    for (int x : {0, 150, 299}) EXPECT_EQ(canvas.Pixel(x, y), kWhite);
}

TEST_F(RenderTest, ProbabilityMapMarksNoDataRedAndSavesA300PixelBmp) {
  WriteFile(dir / "p.asc", MakeGrid(2, 2, [](int r, int c) {
              if (r == 1 && c == 1) return std::string("-9999.00000000");
              return std::string(r == 2 && c == 2 ? "0.90000000" : "0.10000000");
            }));
  TDataDef ref;
  ref.ncols = 2;
  ref.nrows = 2;
  ref.NODATA_value = -9999;
  DrawProbabilityMap(dir / "p.asc", ref, 0.1, 0.9, -9999, false, canvas, shell, dir / "P.bmp");
  EXPECT_EQ(canvas.Pixel(10, 10), kNoDataRed);
  EXPECT_EQ(canvas.Pixel(200, 10), kWhite);
  EXPECT_EQ(canvas.Pixel(200, 200), kDark);
  QImage saved(QString::fromStdString((dir / "P.bmp").string()));
  ASSERT_FALSE(saved.isNull());
  EXPECT_EQ(saved.width(), 300);
  EXPECT_EQ(saved.height(), 300);
  EXPECT_EQ(saved.pixel(10, 10), qRgb(255, 0, 0));

  // The log10 scale over the same picture: log(0.1) = -1 is white, log(0.9) is dark.
  DrawProbabilityMap(dir / "p.asc", ref, 0.1, 0.9, -9999, true, canvas, shell, dir / "L.bmp");
  EXPECT_EQ(canvas.Pixel(200, 10), kWhite);
  EXPECT_EQ(canvas.Pixel(200, 200), kDark);
}

TEST_F(RenderTest, ProbabilityMapWithAnEmptyRangeIsMidGrey) {
  WriteFile(dir / "p.asc", MakeGrid(1, 1, [](int, int) { return std::string("0.5"); }));
  TDataDef ref;
  ref.ncols = 1;
  ref.nrows = 1;
  DrawProbabilityMap(dir / "p.asc", ref, 0.5, 0.5, -1, true, canvas, shell, dir / "m.bmp");
  EXPECT_EQ(canvas.Pixel(150, 150), (Rgb{128, 128, 128}));
}

// Both pictures collected while writing are the pictures drawn from the written file, to the
// pixel, on grids smaller and larger than the picture, wide and tall, with no data among them.
TEST_F(RenderTest, PicturesFromWrittenValuesMatchThePicturesReadBack) {
  const unsigned seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 rng(seed);
  const std::pair<int, int> shapes[] = {{1, 1}, {7, 3}, {3, 7}, {299, 301}, {640, 20}, {20, 900}, {1000, 997}};
  for (const auto& [ncols, nrows] : shapes) {
    TDataDef ref;
    ref.ncols = ncols;
    ref.nrows = nrows;
    ref.NODATA_value = -9999;
    std::string text = GridText(ncols, nrows, {});
    MapPictureCells cells(kMapPictureSize, kMapPictureSize, ref);
    std::vector<double> row(static_cast<std::size_t>(ncols));
    double lo = 1, hi = 0;
    for (int r = 0; r < nrows; ++r) {
      const bool drawn = cells.NextRowDrawn();
      for (int c = 0; c < ncols; ++c) {
        const double p = rng() % 9 == 0 ? -9999.0 : std::ldexp(static_cast<double>(rng() % 100000 + 1), -17);
        const std::string t = FormatGridNumber(p, 8);
        text += t + " ";
        row[static_cast<std::size_t>(c)] = *ParseReal(t);
        if (p != -9999.0) lo = std::min(lo, p), hi = std::max(hi, p);
      }
      text += "\r\n";
      if (drawn) cells.AddRow(row.data());
    }
    WriteFile(dir / "p.asc", text);
    for (const bool log10Scale : {false, true}) {
      QImageCanvas readBack(kMapPictureSize, kMapPictureSize), collected(kMapPictureSize, kMapPictureSize);
      DrawProbabilityMap(dir / "p.asc", ref, lo, hi, -9999, log10Scale, readBack, shell, dir / "a.bmp");
      cells.Draw(dir / "p.asc", lo, hi, -9999, log10Scale, collected, shell, dir / "b.bmp");
      for (int y = 0; y < kMapPictureSize; ++y)
        for (int x = 0; x < kMapPictureSize; ++x)
          ASSERT_EQ(collected.Pixel(x, y), readBack.Pixel(x, y)) << ncols << " x " << nrows << " at " << x << "," << y;
      EXPECT_EQ(test::ReadFile(dir / "a.bmp"), test::ReadFile(dir / "b.bmp"));
    }
  }
}

// A value whose text does not read back as itself leaves the pictures to the file, and with
// them its message.
TEST_F(RenderTest, UnreadableWrittenValueDrawsFromTheFile) {
  WriteFile(dir / "p.asc", MakeGrid(2, 1, [](int, int c) { return std::string(c == 1 ? "0.5" : "nan"); }));
  TDataDef ref;
  ref.ncols = 2;
  ref.nrows = 1;
  MapPictureCells cells(kMapPictureSize, kMapPictureSize, ref);
  ASSERT_TRUE(cells.NextRowDrawn());
  const double row[] = {0.5, 0.25};
  cells.AddRow(row);
  cells.MarkUnreadable();
  EXPECT_THROW(cells.Draw(dir / "p.asc", 0, 1, -1, false, canvas, shell, dir / "u.bmp"), FileError);
}

}  // namespace
}  // namespace karvelo
