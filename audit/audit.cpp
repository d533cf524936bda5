// Counting the observations per class, the chi-squared goodness-of-fit tests, and the class files.
#include "audit/audit.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "audit/workfiles.h"
#include "core/gridfile.h"
#include "core/gridrows.h"
#include "core/numfmt.h"
#include "core/rowblocks.h"
#include "core/textwriter.h"
#include "stats/statistics.h"
#include "stats/statstext.h"

namespace karvelo {

namespace {

std::string WithoutLast4(const std::string& s) { return s.size() >= 4 ? s.substr(0, s.size() - 4) : std::string(); }

void CutToHeader(TextGrid& t) { t.SetRowCount(1); }

// Presences, absences and cells of one class mask over the entry's rows and columns.
Workspace::FrequencyRow CountClass(const Workspace& ws, const TDataDef& def, ThreadPool& pool) {
  const int rows = RasterRows(def), cols = RasterCols(def);
  // Counted in blocks of rows on every core; whole numbers, so the sum is the same in any order.
  std::vector<Workspace::FrequencyRow> blocks(pool.RowBlocks(1, rows));
  pool.Run(blocks.size(), [&](std::size_t b) {
    Workspace::FrequencyRow& row = blocks[b];
    const int from = ThreadPool::BlockStart(1, rows, blocks.size(), b), to = ThreadPool::BlockStart(1, rows, blocks.size(), b + 1) - 1;
    for (int r = from; r <= to; ++r) {
      const std::uint8_t* aux = ws.AuxClassRaster.row(r);
      const std::uint8_t* pres = ws.PresenceRaster.row(r);
      const std::uint8_t* abs = ws.AbsenceRaster.row(r);
      std::int32_t cells = 0, p = 0, a = 0;
      for (int c = 0; c < cols; ++c) {
        const int in = aux[c] != 0;
        cells += in;
        p += in & (pres[c] != 0);
        a += in & (abs[c] != 0);
      }
      row.cells += cells;
      row.presences += p;
      row.absences += a;
    }
  });
  Workspace::FrequencyRow total;
  for (const auto& b : blocks) {
    total.cells += b.cells;
    total.presences += b.presences;
    total.absences += b.absences;
  }
  return total;
}

struct GridFlags {
  bool presences = false, absences = false;
};

}  // namespace

AuditOutcome RunAudit(Workspace& ws, RunTables& tables, Shell& shell) {
  AuditOutcome outcome;
  shell.status2("Auditing the gridfiles");
  std::vector<std::string> missing;
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(ws.DataDef(i).FileName, ec)) missing.push_back("Missing: " + ws.DataDef(i).FileName);
  }
  if (!missing.empty()) {
    std::string text = "Not all gridfiles were found.\n";
    for (const std::string& line : missing) text += line + "\n";
    shell.message(text + "Reconstruct the data configuration file (tabsheet 1).");
    shell.log("Not all gridfiles were found.");
    for (const std::string& line : missing) shell.log(line);
    shell.log("The data configuration file must be reconstructed.");
    shell.status2("(Idle)");
    return outcome;
  }
  outcome.ran = true;
  ws.FrequencyCounts.fill({});
  CutToHeader(tables.Frequency);
  CutToHeader(tables.Chi2);
  CutToHeader(tables.Chi2a);

  ClassCounts counted;
  MakeBinaries(ws, shell, &counted);

  shell.status2("1: counting occurrences");
  std::vector<GridFlags> flags(static_cast<std::size_t>(ws.DataDefCount) + 1);
  int k = 0;
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    TDataDef& def = ws.DataDef(i);
    if (def.NrClasses < 2) continue;
    for (int s = 1; s <= def.NrClasses; ++s) {
      ++k;
      tables.Frequency.SetRowCount(k + 1);
      tables.Frequency.SetCell(0, k, WithoutLast4(FileNameOf(def.FileName)));
      tables.Frequency.SetCell(1, k, std::to_string(s));
      shell.run().ThrowIfCancelled();
      Workspace::FrequencyRow counts;
      if (const auto made = counted.find({i, s}); made != counted.end()) {
        counts = made->second;
      } else {
        LoadBinAux(ws, ClassMaskFileName(shell.run(), i, def, s), shell);
        counts = CountClass(ws, def, shell.run().Pool());
      }
      ws.FrequencyCounts[static_cast<std::size_t>(k - 1)] = counts;
      def.mclasses[static_cast<std::size_t>(s - 1)][ClassPresences] = counts.presences;
      def.mclasses[static_cast<std::size_t>(s - 1)][ClassAbsences] = counts.absences;
      if (counts.presences != 0) flags[static_cast<std::size_t>(i)].presences = true;
      if (counts.absences != 0) flags[static_cast<std::size_t>(i)].absences = true;
      tables.Frequency.SetCell(2, k, std::to_string(counts.cells));
      tables.Frequency.SetCell(3, k, std::to_string(counts.presences));
      tables.Frequency.SetCell(4, k, std::to_string(counts.absences));
    }
  }
  shell.log("");
  shell.log("Grid counting results.");
  shell.log("Counted occurrences in current configuration:");
  for (int r = 0; r < tables.Frequency.RowCount(); ++r) shell.log(LogRow(tables.Frequency, r));

  shell.status2("2: Chi2 tests");
  shell.log("");
  shell.log("Chi-squared analysis of current configuration.");
  shell.log("Chi-squared testing: goodness of fit of observed frequencies:");
  std::string summary;
  k = 0;
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    const TDataDef& def = ws.DataDef(i);
    if (def.NrClasses < 2) continue;
    const GridFlags f = flags[static_cast<std::size_t>(i)];
    std::vector<long long> cells, presences, absences;
    for (int s = 0; s < def.NrClasses; ++s) {
      const auto& row = ws.FrequencyCounts[static_cast<std::size_t>(k + s)];
      cells.push_back(row.cells);
      presences.push_back(row.presences);
      absences.push_back(row.absences);
    }
    k += def.NrClasses;
    const GoodnessOfFit fitP = GoodnessOfFitTest(presences, cells);
    const GoodnessOfFit fitA = GoodnessOfFitTest(absences, cells);
    auto report = [&](bool has, const GoodnessOfFit& fit, int s, const char* what) {
      if (!has) return;
      const auto& empty = fit.classesWithoutExpectation;
      if (std::find(empty.begin(), empty.end(), s) == empty.end()) return;
      const std::string text =
          def.FileName + " Class " + std::to_string(s) + ": No " + what + " counted!\nconsider changing the classification.";
      if (!ws.QuietAudit) shell.message(text);
      shell.log(text);
    };
    for (int s = 1; s <= def.NrClasses; ++s) {
      report(f.presences, fitP, s, "presences");
      report(f.absences, fitA, s, "absences");
    }
    const int r = tables.Chi2.RowCount();
    tables.Chi2.SetRowCount(r + 1);
    const std::string name = FileNameOf(def.FileName);
    const std::string presText = f.presences ? AuditChi2Cell(fitP.test) : "No data";
    const std::string absText = f.absences ? AuditChi2Cell(fitA.test) : "No data";
    tables.Chi2.SetRow(r, {name, std::to_string(fitP.test.df), presText, absText});
    const bool significant = (f.presences && Significant(fitP.test)) || (f.absences && Significant(fitA.test));
    if (!significant) {
      summary += name + ": observed versus expected frequencies of occurrence/absence do not significantly differ.\n";
    }
  }
  for (int r = 0; r < tables.Chi2.RowCount(); ++r) shell.log(LogRow(tables.Chi2, r));
  shell.log("*=at 95%; **=at 99% confidence.");

  shell.status2("3: Reporting");
  if (ws.DataDefCount == 0) {
    shell.message("No dataconfiguration defined!\nRestart or import configuration file first.");
    outcome.status = 1;
  } else {
    const std::string text = summary.empty()
                                 ? "All grids have significant Chi-squared values, and do\nexplain some of the variation in presence and/or absence."
                                 : summary + "\nConsider redefining the classes or skip the variable.";
    if (!ws.QuietAudit) shell.message(text, MessageKind::Information);
    shell.log(text);
    outcome.status = 3;
  }
  shell.status2("(Idle)");
  shell.gaugeProgress(0);
  return outcome;
}


