// The binary map of a threshold: 1 where the map reaches it, 0 below, no data where the map has none.
#pragma once

#include <filesystem>
#include <string>

#include "core/datadef.h"
#include "core/shell.h"

namespace karvelo {

// "Binary of <map's name without its extension>.asc".
std::string BinaryMapFileName(const std::string& mapFileName);

// Writes the binary map of `map` (its header read) at `threshold` to `out`: the map's header lines
// as they are, then per cell "1" (value >= threshold), "0", or the header's no-data text; the map's
// .prj beside it. Throws FileError for a map the grid reader refuses or a file that cannot be written.
void WriteBinaryMap(const TDataDef& map, double threshold, const std::filesystem::path& out, Shell& shell);

}  // namespace karvelo
