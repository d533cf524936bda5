// The raster layer's helpers that need no GDAL: driver and method names, and file identity.
#include <sys/stat.h>

#include "gis/raster.h"

namespace karvelo::gis {

bool IsAsciiGridDriver(const std::string& driver) { return driver == "AAIGrid"; }

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::optional<Resampling> ResamplingNamed(const std::string& name) {
  if (name == "near") return Resampling::Nearest;
  if (name == "bilinear") return Resampling::Bilinear;
  if (name == "mode") return Resampling::Mode;
  return std::nullopt;
}

}  // namespace karvelo::gis
