// Class bounds fitted to a grid's values: equal counts, logarithmic steps and natural breaks.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/classification.h"
#include "core/datadef.h"
#include "core/shell.h"

namespace karvelo {

enum class Proposal { RoundedSteps, Quantiles, Logarithmic, NaturalBreaks };
inline constexpr std::array<Proposal, 4> kProposals = {Proposal::RoundedSteps, Proposal::Quantiles,
                                                       Proposal::Logarithmic, Proposal::NaturalBreaks};

// The drop-down's text of each proposal.
std::string_view ProposalCaption(Proposal p);
// Logarithmic steps need a minimum above 0; the others are always offered.
bool ProposalOffered(Proposal p, double min);

// Finds the values that split the valued cells into n classes of equal counts: inner bound k
// (1..n-1) is the value of rank floor(k * N / n) in the sorted cells (rank 0 the least), so class
// k holds the cells below it. Fed pass by pass (Take for every valued cell, then EndPass) while
// NeedsPass: the first pass counts the cells into a histogram with each bin's least and greatest
// value; each later pass looks only at the bins that hold a wanted rank, refining them into finer
// histograms until a bin holds one value or few enough cells to sort. Memory stays the same
// whatever the grid's size. min and max bound the values (cells outside go to the end bins).
class QuantileFinder {
 public:
  QuantileFinder(double min, double max, int n);
  bool NeedsPass() const { return pass_ == 0 || !intervals_.empty(); }
  // Returns whether the finder wants more cells in this pass (always true here).
  bool Take(double v);
  void EndPass();
  int Passes() const { return pass_; }

  // The n - 1 inner bounds, ascending (equal where ties span a bound); empty without cells.
  std::vector<double> Bounds() const;
  // The least value above the least one, when the cells hold two values or more.
  std::optional<double> SecondValue() const { return second_; }

  struct Bin {
    long long count = 0;
    double lo = 0, hi = 0;  // least and greatest value in the bin, when count > 0
  };
  // Bins over [lo, hi] whose index never decreases with the value, so that the values of a bin
  // are exactly those from its least to its greatest.
  class Histogram {
   public:
    Histogram(double lo, double hi, int bins);
    int Index(double v) const {
      const double t = (v - lo_) * scale_;
      if (!(t > 0)) return 0;
      if (t >= static_cast<double>(last_)) return last_;
      return static_cast<int>(t);
    }
    void Add(double v);
    const std::vector<Bin>& Bins() const { return bins_; }

   private:
    double lo_, scale_;
    int last_;
    std::vector<Bin> bins_;
  };

 private:
  struct Target {
    long long rank;
    double value = 0;
  };
  // The cells from lo to hi (those of one bin), below of them lying under lo, that hold the
  // targets first..last - 1.
  struct Interval {
    double lo, hi;
    long long below, count;
    std::size_t first, last;
    std::optional<Histogram> sub;  // refined when too many cells to sort
    std::vector<double> values;    // else collected
  };
  // Resolves the targets first..last - 1 against a histogram, or opens intervals for them.
  void Locate(const Histogram& h, long long below, std::size_t first, std::size_t last, std::vector<Interval>& next);

  int n_;
  int pass_ = 0;
  long long count_ = 0;
  double least_, second0_;
  std::optional<double> second_;
  Histogram first_;
  std::vector<Target> targets_;
  std::vector<Interval> intervals_;
  std::vector<char> wanted_;  // first-histogram bins that hold an interval
};

// Finds the n classes of least total squared deviation from their means (Fisher's dynamic
// programme), exactly over the distinct values when there are at most 4096 of them, else over the
// cells of a 4096-bin histogram taken as indivisible groups. One pass, and a second one only when
// some bin holds several values (stopped as soon as they exceed 4096).
class BreakFinder {
 public:
  static constexpr int kUnits = 4096;
  BreakFinder(double min, double max, int n);
  bool NeedsPass() const { return pass_ == 0 || (pass_ == 1 && needsDistinct_); }
  bool Take(double v);
  void EndPass();
  int Passes() const { return pass_; }
  // Whether the classes were formed over distinct values (exact) or histogram bins.
  bool OverDistinctValues() const { return distinct_; }

  // The inner bounds (least value of classes 2..m), ascending; m = min(n, number of groups).
  std::vector<double> Bounds() const;
  std::optional<double> SecondValue() const;

 private:
  struct Unit {
    long long count = 0;
    double lo = 0, hi = 0;
    double sum = 0, squares = 0;  // of (value - shift)
  };
  void AddTo(Unit& u, double v) const;
  int n_;
  int pass_ = 0;
  double shift_;
  QuantileFinder::Histogram index_;
  std::vector<Unit> bins_;
  bool needsDistinct_ = false, distinct_ = false, overflow_ = false;
  long long singles_ = 0;  // bins holding one value
  std::vector<std::pair<double, long long>> found_;  // distinct values of the bins holding several
  std::vector<Unit> units_;
};

// The bound texts b1..b(m+1) from inner bound values: b1 is the minimum rounded down, b(m+1) the
// maximum; inner bounds (rounded down when roundDown, else to nearest) that are not above the
// previous text or lie above the maximum's are dropped (one equal to it leaves a last class of
// the cells holding the maximum), so m may be below the number asked
// for. When fewer than 2 classes remain, the least value above the minimum (second) becomes the
// one inner bound; without it, the rounded equal steps for 2 classes are proposed.
std::vector<std::string> FittedBoundTexts(double min, double max, const std::vector<double>& inner,
                                          std::optional<double> second, bool roundDown);

// The inner bounds of logarithmic steps: a geometric progression from min (> 0) to max.
std::vector<double> LogarithmicBounds(double min, double max, int n);

// The proposal's bound texts for up to n classes of def (the grid is read for equal counts and
// natural breaks, moving the shell's gauge once per row). passes, when given, receives the
// number of passes over the grid.
std::vector<std::string> ProposalTexts(const TDataDef& def, Proposal p, int n, Shell& shell, int* passes = nullptr);

// Puts the proposal's texts into bounds (edits replaced); bounds.n becomes the number of classes
// that remain.
void ProposeBounds(ClassBounds& bounds, const TDataDef& def, Proposal p, int n, Shell& shell);

}  // namespace karvelo
