// Bootstrapping the conditional probabilities and propagating their uncertainty into the map.
#include "mapping/uncertainty.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <unordered_map>

#include "audit/audit.h"
#include "audit/workfiles.h"
#include "core/outputnames.h"
#include "mapping/independence.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "core/projection.h"
#include "core/textwriter.h"
#include "stats/statistics.h"
#include "stats/statstext.h"
#include "mapping/bayesmap.h"
#include "mapping/classfiles.h"
#include "mapping/classtest.h"
#include "mapping/maprows.h"
#include "render/maprender.h"

namespace karvelo {

namespace {

std::vector<Observation> ObservationsOf(const ByteRaster& raster, const TDataDef& ref) {
  std::vector<Observation> list;
  const int rows = RasterRows(ref), cols = RasterCols(ref);
  for (int r = 1; r <= rows; ++r) {
    const std::uint8_t* row = raster.row(r);
    for (int c = 1; c <= cols; ++c) {
      if (row[c - 1]) list.push_back({r, c});
    }
  }
  return list;
}

void WriteList(const std::vector<Observation>& list, const std::filesystem::path& name) {
  TextWriter out(name);
  for (const Observation& o : list) out.WriteLine(std::to_string(o.row) + ";" + std::to_string(o.col));
  out.Close();
}

// Draws one sample of `list` with replacement and counts how often each observation was drawn;
// with `name`, writes the sample as the sample file too. Only the last sample's file is kept, so
// the others are drawn (the random sequence stays the same) without a line written.
void DrawSample(RandomGenerator& random, const std::vector<Observation>& list, const std::filesystem::path* name,
                std::vector<std::uint32_t>& drawn) {
  std::fill(drawn.begin(), drawn.end(), 0u);
  const auto n = static_cast<std::uint32_t>(list.size());
  if (!name) {
    for (std::uint32_t i = 0; i < n; ++i) ++drawn[random.Random(n)];
    return;
  }
  TextWriter out(*name);
  for (std::uint32_t i = 0; i < n; ++i) {
    const std::uint32_t pick = random.Random(n);
    ++drawn[pick];
    out.WriteLine(std::to_string(list[pick].row) + " " + std::to_string(list[pick].col));
  }
  out.Close();
}

// Per classified entry and observation: the classes whose mask holds the observation's cell, one bit each.
struct ClassBits {
  int entry = 0;
  int nClasses = 0;
  std::string name;
  std::vector<std::uint32_t> presence, absence;
};

// Counts, per class, the drawn observations that lie in it (a cell drawn k times counts k times).
void CountSample(const std::vector<std::uint32_t>& bits, const std::vector<std::uint32_t>& drawn,
                 std::array<long long, MaxClasses + 1>& counts) {
  counts.fill(0);
  for (std::size_t i = 0; i < bits.size(); ++i) {
    if (!drawn[i]) continue;
    for (std::uint32_t b = bits[i]; b; b &= b - 1) counts[static_cast<std::size_t>(__builtin_ctz(b)) + 1] += drawn[i];
  }
}

}  // namespace

double EvidenceThreshold(EvidenceLevel level) {
  static constexpr double kT[] = {1.0, 0.44, 0.26, 0.15, 0.036, 0.005};
  return kT[static_cast<int>(level)];
}

CellEstimate ErrorPropCell(const std::vector<ClassEvidence>& classes, bool valid, double priorP, double priorA, int V,
                           double threshold) {
  double piP = 1, piA = 1, RP = 1, RA = 1;
  for (const ClassEvidence& e : classes) {
    RP += e.SdP / e.MeanP;
    RA += e.SdA / e.MeanA;
    piP *= e.MeanP;
    piA *= e.MeanA;
  }
  const double sPiP = std::sqrt(RP) * piP, sPiA = std::sqrt(RA) * piA;
  const double N = priorP * piP, sN = priorP * sPiP;
  const double M = priorA * piA, sM = priorA * sPiA;
  CellEstimate e;
  e.P = N / (N + M);
  const double sD = std::sqrt(sN * sN + sM * sM);
  const double a = sN / N, b = sD / (N + M);
  e.sigma = e.P * std::sqrt(a * a + b * b);
  e.t = (e.P - priorP) / (e.sigma / std::sqrt(static_cast<double>(V)));
  if (std::exp(-e.t * e.t / 2) > threshold) e.P = -1.0;
  if (!valid) e.P = -1.0;
  return e;
}

std::string BootstrapHeader() { return "Nr. " + frmt("Filename", 35) + " Class CpPres   CpAbs"; }

std::string BootstrapLine(int sample, const std::string& gridName, int klasse, double cpPres, double cpAbs) {
  return RightAligned(std::to_string(sample), 3) + " " + frmt(gridName, 35) + " " + RightAligned(std::to_string(klasse), 5) +
         " " + FixedInWidth(cpPres, 6, 8) + " " + FixedInWidth(cpAbs, 6, 8);
}

ClassCPStats Bootstrap(Workspace& ws, Shell& shell) {
  const TDataDef& ref = ws.ReferenceGrid();
  const std::vector<Observation> pres = ObservationsOf(ws.PresenceRaster, ref);
  const std::vector<Observation> abs = ObservationsOf(ws.AbsenceRaster, ref);
  const RunContext& run = shell.run();
  const std::filesystem::path presFile = run.WorkFile(kPresenceListFile), absFile = run.WorkFile(kAbsenceListFile);
  WriteList(pres, presFile);
  shell.registerWorkFile(presFile);
  WriteList(abs, absFile);
  shell.registerWorkFile(absFile);

  // The class of an observation does not change between samples: read each grid once, at the
  // observations' cells.
  std::vector<std::pair<int, int>> cells;  // the presences, then the absences
  for (const Observation& o : pres) cells.emplace_back(o.row, o.col);
  for (const Observation& o : abs) cells.emplace_back(o.row, o.col);
  std::vector<ClassBits> entries;
  for (int e = 1; e <= ws.DataDefCount; ++e) {
    const TDataDef& def = ws.DataDef(e);
    if (def.NrClasses < 2) continue;
    shell.run().ThrowIfCancelled();
    shell.status2("... Loading classes of " + FileNameOf(def.FileName));
    ClassBits cb;
    cb.entry = e;
    cb.nClasses = std::min(def.NrClasses, MaxClasses);
    cb.name = FileNameOf(def.FileName);
    std::vector<std::uint32_t> bits = ClassBitsAt(def, cells, shell);
    cb.absence.assign(bits.begin() + static_cast<std::ptrdiff_t>(pres.size()), bits.end());
    bits.resize(pres.size());
    cb.presence = std::move(bits);
    entries.push_back(std::move(cb));
  }

  TextWriter data(run.Output(kBootstrapDataFile));
  data.WriteLine(BootstrapHeader());
  ws.Random.Randomize(ws.FixedSeed);
  ClassCPStats stats{};
  shell.gaugeRange(0, BootstrapSamples);
  std::vector<std::uint32_t> drawnP(pres.size()), drawnA(abs.size());
  std::array<long long, MaxClasses + 1> p{}, a{};
  for (int s = 1; s <= BootstrapSamples; ++s) {
    shell.status1("Bootstrapping " + std::to_string(s) + "#" + std::to_string(BootstrapSamples));
    const bool last = s == BootstrapSamples;
    DrawSample(ws.Random, pres, last ? &presFile : nullptr, drawnP);
    DrawSample(ws.Random, abs, last ? &absFile : nullptr, drawnA);
    for (const ClassBits& cb : entries) {
      CountSample(cb.presence, drawnP, p);
      CountSample(cb.absence, drawnA, a);
      for (int j = 1; j <= cb.nClasses; ++j) {
        const long long pj = p[static_cast<std::size_t>(j)], aj = a[static_cast<std::size_t>(j)];
        const double cpPres = SmoothedCP(pj, aj), cpAbs = SmoothedCP(aj, pj);
        data.WriteLine(BootstrapLine(s, cb.name, j, cpPres, cpAbs));
        ClassStats& st = stats[static_cast<std::size_t>(cb.entry)][static_cast<std::size_t>(j)];
        st.SumP += cpPres;
        st.SumSqP += cpPres * cpPres;
        st.SumA += cpAbs;
        st.SumSqA += cpAbs * cpAbs;
      }
    }
    shell.row(s);
    shell.refresh();
  }
  data.Close();
  return stats;
}

namespace {

// Means and standard deviations over the samples (divisor 50), and the replacement of classes
// that do not differ from an even split by the neutral 1.
void ReduceStats(const Workspace& ws, ClassCPStats& stats) {
  const double n = BootstrapSamples;
  for (int e = 1; e <= ws.DataDefCount; ++e) {
    const TDataDef& def = ws.DataDef(e);
    for (int j = 1; j <= std::min(def.NrClasses, MaxClasses); ++j) {
      ClassStats& st = stats[static_cast<std::size_t>(e)][static_cast<std::size_t>(j)];
      if (def.NrClasses < 2) {
        // A single class carries no evidence: it takes no part in the resampling.
        st.MeanP = st.MeanA = 1.0;
        st.SdP = st.SdA = 0.0;
        continue;
      }
      st.MeanA = st.SumA / n;
      double var = st.SumSqA - st.SumA * st.SumA / n;
      st.SdA = std::sqrt((var < 0 ? 0 : var) / n);
      st.MeanP = st.SumP / n;
      var = st.SumSqP - st.SumP * st.SumP / n;
      st.SdP = std::sqrt((var < 0 ? 0 : var) / n);
      if (Chi2Level(ws.ClassChi2[static_cast<std::size_t>(e)][static_cast<std::size_t>(j)], 1) == Significance::None) {
        st.MeanP = st.MeanA = 1.0;
        st.SdP = st.SdA = 0.0;
      }
    }
  }
}

struct MapExtremes {
  double largest = 0, smallest = 1;
  WrittenAsZero writtenAsZero{kMeanMapFile, 10};
};

// The value a reader finds in a written text (without its blank); false when it finds none, or
// another token than the whole text.
bool ReadsBack(const std::string& text, double& value) {
  const auto back = ParseReal(std::string_view(text).substr(0, text.size() - 1));
  if (text.size() > 65 || !back || !std::isfinite(*back)) return false;
  value = *back;
  return true;
}

MapExtremes WriteUncertaintyMaps(const Workspace& ws, const ClassCPStats& stats, EvidenceLevel evidence, Shell& shell,
                                 MapPictureCells& cells) {
  const TDataDef& ref = ws.ReferenceGrid();
  shell.status1("Mapping Bayesian probability");
  shell.status2("... Mapping Bayesian probability");
  TextWriter avg(shell.run().Output(kMeanMapFile));
  WriteGridHeader(avg, ref, std::string("-1.0"));
  TextWriter sd(shell.run().Output(kSdMapFile));
  WriteGridHeader(sd, ref, std::string("-1.0"));

  std::vector<ClassFileStream> entries = OpenClassFiles(ws, shell.run());
  const int V = static_cast<int>(entries.size());
  const double T = EvidenceThreshold(evidence);

  MapExtremes ext;
  const std::string none = FormatGridNumber(-1.0, 10) + " ";
  shell.gaugeRange(0, ref.nrows);
  const int rows = RasterRows(ref), cols = RasterCols(ref);
  struct CachedCell {
    double P;
    std::string avg, sd;
    double avgBack = -1;  // what a reader finds in avg
    bool unreadable = false;
  };
  double noneBack = -1;
  if (!ReadsBack(none, noneBack)) cells.MarkUnreadable();
  const std::size_t ncols = static_cast<std::size_t>(std::max(ref.ncols, 0)), nstreams = entries.size();
  // Rows are made in blocks on every core and written in order; each block of rows keeps its own
  // cache of the combinations it met (the results do not depend on which computed them).
  struct Row {
    std::string avg, sd;
    std::vector<double> written;
    double largest = -std::numeric_limits<double>::infinity(), smallest = std::numeric_limits<double>::infinity();
    bool unreadable = false;
    WrittenAsZero zero{kMeanMapFile, 10};
  };
  struct Block {
    std::unordered_map<std::uint64_t, CachedCell> cache;
    std::vector<ClassEvidence> used;
    std::vector<int> k;  // the cell's class in each stream
  };
  auto make = [&](int r, const int* classRow, Row& row, Block& block) {
    std::vector<int>& kk = block.k;
    kk.resize(nstreams);
    row.avg.clear();
    row.sd.clear();
    row.written.resize(ncols);
    row.largest = -std::numeric_limits<double>::infinity();
    row.smallest = std::numeric_limits<double>::infinity();
    row.unreadable = false;
    row.zero = WrittenAsZero(kMeanMapFile, 10);
    const std::uint8_t* inside = r <= rows ? ws.InsideRaster.row(r) : nullptr;
    for (int c = 1; c <= ref.ncols; ++c) {
      for (std::size_t e = 0; e < nstreams; ++e) kk[e] = classRow[e * ncols + static_cast<std::size_t>(c - 1)];
      if (!inside || c > cols || !inside[c - 1]) {
        row.avg += none;
        row.sd += none;
        row.written[static_cast<std::size_t>(c - 1)] = noneBack;
        continue;
      }
      // A cell's result depends only on its classes: compute each combination once.
      std::uint64_t key = 0;
      for (std::size_t e = 0; e < nstreams; ++e) key |= static_cast<std::uint64_t>(kk[e] + 1) << (5 * e);
      auto hit = block.cache.find(key);
      if (hit == block.cache.end()) {
        bool valid = true;
        block.used.clear();
        for (std::size_t e = 0; e < nstreams; ++e) {
          if (kk[e] > 0 && kk[e] <= entries[e].nClasses) {
            const ClassStats& st = stats[static_cast<std::size_t>(entries[e].slot)][static_cast<std::size_t>(kk[e])];
            block.used.push_back({st.MeanP, st.SdP, st.MeanA, st.SdA});
          } else if (kk[e] < 0) {
            valid = false;
          }
        }
        const CellEstimate est = ErrorPropCell(block.used, valid, ws.PriorP, ws.PriorA, V, T);
        CachedCell cell{est.P, none, none, noneBack};
        if (est.P != -1.0) {
          cell.avg = FormatGridNumber(est.P, 10) + " ";
          cell.sd = FormatGridNumber(est.sigma, 10) + " ";
          cell.unreadable = !ReadsBack(cell.avg, cell.avgBack);
        }
        hit = block.cache.emplace(key, std::move(cell)).first;
      }
      const CachedCell& cell = hit->second;
      if (cell.P != -1.0) {
        row.largest = std::max(row.largest, cell.P);
        row.smallest = std::min(row.smallest, cell.P);
        row.zero.Add(cell.P, cell.avg);
      }
      row.unreadable |= cell.unreadable;
      row.avg += cell.avg;
      row.sd += cell.sd;
      row.written[static_cast<std::size_t>(c - 1)] = cell.avgBack;
    }
  };
  auto emit = [&](int r, const Row& row) {
    // std::max and std::min keep the earlier of equals, so folding the rows in order gives what
    // folding the cells in order gives.
    ext.largest = std::max(ext.largest, row.largest);
    ext.smallest = std::min(ext.smallest, row.smallest);
    ext.writtenAsZero.Merge(row.zero);
    if (row.unreadable) cells.MarkUnreadable();
    if (cells.NextRowDrawn()) cells.AddRow(row.written.data());
    avg.Write(row.avg);
    sd.Write(row.sd);
    avg.WriteLine();
    sd.WriteLine();
    shell.row(r);
  };
  MakeMapRows<Row, Block>(entries, shell.run().Pool(), ref.nrows, ncols, 40, make, emit);
  avg.Close();
  sd.Close();
  CopyProjection(ref, shell.run().Output(kMeanMapFile));
  CopyProjection(ref, shell.run().Output(kSdMapFile));
  return ext;
}

}  // namespace

bool ErrorProp(Workspace& ws, RunTables& tables, PriorControls& priors, EvidenceLevel evidence, Canvas& picture, Rgb face,
               Shell& shell) {
  picture.FillRect(0, 0, picture.Width(), picture.Height(), face);
  CopyBayesTableNames(ws, tables);
  shell.status2("... Preparing table with mapping data");
  shell.log("");
  if (!PriorStep(ws, priors, shell, true)) return false;
  if (!(ws.PriorP > 0) || !(ws.PriorA > 0)) {
    shell.message("The uncertainty run needs prior probabilities above 0 (presence " + priors.textP + ", absence " +
                  priors.textA + ").\nEnter other priors or choose another way to obtain them.");
    return false;
  }
  if (ws.RandomAbsences && !GenerateRandomAbsences(ws, tables, shell)) return false;

  FillBayesTable(ws, tables, priors);
  shell.log("");
  shell.log("Table with mapping data (based on input observations only);");
  shell.log("Before bootstrapping and error propagation analysis!");
  shell.log("Recalculating conditional probabilities by bootstrapping (" + std::to_string(BootstrapSamples) +
            "* resampling).");
  for (int r = 0; r < tables.BayesTable.RowCount(); ++r) shell.log(LogRow(tables.BayesTable, r));

  ClassCPStats stats = Bootstrap(ws, shell);
  // The test rests on the observed counts; the table shows the bootstrap means beside it.
  const auto rows = TestClasses(ws, [&](int e, int k) {
    const ClassStats& st = stats[static_cast<std::size_t>(e)][static_cast<std::size_t>(k)];
    return std::pair{st.SumP / BootstrapSamples, st.SumA / BootstrapSamples};
  });
  ShowClassTests(rows, tables.Chi2a, shell, true);
  ReduceStats(ws, stats);

  MapPictureCells cells(picture.Width(), picture.Height(), ws.ReferenceGrid());
  MapExtremes ext = WriteUncertaintyMaps(ws, stats, evidence, shell, cells);
  if (ext.largest == ext.smallest) {
    ext.largest *= 1.1;
    ext.smallest *= 0.9;
  }
  shell.log("");
  shell.log("Map of results written to files AVGBayesP.asc and SDBayesP.asc (ascii-grids).");
  ReportWrittenAsZero(ext.writtenAsZero, shell);
  shell.log("Bootstrap Conditional Probabilities written to BootstrapData.txt.");
  shell.log(std::string(60, '-'));
  shell.status2("... Preparing screen map");
  const RunContext& run = shell.run();
  cells.Draw(run.Output(kMeanMapFile), ext.smallest, ext.largest, -1, false, picture, shell,
             run.Output(kMeanPictureFile));
  shell.status2("... Preparing screen map log10 P");
  cells.Draw(run.Output(kMeanMapFile), ext.smallest, ext.largest, -1, true, picture, shell,
             run.Output(kMeanLog10PictureFile));
  tables.Independence = ReportConditionalIndependence(ws, true, shell);
  shell.status2("(Idle)");
  shell.gaugeProgress(0);
  return true;
}

}  // namespace karvelo
