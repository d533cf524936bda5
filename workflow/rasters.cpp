// Import and alignment as steps of a session.
#include "workflow/rasters.h"

#include "core/atomicfile.h"
#include "core/projection.h"

namespace karvelo {

namespace {

// The grid, and its projection when the step left one (a name given as the grid's own .prj is
// refused before anything is written, so the two differ).
std::vector<std::filesystem::path> GridAndProjection(const std::filesystem::path& target) {
  std::vector<std::filesystem::path> written = {target};
  const std::filesystem::path prj = ProjectionFileOf(target);
  if (prj != target && ExistsAfterCommit(prj)) written.push_back(prj);
  return written;
}

}  // namespace

RasterResult ImportRasterStep(Session& session, const std::filesystem::path& source, int band,
                              const std::filesystem::path& target) {
  Shell& shell = session.Reporter();
  gis::ImportRaster(source, band, target, &shell);
  shell.log("Imported band " + std::to_string(band) + " of " + source.string() + " as " + target.string());
  RasterResult result;
  result.written = GridAndProjection(target);
  return result;
}

RasterResult AlignRasterStep(Session& session, const std::filesystem::path& reference, const std::filesystem::path& source,
                             const std::filesystem::path& target, gis::Resampling method) {
  Shell& shell = session.Reporter();
  const gis::AlignOutcome outcome = gis::AlignRaster(reference, source, target, method, &shell);
  shell.log("Aligned " + source.string() + " to " + reference.string() + " as " + target.string() +
            (outcome.reprojected ? " (reprojected)" : ""));
  RasterResult result;
  result.written = GridAndProjection(target);
  result.reprojected = outcome.reprojected;
  result.note = outcome.note;
  return result;
}

}  // namespace karvelo
