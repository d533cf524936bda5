// Window test on the example data: tab 4's cross-validation and grid importance agree with karvelo-batch and their files.
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRadioButton>
#include <QScrollArea>
#include <QRegularExpression>
#include <cmath>
#include <QTableWidget>
#include <QTimer>

#include "configfixture.h"
#include "ui/frmfolds.h"
#include "ui/frminsight.h"
#include "ui/pictureview.h"
#include "ui/radiogroup.h"
#include "uitests.h"

using namespace karvelo;
using namespace uitest;

namespace {

const fs::path kExamples = fs::path(KARVELO_TEST_DATA) / ".." / ".." / "examples" / "meuse";
constexpr std::uint32_t kSeed = 20261209;

// The rows of a comma-separated file under its header.
QList<QStringList> CsvRows(const fs::path& file) {
  QList<QStringList> rows;
  const QStringList lines = Q(ReadBytes(file)).split("\r\n", Qt::SkipEmptyParts);
  for (qsizetype i = 1; i < lines.size(); ++i) rows << lines[i].split(',');
  return rows;
}

// A cell of the window against the file's number: the same value at the window's decimals, or
// both empty ("-" in the window).
void CompareNumber(const QString& shown, const QString& written, const QString& where) {
  if (written.isEmpty()) {
    QVERIFY2(shown == "-", qPrintable(where + ": " + shown));
    return;
  }
  const int decimals = static_cast<int>(shown.section('.', 1).size());
  QVERIFY2(decimals > 0, qPrintable(where + ": " + shown));
  QVERIFY2(std::abs(shown.toDouble() - written.toDouble()) <= 0.5 * std::pow(10.0, -decimals) + 1e-12,
           qPrintable(where + ": shown " + shown + ", written " + written));
}

void CheckPictureShown(TfrmInsight& window, const fs::path& file) {
  const QImage written(Q(file.string()));
  QVERIFY2(!written.isNull(), qPrintable(Q(file.string())));
  const QImage shown = window.imgPicture->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
  QVERIFY(shown == written.convertToFormat(QImage::Format_RGB32));
  // At full size, without scroll bars, and the window fits a 1024 x 768 screen.
  QVERIFY(window.scrllPicture->viewport()->width() >= written.width());
  QVERIFY(window.scrllPicture->viewport()->height() >= written.height());
  QVERIFY2(window.width() <= 1024 && window.height() <= 768 - 80, qPrintable(QString("%1 x %2").arg(window.width()).arg(window.height())));
  for (int c = 0; c < window.tblRows->columnCount(); ++c) {
    for (int r = 0; r < window.tblRows->rowCount(); ++r) {
      const QString text = window.tblRows->item(r, c)->text();
      QVERIFY2(window.tblRows->fontMetrics().horizontalAdvance(text) < window.tblRows->columnWidth(c), qPrintable(text));
    }
  }
}

}  // namespace

class InsightTest : public QObject {
  Q_OBJECT

  QString shots_ = QString::fromLocal8Bit(qgetenv("KARVELO_SCREENSHOT_DIR"));

  void shoot(QWidget& widget, const char* name) {
    if (shots_.isEmpty()) return;
    QVERIFY(widget.grab().save(shots_ + "/" + name + ".png"));
  }

