// Counting the observations per class, the chi-squared goodness-of-fit tests, and the class files.
#include "audit/audit.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "audit/workfiles.h"
#include "core/gridfile.h"
#include "core/gridrows.h"
#include "core/numfmt.h"
#include "core/runlog.h"
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

// A message or summary becomes several lines of the log.
void AppendLines(std::vector<std::string>& lines, const std::string& text) {
  RunLog split;
  split.Append(text);
  lines.insert(lines.end(), split.Lines().begin(), split.Lines().end());
}

void LogLines(Shell& shell, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) shell.log(line);
}

}  // namespace

std::string FrequencyRowName(const TDataDef& def) { return WithoutLast4(FileNameOf(def.FileName)); }

std::vector<std::string> AuditCountLines(const AuditResult& result) {
  RunTables tables;
  LayOutRunTables(tables);
  ShowAuditTables(result, tables);
  std::vector<std::string> lines = {"", "Grid counting results.", "Counted occurrences in current configuration:"};
  for (int r = 0; r < tables.Frequency.RowCount(); ++r) lines.push_back(LogRow(tables.Frequency, r));
  return lines;
}

std::vector<std::string> AuditTestLines(const AuditResult& result) {
  RunTables tables;
  LayOutRunTables(tables);
  ShowAuditTables(result, tables);
  std::vector<std::string> lines = {"", "Chi-squared analysis of current configuration.",
                                    "Chi-squared testing: goodness of fit of observed frequencies:"};
  for (const std::string& note : result.emptyClassNotes) AppendLines(lines, note);
  for (int r = 0; r < tables.Chi2.RowCount(); ++r) lines.push_back(LogRow(tables.Chi2, r));
  lines.push_back("*=at 95%; **=at 99% confidence.");
  return lines;
}

std::vector<std::string> AuditReportLines(const AuditResult& result) {
  if (!result.ran) return {};
  std::vector<std::string> lines = AuditCountLines(result);
  const std::vector<std::string> tests = AuditTestLines(result);
  lines.insert(lines.end(), tests.begin(), tests.end());
  if (result.configured) AppendLines(lines, result.summary);
  return lines;
}

void ShowAuditTables(const AuditResult& result, RunTables& tables) {
  CutToHeader(tables.Frequency);
  CutToHeader(tables.Chi2);
  for (const AuditClassRow& c : result.classes) {
    const int k = tables.Frequency.RowCount();
    tables.Frequency.SetRowCount(k + 1);
    tables.Frequency.SetRow(k, {c.grid, std::to_string(c.klasse), std::to_string(c.counts.cells),
                                std::to_string(c.counts.presences), std::to_string(c.counts.absences)});
  }
  for (const AuditGridTest& t : result.tests) {
    const int r = tables.Chi2.RowCount();
    tables.Chi2.SetRowCount(r + 1);
    tables.Chi2.SetRow(r, {t.grid, std::to_string(t.presences.test.df), t.hasPresences ? AuditChi2Cell(t.presences.test) : "No data",
                           t.hasAbsences ? AuditChi2Cell(t.absences.test) : "No data"});
  }
}

