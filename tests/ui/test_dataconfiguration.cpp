// Window tests of tab 1: picking grids, marking indicators, classifying, adding and deleting rows.
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPalette>
#include <QSpinBox>

#include "configfixture.h"
#include "render/qimage_canvas.h"
#include "ui/pictureview.h"
#include "uitests.h"

using namespace karvelo;
using namespace uitest;

namespace {

QColor ShownColour(ConfigWindow& t) { return t.w.cmbbxUniqueValues->lineEdit()->palette().color(QPalette::Base); }

QStringList ListEntries(ConfigWindow& t) {
  QStringList entries;
  for (int i = 0; i < t.w.cmbbxUniqueValues->count(); ++i) entries << t.w.cmbbxUniqueValues->itemText(i);
  return entries;
}

}  // namespace

class DataConfigurationTest : public QObject {
  Q_OBJECT
 private:
  QTemporaryDir dir_;
  fs::path dir() const { return fs::path(dir_.path().toStdString()); }

 private slots:
  void pickingAGridShowsItsRangeAndFewValues_data() {
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QString>("minText");
    QTest::addColumn<QString>("maxText");
    QTest::addColumn<QString>("listText");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("indicators");
    const QColor normal = QApplication::style()->standardPalette().color(QPalette::Base);
    QTest::newRow("observations") << "obs.asc" << "0" << "1" << "2 items" << QStringList{"0", "1"} << QColor(0, 128, 0) << true;
    QTest::newRow("continuous") << "soil.asc" << "0.3" << "10.7" << "" << QStringList{} << normal << true;
    QTest::newRow("six values") << "six.asc" << "1" << "6" << ">3 (first 3 given)" << QStringList{"1", "2", "3", "4"}
                                << QColor(255, 255, 0) << false;
  }
  void pickingAGridShowsItsRangeAndFewValues() {
    QFETCH(QString, grid);
    QFETCH(QString, minText);
    QFETCH(QString, maxText);
    QFETCH(QString, listText);
    QFETCH(QStringList, entries);
    QFETCH(QColor, colour);
    QFETCH(bool, indicators);
    WriteObservationGrid(dir());
    WriteSoilGrid(dir());
    WriteGrid(dir() / "six.asc", {{"1", "2", "3"}, {"4", "5", "6"}});
    ConfigWindow t;
    t.w.lblmin->setText("stale");
    t.pick(dir() / grid.toStdString());

    QCOMPARE(t.requests.size(), std::size_t{1});
    QCOMPARE(Q(t.requests[0].title), QString("Select new file from list"));
    QCOMPARE(Q(t.requests[0].filter), QString("Ascii-grid (*.asg, *.asc)|*.asg;*.asc|Rasters (*.tif, *.tiff, *.img, *.vrt, *.nc)|*.tif;*.tiff;*.img;*.vrt;*.nc"));
    QVERIFY(!t.requests[0].save);
    QCOMPARE(t.w.lblNewFile->text(), grid);
    QCOMPARE(t.ws().CurrentDataDef.FileName, (dir() / grid.toStdString()).string());
    QCOMPARE(t.w.lblmin->text(), minText);
    QCOMPARE(t.w.lblmax->text(), maxText);
    QCOMPARE(t.w.cmbbxUniqueValues->currentText(), listText);
    QCOMPARE(ListEntries(t), entries);
    QCOMPARE(ShownColour(t), colour);
    QCOMPARE(t.w.btbttnPresenceIndicator->isEnabled(), indicators);
    QCOMPARE(t.w.btbttnAbsenceIndicator->isEnabled(), indicators);
    QVERIFY(t.w.btbttnClassify->isEnabled());
    QVERIFY(!t.w.grpbxScan->isHidden());
    QVERIFY(!t.w.btbttnSubmit->isEnabled());
    QCOMPARE(t.w.stsbrPanel2->text(), QString("(idle)"));
    QCOMPARE(t.w.Gauge1->Progress(), 0);
    QVERIFY(t.messages.isEmpty());
  }

