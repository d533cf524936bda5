// The data configuration table of tab 1: its rows mirror the workspace slots one to one.
#pragma once

#include <optional>
#include <string>

#include "core/gridfile.h"
#include "core/textgrid.h"
#include "core/workspace.h"

namespace karvelo {

class Canvas;

// Writes def into table row rowcount - 1 (the caller passes the row count after adding the row).
void FillRow(TextGrid& table, int rowcount, const TDataDef& def);

// "Error: >10 data files attached."
std::string TooManyFilesMessage();

// Picking a grid on tab 1: reads the header (status "1: Reading file header"), and when it is
// accepted clears the classes, scans (status "2: Scanning file") and, given a canvas, draws the
// preview (status "3: Drawing map"). Returns the scan, or nothing when the grid is too large.
// The caller shows "(idle)" afterwards.
std::optional<ScanResult> PickGridFile(Workspace& ws, const std::string& path, bool asciiGrid, Shell& shell,
                                       Canvas* preview, bool refreshAfterScan = true);

// Marks the value shown in the unique-value list as presence (or absence) indicator of the
// working record. `shownText` is the list's text, `selected` the index of the selected entry (or
// -1 when the user typed the number). Shows "Select a value first!" and returns false when the
// text is not a number. The marked entry leaves the list; an emptied list reads "(empty)" in
// yellow and disables both indicator buttons (indicatorsEnabled false).
bool MarkIndicator(Workspace& ws, ScanResult& list, const std::string& shownText, int selected, bool presence,
                   Shell& shell);

// Classifying takes any indicator away: a classified grid is never an observation grid.
void ClearIndicators(TDataDef& def);

// Adds the working record as the next slot and table row. Shows the "Error: >" message and
// returns false when the configuration is full.
bool SubmitCurrentDataDef(Workspace& ws, TextGrid& table, Shell& shell);

// Makes def describe the grid `path` (a copy of def's grid on another cell geometry, an aligned
// copy say): file name, extent, cell size and no-data value come from the new grid's header;
// range, classes and indicators stay, an indicator that stood for no-data follows the new no-data
// value. Returns false after the size message when the grid is too large.
bool AdoptGrid(TDataDef& def, const std::string& path, Shell& shell);
// AdoptGrid for the entry in `slot`, with its table row.
bool ReplaceGrid(Workspace& ws, TextGrid& table, int slot, const std::string& path, Shell& shell);

// Deletes table row `row` (1-based) and its slot; later rows and slots move up.
void DeleteConfigurationRow(Workspace& ws, TextGrid& table, int row);

// Saving needs a presence grid and a classified grid (NrClasses > 0) in the configuration.
bool ConfigurationCanBeSaved(const Workspace& ws);

}  // namespace karvelo