AuditResult RunAudit(Workspace& ws, RunTables& tables, Shell& shell) {
  AuditResult result;
  shell.status2("Auditing the gridfiles");
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(ws.DataDef(i).FileName, ec)) result.missing.push_back(ws.DataDef(i).FileName);
  }
  if (!result.missing.empty()) {
    std::string text = "Not all gridfiles were found.\n";
    for (const std::string& grid : result.missing) text += "Missing: " + grid + "\n";
    shell.message(text + "Reconstruct the data configuration file (tabsheet 1).");
    shell.log("Not all gridfiles were found.");
    for (const std::string& grid : result.missing) shell.log("Missing: " + grid);
    shell.log("The data configuration file must be reconstructed.");
    shell.status2("(Idle)");
    return result;
  }
  result.ran = true;
  result.configured = ws.DataDefCount > 0;
  ws.FrequencyCounts.fill({});
  CutToHeader(tables.Frequency);
  CutToHeader(tables.Chi2);
  CutToHeader(tables.Chi2a);

  ClassCounts counted;
  MakeBinaries(ws, shell, &counted);

  shell.status2("1: counting occurrences");
  std::size_t k = 0;
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    TDataDef& def = ws.DataDef(i);
    if (def.NrClasses < 2) continue;
    for (int s = 1; s <= def.NrClasses; ++s) {
      shell.run().ThrowIfCancelled();
      Workspace::FrequencyRow counts;
      if (const auto made = counted.find({i, s}); made != counted.end()) {
        counts = made->second;
      } else {
        LoadBinAux(ws, ClassMaskFileName(shell.run(), i, def, s), shell);
        counts = CountClass(ws, def, shell.run().Pool());
      }
      ws.FrequencyCounts[k++] = counts;
      def.mclasses[static_cast<std::size_t>(s - 1)][ClassPresences] = counts.presences;
      def.mclasses[static_cast<std::size_t>(s - 1)][ClassAbsences] = counts.absences;
      result.classes.push_back({i, s, FrequencyRowName(def), counts});
    }
  }
  LogLines(shell, AuditCountLines(result));

  shell.status2("2: Chi2 tests");
  std::string summary;
  std::size_t first = 0;  // the grid's first row of result.classes
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    const TDataDef& def = ws.DataDef(i);
    if (def.NrClasses < 2) continue;
    AuditGridTest t;
    t.entry = i;
    t.grid = FileNameOf(def.FileName);
    std::vector<long long> cells, presences, absences;
    for (std::size_t s = first; s < first + static_cast<std::size_t>(def.NrClasses); ++s) {
      const auto& c = result.classes[s].counts;
      cells.push_back(c.cells);
      presences.push_back(c.presences);
      absences.push_back(c.absences);
      t.hasPresences = t.hasPresences || c.presences != 0;
      t.hasAbsences = t.hasAbsences || c.absences != 0;
    }
    first += static_cast<std::size_t>(def.NrClasses);
    t.presences = GoodnessOfFitTest(presences, cells);
    t.absences = GoodnessOfFitTest(absences, cells);
    auto note = [&](bool has, const GoodnessOfFit& fit, int s, const char* what) {
      if (!has) return;
      const auto& empty = fit.classesWithoutExpectation;
      if (std::find(empty.begin(), empty.end(), s) == empty.end()) return;
      const std::string text =
          def.FileName + " Class " + std::to_string(s) + ": No " + what + " counted!\nconsider changing the classification.";
      if (!ws.QuietAudit) shell.message(text);
      result.emptyClassNotes.push_back(text);
    };
    for (int s = 1; s <= def.NrClasses; ++s) {
      note(t.hasPresences, t.presences, s, "presences");
      note(t.hasAbsences, t.absences, s, "absences");
    }
    t.significant = (t.hasPresences && Significant(t.presences.test)) || (t.hasAbsences && Significant(t.absences.test));
    if (!t.significant) {
      summary += t.grid + ": observed versus expected frequencies of occurrence/absence do not significantly differ.\n";
    }
    result.tests.push_back(std::move(t));
  }
  ShowAuditTables(result, tables);
  LogLines(shell, AuditTestLines(result));

  shell.status2("3: Reporting");
  if (!result.configured) {
    shell.message("No dataconfiguration defined!\nRestart or import configuration file first.");
  } else {
    result.summary = summary.empty()
                         ? "All grids have significant Chi-squared values, and do\nexplain some of the variation in presence and/or absence."
                         : summary + "\nConsider redefining the classes or skip the variable.";
    if (!ws.QuietAudit) shell.message(result.summary, MessageKind::Information);
    shell.log(result.summary);
  }
  shell.status2("(Idle)");
  shell.gaugeProgress(0);
  return result;
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
