// Import, alignment and GeoTIFF export of rasters through GDAL.
#include "gis/raster.h"

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
#include "core/shell.h"
#include "core/textwriter.h"
#include "render/maprender.h"

namespace karvelo::gis {

namespace fs = std::filesystem;

namespace {

void InitGdal() {
  static std::once_flag once;
  std::call_once(once, [] {
    GDALAllRegister();
    // GDAL's own warnings would interleave with Karvelo's messages; its errors are read back
    // with CPLGetLastErrorMsg and reported naming the file.
    CPLSetErrorHandler(CPLQuietErrorHandler);
  });
}

std::string LastGdalError() {
  const std::string text = CPLGetLastErrorMsg();
  return text.empty() ? "unknown reason" : text;
}

struct DatasetCloser {
  void operator()(void* ds) const {
    if (ds) GDALClose(static_cast<GDALDatasetH>(ds));
  }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

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
  CPLErrorReset();
  GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR, nullptr,
                               nullptr, nullptr);
  if (!ds) ThrowFileError(path, "GDAL cannot open the file as a raster: " + LastGdalError());
  return Dataset(ds);
}

GDALDatasetH H(const Dataset& d) { return static_cast<GDALDatasetH>(d.get()); }

// The shortest fixed-point text that reads back as the value (as a float for float bands, so
// that a 32-bit 0.1 is written "0.1"); whole numbers get no decimals.
std::string CellText(double v, bool asFloat) {
  char buf[400];
  const auto res = asFloat ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v), std::chars_format::fixed)
                           : std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  return std::string(buf, res.ptr);
}

bool IsFloat32(GDALDataType t) { return t == GDT_Float32 || t == GDT_CFloat32; }

