// The raster layer end to end: rasters made here with GDAL, imported, aligned and exported again.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include <cpl_conv.h>
#include <gdal.h>
#include <gdal_rat.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include "batch/batch.h"
#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "core/runcontext.h"
#include "core/textwriter.h"
#include "gis/raster.h"
#include "render/maprender.h"
#include "../unit/test_support.h"

namespace karvelo::test {
namespace {

namespace fs = std::filesystem;

// A raster the test writes with GDAL: values row by row from the top.
struct TestRaster {
  int ncols = 0, nrows = 0;
  double gt[6] = {0, 1, 0, 0, 0, -1};
  std::vector<double> values;
  GDALDataType type = GDT_Float64;
  std::optional<double> nodata;
  int epsg = 0;  // 0: no projection
};

void WriteTiff(const fs::path& path, const TestRaster& s) {
  GDALAllRegister();
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), s.ncols, s.nrows, 1, s.type, nullptr);
  ASSERT_NE(ds, nullptr);
  double gt[6];
  std::copy(s.gt, s.gt + 6, gt);
  GDALSetGeoTransform(ds, gt);
  if (s.epsg) {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(srs, s.epsg);
    OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);
    GDALSetSpatialRef(ds, srs);
    OSRRelease(srs);
  }
  GDALRasterBandH band = GDALGetRasterBand(ds, 1);
  if (s.nodata) GDALSetRasterNoDataValue(band, *s.nodata);
  std::vector<double> v = s.values;
  ASSERT_EQ(GDALRasterIO(band, GF_Write, 0, 0, s.ncols, s.nrows, v.data(), s.ncols, s.nrows, GDT_Float64, 0, 0), CE_None);
  GDALClose(ds);
}

// A GeoTIFF copy of an ASCII grid (and of its .prj, or of the EPSG code given), made by GDAL alone.
void TiffCopyOf(const fs::path& grid, const fs::path& tif, int epsg = 0) {
  GDALAllRegister();
  GDALDatasetH src = GDALOpen(grid.c_str(), GA_ReadOnly);
  ASSERT_NE(src, nullptr);
  std::vector<std::string> args = {"-of", "GTiff", "-co", "COMPRESS=LZW"};
  if (epsg) args.insert(args.end(), {"-a_srs", "EPSG:" + std::to_string(epsg)});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  GDALTranslateOptions* o = GDALTranslateOptionsNew(argv.data(), nullptr);
  GDALDatasetH out = GDALTranslate(tif.c_str(), src, o, nullptr);
  GDALTranslateOptionsFree(o);
  ASSERT_NE(out, nullptr);
  GDALClose(out);
  GDALClose(src);
}

// What GDAL reads from a raster's first band.
struct ReadBack {
  int ncols = 0, nrows = 0;
  double gt[6] = {};
  std::vector<double> values;
  std::optional<double> nodata;
  std::string wkt;
};

ReadBack ReadRaster(const fs::path& path) {
  GDALAllRegister();
  ReadBack r;
  GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
  EXPECT_NE(ds, nullptr) << path;
  if (!ds) return r;
  r.ncols = GDALGetRasterXSize(ds);
  r.nrows = GDALGetRasterYSize(ds);
  GDALGetGeoTransform(ds, r.gt);
  GDALRasterBandH band = GDALGetRasterBand(ds, 1);
  int has = 0;
  const double nd = GDALGetRasterNoDataValue(band, &has);
  if (has) r.nodata = nd;
  r.values.resize(static_cast<std::size_t>(r.ncols) * static_cast<std::size_t>(r.nrows));
  EXPECT_EQ(GDALRasterIO(band, GF_Read, 0, 0, r.ncols, r.nrows, r.values.data(), r.ncols, r.nrows, GDT_Float64, 0, 0),
            CE_None);
  r.wkt = GDALGetProjectionRef(ds);
  GDALClose(ds);
  return r;
}

bool SameProjection(const std::string& a, const std::string& b) {
  OGRSpatialReferenceH sa = OSRNewSpatialReference(nullptr), sb = OSRNewSpatialReference(nullptr);
  const bool ok = OSRSetFromUserInput(sa, a.c_str()) == OGRERR_NONE && OSRSetFromUserInput(sb, b.c_str()) == OGRERR_NONE &&
                  OSRIsSame(sa, sb);
  OSRRelease(sa);
  OSRRelease(sb);
  return ok;
}

std::string EpsgWkt(int epsg) {
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  OSRImportFromEPSG(srs, epsg);
  char* wkt = nullptr;
  const char* options[] = {"FORMAT=WKT1_ESRI", nullptr};
  OSRExportToWktEx(srs, &wkt, options);
  std::string text(wkt);
  CPLFree(wkt);
  OSRRelease(srs);
  return text;
}

// The cell texts of an ASCII grid after its six header lines.
std::vector<std::string> CellTexts(const fs::path& grid) {
  std::istringstream in(ReadFile(grid));
  std::string line, token;
  for (int i = 0; i < 6; ++i) std::getline(in, line);
  std::vector<std::string> cells;
  while (in >> token) cells.push_back(token);
  return cells;
}

