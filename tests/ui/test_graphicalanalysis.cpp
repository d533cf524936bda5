// Window tests of the graphical display of data relations, opened from tab 2 after a real audit.
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>

#include "audit/graphical.h"
#include "configfixture.h"
#include "render/qimage_canvas.h"
#include "ui/frmgraphicalanalysis.h"
#include "ui/pictureview.h"
#include "uitests.h"

using namespace karvelo;
using namespace uitest;

namespace {

const QRgb kWhitePixel = qRgb(255, 255, 255);
const QRgb kBlackPixel = qRgb(0, 0, 0);
const QRgb kGreenPixel = qRgb(0, 128, 0);
const QRgb kRedPixel = qRgb(255, 0, 0);

const QImage& Picture(const TPictureView* view) { return view->Canvas().Image(); }

// Pixels of one colour within a rectangle of the picture.
int CountColour(const QImage& image, QRgb colour, const QRect& area) {
  int n = 0;
  const QRect r = area.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) n += image.pixel(x, y) == colour ? 1 : 0;
  }
  return n;
}

bool AllWhite(const QImage& image) { return CountColour(image, kWhitePixel, image.rect()) == image.width() * image.height(); }

// Observations, a soil grid in two classes and a distance grid in three, saved and audited.
struct AuditedWindow {
  ScratchFolder scratch;
  fs::path dir = scratch.path();
  ConfigWindow t;
  TfrmGraphicalAnalysis& g = *t.w.frmGraphicalAnalysis();
  // Runs while the graphical window is "modal"; left empty, the window is only shown.
  std::function<void()> script;
  int openings = 0;

  explicit AuditedWindow(const std::function<void(ConfigWindow&, const fs::path&)>& extraGrids = {}) {
    const auto modal = t.w.hooks.showModal;
    t.w.hooks.showModal = [this, modal](QDialog& dialog) {
      if (&dialog != &g) return modal(dialog);
      ++openings;
      dialog.show();
      if (script) script();
      const int result = dialog.result();
      dialog.hide();
      return result;
    };
    WriteObservationGrid(dir);
    WriteSoilGrid(dir);
    WriteGrid(dir / "dist.asc", {{"12.5", "40", "80", "120"}, {"160", "200", "240", "280"}, {"320", "360", "400", "480"}});
    t.addClassified(dir / "soil.asc", 2);
    t.addObservations(dir / "obs.asc");
    t.addClassified(dir / "dist.asc", 3);
    if (extraGrids) extraGrids(t, dir);
    if (!t.save(dir / "config.txt")) return;
    t.click(t.w.btbttnAudit);
    t.messages.clear();  // the audit's summary
  }
  ~AuditedWindow() { t.w.FormClose(); }

  // Opens the window from tab 2 and runs `steps` in it.
  void open(const std::function<void()>& steps = {}) {
    script = steps;
    t.click(t.w.btbttnGraphicalAnalysis);
    script = nullptr;
  }
  void choose(QComboBox* list, const QString& name) {
    const int i = list->findText(name);
    QVERIFY2(i >= 0, qPrintable(name));
    list->setCurrentIndex(i);
  }
  std::vector<std::string> logSince(std::size_t from) {
    const auto& lines = t.w.runLog().Lines();
    return {lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end()};
  }
  QStringList bmpFiles() {
    QStringList names;
    for (const auto& e : fs::directory_iterator(dir)) {
      if (e.path().extension() == ".bmp") names << Q(e.path().filename().string());
    }
    names.sort();
    return names;
  }
};

}  // namespace

