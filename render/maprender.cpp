// Drawing grids as 300 x 300 grey pictures.
#include "render/maprender.h"

#include <algorithm>
#include <cmath>

#include "core/gridfile.h"
#include "core/gridrows.h"
#include "core/numfmt.h"

namespace karvelo {

CellGeometry::CellGeometry(int width, int height, int ncols, int nrows) {
  const double sx = static_cast<double>(width) / ncols;
  const double sy = static_cast<double>(height) / nrows;
  s_ = sx >= sy ? sy : sx;
  y_ = -s_;
  const bool wide = s_ == sx;
  left_.resize(static_cast<std::size_t>(std::max(ncols, 0)));
  right_.resize(left_.size());
  double x = -s_;
  for (int c = 1; c <= ncols; ++c) {
    x += s_;
    const double left = wide ? static_cast<double>(static_cast<long long>(width) * (c - 1)) / ncols : x;
    left_[static_cast<std::size_t>(c - 1)] = RoundToInt(left);
    right_[static_cast<std::size_t>(c - 1)] = RoundToInt(left + s_);
  }
}

int CellGeometry::Top() const { return RoundToInt(y_); }
int CellGeometry::Bottom() const { return RoundToInt(y_ + s_); }

Rgb RampGrey(double v, double vmin, double vmax) {
  const double t = vmax == vmin ? 0.5 : (v - vmin) / (vmax - vmin);
  double g = RoundHalfEven((1 - t) * 255);
  if (!(g >= 1)) g = 1;  // also catches NaN
  if (g > 255) g = 255;
  const auto gi = static_cast<std::uint8_t>(g);
  return Rgb{gi, gi, gi};
}

double llog10(double x) { return x > 0 ? std::log10(x) : 0; }

void DrawDataMap(const TDataDef& def, Canvas& canvas, Shell& shell, Rgb background) {
  if (def.GridFileType == TGridFileType::notgrid) return;
  GridRows rows(def, shell.run().Pool());
  canvas.FillRect(0, 0, canvas.Width(), canvas.Height(), background);
  if (def.ncols <= 0 || def.nrows <= 0) return;
  CellGeometry geo(canvas.Width(), canvas.Height(), def.ncols, def.nrows);
  shell.gaugeRange(0, def.nrows);
  for (int r = 1; r <= def.nrows; ++r) {
    geo.NextRow();
    const int top = geo.Top(), bottom = geo.Bottom();
    const double* values = rows.Next();
    for (int c = 1; c <= def.ncols; ++c) {
      const double v = values[c - 1];
      if (v == def.NODATA_value) continue;
      const int left = geo.Left(c), right = geo.Right(c);
      if (left >= right || top >= bottom) continue;  // an empty cell draws nothing
      canvas.FillRect(left, top, right, bottom, RampGrey(v, def.minvalue, def.maxvalue));
    }
    shell.row(r);
    if ((static_cast<long long>(r) * 50) % def.nrows == 0) shell.refresh();
  }
}

void DrawProbabilityMap(const std::filesystem::path& gridFile, const TDataDef& reference, double vmin,
                        double vmax, double nodataMarker, bool log10Scale, Canvas& canvas, Shell& shell,
                        const std::filesystem::path& bmpFile) {
  TDataDef file = reference;
  file.FileName = gridFile.string();
  file.GridFileType = TGridFileType::asciigrid;
  {
    GridReader reader(file);
    reader.SkipHeader();
    const double lo = log10Scale ? llog10(vmin) : vmin;
    const double hi = log10Scale ? llog10(vmax) : vmax;
    shell.gaugeRange(0, reference.nrows);
    if (reference.ncols > 0 && reference.nrows > 0) {
      CellGeometry geo(canvas.Width(), canvas.Height(), reference.ncols, reference.nrows);
      for (int r = 1; r <= reference.nrows; ++r) {
        geo.NextRow();
        const int top = geo.Top(), bottom = geo.Bottom();
        for (int c = 1; c <= reference.ncols; ++c) {
          const double v = reader.ReadValue();
          const int left = geo.Left(c), right = geo.Right(c);
          if (left >= right || top >= bottom) continue;
          const Rgb colour = v == nodataMarker ? kNoDataRed : RampGrey(log10Scale ? llog10(v) : v, lo, hi);
          canvas.FillRect(left, top, right, bottom, colour);
        }
        reader.ReadLine();
        shell.row(r);
      }
    }
  }
  canvas.SaveBmp(bmpFile);
}

MapPictureCells::MapPictureCells(int width, int height, const TDataDef& reference)
    : width_(width), height_(height), reference_(reference) {
  if (reference.ncols <= 0 || reference.nrows <= 0 || width <= 0 || height <= 0) return;
  geo_.emplace(width, height, reference.ncols, reference.nrows);
  for (int c = 1; c <= reference.ncols; ++c) {
    if (geo_->Left(c) < geo_->Right(c)) drawnColumns_.push_back(c - 1);
  }
  value_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0.0);
  covered_.assign(value_.size(), 0);
}

bool MapPictureCells::NextRowDrawn() {
  if (!geo_) return false;
  geo_->NextRow();
  return geo_->Top() < geo_->Bottom() && !drawnColumns_.empty();
}

void MapPictureCells::AddRow(const double* values) {
  // Cells drawn later cover earlier ones, as the painting in file order does; spans are clipped
  // to the picture as painting clips them.
  const int top = std::max(geo_->Top(), 0), bottom = std::min(geo_->Bottom(), height_);
  for (const int c : drawnColumns_) {
    const int left = std::max(geo_->Left(c + 1), 0), right = std::min(geo_->Right(c + 1), width_);
    for (int y = top; y < bottom; ++y) {
      const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
      for (int x = left; x < right; ++x) {
        value_[at + static_cast<std::size_t>(x)] = values[c];
        covered_[at + static_cast<std::size_t>(x)] = 1;
      }
    }
  }
}

void MapPictureCells::Draw(const std::filesystem::path& gridFile, double vmin, double vmax, double nodataMarker,
                           bool log10Scale, Canvas& canvas, Shell& shell, const std::filesystem::path& bmpFile) const {
  if (!readable_ || canvas.Width() != width_ || canvas.Height() != height_) {
    DrawProbabilityMap(gridFile, reference_, vmin, vmax, nodataMarker, log10Scale, canvas, shell, bmpFile);
    return;
  }
  const double lo = log10Scale ? llog10(vmin) : vmin;
  const double hi = log10Scale ? llog10(vmax) : vmax;
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
      if (!covered_[at]) continue;
      const double v = value_[at];
      canvas.SetPixel(x, y, v == nodataMarker ? kNoDataRed : RampGrey(log10Scale ? llog10(v) : v, lo, hi));
    }
  }
  canvas.SaveBmp(bmpFile);
}

}  // namespace karvelo
