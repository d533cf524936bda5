// Window tests of the map viewer: opened from the map pictures, zoomed, dragged, fitted, read
// under the cursor, switched to log10, overlaid with validation points and saved as PNG.
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QWheelEvent>
#include <QtTest>

#include "configfixture.h"
#include "ui/frmmapviewer.h"
#include "ui/pictureview.h"
#include "uitests.h"

using namespace karvelo;
using namespace uitest;

namespace {

void Wheel(QWidget* w, QPointF at, int notches) {
  QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &e);
}

void Mouse(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent e(type, at, w->mapToGlobal(at), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

// A 6 x 4 probability map with one no-data cell, xll 1000, yll 2000, cell size 10.
fs::path WriteProbabilityMap(const fs::path& dir) {
  return WriteGrid(dir / "P.asc", {{"0.1", "0.2", "0.3", "0.4", "0.5", "0.6"},
                                   {"0.01", "0.02", "-9999", "0.04", "0.05", "0.06"},
                                   {"0.7", "0.8", "0.9", "0.95", "0.99", "1"},
                                   {"0.001", "0.25", "0.5", "0.75", "0.125", "0.375"}});
}

}  // namespace

class MapViewerTest : public QObject {
  Q_OBJECT
 private slots:
  void doubleClickOnThePreviewOpensTheGrid() {
    ScratchFolder scratch;
    ConfigWindow t;
    WriteObservationGrid(scratch.path());
    QTest::mouseDClick(t.w.imgData, Qt::LeftButton);
    QVERIFY(t.w.frmMapViewer()->isHidden());  // nothing picked yet
    t.pick(scratch.path() / "obs.asc");
    QTest::mouseDClick(t.w.imgData, Qt::LeftButton);
    QVERIFY(t.w.frmMapViewer()->isVisible());
    QCOMPARE(t.w.frmMapViewer()->File(), scratch.path() / "obs.asc");
    QCOMPARE(t.w.frmMapViewer()->Map()->Cols(), 4);
    QVERIFY(t.w.frmMapViewer()->chckbxPoints->isHidden());
    t.w.frmMapViewer()->close();
  }

  void zoomPanFitAndTheValueUnderTheCursor() {
    ScratchFolder scratch;
    ConfigWindow t;
    const fs::path map = WriteProbabilityMap(scratch.path());
    TfrmMapViewer& v = *t.w.frmMapViewer();
    QVERIFY(v.Open(map));
    v.resize(700, 560);
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    TMapCanvas* c = v.canvas;
    const ViewTransform fitted = c->View();
    QVERIFY(fitted.scale * 6 <= c->width() + 1e-9 && fitted.scale * 4 <= c->height() + 1e-9);

    // The wheel zooms around the cursor: the cell under it stays under it.
    const QPointF at(c->width() * 0.3, c->height() * 0.6);
    const int col = c->View().Col(static_cast<int>(at.x())), row = c->View().Row(static_cast<int>(at.y()));
    Wheel(c, at, 3);
    QVERIFY(c->View().scale > fitted.scale * 1.9);
    QCOMPARE(c->View().Col(static_cast<int>(at.x())), col);
    QCOMPARE(c->View().Row(static_cast<int>(at.y())), row);

    // Dragging moves the map with the mouse.
    const ViewTransform before = c->View();
    Mouse(c, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    Mouse(c, QEvent::MouseMove, at + QPointF(40, -25), Qt::NoButton, Qt::LeftButton);
    Mouse(c, QEvent::MouseButtonRelease, at + QPointF(40, -25), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(c->View().left, before.left - 40 / before.scale);
    QCOMPARE(c->View().top, before.top + 25 / before.scale);

    // The status line: column, row, X, Y and the file's value of the cell under the cursor.
    const ViewTransform& now = c->View();
    const QPointF cell24((1.5 - now.left) * now.scale, (3.5 - now.top) * now.scale);  // column 2, row 4
    Mouse(c, QEvent::MouseMove, cell24, Qt::NoButton, Qt::NoButton);
    QCOMPARE(v.lblStatus->text(), QString("Column 2   Row 4   X 1015   Y 2005   Value 0.25"));
    const QPointF noData((2.5 - now.left) * now.scale, (1.5 - now.top) * now.scale);
    Mouse(c, QEvent::MouseMove, noData, Qt::NoButton, Qt::NoButton);
    QVERIFY2(v.lblStatus->text().endsWith("Value no data"), qPrintable(v.lblStatus->text()));
    // The no-data cell is red on screen.
    const QImage shot = c->grab().toImage();
    QCOMPARE(QColor(shot.pixel(noData.toPoint())), QColor(255, 0, 0));

    QTest::mouseClick(v.btnFit, Qt::LeftButton);
    QCOMPARE(c->View().scale, fitted.scale);
    QCOMPARE(c->View().left, fitted.left);
    QVERIFY(c->LastPaintMs() >= 0);
    v.close();
  }

  void theLegendFollowsTheScale() {
    ScratchFolder scratch;
    ConfigWindow t;
    TfrmMapViewer& v = *t.w.frmMapViewer();
    QVERIFY(v.Open(WriteProbabilityMap(scratch.path())));
    QCOMPARE(v.legend->Labels(), QStringList({"0.001", "0.5005", "1"}));
    v.cmbbxScale->setCurrentIndex(1);
    // log10: the middle is the geometric mean of the ends.
    const QStringList labels = v.legend->Labels();
    QCOMPARE(labels.size(), 3);
    QCOMPARE(labels[0].toDouble(), 0.001);
    QVERIFY(std::abs(labels[1].toDouble() - std::sqrt(0.001)) < 1e-12);
    QCOMPARE(labels[2].toDouble(), 1.0);
  }

  void validationPointsAreOverlaidInTwoColours() {
    ScratchFolder scratch;
    ConfigWindow t;
    TfrmMapViewer& v = *t.w.frmMapViewer();
    // A find in the centre of cell (1, 1), a non-find in the centre of cell (6, 4).
    QVERIFY(v.Open(WriteProbabilityMap(scratch.path()), {{1005, 2035, true}, {1055, 2005, false}}));
    v.resize(640, 520);
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    QVERIFY(v.chckbxPoints->isVisible());
    QVERIFY(v.chckbxPoints->isChecked());
    const ViewTransform& view = v.canvas->View();
    const QPoint find(static_cast<int>((0.5 - view.left) * view.scale), static_cast<int>((0.5 - view.top) * view.scale));
    const QPoint nonFind(static_cast<int>((5.5 - view.left) * view.scale), static_cast<int>((3.5 - view.top) * view.scale));
    QImage shot = v.canvas->grab().toImage();
    QCOMPARE(QColor(shot.pixel(find)), QColor(0, 90, 255));
    QCOMPARE(QColor(shot.pixel(nonFind)), QColor(255, 170, 0));
    v.chckbxPoints->setChecked(false);
    shot = v.canvas->grab().toImage();
    QVERIFY(QColor(shot.pixel(find)) != QColor(0, 90, 255));

    // Save view as PNG: the picture on screen, in the chosen file.
    t.answers.push_back(scratch.path() / "view.png");
    QTest::mouseClick(v.btnSaveView, Qt::LeftButton);
    QCOMPARE(QString::fromStdString(t.requests.back().title), QString("Save view as PNG"));
    const QImage saved(QString::fromStdString((scratch.path() / "view.png").string()));
    QCOMPARE(saved.size(), v.canvas->size() * v.canvas->devicePixelRatio());
    v.close();
  }

  void aFileThatIsNoGridIsReportedAndTheViewerStaysAsItWas() {
    ScratchFolder scratch;
    ConfigWindow t;
    TfrmMapViewer& v = *t.w.frmMapViewer();
    const fs::path good = WriteProbabilityMap(scratch.path());
    QVERIFY(v.Open(good));
    WriteGrid(scratch.path() / "bad.asc", {{"1", "x"}});
    QVERIFY(!v.Open(scratch.path() / "bad.asc"));
    QCOMPARE(t.messages.size(), 1);
    QVERIFY(t.messages[0].contains("bad.asc"));
    QCOMPARE(t.kinds[0], MessageKind::Error);
    QCOMPARE(v.File(), good);
  }
};

int RunMapViewerTests(int argc, char** argv) {
  MapViewerTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_mapviewer.moc"