  void displayMapDecidesWhetherThePreviewIsDrawn() {
    WriteObservationGrid(dir());
    ConfigWindow t;
    const QImage blank = t.w.imgDataCanvas().Image().copy();
    t.w.chckbxNewFile->setChecked(false);
    t.pick(dir() / "obs.asc");
    QCOMPARE(t.w.imgDataCanvas().Image(), blank);
    t.w.chckbxNewFile->setChecked(true);
    t.pick(dir() / "obs.asc");
    QVERIFY(t.w.imgDataCanvas().Image() != blank);
  }

  void aCancelledOrRefusedPickLeavesTheScanBoxHidden() {
    WriteGrid(dir() / "huge.asc", {{"1"}}, 10, 1000, 10001);
    ConfigWindow t;
    QTest::mouseClick(t.w.bttnNewFile, Qt::LeftButton);  // no answer: cancelled
    QCOMPARE(t.w.lblNewFile->text(), QString("File name"));
    QVERIFY(t.messages.isEmpty());
    t.pick(dir() / "huge.asc");
    QCOMPARE(t.messages.size(), 1);
    QVERIFY(t.w.grpbxScan->isHidden());
    QCOMPARE(t.ws().CurrentDataDef.ncols, 10001);  // the header just read stays
    QCOMPARE(t.w.stsbrPanel2->text(), QString("(idle)"));
  }

  void aMissingGridIsReportedAndTheTabsStayUsable() {
    ConfigWindow t;
    // As a long step leaves it when it fails midway; the tab's controls are off with it, so the
    // handler is called as the step would have called it.
    t.w.tbcntrlMain->setEnabled(false);
    t.answers.push_back(dir() / "nowhere.asc");
    t.w.bttnNewFileClick();
    QCOMPARE(t.messages.size(), 1);
    QVERIFY(t.messages[0].contains("nowhere.asc"));
    QVERIFY(t.w.tbcntrlMain->isEnabled());
    QVERIFY(t.w.grpbxScan->isHidden());
  }

  void markingIndicatorsTakesValuesOutOfTheList() {
    WriteObservationGrid(dir());
    ConfigWindow t;
    t.pick(dir() / "obs.asc");
    t.selectUnique("1");
    t.click(t.w.btbttnPresenceIndicator);
    QCOMPARE(t.ws().CurrentDataDef.PositiveIndicatorValue, 1.0);
    QCOMPARE(t.ws().CurrentDataDef.NegativeIndicatorValue, -9999.0);
    QCOMPARE(ListEntries(t), QStringList{"0"});
    QVERIFY(!t.w.btbttnClassify->isEnabled());
    QVERIFY(t.w.btbttnSubmit->isEnabled());
    QVERIFY(t.w.btbttnAbsenceIndicator->isEnabled());

    // A typed number marks without a selected entry, so the list keeps what it has.
    t.typeUnique("0");
    t.click(t.w.btbttnAbsenceIndicator);
    QCOMPARE(t.ws().CurrentDataDef.NegativeIndicatorValue, 0.0);
    QCOMPARE(ListEntries(t), QStringList{"0"});
    QVERIFY(t.messages.isEmpty());
  }

