// Window tests of the configuration file buttons and the audit buttons of tab 2.
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>

#include "configfixture.h"
#include "ui/radiogroup.h"
#include "ui/tabcontrol.h"
#include "uitests.h"

using namespace karvelo;
using namespace uitest;

namespace {

const char* const kWorkflowButtons[] = {"bttnNewFile", "btbttnSubmit",      "btbttnConfigurationFile", "btbttnLoadConfig",
                                        "btbttnAudit", "btbttnSubmitFinal", "btbttnKarvelo",           "btbttnGraphicalAnalysis"};

std::vector<bool> ButtonStates(ConfigWindow& t) {
  std::vector<bool> states;
  for (const char* name : kWorkflowButtons) states.push_back(t.w.findChild<QPushButton*>(name)->isEnabled());
  return states;
}

std::vector<std::vector<std::string>> Rows(const TextGrid& table) {
  std::vector<std::vector<std::string>> rows;
  for (int r = 0; r < table.RowCount(); ++r) rows.push_back(table.Row(r));
  return rows;
}

QStringList FileLines(const fs::path& path) {
  QString text = Q(ReadBytes(path));
  text.replace("\r\n", "\n");
  if (text.endsWith('\n')) text.chop(1);
  return text.split('\n');
}

// A continuous grid of another range on the same extent as the observations.
fs::path WriteDistanceGrid(const fs::path& dir) {
  return WriteGrid(dir / "dist.asc", {{"12.5", "40", "80", "120"}, {"160", "200", "240", "280"}, {"320", "360", "400", "480"}});
}

// Observations and one grid of two classes, saved as "config.txt".
void SaveSmallConfiguration(ConfigWindow& t, const fs::path& dir, bool absences = true) {
  WriteObservationGrid(dir);
  WriteSoilGrid(dir);
  t.addObservations(dir / "obs.asc", "1", absences ? "0" : nullptr);
  t.addClassified(dir / "soil.asc", 2);
  QVERIFY(t.save(dir / "config.txt"));
}

}  // namespace

class ConfigFileTest : public QObject {
  Q_OBJECT
 private slots:
  void savingWritesTheFileAndMovesToTheAudit() {
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    ConfigWindow t;
    SaveSmallConfiguration(t, dir);

    const FileDialogRequest& request = t.requests.back();
    QVERIFY(request.save);
    QCOMPARE(Q(request.title), QString("Enter the name of the Configuration file"));
    QCOMPARE(Q(request.defaultExt), QString("txt"));
    QCOMPARE(Q(request.fileName), QString("Karvelo Config"));
    QCOMPARE(Q(request.filter), QString("Karvelo configuration file (*.txt)|*.txt"));
    QCOMPARE(fs::path(request.initialDir), fs::current_path());  // the first dialog opens in the working folder

    QCOMPARE(FileLines(dir / "config.txt").size(), qsizetype{13 + 13 + 2});
    QCOMPARE(t.w.tbcntrlMain->TabIndex(), 1);
    QVERIFY(!t.w.grpbxAudit->isHidden());
    QVERIFY(t.w.grpbxDefineData->isHidden());
    QCOMPARE(t.w.stsbrPanel1->text(), QString("Auditing data configuration"));
    QCOMPARE(t.w.stsbrPanel2->text(), QString("(Idle)"));
    QCOMPARE(t.w.Gauge1->Progress(), 0);
    QCOMPARE(t.w.lblConfigFileName->text(), QString("... config.txt"));
    QCOMPARE(t.w.Memo1->toPlainText().split('\n'), FileLines(dir / "config.txt"));
    QCOMPARE(ButtonStates(t), std::vector<bool>({true, true, true, true, true, false, false, false}));
    QVERIFY(t.messages.isEmpty());

    // The next save dialog opens in the folder of this save.
    fs::create_directory(dir / "other");
    QVERIFY(t.save(dir / "other" / "again.txt"));
    QCOMPARE(fs::path(t.requests.back().initialDir), dir);
    t.answers.push_back(std::nullopt);
    QTest::mouseClick(t.w.btbttnConfigurationFile, Qt::LeftButton);
    QCOMPARE(fs::path(t.requests.back().initialDir), dir / "other");
  }

