// Window test on the example data: the four tabs, driven as the demo runs its steps, write the demo's outputs.
//
// The demo's outputs are the committed golden files (tests/golden/demo), so this test ties the
// window to the headless tool: the same clicks on the same data with the same seed must give the
// same grids, tables and pictures. With KARVELO_SCREENSHOT_DIR set it also saves the pictures of
// the user guide (scripts/screenshots.sh), taken along the way of this very run.
#include <QLabel>
#include <QCryptographicHash>
#include <QImage>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTabWidget>
#include <QTableWidget>
#include <QRadioButton>
#include <QWheelEvent>

#include "configfixture.h"
#include "tablecheck.h"
#include "ui/frmevaluation.h"
#include "ui/frmlegend.h"
#include "ui/frmmapviewer.h"
#include "ui/frmweights.h"
#include "ui/pictureview.h"
#include "ui/radiogroup.h"
#include "uitests.h"

using namespace karvelo;
using namespace uitest;

namespace {

const fs::path kExamples = fs::path(KARVELO_TEST_DATA) / ".." / ".." / "examples" / "meuse";
const fs::path kGolden = fs::path(KARVELO_TEST_DATA) / ".." / "golden" / "demo";
constexpr std::uint32_t kDemoSeed = 20261209;  // the golden test's --seed

// The files the demo copies into its work folder.
const char* const kExampleFiles[] = {"obs.asc", "dist.asc", "ffreq.asc", "soil.asc", "validation.txt", "README.txt"};

QRadioButton* PriorItem(TfrmKarvelo& w, int i) {
  return w.rdgrpPrior->findChild<QRadioButton*>(QString("rdgrpPriorItem%1").arg(i));
}

// The line the golden test's pixel helper writes for a picture: width, height, SHA-256 of the
// pixels as A, R, G, B bytes row by row, name.
QString PixelLine(const fs::path& picture) {
  const QImage image = QImage(Q(picture.string())).convertToFormat(QImage::Format_ARGB32);
  if (image.isNull()) return "undecodable " + Q(picture.filename().string());
  QCryptographicHash hash(QCryptographicHash::Sha256);
  for (int y = 0; y < image.height(); ++y) {
    QByteArray bytes;
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      for (int v : {qAlpha(p), qRed(p), qGreen(p), qBlue(p)}) bytes.append(static_cast<char>(v));
    }
    hash.addData(bytes);
  }
  return QString("%1 %2 %3 %4")
      .arg(image.width())
      .arg(image.height())
      .arg(QString::fromLatin1(hash.result().toHex()), Q(picture.filename().string()));
}

// Names the first differing line so a failure says where the window and the demo part.
QString FirstDifference(const std::string& expected, const std::string& actual) {
  const QStringList e = Q(expected).split("\r\n"), a = Q(actual).split("\r\n");
  for (qsizetype i = 0; i < std::max(e.size(), a.size()); ++i) {
    const QString el = i < e.size() ? e[i] : "(end of file)", al = i < a.size() ? a[i] : "(end of file)";
    if (el != al) return QString("line %1:\n  demo:   %2\n  window: %3").arg(i + 1).arg(el.left(200), al.left(200));
  }
  return "same lines, different bytes";
}

}  // namespace

class ExampleTourTest : public QObject {
  Q_OBJECT

  QString shots_ = QString::fromLocal8Bit(qgetenv("KARVELO_SCREENSHOT_DIR"));

  void shoot(QWidget& widget, const char* name) {
    if (shots_.isEmpty()) return;
    QVERIFY(widget.grab().save(shots_ + "/" + name + ".png"));
  }

