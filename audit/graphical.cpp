// Histograms and the scatterplot of the graphical analysis window.
#include "audit/graphical.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/gridfile.h"
#include "core/numfmt.h"
#include "render/classlabels.h"

namespace karvelo {

namespace {

const Rgb kGreen{0, 128, 0};
const Rgb kRed{255, 0, 0};

const TDataDef* FindEntry(const Workspace& ws, const std::string& path) {
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    if (ws.DataDef(i).FileName == path) return &ws.DataDef(i);
  }
  return nullptr;
}

// Presence and absence counts of one class as the histogram takes them.
std::pair<long long, long long> ClassCounts(const TDataDef& def, int j) {
  const auto& row = def.mclasses[static_cast<std::size_t>(j - 1)];
  const long long p = static_cast<long long>(RoundHalfEven(row[ClassPresences]));
  const long long a = row[ClassAbsences] == def.NODATA_value ? 0 : static_cast<long long>(RoundHalfEven(row[ClassAbsences]));
  return {p, a};
}

long long LargestCount(const TDataDef& def) {
  long long m = 0;
  for (int j = 1; j <= def.NrClasses && j <= MaxClasses; ++j) {
    const auto [p, a] = ClassCounts(def, j);
    m = std::max({m, p, a});
  }
  return m;
}

void Polyline(Canvas& c, std::initializer_list<std::pair<int, int>> points) {
  const std::pair<int, int>* prev = nullptr;
  for (const auto& p : points) {
    if (prev) c.Line(prev->first, prev->second, p.first, p.second, kBlack, 1);
    prev = &p;
  }
}

// Why the diagrams for these choices cannot be drawn, or nothing.
std::optional<std::string> Obstacle(const Workspace& ws, const GraphicalEntry& aux1, const GraphicalEntry& aux2,
                                    const std::string& observation) {
  if (observation.empty()) {
    return std::string("The configuration has no grid with presences: there is nothing to plot.\n"
                       "Add an observation grid with a presence indicator and audit again.");
  }
  for (const GraphicalEntry* e : {&aux1, &aux2}) {
    const TDataDef* def = FindEntry(ws, e->path);
    if (!def) return e->name + " is no longer part of the configuration.";
    if (def->NrClasses < 1) return e->name + " has no classes: classify it on tab 1 to draw its histogram.";
    if (LargestCount(*def) == 0) {
      return e->name + ": no presence or absence was counted in its classes.\nRun the audit on tab 2 first.";
    }
    if (!(def->maxvalue > def->minvalue)) {
      return e->name + ": its smallest and largest values are equal, so it has no range to plot.";
    }
  }
  return std::nullopt;
}

void SaveAndLog(const Canvas& picture, const std::string& title, const char* what, Shell& shell) {
  picture.SaveBmp(shell.run().Output(title + ".bmp"));
  shell.log(std::string(what) + " displayed and saved to <" + title + ".bmp>");
}

// The ticks of one axis between lo and hi: start and end on powers of ten, integers only.
struct AxisTicks {
  double lo, hi;
  long long first, last;  // the integers that are drawn: first..last
  bool any;
};

AxisTicks TicksOf(double lo, double hi) {
  double start = 0, end = 1;
  if (lo > 0) start = std::pow(10.0, std::trunc(std::log10(lo)));
  else if (lo < 0) start = -std::pow(10.0, std::trunc(std::log10(-lo)));
  if (hi > 0) end = std::pow(10.0, std::trunc(std::log10(hi) + 1));
  else if (hi < 0) end = -std::pow(10.0, std::trunc(std::log10(-hi) + 1));
  // Only integers with lo < t < hi are drawn: clip the loop to them.
  const double from = std::max(RoundHalfEven(start), std::floor(lo) + 1);
  const double to = std::min(RoundHalfEven(end), std::ceil(hi) - 1);
  AxisTicks t{lo, hi, 0, -1, false};
  if (from <= to && std::isfinite(from) && std::isfinite(to) && std::fabs(from) < 9e15 && std::fabs(to) < 9e15) {
    t.first = static_cast<long long>(from);
    t.last = static_cast<long long>(to);
    t.any = true;
  }
  return t;
}

// Draws the ticks of one axis. `position(t)` gives the tick's pixel; `tick(p)` draws a tick and
// `label(p, t)` its label. Ticks closer than a pixel cover every pixel between the first and the
// last, so then the pixels are drawn instead of every integer.
template <class Pos, class Tick, class Label>
void DrawTicks(const AxisTicks& t, double pixelsPerUnit, Pos position, Tick tick, Label label) {
  if (!t.any) return;
  if (pixelsPerUnit >= 1 || t.last - t.first < 100000) {
    for (long long v = t.first; v <= t.last; ++v) {
      const int p = position(static_cast<double>(v));
      tick(p);
      if (v == t.first || static_cast<double>(v) > t.hi - 1) label(p, v);
    }
    return;
  }
  const int a = position(static_cast<double>(t.first)), b = position(static_cast<double>(t.last));
  for (int p = std::min(a, b); p <= std::max(a, b); ++p) tick(p);
  label(a, t.first);
  if (static_cast<double>(t.last) > t.hi - 1 && t.last != t.first) label(b, t.last);
}

void DrawScatterFrame(Canvas& pic, const std::string& name1, const std::string& name2, double min1, double max1,
                      double min2, double max2) {
  const int W = pic.Width(), H = pic.Height();
  Polyline(pic, {{25, 15}, {W - 5, 15}, {W - 5, H - 25}, {25, H - 25}, {25, 15}});
  pic.Text(0, 0, name2, kBlack, kWhite);
  pic.Text(RoundToInt((W - 30) / 2.0) - RoundToInt(pic.TextWidth(name1) / 2.0), H - 13, name1, kBlack, kWhite);

  const AxisTicks h = TicksOf(min1, max1);
  DrawTicks(
      h, (W - 30) / (max1 - min1), [&](double t) { return RoundToInt((W - 30) * (t - min1) / (max1 - min1)) + 25; },
      [&](int x) { pic.Line(x, H - 22, x, H - 25, kBlack, 1); },
      [&](int x, long long t) {
        const std::string s = std::to_string(t);
        pic.Text(x - RoundToInt(pic.TextWidth(s) / 2.0), H - 22, s, kBlack, kWhite);
      });
  const AxisTicks v = TicksOf(min2, max2);
  DrawTicks(
      v, (H - 40) / (max2 - min2), [&](double t) { return RoundToInt((H - 40) * (max2 - t) / (max2 - min2)) + 15; },
      [&](int y) { pic.Line(22, y, 25, y, kBlack, 1); },
      [&](int y, long long t) { pic.Text(0, y - 3, std::to_string(t), kBlack, kWhite); });
}

// Paints the 3 x 3 pixels around (ix, iy).
void PutPixel(Canvas& pic, int ix, int iy, Rgb kleur) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) pic.SetPixel(ix + dx, iy + dy, kleur);
}