TDataDef HeaderOf(const fs::path& grid) {
  TDataDef def;
  def.FileName = grid.string();
  RecordingShell quiet;
  EXPECT_TRUE(ReadHeader(def, quiet));
  return def;
}

// The message a step throws, or "" when it throws none.
template <typename F>
std::string ErrorOf(F&& step) {
  try {
    step();
  } catch (const FileError& e) {
    return e.what();
  }
  return "";
}

using GisTest = ScratchFolderTest;

TEST_F(GisTest, ImportGivesBackTheGridAGeoTiffWasMadeFrom) {
  // Whole numbers, decimals that a 32-bit float holds as typed, and no-data cells.
  WriteFile("src.asc", GridText(4, 3, {{"1", "2.5", "-9999", "0.1"}, {"12", "-3", "7.25", "1000000"}, {"-9999", "4", "0.001", "6"}},
                                "-9999", 181000, 333000, 40));
  WriteFile("src.prj", EpsgWkt(28992));
  TiffCopyOf("src.asc", "src.tif", 28992);
  ASSERT_EQ(gis::RasterDriver("src.tif"), "GTiff");
  ASSERT_EQ(gis::RasterDriver("src.asc"), "AAIGrid");
  EXPECT_FALSE(gis::RasterDriver("src.prj"));

  gis::ImportRaster("src.tif", 1, "back.asc");
  const TDataDef a = HeaderOf("src.asc"), b = HeaderOf("back.asc");
  EXPECT_EQ(b.ncols, a.ncols);
  EXPECT_EQ(b.nrows, a.nrows);
  EXPECT_EQ(b.xllcorner, a.xllcorner);
  EXPECT_EQ(b.yllcorner, a.yllcorner);
  EXPECT_EQ(b.cellsize, a.cellsize);
  EXPECT_EQ(b.NODATA_value, -9999);
  EXPECT_EQ(CellTexts("back.asc"), CellTexts("src.asc"));
  EXPECT_TRUE(SameProjection(ReadFile("back.prj"), ReadFile("src.prj")));
  EXPECT_EQ(ReadFile("back.asc").substr(0, 6), "ncols ");

  // A raster without projection or no-data value: no .prj (an old one goes), -9999 for no-data,
  // whole values without decimals, a south-up raster still written north row first.
  TestRaster s;
  s.ncols = 2, s.nrows = 2;
  double gt[6] = {10, 5, 0, 20, 0, 5};  // rows run northwards
  std::copy(gt, gt + 6, s.gt);
  s.values = {1, 2, 3, 4};
  s.type = GDT_Byte;
  WriteTiff("up.tif", s);
  WriteFile("up.prj", "left from an earlier import");
  gis::ImportRaster("up.tif", 1, "up.asc");
  EXPECT_FALSE(fs::exists("up.prj"));
  EXPECT_EQ(CellTexts("up.asc"), (std::vector<std::string>{"3", "4", "1", "2"}));
  const TDataDef up = HeaderOf("up.asc");
  EXPECT_EQ(up.yllcorner, 20);
  EXPECT_EQ(up.NODATA_value, -9999);
}

TEST_F(GisTest, AGeoTiffInDegreesKeepsItsGeoreferencing) {
  TestRaster s;
  s.ncols = 3, s.nrows = 2;
  double gt[6] = {5.5, 0.25, 0, 51.0, 0, -0.25};
  std::copy(gt, gt + 6, s.gt);
  s.values = {1, 2, 3, 4, 5, 6};
  s.type = GDT_Int16;
  s.nodata = -1;
  s.epsg = 4326;
  WriteTiff("deg.tif", s);
  gis::ImportRaster("deg.tif", 1, "deg.asc");
  const TDataDef d = HeaderOf("deg.asc");
  EXPECT_EQ(d.xllcorner, 5.5);
  EXPECT_EQ(d.yllcorner, 50.5);
  EXPECT_EQ(d.cellsize, 0.25);
  EXPECT_EQ(d.NODATA_value, -1);
  EXPECT_NE(ReadFile("deg.prj").find("GEOGCS[\"GCS_WGS_1984\""), std::string::npos);
  // GDAL reads the imported grid and its .prj back onto the same place on the globe.
  const ReadBack r = ReadRaster("deg.asc");
  for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(r.gt[i], gt[i]) << i;
  EXPECT_TRUE(SameProjection(r.wkt, "EPSG:4326"));
  EXPECT_EQ(r.values, s.values);
  // Cells of 1/120 degree: a header that cannot hold them would misplace the grid, so the import
  // either keeps them closely enough or refuses, naming the output.
  double fine[6] = {5.5, 1.0 / 120, 0, 51.0, 0, -1.0 / 120};
  std::copy(fine, fine + 6, s.gt);
  WriteTiff("fine.tif", s);
  const std::string e = ErrorOf([] { gis::ImportRaster("fine.tif", 1, "fine.asc"); });
  if (e.empty()) {
    EXPECT_NEAR(HeaderOf("fine.asc").cellsize, 1.0 / 120, 1e-6 / 120);
  } else {
    EXPECT_NE(e.find("fine.asc: the grid header cannot hold the corner and cell size closely enough"), std::string::npos) << e;
    EXPECT_FALSE(fs::exists("fine.asc"));
    EXPECT_FALSE(fs::exists("fine.prj"));
  }
}

