// DeLong's interval in O(n log n) from grouped scores, and the stratified bootstrap of the AUC.
#include "stats/aucinterval.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <thread>

#include "stats/statistics.h"

namespace karvelo {

namespace {

// A 32-bit finaliser (xor-shift and multiply rounds): nearby inputs give unrelated outputs.
std::uint32_t MixSeed(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

double Uniform(RandomGenerator& rng) { return static_cast<double>(rng.Random(0xFFFFFFFFu)) / 4294967295.0; }

// Binomial draws whose success probability is a ratio of whole numbers c / w (a group's count over
// the count left), by inversion searching outward from the mode. Logs and log-factorials of small
// numbers come from tables small enough to stay in the cache; larger ones are computed (Stirling's
// series is exact to double precision beyond the tables), since a cache miss costs more than a log.
class BinomialSampler {
 public:
  BinomialSampler() {
    for (std::size_t i = 1; i < kTable; ++i) {
      log_[i] = std::log(static_cast<double>(i));
      logFactorial_[i] = logFactorial_[i - 1] + log_[i];
    }
  }

  // n trials with success probability c / w (0 <= c <= w, n and w within the tables).
  long long Draw(long long n, long long c, long long w, RandomGenerator& rng) const {
    if (n <= 0 || c <= 0) return 0;
    if (c >= w) return n;
    if (2 * c > w) return n - Draw(n, w - c, w, rng);
    const long long mode = std::min(n, (n + 1) * c / w);
    const double logW = Log(w), logP = Log(c) - logW, logQ = Log(w - c) - logW;
    const double fMode = std::exp(LogFactorial(n) - LogFactorial(mode) - LogFactorial(n - mode) +
                                  static_cast<double>(mode) * logP + static_cast<double>(n - mode) * logQ);
    const double odds = static_cast<double>(c) / static_cast<double>(w - c), invOdds = 1 / odds;
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
        fLo *= static_cast<double>(lo) / static_cast<double>(n - lo + 1) * invOdds;
        --lo;
        u -= fLo;
        if (u < 0) return lo;
      }
      if (fHi < 1e-300 && fLo < 1e-300) break;  // what is left is rounding
    }
    return mode;
  }

 private:
  static constexpr std::size_t kTable = 4096;
  double Log(long long k) const {
    return static_cast<std::size_t>(k) < kTable ? log_[static_cast<std::size_t>(k)] : std::log(static_cast<double>(k));
  }
  double LogFactorial(long long k) const {
    if (static_cast<std::size_t>(k) < kTable) return logFactorial_[static_cast<std::size_t>(k)];
    const double x = static_cast<double>(k), inv = 1 / x;
    return x * std::log(x) - x + 0.5 * std::log(2 * 3.14159265358979323846 * x) + inv / 12 - inv * inv * inv / 360;
  }
  std::array<double, kTable> log_{}, logFactorial_{};
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
      const long long k = binomial.Draw(left, counts_[g], weight, rng);
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

std::vector<long long> BinomialDraws(long long n, long long c, long long w, int count, RandomGenerator& rng) {
  const BinomialSampler sampler;
  std::vector<long long> draws;
  for (int i = 0; i < count; ++i) draws.push_back(sampler.Draw(n, c, w, rng));
  return draws;
}

std::optional<AucInterval> BootstrapInterval(const ScoreGroups& s, RandomGenerator& rng, ThreadPool& pool,
                                             const std::function<void(int done)>& progress, int resamples) {
  const long long m = s.totalFinds, n = s.totalNonFinds;
  if (m < 1 || n < 1 || resamples < 1 || m > 0xFFFFFFFFLL || n > 0xFFFFFFFFLL) return std::nullopt;
  const BinomialSampler binomial;
  const StratumResampler finds(s.finds, m), nonFinds(s.nonFinds, n);
  // Each resample draws from its own generator, seeded from the caller's in resample order and
  // mixed so that the streams start far apart: the result does not depend on how many threads share
  // the work.
  std::vector<std::uint32_t> seeds(static_cast<std::size_t>(resamples));
  for (std::uint32_t& seed : seeds) seed = MixSeed(rng.Random(0xFFFFFFFFu));
  std::vector<double> aucs(static_cast<std::size_t>(resamples));
  // Batches small enough that a cancel is heard within a fraction of a second on a large sample.
  constexpr std::size_t kBatch = 50;
  const std::size_t per = kBatch * pool.Threads();
  for (std::size_t start = 0; start < aucs.size(); start += per) {
    const std::size_t end = std::min(aucs.size(), start + per);
    const std::size_t tasks = (end - start + kBatch - 1) / kBatch;
    pool.Run(tasks, [&](std::size_t t) {
      std::vector<long long> f, nf;
      RandomGenerator own;
      const std::size_t first = start + t * kBatch, last = std::min(end, first + kBatch);
      for (std::size_t b = first; b < last; ++b) {
        own.SetSeed(seeds[b]);
        finds.Draw(f, binomial, own);
        nonFinds.Draw(nf, binomial, own);
        aucs[b] = AucOfCounts(f, nf, m, n);
      }
    });
    if (progress) progress(static_cast<int>(end));
  }
  std::sort(aucs.begin(), aucs.end());
  return AucInterval{MannWhitneyAuc(s), Percentile(aucs, 0.025), Percentile(aucs, 0.975)};
}

}  // namespace karvelo
