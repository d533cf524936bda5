// The in-memory map: the product of the factors per cell and the written text's value.
#include "mapping/memorymap.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <string>

#include "core/numfmt.h"
#include "mapping/bayesmap.h"
#include "stats/statistics.h"

namespace karvelo {

namespace {

// A map holds few distinct values and formatting costs more than the product: a small cache of
// values and what their texts read back as.
class ReadBackCache {
 public:
  double Of(double v) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    Slot& s = slots_[(bits ^ (bits >> 29) ^ (bits >> 47)) & (kSlots - 1)];
    if (!s.used || s.bits != bits) {
      s.used = true;
      s.bits = bits;
      const auto back = ParseReal(FormatGridNumber(v, 8));
      s.value = back ? *back : std::numeric_limits<double>::quiet_NaN();
    }
    return s.value;
  }

 private:
  struct Slot {
    std::uint64_t bits = 0;
    bool used = false;
    double value = 0;
  };
  static constexpr std::size_t kSlots = 1024;
  std::vector<Slot> slots_ = std::vector<Slot>(kSlots);
};

}  // namespace

bool ClassCarriesEvidence(long long presences, long long absences, EvidenceLevel level) {
  const Chi2Result test = EvenSplitTest(presences, absences);
  if (test.level == Significance::None) return false;
  return level == EvidenceLevel::All || std::exp(-test.value / 2) <= EvidenceThreshold(level);
}

MemoryMapModel ModelOf(const ClassGrids& grids, std::vector<std::size_t> used, const std::vector<GridClassCounts>& counts,
                       double priorP, double priorA, EvidenceLevel level) {
  std::sort(used.begin(), used.end());
  used.erase(std::unique(used.begin(), used.end()), used.end());
  MemoryMapModel model;
  model.priorP = priorP;
  model.priorA = priorA;
  for (std::size_t g : used) {
    GridFactors f;
    f.grid = g;
    f.cpP.fill(1.0);
    f.cpA.fill(1.0);
    const int n = grids.grids.at(g).nClasses;
    for (int k = 1; k <= n && n >= 2; ++k) {
      const long long a = counts[g].presences[static_cast<std::size_t>(k)], b = counts[g].absences[static_cast<std::size_t>(k)];
      if (!ClassCarriesEvidence(a, b, level)) continue;
      f.cpP[static_cast<std::size_t>(k)] = SmoothedCP(a, b);
      f.cpA[static_cast<std::size_t>(k)] = SmoothedCP(b, a);
    }
    model.grids.push_back(f);
  }
  return model;
}

std::vector<double> ComputeMemoryMap(const ClassGrids& grids, const MemoryMapModel& model, ThreadPool& pool) {
  const double none = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> values(grids.Cells(), none);
  const std::size_t ncols = static_cast<std::size_t>(grids.ncols);
  if (grids.nrows < 1) return values;
  pool.ForRows(0, grids.nrows - 1, [&](int from, int to) {
    ReadBackCache cache;
    for (int r = from; r <= to; ++r) {
      const std::size_t first = static_cast<std::size_t>(r) * ncols;
      for (std::size_t i = first; i < first + ncols; ++i) {
        if (!grids.inside[i]) continue;
        // The factors multiply in configuration order, as the written map multiplies them.
        double LP = 1, LA = 1;
        bool valid = true;
        for (const GridFactors& f : model.grids) {
          const std::uint8_t k = grids.grids[f.grid].cells[i];
          if (k == kNoClassValue) {
            valid = false;
          } else if (k > 0) {
            LP *= f.cpP[k];
            LA *= f.cpA[k];
          }
        }
        if (!valid) continue;
        values[i] = cache.Of(model.priorP * LP / (model.priorP * LP + model.priorA * LA));
      }
    }
  });
  return values;
}

}  // namespace karvelo