TEST_F(GisTest, BadRastersAreRefusedNamingTheFileAndNothingIsWritten) {
  WriteFile("junk.tif", "not a raster at all");
  std::string e = ErrorOf([] { gis::ImportRaster("junk.tif", 1, "out.asc"); });
  EXPECT_NE(e.find("junk.tif: GDAL cannot open the file as a raster"), std::string::npos) << e;
  e = ErrorOf([] { gis::ImportRaster("missing.tif", 1, "out.asc"); });
  EXPECT_EQ(e, "missing.tif: cannot open the file: No such file or directory");

  TestRaster s;
  s.ncols = 2, s.nrows = 2;
  s.values = {1, 2, 3, 4};
  double ns[6] = {0, 10, 0, 100, 0, -20};
  std::copy(ns, ns + 6, s.gt);
  WriteTiff("nonsquare.tif", s);
  e = ErrorOf([] { gis::ImportRaster("nonsquare.tif", 2, "out.asc"); });
  EXPECT_EQ(e, "nonsquare.tif: band 2 is out of range (the raster has 1 band)");
  e = ErrorOf([] { gis::ImportRaster("nonsquare.tif", 1, "out.asc"); });
  EXPECT_NE(e.find("nonsquare.tif: the cells are not square (cell size 10 in x, 20 in y)"), std::string::npos) << e;
  double rot[6] = {0, 10, 2, 100, 2, -10};
  std::copy(rot, rot + 6, s.gt);
  WriteTiff("rotated.tif", s);
  e = ErrorOf([] { gis::ImportRaster("rotated.tif", 1, "out.asc"); });
  EXPECT_NE(e.find("rotated.tif: the raster is rotated"), std::string::npos) << e;

  TestRaster wide;
  wide.ncols = 10001, wide.nrows = 1;
  wide.values.assign(10001, 1);
  wide.type = GDT_Byte;
  WriteTiff("wide.tif", wide);
  e = ErrorOf([] { gis::ImportRaster("wide.tif", 1, "out.asc"); });
  EXPECT_NE(e.find("wide.tif: the grid would have 10001 columns and 1 rows; Too many grid cells"), std::string::npos) << e;
  EXPECT_FALSE(fs::exists("out.asc"));
  EXPECT_FALSE(fs::exists("out.prj"));

  // Never over its own input, under whatever name it is reached.
  WriteFile("self.asc", GridText(2, 1, {{"1", "2"}}));
  const std::string before = ReadFile("self.asc");
  fs::create_directory("sub");
  e = ErrorOf([] { gis::ImportRaster("self.asc", 1, "sub/../self.asc"); });
  EXPECT_NE(e.find("is an input of this run"), std::string::npos) << e;
  e = ErrorOf([] { gis::AlignRaster("self.asc", "nonsquare.tif", "self.asc", gis::Resampling::Nearest); });
  EXPECT_NE(e.find("is an input of this run"), std::string::npos) << e;
  EXPECT_EQ(ReadFile("self.asc"), before);

  // A reference whose projection GDAL cannot read.
  WriteFile("self.prj", "PROJCS[nonsense");
  TiffCopyOf("self.asc", "self.tif", 28992);
  e = ErrorOf([] { gis::AlignRaster("self.asc", "self.tif", "al.asc", gis::Resampling::Nearest); });
  EXPECT_NE(e.find("self.prj: GDAL cannot read the projection"), std::string::npos) << e;
  EXPECT_FALSE(fs::exists("al.asc"));
}

// The reference of the alignment cases: 4 x 4 cells of 10 on (0, 0), no-data -9999.
void WriteReference() {
  WriteFile("ref.asc", GridText(4, 4, {{"0", "0", "0", "0"}, {"0", "0", "0", "0"}, {"0", "0", "0", "0"}, {"0", "0", "0", "0"}},
                                "-9999", 0, 0, 10));
}

