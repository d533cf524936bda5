// Import, alignment and GeoTIFF export of rasters through GDAL.
#include "gis/raster.h"
#include "gis/rastermodule.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <gdal_rat.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/filecheck.h"
#include "core/gridfile.h"
#include "core/limits.h"
#include "core/numfmt.h"
#include "core/projection.h"
#include "core/runcontext.h"
#include "core/shell.h"
#include "core/textwriter.h"
#include "render/maprender.h"

namespace karvelo::gis {

namespace fs = std::filesystem;

namespace {

// Drivers that fetch from the network: a raster file that points one of them at a service (a
// service description, a catalogue of remote tiles) would have Karvelo read from elsewhere.
constexpr const char* kNetworkDrivers =
    "WMS WMTS WCS HTTP DAAS EEDA EEDAI PLMOSAIC OGCAPI STACIT STACTA NGW ESRIC";

void InitGdal() {
  static std::once_flag once;
  std::call_once(once, [] {
    // GDAL's own warnings would interleave with Karvelo's messages; its errors are read back
    // with CPLGetLastErrorMsg and reported naming the file.
    CPLSetErrorHandler(CPLQuietErrorHandler);
    CPLSetConfigOption("GDAL_SKIP", kNetworkDrivers);
    CPLSetConfigOption("GDAL_VRT_ENABLE_PYTHON", "NO");
    GDALAllRegister();
    // GDAL's default block cache is a share of the machine's memory; a raster that declares far
    // more cells than it holds would fill it.
    GDALSetCacheMax64(static_cast<GIntBig>(256) << 20);
  });
}

std::string LastGdalError() {
  const std::string text = CPLGetLastErrorMsg();
  return text.empty() ? "unknown reason" : text;
}

// Reports the fraction done to the program and turns its stop into Cancelled; GDAL's loops call
// it through Gdal(), which makes them return early when the program asks to stop.
class Ticker {
 public:
  explicit Ticker(const work::Progress& progress) : progress_(progress) {}
  // Throws Cancelled when the program asked to stop (or GDAL was stopped through Gdal()).
  void At(double fraction) {
    if (stopped_ || (progress_ && !progress_(base_ + span_ * fraction))) {
      stopped_ = true;
      throw Cancelled();
    }
  }
  // The part [base, base + span) of the whole that the next GDAL call covers.
  void Part(double base, double span) { base_ = base, span_ = span; }
  bool Stopped() const { return stopped_; }
  static int CPL_STDCALL Gdal(double fraction, const char*, void* self) {
    auto* t = static_cast<Ticker*>(self);
    if (t->stopped_) return FALSE;
    if (t->progress_ && !t->progress_(t->base_ + t->span_ * fraction)) t->stopped_ = true;
    return t->stopped_ ? FALSE : TRUE;
  }

