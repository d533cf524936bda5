// Window tests of what a user can read: coloured controls that grey out, tables that cut no text,
// the status line, message icons, pictures that belong to the grid in hand, dialogs that remember.
#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "configfixture.h"
#include "tablecheck.h"
#include "ui/pictureview.h"
#include "uitests.h"

using namespace karvelo;
using namespace uitest;

namespace {

// A grid of 2000 columns and two rows: observations, or a continuous value over the same extent.
fs::path WriteWideGrid(const fs::path& path, bool observations) {
  std::vector<std::vector<std::string>> rows(2);
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 2000; ++c) {
      if (observations) {
        rows[static_cast<std::size_t>(r)].push_back(c % 7 == 0 ? "1" : (c % 5 == 0 ? "-9999" : "0"));
      } else {
        rows[static_cast<std::size_t>(r)].push_back(std::to_string(178440 + 40 * c + r) + ".25");
      }
    }
  }
  return WriteGrid(path, rows, 40, 178440.123456);
}

}  // namespace

class ReadabilityTest : public QObject {
  Q_OBJECT
 private slots:
  void disabledColouredControlsGreyOut() {
    ConfigWindow t;
    TfrmKarvelo& w = t.w;
    const QList<QWidget*> coloured{w.lblEither, w.lblUniqueValues, w.lblEitherSelect, w.btbttnPresenceIndicator, w.btbttnAbsenceIndicator,
                                   w.lblOr, w.lblContinuousRange, w.lblmin, w.lblTo, w.lblmax, w.lblOr2, w.btbttnClassify};
    const QPalette platform = QApplication::palette();
    for (QWidget* c : coloured) {
      const QPalette::ColorRole role = qobject_cast<QPushButton*>(c) ? QPalette::ButtonText : QPalette::WindowText;
      const QPalette pal = c->palette();
      // Active and inactive: the caption colour; disabled: what the platform draws.
      QVERIFY2(pal.color(QPalette::Active, role) != platform.color(QPalette::Active, role), qPrintable(c->objectName()));
      QCOMPARE(pal.color(QPalette::Inactive, role), pal.color(QPalette::Active, role));
      QVERIFY2(pal.color(QPalette::Disabled, role) != pal.color(QPalette::Active, role), qPrintable(c->objectName()));
      QCOMPARE(pal.color(QPalette::Disabled, role), platform.color(QPalette::Disabled, role));
    }
    // And on screen: the same button drawn enabled and disabled differs.
    w.grpbxScan->show();
    w.btbttnClassify->setEnabled(true);
    const QImage enabled = w.btbttnClassify->grab().toImage();
    w.btbttnClassify->setEnabled(false);
    QVERIFY(w.btbttnClassify->grab().toImage() != enabled);
  }

  void tablesOfTwoThousandColumnGridsCutNoText() {
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    WriteWideGrid(dir / "wideobs.asc", true);
    WriteWideGrid(dir / "widevalue.asc", false);
    ConfigWindow t;
    t.addObservations(dir / "wideobs.asc", "1", "0");
    t.addClassified(dir / "widevalue.asc", 4);
    CheckNothingElided(t.w);
    QVERIFY(t.save(dir / "wide.txt"));
    t.click(t.w.btbttnAudit);
    CheckNothingElided(t.w);
    t.click(t.w.btbttnSubmitFinal);
    t.w.chckbxErrorProp->setChecked(false);
    t.click(t.w.btbttnKarvelo);
    QVERIFY(!t.w.strgrdBayesTable->isHidden());
    CheckNothingElided(t.w);
    // A column wider than the table makes the table scroll rather than squeeze it.
    QVERIFY(t.w.strgrdDataConfiguration->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff);
    t.w.FormClose();
  }

  void statusPanelTwoShowsItsWholeText() {
    ConfigWindow t;
    for (const char* text : {"... Saving validation data to <ValDataComplete.txt> ...",
                             "... Making a_grid_file_with_a_rather_long_name_2023-1.bin"}) {
      t.w.status2(text);
      QCOMPARE(t.w.stsbrPanel2->text(), QString(text));
      QVERIFY2(t.w.stsbrPanel2->sizeHint().width() <= t.w.stsbrPanel2->width(), text);
      // The gauge keeps a bar beside it, and nothing overlaps.
      const QRect panel = t.w.stsbrPanel2->geometry().translated(t.w.stsbrStatus->pos());
      QVERIFY(t.w.Gauge1->width() >= 60);
      QVERIFY(!panel.intersects(t.w.Gauge1->geometry()));
      QVERIFY(t.w.Gauge1->geometry().right() < t.w.centralWidget()->width());
    }
  }

