// The naive-Bayes probability map.
#include "mapping/bayesmap.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <vector>

#include "audit/audit.h"
#include "audit/workfiles.h"
#include "core/filecheck.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "core/outputnames.h"
#include "core/projection.h"
#include "core/runlog.h"
#include "core/textwriter.h"
#include "mapping/classfiles.h"
#include "mapping/classtest.h"
#include "mapping/maprows.h"
#include "mapping/independence.h"
#include "render/maprender.h"
#include "stats/statistics.h"
#include "stats/statstext.h"

namespace karvelo {

namespace fs = std::filesystem;

namespace {

long long RoundedCount(double v) { return static_cast<long long>(RoundHalfEven(v)); }

// Formatting a probability costs more than computing it, and a map holds few distinct values:
// keep the text of recently written values.
class NumberTexts {
 public:
  explicit NumberTexts(int decimals) : decimals_(decimals) {}
  // The text of v with its blank, and the value a reader finds in that text.
  struct Slot {
    std::uint64_t bits = 0;
    bool used = false;
    std::string text;
    double readBack = 0;
    bool readable = false;  // the text reads back as one finite number
  };
  const Slot& Text(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    Slot& s = slots_[(bits ^ (bits >> 29) ^ (bits >> 47)) & (kSlots - 1)];
    if (!s.used || s.bits != bits) {
      s.bits = bits;
      s.used = true;
      s.text = FormatGridNumber(v, decimals_);
      const auto back = ParseReal(s.text);
      s.readable = s.text.size() <= 64 && back && std::isfinite(*back);
      s.readBack = s.readable ? *back : 0;
      s.text.push_back(' ');
    }
    return s;
  }

