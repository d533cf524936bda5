// The prior probabilities: the two entry fields with their complement rule, and the prior step of a run.
#pragma once

#include <string>

#include "core/shell.h"
#include "core/workspace.h"

namespace karvelo {

// How the priors are obtained: the three items of rdgrpPrior, in their order.
enum class PriorKind { Manual, Frequency, Decluster };
inline constexpr PriorKind kPriorKinds[] = {PriorKind::Manual, PriorKind::Frequency, PriorKind::Decluster};
// "manual", "frequency", "decluster": the command line's names, and the log's.
const char* PriorKindName(PriorKind kind);

// The prior controls of tab 3 as the engine sees them.
struct PriorControls {
  PriorKind choice = PriorKind::Manual;  // rdgrpPrior
  std::string textP = "0.5"; // edtPriorP
  std::string textA = "0.5"; // edtPriorA
};

// A prior as the fields and the log show it: 3 decimals in a field of 5 characters.
std::string PriorText(double v);

// Leaving a prior field (edtPriorPExit with presence = true, edtPriorAExit otherwise): a number
// from 0 to 1 puts its complement into the other field; anything else puts "0.5" into both. Then
// PriorP and PriorA are read from the two fields.
void PriorEntry(PriorControls& controls, bool presence, Workspace& ws);

// The prior step of a mapping run (bootstrap = false) or of the uncertainty run (true): manual,
// from relative frequencies, or after declustering, with its two log lines. Returns false after a
// message when the priors cannot be had (a field that is no number, no observation counted, ...).
bool PriorStep(Workspace& ws, PriorControls& controls, Shell& shell, bool bootstrap);

}  // namespace karvelo
