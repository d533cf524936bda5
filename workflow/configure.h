// The configuration steps of a run: picking grids and giving them roles, saving and loading.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "config/configfile.h"
#include "config/proposals.h"
#include "core/canvas.h"
#include "core/gridfile.h"
#include "workflow/session.h"

namespace karvelo {

// One grid of a configuration as the command line gives it (tab 1's choices for one grid).
struct ConfigEntry {
  bool observation = false;
  std::string path;
  std::optional<std::string> presence, absence;  // indicator texts, as typed
  int classes = 8;
  std::vector<std::string> bounds;               // explicit bounds b1..bn+1, as typed
  Proposal proposal = Proposal::RoundedSteps;    // for proposed bounds
};

// Picking a grid on tab 1 (or `info`): its header and range read into the working record, and
// the preview drawn when a canvas is given. Nothing when it is too large (after the message).
std::optional<ScanResult> PickGrid(Session& session, const std::string& path, bool asciiGrid, Canvas* preview);

// One entry as tab 1's buttons make it: picked, marked or classified, then added. False after a message.
bool AddEntry(Session& session, const ConfigEntry& entry);

// Tab 1 from start to "Check consistency and save data configuration to file": every entry added,
// the configuration checked and saved to `output`. Nothing after a message.
std::optional<ConfigFileView> Configure(Session& session, const std::vector<ConfigEntry>& entries,
                                        const std::filesystem::path& output);

// The consistency check before a save: true when every grid shares the reference grid's extent and
// cell size. When they differ and `offerAlignment`, the message offers the alignment; accepted,
// aligned copies replace the grids that differ (AlignToReference) and the check is made again.
bool CheckConfiguration(Session& session, bool offerAlignment);

// Aligned copies (nearest neighbour: classes and indicators are values of the grid) of every grid
// whose cells differ from the reference grid's, written into the working folder as
// "<name>-aligned.asc" and put in their slots; the notes of the alignment, shown once.
void AlignToReference(Session& session);

// "Check consistency and save data configuration to file" once its name is chosen.
ConfigFileView SaveConfigurationAs(Session& session, const std::filesystem::path& path);

// "a. Load existing configuration file": the configuration replaced, the table rebuilt. Throws
// FileError with everything as it was.
ConfigFileView LoadConfigurationFile(Session& session, const std::filesystem::path& path);

}  // namespace karvelo
