// The classes' probabilities of presence with intervals, drawn one picture per classified grid.
#include "mapping/effects.h"

#include <algorithm>
#include <cmath>

#include "audit/audit.h"
#include "core/limits.h"
#include "core/numfmt.h"
#include "mapping/bayesmap.h"
#include "render/classlabels.h"
#include "render/qimage_canvas.h"
#include "stats/beta.h"
#include "stats/statistics.h"

namespace karvelo {

namespace fs = std::filesystem;

namespace {

constexpr Rgb kPriorRed{200, 0, 0};

// The plot's frame inside the picture.
constexpr int kLeft = 46, kRight = 428, kTop = 22, kBottom = 210;
constexpr int kLegendTop = 234, kLegendLine = 16;

std::string ClassList(const std::vector<int>& classes) {
  std::string text;
  for (int k : classes) text += (text.empty() ? "" : ", ") + std::to_string(k);
  return text;
}

// A white box with grey diagonals: the mark of a class without evidence.
void HatchedBox(Canvas& pic, int left, int top, int right, int bottom) {
  pic.FillRect(left, top, right, bottom, kWhite);
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      if ((x + y) % 5 == 0) pic.SetPixel(x, y, kHatchGrey);
    }
  }
  pic.Outline(left, top, right, bottom, kBlack, 1);
}

void DashedLine(Canvas& pic, int left, int right, int y, Rgb colour) {
  for (int x = left; x < right; x += 8) pic.Line(x, y, std::min(x + 4, right), y, colour, 2);
}

}  // namespace

std::vector<GridEffects> ClassEffects(const Workspace& ws, const ClassCPStats* bootstrap) {
  std::vector<GridEffects> all;
  const double n = BootstrapSamples;
  for (int e = 1; e <= ws.DataDefCount; ++e) {
    const TDataDef& def = ws.DataDef(e);
    if (def.NrClasses < 2) continue;
    GridEffects g;
    g.entry = e;
    g.grid = FrequencyRowName(def);
    g.prior = ws.PriorP;
    g.bootstrap = bootstrap != nullptr;
    for (int k = 1; k <= std::min(def.NrClasses, MaxClasses); ++k) {
      const auto& cls = def.mclasses[static_cast<std::size_t>(k - 1)];
      ClassEffect c;
      c.klasse = k;
      // The counts the map's factors come from.
      c.presences = static_cast<long long>(RoundHalfEven(cls[ClassPresences]));
      c.absences = static_cast<long long>(RoundHalfEven(cls[ClassAbsences]));
      c.evidence = Chi2Level(ws.ClassChi2[static_cast<std::size_t>(e)][static_cast<std::size_t>(k)], 1) != Significance::None;
      if (bootstrap) {
        // The sums stay as the samples left them; the means the map uses were taken from them.
        const ClassStats& st = (*bootstrap)[static_cast<std::size_t>(e)][static_cast<std::size_t>(k)];
        c.p = st.SumP / n;
        const double var = st.SumSqP - st.SumP * st.SumP / n;
        const double sd = std::sqrt((var < 0 ? 0 : var) / n);
        c.lower = std::max(0.0, c.p - 2 * sd);
        c.upper = std::min(1.0, c.p + 2 * sd);
      } else {
        const double a = static_cast<double>(c.presences) + 1, b = static_cast<double>(c.absences) + 1;
        c.p = SmoothedCP(c.presences, c.absences);
        c.lower = BetaQuantile(0.025, a, b);
        c.upper = BetaQuantile(0.975, a, b);
      }
      g.classes.push_back(c);
    }
    all.push_back(std::move(g));
  }
  return all;
}

std::string EffectsPictureName(const std::string& grid) { return "Effects of " + grid + ".bmp"; }

std::vector<EffectsPicture> EffectsPictures(const Workspace& ws, const RunContext& run) {
  std::vector<EffectsPicture> pictures;
  for (int e = 1; e <= ws.DataDefCount; ++e) {
    if (ws.DataDef(e).NrClasses < 2) continue;
    const std::string grid = FrequencyRowName(ws.DataDef(e));
    pictures.push_back({grid, run.Output(EffectsPictureName(grid))});
  }
  return pictures;
}

std::vector<fs::path> EffectsPictureFiles(const Workspace& ws, const RunContext& run) {
  std::vector<fs::path> files;
  for (EffectsPicture& p : EffectsPictures(ws, run)) files.push_back(std::move(p.file));
  return files;
}

