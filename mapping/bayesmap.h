// The plain mapping run: conditional probabilities per class, the class test, random absences, "BayesP.asc".
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/canvas.h"
#include "core/runtables.h"
#include "core/shell.h"
#include "core/workspace.h"
#include "mapping/precisionnote.h"
#include "render/maprender.h"
#include "mapping/priors.h"

namespace karvelo {

inline constexpr const char* kRandomAbsenceCaption =
    "Absences will be generated at random locations conditional on prior probabilities";

// The result grids a mapping run writes, by plain name: "BayesP.asc", or "AVGBayesP.asc" and
// "SDBayesP.asc" for the uncertainty run, then "Declus.asc" when the priors were declustered.
std::vector<std::string> ResultGridNames(bool uncertainty, bool declustered);

// Every file a mapping run may write into the working folder, whichever kind of run: the grids with
// the projection beside each, the pictures and tables, the GeoTIFFs (with their colour tables) when
// asked for, and the log.
std::vector<std::filesystem::path> MappingOutputs(const RunContext& run, bool geotiff);
// What a mapping run reads: every grid of the configuration and the projection file beside it.
std::vector<std::filesystem::path> MappingInputs(const Workspace& ws);

// A smoothed conditional probability: (a + 1) / (a + b + 2).
inline double SmoothedCP(long long a, long long b) {
  return static_cast<double>(a + 1) / static_cast<double>(a + b + 2);
}
// A conditional probability as the tables show it: 3 decimals in a field of 5 characters.
std::string CPText(double v);

// Places absences at random inside the mapped area, in the number that makes the presences match
// PriorP, writes "Negatives.bin" and re-runs the audit and the final submission quietly. Returns
// false after a message when no sensible number of absences exists.
bool GenerateRandomAbsences(Workspace& ws, RunTables& tables, Shell& shell);

// The mapping table's counts, smoothed conditional probabilities and prior, from the audit's counts.
void FillBayesTable(const Workspace& ws, RunTables& tables, const PriorControls& priors);

// Fills the mapping table and the class test table from the audit's counts (with their log lines)
// and sets ClassChi2.
void FillMappingTables(Workspace& ws, RunTables& tables, const PriorControls& priors, Shell& shell);

// The mapping table's grid names and classes: the audit's rows.
void CopyBayesTableNames(const Workspace& ws, RunTables& tables);

// Writes "BayesP.asc" from the class files, cell by cell; returns the smallest and largest
// probability written (other than no data).
struct ProbabilityRange {
  double minP = 1, maxP = 0;
  WrittenAsZero writtenAsZero{"BayesP.asc", 8};
};
// `cells`, when given, collects the values for the map's pictures as they are written.
ProbabilityRange WriteBayesMap(const Workspace& ws, Shell& shell, MapPictureCells* cells = nullptr);

// The whole plain run after the window's own preparations (uncertainty box unticked). The
// picture is filled with `face` first and ends holding the log10 map. Returns false when the run
// stopped after a message.
bool MapBayesianProbability(Workspace& ws, RunTables& tables, PriorControls& priors, Canvas& picture, Rgb face,
                            Shell& shell);

}  // namespace karvelo
