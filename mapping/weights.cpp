// Weights of evidence per class, their table file and log block.
#include "mapping/weights.h"

#include <cmath>

#include "core/limits.h"
#include "core/numfmt.h"
#include "core/textwriter.h"

namespace karvelo {

ClassWeights WeightsOfClass(long long presences, long long absences, long long totalPresences, long long totalAbsences) {
  ClassWeights w;
  double p1 = static_cast<double>(presences), a1 = static_cast<double>(absences);
  double p0 = static_cast<double>(totalPresences - presences), a0 = static_cast<double>(totalAbsences - absences);
  // Counts that do not add up (a class beyond its grid's totals) are held at 0 and corrected like
  // any empty count rather than giving a log of a negative number.
  if (p0 < 0) p0 = 0;
  if (a0 < 0) a0 = 0;
  if (p1 <= 0 || a1 <= 0 || p0 <= 0 || a0 <= 0) {
    w.halfAdded = true;
    p1 = std::max(p1, 0.0) + 0.5;
    a1 = std::max(a1, 0.0) + 0.5;
    p0 += 0.5;
    a0 += 0.5;
  }
  const double np = p1 + p0, na = a1 + a0;
  w.wPlus = std::log((p1 / np) / (a1 / na));
  w.wMinus = std::log((p0 / np) / (a0 / na));
  w.sPlus = std::sqrt(1 / p1 + 1 / a1);
  w.sMinus = std::sqrt(1 / p0 + 1 / a0);
  w.contrast = w.wPlus - w.wMinus;
  w.sContrast = std::sqrt(w.sPlus * w.sPlus + w.sMinus * w.sMinus);
  w.studentized = w.contrast / w.sContrast;
  return w;
}

std::vector<WeightsRow> WeightsOfEvidence(const Workspace& ws) {
  std::vector<WeightsRow> rows;
  std::size_t n = 0;  // the row of FrequencyCounts
  for (int e = 1; e <= ws.DataDefCount; ++e) {
    const TDataDef& def = ws.DataDef(e);
    if (def.NrClasses < 2) continue;
    const std::size_t first = rows.size();
    long long np = 0, na = 0;
    for (int k = 1; k <= def.NrClasses && n < FrequencyRows; ++k, ++n) {
      const auto& counts = ws.FrequencyCounts[n];
      WeightsRow row;
      row.entry = e;
      row.klasse = k;
      row.grid = FileNameOf(def.FileName);
      if (k <= MaxClasses) {
        row.lower = def.mclasses[static_cast<std::size_t>(k - 1)][ClassLower];
        row.upper = def.mclasses[static_cast<std::size_t>(k - 1)][ClassUpper];
      }
      row.cells = counts.cells;
      row.presences = counts.presences;
      row.absences = counts.absences;
      np += counts.presences;
      na += counts.absences;
      rows.push_back(row);
    }
    for (std::size_t r = first; r < rows.size(); ++r) rows[r].w = WeightsOfClass(rows[r].presences, rows[r].absences, np, na);
  }
  return rows;
}

namespace {

// A field of the file: quoted when a comma, quote or line break would split it.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string Number(double v) { return FormatFixed(v, 4); }

}  // namespace

std::vector<std::string> WeightsColumns() {
  return {"Grid", "Class", "Lower", "Upper", "Cells", "Presences", "Absences", "W+", "s(W+)", "W-", "s(W-)", "C", "s(C)",
          "Studentized C", "Note"};
}

std::vector<std::string> WeightsCells(const WeightsRow& r) {
  const ClassWeights& w = r.w;
  return {r.grid,
          std::to_string(r.klasse),
          FormatShortest(r.lower),
          FormatShortest(r.upper),
          std::to_string(r.cells),
          std::to_string(r.presences),
          std::to_string(r.absences),
          Number(w.wPlus),
          Number(w.sPlus),
          Number(w.wMinus),
          Number(w.sMinus),
          Number(w.contrast),
          Number(w.sContrast),
          Number(w.studentized),
          w.halfAdded ? kHalfAddedNote : ""};
}

std::vector<std::string> WeightsCsvLines(const std::vector<WeightsRow>& rows) {
  auto join = [](const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + CsvField(fields[i]);
    return line;
  };
  std::vector<std::string> lines = {join(WeightsColumns())};
  for (const WeightsRow& r : rows) lines.push_back(join(WeightsCells(r)));
  return lines;
}

std::vector<std::string> WeightsLogLines(const std::vector<WeightsRow>& rows) {
  std::vector<std::string> lines = {std::string("Weights of evidence per class (") + kWeightsFile + ")",
                                    frmt("Grid", 16) + frmt("Class", 6) + frmt("Pres.", 7) + frmt("Abs.", 7) + frmt("W+", 9) +
                                        frmt("s(W+)", 8) + frmt("W-", 9) + frmt("s(W-)", 8) + frmt("C", 9) + frmt("s(C)", 8) +
                                        "Stud. C"};
  bool halfAdded = false;
  for (const WeightsRow& r : rows) {
    const ClassWeights& w = r.w;
    halfAdded |= w.halfAdded;
    lines.push_back(frmt(r.grid, 16) + frmt(std::to_string(r.klasse), 6) + frmt(std::to_string(r.presences), 7) +
                    frmt(std::to_string(r.absences), 7) + frmt(Number(w.wPlus), 9) + frmt(Number(w.sPlus), 8) +
                    frmt(Number(w.wMinus), 9) + frmt(Number(w.sMinus), 8) + frmt(Number(w.contrast), 9) + frmt(Number(w.sContrast), 8) +
                    FormatFixed(w.studentized, 2) + (w.halfAdded ? " +" : ""));
  }
  if (halfAdded) lines.push_back("+ a count was 0: 0.5 was added to each count of the class");
  return lines;
}

std::filesystem::path ReportWeightsOfEvidence(const std::vector<WeightsRow>& rows, Shell& shell) {
  const std::filesystem::path path = shell.run().Output(kWeightsFile);
  TextWriter out(path);
  for (const std::string& line : WeightsCsvLines(rows)) out.WriteLine(line);
  out.Close();
  shell.log("");
  for (const std::string& line : WeightsLogLines(rows)) shell.log(line);
  return path;
}

}  // namespace karvelo
