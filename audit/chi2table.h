// Critical values of the chi-squared distribution, as the audit and the class tests compare them.
#pragma once

#include "core/workspace.h"

namespace karvelo {

// Fills ws.Chi2Table for n = 2..21 classes (n - 1 degrees of freedom) with the upper 5% and 1%
// points rounded to three significant digits; the rounded values are what the tests compare with.
void FillChi2Table(Workspace& ws);

// " *" when chi2 reaches the 95% value for n classes, " **" when it also reaches the 99% value.
std::string Chi2Marks(const Workspace& ws, int nClasses, double chi2);

}  // namespace karvelo