TEST_F(GisTest, AlignPutsShiftedAndCoarserGridsOnTheReferenceCells) {
  WriteReference();
  // Twice the cell size: 2 x 2 cells of 20 over the same extent. Each reference cell centre lies
  // inside one source cell, so nearest copies it into the four reference cells it covers.
  TestRaster coarse;
  coarse.ncols = 2, coarse.nrows = 2;
  double cg[6] = {0, 20, 0, 40, 0, -20};
  std::copy(cg, cg + 6, coarse.gt);
  coarse.values = {1, 2, 3, 4};
  coarse.type = GDT_Int32;
  WriteTiff("coarse.tif", coarse);
  const gis::AlignOutcome o = gis::AlignRaster("ref.asc", "coarse.tif", "coarse.asc", gis::Resampling::Nearest);
  EXPECT_TRUE(o.note.empty());
  EXPECT_EQ(CellTexts("coarse.asc"), (std::vector<std::string>{"1", "1", "2", "2", "1", "1", "2", "2",
                                                                "3", "3", "4", "4", "3", "3", "4", "4"}));
  // The header is the reference's, number for number.
  const TDataDef ref = HeaderOf("ref.asc"), out = HeaderOf("coarse.asc");
  EXPECT_EQ(out.ncols, ref.ncols);
  EXPECT_EQ(out.nrows, ref.nrows);
  EXPECT_EQ(out.xllcorner, ref.xllcorner);
  EXPECT_EQ(out.yllcorner, ref.yllcorner);
  EXPECT_EQ(out.cellsize, ref.cellsize);
  EXPECT_EQ(out.NODATA_value, ref.NODATA_value);

  // Shifted by half a cell to the north-east: 4 x 4 cells of 10 from (5, 5). A reference cell
  // centre then falls on the corner of four source cells; bilinear takes their mean. Nearest
  // takes the cell to the east and south of that corner (GDAL's rule for a centre on an edge),
  // and the last reference row, whose centres lie below the source, gets no-data.
  TestRaster shifted;
  shifted.ncols = 4, shifted.nrows = 4;
  double sg[6] = {5, 10, 0, 45, 0, -10};
  std::copy(sg, sg + 6, shifted.gt);
  for (int i = 0; i < 16; ++i) shifted.values.push_back(i * 4);
  WriteTiff("shifted.tif", shifted);
  gis::AlignRaster("ref.asc", "shifted.tif", "near.asc", gis::Resampling::Nearest);
  EXPECT_EQ(CellTexts("near.asc"), (std::vector<std::string>{"16", "20", "24", "28", "32", "36", "40", "44",
                                                              "48", "52", "56", "60", "-9999", "-9999", "-9999", "-9999"}));
  gis::AlignRaster("ref.asc", "shifted.tif", "bilinear.asc", gis::Resampling::Bilinear);
  const std::vector<std::string> bilinear = CellTexts("bilinear.asc");
  // Reference cell (row 2, column 2), centre (15, 25), sits on the corner of the source cells in
  // rows 2-3 and columns 1-2 (values 16, 20, 32, 36): mean 26. Row 2, column 3: 20, 24, 36, 40
  // -> 30. Row 3, column 2: 32, 36, 48, 52 -> 42.
  EXPECT_EQ(bilinear[5], "26");
  EXPECT_EQ(bilinear[6], "30");
  EXPECT_EQ(bilinear[9], "42");
}

TEST_F(GisTest, ModeTakesTheMajorityOfTheFinerCells) {
  WriteReference();
  // 8 x 8 cells of 5: each reference cell covers a 2 x 2 block, three of whose four cells agree;
  // the odd one out (and a no-data cell) must not win.
  TestRaster fine;
  fine.ncols = 8, fine.nrows = 8;
  double fg[6] = {0, 5, 0, 40, 0, -5};
  std::copy(fg, fg + 6, fine.gt);
  fine.nodata = -1;
  fine.values.assign(64, 0);
  for (int br = 0; br < 4; ++br) {
    for (int bc = 0; bc < 4; ++bc) {
      const double major = br * 4 + bc + 1, minor = 99;
      for (int k = 0; k < 4; ++k) {
        const int r = br * 2 + k / 2, c = bc * 2 + k % 2;
        fine.values[static_cast<std::size_t>(r * 8 + c)] = k == (br + bc) % 4 ? ((br + bc) % 2 ? minor : -1) : major;
      }
    }
  }
  WriteTiff("fine.tif", fine);
  gis::AlignRaster("ref.asc", "fine.tif", "mode.asc", gis::Resampling::Mode);
  std::vector<std::string> expected;
  for (int i = 1; i <= 16; ++i) expected.push_back(std::to_string(i));
  EXPECT_EQ(CellTexts("mode.asc"), expected);
}

