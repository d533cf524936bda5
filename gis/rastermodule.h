// The boundary between the programs and the loadable raster module (libkarvelo-gis.so).
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/atomicfile.h"
#include "gis/raster.h"

namespace karvelo::gis {

// GDAL and the hundred libraries behind it cost every run some 27 MB and a tenth of a second to
// load, so they live in a module that is loaded the first time a raster is imported, aligned or
// written. The module and the programs are built together: the handshake (the table's version,
// its size and the build's id, made anew by every configuration of the build) refuses a module of
// another build before any of its functions is called. Errors do not cross the boundary as
// exceptions.

// What the program lends a call: its gauge and stop flag, and its write limit (the module's copy
// of the file code would otherwise keep a limit of its own).
struct RasterCall {
  std::function<bool(double)> progress;  // the fraction done; false: stop now. May be empty.
  std::size_t (*writeAllowance)(std::size_t) = nullptr;
};

// What a call did. The module puts nothing in place: its finished files come back under their
// temporary names, for the program's stage to commit with the step's other results.
struct RasterResult {
  std::string error;  // the message; empty on success
  bool cancelled = false;
  bool outOfMemory = false;
  std::vector<ResultStage::File> files;
  AlignOutcome outcome;
};

struct RasterModuleTable {
  // The handshake. The version stays the first member in every version of the table, so that a
  // program can read it from any module before trusting the rest.
  int version;
  std::size_t size;      // sizeof(RasterModuleTable) as the module was built
  const char* buildId;   // KARVELO_BUILD_ID of the module's build
  std::optional<std::string> (*rasterDriver)(const std::filesystem::path& path);
  RasterResult (*importRaster)(const RasterCall& call, const std::filesystem::path& source, int band,
                               const std::filesystem::path& output);
  RasterResult (*alignRaster)(const RasterCall& call, const std::filesystem::path& reference,
                              const std::filesystem::path& source, const std::filesystem::path& output,
                              Resampling method);
  RasterResult (*writeGeoTiff)(const RasterCall& call, const std::filesystem::path& grid,
                               const std::filesystem::path& prj, const std::filesystem::path& output);
};

inline constexpr int kRasterModuleVersion = 4;
inline constexpr const char* kRasterModuleBuildId = KARVELO_BUILD_ID;
inline constexpr const char* kRasterModuleFile = "libkarvelo-gis.so";
inline constexpr const char* kRasterModuleEntry = "karvelo_raster_module";

// The module's own side, in raster.cpp: the steps themselves, writing through the module's stage.
namespace work {
using Progress = std::function<bool(double)>;
std::optional<std::string> Driver(const std::filesystem::path& path);
void Import(const std::filesystem::path& source, int band, const std::filesystem::path& output, const Progress& progress);
AlignOutcome Align(const std::filesystem::path& reference, const std::filesystem::path& source,
                   const std::filesystem::path& output, Resampling method, const Progress& progress);
void GeoTiff(const std::filesystem::path& grid, const std::filesystem::path& prj, const std::filesystem::path& output,
             const Progress& progress);
}  // namespace work

}  // namespace karvelo::gis
