// The chi-squared critical values table.
#include "audit/chi2table.h"

namespace karvelo {

void FillChi2Table(Workspace& ws) {
  static constexpr double kValues[20][2] = {
      {3.84, 6.63}, {5.99, 9.21}, {7.81, 11.3}, {9.49, 13.3}, {11.1, 15.1}, {12.6, 16.8}, {14.1, 18.5},
      {15.5, 20.1}, {16.9, 21.7}, {18.3, 23.2}, {19.7, 24.7}, {21.0, 26.2}, {22.4, 27.7}, {23.7, 29.1},
      {25.0, 30.6}, {26.3, 32.0}, {27.6, 33.4}, {28.9, 34.8}, {30.1, 36.2}, {31.4, 37.6}};
  for (int n = 2; n <= 21; ++n) {
    ws.Chi2Table[static_cast<std::size_t>(n)] = {kValues[n - 2][0], kValues[n - 2][1]};
  }
}

std::string Chi2Marks(const Workspace& ws, int nClasses, double chi2) {
  if (nClasses < 2 || nClasses > 21) return {};
  const auto& row = ws.Chi2Table[static_cast<std::size_t>(nClasses)];
  std::string marks;
  if (chi2 >= row[0]) {
    marks = " *";
    if (chi2 >= row[1]) marks += "*";
  }
  return marks;
}

}  // namespace karvelo
