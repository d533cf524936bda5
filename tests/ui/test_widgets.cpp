// Tests of the window's own widgets: the gauge, the table view of a TextGrid, the radio group.
#include <QHeaderView>
#include <QRadioButton>
#include <QtTest>

#include "ui/dialoghooks.h"
#include "ui/gauge.h"
#include "ui/radiogroup.h"
#include "ui/stringgridview.h"
#include "tablecheck.h"
#include "uitests.h"

using namespace karvelo;

namespace {

int BlackPixelsInRow(const QImage& img, int y) {
  int n = 0;
  for (int x = 0; x < img.width(); ++x) n += img.pixelColor(x, y) == QColor(Qt::black) ? 1 : 0;
  return n;
}

}  // namespace

class WidgetTest : public QObject {
  Q_OBJECT
 private slots:
  void gaugePercentage() {
    TGauge g;
    g.SetRange(0, 400);
    g.SetProgress(100);
    QCOMPARE(g.PercentDone(), 25);
    g.SetProgress(399);
    QCOMPARE(g.PercentDone(), 99);  // truncated, never shows 100% before the end
    g.SetProgress(401);
    QCOMPARE(g.Progress(), 400);
    QCOMPARE(g.PercentDone(), 100);
    g.SetRange(10, 20);
    g.SetProgress(15);
    QCOMPARE(g.PercentDone(), 50);
    g.SetRange(5, 5);
    QCOMPARE(g.PercentDone(), 0);
    // Long loops count to millions of cells; the percentage must not overflow.
    g.SetRange(0, 2000000000);
    g.SetProgress(1500000000);
    QCOMPARE(g.PercentDone(), 75);
  }

  void gaugeDrawsABlackBarOfItsShare() {
    TGauge g;
    g.resize(248, 22);
    g.SetRange(0, 4);
    g.SetProgress(0);
    // Row 2 lies above the percentage text, so only the bar can be black there.
    QCOMPARE(BlackPixelsInRow(g.grab().toImage(), 2), 0);
    g.SetProgress(2);
    const int half = BlackPixelsInRow(g.grab().toImage(), 2);
    QVERIFY2(std::abs(half - 123) <= 2, qPrintable(QString::number(half)));
    g.SetProgress(4);
    QVERIFY(BlackPixelsInRow(g.grab().toImage(), 2) >= 244);
  }

  void gridViewShowsRowZeroAsHeader() {
    TextGrid m(3, 3);
    m.SetRow(0, {"Grid name", "Class", "Cell count"});
    m.SetRow(1, {"soil", "1", "120"});
    m.SetRow(2, {"soil", "2", "80"});
    m.SetColWidth(0, 92);
    m.SetColWidth(2, 60);
    TStringGridView v(m);
    v.Refresh();
    QCOMPARE(v.rowCount(), 2);
    QCOMPARE(v.HeaderText(2), QString("Cell count"));
    QCOMPARE(v.CellText(0, 0), QString("soil"));
    QCOMPARE(v.CellText(1, 2), QString("80"));
    // Widths are minimums: "Grid name" fits in 92, "Cell count" needs more than 60.
    QCOMPARE(v.columnWidth(0), 92);
    QVERIFY(v.columnWidth(2) > 60);
    QVERIFY(v.columnWidth(2) >= v.horizontalHeader()->sectionSizeHint(2));
    QCOMPARE(v.ModelRow(1), 2);

    // The engine shrinks and refills the model; the view follows on Refresh.
    m.SetRowCount(2);
    m.SetCell(2, 1, "121");
    v.Refresh();
    QCOMPARE(v.rowCount(), 1);
    QCOMPARE(v.CellText(0, 2), QString("121"));
    v.selectRow(0);
    QCOMPARE(v.SelectedModelRow(), 1);
  }

  void longGridViewShowsEveryTextWhole() {
    // A table too long to lay every text out is measured by its characters' advances: the
    // widest text (not the longest) and a text of other characters must still show whole.
    TextGrid m(3, 5001);
    m.SetRow(0, {"X", "Y", "Val"});
    for (int r = 1; r < m.RowCount(); ++r) m.SetRow(r, {std::to_string(181000 + r), "1111111111", "0.1234567"});
    m.SetCell(1, 2500, "44444444");  // fewer characters, wider in most fonts
    m.SetCell(2, 4000, "\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c");
    TStringGridView v(m);
    v.Refresh();
    QCOMPARE(v.rowCount(), 5000);
    QCOMPARE(v.CellText(3999, 2), QString::fromUtf8("\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c\xc3\x9c"));
    const QStringList cut = uitest::ElidedTexts(&v);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join('\n')));
  }

  void gridViewWithoutFixedRowShowsEveryRow() {
    TextGrid m(2, 2);
    m.fixedRows = 0;
    m.SetRow(0, {"a", "b"});
    m.SetRow(1, {"c", "d"});
    TStringGridView v(m);
    v.Refresh();
    QVERIFY(v.horizontalHeader()->isHidden());
    QCOMPARE(v.rowCount(), 2);
    QCOMPARE(v.CellText(0, 1), QString("b"));
    QCOMPARE(v.ModelRow(0), 0);
  }

  void radioGroupSelection() {
    TRadioGroup g("caption");
    g.resize(300, 60);
    g.SetItems({"one", "two", "three", "four"});
    QCOMPARE(g.ItemIndex(), -1);
    g.SetItemIndex(2);
    QCOMPARE(g.ItemIndex(), 2);
    g.SetItemIndex(-1);
    QCOMPARE(g.ItemIndex(), -1);
    QSignalSpy clicks(&g, &TRadioGroup::Click);
    g.SetItemIndex(1);
    QCOMPARE(clicks.count(), 0);  // only the user's clicks are reported
    g.SetColumns(2);
    const QList<QRadioButton*> radios = g.findChildren<QRadioButton*>();
    QCOMPARE(radios.size(), 4);
    // Two columns of two: items 0 and 1 on the left, 2 and 3 on the right.
    QCOMPARE(radios[1]->x(), radios[0]->x());
    QVERIFY(radios[2]->x() > radios[0]->x());
    QCOMPARE(radios[2]->y(), radios[0]->y());
  }

  void fileFiltersBecomeQtNameFilters() {
    QCOMPARE(QtNameFilters("Ascii-grid (*.asg, *.asc)|*.asg;*.asc"), QString("Ascii-grid (*.asg, *.asc) (*.asg *.asc)"));
    QCOMPARE(QtNameFilters("Text (*.txt)|*.txt|All files (*.*)|*.*"), QString("Text (*.txt) (*.txt);;All files (*.*) (*.*)"));
  }
};

int RunWidgetTests(int argc, char** argv) {
  WidgetTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_widgets.moc"
