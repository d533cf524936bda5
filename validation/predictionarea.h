// The prediction-area curve: the finds a threshold captures against the area it takes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/canvas.h"
#include "validation/mapvalues.h"

namespace karvelo {

inline constexpr int kPredictionAreaPictureWidth = 420, kPredictionAreaPictureHeight = 320;
inline constexpr std::size_t kPredictionAreaCurvePoints = 1000;

struct PredictionAreaPoint {
  double threshold = 0;
  double finds = 0;  // share of the finds at or above the threshold (the prediction rate)
  double area = 0;   // share of the map's cells at or above it
};

struct PredictionArea {
  // At most kPredictionAreaCurvePoints of the map's values, evenly through them, ascending, for the picture.
  std::vector<PredictionAreaPoint> curve;
  // The map value where the prediction rate comes closest to the area left out (finds = 1 - area);
  // of equally close values the highest. None without a find or a cell.
  std::optional<PredictionAreaPoint> intersection;
};

PredictionArea PredictionAreaCurve(const std::vector<double>& findScores, const MapValueCounts& map);

// "Prediction-area intersection: threshold 0.123456, finds 0.7500, area 0.2500", or that there is none.
std::string PredictionAreaLine(const PredictionArea& result);
// "Prediction-area of " + the map's file name.
std::string PredictionAreaTitle(const std::string& mapFileName);
// The prediction rate (left axis) and the area (right axis, reversed) against the threshold, the
// intersection marked.
void DrawPredictionArea(const PredictionArea& result, const std::string& title, Canvas& picture);

}  // namespace karvelo