int ClassOfValue(const TDataDef& def, double v) {
  if (v == def.NODATA_value) return -1;
  int cls = -1;
  for (int k = 1; k <= def.NrClasses && k <= MaxClasses; ++k) {
    const auto& row = def.mclasses[static_cast<std::size_t>(k - 1)];
    if (row[ClassLower] <= v && v < row[ClassUpper]) cls = k;
  }
  return cls;
}

void SubmitFinal(Workspace& ws, Shell& shell) {
  shell.status2("Converting final selection of files");
  ws.RandomAbsences = !ws.HasAbsenceGrid();
  shell.gaugeRange(0, ws.DataDefCount > 0 ? ws.DataDef(1).nrows : 0);
  shell.gaugeProgress(0);
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    const TDataDef& def = ws.DataDef(i);
    if (def.NrClasses == 0) continue;
    shell.status2("Writing auxiliary file " + std::to_string(i));
    const std::filesystem::path name = ClassFileName(shell.run(), i, def);
    TextWriter out(name);
    shell.registerWorkFile(name);
    {
      GridReader header(def);
      for (const std::string& line : header.HeaderLines()) out.WriteLine(line);
    }
    // Rows read in order, their texts made in blocks on every core, written in order.
    GridRows grid(def, shell.run().Pool());
    const std::size_t ncols = static_cast<std::size_t>(std::max(def.ncols, 0));
    const int block = BlockRowsFor(ncols * (sizeof(double) + 3));
    std::vector<double> values(static_cast<std::size_t>(block) * ncols);
    std::vector<std::string> texts(static_cast<std::size_t>(block));
    RowsInBlocks(
        shell.run().Pool(), def.nrows, block,
        [&](int, int slot) {
          const double* row = grid.Next();
          std::copy(row, row + ncols, values.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(slot) * ncols));
        },
        [&](int from, int to, int first) {
          char buf[16];
          for (int r = from; r <= to; ++r) {
            const std::size_t slot = static_cast<std::size_t>(r - first);
            std::string& text = texts[slot];
            text.clear();
            for (std::size_t c = 0; c < ncols; ++c) {
              const int cls = ClassOfValue(def, values[slot * ncols + c]);
              const auto res = std::to_chars(buf, buf + sizeof buf, cls);
              text.append(buf, static_cast<std::size_t>(res.ptr - buf));
              text.push_back(' ');
            }
          }
        },
        [&](int r, int slot) {
          out.Write(texts[static_cast<std::size_t>(slot)]);
          out.WriteLine();
          shell.row(r);
        });
    out.Close();
  }
  shell.status2("(Idle)");
  shell.gaugeProgress(0);
}

}  // namespace karvelo
