// The viewer's geometry and its drawing of a view from the reduced images.
#include "render/mapview.h"

#include <algorithm>
#include <cmath>

#include "render/maprender.h"

namespace karvelo {

namespace {
std::uint32_t Pack(Rgb c) { return 0xff000000u | (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b; }
}  // namespace

int ViewTransform::Col(int x) const { return static_cast<int>(std::floor(left + (x + 0.5) / scale)); }
int ViewTransform::Row(int y) const { return static_cast<int>(std::floor(top + (y + 0.5) / scale)); }

ViewTransform ViewTransform::Fit(int ncols, int nrows, int width, int height) {
  ViewTransform v;
  v.scale = std::min(static_cast<double>(std::max(width, 1)) / std::max(ncols, 1), static_cast<double>(std::max(height, 1)) / std::max(nrows, 1));
  v.left = (ncols - width / v.scale) / 2;
  v.top = (nrows - height / v.scale) / 2;
  return v;
}

void ViewTransform::ZoomAt(double x, double y, double factor, double minScale, double maxScale) {
  const double px = left + x / scale, py = top + y / scale;
  scale = std::clamp(scale * factor, minScale, maxScale);
  left = px - x / scale;
  top = py - y / scale;
}

void ViewTransform::Pan(double dx, double dy) {
  left -= dx / scale;
  top -= dy / scale;
}

void RampRange(const MapPyramid& map, bool log10Scale, double& lo, double& hi) {
  lo = log10Scale ? llog10(map.Min()) : map.Min();
  hi = log10Scale ? llog10(map.Max()) : map.Max();
}

bool NeedsDetail(const MapPyramid& map, const ViewTransform& view, int width, int height, int& c0, int& r0, int& c1, int& r1) {
  const PyramidLevel& finest = map.Levels().front();
  if (finest.factor == 1 || 1 / view.scale >= finest.factor) return false;
  c0 = std::clamp(view.Col(0), 0, map.Cols());
  r0 = std::clamp(view.Row(0), 0, map.Rows());
  c1 = std::clamp(view.Col(width - 1) + 1, 0, map.Cols());
  r1 = std::clamp(view.Row(height - 1) + 1, 0, map.Rows());
  return c1 > c0 && r1 > r0;
}

void RenderView(const MapPyramid& map, const ViewTransform& view, const ViewStyle& style, const DetailRegion* detail,
                int width, int height, std::vector<std::uint32_t>& out) {
  out.assign(static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0), Pack(style.background));
  if (width <= 0 || height <= 0) return;
  double lo = 0, hi = 0;
  RampRange(map, style.log10Scale, lo, hi);
  const std::uint32_t red = Pack(kNoDataRed);

  // The source: full-resolution cells when the view needs and has them, else a reduced image.
  int c0 = 0, r0 = 0, c1 = 0, r1 = 0;
  const bool fine = NeedsDetail(map, view, width, height, c0, r0, c1, r1) && detail && detail->Covers(c0, r0, c1, r1);
  const PyramidLevel& level = map.LevelFor(1 / view.scale);
  const int factor = fine ? 1 : level.factor;

  // Column of each pixel, once per view.
  std::vector<int> colOf(static_cast<std::size_t>(width), -1);
  for (int x = 0; x < width; ++x) {
    const int c = view.Col(x);
    if (c >= 0 && c < map.Cols()) colOf[static_cast<std::size_t>(x)] = fine ? c - detail->c0 : c / factor;
  }
  // Neighbouring pixels mostly show the same texel: its colour is kept.
  float lastValue = 0;
  std::uint32_t lastColour = red;
  bool haveLast = false;
  for (int y = 0; y < height; ++y) {
    const int r = view.Row(y);
    if (r < 0 || r >= map.Rows()) continue;
    const float* row = fine ? detail->values.data() + static_cast<std::size_t>(r - detail->r0) * (detail->c1 - detail->c0)
                            : level.texels.data() + static_cast<std::size_t>(r / factor) * level.cols;
    std::uint32_t* dst = out.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      const int i = colOf[static_cast<std::size_t>(x)];
      if (i < 0) continue;
      const float v = row[i];
      if (std::isnan(v)) {
        dst[x] = red;
        continue;
      }
      if (!haveLast || v != lastValue) {
        lastValue = v;
        lastColour = Pack(RampGrey(style.log10Scale ? llog10(v) : v, lo, hi));
        haveLast = true;
      }
      dst[x] = lastColour;
    }
  }
}

}  // namespace karvelo
