// The uncertainty run: bootstrap resampling of the conditional probabilities and the error-propagation map.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/canvas.h"
#include "core/runtables.h"
#include "core/shell.h"
#include "core/workspace.h"
#include "mapping/priors.h"

namespace karvelo {

// Bootstrap statistics of one class's conditional probabilities.
struct ClassStats {
  double SumP = 0, SumSqP = 0, MeanP = 0, SdP = 0;
  double SumA = 0, SumSqA = 0, MeanA = 0, SdA = 0;
};
using ClassCPStats = std::array<std::array<ClassStats, MaxClasses + 1>, MaxDataFiles + 1>;

inline constexpr const char* kBootstrapCaption = "(Chi2 based on data, not on bootstrapping)";

// The evidence filter's levels: the items "(all)", "vweak", "weak", "mod", "strong", "vstrong".
enum class EvidenceLevel { All, VeryWeak, Weak, Moderate, Strong, VeryStrong };
inline constexpr EvidenceLevel kEvidenceLevels[] = {EvidenceLevel::All,      EvidenceLevel::VeryWeak, EvidenceLevel::Weak,
                                                     EvidenceLevel::Moderate, EvidenceLevel::Strong,   EvidenceLevel::VeryStrong};
// The filter's threshold of a level.
double EvidenceThreshold(EvidenceLevel level);

// The probability of presence of one inside cell and its standard deviation, propagated to first
// order from the classes' means and standard deviations; P is -1 when the cell is filtered (its
// test value does not pass the threshold) or invalid.
struct CellEstimate {
  double P = -1, sigma = -1, t = 0;
};
struct ClassEvidence {
  double MeanP, SdP, MeanA, SdA;
};
CellEstimate ErrorPropCell(const std::vector<ClassEvidence>& classes, bool valid, double priorP, double priorA, int V,
                           double threshold);

// One line of "BootstrapData.txt".
std::string BootstrapLine(int sample, const std::string& gridName, int klasse, double cpPres, double cpAbs);
// Its header line.
std::string BootstrapHeader();

// The observation cells of the reference grid, rows ascending and columns ascending within a row.
struct Observation {
  int row, col;
};

// The resampling stage: writes the observation lists and the samples to "Presences.txt" and
// "Absences.txt" (registered), every sample's conditional probabilities to "BootstrapData.txt",
// and returns the sums per entry and class. Each observation's classes are looked up once, from
// the class mask files, so a sample is only counting. The configuration's own counts stay as the
// audit left them.
ClassCPStats Bootstrap(Workspace& ws, Shell& shell);

// The whole uncertainty run after the window's own preparations. Returns false when it stopped
// after a message. `samples`, when given, receives the bootstrap's statistics of every class.
bool ErrorProp(Workspace& ws, RunTables& tables, PriorControls& priors, EvidenceLevel evidence, Canvas& picture, Rgb face,
               Shell& shell, ClassCPStats* samples = nullptr);

}  // namespace karvelo