TEST_F(GisTest, AlignReprojectsOnlyWhenBothGridsCarryAProjection) {
  // The soil grid of the example data, in the Dutch national grid, and a copy of it in degrees.
  fs::copy_file(fs::path(KARVELO_EXAMPLES) / "meuse" / "soil.asc", "soil.asc");
  WriteFile("soil.prj", EpsgWkt(28992));
  TiffCopyOf("soil.asc", "soil-rd.tif", 28992);
  {
    GDALDatasetH src = GDALOpen("soil-rd.tif", GA_ReadOnly);
    std::vector<std::string> args = {"-of", "GTiff", "-t_srs", "EPSG:4326", "-r", "near"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    GDALWarpAppOptions* o = GDALWarpAppOptionsNew(argv.data(), nullptr);
    GDALDatasetH out = GDALWarp("soil-deg.tif", nullptr, 1, &src, o, nullptr);
    GDALWarpAppOptionsFree(o);
    ASSERT_NE(out, nullptr);
    GDALClose(out);
    GDALClose(src);
  }
  const gis::AlignOutcome o = gis::AlignRaster("soil.asc", "soil-deg.tif", "back.asc", gis::Resampling::Nearest);
  EXPECT_TRUE(o.reprojected);
  EXPECT_TRUE(o.note.empty());
  EXPECT_EQ(ReadFile("back.prj"), ReadFile("soil.prj"));
  // There and back again through degrees: nearly every cell keeps its soil class.
  const auto a = CellTexts("soil.asc"), b = CellTexts("back.asc");
  ASSERT_EQ(a.size(), b.size());
  std::size_t same = 0;
  for (std::size_t i = 0; i < a.size(); ++i) same += std::stod(a[i]) == std::stod(b[i]);
  EXPECT_GT(static_cast<double>(same) / static_cast<double>(a.size()), 0.97);

  // Without the reference's projection the degrees are taken as metres: nothing overlaps, and
  // the message says that reprojection needs both projections.
  fs::remove("soil.prj");
  const std::string e = ErrorOf([] { gis::AlignRaster("soil.asc", "soil-deg.tif", "none.asc", gis::Resampling::Nearest); });
  EXPECT_NE(e.find("soil-deg.tif: no cell of the raster falls on the reference grid soil.asc"), std::string::npos) << e;
  EXPECT_NE(e.find("soil.asc has no projection"), std::string::npos) << e;
  EXPECT_NE(e.find("reprojection needs a projection on both"), std::string::npos) << e;
  EXPECT_FALSE(fs::exists("none.asc"));
  // A failed alignment leaves an earlier file of that name as it was, and no temporary file.
  WriteFile("earlier.asc", "an earlier grid");
  EXPECT_THROW(gis::AlignRaster("soil.asc", "soil-deg.tif", "earlier.asc", gis::Resampling::Nearest), FileError);
  EXPECT_EQ(ReadFile("earlier.asc"), "an earlier grid");
  for (const auto& entry : fs::directory_iterator(fs::current_path())) {
    EXPECT_FALSE(IsTemporaryOutputName(entry.path().filename().string())) << entry.path();
  }
  // In one frame without projections the resampling still works, and says so.
  const gis::AlignOutcome same_frame = gis::AlignRaster("soil.asc", "soil-rd.tif", "frame.asc", gis::Resampling::Nearest);
  EXPECT_FALSE(same_frame.reprojected);
  EXPECT_NE(same_frame.note.find("soil.asc has no projection"), std::string::npos);
  EXPECT_EQ(CellTexts("frame.asc"), CellTexts("soil.asc"));
  EXPECT_FALSE(fs::exists("frame.prj"));
}

// A VRT over `source` (relative to the VRT), one band of `cols` x `rows` Float64 cells; `band` is
// the band element's body, `subClass` its kind.
void WriteVrt(const fs::path& vrt, int cols, int rows, const std::string& body, const std::string& subClass = "") {
  WriteFile(vrt, "<VRTDataset rasterXSize=\"" + std::to_string(cols) + "\" rasterYSize=\"" + std::to_string(rows) +
                     "\">\n<GeoTransform>0, 1, 0, " + std::to_string(rows) + ", 0, -1</GeoTransform>\n"
                     "<VRTRasterBand dataType=\"Float64\" band=\"1\"" +
                     (subClass.empty() ? "" : " subClass=\"" + subClass + "\"") + ">\n" + body +
                     "</VRTRasterBand>\n</VRTDataset>\n");
}

std::string SimpleSource(const std::string& file) {
  return "<SimpleSource><SourceFilename relativeToVRT=\"1\">" + file +
         "</SourceFilename><SourceBand>1</SourceBand></SimpleSource>\n";
}

TEST_F(GisTest, NoOutputIsAFileTheRasterIsReadFrom) {
  TestRaster s;
  s.ncols = 2, s.nrows = 2;
  s.values = {1, 2, 3, 4};
  double gt[6] = {0, 1, 0, 2, 0, -1};
  std::copy(gt, gt + 6, s.gt);
  WriteTiff("victim.tif", s);
  WriteVrt("victim.vrt", 2, 2, SimpleSource("victim.tif"));
  WriteReference();
  // A world file beside a raster without georeferencing of its own.
  WriteFile("wf.asc", GridText(2, 2, {{"1", "2"}, {"3", "4"}}));
  TiffCopyOf("wf.asc", "plain.tif");
  GDALAllRegister();
  {
    GDALDatasetH src = GDALOpen("plain.tif", GA_ReadOnly);
    const char* opts[] = {"TFW=YES", "PROFILE=BASELINE", nullptr};
    GDALClose(GDALCreateCopy(GDALGetDriverByName("GTiff"), "wf.tif", src, FALSE, const_cast<char**>(opts), nullptr, nullptr));
    GDALClose(src);
  }
  fs::remove("wf.tif.aux.xml");  // else the corner is read from there
  ASSERT_TRUE(fs::exists("wf.tfw"));
  const std::string tiff = ReadFile("victim.tif"), tfw = ReadFile("wf.tfw");
  for (const auto& [source, output] : std::vector<std::pair<std::string, std::string>>{
           {"victim.vrt", "victim.tif"}, {"wf.tif", "wf.tfw"}, {"victim.vrt", "sub/../victim.tif"}}) {
    fs::create_directories("sub");
    const std::string e = ErrorOf([&] { gis::ImportRaster(source, 1, output); });
    EXPECT_EQ(e, output + " is an input of this run; choose another name or folder.") << source;
    const std::string a = ErrorOf([&] { gis::AlignRaster("ref.asc", source, output, gis::Resampling::Nearest); });
    EXPECT_EQ(a, output + " is an input of this run; choose another name or folder.") << source;
  }
  // The projection file beside the output counts too: ref.txt would get ref.prj, the reference's.
  WriteFile("ref.prj", EpsgWkt(28992));
  EXPECT_EQ(ErrorOf([] { gis::AlignRaster("ref.asc", "victim.tif", "ref.txt", gis::Resampling::Nearest); }),
            "ref.prj is an input of this run; choose another name or folder.");
  EXPECT_EQ(ReadFile("victim.tif"), tiff);
  EXPECT_EQ(ReadFile("wf.tfw"), tfw);
  // A grid cannot be named like its own projection file: nothing is written under that name.
  const std::string e = ErrorOf([] { gis::ImportRaster("victim.tif", 1, "out.prj"); });
  EXPECT_NE(e.find("out.prj: a grid cannot take the name of its projection file"), std::string::npos) << e;
  EXPECT_FALSE(fs::exists("out.prj"));
  // An ordinary VRT still imports, with the cells of its source.
  gis::ImportRaster("victim.vrt", 1, "fine.asc");
  EXPECT_EQ(CellTexts("fine.asc"), (std::vector<std::string>{"1", "2", "3", "4"}));
}

TEST_F(GisTest, AVrtReadsOnlyLocalRasters) {
  WriteFile("secret.txt", "root:x:0:0::/root:/bin/sh\n");
  WriteVrt("raw.vrt", 3, 1,
           "<SourceFilename relativeToVRT=\"1\">secret.txt</SourceFilename><ImageOffset>0</ImageOffset>"
           "<PixelOffset>8</PixelOffset><LineOffset>24</LineOffset>\n",
           "VRTRawRasterBand");
  std::string e = ErrorOf([] { gis::ImportRaster("raw.vrt", 1, "raw.asc"); });
  EXPECT_NE(e.find("raw.vrt: a raw band reads the bytes of secret.txt, which is no raster"), std::string::npos) << e;
  WriteReference();
  for (const std::string remote : {"/vsicurl/http://127.0.0.1:9/x.tif", "/vsis3/bucket/x.tif", "/vsizip/a.zip/x.tif",
                                   "http://127.0.0.1:9/x.tif"}) {
    WriteVrt("remote.vrt", 2, 2, SimpleSource(remote));
    // Behind a second VRT as well: the check follows VRT sources that are VRTs.
    WriteVrt("outer.vrt", 2, 2, SimpleSource("remote.vrt"));
    for (const char* vrt : {"remote.vrt", "outer.vrt"}) {
      e = ErrorOf([&] { gis::ImportRaster(vrt, 1, "remote.asc"); });
      EXPECT_NE(e.find("remote.vrt: reads from a network or virtual path (" + remote + ")"), std::string::npos) << e;
      e = ErrorOf([&] { gis::AlignRaster("ref.asc", vrt, "remote.asc", gis::Resampling::Nearest); });
      EXPECT_NE(e.find("network or virtual path"), std::string::npos) << e;
    }
  }
  EXPECT_FALSE(fs::exists("raw.asc"));
  EXPECT_FALSE(fs::exists("remote.asc"));
}

TEST_F(GisTest, CellsAndGeoreferencingAGridCannotHoldAreRefusedWithTheReason) {
  TestRaster s;
  s.ncols = 2, s.nrows = 2;
  double gt[6] = {0, 1, 0, 2, 0, -1};
  std::copy(gt, gt + 6, s.gt);
  auto refused = [&](const char* name, const TestRaster& raster) {
    WriteTiff(name, raster);
    return ErrorOf([&] { gis::ImportRaster(name, 1, "out.asc"); });
  };
  s.values = {1, HUGE_VAL, 3, 4};
  EXPECT_EQ(refused("inf.tif", s), "inf.tif: the cell at row 1, column 2 holds an infinite value, which a grid cannot hold");
  s.values = {1, 2, 3, 4};
  s.nodata = -HUGE_VAL;
  EXPECT_NE(refused("infnd.tif", s).find("infnd.tif: the no-data value is -infinity"), std::string::npos);
  // NaN as no-data gives the grid -9999, which then may not be a value of the raster.
  s.nodata = std::nan("");
  s.values = {1, std::nan(""), -9999, 4};
  EXPECT_NE(refused("nannd.tif", s).find("nannd.tif: the cell at row 2, column 1 holds -9999, the no-data value the grid gets"),
            std::string::npos);
  s.nodata.reset();
  s.values = {1, 2, 3, 4};
  s.gt[0] = std::nan("");
  EXPECT_NE(refused("nancorner.tif", s).find("nancorner.tif: the georeferencing is not finite"), std::string::npos);
  s.gt[0] = 0, s.gt[1] = -1;
  EXPECT_EQ(refused("west.tif", s).find("west.tif: the cell width is -1"), 0u) << refused("west.tif", s);
  s.gt[1] = 1;
  s.type = GDT_CFloat64;
  EXPECT_NE(refused("complex.tif", s).find("complex.tif: band 1 holds complex numbers (CFloat64)"), std::string::npos);
  s.type = GDT_Int64;
  s.values = {1, 2, 3, 9007199254740994.0};
  EXPECT_NE(refused("big.tif", s).find("big.tif: the cell at row 2, column 2 holds a whole number beyond 2^53"),
            std::string::npos);
  s.values = {1, 2, 3, 9007199254740992.0};
  EXPECT_EQ(refused("edge.tif", s), "");
  EXPECT_EQ(CellTexts("out.asc").back(), "9007199254740992");

  // A raster whose rows cannot be read is named, not the grid that was being written.
  s.type = GDT_Float64;
  s.ncols = 64, s.nrows = 64;
  s.values.assign(64 * 64, 5);
  WriteTiff("cut.tif", s);
  fs::resize_file("cut.tif", fs::file_size("cut.tif") / 2);
  const std::string cut = ErrorOf([] { gis::ImportRaster("cut.tif", 1, "cut.asc"); });
  EXPECT_EQ(cut.find("cut.tif: "), 0u) << cut;
  EXPECT_FALSE(fs::exists("cut.asc"));
  // An unreadable projection gives GDAL's reason, or the code's, never none.
  WriteReference();
  WriteFile("ref.prj", "PROJCS[nonsense");
  const std::string prj = ErrorOf([] { gis::AlignRaster("ref.asc", "edge.tif", "al.asc", gis::Resampling::Nearest); });
  EXPECT_EQ(prj.find("ref.prj: GDAL cannot read the projection: "), 0u) << prj;
  EXPECT_EQ(prj.find("unknown reason"), std::string::npos) << prj;
}

TEST_F(GisTest, ARasterStepThatStopsOrFailsLeavesEveryEarlierFileAsItWas) {
  WriteFile("src.asc", GridText(3, 2, {{"1", "2", "3"}, {"4", "5", "6"}}, "-9999", 0, 0, 10));
  WriteFile("src.prj", EpsgWkt(28992));
  TiffCopyOf("src.asc", "src.tif", 28992);
  fs::copy_file("src.asc", "ref.asc");
  const std::map<std::string, std::string> earlier = {
      {"out.asc", "earlier grid"}, {"out.prj", "earlier prj"}, {"g.tif", "earlier tiff"}, {"g.tif.aux.xml", "earlier table"}};
  auto restore = [&] {
    for (const auto& [name, text] : earlier) {
      fs::remove_all(name);
      WriteFile(name, text);
    }
  };
  auto unchanged = [&](const std::string& what) {
    for (const auto& [name, text] : earlier) EXPECT_EQ(ReadFile(name), text) << what << ": " << name;
    for (const auto& entry : fs::directory_iterator(fs::current_path())) {
      EXPECT_FALSE(IsTemporaryOutputName(entry.path().filename().string())) << what << ": " << entry.path();
    }
  };
  restore();
  // With a shell the steps move its gauge; a stop asked for ends them with nothing written.
  RecordingShell shell;
  gis::ImportRaster("src.tif", 1, "out.asc", &shell);
  EXPECT_EQ(shell.gaugeMax, 1000);
  EXPECT_FALSE(shell.progress.empty());
  EXPECT_EQ(CellTexts("out.asc"), CellTexts("src.asc"));
  restore();
  shell.run().RequestCancel();
  EXPECT_THROW(gis::ImportRaster("src.tif", 1, "out.asc", &shell), Cancelled);
  EXPECT_THROW(gis::AlignRaster("ref.asc", "src.tif", "out.asc", gis::Resampling::Nearest, &shell), Cancelled);
  EXPECT_THROW(gis::WriteGeoTiff("src.asc", "g.tif", &shell), Cancelled);
  unchanged("stopped");
  // A grid and its projection are put in place together: when the .prj cannot be replaced (here
  // a folder stands under its name) the grid stays the earlier one too. So do a GeoTIFF and its table.
  fs::remove("out.prj");
  fs::create_directories("out.prj/x");
  EXPECT_NE(ErrorOf([] { gis::ImportRaster("src.tif", 1, "out.asc"); }).find("out.prj: cannot replace the file"),
            std::string::npos);
  EXPECT_EQ(ReadFile("out.asc"), "earlier grid");
  fs::remove_all("out.prj");
  WriteFile("out.prj", "earlier prj");
  fs::remove("g.tif");
  fs::create_directories("g.tif/x");
  EXPECT_NE(ErrorOf([] { gis::WriteGeoTiff("src.asc", "g.tif"); }).find("g.tif: cannot replace the file"), std::string::npos);
  EXPECT_EQ(ReadFile("g.tif.aux.xml"), "earlier table");
  restore();
  // The run's write limit covers what GDAL writes: a full disk in its words, the earlier files kept.
  SetWriteLimit(200);
  const std::string full = ErrorOf([] { gis::WriteGeoTiff("src.asc", "g.tif"); });
  SetWriteLimit(-1);
  EXPECT_EQ(full, "g.tif: cannot write the file: No space left on device");
  unchanged("disk full");
}

int Batch(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunBatch(args, out, err);
  EXPECT_EQ(status, 0) << err.str();
  return status;
}

TEST_F(GisTest, TheExampleDataFromGeoTiffCopiesMapsTheSameAndExportsGeoTiffs) {
  const fs::path examples = fs::path(KARVELO_EXAMPLES) / "meuse";
  const fs::path root = fs::current_path();
  const char* grids[] = {"obs", "dist", "ffreq", "soil"};
  fs::create_directories(root / "ascii");
  fs::create_directories(root / "tiff");
  for (const char* g : grids) {
    fs::copy_file(examples / (std::string(g) + ".asc"), root / "ascii" / (std::string(g) + ".asc"));
    TiffCopyOf(examples / (std::string(g) + ".asc"), root / "tiff" / (std::string(g) + ".tif"), 28992);
    ASSERT_EQ(Batch({"--workdir", (root / "tiff").string(), "import", (root / "tiff" / (std::string(g) + ".tif")).string()}), 0);
  }
  for (const char* folder : {"ascii", "tiff"}) {
    const fs::path d = root / folder;
    ASSERT_EQ(Batch({"--workdir", d.string(), "--seed", "7", "config", "-o", (d / "cfg.txt").string(), "--obs",
                     (d / "obs.asc").string() + ":1:0", "--aux", (d / "dist.asc").string() + ":8", "--aux",
                     (d / "ffreq.asc").string() + ":1,2,3,4", "--aux", (d / "soil.asc").string() + ":1,2,3,4"}),
              0);
    ASSERT_EQ(Batch({"--workdir", d.string(), "--seed", "7", "map", (d / "cfg.txt").string(), "--no-uncertainty",
                     "--prior", "decluster", "--geotiff"}),
              0);
  }
  fs::current_path(root);
  EXPECT_EQ(ReadFile("tiff/BayesP.asc"), ReadFile("ascii/BayesP.asc"));
  EXPECT_EQ(ReadFile("tiff/Declus.asc"), ReadFile("ascii/Declus.asc"));
  // The ASCII run has no projection to pass on; the imported grids carry one to every result.
  EXPECT_FALSE(fs::exists("ascii/BayesP.prj"));
  EXPECT_EQ(ReadFile("tiff/BayesP.prj"), ReadFile("tiff/obs.prj"));
  EXPECT_EQ(ReadFile("tiff/Declus.prj"), ReadFile("tiff/obs.prj"));

  // map --geotiff: GDAL reads back the ASCII result's values, its no-data value and projection.
  for (const char* name : {"BayesP", "Declus"}) {
    const fs::path asc = root / "tiff" / (std::string(name) + ".asc");
    const ReadBack tif = ReadRaster(root / "tiff" / (std::string(name) + ".tif"));
    const TDataDef def = HeaderOf(asc);
    ASSERT_EQ(tif.ncols, def.ncols);
    ASSERT_EQ(tif.nrows, def.nrows);
    EXPECT_EQ(tif.gt[0], def.xllcorner);
    EXPECT_EQ(tif.gt[3], def.yllcorner + def.nrows * def.cellsize);
    EXPECT_EQ(tif.gt[1], def.cellsize);
    EXPECT_EQ(tif.nodata, def.NODATA_value);
    EXPECT_TRUE(SameProjection(tif.wkt, "EPSG:28992")) << name;
    const auto cells = CellTexts(asc);
    ASSERT_EQ(cells.size(), tif.values.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) differing += *ParseReal(cells[i]) != tif.values[i];
    EXPECT_EQ(differing, 0u) << name;
  }
  // The grey ramp: light for the smallest values, dark for the largest, as in BayesP.bmp.
  GDALDatasetH ds = GDALOpen((root / "tiff" / "BayesP.tif").c_str(), GA_ReadOnly);
  ASSERT_NE(ds, nullptr);
  GDALRasterAttributeTableH rat = GDALGetDefaultRAT(GDALGetRasterBand(ds, 1));
  ASSERT_NE(rat, nullptr);
  ASSERT_EQ(GDALRATGetRowCount(rat), 255);
  double row0 = 0, size = 0;
  ASSERT_TRUE(GDALRATGetLinearBinning(rat, &row0, &size));
  const double lo = row0, hi = row0 + 255 * size;
  for (int i : {0, 127, 254}) {
    const Rgb expected = RampGrey(lo + (i + 0.5) * size, lo, hi);
    EXPECT_EQ(GDALRATGetValueAsInt(rat, i, GDALRATGetColOfUsage(rat, GFU_Green)), expected.g) << i;
  }
  EXPECT_GT(GDALRATGetValueAsInt(rat, 0, GDALRATGetColOfUsage(rat, GFU_Red)), 250);
  EXPECT_LT(GDALRATGetValueAsInt(rat, 254, GDALRATGetColOfUsage(rat, GFU_Red)), 5);
  GDALClose(ds);

  // A second export replaces the GeoTIFFs whole: no temporary file or table is left behind.
  ASSERT_EQ(Batch({"--workdir", (root / "tiff").string(), "--seed", "7", "map", (root / "tiff" / "cfg.txt").string(),
                   "--no-uncertainty", "--prior", "decluster", "--geotiff"}),
            0);
  EXPECT_EQ(ReadRaster(root / "tiff" / "BayesP.tif").values.size(), CellTexts(root / "tiff" / "BayesP.asc").size());
  EXPECT_TRUE(fs::exists(root / "tiff" / "BayesP.tif.aux.xml"));
  for (const auto& entry : fs::directory_iterator(root / "tiff")) {
    const std::string name = entry.path().filename().string();
    EXPECT_FALSE(IsTemporaryOutputName(name) || name.find(".karvelo-tmp-") != std::string::npos) << name;
  }
}

}  // namespace
}  // namespace karvelo::test
