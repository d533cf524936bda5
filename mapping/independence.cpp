// The overall and pairwise conditional-independence tests on the observation cells.
#include "mapping/independence.h"

#include <cmath>
#include <memory>

#include "audit/workfiles.h"
#include "core/gridfile.h"
#include "core/gridrows.h"
#include "core/numfmt.h"
#include "core/outputnames.h"
#include "mapping/classfiles.h"
#include "stats/statstext.h"

namespace karvelo {

namespace {

// A written map read row by row in the reference grid's shape, its no-data value from its own header.
struct MapStream {
  TDataDef def;
  std::unique_ptr<GridRows> rows;
  const double* row = nullptr;

  MapStream(const std::filesystem::path& path, const TDataDef& ref, ThreadPool& pool) {
    def.FileName = path.string();
    SilentShell quiet;  // the run just wrote the map from the reference grid: its size is fine
    ReadHeader(def, quiet);
    TDataDef shape = def;
    shape.ncols = ref.ncols;
    shape.nrows = ref.nrows;
    rows = std::make_unique<GridRows>(shape, pool);
  }
};

}  // namespace

IndependenceReport TestConditionalIndependence(const Workspace& ws, const RunContext& run, const std::filesystem::path& map,
                                               const std::optional<std::filesystem::path>& sdMap) {
  IndependenceReport report;
  const TDataDef& ref = ws.ReferenceGrid();
  MapStream p(map, ref, run.Pool());
  std::optional<MapStream> sd;
  if (sdMap) sd.emplace(*sdMap, ref, run.Pool());
  std::vector<ClassFileStream> streams = OpenClassFiles(ws, run);
  CalibratedSum calibrated(streams, WeightsOfEvidence(ws));
  // The pairs of classified grids and their tables (class of the first x class of the second).
  std::vector<std::size_t> classified;
  for (std::size_t e = 0; e < streams.size(); ++e)
    if (streams[e].nClasses >= 2) classified.push_back(e);
  struct Pair {
    std::size_t a, b;
    std::vector<std::vector<long long>> counts;
  };
  std::vector<Pair> pairs;
  for (std::size_t i = 0; i < classified.size(); ++i) {
    for (std::size_t j = i + 1; j < classified.size(); ++j) {
      const auto a = classified[i], b = classified[j];
      pairs.push_back({a, b,
                       std::vector<std::vector<long long>>(static_cast<std::size_t>(streams[a].nClasses),
                                                           std::vector<long long>(static_cast<std::size_t>(streams[b].nClasses), 0))});
    }
  }
  const int rows = RasterRows(ref), cols = RasterCols(ref);
  double expected = 0, variance = 0;
  long long presences = 0;
  std::vector<int> k;
  for (int r = 1; r <= ref.nrows; ++r) {
    const std::uint8_t* pres = r <= rows ? ws.PresenceRaster.row(r) : nullptr;
    const std::uint8_t* abs = r <= rows ? ws.AbsenceRaster.row(r) : nullptr;
    const std::uint8_t* inside = r <= rows ? ws.InsideRaster.row(r) : nullptr;
    p.row = p.rows->Next();
    if (sd) sd->row = sd->rows->Next();
    for (int c = 1; c <= ref.ncols; ++c) {
      const double v = p.row[c - 1];
      const double s = sd ? sd->row[c - 1] : 0.0;
      ReadClasses(streams, k);
      if (!pres || c > cols) continue;
      const bool presence = pres[c - 1] != 0, observed = presence || abs[c - 1] != 0;
      if (presence) {
        for (Pair& pair : pairs) {
          const int ka = k[pair.a], kb = k[pair.b];
          if (ka >= 1 && kb >= 1 && ka <= streams[pair.a].nClasses && kb <= streams[pair.b].nClasses) {
            ++pair.counts[static_cast<std::size_t>(ka - 1)][static_cast<std::size_t>(kb - 1)];
          }
        }
      }
      if (!observed) continue;
      // The calibrated posterior needs no map value: an evidence level that leaves a cell unmapped
      // must not take it out of the population the weights were counted on.
      if (inside && inside[c - 1]) calibrated.Add(k, presence);
      if (v == p.def.NODATA_value) continue;
      presences += presence;
      expected += v;
      if (sd && s != sd->def.NODATA_value) variance += s * s;
    }
    NextClassLine(streams);
  }
  report.overall.presences = presences;
  report.overall.expected = expected;
  report.calibrated = calibrated.Result();
  if (sd && variance > 0) {
    const double z = (expected - static_cast<double>(presences)) / std::sqrt(variance);
    report.overall.z = z;
    report.overall.p = NormalUpperTail(z);
  }
  for (const Pair& pair : pairs) {
    report.pairs.push_back({FileNameOf(ws.DataDef(streams[pair.a].slot).FileName), FileNameOf(ws.DataDef(streams[pair.b].slot).FileName),
                            ContingencyTest(pair.counts)});
  }
  return report;
}

std::vector<std::optional<double>> PairShares(const std::vector<PairIndependence>& pairs) {
  double sum = 0;
  for (const PairIndependence& pair : pairs) {
    if (pair.result.tested) sum += pair.result.test.value;
  }
  std::vector<std::optional<double>> shares;
  for (const PairIndependence& pair : pairs) {
    if (pair.result.tested && sum > 0) shares.emplace_back(100 * pair.result.test.value / sum);
    else shares.emplace_back();
  }
  return shares;
}

std::vector<std::string> IndependenceLines(const IndependenceReport& report) {
  const OverallIndependence& o = report.overall;
  std::vector<std::string> lines = {ConditionalIndependenceLine(o.presences, o.expected, o.z, o.p),
                                    CalibratedIndependenceLine(report.calibrated)};
  const std::vector<std::optional<double>> shares = PairShares(report.pairs);
  for (std::size_t i = 0; i < report.pairs.size(); ++i) {
    const PairIndependence& pair = report.pairs[i];
    std::vector<std::string> pairLines = PairwiseIndependenceLines(pair.first, pair.second, pair.result);
    if (shares[i]) pairLines.front() += ", share " + FormatFixed(*shares[i], 1) + "% of all pairs' Chi2";
    for (std::string& line : pairLines) lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<std::string> ReportConditionalIndependence(const Workspace& ws, bool uncertainty, Shell& shell) {
  shell.status2("... Testing conditional independence");
  const IndependenceReport report =
      uncertainty ? TestConditionalIndependence(ws, shell.run(), shell.run().Output(kMeanMapFile), shell.run().Output(kSdMapFile))
                  : TestConditionalIndependence(ws, shell.run(), shell.run().Output(kBayesMapFile), std::nullopt);
  const std::vector<std::string> lines = IndependenceLines(report);
  shell.log("");
  for (const std::string& line : lines) shell.log(line);
  return lines;
}

}  // namespace karvelo
