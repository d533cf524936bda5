// Class bounds of continuous grids and the presence/absence histogram of the classification window.
#include "config/classification.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "config/configfile.h"
#include "core/errors.h"
#include "core/gridfile.h"
#include "core/gridrows.h"
#include "core/numfmt.h"
#include "core/textsafe.h"
#include "render/classlabels.h"
#include "stats/statistics.h"
#include "stats/statstext.h"

namespace karvelo {

namespace {

// Proposals are computed in extended precision; its 5-decimal text is what the user sees.
std::string Fixed5(long double v) {
  char buf[128];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 5);
  std::string s(buf, res.ptr);
  if (v == 0 && s.size() > 1 && s[0] == '-') s.erase(0, 1);  // the sign rule of FormatFixed
  return s;
}

// The lower bound of class 1: the 5-decimal text nearest to v, stepped down by units of the last
// decimal until it is not above v, so the cell holding the minimum stays in class 1.
std::string LowerBoundText(long double v) {
  std::string s = Fixed5(v);
  for (int guard = 0; guard < 4; ++guard) {
    const auto shown = ParseReal(s);
    if (!shown || static_cast<long double>(*shown) <= v) break;
    s = Fixed5(static_cast<long double>(*shown) - 0.00001L);
  }
  return s;
}

}  // namespace

std::string BoundText(long double v) { return Fixed5(v); }
std::string RoundedDownBoundText(long double v) { return LowerBoundText(v); }

namespace {

long double RoundHalfEvenL(long double x) {
  const long double r = std::round(x);
  if (std::fabs(x - std::trunc(x)) == 0.5L) return 2.0L * std::round(x / 2.0L);
  return r;
}

}  // namespace

std::array<std::string, MaxClasses + 1> ProposeBoundTexts(double min, double max, int n) {
  std::array<std::string, MaxClasses + 1> b;
  b.fill("0");
  if (n < 2) n = 2;
  if (n > MaxClasses) n = MaxClasses;
  const long double lo = min, hi = max;
  const long double a = (hi - lo) / n;
  long double step = a;
  for (int r = -10; r <= 10; ++r) {
    const long double p = std::pow(10.0L, static_cast<long double>(r));
    if (p < a) step = p;
  }
  const long double fifth = step / 5;
  for (int e = 1; e <= 45; ++e) {
    if (a > e * fifth) step = e * fifth;
  }
  const long double base = RoundHalfEvenL(lo / step) * step;
  for (int k = 2; k <= n + 1; ++k) b[static_cast<std::size_t>(k - 1)] = Fixed5(base + (k - 1) * step);
  b[0] = LowerBoundText(lo);
  b[static_cast<std::size_t>(n)] = Fixed5(hi);
  return b;
}

void ProposeBounds(ClassBounds& bounds, double min, double max) {
  const auto b = ProposeBoundTexts(min, max, bounds.n);
  for (std::size_t k = 0; k < MaxClasses; ++k) {
    bounds.edits[k] = b[k];
    bounds.labels[k] = b[k + 1];
  }
}

bool Editlegend(ClassBounds& bounds, int k, const std::string& text) {
  if (k < 2 || k > MaxClasses) return false;
  bounds.edits[static_cast<std::size_t>(k - 1)] = text;
  if (!ParseReal(Trimmed(text))) return false;
  bounds.labels[static_cast<std::size_t>(k - 2)] = text;
  return true;
}

void PerformFinalization(const ClassBounds& bounds, TDataDef& def) {
  const int n = bounds.n;
  def.NrClasses = n;
  for (int k = 1; k <= n; ++k) {
    auto& row = def.mclasses[static_cast<std::size_t>(k - 1)];
    row[ClassLower] = ParseRealPrefix(Trimmed(bounds.Edit(k)));
    row[ClassUpper] = ParseRealPrefix(Trimmed(bounds.Label(k)));
  }
  // The class test is lower <= v < upper, so the last upper bound must lie above the maximum.
  double& upper = def.mclasses[static_cast<std::size_t>(n - 1)][ClassUpper];
  if (upper > 0) {
    upper *= 1.01;
  } else {
    const double range = upper - def.mclasses[0][ClassLower];
    // The configuration file keeps 5 decimals: a smaller step would vanish there.
    upper += std::max(range > 0 ? range / 100 : 1.0, 0.00001);
  }
}

