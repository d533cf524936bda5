// Tab 1 with rasters that are not ASCII grids: the import question, and aligning grids on saving.
#include <QLabel>
#include <QMessageBox>
#include <QtTest>

#include <gdal.h>
#include <ogr_srs_api.h>

#include "configfixture.h"
#include "ui/dialoghooks.h"
#include "uitests.h"

using namespace uitest;

namespace {

// A 3 x 2 GeoTIFF of whole values in the Dutch national grid, written by GDAL.
void WriteTiff(const fs::path& path) {
  GDALAllRegister();
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), 3, 2, 1, GDT_Byte, nullptr);
  QVERIFY(ds);
  double gt[6] = {1000, 10, 0, 2020, 0, -10};
  GDALSetGeoTransform(ds, gt);
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  OSRImportFromEPSG(srs, 28992);
  GDALSetSpatialRef(ds, srs);
  OSRRelease(srs);
  std::uint8_t values[6] = {1, 2, 3, 3, 2, 1};
  QCOMPARE(GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, 0, 3, 2, values, 3, 2, GDT_Byte, 0, 0), CE_None);
  GDALClose(ds);
}

}  // namespace

class RasterTest : public QObject {
  Q_OBJECT

  QString shots_ = QString::fromLocal8Bit(qgetenv("KARVELO_SCREENSHOT_DIR"));

 private slots:
  void aPickedGeoTiffIsImportedIntoTheWorkingFolderOnYes() {
    ScratchFolder scratch;
    fs::create_directory(scratch.path() / "data");
    const fs::path tif = scratch.path() / "data" / "landuse.tif";
    WriteTiff(tif);
    ConfigWindow t;

    t.askAnswers = {1};  // No: nothing is imported and the pick ends
    t.pick(tif);
    QCOMPARE(t.messages.size(), 1);
    QCOMPARE(t.messages.back(), Q("landuse.tif is a GTiff raster. Import it as an ASCII grid into " +
                                  fs::current_path().string() + "?"));
    QCOMPARE(t.questionButtons.back(), QStringList({"Yes", "No"}));
    QVERIFY(!fs::exists(scratch.path() / "landuse.asc"));
    QVERIFY(t.ws().CurrentDataDef.FileName.empty());

    t.askAnswers = {0};  // Yes: the grid goes on as if picked
    t.pick(tif);
    QCOMPARE(t.messages.size(), 2);
    QVERIFY(fs::exists(scratch.path() / "landuse.asc"));
    QVERIFY(fs::exists(scratch.path() / "landuse.prj"));
    QCOMPARE(t.ws().CurrentDataDef.FileName, (scratch.path() / "landuse.asc").string());
    QCOMPARE(t.w.lblNewFile->text(), QString("landuse.asc"));
    QCOMPARE(t.ws().CurrentDataDef.ncols, 3);
    QCOMPARE(t.ws().CurrentDataDef.minvalue, 1.0);
    QCOMPARE(t.ws().CurrentDataDef.maxvalue, 3.0);
    QCOMPARE(t.w.cmbbxUniqueValues->count(), 3);

    // An ASCII grid asks nothing.
    t.pick(WriteObservationGrid(scratch.path()));
    QCOMPARE(t.messages.size(), 2);
  }

  void savingOffersToAlignGridsThatDifferFromTheReference() {
    ScratchFolder scratch;
    const fs::path data = scratch.path() / "data";
    fs::create_directory(data);
    ConfigWindow t;
    t.addObservations(WriteObservationGrid(data));
    // The soil grid one cell further east: the reference's first column has no soil cell, the soil
    // grid's last column falls outside.
    t.addClassified(WriteGrid(data / "soil.asc", {{"0.3", "1.5", "2.5", "3.1"}, {"4.4", "5.0", "6.2", "7.7"},
                                                  {"8.1", "9.0", "9.9", "10.7"}},
                              10, 1010),
                    3);
    t.w.hooks.ask = [this, &t](const QString& text, const QStringList& buttons, int fallback) {
      t.messages << text;
      t.questionButtons << buttons;
      if (!shots_.isEmpty()) {
        QList<QAbstractButton*> added;
        auto box = karvelo::QuestionBox(&t.w, text, buttons, fallback, &added);
        box->show();
        QTest::qWait(50);
        box->grab().save(shots_ + "/guide-align.png");
      }
      return 0;  // "Align to the reference grid"
    };
    QVERIFY(t.save(scratch.path() / "config.txt"));
    QCOMPARE(t.questionButtons.size(), 1);
    QCOMPARE(t.questionButtons[0], QStringList({"Align to the reference grid", "OK"}));
    QCOMPARE(t.messages[0], QString("xllcorner, yllcorner, ncols and/or nrows are different:\n"
                                    "Prepare new and consistent grids and start anew!\n"
                                    "soil.asc: xllcorner 1010.00 differs from obs.asc: 1000.00"));
    const fs::path aligned = scratch.path() / "soil-aligned.asc";
    QVERIFY(fs::exists(aligned));
    QCOMPARE(t.table().Cell(0, 2), aligned.string());
    QCOMPARE(t.ws().DataDef(2).xllcorner, 1000.0);
    QCOMPARE(t.ws().DataDef(2).NrClasses, 3);
    // Neither grid has a projection: one frame, nothing to say about reprojection.
    QCOMPARE(t.messages.size(), 1);
    // Checked again and saved, with the aligned grid in the file.
    QVERIFY(ReadBytes(scratch.path() / "config.txt").find(aligned.string()) != std::string::npos);
    const std::string text = ReadBytes(aligned);
    QVERIFY2(text.find("\r\n-9999 0.3 1.5 2.5\r\n-9999 4.4 5 6.2\r\n-9999 8.1 9 9.9\r\n") != std::string::npos, text.c_str());
  }
};

int RunRasterTests(int argc, char** argv) {
  RasterTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_rasters.moc"
