// Reading a grid once into reduced images, and reading its cells back for a viewer.
#include "render/mappyramid.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/errors.h"
#include "core/gridfile.h"

namespace karvelo {

namespace {

constexpr float kNoTexel = std::numeric_limits<float>::quiet_NaN();

int Reduced(int n, int factor) { return (n + factor - 1) / factor; }

// Sums and counts of the data cells per texel of one level, from which its means and the next
// coarser level follow.
struct Accumulator {
  int factor, cols, rows;
  std::vector<double> sums;
  std::vector<std::int32_t> counts;
  Accumulator(int f, int ncols, int nrows)
      : factor(f), cols(Reduced(ncols, f)), rows(Reduced(nrows, f)),
        sums(static_cast<std::size_t>(cols) * rows), counts(sums.size()) {}

  PyramidLevel Means() const {
    PyramidLevel level{factor, cols, rows, std::vector<float>(sums.size())};
    for (std::size_t i = 0; i < sums.size(); ++i) level.texels[i] = counts[i] > 0 ? static_cast<float>(sums[i] / counts[i]) : kNoTexel;
    return level;
  }
  Accumulator Halved(int ncols, int nrows) const {
    Accumulator next(factor * 2, ncols, nrows);
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < cols; ++c) {
        const std::size_t from = static_cast<std::size_t>(r) * cols + c;
        const std::size_t to = static_cast<std::size_t>(r / 2) * next.cols + c / 2;
        next.sums[to] += sums[from];
        next.counts[to] += counts[from];
      }
    }
    return next;
  }
};

}  // namespace

MapPyramid::MapPyramid(const std::filesystem::path& file, Shell& shell, long long maxTexels, int coarsestSide) {
  header_.FileName = file.string();
  header_.GridFileType = TGridFileType::asciigrid;
  SilentShell quiet;
  if (!ReadHeader(header_, quiet)) ThrowFileError(file, TooManyCellsMessage());
  const int ncols = header_.ncols, nrows = header_.nrows;
  if (ncols <= 0 || nrows <= 0) ThrowFileError(file, "the grid has no cells (ncols " + std::to_string(ncols) + ", nrows " + std::to_string(nrows) + ")");

  int f0 = 1, shift = 0;
  while (static_cast<long long>(Reduced(ncols, f0)) * Reduced(nrows, f0) > std::max(1LL, maxTexels)) f0 *= 2, ++shift;
  Accumulator acc(f0, ncols, nrows);

  GridReader reader(header_);
  reader.SkipHeader();
  rowOffsets_.resize(static_cast<std::size_t>(nrows));
  const double nodata = header_.NODATA_value;
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  shell.gaugeRange(0, nrows);
  // The inner loop is the whole cost of opening a large map: comparisons that are rarely true,
  // and the texel by a shift (f0 is a power of two).
  for (int r = 0; r < nrows; ++r) {
    rowOffsets_[static_cast<std::size_t>(r)] = reader.Offset();
    double* sums = acc.sums.data() + static_cast<std::size_t>(r >> shift) * acc.cols;
    std::int32_t* counts = acc.counts.data() + static_cast<std::size_t>(r >> shift) * acc.cols;
    for (int c = 0; c < ncols; ++c) {
      const double v = reader.ReadValue();
      if (v == nodata || v != v) continue;
      if (v < lo) lo = v;
      if (v > hi) hi = v;
      sums[c >> shift] += v;
      ++counts[c >> shift];
    }
    reader.ReadLine();
    shell.gaugeProgress(r + 1);
  }
  hasData_ = lo <= hi;
  min_ = hasData_ ? lo : 0;
  max_ = hasData_ ? hi : 0;

  levels_.push_back(acc.Means());
  while (std::max(acc.cols, acc.rows) > std::max(coarsestSide, 1)) {
    acc = acc.Halved(ncols, nrows);
    levels_.push_back(acc.Means());
  }
  // The cells are read back through a small buffer: a row, or a few, at a time.
  reader_ = std::make_unique<GridReader>(header_, 1 << 16);
}

MapPyramid::~MapPyramid() = default;

const PyramidLevel& MapPyramid::LevelFor(double cellsPerPixel) const {
  const PyramidLevel* best = &levels_.front();
  for (const PyramidLevel& level : levels_) {
    if (level.factor <= cellsPerPixel) best = &level;
  }
  return *best;
}

void MapPyramid::ReadRow(int row) const {
  if (row == cachedRow_) return;
  cachedRow_ = -1;
  rowValues_.resize(static_cast<std::size_t>(header_.ncols));
  reader_->Seek(rowOffsets_[static_cast<std::size_t>(row)]);
  for (double& v : rowValues_) v = reader_->ReadValue();
  cachedRow_ = row;
}

std::optional<double> MapPyramid::CellValue(int col, int row) const {
  if (col < 0 || row < 0 || col >= header_.ncols || row >= header_.nrows) return std::nullopt;
  ReadRow(row);
  const double v = rowValues_[static_cast<std::size_t>(col)];
  if (v == header_.NODATA_value || std::isnan(v)) return std::nullopt;
  return v;
}

std::vector<float> MapPyramid::Region(int c0, int r0, int c1, int r1) const {
  c0 = std::clamp(c0, 0, header_.ncols);
  c1 = std::clamp(c1, c0, header_.ncols);
  r0 = std::clamp(r0, 0, header_.nrows);
  r1 = std::clamp(r1, r0, header_.nrows);
  std::vector<float> out(static_cast<std::size_t>(c1 - c0) * (r1 - r0), kNoTexel);
  if (out.empty()) return out;
  cachedRow_ = -1;
  reader_->Seek(rowOffsets_[static_cast<std::size_t>(r0)]);
  for (int r = r0; r < r1; ++r) {
    float* dst = out.data() + static_cast<std::size_t>(r - r0) * (c1 - c0);
    for (int c = 0; c < c1; ++c) {
      const double v = reader_->ReadValue();
      if (c >= c0 && v != header_.NODATA_value) dst[c - c0] = static_cast<float>(v);
    }
    reader_->ReadLine();
  }
  return out;
}

}  // namespace karvelo