std::optional<ClassFault> FindClassFault(const TDataDef& def) {
  const int n = std::min(def.NrClasses, MaxClasses);
  for (int k = 1; k <= n; ++k) {
    const auto& row = def.mclasses[static_cast<std::size_t>(k - 1)];
    const double lower = row[ClassLower], upper = row[ClassUpper];
    if (!(lower < upper)) {
      return ClassFault{k, "runs from " + FormatShortest(lower) + " to " + FormatShortest(upper) +
                               "; a class's lower bound must lie below its upper bound"};
    }
    const double before = k > 1 ? def.mclasses[static_cast<std::size_t>(k - 2)][ClassUpper] : lower;
    if (lower < before) {
      return ClassFault{k, "starts at " + FormatShortest(lower) + ", below the upper bound " + FormatShortest(before) +
                               " of class " + std::to_string(k - 1) + "; classes must not overlap"};
    }
  }
  return std::nullopt;
}

namespace {

std::optional<std::string> NotANumber(int k, const char* which, const std::string& text) {
  if (ParseReal(Trimmed(text))) return std::nullopt;
  return "Class " + std::to_string(k) + ": the " + which + " bound " + QuotedFileText(Trimmed(text)) + " is not a number.";
}

}  // namespace

std::optional<std::string> BoundsProblem(const ClassBounds& bounds) {
  for (int k = 1; k <= bounds.n; ++k) {
    if (auto problem = NotANumber(k, "lower", bounds.Edit(k))) return problem;
    if (auto problem = NotANumber(k, "upper", bounds.Label(k))) return problem;
  }
  // What would be stored, the last upper bound raised: the same test as saving makes.
  TDataDef stored;
  PerformFinalization(bounds, stored);
  if (const auto fault = FindClassFault(stored)) return "Class " + std::to_string(fault->klasse) + " " + fault->what + ".";
  return std::nullopt;
}

std::optional<std::string> EditProblem(const ClassBounds& bounds, int k, const std::string& text) {
  if (auto problem = NotANumber(k, "lower", text)) return problem;
  if (k < 2) return std::nullopt;
  const auto previous = ParseReal(Trimmed(bounds.Edit(k - 1)));
  if (previous && !(*ParseReal(Trimmed(text)) > *previous)) {
    return "Class " + std::to_string(k) + ": the lower bound " + Trimmed(text) + " is not above the lower bound " +
           Trimmed(bounds.Edit(k - 1)) + " of class " + std::to_string(k - 1) + ".";
  }
  return std::nullopt;
}

std::optional<std::string> RangeProblem(const TDataDef& def) {
  const double min = def.minvalue, max = def.maxvalue;
  if (std::isfinite(max - min) && std::isfinite(max * 1.01)) return std::nullopt;
  return def.FileName + ": the values run from " + FormatShortest(min) + " to " + FormatShortest(max) +
         ", a range too large for any number to hold, so the grid cannot be divided into classes.\n"
         "Rescale the grid (divide its values by a power of ten) and pick it again.";
}

std::string HistogramErrorMessage() {
  return "The program reports and error. \nYou likely did not yet import the data file with pos/neg data\n"
         "Please start again and import this data file first.";
}

namespace {

// Counts the auxiliary grid's cells per class, with the observations that fall in them. Both
// grids share one extent (HistogramExtentProblem).
HistogramCounts CountHistogram(const TDataDef& aux, const TDataDef& obs, ThreadPool& pool) {
  HistogramCounts h;
  GridRows auxRows(aux, pool);
  GridRows obsRows(obs, pool);
  const int n = aux.NrClasses;
  for (int r = 1; r <= obs.nrows; ++r) {
    const double* auxRow = auxRows.Next();
    const double* obsRow = obsRows.Next();
    for (int c = 0; c < obs.ncols; ++c) {
      const double v = auxRow[c];
      const double w = obsRow[c];
      if (v == aux.NODATA_value) continue;
      int cls = 0;
      for (int k = 1; k <= n; ++k) {
        if (aux.mclasses[static_cast<std::size_t>(k - 1)][ClassLower] <= v) cls = k;
      }
      ++h.cells[static_cast<std::size_t>(cls)];
      if (w != obs.NODATA_value) {
        if (w == obs.PositiveIndicatorValue) ++h.presences[static_cast<std::size_t>(cls)];
        if (w == obs.NegativeIndicatorValue) ++h.absences[static_cast<std::size_t>(cls)];
      }
    }
  }
  return h;
}

const Rgb kGreen{0, 128, 0};
const Rgb kRed{255, 0, 0};

void DrawBars(const HistogramCounts& h, int n, long long top, Canvas& pic) {
  const int W = pic.Width(), H = pic.Height();
  pic.FillRect(0, 0, W, H, kWhite);
  const double bw = RoundHalfEven(static_cast<double>(W - 30) / n);
  const int base = H - 25;
  auto barTop = [&](long long count) {
    return RoundToInt(static_cast<double>(H - 40) * static_cast<double>(top - count) / static_cast<double>(top) + 15);
  };
  std::vector<int> labelLefts;
  for (int k = 1; k <= n; ++k) {
    const double x = (k - 1) * bw + 25;
    const int xi = RoundToInt(x);
    labelLefts.push_back(xi);
    const int greenRight = RoundToInt(x + bw / 3);
    pic.FillRect(xi, barTop(h.presences[static_cast<std::size_t>(k)]), greenRight, base, kGreen);
    const int redRight = RoundToInt(greenRight + bw / 3);
    pic.FillRect(greenRight, barTop(h.absences[static_cast<std::size_t>(k)]), redRight, base, kRed);
  }
  pic.Text(1, 0, "Histogram", kBlack, kWhite);
  pic.Line(20, 15, 25, 15, kBlack, 1);
  pic.Line(25, 15, 25, base, kBlack, 1);
  pic.Line(25, base, W - 5, base, kBlack, 1);
  DrawClassLabels(pic, labelLefts, base + 1);
  pic.Text(0, 15, std::to_string(top), kBlack, kWhite);
  pic.FillRect(W - 35, 30, W - 25, 40, kRed);
  pic.FillRect(W - 35, 15, W - 25, 25, kGreen);
  pic.Text(W - 25, 14, "Pres", kBlack, kWhite);
  pic.Text(W - 25, 29, "Abs", kBlack, kWhite);
}

}  // namespace