 private:
  static constexpr std::size_t kSlots = 4096;
  int decimals_;
  std::vector<Slot> slots_ = std::vector<Slot>(kSlots);
};

}  // namespace

std::string CPText(double v) { return FixedInWidth(v, 3, 5); }

bool GenerateRandomAbsences(Workspace& ws, RunTables& tables, Shell& shell) {
  const TDataDef& ref = ws.ReferenceGrid();
  ws.Random.Randomize(ws.FixedSeed);
  long long nP = 0;
  for (std::size_t i = 0; i < ByteRaster::kCells; ++i) nP += ws.PresenceRaster.data()[i] != 0;
  ws.AbsenceRaster.Clear();
  const int rows = RasterRows(ref), cols = RasterCols(ref);
  long long free = 0;
  for (int r = 1; r <= rows; ++r) {
    const std::uint8_t* in = ws.InsideRaster.row(r);
    const std::uint8_t* p = ws.PresenceRaster.row(r);
    for (int c = 0; c < cols; ++c) free += (in[c] != 0) & (p[c] == 0);
  }
  if (!(ws.PriorP > 0)) {
    shell.message("Absences cannot be generated at random: the prior probability of presence is 0.\n"
                  "Enter a prior probability of presence above 0.");
    return false;
  }
  const long long N = static_cast<long long>(RoundHalfEven(static_cast<double>(nP) / ws.PriorP)) - nP;
  if (N <= 0) {
    shell.message("Absences cannot be generated at random: " + std::to_string(nP) +
                  " presences with a prior probability of presence of " + FormatShortest(ws.PriorP) +
                  " call for " + std::to_string(N) + " absences.\nEnter a smaller prior probability of presence.");
    return false;
  }
  if (N > free) {
    shell.message("Absences cannot be generated at random: " + std::to_string(N) + " absences are needed, but the mapped area has only " +
                  std::to_string(free) + " cells without a presence.\nEnter a larger prior probability of presence.");
    return false;
  }
  shell.log("");
  shell.log(std::string(kRandomAbsenceCaption) + " at " + std::to_string(N) + " locations.");
  shell.log("Counted occurrences and Chi-squared analysis redone below:");
  // Only a new free cell counts, so exactly N distinct cells are marked; N <= free ends the loop.
  long long placed = 0;
  while (placed < N) {
    const int r = 1 + static_cast<int>(ws.Random.Random(static_cast<std::uint32_t>(ref.nrows)));
    const int c = 1 + static_cast<int>(ws.Random.Random(static_cast<std::uint32_t>(ref.ncols)));
    if (r > rows || c > cols) continue;
    if (ws.InsideRaster.at(r, c) && !ws.PresenceRaster.at(r, c) && !ws.AbsenceRaster.at(r, c)) {
      ws.AbsenceRaster.at(r, c) = 1;
      ++placed;
    }
  }
  const std::filesystem::path negatives = shell.run().WorkFile(kAbsenceMaskFile);
  WriteWorkFile(ws.AbsenceRaster, negatives, static_cast<std::uintmax_t>(rows) * MaxGridExtent);
  shell.registerWorkFile(negatives);
  ws.QuietAudit = true;
  try {
    RunAudit(ws, tables, shell);
    SubmitFinal(ws, shell);
  } catch (...) {
    ws.QuietAudit = false;
    throw;
  }
  ws.QuietAudit = false;
  return true;
}

void CopyBayesTableNames(const Workspace& ws, RunTables& tables) {
  // The audit's rows: every class of every classified grid, in slot and class order.
  tables.BayesTable.SetRowCount(1);
  for (int e = 1; e <= ws.DataDefCount; ++e) {
    const TDataDef& def = ws.DataDef(e);
    if (def.NrClasses < 2) continue;
    for (int k = 1; k <= def.NrClasses; ++k) {
      const int row = tables.BayesTable.RowCount();
      tables.BayesTable.SetRowCount(row + 1);
      tables.BayesTable.SetCell(0, row, FrequencyRowName(def));
      tables.BayesTable.SetCell(1, row, std::to_string(k));
    }
  }
}

void FillBayesTable(const Workspace& ws, RunTables& tables, const PriorControls& priors) {
  CopyBayesTableNames(ws, tables);
  TextGrid& bayes = tables.BayesTable;
  for (int i = 1; i < bayes.RowCount() && i <= FrequencyRows; ++i) {
    const auto& counts = ws.FrequencyCounts[static_cast<std::size_t>(i - 1)];
    bayes.SetCell(6, i, priors.textP);
    bayes.SetCell(2, i, std::to_string(counts.presences));
    bayes.SetCell(4, i, std::to_string(counts.absences));
    const long long a = counts.presences, b = counts.absences;
    bayes.SetCell(3, i, CPText(SmoothedCP(a, b)));
    bayes.SetCell(5, i, CPText(SmoothedCP(b, a)));
  }
}

void FillMappingTables(Workspace& ws, RunTables& tables, const PriorControls& priors, Shell& shell) {
  FillBayesTable(ws, tables, priors);
  const TextGrid& bayes = tables.BayesTable;
  shell.log("");
  shell.log("Table with mapping data");
  for (int r = 0; r < bayes.RowCount(); ++r) shell.log(LogRow(bayes, r));

  const auto rows = TestClasses(ws, [&](int e, int k) {
    const auto& cls = ws.DataDef(e).mclasses[static_cast<std::size_t>(k - 1)];
    const long long a = RoundedCount(cls[ClassPresences]), b = RoundedCount(cls[ClassAbsences]);
    return std::pair{SmoothedCP(a, b), SmoothedCP(b, a)};
  });
  ShowClassTests(rows, tables.Chi2a, shell, false);
}

ProbabilityRange WriteBayesMap(const Workspace& ws, Shell& shell, MapPictureCells* cells) {
  const TDataDef& ref = ws.ReferenceGrid();
  shell.status2("... Mapping Bayesian probability");
  shell.gaugeRange(0, ref.nrows);
  shell.gaugeProgress(0);

  // Per entry with classes: its class file, and per class the two factors it brings to a cell.
  std::vector<ClassFileStream> streams = OpenClassFiles(ws, shell.run());
  struct Factors {
    std::array<double, MaxClasses + 1> cpP{}, cpA{};
  };
  std::vector<Factors> factors(streams.size());
  for (std::size_t e = 0; e < streams.size(); ++e) {
    const TDataDef& def = ws.DataDef(streams[e].slot);
    for (int k = 1; k <= streams[e].nClasses; ++k) {
      const auto& cls = def.mclasses[static_cast<std::size_t>(k - 1)];
      const long long a = RoundedCount(cls[ClassPresences]), b = RoundedCount(cls[ClassAbsences]);
      const bool evidence = Chi2Level(ws.ClassChi2[static_cast<std::size_t>(streams[e].slot)][static_cast<std::size_t>(k)], 1) != Significance::None;
      factors[e].cpP[static_cast<std::size_t>(k)] = evidence ? SmoothedCP(a, b) : 1.0;
      factors[e].cpA[static_cast<std::size_t>(k)] = evidence ? SmoothedCP(b, a) : 1.0;
    }
  }

  TextWriter out(shell.run().Output(kBayesMapFile));
  WriteGridHeader(out, ref);
  const double nodata = ref.NODATA_value;
  ProbabilityRange range;
  const int rows = RasterRows(ref), cols = RasterCols(ref);
  const std::size_t ncols = static_cast<std::size_t>(std::max(ref.ncols, 0)), nstreams = streams.size();
  // Rows are made in blocks on every core and written in order. A block's row keeps its classes,
  // its text and the values the text holds until it is written.
  struct Row {
    std::string text;
    std::vector<double> written;
    double minP = std::numeric_limits<double>::infinity(), maxP = -std::numeric_limits<double>::infinity();
    bool unreadable = false;
    WrittenAsZero zero{kBayesMapFile, 8};
  };
  struct Block {
    NumberTexts texts{8};
  };
  auto make = [&](int r, const int* k, Row& row, Block& block) {
    row.text.clear();
    row.written.resize(ncols);
    row.minP = std::numeric_limits<double>::infinity();
    row.maxP = -std::numeric_limits<double>::infinity();
    row.unreadable = false;
    row.zero = WrittenAsZero(kBayesMapFile, 8);
    const std::uint8_t* inside = r <= rows ? ws.InsideRaster.row(r) : nullptr;
    for (int c = 1; c <= ref.ncols; ++c) {
      double P = nodata;
      if (inside && c <= cols && inside[c - 1]) {
        double LP = 1, LA = 1;
        bool valid = true;
        for (std::size_t e = 0; e < nstreams; ++e) {
          const int cls = k[e * ncols + static_cast<std::size_t>(c - 1)];
          if (cls > 0) {
            // A class number beyond the entry's classes carries no counts: an even split.
            const bool known = cls <= streams[e].nClasses;
            LP *= known ? factors[e].cpP[static_cast<std::size_t>(cls)] : 1.0;
            LA *= known ? factors[e].cpA[static_cast<std::size_t>(cls)] : 1.0;
          } else if (cls < 0) {
            valid = false;
          }
        }
        P = ws.PriorP * LP / (ws.PriorP * LP + ws.PriorA * LA);
        if (!valid) P = nodata;
        if (P > row.maxP && P != nodata) row.maxP = P;
        if (P < row.minP && P != nodata) row.minP = P;
      }
      const auto& text = block.texts.Text(P);
      if (P != nodata) row.zero.Add(P, text.text);
      row.text += text.text;
      row.unreadable |= !text.readable;
      row.written[static_cast<std::size_t>(c - 1)] = text.readBack;
    }
  };
  auto emit = [&](int r, const Row& row) {
    // Strictly beyond, in row order: the same value wins as when the cells are met one by one.
    if (row.maxP > range.maxP) range.maxP = row.maxP;
    if (row.minP < range.minP) range.minP = row.minP;
    range.writtenAsZero.Merge(row.zero);
    if (cells) {
      if (row.unreadable) cells->MarkUnreadable();
      if (cells->NextRowDrawn()) cells->AddRow(row.written.data());
    }
    out.Write(row.text);
    out.WriteLine();
    shell.row(r);
  };
  MakeMapRows<Row, Block>(streams, shell.run().Pool(), ref.nrows, ncols, 20, make, emit);
  out.Close();
  CopyProjection(ref, shell.run().Output(kBayesMapFile));
  return range;
}

std::vector<fs::path> MappingOutputs(const RunContext& run, bool geotiff) {
  std::vector<fs::path> out;
  for (const std::string& grid : ResultGridNames(true, true)) out.push_back(run.Output(grid));
  out.push_back(run.Output(kBayesMapFile));
  const std::size_t grids = out.size();
  for (std::size_t i = 0; i < grids; ++i) {
    out.push_back(ProjectionFileOf(out[i]));
    if (geotiff) {
      fs::path tif = out[i];
      tif.replace_extension(".tif");
      out.push_back(tif);
      out.push_back(tif.string() + ".aux.xml");
    }
  }
  for (const char* name : {kBayesPictureFile, kBayesLog10PictureFile, kBootstrapDataFile, kMeanPictureFile, kMeanLog10PictureFile,
                           kLogFileName}) {
    out.push_back(run.Output(name));
  }
  return out;
}

std::vector<fs::path> MappingInputs(const Workspace& ws) {
  std::vector<fs::path> grids;
  for (int i = 1; i <= ws.DataDefCount; ++i) grids.emplace_back(ws.DataDef(i).FileName);
  return WithProjectionFiles(grids);
}

std::vector<std::string> ResultGridNames(bool uncertainty, bool declustered) {
  std::vector<std::string> names;
  if (uncertainty) {
    names = {kMeanMapFile, kSdMapFile};
  } else {
    names = {kBayesMapFile};
  }
  if (declustered) names.push_back(kDeclusteredGridFile);
  return names;
}

bool MapBayesianProbability(Workspace& ws, RunTables& tables, PriorControls& priors, Canvas& picture, Rgb face,
                            Shell& shell) {
  picture.FillRect(0, 0, picture.Width(), picture.Height(), face);
  CopyBayesTableNames(ws, tables);
  shell.status2("... Preparing table with mapping data");
  shell.log("");
  if (!PriorStep(ws, priors, shell, false)) return false;
  if (ws.RandomAbsences && !GenerateRandomAbsences(ws, tables, shell)) return false;
  FillMappingTables(ws, tables, priors, shell);

  MapPictureCells cells(picture.Width(), picture.Height(), ws.ReferenceGrid());
  const ProbabilityRange range = WriteBayesMap(ws, shell, &cells);
  shell.log("");
  shell.log("Map of results written to file BayesP.asc (ascii-grid).");
  ReportWrittenAsZero(range.writtenAsZero, shell);
  shell.log(std::string(60, '-'));
  const TDataDef& ref = ws.ReferenceGrid();
  shell.status2("... Preparing screen map P");
  const RunContext& run = shell.run();
  cells.Draw(run.Output(kBayesMapFile), range.minP, range.maxP, ref.NODATA_value, false, picture, shell,
             run.Output(kBayesPictureFile));
  shell.status2("... Preparing screen map log10 P");
  cells.Draw(run.Output(kBayesMapFile), range.minP, range.maxP, ref.NODATA_value, true, picture, shell,
             run.Output(kBayesLog10PictureFile));
  tables.Independence = ReportConditionalIndependence(ws, false, shell);
  shell.status2("(Idle)");
  shell.gaugeProgress(0);
  return true;
}

}  // namespace karvelo
