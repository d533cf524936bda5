// Rasters of any format GDAL reads: import as ASCII grids, alignment onto a reference grid, GeoTIFF export.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The only part of Karvelo that knows GDAL; the engine reads and writes ASCII grids alone.
namespace karvelo {
class Shell;
}

namespace karvelo::gis {

// The short name of the GDAL driver that opens path ("GTiff", "AAIGrid", ...), or nothing when
// GDAL cannot open it as a raster.
std::optional<std::string> RasterDriver(const std::filesystem::path& path);

// True when the driver reads ASCII grids (those need no import).
bool IsAsciiGridDriver(const std::string& driver);

// True when both paths name one existing file (same device and inode).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// The steps below write their files together: into the running step's results when a stage is
// open, else put in place at once, grid and projection (GeoTIFF and colour table) as one. With a
// `shell` they move its gauge and stop (Cancelled, nothing written) when its run is asked to stop.

// Writes band `band` (1-based) of raster `source` as the ASCII grid `output`, and the projection
// as `output` with ".prj" when the raster has one. Cells keep their values as read (whole numbers
// without decimals); the no-data value is the band's, else -9999. Throws FileError naming the
// file (nothing is written): unreadable raster, band out of range, non-square or rotated cells,
// more than 10000 columns or rows, an unreadable projection, an output that is a file the raster
// is read from, cells or georeferencing that an ASCII grid cannot hold.
void ImportRaster(const std::filesystem::path& source, int band, const std::filesystem::path& output,
                  Shell* shell = nullptr);

enum class Resampling { Nearest, Bilinear, Mode };
// "near", "bilinear", "mode" -> the method; nothing for another name.
std::optional<Resampling> ResamplingNamed(const std::string& name);

// What an alignment did besides writing: a note for the user when it could not reproject.
struct AlignOutcome {
  bool reprojected = false;
  std::string note;  // empty, or why the raster was resampled in the reference's frame as it is
};

// Resamples band 1 of `source` onto the reference ASCII grid's extent, cell size and no-data
// value and writes it as `output` (the reference's header; its .prj beside when it has one).
// Reprojects when both carry a projection. Throws FileError as ImportRaster does, and when the
// raster does not overlap the reference grid at all.
AlignOutcome AlignRaster(const std::filesystem::path& reference, const std::filesystem::path& source,
                         const std::filesystem::path& output, Resampling method, Shell* shell = nullptr);

// Writes the ASCII grid `grid` as a DEFLATE-compressed GeoTIFF with the values as 64-bit reals,
// the grid's no-data value, the projection of the .prj beside it (when there is one), and a grey
// ramp over the valid values that matches the map pictures (dark = high), kept as the band's
// colour table of value ranges. Throws FileError naming the file.
void WriteGeoTiff(const std::filesystem::path& grid, const std::filesystem::path& output, Shell* shell = nullptr);

}  // namespace karvelo::gis
