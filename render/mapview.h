// What a map viewer shows: which cell lies under a pixel at a zoom, and the view drawn as pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "core/canvas.h"
#include "render/mappyramid.h"

namespace karvelo {

// Pixel (x, y) of the view shows the point (left + (x + 0.5) / scale, top + (y + 0.5) / scale) in
// cell units from the map's top-left corner; scale is pixels per cell.
struct ViewTransform {
  double scale = 1;
  double left = 0, top = 0;

  // The cell (col, row) under pixel (x, y); it may lie off the map.
  int Col(int x) const;
  int Row(int y) const;
  // The whole map centred in a width x height view.
  static ViewTransform Fit(int ncols, int nrows, int width, int height);
  // Multiplies the scale by factor (within [minScale, maxScale]), keeping the point under pixel
  // (x, y) where it is.
  void ZoomAt(double x, double y, double factor, double minScale, double maxScale);
  // Moves the map by (dx, dy) pixels.
  void Pan(double dx, double dy);
};

// A block of full-resolution cells read from the file, drawn instead of the reduced images when
// the view shows cells larger than the finest kept level's texels.
struct DetailRegion {
  int c0 = 0, r0 = 0, c1 = 0, r1 = 0;
  std::vector<float> values;
  bool Covers(int cFrom, int rFrom, int cTo, int rTo) const { return cFrom >= c0 && rFrom >= r0 && cTo <= c1 && rTo <= r1 && !values.empty(); }
};

struct ViewStyle {
  bool log10Scale = false;
  Rgb background = kDefaultFace;
};

// The range the grey ramp spans, on the chosen scale (log10 of the values for a log10 scale, as
// the map pictures do it).
void RampRange(const MapPyramid& map, bool log10Scale, double& lo, double& hi);

// Draws the view into out (width x height, row by row, 0xffRRGGBB): each pixel the grey of the
// texel or cell it shows, no-data red, beyond the map the background. detail may be null.
void RenderView(const MapPyramid& map, const ViewTransform& view, const ViewStyle& style, const DetailRegion* detail,
                int width, int height, std::vector<std::uint32_t>& out);

// Whether the view needs full-resolution cells (it shows cells larger than the finest texels),
// and which: the visible cells, clamped to the map.
bool NeedsDetail(const MapPyramid& map, const ViewTransform& view, int width, int height, int& c0, int& r0, int& c1, int& r1);

}  // namespace karvelo