// The projection as the text of a grid's .prj file; throws when GDAL cannot read it.
std::string PrjText(OGRSpatialReferenceH srs, const fs::path& file) {
  char* wkt = nullptr;
  const char* options[] = {"FORMAT=WKT1_ESRI", nullptr};
  CPLErrorReset();
  if (OSRExportToWktEx(srs, &wkt, options) != OGRERR_NONE || !wkt || !*wkt) {
    CPLFree(wkt);
    ThrowFileError(file, "GDAL cannot read the projection: " + LastGdalError());
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
  InitGdal();
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  CPLErrorReset();
  if (text.empty() || OSRSetFromUserInput(srs, text.c_str()) != OGRERR_NONE) {
    OSRRelease(srs);
    ThrowFileError(prj, "GDAL cannot read the projection: " + LastGdalError());
  }
  return Srs(srs);
}

void CheckNotInput(const fs::path& output, std::initializer_list<fs::path> inputs) {
  for (const fs::path& in : inputs) {
    if (SameFile(output, in)) {
      ThrowFileError(output, "this is an input of the step (" + in.string() + "); choose another output file");
    }
  }
}

void CheckSize(const fs::path& file, long long cols, long long rows) {
  if (cols > MaxGridExtent || rows > MaxGridExtent) {
    ThrowFileError(file, "the grid would have " + std::to_string(cols) + " columns and " + std::to_string(rows) +
                             " rows; " + TooManyCellsMessage());
  }
}

// Removes what a step wrote when it fails part-way (a grid whose .prj could not follow, say).
// Only files the step made are removed: a file that was there before is never deleted for it.
class OutputGuard {
 public:
  explicit OutputGuard(std::vector<fs::path> files) {
    std::error_code ec;
    for (fs::path& f : files) {
      if (!fs::exists(f, ec)) files_.push_back(std::move(f));
    }
  }
  ~OutputGuard() {
    if (done_) return;
    std::error_code ec;
    for (const fs::path& f : files_) fs::remove(f, ec);
  }
  void Done() { done_ = true; }

 private:
  std::vector<fs::path> files_;
  bool done_ = false;
};

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

// Writes the rows of `band` (read top to bottom in the grid's order) as an ASCII grid.
// NaN cells and cells equal to `sourceNodata` become the grid's no-data value. Returns the count
// of cells that are not no-data.
// The caller closes `out` (putting the file in place) once it accepts the result.
long long WriteBandAsGrid(GDALRasterBandH band, bool southUp, bool asFloat, const TDataDef& header,
                          std::optional<double> sourceNodata, TextWriter& out) {
  const fs::path& output = out.path();
  CheckHeaderPlacesCells(output, header);
  const std::string nodataText = CellText(header.NODATA_value, false);
  WriteGridHeader(out, header, nodataText);
  std::vector<double> row(static_cast<std::size_t>(header.ncols));
  long long valid = 0;
  for (int r = 0; r < header.nrows; ++r) {
    const int line = southUp ? header.nrows - 1 - r : r;
    CPLErrorReset();
    if (GDALRasterIO(band, GF_Read, 0, line, header.ncols, 1, row.data(), header.ncols, 1, GDT_Float64, 0, 0) !=
        CE_None) {
      ThrowFileError(output, "cannot read row " + std::to_string(line + 1) + " of the raster: " + LastGdalError());
    }
    for (int c = 0; c < header.ncols; ++c) {
      const double v = row[static_cast<std::size_t>(c)];
      if (c) out.Write(' ');
      if (std::isnan(v) || (sourceNodata && v == *sourceNodata) || v == header.NODATA_value) {
        out.Write(nodataText);
      } else {
        out.Write(CellText(v, asFloat));
        ++valid;
      }
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

}  // namespace

std::optional<std::string> RasterDriver(const fs::path& path) {
  InitGdal();
  GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
  if (!ds) return std::nullopt;
  std::string name = GDALGetDriverShortName(GDALGetDatasetDriver(ds));
  GDALClose(ds);
  return name;
}

void ImportRaster(const fs::path& source, int bandNumber, const fs::path& output) {
  const fs::path prj = ProjectionFileOf(output);
  CheckNotInput(output, {source});
  CheckNotInput(prj, {source});
  Dataset ds = OpenRaster(source);
  const int bands = GDALGetRasterCount(H(ds));
  if (bandNumber < 1 || bandNumber > bands) {
    ThrowFileError(source, "band " + std::to_string(bandNumber) + " is out of range (the raster has " +
                               std::to_string(bands) + (bands == 1 ? " band)" : " bands)"));
  }
  double gt[6];
  if (GDALGetGeoTransform(H(ds), gt) != CE_None) {
    ThrowFileError(source, "the raster has no georeferencing (no corner or cell size)");
  }
  const double xsize = std::hypot(gt[1], gt[4]), ysize = std::hypot(gt[2], gt[5]);
  if (gt[2] != 0 || gt[4] != 0) {
    ThrowFileError(source, "the raster is rotated (cell sizes " + FormatShortest(xsize) + " in x and " +
                               FormatShortest(ysize) + " in y); align it onto a reference grid instead");
  }
  if (std::fabs(std::fabs(gt[1]) - std::fabs(gt[5])) > 1e-9 * std::fabs(gt[1]) || gt[1] <= 0) {
    ThrowFileError(source, "the cells are not square (cell size " + FormatShortest(std::fabs(gt[1])) + " in x, " +
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

  std::optional<std::string> wkt;
  if (OGRSpatialReferenceH srs = GDALGetSpatialRef(H(ds))) wkt = PrjText(srs, source);

  GDALRasterBandH band = GDALGetRasterBand(H(ds), bandNumber);
  int hasNodata = 0;
  const double nodata = GDALGetRasterNoDataValue(band, &hasNodata);
  std::optional<double> sourceNodata;
  if (hasNodata && !std::isnan(nodata)) sourceNodata = nodata;
  header.NODATA_value = sourceNodata ? *sourceNodata : -9999.0;

  OutputGuard guard({output, prj});
  TextWriter out(output);
  WriteBandAsGrid(band, southUp, IsFloat32(GDALGetRasterDataType(band)), header, sourceNodata, out);
  out.Close();
  if (wkt) {
    WritePrj(prj, *wkt);
  } else {
    std::error_code ec;
    fs::remove(prj, ec);  // an earlier import's projection would describe another raster
  }
  guard.Done();
}

AlignOutcome AlignRaster(const fs::path& reference, const fs::path& source, const fs::path& output,
                         Resampling method) {
  const fs::path refPrj = ProjectionFileOf(reference), outPrj = ProjectionFileOf(output);
  CheckNotInput(output, {source, reference, refPrj});
  CheckNotInput(outPrj, {source, reference, refPrj});

  TDataDef ref;
  ref.FileName = reference.string();
  SilentShell quiet;
  if (!ReadHeader(ref, quiet)) ThrowFileError(reference, TooManyCellsMessage());
  if (ref.ncols < 1 || ref.nrows < 1 || !(ref.cellsize > 0)) {
    ThrowFileError(reference, "is not an ASCII grid (its header gives no columns, rows or cell size)");
  }
  const Srs refSrs = ReadPrj(refPrj);

  Dataset src = OpenRaster(source);
  if (GDALGetRasterCount(H(src)) < 1) ThrowFileError(source, "the raster has no band");
  double gt[6];
  if (GDALGetGeoTransform(H(src), gt) != CE_None) {
    ThrowFileError(source, "the raster has no georeferencing (no corner or cell size)");
  }
  OGRSpatialReferenceH srcSrs = GDALGetSpatialRef(H(src));
  if (srcSrs) PrjText(srcSrs, source);  // a projection GDAL cannot write out is one it cannot use

  AlignOutcome outcome;
  std::vector<std::string> args = {"-of", "VRT", "-ot", "Float64", "-r",
                                   method == Resampling::Nearest ? "near" : method == Resampling::Bilinear ? "bilinear" : "mode",
                                   "-te", FormatShortest(ref.xllcorner), FormatShortest(ref.yllcorner),
                                   FormatShortest(ref.xllcorner + ref.ncols * ref.cellsize),
                                   FormatShortest(ref.yllcorner + ref.nrows * ref.cellsize),
                                   "-ts", std::to_string(ref.ncols), std::to_string(ref.nrows),
                                   "-dstnodata", FormatShortest(ref.NODATA_value)};
  if (refSrs && srcSrs) {
    char* wkt = nullptr;
    OSRExportToWkt(static_cast<OGRSpatialReferenceH>(refSrs.get()), &wkt);
    args.insert(args.end(), {"-t_srs", wkt ? wkt : ""});
    CPLFree(wkt);
    outcome.reprojected = !OSRIsSame(static_cast<OGRSpatialReferenceH>(refSrs.get()), srcSrs);
  } else if (refSrs || srcSrs) {
    outcome.note = (srcSrs ? reference.filename().string() : source.filename().string()) +
                   " has no projection, so the raster was resampled in the reference grid's frame without "
                   "reprojection; reprojection needs a projection on both.";
    // Without a target projection GDAL would keep the source's; with only the reference's it
    // would have nothing to reproject from. Either way the coordinates are taken as they are.
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  GDALWarpAppOptions* options = GDALWarpAppOptionsNew(argv.data(), nullptr);
  GDALDatasetH sources[] = {H(src)};
  int usageError = 0;
  CPLErrorReset();
  Dataset warped(GDALWarp("", nullptr, 1, sources, options, &usageError));
  GDALWarpAppOptionsFree(options);
  if (!warped) ThrowFileError(source, "GDAL cannot resample the raster: " + LastGdalError());

  OutputGuard guard({output, outPrj});
  GDALRasterBandH band = GDALGetRasterBand(H(warped), 1);
  const bool asFloat = method != Resampling::Bilinear && IsFloat32(GDALGetRasterDataType(GDALGetRasterBand(H(src), 1)));
  TextWriter out(output);
  const long long valid = WriteBandAsGrid(band, false, asFloat, ref, std::nullopt, out);
  if (valid == 0) {
    ThrowFileError(source, "no cell of the raster falls on the reference grid " + reference.filename().string() +
                               (outcome.note.empty() ? std::string() : " (" + outcome.note + ")"));
  }
  out.Close();
  if (refSrs) {
    WritePrj(outPrj, PrjText(static_cast<OGRSpatialReferenceH>(refSrs.get()), refPrj));
  } else {
    std::error_code ec;
    fs::remove(outPrj, ec);
  }
  guard.Done();
  return outcome;
}

void WriteGeoTiff(const fs::path& grid, const fs::path& output) { WriteGeoTiffFrom(grid, ProjectionFileOf(grid), output); }

void WriteGeoTiffFrom(const fs::path& grid, const fs::path& prj, const fs::path& output) {
  CheckNotInput(output, {grid});
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
  // GeoTIFF is complete); the finished file replaces the output in one rename.
  AtomicFile staged(output);
  const fs::path temp = staged.TemporaryPath();
  const fs::path tempAux = temp.string() + ".aux.xml", aux = output.string() + ".aux.xml";
  OutputGuard guard({tempAux});
  CPLErrorReset();
  Dataset ds(GDALCreate(driver, temp.c_str(), def.ncols, def.nrows, 1, GDT_Float64, const_cast<char**>(createOptions)));
  if (!ds) ThrowFileError(output, "cannot create the GeoTIFF: " + LastGdalError());
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
    for (int c = 0; c < def.ncols; ++c) {
      const double v = reader.ReadValue();
      row[static_cast<std::size_t>(c)] = v;
      if (v == def.NODATA_value) continue;
      lo = std::min(lo, v), hi = std::max(hi, v);
      sum += v, sum2 += v * v, ++n;
    }
    reader.ReadLine();
    if (GDALRasterIO(band, GF_Write, 0, r, def.ncols, 1, row.data(), def.ncols, 1, GDT_Float64, 0, 0) != CE_None) {
      ThrowFileError(output, "cannot write the GeoTIFF: " + LastGdalError());
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
  CPLErrorReset();
  GDALClose(static_cast<GDALDatasetH>(ds.release()));
  if (CPLGetLastErrorType() >= CE_Failure) ThrowFileError(output, "cannot write the GeoTIFF: " + LastGdalError());
  // The colours first, so that the GeoTIFF never appears beside another one's table.
  std::error_code ec;
  if (fs::exists(tempAux, ec)) {
    fs::rename(tempAux, aux, ec);
    if (ec) ThrowFileError(aux, "cannot replace the file: " + ec.message());
  } else {
    fs::remove(aux, ec);
  }
  staged.Commit();
  guard.Done();
}

}  // namespace karvelo::gis