 private:
  const work::Progress& progress_;
  double base_ = 0, span_ = 1;
  bool stopped_ = false;
};

// A path GDAL would read through one of its virtual file systems (network, archives, memory) or
// hand to a driver as a connection string: none of them is a local file of the user's.
bool IsVirtualPath(const std::string& path) {
  return path.rfind("/vsi", 0) == 0 || path.find("://") != std::string::npos;
}

bool StartsAsVrt(const fs::path& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char head[1024];
  const std::size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  return std::string(head, n).find("<VRTDataset") != std::string::npos;
}

struct XmlCloser {
  void operator()(CPLXMLNode* n) const { CPLDestroyXMLNode(n); }
};

void CheckVrtSources(const fs::path& vrt, int depth);

// One source a VRT names: a local regular file, and, behind a raw band (which reads a file's bytes
// as cells whatever the file is), one GDAL knows as a raster.
void CheckVrtSource(const fs::path& vrt, const CPLXMLNode* node, bool rawBand, int depth) {
  const std::string name = CPLGetXMLValue(node, nullptr, "");
  if (IsVirtualPath(name)) {
    ThrowFileError(vrt, "reads from a network or virtual path (" + name + "); Karvelo reads only local files");
  }
  fs::path file = name;
  if (std::string(CPLGetXMLValue(node, "relativeToVRT", "0")) == "1") file = vrt.parent_path() / file;
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) {
    RequireRegularFile(file);
    ThrowFileError(vrt, "its source " + name + " is no file that can be read");
  }
  if (rawBand) {
    InitGdal();
    CPLErrorReset();
    if (!GDALIdentifyDriver(file.c_str(), nullptr)) {
      ThrowFileError(vrt, "a raw band reads the bytes of " + name + ", which is no raster; only rasters are read");
    }
  }
  if (StartsAsVrt(file)) CheckVrtSources(file, depth + 1);
}

void WalkVrt(const fs::path& vrt, const CPLXMLNode* node, bool rawBand, int depth) {
  for (; node; node = node->psNext) {
    if (node->eType != CXT_Element) continue;
    const std::string element = node->pszValue;
    if (element == "SourceFilename" || element == "SourceDataset") {
      CheckVrtSource(vrt, node, rawBand, depth);
      continue;
    }
    const bool raw = element == "VRTRasterBand" && std::string(CPLGetXMLValue(node, "subClass", "")) == "VRTRawRasterBand";
    WalkVrt(vrt, node->psChild, rawBand || raw, depth);
  }
}

// Refuses a VRT before GDAL opens it, since opening already reaches for its sources.
void CheckVrtSources(const fs::path& vrt, int depth) {
  if (depth > 8) ThrowFileError(vrt, "the VRT files refer to each other more than 8 deep");
  CPLErrorReset();
  std::unique_ptr<CPLXMLNode, XmlCloser> tree(CPLParseXMLFile(vrt.c_str()));
  if (!tree) ThrowFileError(vrt, "GDAL cannot read the VRT file: " + LastGdalError());
  WalkVrt(vrt, tree.get(), false, depth);
}

struct DatasetCloser {
  void operator()(void* ds) const {
    if (ds) GDALClose(static_cast<GDALDatasetH>(ds));
  }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

GDALDatasetH H(const Dataset& d) { return static_cast<GDALDatasetH>(d.get()); }

// Every file GDAL reads for the dataset: the raster, its world file, .aux.xml, .prj, overviews,
// a VRT's sources.
std::vector<fs::path> FilesOf(GDALDatasetH ds, const fs::path& path) {
  std::vector<fs::path> files{path};
  char** list = GDALGetFileList(ds);
  for (char** f = list; f && *f; ++f) files.emplace_back(*f);
  CSLDestroy(list);
  return files;
}

Dataset OpenRaster(const fs::path& path) {
  // A FIFO would block the open until some program writes to it.
  RequireRegularFile(path);
  // A missing or unreadable file gets the system's reason, as the grid reader gives it.
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    std::fclose(f);
  } else {
    ThrowSystemFileError(path, "cannot open the file");
  }
  InitGdal();
  if (StartsAsVrt(path)) CheckVrtSources(path, 0);
  CPLErrorReset();
  GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR, nullptr,
                               nullptr, nullptr);
  if (!ds) ThrowFileError(path, "GDAL cannot open the file as a raster: " + LastGdalError());
  Dataset opened(ds);
  for (const fs::path& f : FilesOf(ds, path)) {
    if (IsVirtualPath(f.string())) {
      ThrowFileError(path, "reads from a network or virtual path (" + f.string() + "); Karvelo reads only local files");
    }
  }
  return opened;
}

// Refuses before anything is written when an output is one of the files read.
void CheckNotInput(const std::vector<fs::path>& outputs, const std::vector<fs::path>& inputs) {
  for (const fs::path& out : outputs) {
    for (const fs::path& in : inputs) {
      if (SameFile(out, in)) throw FileError(OutputIsInputMessage(out));
    }
  }
}

// A grid named like its own projection file would be written over by it.
void CheckNotProjectionName(const fs::path& output) {
  if (ProjectionFileOf(output) == output) {
    ThrowFileError(output, "a grid cannot take the name of its projection file (.prj); choose another name");
  }
}

// The corner and cell sizes of a raster, refused when no grid header could hold them.
void CheckGeoreferencing(const fs::path& source, const double gt[6]) {
  for (int i = 0; i < 6; ++i) {
    if (!std::isfinite(gt[i])) {
      ThrowFileError(source, "the georeferencing is not finite (corner " + FormatShortest(gt[0]) + ", " +
                                 FormatShortest(gt[3]) + ", cell size " + FormatShortest(gt[1]) + " by " +
                                 FormatShortest(gt[5]) + ")");
    }
  }
}

