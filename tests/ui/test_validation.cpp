// Window tests of tab 4: opening and screening validation data, import and sort, map lookup, ROC.
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QPixmap>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <algorithm>
#include <sstream>
#include <utility>

#include "configfixture.h"
#include "ui/frmevaluation.h"
#include "ui/frmmapviewer.h"
#include "ui/pictureview.h"
#include "uitests.h"

using namespace karvelo;
using namespace uitest;

namespace {

const char* const kValidationFilter = "Textfile (*.txt)|*.txt|Comma delimited file (*.csv)|*.csv|All files (*.*)|*.*";

// The probability map: 4 columns, 3 rows of 10 m from (1000, 2000), one cell without data.
const std::vector<std::vector<std::string>> kMap = {
    {"0.9", "0.8", "0.7", "0.65"}, {"0.3", "-9999", "0.6", "0.5"}, {"0.2", "0.25", "0.15", "0.1"}};

// Cell centres of the map, with a code; the record in the no-data cell and the one on the map's
// western edge have no value. File order is not the map's order.
const char* const kPoints =
    "X;Y;Val\n"
    "1005;2025;1\n"
    "1035;2005;0\n"
    "1015;2015;1\n"
    "1025;2025;0\n"
    "1000;2015;0\n"
    "1005;2005;0\n"
    "1015;2025;1\n"
    "1005;2015;1\n";
constexpr int kRecords = 8;
constexpr int kRecordsWithValue = 6;

fs::path WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// The map's text at the cell whose centre is (x, y).
QString MapValueAt(double x, double y) {
  const int col = static_cast<int>((x - 1000) / 10);
  const int row = static_cast<int>(kMap.size()) - 1 - static_cast<int>((y - 2000) / 10);
  return Q(kMap[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)]);
}

QString ViewCell(const TStringGridView* view, int row, int col) {
  return view->CellText(row, col).trimmed();
}

QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

bool IsDark(const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 64; }

// The cells of an ASCII grid after its six header lines.
std::vector<std::string> GridCells(const fs::path& grid) {
  std::istringstream in(ReadBytes(grid));
  std::string token;
  std::vector<std::string> cells;
  for (int skip = 0; skip < 12 && in >> token; ++skip) {
  }
  while (in >> token) cells.push_back(token);
  return cells;
}

// The binary map is 1 at or above `threshold`, 0 below, and keeps the map's no-data cells.
void CheckBinary(const fs::path& binary, double threshold) {
  const std::vector<std::string> cells = GridCells(binary);
  QCOMPARE(cells.size(), std::size_t{12});
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const std::string& value = kMap[i / 4][i % 4];
    const std::string expected = value == "-9999" ? value : std::stod(value) >= threshold ? "1" : "0";
    QVERIFY2(cells[i] == expected, qPrintable(QString("cell %1 of %2 at %3").arg(i).arg(Q(value)).arg(threshold)));
  }
}

// The window on tab 4 in a scratch folder, with its dialogs answered by the test.
struct ValidationWindow {
  ScratchFolder scratch;
  fs::path dir = scratch.path();
  ConfigWindow t;
  TfrmKarvelo& w = t.w;
  fs::path points = WriteText(dir / "points.txt", kPoints);
  fs::path map = WriteGrid(dir / "map.asc", kMap);

  ValidationWindow() { w.tbcntrlMain->SetTabIndex(3); }
  ~ValidationWindow() { w.FormClose(); }

  void open(const fs::path& file) {
    t.answers.push_back(file);
    t.click(w.bttbOpenValData);
  }
  void lookUp(const fs::path& grid) {
    t.answers.push_back(grid);
    t.click(w.btbttnPredMap);
  }
  // Screening, import and lookup of the standard points and map.
  void prepare() {
    open(points);
    t.click(w.btbttnLoadValData);
    lookUp(map);
  }
  bool shown(QWidget* widget) { return widget->isVisibleTo(&w); }
  const TStringGridView* table() { return w.strgrdValData; }
};

}  // namespace

