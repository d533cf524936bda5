// Classifying a continuous grid: proposed class bounds, edited bounds, storing, and the histogram.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "core/canvas.h"
#include "core/shell.h"
#include "core/workspace.h"

namespace karvelo {

inline constexpr int kHistogramWidth = 328;
inline constexpr int kHistogramHeight = 305;

// The bound texts of the classification window: row k (1..20) shows Edit k (lower bound of class
// k) and Label k (its upper bound, normally the lower bound of class k + 1).
struct ClassBounds {
  int n = 8;  // number of classes, kept between openings
  std::array<std::string, MaxClasses> edits;
  std::array<std::string, MaxClasses> labels;

  const std::string& Edit(int k) const { return edits[static_cast<std::size_t>(k - 1)]; }
  const std::string& Label(int k) const { return labels[static_cast<std::size_t>(k - 1)]; }
};

// A bound as the window shows it: 5 decimals, rounded to nearest; or rounded down (toward minus
// infinity), so that a cell holding v lies in the class that starts at the text.
std::string BoundText(long double v);
std::string RoundedDownBoundText(long double v);

// The 21 proposed bound texts b1..b21 for n classes between min and max: steps of a fifth of a
// power of ten, based on the multiple of the step nearest to min; b1 = min, b(n+1) = max; each
// written with 5 decimals (b1 rounded down, so that the minimum stays in class 1). Unused texts are "0".
std::array<std::string, MaxClasses + 1> ProposeBoundTexts(double min, double max, int n);
// Puts the proposal into the edit and label texts (any edits are replaced).
void ProposeBounds(ClassBounds& bounds, double min, double max);

// An edited lower bound of class k (2..20): when the text is a number, the upper bound of class
// k - 1 follows it, exactly as typed. Returns whether it followed.
bool Editlegend(ClassBounds& bounds, int k, const std::string& text);

// Stores n classes into def; the last upper bound u is raised so that the maximum falls into the
// last class: u * 1.01 when u > 0, else u plus 1 % of the range from the first lower bound (plus 1
// when that range is 0), at least 0.00001. Texts that are not numbers give their valid prefix (or 0).
void PerformFinalization(const ClassBounds& bounds, TDataDef& def);

// The first class of def that cannot hold a value (lower bound not below its upper bound) or
// overlaps the class before it (lower bound below that one's upper bound): its number and what
// is wrong ("runs from 20 to 10; ..."), to follow "class 2 of <grid> " or "line 27: class 2 ".
struct ClassFault {
  int klasse;
  std::string what;
};
std::optional<ClassFault> FindClassFault(const TDataDef& def);

// Why the window's bound texts of classes 1..n cannot be stored (a text that is no number, or
// bounds that do not ascend), naming the class; nothing when they can.
std::optional<std::string> BoundsProblem(const ClassBounds& bounds);
// Why the text of Edit k (the lower bound of class k) cannot stand: no number, or not above the
// lower bound of class k - 1 when that one is a number. Nothing when it can.
std::optional<std::string> EditProblem(const ClassBounds& bounds, int k, const std::string& text);

// The message when def's range (maxvalue - minvalue, or the last bound above the maximum) is
// beyond a double, so that no classes can be formed; nothing when the range is fine.
std::optional<std::string> RangeProblem(const TDataDef& def);

// Per class 0..20 (class 0: below the first lower bound, counted but never shown).
struct HistogramCounts {
  std::array<long long, MaxClasses + 1> cells{}, presences{}, absences{};
};

// Why the working record cannot be counted against the configuration's last presence grid: the
// lines that say how their extents differ (nothing when they agree or there is no presence grid).
std::optional<std::string> HistogramExtentProblem(const Workspace& ws);

// The histogram of presences and absences per class of the working record against the
// configuration's last presence grid, with its chi-squared marks. Bounds that cannot be stored
// (BoundsProblem) are refused first; otherwise the classes are stored, and a grid of another
// extent (HistogramExtentProblem) is refused. Shows the message and returns false when it cannot
// be drawn.
bool DrawClassHistogram(Workspace& ws, const ClassBounds& bounds, Canvas& picture, Shell& shell);

// The histogram's error message.
std::string HistogramErrorMessage();

// "Chi2 pos: 12.3 **" or "Chi2 pos undefined" for the counts of classes 1..n.
std::string HistogramChi2Text(const HistogramCounts& counts, int n, bool presences);

}  // namespace karvelo