// Complex cells would lose their imaginary part when read as numbers.
void CheckRealBand(const fs::path& source, GDALRasterBandH band, int number) {
  if (GDALDataTypeIsComplex(GDALGetRasterDataType(band))) {
    ThrowFileError(source, "band " + std::to_string(number) + " holds complex numbers (" +
                               GDALGetDataTypeName(GDALGetRasterDataType(band)) + "); grids hold real numbers");
  }
}

bool Is64BitInteger(GDALDataType t) { return t == GDT_Int64 || t == GDT_UInt64; }

// The shortest fixed-point text that reads back as the value (as a float for float bands, so
// that a 32-bit 0.1 is written "0.1"); whole numbers get no decimals.
std::string CellText(double v, bool asFloat) {
  char buf[400];
  const auto res = asFloat ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v), std::chars_format::fixed)
                           : std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  return std::string(buf, res.ptr);
}

bool IsFloat32(GDALDataType t) { return t == GDT_Float32 || t == GDT_CFloat32; }

// What an OGR error code says, for the calls that fail without a message of GDAL's.
std::string OgrErrorText(OGRErr err) {
  switch (err) {
    case OGRERR_NOT_ENOUGH_DATA: return "the text ends too early";
    case OGRERR_NOT_ENOUGH_MEMORY: return "out of memory";
    case OGRERR_UNSUPPORTED_GEOMETRY_TYPE: return "unsupported geometry type";
    case OGRERR_UNSUPPORTED_OPERATION: return "unsupported operation";
    case OGRERR_CORRUPT_DATA: return "the text is no projection GDAL knows (corrupt data)";
    case OGRERR_UNSUPPORTED_SRS: return "GDAL does not support this projection";
    default: return "error " + std::to_string(err);
  }
}

// The projection as the text of a grid's .prj file; throws when GDAL cannot read it.
std::string PrjText(OGRSpatialReferenceH srs, const fs::path& file) {
  char* wkt = nullptr;
  const char* options[] = {"FORMAT=WKT1_ESRI", nullptr};
  CPLErrorReset();
  const OGRErr err = OSRExportToWktEx(srs, &wkt, options);
  if (err != OGRERR_NONE || !wkt || !*wkt) {
    CPLFree(wkt);
    const std::string gdal = CPLGetLastErrorMsg();
    ThrowFileError(file, "GDAL cannot read the projection: " +
                             (gdal.empty() ? std::string(err == OGRERR_NONE ? "it has no WKT form" : OgrErrorText(err)) : gdal));
  }
  std::string text(wkt);
  CPLFree(wkt);
  return text;
}

struct SrsCloser {
  void operator()(void* s) const {
    if (s) OSRRelease(static_cast<OGRSpatialReferenceH>(s));
  }
};
using Srs = std::unique_ptr<void, SrsCloser>;

// The projection of a .prj file, or nothing when there is no such file.
Srs ReadPrj(const fs::path& prj) {
  std::error_code ec;
  if (!fs::is_regular_file(prj, ec)) return nullptr;
  TDataDef file;
  file.FileName = prj.string();
  std::string text, line;
  {
    GridReader reader(file);
    while (reader.ReadTextLine(line)) text += Trimmed(line) + " ";
  }
  text = Trimmed(text);
  if (text.empty()) ThrowFileError(prj, "GDAL cannot read the projection: the file is empty");
  InitGdal();
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  CPLErrorReset();
  const OGRErr err = OSRSetFromUserInput(srs, text.c_str());
  if (err != OGRERR_NONE) {
    OSRRelease(srs);
    const std::string gdal = CPLGetLastErrorMsg();
    ThrowFileError(prj, "GDAL cannot read the projection: " + (gdal.empty() ? std::string(OgrErrorText(err)) : gdal));
  }
  return Srs(srs);
}

void CheckSize(const fs::path& file, long long cols, long long rows) {
  if (cols > MaxGridExtent || rows > MaxGridExtent) {
    ThrowFileError(file, "the grid would have " + std::to_string(cols) + " columns and " + std::to_string(rows) +
                             " rows; " + TooManyCellsMessage());
  }
}

