// The raster steps of a run: importing one band of any raster as a grid, and aligning a raster to a
// reference grid; both report to the session and stop on its cancel.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "gis/raster.h"
#include "workflow/session.h"

namespace karvelo {

struct RasterResult {
  std::vector<std::filesystem::path> written;  // the grid, and its .prj when there is one
  bool reprojected = false;                    // an alignment that reprojected
  std::string note;                            // an alignment's note for the user (or empty)
};

// Band `band` of `source` written as the ASCII grid `target` (and its .prj), logged as
// "Imported band <n> of <source> as <target>". Throws FileError as gis::ImportRaster does.
RasterResult ImportRasterStep(Session& session, const std::filesystem::path& source, int band,
                              const std::filesystem::path& target);

// `source` resampled onto `reference`'s cells as `target`, logged as "Aligned <source> to <reference>
// as <target>" (with " (reprojected)"). The note is returned, not shown.
RasterResult AlignRasterStep(Session& session, const std::filesystem::path& reference, const std::filesystem::path& source,
                             const std::filesystem::path& target, gis::Resampling method);

}  // namespace karvelo
