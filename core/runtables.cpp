// Header rows and column widths of the run's tables.
#include "core/runtables.h"

#include "core/numfmt.h"

namespace karvelo {

namespace {

void LayOut(TextGrid& t, const std::vector<std::pair<const char*, int>>& columns) {
  t.SetSize(static_cast<int>(columns.size()), 1);
  t.fixedRows = 1;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    t.SetCell(static_cast<int>(c), 0, columns[c].first);
    t.SetColWidth(static_cast<int>(c), columns[c].second);
  }
}

}  // namespace

void LayOutRunTables(RunTables& t) {
  t.Independence.clear();
  LayOut(t.DataConfiguration, {{"File Name", 250}, {"File type", 48}, {"ncols", 28}, {"nrows", 28}, {"xllcorner", 64},
                               {"yllcorner", 64}, {"cellsize", 40}, {"NoData", 48}, {"Classes", 40}, {"Positive", 40},
                               {"Negative", 48}});
  LayOut(t.Frequency, {{"Grid name", 92}, {"Class", 44}, {"Cell count", 60}, {"Presences", 60}, {"Absences", 60}});
  LayOut(t.Chi2, {{"Grid name", 92}, {"degr fr.", 44}, {"Chi2 presences", 90}, {"Chi2 absences", 90}});
  LayOut(t.Chi2a, {{"Grid name", 92}, {"Class", 44}, {"CP P", 40}, {"CP A", 40}, {"Chi2 + sign.", 80}});
  t.ValData.SetSize(4, 1);
  t.ValData.fixedRows = 0;
  for (int c = 0; c < 4; ++c) t.ValData.SetColWidth(c, 80);
  LayOut(t.BayesTable, {{"Grid Name", 92}, {"Class", 36}, {"Pres.(n)", 40}, {"CP P", 40}, {"Abs.(n)", 40}, {"CP A", 40},
                        {"Prior P", 40}});
}

std::string LogRow(const TextGrid& table, int row) {
  std::string line;
  for (int c = 0; c < table.ColCount(); ++c) line += frmt(table.Cell(c, row), 15);
  return line;
}

}  // namespace karvelo
