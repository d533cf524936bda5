// Incomplete beta function by its continued fraction (Lentz's method) and its inverse by bisection.
#include "stats/beta.h"

#include <cmath>
#include <limits>

namespace karvelo {

namespace {

// The continued fraction of I_x(a, b); converges fast for x < (a + 1) / (a + b + 2).
double BetaFraction(double a, double b, double x) {
  constexpr double tiny = 1e-300, eps = 1e-15;
  double c = 1, d = 1 - (a + b) * x / (a + 1);
  if (std::fabs(d) < tiny) d = tiny;
  d = 1 / d;
  double h = d;
  for (int m = 1; m <= 500; ++m) {
    const double m2 = 2.0 * m;
    double num = m * (b - m) * x / ((a + m2 - 1) * (a + m2));
    d = 1 + num * d;
    c = 1 + num / c;
    if (std::fabs(d) < tiny) d = tiny;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1 / d;
    h *= d * c;
    num = -(a + m) * (a + b + m) * x / ((a + m2) * (a + m2 + 1));
    d = 1 + num * d;
    c = 1 + num / c;
    if (std::fabs(d) < tiny) d = tiny;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1 / d;
    const double step = d * c;
    h *= step;
    if (std::fabs(step - 1) < eps) break;
  }
  return h;
}

}  // namespace

double RegularizedBeta(double a, double b, double x) {
  if (!(a > 0) || !(b > 0) || !(x >= 0) || !(x <= 1)) return std::numeric_limits<double>::quiet_NaN();
  if (x == 0 || x == 1) return x;
  const double front = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
  // The symmetry I_x(a, b) = 1 - I_{1-x}(b, a) keeps the fraction in its fast range.
  if (x < (a + 1) / (a + b + 2)) return front * BetaFraction(a, b, x) / a;
  return 1 - front * BetaFraction(b, a, 1 - x) / b;
}

double BetaQuantile(double q, double a, double b) {
  if (!(q >= 0) || !(q <= 1) || !(a > 0) || !(b > 0)) return std::numeric_limits<double>::quiet_NaN();
  double lo = 0, hi = 1;
  // I_x is increasing in x: 60 halvings leave an interval below 1e-18.
  for (int i = 0; i < 60; ++i) {
    const double mid = 0.5 * (lo + hi);
    if (RegularizedBeta(a, b, mid) < q) lo = mid;
    else hi = mid;
  }
  return 0.5 * (lo + hi);
}

}  // namespace karvelo
