// DeLong's interval in O(n log n) from grouped scores, and the stratified bootstrap of the AUC.
#include "stats/aucinterval.h"

#include <algorithm>
#include <cmath>

#include "stats/statistics.h"

namespace karvelo {

namespace {

double Uniform(RandomGenerator& rng) { return static_cast<double>(rng.Random(0xFFFFFFFFu)) / 4294967295.0; }

// Binomial draws with log-factorials from a table, so a draw costs one exp and two logs plus a
// short search around the mode.
class BinomialSampler {
 public:
  explicit BinomialSampler(long long maxN) : logFactorial_(static_cast<std::size_t>(maxN) + 1, 0.0) {
    for (std::size_t i = 1; i < logFactorial_.size(); ++i) logFactorial_[i] = logFactorial_[i - 1] + std::log(static_cast<double>(i));
  }

  long long Draw(long long n, double p, RandomGenerator& rng) const {
    if (n <= 0 || p <= 0) return 0;
    if (p >= 1) return n;
    if (p > 0.5) return n - Draw(n, 1 - p, rng);
    const long long mode = std::min(n, static_cast<long long>(std::floor(static_cast<double>(n + 1) * p)));
    const auto lf = [&](long long k) { return logFactorial_[static_cast<std::size_t>(k)]; };
    const double fMode = std::exp(lf(n) - lf(mode) - lf(n - mode) + static_cast<double>(mode) * std::log(p) +
                                  static_cast<double>(n - mode) * std::log1p(-p));
    const double odds = p / (1 - p);
    double u = Uniform(rng) - fMode;
    if (u < 0) return mode;
    // The unit interval is laid out as f(mode), f(mode + 1), f(mode - 1), f(mode + 2), ...
    long long hi = mode, lo = mode;
    double fHi = fMode, fLo = fMode;
    while (hi < n || lo > 0) {
      if (hi < n) {
        fHi *= static_cast<double>(n - hi) / static_cast<double>(hi + 1) * odds;
        ++hi;
        u -= fHi;
        if (u < 0) return hi;
      }
      if (lo > 0) {
        fLo *= static_cast<double>(lo) / static_cast<double>(n - lo + 1) / odds;
        --lo;
        u -= fLo;
        if (u < 0) return lo;
      }
      if (fHi < 1e-300 && fLo < 1e-300) break;  // what is left is rounding
    }
    return mode;
  }

 private:
  std::vector<double> logFactorial_;
};

// Counts per group of one resample of `total` draws from a stratum with `counts` per group.
class StratumResampler {
 public:
  StratumResampler(const std::vector<long long>& counts, long long total) : counts_(counts), total_(total) {
    long long groups = 0;
    for (long long c : counts) groups += c > 0;
    // Few groups: a chain of binomial draws, one per group. Many: one draw per record.
    byGroup_ = groups * 8 <= total;
    if (!byGroup_) {
      record_.reserve(static_cast<std::size_t>(total));
      for (std::size_t g = 0; g < counts.size(); ++g) record_.insert(record_.end(), static_cast<std::size_t>(counts[g]), static_cast<std::uint32_t>(g));
    }
  }

  void Draw(std::vector<long long>& out, const BinomialSampler& binomial, RandomGenerator& rng) const {
    out.assign(counts_.size(), 0);
    if (!byGroup_) {
      const auto n = static_cast<std::uint32_t>(total_);
      for (long long i = 0; i < total_; ++i) ++out[record_[rng.Random(n)]];
      return;
    }
    long long left = total_, weight = total_;
    for (std::size_t g = 0; g < counts_.size() && left > 0; ++g) {
      if (counts_[g] == 0) continue;
      const long long k = binomial.Draw(left, static_cast<double>(counts_[g]) / static_cast<double>(weight), rng);
      out[g] = k;
      left -= k;
      weight -= counts_[g];
    }
  }