  void anInconsistentConfigurationIsNotSaved_data() {
    QTest::addColumn<double>("cellsize");
    QTest::addColumn<double>("xll");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<QString>("differences");
    QTest::newRow("cell size") << 5.0 << 900.0 << "Cell sizes in the various grids are different:"
                               << "\nshifted.asc: xllcorner 900.00 differs from obs.asc: 1000.00"
                                  "\nshifted.asc: cellsize 5.00 differs from obs.asc: 10.00";
    // Two decimals would show the same corner: every digit is shown.
    QTest::newRow("corner") << 10.0 << 1000.001 << "xllcorner, yllcorner, ncols and/or nrows are different:"
                            << "\nshifted.asc: xllcorner 1000.001 differs from obs.asc: 1000";
  }
  void anInconsistentConfigurationIsNotSaved() {
    QFETCH(double, cellsize);
    QFETCH(double, xll);
    QFETCH(QString, firstLine);
    QFETCH(QString, differences);
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    WriteObservationGrid(dir);
    WriteGrid(dir / "shifted.asc", {{"0.5", "2", "3", "4"}, {"5", "6", "7", "8"}, {"9", "10", "11", "12"}}, cellsize, xll);
    ConfigWindow t;
    t.addObservations(dir / "obs.asc");
    t.addClassified(dir / "shifted.asc", 2);
    const std::size_t asked = t.requests.size();
    const auto states = ButtonStates(t);
    t.answers.push_back(dir / "config.txt");
    QTest::mouseClick(t.w.btbttnConfigurationFile, Qt::LeftButton);
    QCOMPARE(t.messages, QStringList{firstLine + "\nPrepare new and consistent grids and start anew!" + differences});
    QCOMPARE(t.requests.size(), asked);
    QVERIFY(!fs::exists(dir / "config.txt"));
    QCOMPARE(t.w.tbcntrlMain->TabIndex(), 0);
    QCOMPARE(t.w.stsbrPanel2->text(), QString("(Idle)"));
    QCOMPARE(ButtonStates(t), states);
  }

  void aCancelledSaveChangesNothing() {
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    WriteObservationGrid(dir);
    WriteSoilGrid(dir);
    ConfigWindow t;
    t.addObservations(dir / "obs.asc");
    t.addClassified(dir / "soil.asc", 2);
    const auto states = ButtonStates(t);
    const std::size_t logLines = t.w.runLog().Lines().size();
    QTest::mouseClick(t.w.btbttnConfigurationFile, Qt::LeftButton);  // no answer: cancelled
    QCOMPARE(t.w.tbcntrlMain->TabIndex(), 0);
    QCOMPARE(t.w.lblConfigFileName->text(), QString("Unknown"));
    QCOMPARE(ButtonStates(t), states);
    QCOMPARE(t.w.runLog().Lines().size(), logLines);
    QCOMPARE(t.w.stsbrPanel2->text(), QString("(Idle)"));
  }

  void aNewRunLoadsTheSavedConfiguration() {
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    std::vector<std::vector<std::string>> savedRows;
    {
      ConfigWindow first;
      SaveSmallConfiguration(first, dir);
      savedRows = Rows(first.table());
    }
    ConfigWindow t;
    t.load(dir / "config.txt");

    const FileDialogRequest& request = t.requests.back();
    QVERIFY(!request.save);
    QVERIFY(request.title.empty());
    QCOMPARE(Q(request.defaultExt), QString("*.txt"));
    QCOMPARE(Q(request.fileName), QString("Karvelo config"));
    QCOMPARE(Q(request.filter), QString("Karvelo configuration file (*.txt)|*.txt"));

    QVERIFY(t.messages.isEmpty());
    QCOMPARE(Rows(t.table()), savedRows);
    QCOMPARE(t.w.strgrdDataConfiguration->rowCount(), 2);
    QCOMPARE(t.w.strgrdDataConfiguration->CellText(1, 0), Q((dir / "soil.asc").string()));
    QCOMPARE(t.ws().DataDefCount, 2);
    QVERIFY(t.w.Deletethisline1->isEnabled());
    QVERIFY(!t.w.strgrdDataConfiguration->toolTip().isEmpty());
    QCOMPARE(t.w.lblConfigFileName->text(), QString("config.txt"));
    QCOMPARE(t.w.Memo1->toPlainText().split('\n'), FileLines(dir / "config.txt"));
    QCOMPARE(ButtonStates(t), std::vector<bool>({true, true, true, true, true, false, false, false}));
    QCOMPARE(t.w.stsbrPanel2->text(), QString("(Idle)"));
  }

