// The effect pictures' numbers against plain computations, their marks of classes without evidence,
// and the pairs' shares of the dependence.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "mapping/effects.h"
#include "mapping/independence.h"
#include "render/qimage_canvas.h"
#include "stats/beta.h"
#include "test_support.h"

namespace karvelo {
namespace {

// The Beta(a, b) density integrated from 0 to x by Simpson's rule on a fine grid (a, b >= 1, so
// the density is bounded).
double IntegratedBeta(double a, double b, double x) {
  const int n = 20000;
  const double h = x / n, logNorm = std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b);
  // At the ends the density is its normalising constant when that end's exponent is 0, else 0.
  auto f = [&](double t) {
    if (t <= 0) return a == 1 ? std::exp(logNorm) : 0.0;
    if (t >= 1) return b == 1 ? std::exp(logNorm) : 0.0;
    return std::exp(logNorm + (a - 1) * std::log(t) + (b - 1) * std::log1p(-t));
  };
  double sum = f(0) + f(x);
  for (int i = 1; i < n; ++i) sum += (i % 2 ? 4 : 2) * f(i * h);
  return sum * h / 3;
}

TEST(BetaQuantile, MatchesClosedFormsAndIntegration) {
  // Beta(a, 1) has I_x = x^a, Beta(1, b) has I_x = 1 - (1 - x)^b.
  for (double q : {0.025, 0.5, 0.975}) {
    EXPECT_NEAR(BetaQuantile(q, 1, 1), q, 1e-12);
    EXPECT_NEAR(BetaQuantile(q, 4, 1), std::pow(q, 1.0 / 4), 1e-12);
    EXPECT_NEAR(BetaQuantile(q, 1, 7), 1 - std::pow(1 - q, 1.0 / 7), 1e-12);
  }
  const unsigned seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> count(0, 60);
  for (int i = 0; i < 40; ++i) {
    const double a = count(random) + 1, b = count(random) + 1;
    for (double q : {0.025, 0.975}) EXPECT_NEAR(IntegratedBeta(a, b, BetaQuantile(q, a, b)), q, 1e-6) << a << " " << b;
  }
  EXPECT_TRUE(std::isnan(BetaQuantile(0.5, 0, 1)));
  EXPECT_TRUE(std::isnan(BetaQuantile(1.5, 1, 1)));
}

class EffectsTest : public test::ScratchFolderTest {
 protected:
  // Two classified grids and one observation grid, with the given counts and class test values.
  void Configure(std::mt19937& random) {
    TDataDef obs;
    obs.FileName = "obs.asc";
    ASSERT_TRUE(ws->AddDataDef(obs));
    std::uniform_int_distribution<int> count(0, 40), classes(2, 8);
    std::uniform_real_distribution<double> chi2(0, 8);
    for (const char* name : {"dist.asc", "soil.asc"}) {
      TDataDef d;
      d.FileName = name;
      d.NrClasses = classes(random);
      for (int k = 0; k < d.NrClasses; ++k) {
        d.mclasses[static_cast<std::size_t>(k)][ClassPresences] = count(random);
        d.mclasses[static_cast<std::size_t>(k)][ClassAbsences] = count(random);
      }
      ASSERT_TRUE(ws->AddDataDef(d));
      for (int k = 1; k <= d.NrClasses; ++k) ws->ClassChi2[static_cast<std::size_t>(ws->DataDefCount)][static_cast<std::size_t>(k)] = chi2(random);
    }
    ws->PriorP = 0.3;
    ws->PriorA = 0.7;
  }
};

TEST_F(EffectsTest, PlainRunShowsTheSmoothedValueInsideItsBetaInterval) {
  const unsigned seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 random(seed);
  for (int round = 0; round < 10; ++round) {
    ws = std::make_unique<Workspace>();
    Configure(random);
    const std::vector<GridEffects> effects = ClassEffects(*ws, nullptr);
    ASSERT_EQ(effects.size(), 2u);
    EXPECT_EQ(effects[0].grid, "dist");
    EXPECT_EQ(effects[1].grid, "soil");
    for (const GridEffects& g : effects) {
      const TDataDef& def = ws->DataDef(g.entry);
      ASSERT_EQ(static_cast<int>(g.classes.size()), def.NrClasses);
      EXPECT_EQ(g.prior, 0.3);
      EXPECT_FALSE(g.bootstrap);
      for (const ClassEffect& c : g.classes) {
        const double a = def.mclasses[static_cast<std::size_t>(c.klasse - 1)][ClassPresences];
        const double b = def.mclasses[static_cast<std::size_t>(c.klasse - 1)][ClassAbsences];
        EXPECT_DOUBLE_EQ(c.p, (a + 1) / (a + b + 2));
        EXPECT_LT(c.lower, c.p);
        EXPECT_GT(c.upper, c.p);
        EXPECT_NEAR(IntegratedBeta(a + 1, b + 1, c.lower), 0.025, 1e-6);
        EXPECT_NEAR(IntegratedBeta(a + 1, b + 1, c.upper), 0.975, 1e-6);
        // The class test's 95% point for one degree of freedom.
        EXPECT_EQ(c.evidence, ws->ClassChi2[static_cast<std::size_t>(g.entry)][static_cast<std::size_t>(c.klasse)] >= 3.84);
      }
    }
  }
}

TEST_F(EffectsTest, UncertaintyRunShowsTheSamplesMeanAndTwoDeviations) {
  std::mt19937 random(test::TestSeed());
  Configure(random);
  // Each class's 50 sample values, summed as the bootstrap sums them.
  ClassCPStats stats{};
  std::vector<std::vector<std::vector<double>>> samples(static_cast<std::size_t>(ws->DataDefCount + 1));
  std::uniform_real_distribution<double> value(0, 1);
  for (int e = 2; e <= ws->DataDefCount; ++e) {
    samples[static_cast<std::size_t>(e)].resize(static_cast<std::size_t>(ws->DataDef(e).NrClasses + 1));
    for (int k = 1; k <= ws->DataDef(e).NrClasses; ++k) {
      // Some classes spread widely, so that the interval is held inside [0, 1].
      const double centre = value(random), spread = k == 1 ? 0.5 : 0.05;
      for (int s = 0; s < BootstrapSamples; ++s) {
        const double v = std::clamp(centre + spread * (value(random) - 0.5), 0.0, 1.0);
        samples[static_cast<std::size_t>(e)][static_cast<std::size_t>(k)].push_back(v);
        stats[static_cast<std::size_t>(e)][static_cast<std::size_t>(k)].SumP += v;
        stats[static_cast<std::size_t>(e)][static_cast<std::size_t>(k)].SumSqP += v * v;
      }
    }
  }
  for (const GridEffects& g : ClassEffects(*ws, &stats)) {
    EXPECT_TRUE(g.bootstrap);
    for (const ClassEffect& c : g.classes) {
      const std::vector<double>& v = samples[static_cast<std::size_t>(g.entry)][static_cast<std::size_t>(c.klasse)];
      double mean = 0, sq = 0;
      for (double x : v) mean += x / static_cast<double>(v.size());
      for (double x : v) sq += (x - mean) * (x - mean) / static_cast<double>(v.size());
      EXPECT_NEAR(c.p, mean, 1e-12);
      EXPECT_NEAR(c.lower, std::max(0.0, mean - 2 * std::sqrt(sq)), 1e-9);
      EXPECT_NEAR(c.upper, std::min(1.0, mean + 2 * std::sqrt(sq)), 1e-9);
    }
  }
}

// Pixels of a colour in the picture.
int CountColour(const QImageCanvas& pic, Rgb colour) {
  int n = 0;
  for (int y = 0; y < pic.Height(); ++y) {
    for (int x = 0; x < pic.Width(); ++x) n += pic.Pixel(x, y) == colour;
  }
  return n;
}

TEST_F(EffectsTest, ClassesWithoutEvidenceAreDrawnHollowAndThePicturesAreWritten) {
  std::mt19937 random(test::TestSeed());
  Configure(random);
  GridEffects g = ClassEffects(*ws, nullptr)[0];
  for (ClassEffect& c : g.classes) c.evidence = true;
  QImageCanvas all(kEffectsPictureWidth, kEffectsPictureHeight), some(kEffectsPictureWidth, kEffectsPictureHeight);
  DrawEffects(g, all);
  g.classes[1].evidence = false;
  DrawEffects(g, some);
  // While every class has evidence, only the legend's box shows the hatching.
  EXPECT_LT(CountColour(some, kEvidenceFill), CountColour(all, kEvidenceFill));
  EXPECT_GT(CountColour(some, kHatchGrey), CountColour(all, kHatchGrey));

  const std::vector<EffectsPicture> pictures = ReportEffects(*ws, nullptr, shell);
  ASSERT_EQ(pictures.size(), 2u);
  std::vector<std::filesystem::path> files;
  for (const EffectsPicture& p : pictures) files.push_back(p.file);
  EXPECT_EQ(files, EffectsPictureFiles(*ws, shell.run()));
  for (const EffectsPicture& p : pictures) {
    const std::filesystem::path& f = p.file;
    EXPECT_TRUE(std::filesystem::is_regular_file(f)) << f;
    EXPECT_EQ(f.filename().string(), EffectsPictureName(p.grid));
    const std::string line = "Effects of the classes of " + p.grid + " written to: <" + f.filename().string() + ">";
    EXPECT_NE(std::find(shell.logLines.begin(), shell.logLines.end(), line), shell.logLines.end()) << line;
  }
}

TEST(PairShares, AreEachPairsShareOfTheTestedPairsChi2) {
  std::mt19937 random(test::TestSeed());
  std::uniform_real_distribution<double> chi2(0, 20);
  IndependenceReport report;
  for (int i = 0; i < 5; ++i) {
    PairIndependence pair{"g" + std::to_string(i) + ".asc", "h.asc", {}};
    pair.result.tested = i != 2;
    pair.result.test = {chi2(random), 2, Significance::None};
    report.pairs.push_back(pair);
  }
  double sum = 0;
  for (const PairIndependence& p : report.pairs) sum += p.result.tested ? p.result.test.value : 0;
  const auto shares = PairShares(report.pairs);
  ASSERT_EQ(shares.size(), 5u);
  EXPECT_FALSE(shares[2]);
  for (std::size_t i = 0; i < 5; ++i) {
    if (i == 2) continue;
    EXPECT_NEAR(*shares[i], 100 * report.pairs[i].result.test.value / sum, 1e-9);
  }
  // The share follows the pair's own line; the untested pair's line has none.
  const std::vector<std::string> lines = IndependenceLines(report);
  for (std::size_t i = 0; i < 5; ++i) {
    const std::string head = "Pairwise independence of presences: g" + std::to_string(i) + ".asc x h.asc: ";
    const auto line = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(head, 0) == 0; });
    ASSERT_NE(line, lines.end());
    EXPECT_EQ(line->find("% of all pairs' Chi2") != std::string::npos, i != 2) << *line;
  }
  // No pair above 0: nothing to share.
  for (PairIndependence& p : report.pairs) p.result.test.value = 0;
  for (const auto& s : PairShares(report.pairs)) EXPECT_FALSE(s);
}

}  // namespace
}  // namespace karvelo