class ValidationTest : public QObject {
  Q_OBJECT
 private slots:
  void atStartOnlyAFileCanBeOpenedAndTheColumnsTakeNoTyping() {
    ValidationWindow v;
    QVERIFY(v.w.bttbOpenValData->isEnabled());
    for (QPushButton* b : {v.w.btbttnLoadValData, v.w.btbttnPredMap, v.w.btbttnEvaluate}) QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
    for (QWidget* hidden : std::initializer_list<QWidget*>{v.w.mmValdata, v.w.strgrdValData, v.w.imgROC}) {
      QVERIFY2(!v.shown(hidden), qPrintable(hidden->objectName()));
    }
    for (QComboBox* box : {v.w.cmbbxFINDS, v.w.cmbbxNONFINDS}) {
      QVERIFY(box->isEditable());
      QCOMPARE(box->currentText(), QString("choose"));
    }
    for (QSpinBox* spin : {v.w.spndtX, v.w.spndtY, v.w.spndtVAL}) {
      QCOMPARE(spin->maximum(), 0);
      QCOMPARE(spin->value(), 0);
    }
    // Once a file gives the editors a range, the arrows move them and typed digits do not.
    v.open(v.points);
    QCOMPARE(v.w.spndtX->value(), 1);
    QTest::keyClicks(v.w.spndtX, "3");
    QCOMPARE(v.w.spndtX->value(), 1);
    QTest::keyClick(v.w.spndtX, Qt::Key_Up);
    QCOMPARE(v.w.spndtX->value(), 2);
    // The three places of the right-hand side are one.
    QCOMPARE(v.w.mmValdata->geometry(), v.w.strgrdValData->geometry());
    QCOMPARE(v.w.imgROC->geometry(), v.w.strgrdValData->geometry());
    QCOMPARE(v.w.imgROC->size(), QSize(350, 350));
  }

  void openingAFileScreensItAndProposesColumnsAndCodes() {
    ValidationWindow v;
    v.open(v.points);
    QVERIFY(v.t.messages.isEmpty());
    QCOMPARE(Q(v.t.requests.back().filter), QString(kValidationFilter));
    QCOMPARE(v.w.grpbxValidateA->title(), QString(" a: Validation data (from:points.txt) "));
    QVERIFY(v.shown(v.w.mmValdata));
    QVERIFY(!v.shown(v.w.strgrdValData));
    QCOMPARE(v.w.mmValdata->toPlainText(), QString(kPoints).trimmed());

    // One header line names the three columns; the editors are limited to the fields found.
    const std::pair<QSpinBox*, int> columns[] = {{v.w.spndtX, 1}, {v.w.spndtY, 2}, {v.w.spndtVAL, 3}};
    for (const auto& [spin, column] : columns) {
      QCOMPARE(spin->value(), column);
      QCOMPARE(spin->minimum(), 1);
      QCOMPARE(spin->maximum(), 3);
    }
    // Both lists offer the codes in file order, FINDS the first and NON-FINDS the second.
    QCOMPARE(Items(v.w.cmbbxFINDS), (QStringList{"1", "0"}));
    QCOMPARE(Items(v.w.cmbbxNONFINDS), Items(v.w.cmbbxFINDS));
    QCOMPARE(v.w.cmbbxFINDS->currentText(), QString("1"));
    QCOMPARE(v.w.cmbbxNONFINDS->currentText(), QString("0"));
    QVERIFY(v.w.btbttnLoadValData->isEnabled());
    QVERIFY(!v.w.btbttnPredMap->isEnabled());
    QCOMPARE(v.w.runLog().Lines().back(), "File with validation data loaded: " + v.points.string());

    // Cancelling the dialog later changes nothing.
    v.t.answers.push_back(std::nullopt);
    QTest::mouseClick(v.w.bttbOpenValData, Qt::LeftButton);
    QCOMPARE(v.w.grpbxValidateA->title(), QString(" a: Validation data (from:points.txt) "));
    QVERIFY(v.w.btbttnLoadValData->isEnabled());
  }