struct ScatterScale {
  double min1, max1, min2, max2;
  double positive, negative, nodata;
};

void Plot(Canvas& pic, const ScatterScale& s, double valAUX1, double valAUX2, double valPOSNEG) {
  if (valPOSNEG == s.nodata) return;
  const int W = pic.Width(), H = pic.Height();
  const int ix = RoundToInt((valAUX1 - s.min1) * (W - 30) / (s.max1 - s.min1)) + 25;
  const int iy = RoundToInt((s.max2 - valAUX2) * (H - 40) / (s.max2 - s.min2)) + 15;
  if (ix < 0 || iy < 0 || ix >= W || iy >= H) return;
  const Rgb kleur = valPOSNEG == s.positive ? kGreen : kRed;
  if (pic.Pixel(ix, iy) == kGreen) return;
  PutPixel(pic, ix, iy, kleur);
}

}  // namespace

GraphicalLists GraphicalAnalysisLists(const Workspace& ws) {
  GraphicalLists lists;
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    const TDataDef& d = ws.DataDef(i);
    if (d.IsPresenceGrid()) {
      lists.observationGrid = d.FileName;
    } else {
      lists.entries.push_back({FileNameOf(d.FileName), d.FileName});
    }
  }
  return lists;
}

void ClearImages(Canvas& aux1, Canvas& aux2, Canvas& scatter) {
  for (Canvas* c : {&aux1, &aux2, &scatter}) c->FillRect(0, 0, c->Width(), c->Height(), kWhite);
}

