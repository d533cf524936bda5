// Drawing grids as 300 x 300 grey pictures.
#include "render/maprender.h"

#include <algorithm>
#include <cmath>

#include "core/gridfile.h"
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
  GridReader reader(def);
  canvas.FillRect(0, 0, canvas.Width(), canvas.Height(), background);
  if (def.ncols <= 0 || def.nrows <= 0) return;
  CellGeometry geo(canvas.Width(), canvas.Height(), def.ncols, def.nrows);
  reader.SkipHeader();
  shell.gaugeRange(0, def.nrows);
  for (int r = 1; r <= def.nrows; ++r) {
    geo.NextRow();
    const int top = geo.Top(), bottom = geo.Bottom();
    for (int c = 1; c <= def.ncols; ++c) {
      const double v = reader.ReadValue();
      if (v == def.NODATA_value) continue;
      const int left = geo.Left(c), right = geo.Right(c);
      if (left >= right || top >= bottom) continue;  // an empty cell draws nothing
      canvas.FillRect(left, top, right, bottom, RampGrey(v, def.minvalue, def.maxvalue));
    }
    reader.ReadLine();
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

}  // namespace karvelo