// The header's numbers are written rounded: a corner or cell size they cannot hold closely enough
// (a fine cell in degrees, say) would misplace the grid, so that is refused rather than written.
void CheckHeaderPlacesCells(const fs::path& output, const TDataDef& intended) {
  // The header holds each number as FormatGeoref writes it: read those texts back as a reader would.
  auto asWritten = [](double v) { return ParseReal(FormatGeoref(v)).value_or(v); };
  const double tolerance = 0.01 * intended.cellsize;  // 1% of a cell anywhere on the grid
  const double extent = std::max(intended.ncols, intended.nrows);
  const double x = asWritten(intended.xllcorner), y = asWritten(intended.yllcorner), size = asWritten(intended.cellsize);
  if (std::fabs(x - intended.xllcorner) > tolerance || std::fabs(y - intended.yllcorner) > tolerance ||
      std::fabs(size - intended.cellsize) * extent > tolerance) {
    ThrowFileError(output, "the grid header cannot hold the corner and cell size closely enough (" +
                               FormatShortest(intended.xllcorner) + ", " + FormatShortest(intended.yllcorner) +
                               ", cell size " + FormatShortest(intended.cellsize) + " written as " +
                               FormatShortest(x) + ", " + FormatShortest(y) + ", " + FormatShortest(size) + "); the cells would be misplaced");
  }
}

// What the cells of a band may hold to be written as a grid Karvelo reads back as they were.
struct CellRules {
  fs::path source;              // named in refusals: the raster read
  bool wholeBeyond53 = false;   // a 64-bit integer band: values past 2^53 were rounded when read
  bool defaultNodata = false;   // the grid's no-data value is -9999 because the raster has none
  bool resampled = false;       // rows and columns are the reference grid's, not the raster's
};

[[noreturn]] void RefuseCell(const CellRules& rules, int row, int col, const std::string& what) {
  ThrowFileError(rules.source, std::string(rules.resampled ? "the resampled raster at" : "the cell at") + " row " +
                                   std::to_string(row + 1) + ", column " + std::to_string(col + 1) +
                                   (rules.resampled ? " of the reference grid" : "") + " " + what);
}

// Writes `rows` rows of cells (NaN cells and cells equal to `sourceNodata` become the grid's
// no-data value); returns the count of cells that are not no-data.
long long WriteCells(const double* cells, int firstRow, int rows, bool asFloat, const TDataDef& header,
                     const std::string& nodataText, std::optional<double> sourceNodata, const CellRules& rules,
                     TextWriter& out) {
  long long valid = 0;
  for (int r = 0; r < rows; ++r) {
    const double* row = cells + static_cast<std::size_t>(r) * static_cast<std::size_t>(header.ncols);
    for (int c = 0; c < header.ncols; ++c) {
      const double v = row[c];
      if (c) out.Write(' ');
      if (std::isnan(v) || (sourceNodata && v == *sourceNodata)) {
        out.Write(nodataText);
        continue;
      }
      if (std::isinf(v)) RefuseCell(rules, firstRow + r, c, "holds an infinite value, which a grid cannot hold");
      if (v == header.NODATA_value) {
        if (rules.defaultNodata) {
          RefuseCell(rules, firstRow + r, c, "holds " + CellText(v, false) +
                                                 ", the no-data value the grid gets because the raster has none; it would read as no-data");
        }
        out.Write(nodataText);
        continue;
      }
      if (rules.wholeBeyond53 && std::fabs(v) > 9007199254740992.0) {
        RefuseCell(rules, firstRow + r, c, "holds a whole number beyond 2^53, which a grid cannot keep exactly");
      }
      out.Write(CellText(v, asFloat));
      ++valid;
    }
    out.WriteLine();
  }
  return valid;
}

void WritePrj(const fs::path& prj, const std::string& wkt) {
  TextWriter out(prj);
  out.Write(wkt);
  out.Close();
}

// A write of GDAL's that failed: a full disk gets the system's words, not GDAL's internal text.
[[noreturn]] void ThrowGdalWriteError(const fs::path& output, int error) {
  struct statvfs fsInfo {};
  const bool full = error == ENOSPC || error == EDQUOT || error == EFBIG ||
                    (::statvfs(output.parent_path().empty() ? "." : output.parent_path().c_str(), &fsInfo) == 0 &&
                     fsInfo.f_bavail == 0);
  if (full) {
    errno = error == EDQUOT || error == EFBIG ? error : ENOSPC;
    ThrowSystemFileError(output, "cannot write the file");
  }
  ThrowFileError(output, "cannot write the GeoTIFF: " + LastGdalError());
}

std::uintmax_t SizeOf(const fs::path& file) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  return ec ? 0 : size;
}

}  // namespace