std::string HistogramChi2Text(const HistogramCounts& h, int n, bool presences) {
  const auto& observed = presences ? h.presences : h.absences;
  const auto from = static_cast<std::size_t>(1), count = static_cast<std::size_t>(n);
  const GoodnessOfFit fit =
      GoodnessOfFitTest(std::span(observed).subspan(from, count), std::span(h.cells).subspan(from, count));
  return karvelo::HistogramChi2Text(fit, presences);
}

std::optional<std::string> HistogramExtentProblem(const Workspace& ws) {
  if (ws.PresenceDefIndex < 1 || ws.PresenceDefIndex > ws.DataDefCount) return std::nullopt;
  const TDataDef& grid = ws.CurrentDataDef;
  const TDataDef& obs = ws.DataDef(ws.PresenceDefIndex);
  const std::vector<std::string> differences = ExtentDifferences(grid, obs);
  if (differences.empty()) return std::nullopt;
  std::string text = FileNameOf(grid.FileName) + " does not cover the cells of the observation grid " + FileNameOf(obs.FileName) + ":";
  for (const std::string& line : differences) text += "\n" + line;
  return text + "\nThe histogram counts both grids cell by cell, so they must share one extent: align the grid to the observation grid first.";
}

bool DrawClassHistogram(Workspace& ws, const ClassBounds& bounds, Canvas& picture, Shell& shell) {
  if (const auto problem = BoundsProblem(bounds)) {
    shell.message(*problem);
    return false;
  }
  picture.FillRect(0, 0, picture.Width(), picture.Height(), kWhite);
  picture.Text(10, 10, "Preparing histograms ...", kBlack, kWhite);
  shell.refresh();
  PerformFinalization(bounds, ws.CurrentDataDef);
  if (const auto problem = HistogramExtentProblem(ws)) {
    shell.message(*problem);
    return false;
  }
  const int n = bounds.n;
  HistogramCounts h;
  try {
    if (ws.PresenceDefIndex < 1 || ws.PresenceDefIndex > ws.DataDefCount) throw FileError("no presence grid");
    h = CountHistogram(ws.CurrentDataDef, ws.DataDef(ws.PresenceDefIndex), shell.run().Pool());
  } catch (const FileError&) {
    shell.message(HistogramErrorMessage());
    return false;
  }
  long long top = 0, cells = 0;
  for (int k = 1; k <= n; ++k) {
    top = std::max({top, h.presences[static_cast<std::size_t>(k)], h.absences[static_cast<std::size_t>(k)]});
    cells += h.cells[static_cast<std::size_t>(k)];
  }
  if (top == 0 || cells == 0) {
    shell.message(HistogramErrorMessage());
    return false;
  }
  DrawBars(h, n, top, picture);
  const int W = picture.Width();
  picture.Text(W - 105, 44, HistogramChi2Text(h, n, true), kBlack, kWhite);
  picture.Text(W - 105, 59, HistogramChi2Text(h, n, false), kBlack, kWhite);
  return true;
}

}  // namespace karvelo