 private:
  const std::vector<long long>& counts_;
  long long total_;
  bool byGroup_ = false;
  std::vector<std::uint32_t> record_;
};

double AucOfCounts(const std::vector<long long>& finds, const std::vector<long long>& nonFinds, long long m, long long n) {
  double sum = 0, below = 0;
  for (std::size_t g = 0; g < finds.size(); ++g) {
    sum += static_cast<double>(finds[g]) * (below + 0.5 * static_cast<double>(nonFinds[g]));
    below += static_cast<double>(nonFinds[g]);
  }
  return sum / (static_cast<double>(m) * static_cast<double>(n));
}

double Percentile(const std::vector<double>& sorted, double q) {
  const double h = (static_cast<double>(sorted.size()) - 1) * q;
  const auto i = static_cast<std::size_t>(std::floor(h));
  if (i + 1 >= sorted.size()) return sorted.back();
  return sorted[i] + (h - static_cast<double>(i)) * (sorted[i + 1] - sorted[i]);
}

}  // namespace

ScoreGroups GroupScores(std::vector<double> findScores, std::vector<double> nonFindScores) {
  std::sort(findScores.begin(), findScores.end());
  std::sort(nonFindScores.begin(), nonFindScores.end());
  ScoreGroups s;
  s.totalFinds = static_cast<long long>(findScores.size());
  s.totalNonFinds = static_cast<long long>(nonFindScores.size());
  std::size_t i = 0, j = 0;
  while (i < findScores.size() || j < nonFindScores.size()) {
    const double v = j >= nonFindScores.size() || (i < findScores.size() && findScores[i] < nonFindScores[j]) ? findScores[i]
                                                                                                              : nonFindScores[j];
    long long f = 0, nf = 0;
    while (i < findScores.size() && findScores[i] == v) ++i, ++f;
    while (j < nonFindScores.size() && nonFindScores[j] == v) ++j, ++nf;
    s.value.push_back(v);
    s.finds.push_back(f);
    s.nonFinds.push_back(nf);
  }
  return s;
}

double MannWhitneyAuc(const ScoreGroups& s) { return AucOfCounts(s.finds, s.nonFinds, s.totalFinds, s.totalNonFinds); }

std::optional<AucInterval> DeLongInterval(const ScoreGroups& s) {
  const long long m = s.totalFinds, n = s.totalNonFinds;
  if (m < 2 || n < 2) return std::nullopt;
  const double auc = MannWhitneyAuc(s);
  // A find's component is the share of non-finds it beats (ties half); a non-find's, the share of
  // finds that beat it. Every score in a group shares its component.
  double nonFindsBelow = 0, findsBelow = 0, s10 = 0, s01 = 0;
  for (std::size_t g = 0; g < s.value.size(); ++g) {
    const double f = static_cast<double>(s.finds[g]), nf = static_cast<double>(s.nonFinds[g]);
    const double v10 = (nonFindsBelow + 0.5 * nf) / static_cast<double>(n);
    const double v01 = (static_cast<double>(m) - findsBelow - 0.5 * f) / static_cast<double>(m);
    s10 += f * (v10 - auc) * (v10 - auc);
    s01 += nf * (v01 - auc) * (v01 - auc);
    nonFindsBelow += nf;
    findsBelow += f;
  }
  s10 /= static_cast<double>(m - 1);
  s01 /= static_cast<double>(n - 1);
  const double se = std::sqrt(s10 / static_cast<double>(m) + s01 / static_cast<double>(n));
  return AucInterval{auc, std::max(0.0, auc - kNormal975 * se), std::min(1.0, auc + kNormal975 * se)};
}

std::vector<long long> BinomialDraws(long long n, double p, int count, RandomGenerator& rng) {
  const BinomialSampler sampler(std::max(0LL, n));
  std::vector<long long> draws;
  for (int i = 0; i < count; ++i) draws.push_back(sampler.Draw(n, p, rng));
  return draws;
}

std::optional<AucInterval> BootstrapInterval(const ScoreGroups& s, RandomGenerator& rng, int resamples) {
  const long long m = s.totalFinds, n = s.totalNonFinds;
  if (m < 1 || n < 1 || resamples < 1 || m > 0xFFFFFFFFLL || n > 0xFFFFFFFFLL) return std::nullopt;
  const BinomialSampler binomial(std::max(m, n));
  const StratumResampler finds(s.finds, m), nonFinds(s.nonFinds, n);
  std::vector<long long> f, nf;
  std::vector<double> aucs;
  aucs.reserve(static_cast<std::size_t>(resamples));
  for (int b = 0; b < resamples; ++b) {
    finds.Draw(f, binomial, rng);
    nonFinds.Draw(nf, binomial, rng);
    aucs.push_back(AucOfCounts(f, nf, m, n));
  }
  std::sort(aucs.begin(), aucs.end());
  return AucInterval{MannWhitneyAuc(s), Percentile(aucs, 0.025), Percentile(aucs, 0.975)};
}

}  // namespace karvelo
