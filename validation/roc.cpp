// ROC and AUC of a probability map.
#include "validation/roc.h"

#include <algorithm>
#include <cmath>

#include "core/gridfile.h"
#include "core/numfmt.h"

namespace karvelo {

namespace {


void DrawFrameAndAxes(Canvas& pic, const std::string& title) {
  pic.FillRect(0, 0, pic.Width(), pic.Height(), kWhite);
  pic.FillRect(40, 20, 340, 320, kWhite);
  pic.Outline(40, 20, 340, 320, kBlack, 2);
  pic.Text(210 - 4 * static_cast<int>(title.size()), 1, title, kBlack, kWhite);
  for (int y = Y2iy(0) - 1; y >= Y2iy(1) - 1; y -= 30) pic.Line(40, y, 35, y, kBlack, 2);
  static const char* labels[] = {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"};
  for (int i = 0; i <= 5; ++i) pic.Text(11, Y2iy(i * 0.2) - 7, labels[i], kBlack, kWhite);
  pic.Text(1, 1, "sensitivity", kBlack, kWhite);
  for (int x = X2ix(0); x <= X2ix(1); x += 30) pic.Line(x, 319, x, 324, kBlack, 2);
  for (int i = 0; i <= 5; ++i) pic.Text(X2ix(i * 0.2) - 7, 326, labels[i], kBlack, kWhite);
  pic.Text(165, 337, "1-specifity", kBlack, kWhite);
}

}  // namespace

int ThresholdReach(double w) {
  if (!(w >= 0)) return 0;  // also NaN
  if (w >= 1) return kRocThresholds;
  // Start near w * 10000 and settle on the exact comparison with r / 10000, as each threshold makes it.
  int r = static_cast<int>(w * kRocThresholds);
  while (r < kRocThresholds && static_cast<double>(r + 1) / kRocThresholds <= w) ++r;
  while (r > 0 && static_cast<double>(r) / kRocThresholds > w) --r;
  return r;
}

RocCounts CountRoc(const ValidationRecords& records, double findCode, double vmin, double vmax, Shell& shell) {
  RocCounts counts;
  std::vector<long long> reachF(kRocThresholds + 1, 0), reachN(kRocThresholds + 1, 0);
  const std::size_t n = records.size();
  std::size_t finds = 0;
  for (std::size_t i = 0; i < n; ++i) finds += records.Code(i) == findCode ? 1 : 0;
  counts.findScores.reserve(finds);
  counts.nonFindScores.reserve(n - finds);
  // The other codes, for the line that says what counted as non-finds; a few are named.
  constexpr std::size_t kNamedCodes = 5;
  std::vector<double> others;
  bool moreOthers = false;
  for (std::size_t i = 0; i < n; ++i) {
    if ((i & 4095) == 4095) shell.row(static_cast<int>(std::min<std::size_t>(i, 1u << 30)));
    const double code = records.Code(i), v = records.Value(i);
    const double w = (v - vmin) / (vmax - vmin);
    const int reach = ThresholdReach(w);
    if (code == findCode) {
      counts.findScores.push_back(v);
      ++counts.totalFinds;
      ++reachF[static_cast<std::size_t>(reach)];
    } else {
      counts.nonFindScores.push_back(v);
      ++counts.totalNonFinds;
      ++reachN[static_cast<std::size_t>(reach)];
      if (std::find(others.begin(), others.end(), code) == others.end()) {
        if (others.size() < kNamedCodes) others.push_back(code);
        else moreOthers = true;
      }
    }
  }
  // A record counts at every threshold up to its reach: sums from the top.
  counts.finds.assign(kRocThresholds + 1, 0);
  counts.nonFinds.assign(kRocThresholds + 1, 0);
  long long f = 0, nf = 0;
  for (int r = kRocThresholds; r >= 1; --r) {
    f += reachF[static_cast<std::size_t>(r)];
    nf += reachN[static_cast<std::size_t>(r)];
    counts.finds[static_cast<std::size_t>(r)] = static_cast<double>(f);
    counts.nonFinds[static_cast<std::size_t>(r)] = static_cast<double>(nf);
  }
  counts.codesLine = CodesLine(findCode, counts.totalFinds, others, moreOthers, counts.totalNonFinds);
  return counts;
}

std::string CodesLine(double findCode, long long finds, std::vector<double> others, bool moreOthers, long long nonFinds) {
  std::sort(others.begin(), others.end());
  std::string otherText;
  for (double c : others) otherText += (otherText.empty() ? "" : ", ") + FormatShortest(c);
  if (moreOthers) otherText += ", ...";
  auto records_ = [](long long k) { return std::to_string(k) + (k == 1 ? " record" : " records"); };
  return "Finds: code " + FormatShortest(findCode) + " (" + records_(finds) + "); non-finds: " +
         (others.empty() ? std::string("none") : (others.size() == 1 && !moreOthers ? "code " : "codes ") + otherText) +
         " (" + records_(nonFinds) + ")";
}

int X2ix(double xco) { return RoundToInt(xco * 300 + 40); }
int Y2iy(double yco) { return RoundToInt((1 - yco) * 300 + 20); }

double area(const std::vector<std::array<double, 2>>& pol) {
  const std::size_t n = pol.size();
  if (n == 0) return 0;
  double s = 0;
  for (std::size_t i = 1; i < n; ++i) s += pol[i - 1][0] * pol[i][1] - pol[i][0] * pol[i - 1][1];
  s += pol[n - 1][0] * pol[0][1] - pol[0][0] * pol[n - 1][1];
  return std::fabs(s) * 0.5 / 10000;
}

double RocAuc(const RocCounts& c) {
  std::vector<std::array<double, 2>> pol;
  pol.reserve(kRocThresholds + 3);
  for (int r = 1; r <= kRocThresholds; ++r) {
    pol.push_back({c.finds[static_cast<std::size_t>(r)] / static_cast<double>(c.totalFinds),
                   c.nonFinds[static_cast<std::size_t>(r)] / static_cast<double>(c.totalNonFinds)});
  }
  pol.push_back({0, 0});
  pol.push_back({0, 1});
  pol.push_back({1, 1});
  const std::vector<std::array<double, 2>> unit = {{{0, 0}}, {{1, 0}}, {{1, 1}}, {{0, 1}}};
  return area(pol) / area(unit);
}

std::string RocTitle(const std::string& mapFileName) {
  std::string name = std::filesystem::path(mapFileName).filename().string();
  if (name.size() > 35) name = name.substr(0, 32) + "...";
  return "ROC of " + name;
}

std::optional<double> EvaluateRoc(const std::filesystem::path& mapFile, const std::filesystem::path& validationFile,
                                  const std::string& findsText, double vmin, double vmax, const ValidationRecords& records,
                                  Canvas& pic, Shell& shell, RocCounts* countsOut) {
  const std::string title = RocTitle(mapFile.string());
  DrawFrameAndAxes(pic, title);
  // No record at all would otherwise be blamed on the code of finds; the records are missing, or
  // none of them lies on a value of the map, and that is what to say.
  {
    if (records.empty()) {
      shell.message("None of the validation records of " + validationFile.string() + " lies on a value of the map " +
                    mapFile.string() + ":\nthe ROC curve needs both finds and non-finds. Check the columns X and Y and the map.");
      return std::nullopt;
    }
  }
  const auto findCode = ParseReal(Trimmed(findsText));
  if (!findCode) {
    shell.message("The code of finds \"" + findsText + "\" is not a number.\nChoose the code of finds in \"Code FINDS=\".");
    return std::nullopt;
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (std::isnan(records.Code(i))) {
      shell.message(validationFile.string() + ": line " + std::to_string(records.Line(i)) + ": the code \"" +
                    std::string(records.CodeText(i)) + "\" is not a number.\nCheck the column of the codes.");
      return std::nullopt;
    }
  }
  shell.status2("... calculating ROC ...");
  RocCounts counts = CountRoc(records, *findCode, vmin, vmax, shell);
  shell.log(counts.codesLine);
  if (counts.totalFinds == 0 || counts.totalNonFinds == 0) {
    std::string text = std::string("The validation records hold ") + (counts.totalFinds == 0 ? "no find" : "no non-find") +
                       " (code of finds " + Trimmed(findsText) + "):\nthe ROC curve needs both. Choose another code of finds.";
    const auto& filteredCodes = records.lookup.filteredCodes;
    const auto filteredFinds = std::count(filteredCodes.begin(), filteredCodes.end(), *findCode);
    const auto filteredOthers = static_cast<long long>(filteredCodes.size()) - filteredFinds;
    if (counts.totalFinds == 0 ? filteredFinds > 0 : filteredOthers > 0) {
      const long long k = counts.totalFinds == 0 ? filteredFinds : filteredOthers;
      text += "\n" + std::to_string(k) + (counts.totalFinds == 0 ? " find" : " non-find") + (k == 1 ? "" : "s") + " fell on cells that the evidence filter removed from " +
              records.lookup.mapName + ": map again with a weaker evidence level (or \"(all)\") to keep them.";
    }
    shell.message(text);
    shell.status2("(idle)");
    shell.gaugeProgress(0);
    return std::nullopt;
  }
  std::vector<int> curve = {X2ix(1), Y2iy(1)};
  curve.reserve(2 * (kRocThresholds + 2));
  for (int r = 1; r <= kRocThresholds; ++r) {
    const double sens = counts.finds[static_cast<std::size_t>(r)] / static_cast<double>(counts.totalFinds);
    const double spec1 = counts.nonFinds[static_cast<std::size_t>(r)] / static_cast<double>(counts.totalNonFinds);
    curve.push_back(X2ix(spec1));
    curve.push_back(Y2iy(sens));
  }
  curve.push_back(X2ix(0));
  curve.push_back(Y2iy(0));
  pic.Polyline(curve, kBlack, 2);
  shell.status2("... calculating AUC ...");
  const double auc = RocAuc(counts);
  pic.Text(250, 290, "AUC = " + FixedInWidth(auc, 2, 5), kBlack, kWhite);
  shell.status2("(idle)");
  shell.gaugeProgress(0);
  pic.SaveBmp(shell.run().Output(title + ".bmp"));
  shell.log("ROC for " + mapFile.string() + " using " + validationFile.string() + " written to: <" + title + ".bmp>");
  if (countsOut) *countsOut = std::move(counts);
  return auc;
}

}  // namespace karvelo
