// The map pictures: a grid's preview and the probability maps, on one cell geometry and grey ramp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "core/canvas.h"
#include "core/datadef.h"
#include "core/shell.h"

namespace karvelo {

inline constexpr int kMapPictureSize = 300;
inline constexpr Rgb kNoDataRed{255, 0, 0};

// Where the cells of an ncols x nrows grid fall on a W x H picture: square cells of side s,
// anchored top-left, so that the map is one block of cells and the rest is background. Rows
// accumulate s; so do columns, except that a grid whose width decides s (a wide grid) places
// column c at W * (c - 1) / ncols, which is the same edge computed without accumulated error.
class CellGeometry {
 public:
  CellGeometry(int width, int height, int ncols, int nrows);
  double side() const { return s_; }
  // The span [left, right) of column c (1-based).
  int Left(int c) const { return left_[static_cast<std::size_t>(c - 1)]; }
  int Right(int c) const { return right_[static_cast<std::size_t>(c - 1)]; }
  // Rows are laid out by accumulation; call NextRow once before each row (row 1 starts at 0).
  void NextRow() { y_ += s_; }
  int Top() const;
  int Bottom() const;

 private:
  double s_;
  double y_;
  std::vector<int> left_, right_;
};

// g = nearest integer to (1 - t) * 255 (halves to even), limited to 1..255; t = 0.5 when the
// range is empty.
Rgb RampGrey(double v, double vmin, double vmax);

// log10(x) for x > 0, else 0.
double llog10(double x);

// The tab 1 preview of a grid: background, then one grey cell per value that is not NODATA.
void DrawDataMap(const TDataDef& def, Canvas& canvas, Shell& shell, Rgb background = kDefaultFace);

// Draws a probability grid file (header skipped) on canvas with the reference grid's extent and
// saves it as a BMP. Cells equal to nodataMarker are red.
void DrawProbabilityMap(const std::filesystem::path& gridFile, const TDataDef& reference, double vmin,
                        double vmax, double nodataMarker, bool log10Scale, Canvas& canvas, Shell& shell,
                        const std::filesystem::path& bmpFile);

// What DrawProbabilityMap would draw, collected while the map is written instead of read back:
// per pixel the value of the last cell that covers it. Rows come in file order with the values the
// file holds (the formatted texts read back). A value whose text would not read back as itself
// (longer than a reader takes, not a finite number) is flagged by the writer; the pictures are
// then drawn from the file as before, so that they and any message stay as they were.
class MapPictureCells {
 public:
  MapPictureCells(int width, int height, const TDataDef& reference);
  // False for a row that covers no pixel: its values need not be collected.
  bool NextRowDrawn();
  // The values of the row NextRowDrawn announced (ncols of them).
  void AddRow(const double* values);
  void MarkUnreadable() { readable_ = false; }
  // The picture of DrawProbabilityMap(gridFile, ...), from the cells when every text read back.
  void Draw(const std::filesystem::path& gridFile, double vmin, double vmax, double nodataMarker, bool log10Scale,
            Canvas& canvas, Shell& shell, const std::filesystem::path& bmpFile) const;

 private:
  int width_, height_;
  TDataDef reference_;
  bool readable_ = true;
  std::optional<CellGeometry> geo_;
  std::vector<int> drawnColumns_;  // 0-based columns with a span of at least one pixel
  std::vector<double> value_;      // per pixel, row-major
  std::vector<std::uint8_t> covered_;
};

}  // namespace karvelo