  void aMalformedFileChangesNothing_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::newRow("file type") << "asciigrid" << "ascigrid";
    QTest::newRow("number of rows") << "     3    Number of rows" << "  three  Number of rows";
    QTest::newRow("class bound") << "     5.00000" << "     5.0x000";
    QTest::newRow("truncated") << "lower and upper bound of class  2" << "";
    QTest::newRow("control bytes") << "asciigrid" << "ascii\x1b[2J\x07grid";
    // Well formed, but not what the grids say, or marking nothing.
    QTest::newRow("columns not the grid's") << "     4    Number of columns" << "     5    Number of columns";
    QTest::newRow("one indicator for both") << "    0.00  Value of the indicator for absence" << "    1.00  Value of the indicator for absence";
  }
  void aMalformedFileChangesNothing() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    ConfigWindow t;
    SaveSmallConfiguration(t, dir);
    std::string text = ReadBytes(dir / "config.txt");
    const auto at = text.find(from.toStdString());
    QVERIFY(at != std::string::npos);
    text = to.isEmpty() ? text.substr(0, text.rfind("\r\n", at) + 2) : text.replace(at, from.size(), to.toStdString());
    std::ofstream(dir / "bad.txt", std::ios::binary) << text;

    // A window with another configuration and a state of its own.
    WriteDistanceGrid(dir);
    t.addClassified(dir / "dist.asc", 3);
    t.w.Status(3);
    const auto rows = Rows(t.table());
    const auto states = ButtonStates(t);
    const QString memo = t.w.Memo1->toPlainText();
    t.w.tbcntrlMain->setEnabled(false);  // as a failed long step leaves it
    t.answers.push_back(dir / "bad.txt");
    t.w.btbttnLoadConfigClick();

    QCOMPARE(t.messages.size(), 1);
    QVERIFY2(t.messages[0].contains("bad.txt"), qPrintable(t.messages[0]));
    // Control bytes from the file show escaped in the message box.
    QVERIFY(!t.messages[0].contains(QChar(0x1b)) && !t.messages[0].contains(QChar(0x07)));
    if (to.contains(QChar(0x1b))) QVERIFY2(t.messages[0].contains("\\x1b[2J\\x07"), qPrintable(t.messages[0]));
    QCOMPARE(Rows(t.table()), rows);
    QCOMPARE(t.ws().DataDefCount, 3);
    QCOMPARE(t.w.strgrdDataConfiguration->rowCount(), 3);
    QCOMPARE(ButtonStates(t), states);
    QCOMPARE(t.w.lblConfigFileName->text(), QString("... config.txt"));
    QCOMPARE(t.w.Memo1->toPlainText(), memo);
    QVERIFY(t.w.tbcntrlMain->isEnabled());
  }

  void auditFillsBothTablesAndSubmitMovesToMapping() {
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    ConfigWindow t;
    SaveSmallConfiguration(t, dir);
    t.w.strgrdChi2a->show();
    t.w.grpbxBayesOutput->show();
    t.click(t.w.btbttnAudit);

    QCOMPARE(t.messages.size(), 1);  // the audit's summary
    const TextGrid& freq = t.w.tables().Frequency;
    QCOMPARE(t.w.strgrdFrequency->rowCount(), 2);
    QCOMPARE(freq.fixedRows, 1);
    QCOMPARE(t.w.strgrdFrequency->HeaderText(2), QString("Cell count"));
    int cells = 0, presences = 0, absences = 0;
    for (int r = 0; r < 2; ++r) {
      QCOMPARE(t.w.strgrdFrequency->CellText(r, 0), QString("soil"));
      QCOMPARE(t.w.strgrdFrequency->CellText(r, 1), QString::number(r + 1));
      cells += t.w.strgrdFrequency->CellText(r, 2).toInt();
      presences += t.w.strgrdFrequency->CellText(r, 3).toInt();
      absences += t.w.strgrdFrequency->CellText(r, 4).toInt();
    }
    // Every soil cell lies in one of the two classes; the observation grid holds four 1s and five 0s.
    QCOMPARE(cells, 12);
    QCOMPARE(presences, 4);
    QCOMPARE(absences, 5);
    QCOMPARE(t.w.strgrdChi2->rowCount(), 1);
    QCOMPARE(t.w.strgrdChi2->CellText(0, 0), QString("soil.asc"));
    QCOMPARE(t.w.strgrdChi2->CellText(0, 1), QString("1"));
    QCOMPARE(ButtonStates(t), std::vector<bool>({true, true, true, true, true, true, false, true}));
    QVERIFY(t.w.strgrdChi2a->isHidden());
    QVERIFY(t.w.lblChi2test2->isHidden());
    QCOMPARE(t.w.stsbrPanel2->text(), QString("(Idle)"));

    t.click(t.w.btbttnSubmitFinal);
    QCOMPARE(t.messages.size(), 1);
    QVERIFY(fs::exists(dir / "karvelo-work" / "2-soil.txt"));
    QVERIFY(!fs::exists(dir / "soil.txt"));
    QCOMPARE(t.w.tbcntrlMain->TabIndex(), 2);
    QVERIFY(!t.w.grpbxMap->isHidden());
    QVERIFY(t.w.grpbxAudit->isHidden());
    QCOMPARE(t.w.stsbrPanel1->text(), QString("Mapping Bayesian probability"));
    QVERIFY(t.w.grpbxBayesOutput->isHidden());
    QVERIFY(t.w.lblMessage->isHidden());
    QVERIFY(t.w.rdgrpPrior->isEnabled());
    QCOMPARE(ButtonStates(t), std::vector<bool>({true, true, true, true, true, true, true, true}));
    t.w.FormClose();  // removes the work files
    QVERIFY(!fs::exists(dir / "soil.txt"));
  }

  void anAuditOfMissingGridsChangesNothing() {
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    ConfigWindow t;
    SaveSmallConfiguration(t, dir);
    fs::remove(dir / "soil.asc");
    const auto states = ButtonStates(t);
    t.click(t.w.btbttnAudit);
    QCOMPARE(t.messages, QStringList{QString::fromStdString("Not all gridfiles were found.\nMissing: " + (dir / "soil.asc").string() +
                                                            "\nReconstruct the data configuration file (tabsheet 1).")});
    QCOMPARE(ButtonStates(t), states);
    QCOMPARE(t.w.strgrdFrequency->rowCount(), 0);
  }

  void submittingWithoutAbsencesFixesThePriorChoice() {
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    ConfigWindow t;
    SaveSmallConfiguration(t, dir, false);
    t.w.rdgrpPrior->SetItemIndex(2);
    t.w.edtPriorP->setEnabled(false);
    t.w.edtPriorA->setEnabled(false);
    t.click(t.w.btbttnAudit);
    t.click(t.w.btbttnSubmitFinal);
    QVERIFY(t.ws().RandomAbsences);
    QVERIFY(!t.w.lblMessage->isHidden());
    QCOMPARE(t.w.lblMessage->text(), QString("Absences will be generated at random locations conditional on prior probabilities"));
    QCOMPARE(t.w.rdgrpPrior->ItemIndex(), 0);
    QVERIFY(!t.w.rdgrpPrior->isEnabled());
    QVERIFY(t.w.edtPriorP->isEnabled());
    QVERIFY(t.w.edtPriorA->isEnabled());
    // Before any map is drawn, tab 3 tells why the choice is fixed where the user points at it.
    QVERIFY(t.w.grpbxBayesOutput->isHidden());
    for (QWidget* w : std::initializer_list<QWidget*>{t.w.rdgrpPrior, t.w.edtPriorP, t.w.edtPriorA}) {
      QCOMPARE(w->toolTip(), t.w.lblMessage->text());
    }
    QCOMPARE(t.w.tbcntrlMain->TabIndex(), 2);
    QVERIFY(t.w.btbttnKarvelo->isEnabled());
    t.w.FormClose();
  }

  void theWindowWritesTheSameFileAsTheBatchTool() {
    const QString batch = qEnvironmentVariable("KARVELO_BATCH");
    if (batch.isEmpty()) QSKIP("KARVELO_BATCH (the karvelo-batch binary) not set");
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    WriteObservationGrid(dir);
    WriteSoilGrid(dir);
    WriteDistanceGrid(dir);
    ConfigWindow t;
    // Presence picked from the list, absence typed.
    t.pick(dir / "obs.asc");
    t.selectUnique("1");
    t.click(t.w.btbttnPresenceIndicator);
    t.typeUnique("0");
    t.click(t.w.btbttnAbsenceIndicator);
    t.click(t.w.btbttnSubmit);
    t.addClassified(dir / "soil.asc", 4, [](TfrmLegend& legend) { TypeAndLeave(legend.Edit[2], "5"); });
    t.addClassified(dir / "dist.asc", 3);
    QVERIFY(t.save(dir / "window.txt"));

    QProcess process;
    process.setWorkingDirectory(Q(dir.string()));
    process.start(batch, {"config", "--workdir", Q((dir / "batchrun").string()), "-o", Q((dir / "batch.txt").string()), "--obs",
                          Q((dir / "obs.asc").string()) + ":1:0", "--aux",
                          Q((dir / "soil.asc").string()) + ":0.30000,2.40000,5,7.20000,10.70000", "--aux",
                          Q((dir / "dist.asc").string()) + ":3"});
    QVERIFY(process.waitForFinished(30000));
    QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
    QCOMPARE(Q(ReadBytes(dir / "window.txt")), Q(ReadBytes(dir / "batch.txt")));
  }

  // Not a check: with KARVELO_SCREENSHOT_DIR set, saves tab 2 after an audit.
  void saveScreenshots() {
    const QByteArray shots = qgetenv("KARVELO_SCREENSHOT_DIR");
    if (shots.isEmpty()) QSKIP("KARVELO_SCREENSHOT_DIR not set");
    ScratchFolder scratch;
    ConfigWindow t;
    t.w.show();
    SaveSmallConfiguration(t, scratch.path());
    t.click(t.w.btbttnAudit);
    QVERIFY(t.w.grab().save(QString(shots) + "/tab2-audit.png"));
    t.w.FormClose();
  }
};

int RunConfigFileTests(int argc, char** argv) {
  ConfigFileTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_configfile.moc"
