// The data configuration table and the handlers of tab 1 that change it.
#include "config/configtable.h"

#include <algorithm>

#include "core/numfmt.h"
#include "render/maprender.h"

namespace karvelo {

void FillRow(TextGrid& table, int rowcount, const TDataDef& def) {
  const int row = rowcount - 1;
  table.SetCell(0, row, def.FileName);
  table.SetCell(1, row, def.GridFileType == TGridFileType::asciigrid ? "ascii grid" : "not a grid");
  table.SetCell(2, row, std::to_string(def.ncols));
  table.SetCell(3, row, std::to_string(def.nrows));
  table.SetCell(4, row, FormatFixed(def.xllcorner, 3));
  table.SetCell(5, row, FormatFixed(def.yllcorner, 3));
  table.SetCell(6, row, FormatFixed(def.cellsize, 3));
  table.SetCell(7, row, FormatFixed(def.NODATA_value, 3));
  table.SetCell(8, row, std::to_string(def.NrClasses));
  table.SetCell(9, row, FormatFixed(def.PositiveIndicatorValue, 3));
  table.SetCell(10, row, FormatFixed(def.NegativeIndicatorValue, 3));
}

bool AdoptGrid(TDataDef& def, const std::string& path, Shell& shell) {
  TDataDef adopted = def;
  adopted.FileName = path;
  if (!ReadHeader(adopted, shell)) return false;  // both indicators now stand for its no-data value
  if (def.IsPresenceGrid()) adopted.PositiveIndicatorValue = def.PositiveIndicatorValue;
  if (def.IsAbsenceGrid()) adopted.NegativeIndicatorValue = def.NegativeIndicatorValue;
  def = adopted;
  return true;
}

bool ReplaceGrid(Workspace& ws, TextGrid& table, int slot, const std::string& path, Shell& shell) {
  if (!AdoptGrid(ws.DataDef(slot), path, shell)) return false;
  FillRow(table, slot + 1, ws.DataDef(slot));
  return true;
}

std::string TooManyFilesMessage() { return "Error: >" + std::to_string(MaxDataFiles) + " data files attached."; }

std::optional<ScanResult> PickGridFile(Workspace& ws, const std::string& path, bool asciiGrid, Shell& shell,
                                       Canvas* preview, bool refreshAfterScan) {
  TDataDef& def = ws.CurrentDataDef;
  def.FileName = path;
  def.GridFileType = asciiGrid ? TGridFileType::asciigrid : TGridFileType::notgrid;
  shell.status2("1: Reading file header");
  if (!ReadHeader(def, shell)) return std::nullopt;
  def.NrClasses = 0;
  shell.status2("2: Scanning file");
  ScanResult scan = ScanData(def, shell);
  if (refreshAfterScan) shell.refresh();
  if (preview) {
    shell.status2("3: Drawing map");
    DrawDataMap(def, *preview, shell);
  }
  return scan;
}

namespace {

// Why v cannot mark presences (or absences) in def, or nothing when it can. The scan's values
// answer whether a cell holds v; only a grid whose values the scan did not keep is read again.
std::optional<std::string> IndicatorProblem(const TDataDef& def, const ScanResult& scan, double v, bool presence,
                                            Shell& shell) {
  const std::string& grid = def.FileName;
  const char* what = presence ? "presences" : "absences";
  if (def.GridFileType == TGridFileType::notgrid) {
    return grid + ": the file is not a grid, so it cannot mark " + what + ".";
  }
  if (v == def.NODATA_value) {
    return grid + ": " + FormatShortest(v) + " is the grid's no-data value, so it cannot mark " + what + ".";
  }
  const double other = presence ? def.NegativeIndicatorValue : def.PositiveIndicatorValue;
  if (other != def.NODATA_value && other == v) {
    return grid + ": " + FormatShortest(v) + " marks " + (presence ? "absences" : "presences") + " already; " + what +
           " need a value of their own.";
  }
  const bool held = scan.valuesComplete ? std::find(scan.values.begin(), scan.values.end(), v) != scan.values.end()
                                        : GridHoldsValue(def, v, shell);
  if (!held) return ValueNotInGridMessage(grid, v, presence);
  return std::nullopt;
}

}  // namespace

bool MarkIndicator(Workspace& ws, ScanResult& list, const std::string& shownText, int selected, bool presence,
                   Shell& shell) {
  // The list's text is converted whole, as a typed number would be; "3 items" or "(empty)" are not numbers.
  std::string text = shownText;
  while (!text.empty() && (text.front() == ' ')) text.erase(0, 1);
  while (!text.empty() && (text.back() == ' ')) text.pop_back();
  const auto value = ParseReal(text);
  if (!value) {
    shell.message("Select a value first!");
    return false;
  }
  if (const auto problem = IndicatorProblem(ws.CurrentDataDef, list, *value, presence, shell)) {
    shell.message(*problem);
    return false;
  }
  if (presence) {
    ws.CurrentDataDef.PositiveIndicatorValue = *value;
  } else {
    ws.CurrentDataDef.NegativeIndicatorValue = *value;
  }
  if (selected >= 0 && selected < static_cast<int>(list.unique.size())) {
    list.unique.erase(list.unique.begin() + selected);
  }
  if (list.unique.empty()) {
    list.listText = "(empty)";
    list.listColour = ListColour::Yellow;
    list.indicatorsEnabled = false;
  }
  return true;
}

void ClearIndicators(TDataDef& def) {
  def.NegativeIndicatorValue = def.NODATA_value;
  def.PositiveIndicatorValue = def.NODATA_value;
}

bool SubmitCurrentDataDef(Workspace& ws, TextGrid& table, Shell& shell) {
  if (ws.DataDefCount >= MaxDataFiles) {
    shell.message(TooManyFilesMessage());
    return false;
  }
  table.SetRowCount(ws.DataDefCount + 2);
  table.fixedRows = 1;
  FillRow(table, table.RowCount(), ws.CurrentDataDef);
  ws.AddDataDef(ws.CurrentDataDef);
  return true;
}

void DeleteConfigurationRow(Workspace& ws, TextGrid& table, int row) {
  if (row < 1 || row > ws.DataDefCount) return;
  for (int i = row; i < table.RowCount() - 1; ++i) table.SetRow(i, table.Row(i + 1));
  table.SetRowCount(table.RowCount() - 1);
  ws.DeleteDataDef(row);
}

bool ConfigurationCanBeSaved(const Workspace& ws) {
  bool classified = false;
  for (int i = 1; i <= ws.DataDefCount; ++i) classified = classified || ws.DataDef(i).NrClasses > 0;
  return ws.PresenceDefIndex > 0 && classified;
}

}  // namespace karvelo