  void movingTheCodeColumnRefillsBothLists() {
    ValidationWindow v;
    const fs::path kinds = WriteText(v.dir / "kinds.csv", "X,Y,Val,Kind\n1005,2025,1,7\n1015,2025,0,5\n1025,2025,1,7\n");
    v.open(kinds);
    QCOMPARE(v.w.spndtVAL->value(), 3);
    QCOMPARE(v.w.spndtVAL->maximum(), 4);
    QTest::keyClick(v.w.spndtVAL, Qt::Key_Up);
    QCOMPARE(v.w.validationFile().ValColVal, 4);
    QCOMPARE(Items(v.w.cmbbxFINDS), (QStringList{"7", "5"}));
    QCOMPARE(Items(v.w.cmbbxNONFINDS), (QStringList{"7", "5"}));
    QCOMPARE(v.w.cmbbxFINDS->currentText(), QString("7"));
    QCOMPARE(v.w.cmbbxNONFINDS->currentText(), QString("5"));
    QTest::keyClick(v.w.spndtVAL, Qt::Key_Down);
    QCOMPARE(Items(v.w.cmbbxFINDS), (QStringList{"1", "0"}));
    // The X column holds one value per record: a list of them all, the first proposed twice.
    QTest::keyClick(v.w.spndtVAL, Qt::Key_Down);
    QTest::keyClick(v.w.spndtVAL, Qt::Key_Down);
    QCOMPARE(v.w.spndtVAL->value(), 1);
    QCOMPARE(Items(v.w.cmbbxFINDS), (QStringList{"1005", "1015", "1025"}));
    QCOMPARE(v.w.cmbbxNONFINDS->currentText(), QString("1015"));
  }

  void importShowsTheRecordsSortedUnderTheirHeader() {
    ValidationWindow v;
    v.open(v.points);
    v.t.click(v.w.btbttnLoadValData);
    QVERIFY(v.t.messages.isEmpty());
    QVERIFY(!v.shown(v.w.mmValdata));
    QVERIFY(v.shown(v.w.strgrdValData));
    QVERIFY(v.shown(v.w.Gauge1));
    QVERIFY(v.w.btbttnPredMap->isEnabled());
    QVERIFY(!v.w.btbttnEvaluate->isEnabled());

    // The header line is the table's fixed row, the records follow below it.
    const TStringGridView* table = v.table();
    QCOMPARE(v.w.tables().ValData.fixedRows, 1);
    QVERIFY(!table->horizontalHeader()->isHidden());
    QCOMPARE(table->HeaderText(0), QString("X"));
    QCOMPARE(table->HeaderText(2), QString("Val"));
    QCOMPARE(table->rowCount(), kRecords);

    // North to south, then west to east; the same records as the file.
    QStringList fromFile = QString(kPoints).split('\n', Qt::SkipEmptyParts).mid(1);
    QStringList shown;
    for (int r = 0; r < table->rowCount(); ++r) {
      shown << ViewCell(table, r, 0) + ";" + ViewCell(table, r, 1) + ";" + ViewCell(table, r, 2);
      if (r == 0) continue;
      const double y0 = ViewCell(table, r - 1, 1).toDouble(), y1 = ViewCell(table, r, 1).toDouble();
      QVERIFY2(y0 > y1 || (y0 == y1 && ViewCell(table, r - 1, 0).toDouble() < ViewCell(table, r, 0).toDouble()),
               qPrintable(shown.join(" | ")));
    }
    fromFile.sort();
    shown.sort();
    QCOMPARE(shown, fromFile);
  }

  void importReadsTheEditorsAndKeepsEveryHeaderRowFixed() {
    ValidationWindow v;
    const fs::path twoHeaders = WriteText(v.dir / "survey.txt", "Survey of 2024\nX Y Val\n10 20 1\n30 40 0\n");
    v.open(twoHeaders);
    // X and Y exchanged before the import.
    QTest::keyClick(v.w.spndtX, Qt::Key_Up);
    QTest::keyClick(v.w.spndtY, Qt::Key_Down);
    QCOMPARE(v.w.spndtX->value(), 2);
    QCOMPARE(v.w.spndtY->value(), 1);
    v.t.click(v.w.btbttnLoadValData);

    const TStringGridView* table = v.table();
    QCOMPARE(v.w.tables().ValData.fixedRows, 2);
    QCOMPARE(table->rowCount(), 3);
    // The second header row is shown as fixed: it cannot be selected like a record.
    QCOMPARE(ViewCell(table, 0, 0), QString("Y"));
    QVERIFY(!(table->model()->flags(table->model()->index(0, 0)) & Qt::ItemIsSelectable));
    QVERIFY(table->model()->flags(table->model()->index(1, 0)) & Qt::ItemIsSelectable);
    // Column 0 now holds the file's second field; sorted by it descending as Y.
    QCOMPARE(ViewCell(table, 1, 0), QString("40"));
    QCOMPARE(ViewCell(table, 1, 1), QString("30"));
    QCOMPARE(ViewCell(table, 2, 0), QString("20"));
  }