class GraphicalAnalysisTest : public QObject {
  Q_OBJECT
 private slots:
  void theWindowIsAFixedModalDialogWithoutTitleBarButtons() {
    AuditedWindow a;
    const TfrmGraphicalAnalysis& g = a.g;
    QCOMPARE(g.windowTitle(), QString("Graphical display of data relations"));
    QCOMPARE(g.size(), QSize(771, 602));
    QCOMPARE(g.minimumSize(), g.maximumSize());
    QVERIFY(g.isModal());
    QVERIFY(!(g.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint)));
    // Each caption stands just above its picture; the rest of the placement is the layout check's.
    for (const auto& [label, picture] : {std::pair{g.lblHistogram1, g.imgAUX1}, {g.lblHistogram2, g.imgAUX2}, {g.lblScatter, g.imgScatter}}) {
      QCOMPARE(label->x(), picture->x());
      QVERIFY(label->geometry().bottom() < picture->y() && label->geometry().bottom() > picture->y() - 8);
    }
  }

  void openingOffersTheAuxiliaryGridsWithTheirPathsAndClearsThePictures() {
    AuditedWindow a;
    QVERIFY(a.t.w.btbttnGraphicalAnalysis->isEnabled());
    QList<QImage> shown;
    a.open([&] {
      for (QComboBox* list : {a.g.cmbbxAUX1, a.g.cmbbxAUX2}) {
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->currentIndex(), 0);
        QCOMPARE(list->itemText(0), QString("soil.asc"));
        QCOMPARE(list->itemText(1), QString("dist.asc"));
        QCOMPARE(list->itemData(0).toString(), Q((a.dir / "soil.asc").string()));
        QCOMPARE(list->itemData(1).toString(), Q((a.dir / "dist.asc").string()));
      }
      for (auto* view : {a.g.imgAUX1, a.g.imgAUX2, a.g.imgScatter}) shown << Picture(view);
      a.t.click(a.g.btbttnShow);
      a.t.click(a.g.bttnClose);
    });
    QCOMPARE(a.openings, 1);
    for (const QImage& image : shown) QVERIFY(AllWhite(image));
    QVERIFY(!AllWhite(Picture(a.g.imgScatter)));

    // The next opening starts from white pictures and a list rebuilt from the configuration.
    a.t.ws().DataDef(3).FileName = (a.dir / "moved" / "dist.asc").string();
    a.open([&] {
      for (auto* view : {a.g.imgAUX1, a.g.imgAUX2, a.g.imgScatter}) QVERIFY(AllWhite(Picture(view)));
      QCOMPARE(a.g.cmbbxAUX2->count(), 2);
      QCOMPARE(a.g.cmbbxAUX2->itemData(1).toString(), Q((a.dir / "moved" / "dist.asc").string()));
      a.t.click(a.g.bttnClose);
    });
  }

  void showDrawsSavesAndLogsBothHistogramsAndTheScatterplot() {
    AuditedWindow a;
    const std::size_t logBefore = a.t.w.runLog().Lines().size();
    a.open([&] {
      a.choose(a.g.cmbbxAUX2, "dist.asc");
      a.t.click(a.g.btbttnShow);
      QVERIFY(a.g.isVisible());
      QVERIFY(a.g.bttnClose->isEnabled() && a.g.btbttnShow->isEnabled() && a.g.cmbbxAUX1->isEnabled());
    });
    QVERIFY2(a.t.messages.isEmpty(), qPrintable(a.t.messages.join("\n")));
    QCOMPARE(a.bmpFiles(), (QStringList{"Histogram for dist.asc.bmp", "Histogram for soil.asc.bmp", "Scatterplot soil.asc X dist.asc.bmp"}));
    const auto log = a.logSince(logBefore);
    QCOMPARE(log.size(), std::size_t{3});
    int histograms = 0, scatterplots = 0;
    for (const std::string& line : log) {
      const QString l = Q(line);
      histograms += l.startsWith("Histogram displayed and saved to <Histogram for ") && l.endsWith(".bmp>") ? 1 : 0;
      scatterplots += l == "Scatterplot displayed and saved to <Scatterplot soil.asc X dist.asc.bmp>" ? 1 : 0;
    }
    QCOMPARE(histograms, 2);
    QCOMPARE(scatterplots, 1);
    QCOMPARE(a.t.w.Gauge1->Progress(), 0);

    // What was saved is what is shown.
    const std::pair<TPictureView*, const char*> saved[] = {{a.g.imgAUX1, "Histogram for soil.asc.bmp"},
                                                           {a.g.imgAUX2, "Histogram for dist.asc.bmp"},
                                                           {a.g.imgScatter, "Scatterplot soil.asc X dist.asc.bmp"}};
    for (const auto& [view, file] : saved) {
      const QImage onDisk(Q((a.dir / file).string()));
      QVERIFY2(!onDisk.isNull(), file);
      QCOMPARE(onDisk.convertToFormat(QImage::Format_RGB32), Picture(view).convertToFormat(QImage::Format_RGB32));
    }

    for (TPictureView* view : {a.g.imgAUX1, a.g.imgAUX2}) {
      const QImage& h = Picture(view);
      QCOMPARE(h.size(), QSize(225, 235));
      // The axes, and bars of both colours standing on the horizontal one (left of the legend).
      QCOMPARE(h.pixel(15, 120), kBlackPixel);
      QCOMPARE(h.pixel(120, 225), kBlackPixel);
      QVERIFY(CountColour(h, kGreenPixel, QRect(16, 200, 170, 24)) > 0);
      QVERIFY(CountColour(h, kRedPixel, QRect(16, 200, 170, 24)) > 0);
    }
    const QImage& s = Picture(a.g.imgScatter);
    QCOMPARE(s.size(), QSize(497, 507));
    for (const QPoint corner : {QPoint(25, 15), QPoint(492, 15), QPoint(25, 482), QPoint(492, 482)}) QCOMPARE(s.pixel(corner), kBlackPixel);
    const QRect inside(26, 16, 466, 466);
    QVERIFY(CountColour(s, kGreenPixel, inside) >= 9);
    QVERIFY(CountColour(s, kRedPixel, inside) >= 9);
  }

  void theSameGridTwiceGivesTwoHistogramsAndADiagonal() {
    AuditedWindow a;
    a.open([&] {
      a.choose(a.g.cmbbxAUX1, "dist.asc");
      a.choose(a.g.cmbbxAUX2, "dist.asc");
      a.t.click(a.g.btbttnShow);
    });
    QVERIFY(a.t.messages.isEmpty());
    QCOMPARE(a.bmpFiles(), (QStringList{"Histogram for dist.asc.bmp", "Scatterplot dist.asc X dist.asc.bmp"}));
    QCOMPARE(Picture(a.g.imgAUX1), Picture(a.g.imgAUX2));
    QVERIFY(!AllWhite(Picture(a.g.imgAUX1)));

    // Every point lies on the line from the lower left to the upper right of the plotting area.
    const QImage& s = Picture(a.g.imgScatter);
    const double W = s.width(), H = s.height();
    int points = 0;
    for (int y = 0; y < s.height(); ++y) {
      for (int x = 0; x < s.width(); ++x) {
        if (s.pixel(x, y) != kGreenPixel && s.pixel(x, y) != kRedPixel) continue;
        ++points;
        const double along = (x - 25) / (W - 30);
        const double up = (H - 25 - y) / (H - 40);
        QVERIFY2(std::abs(along - up) * (W - 30) <= 3, qPrintable(QString("point at %1, %2").arg(x).arg(y)));
      }
    }
    QVERIFY(points >= 9 * 4);  // nine observed cells, each a 3 x 3 block, partly cut by the frame
  }

  void aGridWithoutClassesIsRefusedAndNothingIsSaved() {
    // A second observation grid marked with an absence indicator only: listed, but never classified.
    AuditedWindow a([](ConfigWindow& t, const fs::path& dir) {
      WriteObservationGrid(dir, "survey.asc");
      t.pick(dir / "survey.asc");
      t.selectUnique("0");
      t.click(t.w.btbttnAbsenceIndicator);
      t.click(t.w.btbttnSubmit);
    });
    QCOMPARE(a.t.ws().DataDefCount, 4);
    const std::size_t logBefore = a.t.w.runLog().Lines().size();
    a.open([&] {
      QCOMPARE(a.g.cmbbxAUX1->count(), 3);
      // A drawing first, so that the refusal has pictures it could leave behind.
      a.t.click(a.g.btbttnShow);
      for (const auto& e : fs::directory_iterator(a.dir)) {
        if (e.path().extension() == ".bmp") fs::remove(e.path());
      }
      a.choose(a.g.cmbbxAUX2, "survey.asc");
      a.t.click(a.g.btbttnShow);
      QVERIFY(a.g.isVisible());
      QVERIFY(a.g.btbttnShow->isEnabled());
    });
    QCOMPARE(a.t.messages.size(), 1);
    QVERIFY2(a.t.messages[0].contains("survey.asc"), qPrintable(a.t.messages[0]));
    QVERIFY(a.bmpFiles().isEmpty());
    QCOMPARE(a.logSince(logBefore).size(), std::size_t{3});  // only the first drawing's lines
    for (auto* view : {a.g.imgAUX1, a.g.imgAUX2, a.g.imgScatter}) QVERIFY(AllWhite(Picture(view)));
  }

  void aMissingGridIsReportedAndTheWindowStaysUsable() {
    AuditedWindow a;
    fs::remove(a.dir / "dist.asc");
    bool reported = false;
    a.open([&] {
      a.choose(a.g.cmbbxAUX2, "dist.asc");
      a.t.click(a.g.btbttnShow);
      // Reported by the window itself: the error does not escape the click.
      reported = a.t.messages.size() == 1;
      QVERIFY(a.g.isVisible());
      for (QWidget* w : {static_cast<QWidget*>(a.g.btbttnShow), static_cast<QWidget*>(a.g.bttnClose),
                         static_cast<QWidget*>(a.g.cmbbxAUX1), static_cast<QWidget*>(a.g.cmbbxAUX2)}) {
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
      }
    });
    QVERIFY(reported);
    QCOMPARE(a.t.messages.size(), 1);
    QVERIFY2(a.t.messages[0].contains("dist.asc"), qPrintable(a.t.messages[0]));
    QVERIFY(!fs::exists(a.dir / "Scatterplot soil.asc X dist.asc.bmp"));
    QCOMPARE(a.t.w.Gauge1->Progress(), 0);
  }

  void closingReturnsTheMainWindowToItsAuditedState_data() {
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("Close") << false;
    QTest::newRow("Escape") << true;
  }
  void closingReturnsTheMainWindowToItsAuditedState() {
    QFETCH(bool, byEscape);
    AuditedWindow a;
    a.t.w.Status(4);  // as after a final submission: the map button is on
    QVERIFY(a.t.w.btbttnKarvelo->isEnabled());
    a.open([&] {
      if (byEscape) {
        QTest::keyClick(a.g.cmbbxAUX1, Qt::Key_Escape);
      } else {
        a.t.click(a.g.bttnClose);
      }
      QVERIFY(!a.g.isVisible());
    });
    QVERIFY(!a.t.w.btbttnKarvelo->isEnabled());
    for (QPushButton* b : {a.t.w.btbttnAudit, a.t.w.btbttnSubmitFinal, a.t.w.btbttnGraphicalAnalysis}) QVERIFY(b->isEnabled());
  }

  // Not a check: with KARVELO_SCREENSHOT_DIR set, saves the window after a drawing.
  void saveScreenshots() {
    const QByteArray shots = qgetenv("KARVELO_SCREENSHOT_DIR");
    if (shots.isEmpty()) QSKIP("KARVELO_SCREENSHOT_DIR not set");
    AuditedWindow a;
    a.open([&] {
      a.choose(a.g.cmbbxAUX2, "dist.asc");
      a.t.click(a.g.btbttnShow);
      QVERIFY(a.g.grab().save(QString(shots) + "/graphical-analysis.png"));
    });
  }
};

int RunGraphicalAnalysisTests(int argc, char** argv) {
  GraphicalAnalysisTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_graphicalanalysis.moc"
