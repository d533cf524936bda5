// The class labels under a histogram's bars, kept apart from each other and from the axis.
#pragma once

#include <vector>

#include "core/canvas.h"

namespace karvelo {

// Writes "Class 1", "2", "3", ... with its left edge at lefts[k - 1] and its top at y (just below
// the axis line). A label that would touch the one drawn before it, or run past the picture's
// right edge, is left out, so that crowded classes show every other label or fewer.
// Returns the classes whose label was drawn.
std::vector<int> DrawClassLabels(Canvas& pic, const std::vector<int>& lefts, int y);

}  // namespace karvelo