 private slots:
  void theFourTabsOnTheExampleDataWriteTheDemosOutputs() {
    QVERIFY2(fs::exists(kGolden / "BayesP.asc"), "tests/golden/demo is missing");
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    for (const char* name : kExampleFiles) fs::copy_file(kExamples / name, dir / name);

    ConfigWindow t;
    TfrmKarvelo& w = t.w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    t.ws().FixedSeed = kDemoSeed;
    // Map pixels that no cell covers take the window's button face; the headless tool uses this one.
    QPalette palette = w.palette();
    palette.setColor(QPalette::Button, QColor(kDefaultFace.r, kDefaultFace.g, kDefaultFace.b));
    w.setPalette(palette);

    // Tab 1: observations with presence 1 and absence 0; distance to the river in the 8 proposed
    // classes; flooding frequency and soil type with one class per code, typed as bounds 1, 2, 3.
    // (The window offers no field for the last upper bound, so it keeps its proposal above 3:
    // the configuration file differs from the demo's there, the class of every cell does not.)
    t.addObservations(dir / "obs.asc", "1", "0");
    t.addClassified(dir / "dist.asc", 8, [this](TfrmLegend& legend) {
      if (shots_.isEmpty()) return;
      QTest::mouseClick(legend.btbttnDrawHistogram, Qt::LeftButton);
      shoot(legend, "guide-classification");
      // The same grid in classes of equal counts, for the guide; then back to the default proposal.
      legend.cmbbxProposal->setCurrentText("Equal counts (quantiles)");
      QTest::mouseClick(legend.btbttnDrawHistogram, Qt::LeftButton);
      shoot(legend, "guide-classification-quantiles");
      legend.cmbbxProposal->setCurrentText("Rounded equal steps");
    });
    const auto oneClassPerCode = [](TfrmLegend& legend) {
      TypeAndLeave(legend.Edit[0], "1");
      TypeAndLeave(legend.Edit[1], "2");
      TypeAndLeave(legend.Edit[2], "3");
    };
    t.addClassified(dir / "ffreq.asc", 3, oneClassPerCode);
    t.addClassified(dir / "soil.asc", 3, oneClassPerCode);
    QCOMPARE(t.table().RowCount(), 5);
    CheckNothingElided(w);
    shoot(w, "guide-1-configuration");
    QVERIFY(t.save(dir / "meuse-configuration.txt"));
    QVERIFY2(t.messages.isEmpty(), qPrintable(t.messages.join('\n')));

    // Tab 2: the saved configuration loaded again, as the demo does, then the audit.
    t.load(dir / "meuse-configuration.txt");
    t.click(w.btbttnAudit);
    QCOMPARE(t.messages.size(), 1);
    QVERIFY2(t.messages[0].startsWith("All grids have significant Chi-squared values"), qPrintable(t.messages[0]));
    CheckNothingElided(w);
    shoot(w, "guide-2-audit");
    t.click(w.btbttnSubmitFinal);
    QCOMPARE(w.tbcntrlMain->TabIndex(), 2);

    // Tab 3: priors from the relative frequencies; the uncertainty run, then the plain map.
    QTest::mouseClick(PriorItem(w, 1), Qt::LeftButton);
    w.chckbxErrorProp->setChecked(true);
    QVERIFY(!w.btbttnWeights->isEnabled());  // no weights before a map
    t.click(w.btbttnKarvelo);
    QCOMPARE(w.edtPriorP->text(), QString("0.437"));
    CheckNothingElided(w);
    shoot(w, "guide-3-uncertainty");
    // Tab 3's picture after an uncertainty run is the mean map; the next run lets go of it.
    QTest::mouseDClick(w.imgKarvelo, Qt::LeftButton);
    QVERIFY(w.frmMapViewer()->isVisible());
    QCOMPARE(w.frmMapViewer()->File(), dir / "AVGBayesP.asc");
    QVERIFY(w.frmMapViewer()->chckbxPoints->isHidden());  // no validation points imported yet
    w.chckbxErrorProp->setChecked(false);
    t.click(w.btbttnKarvelo);
    QVERIFY(w.frmMapViewer()->isHidden());
    QVERIFY(w.frmMapViewer()->Map() == nullptr);
    CheckNothingElided(w);
    shoot(w, "guide-3-map");
    QCOMPARE(t.messages.size(), 1);

    // The weights window: every row of Weights.csv under its columns, one effect picture per classified grid.
    t.click(w.btbttnWeights);
    TfrmWeights& weights = *w.frmWeights();
    QVERIFY(QTest::qWaitForWindowExposed(&weights));
    const QStringList csv = Q(ReadBytes(dir / "Weights.csv")).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(weights.tblWeights->rowCount(), csv.size() - 1);
    const QStringList columns = csv[0].split(',');
    QCOMPARE(weights.tblWeights->columnCount(), columns.size());
    for (int c = 0; c < columns.size(); ++c) QCOMPARE(weights.tblWeights->horizontalHeaderItem(c)->text(), columns[c]);
    QCOMPARE(weights.tblWeights->item(0, 7)->text(), csv[1].split(',')[7]);
    QCOMPARE(weights.tbEffects->count(), 3);
    for (const char* grid : {"dist", "ffreq", "soil"}) {
      const auto* picture = weights.findChild<QLabel*>(QString("img") + grid);
      QVERIFY2(picture && !picture->pixmap().isNull(), grid);
      // The plain map's picture, not the uncertainty run's of the same name before it.
      const QImage written(Q((dir / (std::string("Effects of ") + grid + ".bmp")).string()));
      const QImage shown = picture->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
      QVERIFY2(shown == written.convertToFormat(QImage::Format_RGB32),
               qPrintable(QString("%1: shown %2 x %3, written %4 x %5").arg(grid).arg(shown.width()).arg(shown.height()).arg(written.width()).arg(written.height())));
    }
    // Every column shows its widest text whole.
    for (int c = 0; c < weights.tblWeights->columnCount(); ++c) {
      for (int r = 0; r < weights.tblWeights->rowCount(); ++r) {
        const QString text = weights.tblWeights->item(r, c)->text();
        QVERIFY2(weights.tblWeights->fontMetrics().horizontalAdvance(text) < weights.tblWeights->columnWidth(c), qPrintable(text));
      }
    }
    QVERIFY2(weights.width() <= 1024 && weights.height() <= 768 - 80, qPrintable(QString("%1 x %2").arg(weights.width()).arg(weights.height())));
    shoot(weights, "guide-3-weights");
    weights.close();

    // Tab 4: the independent points against the plain map, with the screening's proposals.
    w.tbcntrlMain->SetTabIndex(3);
    t.answers.push_back(dir / "validation.txt");
    t.click(w.bttbOpenValData);
    t.click(w.btbttnLoadValData);
    t.answers.push_back(dir / "BayesP.asc");
    t.click(w.btbttnPredMap);
    CheckNothingElided(w);
    shoot(w, "guide-4-lookup");
    t.click(w.btbttnEvaluate);
    QVERIFY(w.imgROC->isVisibleTo(&w));
    QVERIFY(w.imgGain->isVisibleTo(&w));
    QVERIFY(w.lblAucInterval->text().startsWith("AUC 95% CI (DeLong) = ["));
    shoot(w, "guide-4-roc");
    QCOMPARE(t.messages.size(), 1);

    // Once more with a binary map at Youden's J and the uncertainty run's mean map to compare
    // with; the results window shows it all.
    w.cmbbxBinary->setCurrentText("Youden's J");
    t.answers.push_back(dir / "AVGBayesP.asc");
    t.click(w.btbttnCompare);
    t.click(w.btbttnEvaluate);
    QCOMPARE(t.messages.size(), 1);
    t.click(w.btbttnResults);
    TfrmEvaluation& results = *w.frmEvaluation();
    QVERIFY(QTest::qWaitForWindowExposed(&results));
    QVERIFY(results.mmLines->toPlainText().contains("\nCompared with AVGBayesP.asc: AUC "));
    QCOMPARE(results.tbPictures->tabText(3), QString("Prediction-area"));
    results.tbPictures->setCurrentIndex(3);
    shoot(results, "guide-4-results");
    results.close();

    // The looked-up map in the viewer, with the validation points over it.
    QTest::mouseDClick(w.imgROC, Qt::LeftButton);
    TfrmMapViewer& viewer = *w.frmMapViewer();
    QVERIFY(viewer.isVisible());
    QCOMPARE(viewer.File(), dir / "BayesP.asc");
    QVERIFY(viewer.chckbxPoints->isVisible() && viewer.chckbxPoints->isChecked());
    viewer.resize(720, 600);
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QApplication::processEvents();
    // Zoomed in on the middle of the map, and the cursor on a cell.
    const QPointF middle(viewer.canvas->width() / 2.0, viewer.canvas->height() / 2.0);
    QWheelEvent wheel(middle, viewer.canvas->mapToGlobal(middle), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewer.canvas, &wheel);
    QMouseEvent hover(QEvent::MouseMove, middle, viewer.canvas->mapToGlobal(middle), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewer.canvas, &hover);
    QVERIFY2(viewer.lblStatus->text().startsWith("Column "), qPrintable(viewer.lblStatus->text()));
    shoot(viewer, "guide-viewer");
    viewer.close();
    // Tab 3's picture opens the map that it shows.
    QTest::mouseDClick(w.imgKarvelo, Qt::LeftButton);
    QCOMPARE(viewer.File(), dir / "BayesP.asc");
    viewer.close();

    // "Open run report" writes the report and hands it to the browser; its commands, run by
    // karvelo-batch in a fresh folder, make the window's grids again.
    std::vector<fs::path> opened;
    w.hooks.openFile = [&opened](const fs::path& file) {
      opened.push_back(file);
      return true;
    };
    w.OpenRunReport1->trigger();
    QCOMPARE(opened, std::vector<fs::path>{dir / "Karvelo report.html"});
    QCOMPARE(t.messages.size(), 1);
    QStringList commands;
    for (const QString& line : Q(ReadBytes(dir / "Karvelo.log")).split("\r\n")) {
      if (line.startsWith("Repeat with: ")) commands << line.mid(13);
    }
    QCOMPARE(commands.size(), 0);  // the log takes them when the window closes
    const QString report = Q(ReadBytes(dir / "Karvelo report.html"));
    const QString seed = QString("karvelo-batch --seed %1 --workdir ").arg(kDemoSeed);
    QCOMPARE(report.count(seed), 4);  // two mapping runs and two evaluations
    QVERIFY(report.contains(" --prior frequency --uncertainty --evidence all"));
    QVERIFY(report.contains(" --binary youden --compare "));

    w.FormClose();

    const QString batch = qEnvironmentVariable("KARVELO_BATCH");
    QVERIFY2(!batch.isEmpty(), "KARVELO_BATCH (the karvelo-batch binary) is not set");
    for (const QString& line : Q(ReadBytes(dir / "Karvelo.log")).split("\r\n")) {
      if (line.startsWith("Repeat with: ")) commands << line.mid(13);
    }
    commands.removeDuplicates();  // each report written, by the menu and at the close, logs them
    QCOMPARE(commands.size(), 4);
    ScratchFolder again;
    for (const QString& command : commands) {
      QStringList words = QProcess::splitCommand(command);
      QCOMPARE(words.takeFirst(), QString("karvelo-batch"));
      const qsizetype at = words.indexOf("--workdir");
      QVERIFY(at >= 0 && at + 1 < words.size());
      QCOMPARE(words[at + 1], Q(dir.string()));
      words[at + 1] = Q(again.path().string());
      QProcess process;
      process.start(batch, words);
      QVERIFY(process.waitForFinished(120000));
      QVERIFY2(process.exitCode() == 0, qPrintable(command + "\n" + process.readAllStandardError()));
    }
    for (const char* name : {"AVGBayesP.asc", "SDBayesP.asc", "BayesP.asc", "ValDataComplete.txt"}) {
      QVERIFY2(ReadBytes(dir / name) == ReadBytes(again.path() / name), name);
    }

    for (const char* name : {"AVGBayesP.asc", "SDBayesP.asc", "BootstrapData.txt", "BayesP.asc", "ValDataComplete.txt",
                             "Gain of BayesP.asc.txt"}) {
      const std::string expected = ReadBytes(kGolden / name), actual = ReadBytes(dir / name);
      QVERIFY2(expected == actual, qPrintable(QString("%1 differs from the demo's, %2").arg(name, FirstDifference(expected, actual))));
    }
    const QStringList expectedPictures = Q(ReadBytes(kGolden / "pictures.txt")).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(expectedPictures.size(), 9);
    for (const QString& line : expectedPictures) {
      const QString name = line.section(' ', 3);
      QCOMPARE(PixelLine(dir / name.toStdString()), line);
    }
    // The same files stay behind: results and inputs, no work file and no class file.
    QStringList left;
    for (const auto& entry : fs::directory_iterator(dir)) left << Q(entry.path().filename().string());
    left.sort();
    // Only the demo keeps a record of what it wrote; the window's evaluation goes on past the AUC
    // and the gain (the demo's stops there), and its second one wrote a binary map.
    QStringList expected = Q(ReadBytes(kGolden / "folder.txt")).split('\n', Qt::SkipEmptyParts);
    expected.removeAll(".karvelo-demo");
    expected << "Boyce of BayesP.asc.bmp" << "Boyce of BayesP.asc.txt" << "Prediction-area of BayesP.asc.bmp"
             << "Binary of BayesP.asc" << "Binary of BayesP.bmp";
    expected.sort();
    QCOMPARE(left, expected);
  }
};

int RunExampleTourTests(int argc, char** argv) {
  ExampleTourTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_exampletour.moc"
