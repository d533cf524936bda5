// The demo: the whole workflow on the example data that ships with Karvelo, with a summary.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>

#include "workflow/session.h"

namespace karvelo {

// The folder of the example grids: $KARVELO_EXAMPLES, share/karvelo/examples/meuse of the installed
// program, or examples/meuse beside or above the program. Nothing when none holds the grids.
std::optional<std::filesystem::path> FindExampleData();

// Copies the example data into the working directory, builds the configuration, audits it, runs
// the uncertainty map and the plain map, validates "BayesP.asc" with the example points, and
// prints a summary. Returns the exit status. The caller has checked the folder with
// DemoFolderRefusal before writing anything there.
int RunDemo(Session& session, std::ostream& out);
// Why the demo must not run in `folder` (it holds a file no earlier demo made), or nothing. Checked
// before the run writes anything there, its log included.
std::optional<std::string> DemoFolderRefusal(const std::filesystem::path& folder);
// Records what the demo left in `folder` (names and checksums), so that a later demo knows its own
// files from a user's. Called after the run's log is written. Throws FileError.
void WriteDemoRecord(const std::filesystem::path& folder);

}  // namespace karvelo