 private slots:
  void crossValidationAndImportanceOnTheExampleData() {
    const QString batch = qEnvironmentVariable("KARVELO_BATCH");
    QVERIFY2(!batch.isEmpty(), "KARVELO_BATCH (the karvelo-batch binary) is not set");
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    for (const char* name : {"obs.asc", "dist.asc", "ffreq.asc", "soil.asc", "validation.txt"}) fs::copy_file(kExamples / name, dir / name);

    ConfigWindow t;
    TfrmKarvelo& w = t.w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    t.ws().FixedSeed = kSeed;
    // The folds dialog as the user fills it: 5 folds in spatial blocks of 8 cells.
    int foldDialogs = 0;
    const auto showModal = w.hooks.showModal;
    w.hooks.showModal = [&](QDialog& dialog) -> int {
      if (&dialog != w.frmFolds()) return showModal(dialog);
      ++foldDialogs;
      TfrmFolds& folds = *w.frmFolds();
      folds.show();
      folds.spndtFolds->setValue(5);
      folds.rdbttnBlocks->click();
      if (!folds.spndtBlockSize->isEnabled()) return QDialog::Rejected;  // the step does not run: the test fails below
      folds.spndtBlockSize->setValue(8);
      shoot(folds, "guide-4-folds");
      folds.bttnRun->click();
      return folds.result();
    };

    t.addObservations(dir / "obs.asc", "1", "0");
    t.addClassified(dir / "dist.asc", 8);
    const auto oneClassPerCode = [](TfrmLegend& legend) {
      TypeAndLeave(legend.Edit[0], "1");
      TypeAndLeave(legend.Edit[1], "2");
      TypeAndLeave(legend.Edit[2], "3");
    };
    t.addClassified(dir / "ffreq.asc", 3, oneClassPerCode);
    t.addClassified(dir / "soil.asc", 3, oneClassPerCode);
    // Both steps read the configuration's file: nothing to run before it is saved.
    QVERIFY(!w.btbttnCrossValidate->isEnabled() && !w.btbttnImportance->isEnabled());
    QVERIFY(w.btbttnCrossValidate->toolTip().startsWith("Save the configuration"));
    const fs::path config = dir / "meuse-configuration.txt";
    QVERIFY(t.save(config));
    QVERIFY(w.btbttnCrossValidate->isEnabled() && w.btbttnImportance->isEnabled());

    // Tab 3's priors: relative frequencies.
    w.tbcntrlMain->SetTabIndex(2);
    QTest::mouseClick(w.rdgrpPrior->findChild<QRadioButton*>("rdgrpPriorItem1"), Qt::LeftButton);
    w.chckbxErrorProp->setChecked(false);
    w.tbcntrlMain->SetTabIndex(3);
    t.click(w.btbttnCrossValidate);
    QCOMPARE(foldDialogs, 1);
    QVERIFY2(t.messages.isEmpty(), qPrintable(t.messages.join('\n')));
    TfrmInsight& cv = *w.frmCrossValidation();
    QVERIFY(QTest::qWaitForWindowExposed(&cv));
    // The step audited and submitted the configuration again: the map is a click away.
    QVERIFY(w.btbttnKarvelo->isEnabled());

    // karvelo-batch in a folder of its own, with the same seed, says the same.
    ScratchFolder other;
    QProcess process;
    process.start(batch, {"--seed", QString::number(kSeed), "--workdir", Q(other.path().string()), "cv", Q(config.string()), "--prior",
                          "frequency", "--folds", "5", "--split", "blocks", "--block-size", "8"});
    QVERIFY(process.waitForFinished(120000));
    QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
    const QStringList printed = QString::fromUtf8(process.readAllStandardOutput()).split('\n');
    const qsizetype at = printed.indexOf(QRegularExpression("^Cross-validation AUC .*"));
    QVERIFY(at >= 0);
    const QStringList shown = cv.mmLines->toPlainText().split('\n');
    QCOMPARE(shown[0], printed[at]);
    QVERIFY(shown[0].startsWith("Cross-validation AUC (5 folds, blocks of 8 cells): mean "));
    QCOMPARE(shown[1], printed[at - 1]);  // the priors' note
    // The per-fold table is the file's, and the picture the one written.
    const QList<QStringList> folds = CsvRows(dir / "Cross-validation.csv");
    QCOMPARE(cv.tblRows->rowCount(), 5);
    QCOMPARE(folds.size(), 5);
    for (int r = 0; r < 5; ++r) {
      for (int c = 0; c < 3; ++c) QCOMPARE(cv.tblRows->item(r, c)->text(), folds[r][c]);
      CompareNumber(cv.tblRows->item(r, 3)->text(), folds[r][3], QString("fold %1").arg(r + 1));
    }
    CheckPictureShown(cv, dir / "Folds.bmp");
    shoot(cv, "guide-4-cross-validation");
    cv.close();

    // With a validation file open the importance is scored on its points, without the dialog;
    // the cross-validation gives way to the evaluation.
    t.answers.push_back(dir / "validation.txt");
    t.click(w.bttbOpenValData);
    t.click(w.btbttnLoadValData);
    QVERIFY(!w.btbttnCrossValidate->isEnabled());
    // A cancel during the step: no results window, no table, and the audit comes next.
    QTimer::singleShot(0, &w, [&w] { QTest::mouseClick(w.bttnCancel, Qt::LeftButton); });
    t.click(w.btbttnImportance);
    QCOMPARE(w.stsbrPanel2->text(), QString("Cancelled."));
    QVERIFY(!w.frmImportance()->isVisible() && !w.frmImportance()->HasResult());
    QVERIFY(!fs::exists(dir / "Importance.csv"));
    QVERIFY(!w.btbttnKarvelo->isEnabled() && w.btbttnAudit->isEnabled());
    QVERIFY(w.btbttnImportance->isEnabled());
    t.click(w.btbttnImportance);
    QCOMPARE(foldDialogs, 1);
    QVERIFY2(t.messages.isEmpty(), qPrintable(t.messages.join('\n')));
    TfrmInsight& importance = *w.frmImportance();
    QVERIFY(QTest::qWaitForWindowExposed(&importance));
    QVERIFY(importance.mmLines->toPlainText().startsWith("Importance of the grids, scored on 52 validation points"));
    const QList<QStringList> rows = CsvRows(dir / "Importance.csv");
    QCOMPARE(importance.tblRows->rowCount(), 3);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(importance.tblRows->columnCount(), 6);
    // grid,auc_full,auc_without,auc_alone,loss,gain10_full,gain10_without,gain10_alone
    const int fileColumn[] = {0, 2, 3, 4, 6, 7};
    for (int r = 0; r < rows.size(); ++r) {
      QCOMPARE(importance.tblRows->item(r, 0)->text(), rows[r][0]);
      for (int c = 1; c < 6; ++c) CompareNumber(importance.tblRows->item(r, c)->text(), rows[r][fileColumn[c]], rows[r][0]);
    }
    CheckPictureShown(importance, dir / "Importance.bmp");
    shoot(importance, "guide-4-importance");
    importance.close();

    // A configuration changed on tab 1 is no longer its file's: both steps wait for a save.
    w.tbcntrlMain->SetTabIndex(0);
    w.strgrdDataConfiguration->selectRow(w.strgrdDataConfiguration->rowCount() - 1);
    w.Deletethisline1Click();
    QCOMPARE(t.ws().DataDefCount, 3);
    QVERIFY(!w.btbttnImportance->isEnabled());
    QVERIFY2(t.messages.isEmpty(), qPrintable(t.messages.join('\n')));
  }
};

int RunInsightTests(int argc, char** argv) {
  InsightTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_insight.moc"