  void aTextThatIsNoNumberIsRefused_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("count text") << "";  // the list's own "2 items"
    QTest::newRow("letters") << "one";
  }
  void aTextThatIsNoNumberIsRefused() {
    QFETCH(QString, typed);
    WriteObservationGrid(dir());
    ConfigWindow t;
    t.pick(dir() / "obs.asc");
    if (!typed.isEmpty()) t.typeUnique(typed);
    const double before = t.ws().CurrentDataDef.PositiveIndicatorValue;
    t.click(t.w.btbttnPresenceIndicator);
    QCOMPARE(t.messages, QStringList{"Select a value first!"});
    QCOMPARE(t.ws().CurrentDataDef.PositiveIndicatorValue, before);
    QVERIFY(!t.w.btbttnSubmit->isEnabled());
    QVERIFY(t.w.btbttnClassify->isEnabled());
  }

  void aTypedValueThatNoCellHoldsIsRefused() {
    WriteObservationGrid(dir());
    ConfigWindow t;
    t.pick(dir() / "obs.asc");
    t.typeUnique("2");
    t.click(t.w.btbttnPresenceIndicator);
    QCOMPARE(t.messages, QStringList{Q((dir() / "obs.asc").string() + ": no cell holds the value 2, so it cannot mark presences.")});
    QCOMPARE(t.ws().CurrentDataDef.PositiveIndicatorValue, -9999.0);
    QCOMPARE(ListEntries(t), (QStringList{"0", "1"}));
    QVERIFY(!t.w.btbttnSubmit->isEnabled());
  }

  void markingTheLastValueEmptiesTheList() {
    WriteGrid(dir() / "single.asc", {{"7", "-9999"}, {"7", "7"}});
    ConfigWindow t;
    t.pick(dir() / "single.asc");
    QCOMPARE(t.w.cmbbxUniqueValues->currentText(), QString("1 items"));
    t.selectUnique("7");
    t.click(t.w.btbttnPresenceIndicator);
    QCOMPARE(t.w.cmbbxUniqueValues->currentText(), QString("(empty)"));
    QCOMPARE(ShownColour(t), QColor(255, 255, 0));
    QCOMPARE(t.w.cmbbxUniqueValues->count(), 0);
    QVERIFY(!t.w.btbttnPresenceIndicator->isEnabled());
    QVERIFY(!t.w.btbttnAbsenceIndicator->isEnabled());
    // A new pick starts from a fresh list.
    t.pick(dir() / "single.asc");
    QCOMPARE(ListEntries(t), QStringList{"7"});
    QVERIFY(t.w.btbttnPresenceIndicator->isEnabled());
  }

  void classifyingTakesTheIndicatorsAway() {
    WriteObservationGrid(dir());
    ConfigWindow t;
    t.pick(dir() / "obs.asc");
    t.selectUnique("1");
    t.click(t.w.btbttnPresenceIndicator);
    // A mark switches Classify off; switched on again, the classification must still win over the mark.
    t.w.btbttnClassify->setEnabled(true);
    t.legendScript = [](TfrmLegend& legend) {
      legend.spndtLegendClasses->setValue(2);
      QTest::mouseClick(legend.btbttnLegendReady, Qt::LeftButton);
    };
    t.click(t.w.btbttnClassify);
    QCOMPARE(t.legendOpenings, 1);
    QVERIFY(!t.w.btbttnPresenceIndicator->isEnabled());
    QVERIFY(!t.w.btbttnAbsenceIndicator->isEnabled());
    t.click(t.w.btbttnSubmit);
    QCOMPARE(Q(t.table().Cell(8, 1)), QString("2"));
    QCOMPARE(Q(t.table().Cell(9, 1)), QString("-9999.000"));
    QCOMPARE(Q(t.table().Cell(10, 1)), QString("-9999.000"));
  }

  void closingTheClassificationWithoutReadyStillAllowsAdding() {
    WriteSoilGrid(dir());
    ConfigWindow t;
    t.pick(dir() / "soil.asc");
    t.click(t.w.btbttnClassify);  // closed at once
    QCOMPARE(t.ws().CurrentDataDef.NrClasses, 0);
    QVERIFY(t.w.btbttnSubmit->isEnabled());
  }

  // --- The classification window ---------------------------------------------------------------

  void theLegendProposesRoundedBoundsAtEveryOpening() {
    WriteSoilGrid(dir());
    ConfigWindow t;
    t.pick(dir() / "soil.asc");
    QStringList edits, labels;
    t.legendScript = [&](TfrmLegend& legend) {
      QCOMPARE(legend.spndtLegendClasses->value(), 8);  // the first opening offers 8 classes
      legend.spndtLegendClasses->setValue(4);
      for (int k = 1; k <= 4; ++k) {
        edits << legend.Edit[k - 1]->text();
        labels << legend.Label[k - 1]->text();
      }
      TypeAndLeave(legend.Edit[2], "5");
    };
    t.click(t.w.btbttnClassify);
    QCOMPARE(edits, QStringList({"0.30000", "2.40000", "4.80000", "7.20000"}));
    QCOMPARE(labels, QStringList({"2.40000", "4.80000", "7.20000", "10.70000"}));

    // The number of classes stays, the edit of the last opening does not.
    t.legendScript = [&](TfrmLegend& legend) {
      QCOMPARE(legend.spndtLegendClasses->value(), 4);
      QCOMPARE(legend.Edit[2]->text(), QString("4.80000"));
      QCOMPARE(legend.Label[1]->text(), QString("4.80000"));
    };
    t.click(t.w.btbttnClassify);
    QCOMPARE(t.legendOpenings, 2);
  }

  void theProposalDropDownFitsTheClassesToTheValues() {
    WriteSoilGrid(dir());
    ConfigWindow t;
    t.pick(dir() / "soil.asc");
    QStringList offered, edits, labels, logEdits;
    t.legendScript = [&](TfrmLegend& legend) {
      for (int i = 0; i < legend.cmbbxProposal->count(); ++i) offered << legend.cmbbxProposal->itemText(i);
      QCOMPARE(legend.cmbbxProposal->currentText(), QString("Rounded equal steps"));
      legend.spndtLegendClasses->setValue(4);
      legend.cmbbxProposal->setCurrentText("Equal counts (quantiles)");
      for (int k = 1; k <= 4; ++k) edits << legend.Edit[k - 1]->text(), labels << legend.Label[k - 1]->text();
      legend.spndtLegendClasses->setValue(2);
      legend.cmbbxProposal->setCurrentText("Logarithmic steps");
      for (int k = 1; k <= 2; ++k) logEdits << legend.Edit[k - 1]->text();
      legend.cmbbxProposal->setCurrentText("Equal counts (quantiles)");
      legend.spndtLegendClasses->setValue(4);
      QTest::mouseClick(legend.btbttnLegendReady, Qt::LeftButton);
    };
    t.click(t.w.btbttnClassify);
    QCOMPARE(offered, QStringList({"Rounded equal steps", "Equal counts (quantiles)", "Logarithmic steps", "Natural breaks"}));
    // Twelve values in four classes of three.
    QCOMPARE(edits, QStringList({"0.30000", "3.10000", "6.20000", "9.00000"}));
    QCOMPARE(labels, QStringList({"3.10000", "6.20000", "9.00000", "10.70000"}));
    QCOMPARE(logEdits, QStringList({"0.30000", "1.79165"}));
    // What "Ready" stores is what the window showed.
    QCOMPARE(t.ws().CurrentDataDef.NrClasses, 4);
    QCOMPARE(t.ws().CurrentDataDef.mclasses[2][karvelo::ClassLower], 6.2);

    // Mostly zeros and no value above 0 throughout: no logarithmic steps; the equal counts leave
    // 2 classes and the number shown drops, while the number asked for comes back with the next choice.
    WriteGrid(dir() / "zeros.asc", {{"0", "0", "0"}, {"0", "0", "5"}});
    t.pick(dir() / "zeros.asc");
    QStringList offeredZeros;
    int shownAfterDrop = 0, shownAfterBack = 0;
    t.legendScript = [&](TfrmLegend& legend) {
      for (int i = 0; i < legend.cmbbxProposal->count(); ++i) offeredZeros << legend.cmbbxProposal->itemText(i);
      QCOMPARE(legend.cmbbxProposal->currentText(), QString("Equal counts (quantiles)"));  // kept from the last opening
      shownAfterDrop = legend.spndtLegendClasses->value();
      QCOMPARE(legend.Edit[1]->text(), QString("5.00000"));
      QVERIFY(!legend.Edit[2]->isVisible());
      legend.cmbbxProposal->setCurrentText("Rounded equal steps");
      shownAfterBack = legend.spndtLegendClasses->value();
    };
    t.click(t.w.btbttnClassify);
    QCOMPARE(offeredZeros, QStringList({"Rounded equal steps", "Equal counts (quantiles)", "Natural breaks"}));
    QCOMPARE(shownAfterDrop, 2);
    QCOMPARE(shownAfterBack, 4);
  }

  void aRangeBeyondADoubleOpensNoClassification() {
    ConfigWindow t;
    WriteGrid(dir() / "huge.asc", {{"-1e308", "1.5e308"}});
    t.pick(dir() / "huge.asc");
    t.click(t.w.btbttnClassify);
    QCOMPARE(t.legendOpenings, 0);
    QVERIFY(!t.messages.isEmpty());
    QVERIFY(t.messages.last().contains("cannot be divided into classes"));
  }

  void onlyTheRowsOfTheChosenClassesShow_data() {
    QTest::addColumn<int>("n");
    QTest::newRow("two") << 2;
    QTest::newRow("twenty") << 20;
  }
  void onlyTheRowsOfTheChosenClassesShow() {
    QFETCH(int, n);
    WriteSoilGrid(dir());
    ConfigWindow t;
    t.pick(dir() / "soil.asc");
    t.legendScript = [n](TfrmLegend& legend) {
      legend.spndtLegendClasses->setValue(20);
      legend.spndtLegendClasses->setValue(n);
      for (int k = 1; k <= 20; ++k) {
        const bool shown = k <= n;
        QCOMPARE(legend.Edit[k - 1]->isVisible(), shown);
        QCOMPARE(legend.Separator[k - 1]->isVisible(), shown);
        QCOMPARE(legend.Label[k - 1]->isVisible(), shown);
      }
      // The last visible label holds the grid's maximum.
      QCOMPARE(legend.Label[n - 1]->text(), QString("10.70000"));
    };
    t.click(t.w.btbttnClassify);
  }

  void editedBoundsFollowOnLeavingOrOnEveryChange_data() {
    QTest::addColumn<int>("k");
    QTest::addColumn<bool>("followsOnExit");
    QTest::newRow("Edit2") << 2 << true;
    QTest::newRow("Edit3") << 3 << true;
    QTest::newRow("Edit4") << 4 << false;
    QTest::newRow("Edit5") << 5 << true;
    QTest::newRow("Edit6") << 6 << false;
    QTest::newRow("Edit20") << 20 << false;
  }
  void editedBoundsFollowOnLeavingOrOnEveryChange() {
    QFETCH(int, k);
    QFETCH(bool, followsOnExit);
    WriteSoilGrid(dir());
    ConfigWindow t;
    t.pick(dir() / "soil.asc");
    t.legendScript = [&](TfrmLegend& legend) {
      legend.spndtLegendClasses->setValue(20);  // lower bounds 0.3, 1, 1.5, ... 10 (k / 2 from class 2 on)
      QLabel* below = legend.Label[k - 2];
      const QString proposed = below->text();
      const QString typed = QString::number(k * 0.5 - 0.25);  // between its neighbours
      TypeOnly(legend.Edit[k - 1], typed);
      QCOMPARE(below->text(), followsOnExit ? proposed : typed);
      QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
      QApplication::sendEvent(legend.Edit[k - 1], &out);
      QCOMPARE(below->text(), typed);
      QVERIFY(t.messages.isEmpty());
      // A text that is no number, or a bound not above the one below, is refused at the field:
      // the field and the label above it get back the last text that stood.
      TypeAndLeave(legend.Edit[k - 1], "x");
      QCOMPARE(legend.Edit[k - 1]->text(), typed);
      QCOMPARE(below->text(), typed);
      QCOMPARE(t.messages.last(), QString("Class %1: the lower bound \"x\" is not a number.").arg(k));
      TypeAndLeave(legend.Edit[k - 1], "0");
      QCOMPARE(legend.Edit[k - 1]->text(), typed);
      QCOMPARE(below->text(), typed);
      QCOMPARE(t.messages.last(), QString("Class %1: the lower bound 0 is not above the lower bound %2 of class %3.")
                                      .arg(k).arg(legend.Edit[k - 2]->text()).arg(k - 1));
    };
    t.click(t.w.btbttnClassify);
  }

  void readyDoesNotStoreBoundsThatDoNotAscend() {
    WriteSoilGrid(dir());
    ConfigWindow t;
    t.pick(dir() / "soil.asc");
    bool stillOpen = false;
    t.legendScript = [&](TfrmLegend& legend) {
      legend.spndtLegendClasses->setValue(4);  // 0.3, 2.4, 4.8, 7.2, 10.7
      TypeAndLeave(legend.Edit[2], "9");       // above class 2's lower bound, beyond class 4's
      QVERIFY(t.messages.isEmpty());
      QTest::mouseClick(legend.btbttnLegendReady, Qt::LeftButton);
      stillOpen = legend.isVisible();
    };
    t.click(t.w.btbttnClassify);
    QVERIFY(stillOpen);
    QCOMPARE(t.messages.size(), 1);
    QCOMPARE(t.messages[0], QString("Class 3 runs from 9 to 7.2; a class's lower bound must lie below its upper bound."));
    QCOMPARE(t.ws().CurrentDataDef.NrClasses, 0);
  }

  void theHistogramOffersToAlignAGridOfAnotherExtent() {
    ScratchFolder scratch;
    ConfigWindow t;
    t.addObservations(WriteObservationGrid(scratch.path()));
    // The soil grid one cell further east.
    t.pick(WriteGrid(scratch.path() / "soil.asc",
                     {{"0.3", "1.5", "2.5", "3.1"}, {"4.4", "5.0", "6.2", "7.7"}, {"8.1", "9.0", "9.9", "10.7"}}, 10, 1010));
    QImage before, declined, drawn;
    t.askAnswers = {1, 0};  // "OK" first, then "Align to the observation grid"
    t.legendScript = [&](TfrmLegend& legend) {
      legend.spndtLegendClasses->setValue(2);
      before = legend.HistogramCanvas().Image().copy();
      QTest::mouseClick(legend.btbttnDrawHistogram, Qt::LeftButton);
      declined = legend.HistogramCanvas().Image().copy();
      QTest::mouseClick(legend.btbttnDrawHistogram, Qt::LeftButton);
      drawn = legend.HistogramCanvas().Image().copy();
    };
    t.click(t.w.btbttnClassify);
    QCOMPARE(t.questionButtons.size(), 2);
    QCOMPARE(t.questionButtons[0], QStringList({"Align to the observation grid", "OK"}));
    QCOMPARE(t.messages[0], QString("soil.asc does not cover the cells of the observation grid obs.asc:\n"
                                    "soil.asc: xllcorner 1010.00 differs from obs.asc: 1000.00\n"
                                    "The histogram counts both grids cell by cell, so they must share one extent: "
                                    "align the grid to the observation grid first."));
    QCOMPARE(declined, before);  // no bars from another area
    QVERIFY(drawn != before);
    const fs::path aligned = scratch.path() / "soil-aligned.asc";
    QVERIFY(fs::exists(aligned));
    QCOMPARE(t.ws().CurrentDataDef.FileName, aligned.string());
    QCOMPARE(t.ws().CurrentDataDef.xllcorner, 1000.0);
    QCOMPARE(t.ws().CurrentDataDef.NrClasses, 2);
    QCOMPARE(t.w.lblNewFile->text(), QString("soil-aligned.asc"));
    QCOMPARE(t.messages.size(), 2);
  }

  void theFirstLowerBoundHasNoLabelToFollowButIsStored() {
    WriteSoilGrid(dir());
    ConfigWindow t;
    t.pick(dir() / "soil.asc");
    t.legendScript = [](TfrmLegend& legend) {
      legend.spndtLegendClasses->setValue(4);
      QStringList before;
      for (QLabel* l : legend.Label) before << l->text();
      TypeAndLeave(legend.Edit[0], "0.1");
      QStringList after;
      for (QLabel* l : legend.Label) after << l->text();
      QCOMPARE(after, before);
      QTest::mouseClick(legend.btbttnLegendReady, Qt::LeftButton);
    };
    t.click(t.w.btbttnClassify);
    QCOMPARE(t.ws().CurrentDataDef.mclasses[0][ClassLower], 0.1);
  }

  void readyStoresTheClassesWithTheLastBoundRaised() {
    WriteSoilGrid(dir());
    ConfigWindow t;
    t.pick(dir() / "soil.asc");
    t.legendScript = [](TfrmLegend& legend) {
      legend.spndtLegendClasses->setValue(4);
      TypeOnly(legend.Edit[2], "5");  // still in the field when Ready is pressed
      QTest::mouseClick(legend.btbttnLegendReady, Qt::LeftButton);
    };
    t.click(t.w.btbttnClassify);
    const TDataDef& def = t.ws().CurrentDataDef;
    QCOMPARE(def.NrClasses, 4);
    const double expected[4][2] = {{0.3, 2.4}, {2.4, 5}, {5, 7.2}, {7.2, 10.7 * 1.01}};
    for (int k = 0; k < 4; ++k) {
      QCOMPARE(def.mclasses[k][ClassLower], expected[k][0]);
      QCOMPARE(def.mclasses[k][ClassUpper], expected[k][1]);
    }
    QVERIFY(!t.w.frmLegend()->isVisible());
  }

  void theHistogramNeedsAPresenceGridAndStoresTheClasses() {
    WriteSoilGrid(dir());
    ConfigWindow t;
    t.pick(dir() / "soil.asc");
    t.legendScript = [](TfrmLegend& legend) {
      legend.spndtLegendClasses->setValue(3);
      QTest::mouseClick(legend.btbttnDrawHistogram, Qt::LeftButton);
    };
    t.click(t.w.btbttnClassify);
    QCOMPARE(t.messages.size(), 1);
    QVERIFY(t.messages[0].startsWith("The program reports and error. \n"));
    // Drawing stores first, so closing without "Ready" keeps the classes.
    QCOMPARE(t.ws().CurrentDataDef.NrClasses, 3);
  }

  void theHistogramIsDrawnAgainstTheLastPresenceGrid() {
    WriteObservationGrid(dir());
    WriteSoilGrid(dir());
    ConfigWindow t;
    t.addObservations(dir() / "obs.asc");
    t.pick(dir() / "soil.asc");
    QImage before, after;
    t.legendScript = [&](TfrmLegend& legend) {
      legend.spndtLegendClasses->setValue(2);
      before = legend.HistogramCanvas().Image().copy();
      QTest::mouseClick(legend.btbttnDrawHistogram, Qt::LeftButton);
      after = legend.HistogramCanvas().Image().copy();
    };
    t.click(t.w.btbttnClassify);
    QVERIFY2(t.messages.isEmpty(), qPrintable(t.messages.join("|")));
    QCOMPARE(after.size(), QSize(kHistogramWidth, kHistogramHeight));
    QVERIFY(after != before);
    // Green presence bars and red absence bars are both there.
    bool green = false, red = false;
    for (int y = 0; y < after.height(); ++y) {
      for (int x = 0; x < after.width(); ++x) {
        green = green || after.pixelColor(x, y) == QColor(0, 128, 0);
        red = red || after.pixelColor(x, y) == QColor(255, 0, 0);
      }
    }
    QVERIFY(green && red);
    QCOMPARE(t.ws().CurrentDataDef.NrClasses, 2);
  }

  // --- The configuration table -----------------------------------------------------------------

  void addingAndDeletingRowsKeepsTableSlotsAndSaveButtonInStep() {
    WriteObservationGrid(dir());
    WriteSoilGrid(dir());
    WriteSoilGrid(dir(), "dist.asc");
    ConfigWindow t;
    QCOMPARE(t.w.strgrdDataConfiguration->contextMenuPolicy(), Qt::NoContextMenu);
    QVERIFY(!t.w.Deletethisline1->isEnabled());
    QVERIFY(t.w.strgrdDataConfiguration->toolTip().isEmpty());

    t.addObservations(dir() / "obs.asc");
    QCOMPARE(t.ws().DataDefCount, 1);
    QCOMPARE(t.w.strgrdDataConfiguration->rowCount(), 1);
    QCOMPARE(t.w.strgrdDataConfiguration->CellText(0, 0), Q((dir() / "obs.asc").string()));
    QCOMPARE(t.w.strgrdDataConfiguration->toolTip(), QString("Select 1 line and press right mouse key to delete this line"));
    QCOMPARE(t.w.strgrdDataConfiguration->contextMenuPolicy(), Qt::CustomContextMenu);
    QVERIFY(t.w.Deletethisline1->isEnabled());
    QCOMPARE(t.w.Deletethisline1->text(), QString("Delete this line"));
    QVERIFY(t.w.pppmnDataConfiguration->actions().contains(t.w.Deletethisline1));
    // After an addition a new file must be picked first.
    for (QPushButton* b : {t.w.btbttnPresenceIndicator, t.w.btbttnAbsenceIndicator, t.w.btbttnClassify, t.w.btbttnSubmit}) {
      QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
    }
    QVERIFY(!t.w.btbttnConfigurationFile->isEnabled());  // no classified grid yet

    t.addClassified(dir() / "soil.asc", 3);
    QVERIFY(t.w.btbttnConfigurationFile->isEnabled());
    t.addClassified(dir() / "dist.asc", 2);
    QCOMPARE(t.w.strgrdDataConfiguration->rowCount(), 3);

    // Deleting the presence grid moves the others up and takes the save button away.
    t.w.strgrdDataConfiguration->selectRow(0);
    t.w.Deletethisline1->trigger();
    QCOMPARE(t.ws().DataDefCount, 2);
    QCOMPARE(t.ws().PresenceDefIndex, 0);
    QCOMPARE(t.ws().DataDef(1).FileName, (dir() / "soil.asc").string());
    QCOMPARE(t.ws().DataDef(2).FileName, (dir() / "dist.asc").string());
    QVERIFY(!t.ws().DataDefs[3].has_value());
    QCOMPARE(t.w.strgrdDataConfiguration->rowCount(), 2);
    QCOMPARE(t.w.strgrdDataConfiguration->CellText(0, 0), Q((dir() / "soil.asc").string()));
    QCOMPARE(t.w.strgrdDataConfiguration->CellText(1, 8), QString("2"));
    QVERIFY(!t.w.btbttnConfigurationFile->isEnabled());

    t.w.strgrdDataConfiguration->selectRow(1);
    t.w.Deletethisline1->trigger();
    t.w.strgrdDataConfiguration->selectRow(0);
    t.w.Deletethisline1->trigger();
    QCOMPARE(t.ws().DataDefCount, 0);
    QCOMPARE(t.w.strgrdDataConfiguration->rowCount(), 0);
    QCOMPARE(t.table().RowCount(), 1);
    QCOMPARE(Q(t.table().Cell(0, 0)), QString("File Name"));
    QVERIFY(!t.w.Deletethisline1->isEnabled());
    QCOMPARE(t.w.strgrdDataConfiguration->contextMenuPolicy(), Qt::NoContextMenu);
    QVERIFY(t.w.strgrdDataConfiguration->toolTip().isEmpty());
  }

  void theEleventhAdditionIsRefused() {
    WriteObservationGrid(dir());
    ConfigWindow t;
    t.w.chckbxNewFile->setChecked(false);
    for (int i = 0; i < 10; ++i) t.addObservations(dir() / "obs.asc", "1", nullptr);
    QVERIFY(t.messages.isEmpty());
    t.addObservations(dir() / "obs.asc", "1", nullptr);
    QCOMPARE(t.messages, QStringList{"Error: >10 data files attached."});
    QCOMPARE(t.ws().DataDefCount, 10);
    QCOMPARE(t.w.strgrdDataConfiguration->rowCount(), 10);
  }

  // Not a check: with KARVELO_SCREENSHOT_DIR set, saves tab 1 after a pick and an addition, and the
  // classification window after drawing a histogram.
  void saveScreenshots() {
    const QByteArray shots = qgetenv("KARVELO_SCREENSHOT_DIR");
    if (shots.isEmpty()) QSKIP("KARVELO_SCREENSHOT_DIR not set");
    WriteObservationGrid(dir());
    WriteSoilGrid(dir());
    ConfigWindow t;
    t.w.show();
    t.addObservations(dir() / "obs.asc");
    t.pick(dir() / "soil.asc");
    t.legendScript = [&](TfrmLegend& legend) {
      legend.spndtLegendClasses->setValue(12);
      QTest::mouseClick(legend.btbttnDrawHistogram, Qt::LeftButton);
      QVERIFY(legend.grab().save(QString(shots) + "/legend.png"));
      QTest::mouseClick(legend.btbttnLegendReady, Qt::LeftButton);
    };
    t.click(t.w.btbttnClassify);
    t.click(t.w.btbttnSubmit);
    t.pick(dir() / "obs.asc");
    QVERIFY(t.w.grab().save(QString(shots) + "/tab1-configuration.png"));
  }
};

int RunDataConfigurationTests(int argc, char** argv) {
  DataConfigurationTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_dataconfiguration.moc"
