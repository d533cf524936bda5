// The beta distribution's regularized incomplete function and quantile, for intervals of proportions.
#pragma once

namespace karvelo {

// I_x(a, b) for a, b > 0 and x in [0, 1]; NaN for other arguments.
double RegularizedBeta(double a, double b, double x);

// The x with I_x(a, b) = q, for q in [0, 1]; found by bisection, so it is exact to about 1e-13
// whatever the shape (NaN for arguments outside the domain).
double BetaQuantile(double q, double a, double b);

}  // namespace karvelo
