// The program's statistics: critical values, the chi-squared tests, distribution functions, typed results.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace karvelo {

// How far a statistic reaches in the critical-value table.
enum class Significance { None, At95, At99 };

// A test's outcome as the steps hand it on: the statistic, its degrees of freedom, the level it
// reaches, and its upper-tail probability (computed where a line shows it).
struct Chi2Result {
  double value = 0;
  int df = 0;
  Significance level = Significance::None;
};

// Upper 5% and 1% points of the chi-squared distribution for 1..20 degrees of freedom, rounded to
// three significant digits: the rounded values are what every test compares with.
inline constexpr int kChi2TableMaxDf = 20;
inline constexpr std::array<std::array<double, 2>, kChi2TableMaxDf> kChi2Critical = {{
    {3.84, 6.63}, {5.99, 9.21}, {7.81, 11.3}, {9.49, 13.3}, {11.1, 15.1}, {12.6, 16.8}, {14.1, 18.5},
    {15.5, 20.1}, {16.9, 21.7}, {18.3, 23.2}, {19.7, 24.7}, {21.0, 26.2}, {22.4, 27.7}, {23.7, 29.1},
    {25.0, 30.6}, {26.3, 32.0}, {27.6, 33.4}, {28.9, 34.8}, {30.1, 36.2}, {31.4, 37.6}}};

// The level chi2 reaches with df degrees of freedom; None outside the table's 1..20.
Significance Chi2Level(double chi2, int df);
inline bool Significant(const Chi2Result& r) { return r.level != Significance::None; }

// The goodness of fit of observed counts per class against counts expected from the classes'
// cells (total x cells / all cells, rounded halves-to-even). A class whose expectation is 0 adds
// nothing and is listed (1-based); df is classes - 1.
struct GoodnessOfFit {
  Chi2Result test;
  std::vector<int> classesWithoutExpectation;
};
GoodnessOfFit GoodnessOfFitTest(std::span<const long long> observed, std::span<const long long> cells);

// The class test: smoothed shares (p + 1) / (p + q + 2) and (q + 1) / (p + q + 2) of p presences
// and q absences against an even split, one degree of freedom.
Chi2Result EvenSplitTest(long long p, long long q);

// Pearson's chi-squared test of independence of a contingency table (no continuity correction).
// Rows and columns without any count are dropped first; `sparse` tells that more than 20% of the
// expected counts are below 5. A table of fewer than two rows or columns left has no test.
struct ContingencyResult {
  bool tested = false;
  Chi2Result test;
  double p = 1;
  int rows = 0, cols = 0;
  bool sparse = false;
};
ContingencyResult ContingencyTest(const std::vector<std::vector<long long>>& counts);

// Distribution functions.
double NormalCdf(double z);
double NormalUpperTail(double z);
// The regularized lower incomplete gamma function P(a, x).
double RegularizedGammaP(double a, double x);
double Chi2Cdf(double x, int df);
double Chi2UpperTail(double x, int df);

// The two-sided 95% point of the standard normal distribution.
inline constexpr double kNormal975 = 1.959963984540054;

}  // namespace karvelo