std::string DrawAuxHistogram(const TDataDef& def, const std::string& name, Canvas& pic) {
  const int n = def.NrClasses;
  const double b = RoundHalfEven(210.0 / n);
  const long long m = LargestCount(def);
  auto top = [m](long long count) { return RoundToInt(static_cast<double>(m - count) * 215 / static_cast<double>(m) + 10); };
  std::vector<int> labelLefts;
  for (int j = 1; j <= n; ++j) {
    const auto [p, a] = ClassCounts(def, j);
    const double x = (j - 1) * b + 15;
    const int xi = RoundToInt(x);
    labelLefts.push_back(xi);
    const int xr = RoundToInt(x + b / 3);
    pic.FillRect(xi, top(p), xr, 225, kGreen);
    pic.FillRect(xr, top(a), RoundToInt(xr + b / 3), 225, kRed);
  }
  const std::string title = "Histogram for " + name;
  pic.Text(1, 0, title, kBlack, kWhite);
  Polyline(pic, {{10, 12}, {15, 12}, {15, 225}, {225, 225}});
  // Below the axis line at 225, not over it.
  DrawClassLabels(pic, labelLefts, 226);
  pic.Text(0, 15, std::to_string(m), kBlack, kWhite);
  pic.FillRect(190, 30, 200, 40, kRed);
  pic.FillRect(190, 15, 200, 25, kGreen);
  pic.Text(200, 14, "Pres", kBlack, kWhite);
  pic.Text(200, 29, "Abs", kBlack, kWhite);
  return title;
}

bool ShowDiagrams(const Workspace& ws, const GraphicalEntry& aux1, const GraphicalEntry& aux2, Canvas& img1,
                  Canvas& img2, Canvas& scatter, Shell& shell) {
  const GraphicalLists lists = GraphicalAnalysisLists(ws);
  if (auto why = Obstacle(ws, aux1, aux2, lists.observationGrid)) {
    shell.message(*why);
    return false;
  }
  ClearImages(img1, img2, scatter);
  ScatterScale s{};
  const TDataDef* obs = nullptr;
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    const TDataDef& d = ws.DataDef(i);
    if (d.FileName == aux1.path) {
      s.min1 = d.minvalue;
      s.max1 = d.maxvalue;
      SaveAndLog(img1, DrawAuxHistogram(d, aux1.name, img1), "Histogram", shell);
    }
    if (d.FileName == aux2.path) {
      s.min2 = d.minvalue;
      s.max2 = d.maxvalue;
      SaveAndLog(img2, DrawAuxHistogram(d, aux2.name, img2), "Histogram", shell);
    }
    if (d.FileName == lists.observationGrid) obs = &d;
  }
  s.positive = obs->PositiveIndicatorValue;
  s.negative = obs->NegativeIndicatorValue;
  s.nodata = obs->NODATA_value;

  const TDataDef& def1 = *FindEntry(ws, aux1.path);
  const TDataDef& def2 = *FindEntry(ws, aux2.path);
  const bool same = aux1.path == aux2.path;
  GridReader r1(def1);
  std::optional<GridReader> r2;
  if (!same) r2.emplace(def2);
  GridReader ro(*obs);
  r1.SkipHeader();
  if (r2) r2->SkipHeader();
  ro.SkipHeader();
  shell.gaugeRange(0, obs->nrows);
  for (int r = 1; r <= obs->nrows; ++r) {
    for (int c = 1; c <= obs->ncols; ++c) {
      const double a1 = r1.ReadValue();
      const double a2 = r2 ? r2->ReadValue() : a1;
      const double p = ro.ReadValue();
      if (p == s.positive || p == s.negative) Plot(scatter, s, a1, a2, p);
    }
    r1.ReadLine();
    if (r2) r2->ReadLine();
    ro.ReadLine();
    shell.row(r);
  }
  shell.gaugeProgress(0);
  DrawScatterFrame(scatter, aux1.name, aux2.name, s.min1, s.max1, s.min2, s.max2);
  SaveAndLog(scatter, "Scatterplot " + aux1.name + " X " + aux2.name, "Scatterplot", shell);
  return true;
}

}  // namespace karvelo
