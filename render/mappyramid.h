// A map held for viewing: reduced images of an ASCII grid built in one pass, and its cells on demand.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "core/datadef.h"
#include "core/shell.h"

namespace karvelo {

class GridReader;

// One reduced image: each texel is the mean of the data cells of a factor x factor block of the
// grid (NaN where the block holds no data).
struct PyramidLevel {
  int factor = 1;
  int cols = 0, rows = 0;
  std::vector<float> texels;  // row by row
  float At(int col, int row) const { return texels[static_cast<std::size_t>(row) * cols + col]; }
};

// A grid read once into a few reduced images, for a viewer that draws the whole map at any zoom
// without holding every cell: the finest level kept has at most `maxTexels` texels (the full
// grid when it is that small), each next level halves it, down to a level of at most
// `coarsestSide` texels on a side. The exact value of a cell is read back from the file (the start of each row is
// remembered), so what the viewer reports is the file's number, not a reduced one.
class MapPyramid {
 public:
  static constexpr long long kDefaultMaxTexels = 16LL * 1024 * 1024;

  // Reads the header and every cell of `file` once. Throws FileError (naming the file) when it
  // cannot be read or holds something that is not a number. Advances shell's gauge once per row.
  MapPyramid(const std::filesystem::path& file, Shell& shell, long long maxTexels = kDefaultMaxTexels, int coarsestSide = 256);
  ~MapPyramid();
  MapPyramid(const MapPyramid&) = delete;
  MapPyramid& operator=(const MapPyramid&) = delete;

  const TDataDef& Header() const { return header_; }
  int Cols() const { return header_.ncols; }
  int Rows() const { return header_.nrows; }
  // Smallest and largest data value, and the smallest positive one (for a log10 scale); hasData
  // is false when every cell is no-data.
  double Min() const { return min_; }
  double Max() const { return max_; }
  bool HasData() const { return hasData_; }

  const std::vector<PyramidLevel>& Levels() const { return levels_; }
  // The coarsest level whose texel is no larger than `cellsPerPixel` cells (the finest kept
  // level when none is).
  const PyramidLevel& LevelFor(double cellsPerPixel) const;

  // The file's value of cell (col, row), 0-based from the top-left; nullopt for no-data or a cell
  // off the map. Reads the cell's row from the file unless it is the row read last.
  std::optional<double> CellValue(int col, int row) const;
  // The values of rows r0..r1-1, columns c0..c1-1 (NaN for no-data), read from the file: what a
  // viewer draws when it is zoomed in beyond the finest kept level.
  std::vector<float> Region(int c0, int r0, int c1, int r1) const;

  // Map coordinates of a cell's centre.
  double CellX(int col) const { return header_.xllcorner + (col + 0.5) * header_.cellsize; }
  double CellY(int row) const { return header_.yllcorner + (header_.nrows - row - 0.5) * header_.cellsize; }

 private:
  void ReadRow(int row) const;

  TDataDef header_;
  double min_ = 0, max_ = 0;
  bool hasData_ = false;
  std::vector<PyramidLevel> levels_;
  std::vector<long long> rowOffsets_;
  std::unique_ptr<GridReader> reader_;
  mutable int cachedRow_ = -1;
  mutable std::vector<double> rowValues_;
};

}  // namespace karvelo