void DrawEffects(const GridEffects& effects, Canvas& pic) {
  pic.FillRect(0, 0, pic.Width(), pic.Height(), kWhite);
  std::string name = effects.grid;
  if (name.size() > 40) name = name.substr(0, 37) + "...";
  const std::string title = "P(presence | class) of " + name;
  pic.Text(std::max(0, (pic.Width() - pic.TextWidth(title)) / 2), 3, title, kBlack, kWhite);

  // A scale in tenths just above the highest mark, so that small probabilities are not flattened.
  double highest = effects.prior;
  for (const ClassEffect& c : effects.classes) highest = std::max({highest, c.upper, c.p});
  const double top = std::clamp(std::ceil(highest * 10 - 1e-9) / 10, 0.1, 1.0);
  auto y = [&](double v) { return kBottom - RoundToInt(std::clamp(v, 0.0, top) / top * (kBottom - kTop)); };
  for (int i = 0; i <= 5; ++i) {
    const double v = top * i / 5;
    pic.Line(kLeft - 4, y(v), kLeft, y(v), kBlack, 1);
    const std::string label = FormatFixed(v, 2);
    pic.Text(kLeft - 6 - pic.TextWidth(label), y(v) - 6, label, kBlack, kWhite);
  }

  const int n = std::max<int>(1, static_cast<int>(effects.classes.size()));
  const int slot = (kRight - kLeft) / n, barWidth = std::max(3, slot * 3 / 5);
  std::vector<int> lefts;
  std::vector<int> without;
  for (int i = 0; i < static_cast<int>(effects.classes.size()); ++i) {
    const ClassEffect& c = effects.classes[static_cast<std::size_t>(i)];
    const int left = kLeft + slot * i + (slot - barWidth) / 2, right = left + barWidth, centre = (left + right) / 2;
    lefts.push_back(left);
    if (c.evidence) {
      pic.FillRect(left, y(c.p), right, kBottom, kEvidenceFill);
      pic.Outline(left, y(c.p), right, kBottom, kBlack, 1);
    } else {
      HatchedBox(pic, left, y(c.p), right, kBottom);
      without.push_back(c.klasse);
    }
    const int cap = std::max(2, barWidth / 4);
    pic.Line(centre, y(c.upper), centre, y(c.lower), kBlack, 1);
    pic.Line(centre - cap, y(c.upper), centre + cap, y(c.upper), kBlack, 1);
    pic.Line(centre - cap, y(c.lower), centre + cap, y(c.lower), kBlack, 1);
  }
  pic.Outline(kLeft, kTop, kRight, kBottom + 1, kBlack, 1);
  DashedLine(pic, kLeft, kRight, y(effects.prior), kPriorRed);
  DrawClassLabels(pic, lefts, kBottom + 4);

  int line = kLegendTop;
  auto legend = [&](const std::string& text) {
    pic.Text(40, line, text, kBlack, kWhite);
    line += kLegendLine;
  };
  pic.FillRect(20, line + 1, 32, line + 10, kEvidenceFill);
  pic.Outline(20, line + 1, 32, line + 10, kBlack, 1);
  legend("evidence (class test significant at 95%): used by the map");
  HatchedBox(pic, 20, line + 1, 32, line + 10);
  legend(without.empty() ? std::string("no evidence: none")
                         : (without.size() == 1 ? "no evidence, neutral (1) in the map: class " : "no evidence, neutral (1) in the map: classes ") +
                               ClassList(without));
  DashedLine(pic, 18, 34, line + 6, kPriorRed);
  legend("prior probability of presence " + FormatFixed(effects.prior, 4));
  pic.Line(26, line + 1, 26, line + 11, kBlack, 1);
  pic.Line(23, line + 1, 29, line + 1, kBlack, 1);
  pic.Line(23, line + 11, 29, line + 11, kBlack, 1);
  legend(effects.bootstrap ? "bar: mean of " + std::to_string(BootstrapSamples) + " bootstrap samples, whisker: +- 2 s.d."
                           : "bar: (a+1)/(a+b+2), whisker: 95% of Beta(a+1, b+1);");
  if (!effects.bootstrap) legend("a, b: the class's presences and absences");
}

std::vector<EffectsPicture> ReportEffects(const Workspace& ws, const ClassCPStats* bootstrap, Shell& shell) {
  std::vector<EffectsPicture> files;
  const std::vector<GridEffects> all = ClassEffects(ws, bootstrap);
  if (all.empty()) return files;
  shell.log("");
  for (const GridEffects& g : all) {
    QImageCanvas pic(kEffectsPictureWidth, kEffectsPictureHeight);
    DrawEffects(g, pic);
    const fs::path file = shell.run().Output(EffectsPictureName(g.grid));
    pic.SaveBmp(file);
    shell.log("Effects of the classes of " + g.grid + " written to: <" + file.filename().string() + ">");
    files.push_back({g.grid, file});
  }
  return files;
}

}  // namespace karvelo
