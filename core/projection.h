// The projection file (.prj) that travels with every grid Karvelo writes.
#pragma once

#include <filesystem>

#include "core/datadef.h"

namespace karvelo {

// "dir/name.asc" -> "dir/name.prj".
std::filesystem::path ProjectionFileOf(const std::filesystem::path& grid);

// Gives the result grid `grid` the reference grid's projection: its .prj copied beside `grid`
// byte for byte; when the reference has none, a .prj left there by an earlier run is removed, so
// that no result claims a projection it does not have.
void CopyProjection(const TDataDef& reference, const std::filesystem::path& grid);

}  // namespace karvelo
