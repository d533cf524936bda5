// Equal-count, logarithmic and natural-break class bounds, found in passes over the grid file.
#include "config/proposals.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "core/gridfile.h"
#include "core/gridrows.h"
#include "core/numfmt.h"

namespace karvelo {

namespace {

constexpr int kFirstBins = 1 << 12;
constexpr int kRefineBins = 1 << 14;
// An interval of at most this many cells is sorted rather than refined once more.
constexpr long long kSortable = 1 << 18;
constexpr double kInf = std::numeric_limits<double>::infinity();

}  // namespace

std::string_view ProposalCaption(Proposal p) {
  switch (p) {
    case Proposal::RoundedSteps: return "Rounded equal steps";
    case Proposal::Quantiles: return "Equal counts (quantiles)";
    case Proposal::Logarithmic: return "Logarithmic steps";
    case Proposal::NaturalBreaks: return "Natural breaks";
  }
  return "";
}

bool ProposalOffered(Proposal p, double min) { return p != Proposal::Logarithmic || min > 0; }

QuantileFinder::Histogram::Histogram(double lo, double hi, int bins)
    : lo_(lo), scale_(hi > lo ? bins / (hi - lo) : 0), last_(bins - 1), bins_(static_cast<std::size_t>(bins)) {}

void QuantileFinder::Histogram::Add(double v) {
  Bin& b = bins_[static_cast<std::size_t>(Index(v))];
  if (b.count == 0) {
    b.lo = b.hi = v;
  } else {
    b.lo = std::min(b.lo, v);
    b.hi = std::max(b.hi, v);
  }
  ++b.count;
}

QuantileFinder::QuantileFinder(double min, double max, int n)
    : n_(std::clamp(n, 2, MaxClasses)), least_(kInf), second0_(kInf), first_(min, max, kFirstBins) {}

bool QuantileFinder::Take(double v) {
  if (pass_ == 0) {
    ++count_;
    first_.Add(v);
    if (v < least_) {
      second0_ = least_;
      least_ = v;
    } else if (v > least_ && v < second0_) {
      second0_ = v;
    }
    return true;
  }
  // Most cells lie in no wanted bin of the first histogram: one look-up turns them away.
  if (!wanted_[static_cast<std::size_t>(first_.Index(v))]) return true;
  for (Interval& in : intervals_) {
    if (v < in.lo) return true;  // between intervals
    if (v > in.hi) continue;
    if (in.sub) {
      in.sub->Add(v);
    } else {
      in.values.push_back(v);
    }
    return true;
  }
  return true;
}

void QuantileFinder::Locate(const Histogram& h, long long below, std::size_t first, std::size_t last,
                            std::vector<Interval>& next) {
  const auto& bins = h.Bins();
  std::size_t b = 0;
  long long under = below;  // cells below bin b
  for (std::size_t t = first; t < last; ++t) {
    Target& target = targets_[t];
    while (b < bins.size() && under + bins[b].count <= target.rank) under += bins[b++].count;
    if (b == bins.size()) {  // cannot happen while the counts add up; keep the greatest value seen
      target.value = next.empty() ? least_ : next.back().hi;
      continue;
    }
    const Bin& bin = bins[b];
    if (bin.lo == bin.hi) {
      target.value = bin.lo;
      continue;
    }
    if (!next.empty() && next.back().lo == bin.lo && next.back().hi == bin.hi) {
      next.back().last = t + 1;
      continue;
    }
    Interval in{bin.lo, bin.hi, under, bin.count, t, t + 1, std::nullopt, {}};
    if (bin.count > kSortable) {
      in.sub.emplace(bin.lo, bin.hi, kRefineBins);
    } else {
      in.values.reserve(static_cast<std::size_t>(bin.count));
    }
    next.push_back(std::move(in));
  }
}

void QuantileFinder::EndPass() {
  std::vector<Interval> next;
  if (pass_ == 0) {
    if (second0_ < kInf) second_ = second0_;
    if (count_ > 0) {
      for (int k = 1; k < n_; ++k) targets_.push_back(Target{static_cast<long long>(k) * count_ / n_});
      Locate(first_, 0, 0, targets_.size(), next);
    }
  } else {
    for (Interval& in : intervals_) {
      if (in.sub) {
        Locate(*in.sub, in.below, in.first, in.last, next);
        continue;
      }
      std::sort(in.values.begin(), in.values.end());
      for (std::size_t t = in.first; t < in.last; ++t) {
        const long long i = targets_[t].rank - in.below;
        targets_[t].value = in.values.empty() ? in.lo
                                              : in.values[static_cast<std::size_t>(
                                                    std::clamp(i, 0LL, static_cast<long long>(in.values.size()) - 1))];
      }
    }
  }
  ++pass_;
  // The values of an interval span less than any before it, so refining ends; a guard all the same.
  if (pass_ > 64) {
    for (const Interval& in : next) {
      for (std::size_t t = in.first; t < in.last; ++t) targets_[t].value = in.lo;
    }
    next.clear();
  }
  intervals_ = std::move(next);
  wanted_.assign(first_.Bins().size(), 0);
  for (const Interval& in : intervals_) {
    for (int b = first_.Index(in.lo); b <= first_.Index(in.hi); ++b) wanted_[static_cast<std::size_t>(b)] = 1;
  }
}

std::vector<double> QuantileFinder::Bounds() const {
  std::vector<double> out;
  for (const Target& t : targets_) out.push_back(t.value);
  return out;
}

BreakFinder::BreakFinder(double min, double max, int n)
    : n_(std::clamp(n, 2, MaxClasses)), shift_(min), index_(min, max, kUnits), bins_(kUnits) {}

void BreakFinder::AddTo(Unit& u, double v) const {
  if (u.count == 0) {
    u.lo = u.hi = v;
  } else {
    u.lo = std::min(u.lo, v);
    u.hi = std::max(u.hi, v);
  }
  ++u.count;
  const double d = v - shift_;
  u.sum += d;
  u.squares += d * d;
}

bool BreakFinder::Take(double v) {
  Unit& bin = bins_[static_cast<std::size_t>(index_.Index(v))];
  if (pass_ == 0) {
    AddTo(bin, v);
    return true;
  }
  if (bin.lo == bin.hi) return true;
  auto it = std::lower_bound(found_.begin(), found_.end(), v, [](const auto& e, double x) { return e.first < x; });
  if (it != found_.end() && it->first == v) {
    ++it->second;
    return true;
  }
  if (static_cast<long long>(found_.size()) + singles_ >= kUnits) {
    overflow_ = true;
    return false;  // more distinct values than the exact method takes: the bins will do
  }
  found_.insert(it, {v, 1});
  return true;
}

void BreakFinder::EndPass() {
  if (pass_ == 0) {
    for (const Unit& b : bins_) {
      if (b.count > 0 && b.lo == b.hi) ++singles_;
      if (b.count > 0 && b.lo != b.hi) needsDistinct_ = true;
    }
  }
  ++pass_;
  if (NeedsPass()) return;
  units_.clear();
  distinct_ = !needsDistinct_ || !overflow_;
  if (distinct_ && needsDistinct_) {
    // Single-valued bins and the distinct values of the others, in order of value.
    std::vector<Unit> merged;
    std::size_t f = 0;
    for (const Unit& b : bins_) {
      if (b.count == 0) continue;
      if (b.lo == b.hi) {
        merged.push_back(b);
        continue;
      }
      for (; f < found_.size() && found_[f].first <= b.hi; ++f) {
        Unit u;
        const double d = found_[f].first - shift_;
        u.count = found_[f].second;
        u.lo = u.hi = found_[f].first;
        u.sum = d * static_cast<double>(u.count);
        u.squares = d * d * static_cast<double>(u.count);
        merged.push_back(u);
      }
    }
    units_ = std::move(merged);
  } else {
    for (const Unit& b : bins_) {
      if (b.count > 0) units_.push_back(b);
    }
  }
  bins_.clear();
  bins_.shrink_to_fit();
  found_.clear();
  found_.shrink_to_fit();
}

std::optional<double> BreakFinder::SecondValue() const {
  if (units_.empty()) return std::nullopt;
  if (units_[0].hi > units_[0].lo) return std::nullopt;  // not known from the bins alone
  if (units_.size() < 2) return std::nullopt;
  return units_[1].lo;
}

std::vector<double> BreakFinder::Bounds() const {
  const std::size_t m = units_.size();
  if (m < 2) return {};
  const std::size_t k = std::min<std::size_t>(static_cast<std::size_t>(n_), m);
  std::vector<long double> w(m + 1, 0), s(m + 1, 0), q(m + 1, 0);
  for (std::size_t i = 0; i < m; ++i) {
    w[i + 1] = w[i] + units_[i].count;
    s[i + 1] = s[i] + units_[i].sum;
    q[i + 1] = q[i] + units_[i].squares;
  }
  // Squared deviations of the units i..j-1 from their mean.
  auto ssd = [&](std::size_t i, std::size_t j) {
    const long double dw = w[j] - w[i], ds = s[j] - s[i];
    return std::max(0.0L, q[j] - q[i] - ds * ds / dw);
  };
  // cost[j]: least sum over the units 0..j-1 in c classes; from[c][j]: where the last class starts.
  // The best start never moves left as j grows, so each row is solved by divide and conquer.
  std::vector<long double> cost(m + 1), nextCost(m + 1);
  std::vector<std::vector<std::size_t>> from(k + 1, std::vector<std::size_t>(m + 1, 0));
  for (std::size_t j = 1; j <= m; ++j) cost[j] = ssd(0, j);
  for (std::size_t c = 2; c <= k; ++c) {
    auto& arg = from[c];
    // Solves j in [jl, jr] knowing the best start lies in [il, ir].
    auto solve = [&](auto&& self, std::size_t jl, std::size_t jr, std::size_t il, std::size_t ir) -> void {
      if (jl > jr) return;
      const std::size_t j = jl + (jr - jl) / 2;
      long double best = std::numeric_limits<long double>::infinity();
      std::size_t at = std::max(il, c - 1);
      for (std::size_t i = std::max(il, c - 1); i <= std::min(ir, j - 1); ++i) {
        const long double v = cost[i] + ssd(i, j);
        if (v < best) {
          best = v;
          at = i;
        }
      }
      nextCost[j] = best;
      arg[j] = at;
      if (j > jl) self(self, jl, j - 1, il, at);
      self(self, j + 1, jr, at, ir);
    };
    solve(solve, c, m, c - 1, m - 1);
    std::swap(cost, nextCost);
  }
  std::vector<double> bounds(k - 1);
  std::size_t j = m;
  for (std::size_t c = k; c >= 2; --c) {
    j = from[c][j];
    bounds[c - 2] = units_[j].lo;
  }
  return bounds;
}

std::vector<std::string> FittedBoundTexts(double min, double max, const std::vector<double>& inner,
                                          std::optional<double> second, bool roundDown) {
  const std::string first = RoundedDownBoundText(min), top = BoundText(max);
  const double topValue = ParseRealPrefix(top);
  auto fit = [&](const std::vector<double>& values) {
    std::vector<std::string> texts{first};
    for (double v : values) {
      std::string t = roundDown ? RoundedDownBoundText(v) : BoundText(v);
      const double tv = ParseRealPrefix(t);
      if (tv > ParseRealPrefix(texts.back()) && tv <= topValue) texts.push_back(std::move(t));
    }
    texts.push_back(top);
    return texts;
  };
  std::vector<std::string> texts = fit(inner);
  if (texts.size() >= 3) return texts;
  if (second) {
    texts = fit({*second});
    if (texts.size() >= 3) return texts;
  }
  const auto steps = ProposeBoundTexts(min, max, 2);
  return {steps[0], steps[1], steps[2]};
}

std::vector<double> LogarithmicBounds(double min, double max, int n) {
  n = std::clamp(n, 2, MaxClasses);
  std::vector<double> out;
  const long double a = std::log(static_cast<long double>(min)), b = std::log(static_cast<long double>(max));
  for (int k = 1; k < n; ++k) out.push_back(static_cast<double>(std::exp(a + (b - a) * k / n)));
  return out;
}

namespace {

// One pass over def's valued cells; stops early when the finder wants no more.
template <class Finder>
void FeedGrid(const TDataDef& def, Finder& finder, Shell& shell) {
  GridRows rows(def, shell.run().Pool());
  shell.gaugeRange(0, def.nrows);
  const double nodata = def.NODATA_value;
  for (int r = 1; r <= def.nrows; ++r) {
    const double* row = rows.Next();
    for (int c = 0; c < def.ncols; ++c) {
      const double v = row[c];
      if (v != nodata && !finder.Take(v)) return;
    }
    shell.row(r);
  }
}

template <class Finder>
void RunPasses(const TDataDef& def, Finder& finder, Shell& shell) {
  while (finder.NeedsPass()) {
    FeedGrid(def, finder, shell);
    finder.EndPass();
  }
}

}  // namespace

std::vector<std::string> ProposalTexts(const TDataDef& def, Proposal p, int n, Shell& shell, int* passes) {
  n = std::clamp(n, 2, MaxClasses);
  const double min = def.minvalue, max = def.maxvalue;
  if (passes) *passes = 0;
  switch (p) {
    case Proposal::Quantiles: {
      QuantileFinder f(min, max, n);
      RunPasses(def, f, shell);
      if (passes) *passes = f.Passes();
      return FittedBoundTexts(min, max, f.Bounds(), f.SecondValue(), true);
    }
    case Proposal::NaturalBreaks: {
      BreakFinder f(min, max, n);
      RunPasses(def, f, shell);
      if (passes) *passes = f.Passes();
      return FittedBoundTexts(min, max, f.Bounds(), f.SecondValue(), true);
    }
    case Proposal::Logarithmic:
      if (min > 0) return FittedBoundTexts(min, max, LogarithmicBounds(min, max, n), std::nullopt, false);
      break;
    case Proposal::RoundedSteps: break;
  }
  const auto b = ProposeBoundTexts(min, max, n);
  return std::vector<std::string>(b.begin(), b.begin() + n + 1);
}

void ProposeBounds(ClassBounds& bounds, const TDataDef& def, Proposal p, int n, Shell& shell) {
  const std::vector<std::string> texts = ProposalTexts(def, p, n, shell);
  std::array<std::string, MaxClasses + 1> b;
  b.fill("0");
  std::copy(texts.begin(), texts.end(), b.begin());
  bounds.n = static_cast<int>(texts.size()) - 1;
  for (std::size_t k = 0; k < MaxClasses; ++k) {
    bounds.edits[k] = b[k];
    bounds.labels[k] = b[k + 1];
  }
}

}  // namespace karvelo