  void messagesCarryTheirKind() {
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    ConfigWindow t;
    // A refusal: a value must be selected before it is marked.
    WriteObservationGrid(dir);
    t.pick(dir / "obs.asc");
    t.typeUnique("x");
    t.click(t.w.btbttnPresenceIndicator);
    QCOMPARE(t.messages.size(), 1);
    QCOMPARE(t.kinds.back(), MessageKind::Warning);
    // A file that cannot be read: an error, its text as the system gives it.
    t.answers.push_back(dir / "missing.asc");
    QTest::mouseClick(t.w.bttnNewFile, Qt::LeftButton);
    QCOMPARE(t.messages.size(), 2);
    QVERIFY2(t.messages.back().contains("missing.asc"), qPrintable(t.messages.back()));
    QCOMPARE(t.kinds.back(), MessageKind::Error);
    // A result: the audit's summary.
    WriteSoilGrid(dir);
    t.addObservations(dir / "obs.asc", "1", "0");
    t.addClassified(dir / "soil.asc", 2);
    QVERIFY(t.save(dir / "config.txt"));
    const auto before = t.messages.size();
    t.click(t.w.btbttnAudit);
    QVERIFY(t.messages.size() > before);
    QCOMPARE(t.kinds.back(), MessageKind::Information);
    t.w.FormClose();
  }

  void theAuditsTablesAreFilledBeforeItsMessage() {
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    ConfigWindow t;
    WriteObservationGrid(dir);
    WriteSoilGrid(dir);
    t.addObservations(dir / "obs.asc", "1", "0");
    t.addClassified(dir / "soil.asc", 2);
    QVERIFY(t.save(dir / "config.txt"));
    int frequencyRows = -1, chi2Rows = -1;
    t.w.hooks.message = [&](const QString&, MessageKind) {
      frequencyRows = t.w.strgrdFrequency->rowCount();
      chi2Rows = t.w.strgrdChi2->rowCount();
    };
    t.click(t.w.btbttnAudit);
    QCOMPARE(frequencyRows, t.w.tables().Frequency.RowCount() - 1);
    QVERIFY(frequencyRows >= 2);
    QCOMPARE(chi2Rows, t.w.tables().Chi2.RowCount() - 1);
    QVERIFY(chi2Rows >= 1);
    t.w.FormClose();
  }

  void aFailedScanLeavesNoPreviewBehind() {
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    ConfigWindow t;
    const QImage blank = t.w.imgDataCanvas().Image().copy();
    WriteObservationGrid(dir);
    t.pick(dir / "obs.asc");
    QVERIFY(t.w.imgDataCanvas().Image() != blank);
    WriteGrid(dir / "bad.asc", {{"1", "b", "0", "0"}});
    t.pick(dir / "bad.asc");
    QCOMPARE(t.messages.size(), 1);
    QCOMPARE(t.w.imgDataCanvas().Image(), blank);
  }

  void theClassificationWindowOpensWithoutTheLastGridsHistogram() {
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    ConfigWindow t;
    WriteObservationGrid(dir);
    WriteSoilGrid(dir);
    WriteGrid(dir / "dist.asc", {{"12.5", "40", "80", "120"}, {"160", "200", "240", "280"}, {"320", "360", "400", "480"}});
    t.addObservations(dir / "obs.asc", "1", "0");
    const QImage blank = t.w.frmLegend()->HistogramCanvas().Image().copy();
    t.addClassified(dir / "soil.asc", 3, [](TfrmLegend& legend) { QTest::mouseClick(legend.btbttnDrawHistogram, Qt::LeftButton); });
    QVERIFY(t.w.frmLegend()->HistogramCanvas().Image() != blank);
    QImage atOpening;
    t.addClassified(dir / "dist.asc", 3, [&atOpening](TfrmLegend& legend) { atOpening = legend.HistogramCanvas().Image().copy(); });
    QCOMPARE(atOpening, blank);
    QVERIFY(t.messages.isEmpty());
  }

  void fileDialogsRememberTheirFolders() {
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    fs::create_directories(dir / "grids");
    fs::create_directories(dir / "points");
    ConfigWindow t;
    WriteObservationGrid(dir / "grids");
    t.pick(dir / "grids" / "obs.asc");
    QCOMPARE(fs::path(t.requests.back().initialDir), fs::current_path());
    t.answers.push_back(std::nullopt);
    QTest::mouseClick(t.w.bttnNewFile, Qt::LeftButton);
    QCOMPARE(fs::path(t.requests.back().initialDir), dir / "grids");
    // The points dialog has its own folder, and cancelling does not move it.
    t.w.tbcntrlMain->SetTabIndex(3);
    t.answers.push_back(std::nullopt);
    QTest::mouseClick(t.w.bttbOpenValData, Qt::LeftButton);
    QCOMPARE(fs::path(t.requests.back().initialDir), fs::current_path());
    t.answers.push_back(std::nullopt);
    QTest::mouseClick(t.w.bttbOpenValData, Qt::LeftButton);
    QCOMPARE(fs::path(t.requests.back().initialDir), fs::current_path());
    // The configuration dialog, likewise.
    t.answers.push_back(std::nullopt);
    t.w.tbcntrlMain->SetTabIndex(1);
    QTest::mouseClick(t.w.btbttnLoadConfig, Qt::LeftButton);
    QCOMPARE(fs::path(t.requests.back().initialDir), fs::current_path());
  }
};

int RunReadabilityTests(int argc, char** argv) {
  ReadabilityTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_readability.moc"
