// Testing the classes against an even split and showing the result as the class test table.
#include "mapping/classtest.h"

#include "core/numfmt.h"
#include "core/runtables.h"
#include "mapping/bayesmap.h"
#include "mapping/uncertainty.h"
#include "stats/statstext.h"

namespace karvelo {

std::vector<ClassTestRow> TestClasses(Workspace& ws, const std::function<std::pair<double, double>(int, int)>& shown) {
  std::vector<ClassTestRow> rows;
  std::size_t n = 0;  // the row of FrequencyCounts: classified grids in slot and class order
  for (int e = 1; e <= ws.DataDefCount; ++e) {
    const TDataDef& def = ws.DataDef(e);
    if (def.NrClasses < 2) continue;
    for (int k = 1; k <= def.NrClasses; ++k) {
      const auto& counts = ws.FrequencyCounts[n++];
      ClassTestRow row;
      row.entry = e;
      row.klasse = k;
      row.grid = FileNameOf(def.FileName);
      row.chi2 = EvenSplitTest(counts.presences, counts.absences);
      std::tie(row.cpP, row.cpA) = shown(e, k);
      ws.ClassChi2[static_cast<std::size_t>(e)][static_cast<std::size_t>(k)] = row.chi2.value;
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

void ShowClassTests(const std::vector<ClassTestRow>& rows, TextGrid& table, Shell& shell, bool bootstrap) {
  table.SetRowCount(1);
  for (const ClassTestRow& r : rows) {
    const int at = table.RowCount();
    table.SetRowCount(at + 1);
    table.SetRow(at, {r.grid, std::to_string(r.klasse), CPText(r.cpP), CPText(r.cpA), Chi2SignText(r.chi2)});
  }
  table.fixedRows = 1;
  shell.log("");
  shell.log("Chi-squared testing: are condtional probabilities abs/pres different? ");
  for (int r = 0; r < table.RowCount(); ++r) shell.log(LogRow(table, r));
  shell.log("*=at 95%; **=at 99% confidence; NS=Not significant.");
  if (bootstrap) shell.log(kBootstrapCaption);
  shell.log("Non-significant diffences between CP-P and CP-A/random = replacement by \"1\" in Bayesian mapping.");
  shell.log("");
}

}  // namespace karvelo