namespace work {

std::optional<std::string> Driver(const fs::path& path) {
  InitGdal();
  GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
  if (!ds) return std::nullopt;
  std::string name = GDALGetDriverShortName(GDALGetDatasetDriver(ds));
  GDALClose(ds);
  return name;
}

void Import(const fs::path& source, int bandNumber, const fs::path& output, const Progress& progress) {
  Ticker ticker(progress);
  const fs::path prj = ProjectionFileOf(output);
  CheckNotProjectionName(output);
  CheckNotInput({output, prj}, {source});
  Dataset ds = OpenRaster(source);
  CheckNotInput({output, prj}, FilesOf(H(ds), source));
  const int bands = GDALGetRasterCount(H(ds));
  if (bandNumber < 1 || bandNumber > bands) {
    ThrowFileError(source, "band " + std::to_string(bandNumber) + " is out of range (the raster has " +
                               std::to_string(bands) + (bands == 1 ? " band)" : " bands)"));
  }
  double gt[6];
  if (GDALGetGeoTransform(H(ds), gt) != CE_None) {
    ThrowFileError(source, "the raster has no georeferencing (no corner or cell size)");
  }
  CheckGeoreferencing(source, gt);
  const double xsize = std::hypot(gt[1], gt[4]), ysize = std::hypot(gt[2], gt[5]);
  if (gt[2] != 0 || gt[4] != 0) {
    ThrowFileError(source, "the raster is rotated (cell sizes " + FormatShortest(xsize) + " in x and " +
                               FormatShortest(ysize) + " in y); align it onto a reference grid instead");
  }
  if (gt[1] <= 0) {
    ThrowFileError(source, "the cell width is " + FormatShortest(gt[1]) +
                               " (columns run from east to west or do not advance); align it onto a reference grid instead");
  }
  if (gt[5] == 0) ThrowFileError(source, "the cell height is 0; the rows do not advance");
  if (std::fabs(gt[1] - std::fabs(gt[5])) > 1e-9 * gt[1]) {
    ThrowFileError(source, "the cells are not square (cell size " + FormatShortest(gt[1]) + " in x, " +
                               FormatShortest(std::fabs(gt[5])) + " in y); align it onto a reference grid instead");
  }
  TDataDef header;
  header.ncols = GDALGetRasterXSize(H(ds));
  header.nrows = GDALGetRasterYSize(H(ds));
  CheckSize(source, header.ncols, header.nrows);
  const bool southUp = gt[5] > 0;
  header.cellsize = gt[1];
  header.xllcorner = gt[0];
  header.yllcorner = southUp ? gt[3] : gt[3] + header.nrows * gt[5];
  if (!std::isfinite(header.yllcorner) || !std::isfinite(header.xllcorner + header.ncols * header.cellsize)) {
    ThrowFileError(source, "the raster's extent is beyond the range of numbers");
  }

  std::optional<std::string> wkt;
  if (OGRSpatialReferenceH srs = GDALGetSpatialRef(H(ds))) wkt = PrjText(srs, source);

  GDALRasterBandH band = GDALGetRasterBand(H(ds), bandNumber);
  CheckRealBand(source, band, bandNumber);
  int hasNodata = 0;
  const double nodata = GDALGetRasterNoDataValue(band, &hasNodata);
  if (hasNodata && std::isinf(nodata)) {
    ThrowFileError(source, "the no-data value is " + std::string(nodata > 0 ? "+" : "-") +
                               "infinity, which a grid header cannot hold");
  }
  std::optional<double> sourceNodata;
  if (hasNodata && !std::isnan(nodata)) sourceNodata = nodata;
  header.NODATA_value = sourceNodata ? *sourceNodata : -9999.0;
  const GDALDataType type = GDALGetRasterDataType(band);
  CellRules rules{source, Is64BitInteger(type), !sourceNodata, false};

  TextWriter out(output);
  CheckHeaderPlacesCells(output, header);
  const std::string nodataText = CellText(header.NODATA_value, false);
  WriteGridHeader(out, header, nodataText);
  std::vector<double> row(static_cast<std::size_t>(header.ncols));
  for (int r = 0; r < header.nrows; ++r) {
    ticker.At(static_cast<double>(r) / header.nrows);
    const int line = southUp ? header.nrows - 1 - r : r;
    CPLErrorReset();
    if (GDALRasterIO(band, GF_Read, 0, line, header.ncols, 1, row.data(), header.ncols, 1, GDT_Float64, 0, 0) !=
        CE_None) {
      ThrowFileError(source, "cannot read row " + std::to_string(line + 1) + " of the raster: " + LastGdalError());
    }
    WriteCells(row.data(), r, 1, IsFloat32(type), header, nodataText, sourceNodata, rules, out);
  }
  out.Close();
  if (wkt) {
    WritePrj(prj, *wkt);
  } else {
    RemoveOutput(prj);  // an earlier import's projection would describe another raster
  }
}

AlignOutcome Align(const fs::path& reference, const fs::path& source, const fs::path& output, Resampling method,
                   const Progress& progress) {
  Ticker ticker(progress);
  const fs::path refPrj = ProjectionFileOf(reference), outPrj = ProjectionFileOf(output);
  CheckNotProjectionName(output);
  CheckNotInput({output, outPrj}, {source, reference, refPrj});

  TDataDef ref;
  ref.FileName = reference.string();
  SilentShell quiet;
  if (!ReadHeader(ref, quiet)) ThrowFileError(reference, TooManyCellsMessage());
  if (ref.ncols < 1 || ref.nrows < 1 || !(ref.cellsize > 0)) {
    ThrowFileError(reference, "is not an ASCII grid (its header gives no columns, rows or cell size)");
  }
  const Srs refSrs = ReadPrj(refPrj);

  Dataset src = OpenRaster(source);
  CheckNotInput({output, outPrj}, FilesOf(H(src), source));
  const int bands = GDALGetRasterCount(H(src));
  if (bands < 1) ThrowFileError(source, "the raster has no band");
  GDALRasterBandH srcBand = GDALGetRasterBand(H(src), 1);
  CheckRealBand(source, srcBand, 1);
  double gt[6];
  if (GDALGetGeoTransform(H(src), gt) != CE_None) {
    ThrowFileError(source, "the raster has no georeferencing (no corner or cell size)");
  }
  CheckGeoreferencing(source, gt);
  OGRSpatialReferenceH srcSrs = GDALGetSpatialRef(H(src));
  if (srcSrs) PrjText(srcSrs, source);  // a projection GDAL cannot write out is one it cannot use

  AlignOutcome outcome;
  std::string targetWkt;
  if (refSrs && srcSrs) {
    char* wkt = nullptr;
    OSRExportToWkt(static_cast<OGRSpatialReferenceH>(refSrs.get()), &wkt);
    targetWkt = wkt ? wkt : "";
    CPLFree(wkt);
    outcome.reprojected = !OSRIsSame(static_cast<OGRSpatialReferenceH>(refSrs.get()), srcSrs);
  } else if (refSrs || srcSrs) {
    outcome.note = (srcSrs ? reference.filename().string() : source.filename().string()) +
                   " has no projection, so the raster was resampled in the reference grid's frame without "
                   "reprojection; reprojection needs a projection on both.";
    // Without a target projection GDAL would keep the source's; with only the reference's it
    // would have nothing to reproject from. Either way the coordinates are taken as they are.
  }

  TextWriter out(output);
  CheckHeaderPlacesCells(output, ref);
  const std::string nodataText = CellText(ref.NODATA_value, false);
  WriteGridHeader(out, ref, nodataText);
  const bool asFloat = method != Resampling::Bilinear && IsFloat32(GDALGetRasterDataType(srcBand));
  const CellRules rules{source, Is64BitInteger(GDALGetRasterDataType(srcBand)), false, true};
  // The reference's rows are warped a block at a time into memory: the block bounds what is held
  // (GDAL reads only the part of the raster under it), and a stop is heard within a block.
  const double xmin = ref.xllcorner, xmax = ref.xllcorner + ref.ncols * ref.cellsize;
  const double ymin = ref.yllcorner, ymax = ref.yllcorner + ref.nrows * ref.cellsize;
  const double rowHeight = (ymax - ymin) / ref.nrows;
  constexpr std::size_t kBlockBytes = std::size_t(16) << 20;
  const int blockRows = static_cast<int>(std::clamp<std::size_t>(
      kBlockBytes / (sizeof(double) * static_cast<std::size_t>(ref.ncols) * static_cast<std::size_t>(bands)), 1,
      static_cast<std::size_t>(ref.nrows)));
  const std::string resampling =
      method == Resampling::Nearest ? "near" : method == Resampling::Bilinear ? "bilinear" : "mode";
  std::vector<double> cells;
  long long valid = 0;
  for (int r0 = 0; r0 < ref.nrows; r0 += blockRows) {
    const int rows = std::min(blockRows, ref.nrows - r0);
    const double top = r0 == 0 ? ymax : ymax - r0 * rowHeight;
    const double bottom = r0 + rows == ref.nrows ? ymin : ymax - (r0 + rows) * rowHeight;
    std::vector<std::string> args = {"-of", "MEM", "-ot", "Float64", "-r", resampling, "-wm", "64",
                                     "-te", FormatShortest(xmin), FormatShortest(bottom), FormatShortest(xmax),
                                     FormatShortest(top), "-ts", std::to_string(ref.ncols), std::to_string(rows),
                                     "-dstnodata", FormatShortest(ref.NODATA_value)};
    if (!targetWkt.empty()) args.insert(args.end(), {"-t_srs", targetWkt});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    GDALWarpAppOptions* options = GDALWarpAppOptionsNew(argv.data(), nullptr);
    const double share = 0.9 * rows / ref.nrows, base = 0.9 * r0 / ref.nrows;
    ticker.Part(base, share);
    GDALWarpAppOptionsSetProgress(options, &Ticker::Gdal, &ticker);
    GDALDatasetH sources[] = {H(src)};
    int usageError = 0;
    CPLErrorReset();
    Dataset warped(GDALWarp("", nullptr, 1, sources, options, &usageError));
    GDALWarpAppOptionsFree(options);
    ticker.Part(0, 1);
    if (ticker.Stopped()) throw Cancelled();
    if (!warped) ThrowFileError(source, "GDAL cannot resample the raster: " + LastGdalError());
    cells.resize(static_cast<std::size_t>(ref.ncols) * static_cast<std::size_t>(rows));
    CPLErrorReset();
    if (GDALRasterIO(GDALGetRasterBand(H(warped), 1), GF_Read, 0, 0, ref.ncols, rows, cells.data(), ref.ncols, rows,
                     GDT_Float64, 0, 0) != CE_None) {
      ThrowFileError(source, "cannot read the resampled raster: " + LastGdalError());
    }
    valid += WriteCells(cells.data(), r0, rows, asFloat, ref, nodataText, std::nullopt, rules, out);
    ticker.At(base + share);
  }
  if (valid == 0) {
    ThrowFileError(source, "no cell of the raster falls on the reference grid " + reference.filename().string() +
                               (outcome.note.empty() ? std::string() : " (" + outcome.note + ")"));
  }
  out.Close();
  if (refSrs) {
    WritePrj(outPrj, PrjText(static_cast<OGRSpatialReferenceH>(refSrs.get()), refPrj));
  } else {
    RemoveOutput(outPrj);
  }
  return outcome;
}

void GeoTiff(const fs::path& grid, const fs::path& prj, const fs::path& output, const Progress& progress) {
  Ticker ticker(progress);
  const fs::path aux = output.string() + ".aux.xml";
  CheckNotInput({output, aux}, {grid, prj});
  TDataDef def;
  def.FileName = grid.string();
  SilentShell quiet;
  if (!ReadHeader(def, quiet)) ThrowFileError(grid, TooManyCellsMessage());
  if (def.ncols < 1 || def.nrows < 1 || !(def.cellsize > 0)) {
    ThrowFileError(grid, "is not an ASCII grid (its header gives no columns, rows or cell size)");
  }
  const Srs srs = ReadPrj(prj);

  InitGdal();
  GDALDriverH driver = GDALGetDriverByName("GTiff");
  if (!driver) ThrowFileError(output, "GDAL has no GeoTIFF driver");
  const char* createOptions[] = {"COMPRESS=DEFLATE", "PREDICTOR=3", nullptr};
  // GDAL writes under a temporary name beside the output (reserved, and removed unless the
  // GeoTIFF is complete); the finished file joins the step's results with its colour table.
  AtomicFile staged(output);
  const fs::path temp = staged.TemporaryPath();
  const fs::path tempAux = temp.string() + ".aux.xml";
  struct AuxRemover {
    const fs::path& file;
    bool keep = false;
    ~AuxRemover() {
      std::error_code ec;
      if (!keep) fs::remove(file, ec);
    }
  } auxRemover{tempAux};
  CPLErrorReset();
  Dataset ds(GDALCreate(driver, temp.c_str(), def.ncols, def.nrows, 1, GDT_Float64, const_cast<char**>(createOptions)));
  if (!ds) ThrowGdalWriteError(output, errno);
  double gt[6] = {def.xllcorner, def.cellsize, 0, def.yllcorner + def.nrows * def.cellsize, 0, -def.cellsize};
  GDALSetGeoTransform(H(ds), gt);
  if (srs) GDALSetSpatialRef(H(ds), static_cast<OGRSpatialReferenceH>(srs.get()));
  GDALRasterBandH band = GDALGetRasterBand(H(ds), 1);
  GDALSetRasterNoDataValue(band, def.NODATA_value);

  GridReader reader(def);
  reader.SkipHeader();
  std::vector<double> row(static_cast<std::size_t>(def.ncols));
  double lo = HUGE_VAL, hi = -HUGE_VAL, sum = 0, sum2 = 0;
  long long n = 0;
  for (int r = 0; r < def.nrows; ++r) {
    ticker.At(0.95 * r / def.nrows);
    for (int c = 0; c < def.ncols; ++c) {
      const double v = reader.ReadValue();
      row[static_cast<std::size_t>(c)] = v;
      if (v == def.NODATA_value) continue;
      lo = std::min(lo, v), hi = std::max(hi, v);
      sum += v, sum2 += v * v, ++n;
    }
    reader.ReadLine();
    errno = 0;
    CPLErrorReset();
    if (GDALRasterIO(band, GF_Write, 0, r, def.ncols, 1, row.data(), def.ncols, 1, GDT_Float64, 0, 0) != CE_None) {
      ThrowGdalWriteError(output, errno);
    }
  }
  if (n > 0) {
    const double mean = sum / static_cast<double>(n);
    GDALSetRasterStatistics(band, lo, hi, mean, std::sqrt(std::max(0.0, sum2 / static_cast<double>(n) - mean * mean)));
    // The pictures' ramp as a colour table of value ranges: 255 bins from the smallest to the
    // largest value, each the grey its middle value gets in the pictures.
    constexpr int kBins = 255;
    const double width = hi > lo ? (hi - lo) / kBins : 1.0;
    GDALRasterAttributeTableH rat = GDALCreateRasterAttributeTable();
    GDALRATCreateColumn(rat, "Red", GFT_Integer, GFU_Red);
    GDALRATCreateColumn(rat, "Green", GFT_Integer, GFU_Green);
    GDALRATCreateColumn(rat, "Blue", GFT_Integer, GFU_Blue);
    GDALRATSetRowCount(rat, kBins);
    GDALRATSetLinearBinning(rat, lo, width);
    GDALRATSetTableType(rat, GRTT_ATHEMATIC);
    for (int i = 0; i < kBins; ++i) {
      const Rgb grey = RampGrey(lo + (i + 0.5) * width, lo, hi);
      GDALRATSetValueAsInt(rat, i, 0, grey.r);
      GDALRATSetValueAsInt(rat, i, 1, grey.g);
      GDALRATSetValueAsInt(rat, i, 2, grey.b);
    }
    GDALSetDefaultRAT(band, rat);
    GDALDestroyRasterAttributeTable(rat);
  }
  errno = 0;
  CPLErrorReset();
  GDALClose(static_cast<GDALDatasetH>(ds.release()));
  if (CPLGetLastErrorType() >= CE_Failure) ThrowGdalWriteError(output, errno);
  // GDAL wrote past the run's write limit (set to fill the disk in tests) as on a full disk.
  const std::uintmax_t written = SizeOf(temp) + SizeOf(tempAux);
  if (WriteAllowance(static_cast<std::size_t>(written)) < written) {
    errno = ENOSPC;
    ThrowSystemFileError(output, "cannot write the file");
  }
  ticker.At(1.0);
  // The colours first, so that the GeoTIFF never appears beside another one's table.
  std::error_code ec;
  if (fs::exists(tempAux, ec)) {
    StageFinishedFile(aux, tempAux);
    auxRemover.keep = true;
  } else {
    RemoveOutput(aux);
  }
  staged.Commit();
}

}  // namespace work
}  // namespace karvelo::gis