  void lookupAddsTheMapValuesDropsRecordsWithoutAndLeavesTabOneAlone() {
    ValidationWindow v;
    // Tab 1 has a grid of its own picked.
    const fs::path obs = WriteObservationGrid(v.dir);
    v.t.pick(obs);
    const TDataDef before = v.w.workspace().CurrentDataDef;
    const QStringList uniqueBefore = Items(v.w.cmbbxUniqueValues);
    const QString minBefore = v.w.lblmin->text();
    v.w.tbcntrlMain->SetTabIndex(3);

    v.prepare();
    QVERIFY2(v.t.messages.isEmpty(), qPrintable(v.t.messages.join("\n")));
    QCOMPARE(Q(v.t.requests.back().title), QString("Select new file from list"));
    QCOMPARE(Q(v.t.requests.back().filter), QString("Ascii-grid (*.asg, *.asc)|*.asg;*.asc"));

    const TStringGridView* table = v.table();
    QCOMPARE(table->HeaderText(3), QString("DataGridfile"));
    QCOMPARE(table->rowCount(), kRecordsWithValue);
    const QString complete = Q(ReadBytes(v.dir / "ValDataComplete.txt"));
    const QStringList lines = complete.split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), kRecordsWithValue);
    for (int r = 0; r < table->rowCount(); ++r) {
      const double x = ViewCell(table, r, 0).toDouble(), y = ViewCell(table, r, 1).toDouble();
      QVERIFY2(!(x == 1015 && y == 2015) && x != 1000, qPrintable(ViewCell(table, r, 0)));
      QCOMPARE(ViewCell(table, r, 3).toDouble(), MapValueAt(x, y).toDouble());
      // The file holds the table's records in the table's order.
      QStringList fields = lines[r].split(' ', Qt::SkipEmptyParts);
      QCOMPARE(fields.size(), 4);
      for (int c = 0; c < 4; ++c) QCOMPARE(fields[c], ViewCell(table, r, c));
    }

    // The map is tab 4's own; only the shared file label shows its name.
    QCOMPARE(v.w.lblNewFile->text(), QString("map.asc"));
    QCOMPARE(v.w.predictiveMap().FileName, v.map.string());
    QCOMPARE(v.w.predictiveMap().minvalue, 0.1);
    QCOMPARE(v.w.predictiveMap().maxvalue, 0.9);
    const TDataDef& after = v.w.workspace().CurrentDataDef;
    QCOMPARE(after.FileName, before.FileName);
    QCOMPARE(after.minvalue, before.minvalue);
    QCOMPARE(after.maxvalue, before.maxvalue);
    QCOMPARE(after.ncols, before.ncols);
    QCOMPARE(Items(v.w.cmbbxUniqueValues), uniqueBefore);
    QCOMPARE(v.w.lblmin->text(), minBefore);

    QVERIFY(v.w.btbttnEvaluate->isEnabled());
    QVERIFY(!v.shown(v.w.imgROC));
  }

  // What each step left out or took stands under the buttons: lines skipped, records dropped, codes.
  void theStepsNotesStandUnderTheButtons() {
    ValidationWindow v;
    v.open(WriteText(v.dir / "stray.txt", std::string(kPoints) + "\t\nend of data\n"));
    v.t.click(v.w.btbttnLoadValData);
    QCOMPARE(v.table()->rowCount(), kRecords);
    QVERIFY(v.shown(v.w.lblValNotes));
    QVERIFY2(v.w.lblValNotes->text().startsWith("2 lines were not read as records: lines 10, 11"), qPrintable(v.w.lblValNotes->text()));
    v.lookUp(v.map);
    QVERIFY2(v.w.lblValNotes->text().endsWith("Lookup in map.asc: 6 of 8 validation records kept, 2 dropped: 1 outside the map, "
                                              "1 on no-data cells"),
             qPrintable(v.w.lblValNotes->text()));
    v.t.click(v.w.btbttnEvaluate);
    for (int twice = 0; twice < 2; ++twice) v.t.click(v.w.btbttnEvaluate);
    QVERIFY2(v.w.lblValNotes->text().endsWith("\nFinds: code 1 (3 records); non-finds: code 0 (3 records)"), qPrintable(v.w.lblValNotes->text()));
    QCOMPARE(v.w.lblValNotes->text().count("Finds:"), 1);
    // A file with decimal commas is refused on opening and leaves the import off.
    v.t.messages.clear();
    v.open(WriteText(v.dir / "commas.txt", "X;Y;Val\n1005,5;2025,5;1\n1015,5;2015,5;0\n"));
    QCOMPARE(v.t.messages.size(), 1);
    QVERIFY2(v.t.messages[0].contains("decimal comma"), qPrintable(v.t.messages[0]));
    QVERIFY(!v.shown(v.w.lblValNotes));
  }

  void aMapThatCannotBeReadLeavesTheEvaluationOff() {
    ValidationWindow v;
    v.prepare();
    QVERIFY(v.w.btbttnEvaluate->isEnabled());
    const fs::path broken = WriteText(v.dir / "broken.asc", "ncols 4\r\nnrows 3\r\nxllcorner 1000\r\nyllcorner 2000\r\n"
                                                            "cellsize 10\r\nNODATA_value -9999\r\n0.5 abc 0.5 0.5\r\n");
    v.lookUp(broken);
    QVERIFY(!v.t.messages.isEmpty());
    QVERIFY(!v.w.btbttnEvaluate->isEnabled());
    QVERIFY(v.w.tbcntrlMain->isEnabled());
  }

  void evaluationDrawsAndSavesTheRocPicture() {
    ValidationWindow v;
    v.prepare();
    v.t.click(v.w.btbttnEvaluate);
    QVERIFY2(v.t.messages.isEmpty(), qPrintable(v.t.messages.join("\n")));
    QVERIFY(v.shown(v.w.imgROC));

    const fs::path saved = v.dir / "ROC of map.asc.bmp";
    QVERIFY(fs::exists(saved));
    const QImage picture = v.w.imgROC->Canvas().Image().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(picture.size(), QSize(350, 350));
    QCOMPARE(QImage(Q(saved.string())).convertToFormat(QImage::Format_RGB32), picture);

    // Finds at 0.9, 0.8, 0.3 and non-finds at 0.7, 0.2, 0.1 (the map's minimum): the curve
    // steps along sensitivity 2/3 (row 120) to 1 - specificity 1/3 (column 140), then up.
    QVERIFY(IsDark(picture, 90, 120));
    QVERIFY(IsDark(picture, 140, 70));
    QVERIFY(!IsDark(picture, 90, 70));
    QVERIFY(!IsDark(picture, 250, 200));
    // The frame around the plot, its right and bottom edges inside (340, 320), white beyond.
    QVERIFY(IsDark(picture, 40, 270) && IsDark(picture, 200, 319) && IsDark(picture, 339, 200));
    QVERIFY(!IsDark(picture, 342, 200) && !IsDark(picture, 200, 322));
    // "AUC = ..." written at (250, 290).
    int ink = 0;
    for (int y = 290; y < 305; ++y) {
      for (int x = 250; x < 340; ++x) ink += IsDark(picture, x, y) ? 1 : 0;
    }
    QVERIFY2(ink > 30, qPrintable(QString::number(ink)));
    const auto& lines = v.w.runLog().Lines();
    const auto roc = std::find(lines.begin(), lines.end(),
                               "ROC for " + v.map.string() + " using " + v.points.string() + " written to: <ROC of map.asc.bmp>");
    QVERIFY(roc != lines.end() && roc + 1 != lines.end());
    // 8 of the 9 pairs ordered: AUC 8/9; each side's components vary by 1/27, so the standard
    // error is sqrt(2) / 9 and the interval 8/9 -/+ 0.3080, clipped at 1.
    QCOMPARE(*(roc + 1), std::string("AUC 95% CI (DeLong) = [0.5809, 1.0000]"));
    // Beside the AUC: the threshold table, the Boyce index and the prediction-area intersection.
    QVERIFY(std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("Threshold (Youden's J): ", 0) == 0; }) != lines.end());
    QVERIFY(std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("Boyce index (continuous): ", 0) == 0; }) != lines.end());
    QVERIFY(fs::exists(v.dir / "Boyce of map.asc.txt"));
    QVERIFY(fs::exists(v.dir / "Prediction-area of map.asc.bmp"));
    QVERIFY(v.w.lblAucInterval->text().startsWith("AUC 95% CI (DeLong) = [0.5809, 1.0000]\nAUC 95% CI (bootstrap) = ["));
    QVERIFY(v.shown(v.w.lblAucInterval));
    QVERIFY(v.shown(v.w.imgGain));
    QVERIFY(v.w.lblGain->text().startsWith("Gain of map.asc:\nat 10% of the area: "));
    QVERIFY(fs::exists(v.dir / "Gain of map.asc.txt"));
    QVERIFY(fs::exists(v.dir / "Gain of map.asc.bmp"));

    // Opening a file again takes the later steps back.
    v.open(v.points);
    QVERIFY(!v.shown(v.w.imgROC));
    QVERIFY(!v.shown(v.w.imgGain));
    QVERIFY(!v.shown(v.w.lblAucInterval));
    QVERIFY(!v.w.btbttnPredMap->isEnabled());
    QVERIFY(!v.w.btbttnEvaluate->isEnabled());
  }

  void aFindsCodeWithoutFindsGivesTheMessageAndNoPicture() {
    ValidationWindow v;
    v.prepare();
    v.w.cmbbxFINDS->setEditText("7");
    v.t.click(v.w.btbttnEvaluate);
    QCOMPARE(v.t.messages.size(), 1);
    QVERIFY2(v.t.messages[0].contains("no find"), qPrintable(v.t.messages[0]));
    QVERIFY(!v.shown(v.w.imgROC));
    QVERIFY(!fs::exists(v.dir / "ROC of map.asc.bmp"));
    // The code of finds is read at every evaluation.
    v.w.cmbbxFINDS->setCurrentIndex(0);
    v.t.click(v.w.btbttnEvaluate);
    QCOMPARE(v.t.messages.size(), 1);
    QVERIFY(v.shown(v.w.imgROC));
  }

  // The results window shows what the evaluation wrote to the log, each picture at its own size,
  // and the binary map and the comparison chosen on the tab.
  void theResultsWindowShowsTheEvaluationWithItsChoices() {
    ValidationWindow v;
    v.prepare();
    QVERIFY(!v.w.btbttnResults->isEnabled());
    v.w.cmbbxBinary->setCurrentText("Youden's J");
    const fs::path second = WriteGrid(v.dir / "second.asc", {{"0.1", "0.8", "0.7", "0.65"}, {"0.3", "0.2", "0.6", "0.5"},
                                                             {"0.9", "0.25", "0.15", "0.4"}});
    v.t.answers.push_back(second);
    v.t.click(v.w.btbttnCompare);
    QVERIFY(v.w.btbttnCompare->isChecked());
    v.t.click(v.w.btbttnEvaluate);
    QVERIFY2(v.t.messages.isEmpty(), qPrintable(v.t.messages.join("\n")));
    QVERIFY(v.w.btbttnResults->isEnabled());
    // The gain thumbnail opens the window as the button does.
    emit v.w.imgGain->DoubleClicked();
    TfrmEvaluation& r = *v.w.frmEvaluation();
    QVERIFY(r.isVisible());

    // One row per threshold line of the log, cell for cell.
    QStringList logged;
    for (const std::string& line : v.w.runLog().Lines()) {
      if (line.rfind("Threshold (", 0) == 0) logged << Q(line);
    }
    QVERIFY(logged.size() >= 3);
    QCOMPARE(r.tblThresholds->rowCount(), logged.size());
    double youden = -1;
    for (int row = 0; row < r.tblThresholds->rowCount(); ++row) {
      auto cell = [&](int c) { return r.tblThresholds->item(row, c)->text(); };
      QCOMPARE(QString("Threshold (%1): %2, sensitivity %3, specificity %4, area %5, gain %6, p %7")
                   .arg(cell(0), cell(1), cell(2), cell(3), cell(4), cell(5), cell(6)),
               logged[row]);
      if (cell(0) == "Youden's J") youden = cell(1).toDouble();
    }
    QVERIFY(youden >= 0);
    CheckBinary(v.dir / "Binary of map.asc", youden);
    const QString lines = r.mmLines->toPlainText();
    QVERIFY2(lines.contains("\nBoyce index (continuous): ") && lines.contains("\nPrediction-area intersection: threshold ") &&
                 lines.contains("\nCompared with second.asc: AUC 0.8889 vs "),
             qPrintable(lines));

    // Every picture at 1:1; a saved one is the file's copy; the binary map opens in the viewer.
    QStringList captions;
    for (int i = 0; i < r.tbPictures->count(); ++i) captions << r.tbPictures->tabText(i);
    QCOMPARE(captions, (QStringList{"ROC", "Gain", "Boyce index", "Prediction-area", "Binary map"}));
    for (const EvaluationPicture& picture : r.Pictures()) {
      const QLabel* shown = r.tbPictures->findChild<QLabel*>(Q("img" + picture.caption));
      QVERIFY2(shown && !shown->pixmap().isNull(), qPrintable(Q(picture.file.string())));
      QCOMPARE(shown->pixmap().size(), QImage(Q(picture.file.string())).size());
    }
    r.tbPictures->setCurrentIndex(2);
    QVERIFY(!r.bttnOpenInViewer->isEnabled());
    v.t.answers.push_back(v.dir / "copy.bmp");
    v.t.click(r.bttnSavePicture);
    QCOMPARE(ReadBytes(v.dir / "copy.bmp"), ReadBytes(v.dir / "Boyce of map.asc.bmp"));
    r.tbPictures->setCurrentIndex(4);
    v.t.click(r.bttnOpenInViewer);
    QCOMPARE(v.w.frmMapViewer()->File(), v.dir / "Binary of map.asc");

    // A typed value cuts there; a text that is no number is refused before anything runs. The
    // second map is let go by a second press.
    v.t.click(v.w.btbttnCompare);
    QVERIFY(!v.w.btbttnCompare->isChecked());
    v.w.cmbbxBinary->setCurrentText("0.62");
    v.t.click(v.w.btbttnEvaluate);
    CheckBinary(v.dir / "Binary of map.asc", 0.62);
    QVERIFY(r.isVisible());
    QVERIFY(!r.mmLines->toPlainText().contains("Compared with"));
    v.w.cmbbxBinary->setCurrentText("0,62");
    v.t.click(v.w.btbttnEvaluate);
    QCOMPARE(v.t.messages.size(), 1);
    QVERIFY2(v.t.messages[0].contains("\"0,62\" is not a number"), qPrintable(v.t.messages[0]));
    QVERIFY(v.w.btbttnResults->isEnabled());
    // A new map takes the results away.
    v.lookUp(v.map);
    QVERIFY(!v.w.btbttnResults->isEnabled());
    QVERIFY(!r.isVisible());
  }

  void findsOnlyShowWhatThereIsAndSayWhyTheRocIsMissing() {
    ValidationWindow v;
    v.open(WriteText(v.dir / "finds.txt", "X;Y;Val\n1005;2025;1\n1015;2025;1\n1035;2005;1\n1025;2015;1\n"));
    v.t.click(v.w.btbttnLoadValData);
    v.lookUp(v.map);
    v.t.click(v.w.btbttnEvaluate);
    QVERIFY2(v.t.messages.isEmpty(), qPrintable(v.t.messages.join("\n")));
    QVERIFY(!v.shown(v.w.imgROC));
    v.t.click(v.w.btbttnResults);
    const TfrmEvaluation& r = *v.w.frmEvaluation();
    QCOMPARE(r.tblThresholds->rowCount(), 0);
    QCOMPARE(r.tbPictures->tabText(0), QString("Gain"));
    for (int i = 0; i < r.tbPictures->count(); ++i) QVERIFY(r.tbPictures->tabText(i) != "ROC");
    const QString lines = r.mmLines->toPlainText();
    QVERIFY2(lines.contains("finds only: the ROC and the AUC need non-finds") && lines.contains("Boyce index (continuous): "),
             qPrintable(lines));
  }

  // Not a check: with KARVELO_SCREENSHOT_DIR set, saves tab 4 after an evaluation.
  void saveScreenshots() {
    const QByteArray shots = qgetenv("KARVELO_SCREENSHOT_DIR");
    if (shots.isEmpty()) QSKIP("KARVELO_SCREENSHOT_DIR not set");
    ValidationWindow v;
    v.w.show();
    v.prepare();
    QVERIFY(v.w.grab().save(QString(shots) + "/tab4-table.png"));
    v.t.click(v.w.btbttnEvaluate);
    QVERIFY(v.w.grab().save(QString(shots) + "/tab4-roc.png"));
  }
};

int RunValidationTests(int argc, char** argv) {
  ValidationTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_validation.moc"
