// The configuration file: the consistency check, the writer and the reader, and the save and load steps.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/datadef.h"
#include "core/shell.h"
#include "core/textgrid.h"
#include "core/workspace.h"

namespace karvelo {

// One line per field of grid's geometry that differs from reference's, with both values:
// "soil.asc: cellsize 10.00 differs from obs.asc: 40.00".
std::vector<std::string> ExtentDifferences(const TDataDef& grid, const TDataDef& reference);

// All entries share cell size, corner and extent; shows the matching message when they do not.
bool CheckConsistency(const Workspace& ws, Shell& shell);
// One line per grid and field that differs from the first grid, with both values:
// "soil.asc: cellsize 10.00 differs from obs.asc: 40.00".
std::vector<std::string> ConsistencyDifferences(const Workspace& ws);
// The same check, whose message also offers kAlignButton; *alignAsked tells whether it was pressed.
bool CheckConsistency(const Workspace& ws, Shell& shell, bool* alignAsked);
inline constexpr const char* kAlignButton = "Align to the reference grid";

// The slots (2..DataDefCount) of ASCII grids whose cell size, corner or extent differ from the
// reference grid's (slot 1): the grids an alignment would replace.
std::vector<int> SlotsOffReference(const Workspace& ws);
// The name an aligned copy of `grid` gets in `folder`: "<name>-aligned.asc".
std::filesystem::path AlignedGridName(const std::filesystem::path& folder, const std::string& grid);

// The block of lines of one entry, without line ends (13 + NrClasses lines).
std::vector<std::string> ConfigurationBlock(const TDataDef& def);
// Writes the blocks of slots 1..DataDefCount with CR LF line ends. Throws FileError.
void WriteConfigurationFile(const Workspace& ws, const std::filesystem::path& path);

// Reads every block of a configuration file. A line that does not hold what it must, or a file
// that ends inside a block, is a FileError naming the file and the line. Blocks after the tenth
// are not read: the "Error: >" message is shown once.
std::vector<TDataDef> ReadConfigurationFile(const std::filesystem::path& path, Shell& shell);

// The file's lines as they stand (CR LF or LF), for the memo and the log. With maxMiB, a file
// whose lines take more than that much memory is a FileError instead of being held whole.
std::vector<std::string> ReadTextLines(const std::filesystem::path& path, long long maxMiB = 0);

// The most a configuration file may hold: ten entries take a few kB, so anything near this is
// no configuration, and reading it whole (a file of empty lines takes 32 bytes per byte) would
// exhaust the memory.
inline constexpr long long MaxConfigurationMiB = 16;

// What the tab 2 side of the window shows after a save or a load.
struct ConfigFileView {
  std::string fileLabel;            // lblConfigFileName
  std::vector<std::string> memo;    // Memo1's lines
};

// The save step after the file name was chosen: writes the file, logs it and its lines. The
// caller checks consistency first and afterwards switches to tab 2 and calls Status(1).
ConfigFileView SaveConfiguration(const Workspace& ws, const std::filesystem::path& path, Shell& shell);

// The load step after the file name was chosen: reads the whole file first, and only when it
// reads cleanly replaces the configuration and rebuilds the table; then logs the separator, the
// date line, the "was loaded" line and the file's lines. Throws FileError (nothing changed).
ConfigFileView LoadConfiguration(Workspace& ws, TextGrid& table, const std::filesystem::path& path, Shell& shell);

}  // namespace karvelo
