// Per-class effect pictures of a mapping run: each class's probability of presence with its interval.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/canvas.h"
#include "core/runcontext.h"
#include "core/shell.h"
#include "core/workspace.h"
#include "mapping/uncertainty.h"

namespace karvelo {

inline constexpr int kEffectsPictureWidth = 440;
inline constexpr int kEffectsPictureHeight = 330;
// The fill of a class with evidence and the hatching of one without.
inline constexpr Rgb kEvidenceFill{96, 128, 200};
inline constexpr Rgb kHatchGrey{150, 150, 150};

// One class as the map uses it: the smoothed probability (a + 1) / (a + b + 2), or the bootstrap
// mean after an uncertainty run, with its interval; `evidence` is false when the class test at 95%
// fails and the map takes the class as neutral.
struct ClassEffect {
  int klasse = 0;
  long long presences = 0, absences = 0;
  double p = 0, lower = 0, upper = 0;
  bool evidence = false;
};

struct GridEffects {
  int entry = 0;
  std::string grid;  // the grid's name as the mapping table shows it
  double prior = 0;
  bool bootstrap = false;  // intervals of mean +- 2 s.d. over the samples, else Beta(a + 1, b + 1) 95%
  std::vector<ClassEffect> classes;
};

// Every classified grid in slot order. Without `bootstrap` the interval is the central 95% of
// Beta(a + 1, b + 1), whose mean is the smoothed value; with it, the samples' mean +- 2 s.d.
// (divisor the number of samples, as the map's standard deviations), held inside [0, 1].
std::vector<GridEffects> ClassEffects(const Workspace& ws, const ClassCPStats* bootstrap);

// "Effects of <grid>.bmp".
std::string EffectsPictureName(const std::string& grid);
// The pictures a mapping run of this configuration writes, by grid.
struct EffectsPicture {
  std::string grid;
  std::filesystem::path file;
};
std::vector<EffectsPicture> EffectsPictures(const Workspace& ws, const RunContext& run);
std::vector<std::filesystem::path> EffectsPictureFiles(const Workspace& ws, const RunContext& run);

// Bars of the classes' probabilities (hatched where the class carries no evidence), their
// intervals, the prior as a dashed line and a legend naming what each mark means.
void DrawEffects(const GridEffects& effects, Canvas& pic);

// Draws and saves one picture per classified grid, logs each after an empty line; returns the
// pictures by grid.
std::vector<EffectsPicture> ReportEffects(const Workspace& ws, const ClassCPStats* bootstrap, Shell& shell);

}  // namespace karvelo
