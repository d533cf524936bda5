// Window tests of the main window: start-up state, workflow stages, tab changes, tables, layout.
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QDialog>
#include <QtTest>

#include "ui/frmabout.h"
#include "ui/frmevaluation.h"
#include "ui/frmweights.h"
#include "ui/frmfolds.h"
#include "ui/frminsight.h"
#include "ui/frmgraphicalanalysis.h"
#include "ui/frminfo.h"
#include "ui/frmlegend.h"
#include "ui/frmmapviewer.h"
#include <map>

#include "core/runlog.h"
#include "ui/frmkarvelo.h"
#include "ui/gauge.h"
#include "ui/radiogroup.h"
#include "ui/stringgridview.h"
#include "ui/tabcontrol.h"
#include "tablecheck.h"
#include "uitests.h"

using namespace karvelo;

namespace {

const char* const kButtons[] = {"bttnNewFile",  "btbttnSubmit",      "btbttnConfigurationFile", "btbttnLoadConfig",
                                "btbttnAudit", "btbttnSubmitFinal", "btbttnKarvelo",           "btbttnGraphicalAnalysis"};

// A window whose dialogs only record what they would have shown.
struct TestWindow {
  TfrmKarvelo w;
  QStringList messages;
  std::vector<MessageKind> kinds;
  std::vector<QDialog*> modals;
  TestWindow() {
    w.hooks.message = [this](const QString& text, MessageKind kind) {
      messages << text;
      kinds.push_back(kind);
    };
    w.hooks.chooseFile = [](const FileDialogRequest&) { return std::optional<std::filesystem::path>(); };
    w.hooks.ask = [this](const QString& text, const QStringList&, int fallback) {
      messages << text;
      return fallback;
    };
    w.hooks.showModal = [this](QDialog& d) {
      modals.push_back(&d);
      return 0;
    };
  }
  QPushButton* button(const char* name) { return w.findChild<QPushButton*>(name); }
  std::map<std::string, bool> enabledStates() {
    std::map<std::string, bool> states;
    for (const char* name : kButtons) states[name] = button(name)->isEnabled();
    return states;
  }
  void setAllButtons(bool enabled) {
    for (const char* name : kButtons) button(name)->setEnabled(enabled);
  }
};

// Expected enabled state per stage, in the order of kButtons; -1 = left as it was.
const std::map<int, std::array<int, 8>> kStages = {
    {0, {1, 0, 0, 1, 0, 0, 0, 0}},
    {1, {1, 1, 1, 1, 1, 0, 0, 0}},
    {3, {1, 1, 1, 1, 1, 1, 0, 1}},
    {4, {1, 1, 1, 1, 1, 1, 1, -1}},
};

void CheckHeaders(TStringGridView* view, const QStringList& headers, const std::vector<int>& widths) {
  QVERIFY(view);
  const TextGrid& m = view->Model();
  QCOMPARE(m.ColCount(), static_cast<int>(headers.size()));
  QCOMPARE(m.fixedRows, 1);
  QVERIFY(!view->horizontalHeader()->isHidden());
  for (int c = 0; c < headers.size(); ++c) {
    QCOMPARE(QString::fromStdString(m.Cell(c, 0)), headers[c]);
    QCOMPARE(view->HeaderText(c), headers[c]);
    QCOMPARE(m.ColWidth(c), widths[static_cast<std::size_t>(c)]);
    // The given width is a minimum; the header's text widens it where it needs more.
    QVERIFY(view->columnWidth(c) >= widths[static_cast<std::size_t>(c)]);
  }
  const QStringList cut = uitest::ElidedTexts(view);
  QVERIFY2(cut.isEmpty(), qPrintable(cut.join('\n')));
  QCOMPARE(view->rowCount(), m.RowCount() - 1);
}

// Whether w is one of the window's own controls rather than a part that Qt builds inside a
// scroll area or a tab row.
bool OwnControl(QWidget* w, QWidget* root) {
  if (w->objectName().isEmpty() || w->objectName().startsWith("qt_")) return false;
  for (QWidget* p = w->parentWidget(); p && p != root; p = p->parentWidget()) {
    if (qobject_cast<QAbstractScrollArea*>(p) || qobject_cast<QTabBar*>(p)) return false;
  }
  return true;
}

// The width a control needs to show its whole text.
int NeededWidth(QWidget* w) {
  if (auto* b = qobject_cast<QPushButton*>(w)) return b->fontMetrics().horizontalAdvance(b->text()) + 8;
  if (qobject_cast<QAbstractButton*>(w)) return w->sizeHint().width();
  if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().isEmpty() && !l->wordWrap()) return l->sizeHint().width();
  if (auto* g = qobject_cast<QGroupBox*>(w); g && !g->title().isEmpty()) return g->fontMetrics().horizontalAdvance(g->title()) + 16;
  return 0;
}

// Texts that do not fit their control, controls that stick out of their parent, and sibling
// controls that overlap inside a group box or directly on a dialog (the main window's tab pages
// lie on top of each other by design).
QStringList LayoutFaults(QWidget* root) {
  QStringList faults;
  QList<QWidget*> widgets;
  for (QWidget* w : root->findChildren<QWidget*>()) {
    if (w->window() == root && OwnControl(w, root)) widgets << w;
  }
  for (QWidget* w : widgets) {
    if (NeededWidth(w) > w->width()) {
      faults << QString("%1 clips its text (%2 > %3)").arg(w->objectName()).arg(NeededWidth(w)).arg(w->width());
    }
    QWidget* parent = w->parentWidget();
    if (parent != root && !parent->rect().contains(w->geometry())) faults << w->objectName() + " sticks out of " + parent->objectName();
  }
  for (QWidget* a : widgets) {
    for (QWidget* b : widgets) {
      if (a >= b || a->parentWidget() != b->parentWidget()) continue;
      const bool laidOut = qobject_cast<QGroupBox*>(a->parentWidget()) || (a->parentWidget() == root && qobject_cast<QDialog*>(root));
      if (!laidOut) continue;
      if (a->geometry().intersects(b->geometry())) faults << a->objectName() + " overlaps " + b->objectName();
    }
  }
  return faults;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void windowIsFixedSizeWithItsCaptionAndMenu() {
    TestWindow t;
    t.w.FormActivate();
    QCOMPARE(t.w.windowTitle(), QString(kMainCaption));
    QCOMPARE(t.w.centralWidget()->size(), QSize(798, 568));
    t.w.adjustSize();
    QCOMPARE(t.w.minimumSize(), t.w.maximumSize());
    const QList<QAction*> menus = t.w.menuBar()->actions();
    QCOMPARE(menus.size(), 1);
    QCOMPARE(menus[0]->text(), QString("Info"));
    const QList<QAction*> items = menus[0]->menu()->actions();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0]->objectName(), QString("Settings1"));
    QCOMPARE(items[0]->text(), QString("Settings"));
    QCOMPARE(items[1]->objectName(), QString("OpenRunReport1"));
    QCOMPARE(items[1]->text(), QString("Open run report"));
    QCOMPARE(items[2]->objectName(), QString("AboutKarvelo1"));
    QCOMPARE(items[2]->text(), QString("About Karvelo"));
    QCOMPARE(t.w.tbcntrlMain->TabCount(), 4);
  }

  void infoMenuOpensTheSecondaryWindowsModally() {
    TestWindow t;
    t.w.FormActivate();
    t.w.Settings1->trigger();
    t.w.AboutKarvelo1->trigger();
    QCOMPARE(t.modals.size(), std::size_t{2});
    QCOMPARE(static_cast<QObject*>(t.modals[0]), static_cast<QObject*>(t.w.frmINFO()));
    QCOMPARE(static_cast<QObject*>(t.modals[1]), static_cast<QObject*>(t.w.frmAbout()));
  }

  void startEnablesOnlyTheFirstSteps() {
    TestWindow t;
    t.setAllButtons(true);
    t.w.FormActivate();
    const auto states = t.enabledStates();
    for (int i = 0; i < 8; ++i) QCOMPARE(states.at(kButtons[i]), kStages.at(0)[static_cast<std::size_t>(i)] == 1);
  }

  void statusSetsEachStage_data() {
    QTest::addColumn<int>("nr");
    QTest::addColumn<bool>("before");
    for (int nr : {0, 1, 3, 4}) {
      for (bool before : {false, true}) {
        QTest::addRow("stage %d from %s", nr, before ? "enabled" : "disabled") << nr << before;
      }
    }
  }
  void statusSetsEachStage() {
    QFETCH(int, nr);
    QFETCH(bool, before);
    TestWindow t;
    t.w.FormActivate();
    t.setAllButtons(before);
    t.w.Status(nr);
    const auto states = t.enabledStates();
    for (int i = 0; i < 8; ++i) {
      const int expected = kStages.at(nr)[static_cast<std::size_t>(i)];
      QCOMPARE(states.at(kButtons[i]), expected == -1 ? before : expected == 1);
    }
  }

  void otherStagesChangeNothing() {
    TestWindow t;
    t.w.FormActivate();
    t.w.Status(3);
    const auto before = t.enabledStates();
    for (int nr : {2, -1, 5, 99}) {
      t.w.Status(nr);
      QCOMPARE(t.enabledStates(), before);
    }
  }

  void tabChangeShowsOneGroupAndItsActivity_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("activity");
    QTest::newRow("define") << 0 << "grpbxDefineData" << "Defining data configuration";
    QTest::newRow("audit") << 1 << "grpbxAudit" << "Auditing data configuration";
    QTest::newRow("map") << 2 << "grpbxMap" << "Mapping Bayesian probability";
    QTest::newRow("validate") << 3 << "grpbxValidate" << "Validating prediction map";
  }
  void tabChangeShowsOneGroupAndItsActivity() {
    QFETCH(int, index);
    QFETCH(QString, group);
    QFETCH(QString, activity);
    TestWindow t;
    t.w.FormActivate();
    // Start from another tab with a busy status so every part of the change shows.
    t.w.tbcntrlMain->SetTabIndex((index + 1) % 4);
    t.w.status2("Working ...");
    t.w.gaugeRange(0, 10);
    t.w.gaugeProgress(7);
    t.w.tbcntrlMain->Bar()->setCurrentIndex(index);  // as a click on the tab does
    for (const char* name : {"grpbxDefineData", "grpbxAudit", "grpbxMap", "grpbxValidate"}) {
      QCOMPARE(!t.w.findChild<QGroupBox*>(name)->isHidden(), group == name);
    }
    QCOMPARE(t.w.stsbrPanel1->text(), activity);
    QVERIFY(t.w.stsbrPanel1->sizeHint().width() <= t.w.stsbrPanel1->width());
    QCOMPARE(t.w.stsbrPanel2->text(), QString("(Idle)"));
    QCOMPARE(t.w.Gauge1->Progress(), 0);
  }

  void startLaysOutTheFiveTables() {
    TestWindow t;
    t.w.FormActivate();
    CheckHeaders(t.w.strgrdDataConfiguration,
                 {"File Name", "File type", "ncols", "nrows", "xllcorner", "yllcorner", "cellsize", "NoData", "Classes", "Positive",
                  "Negative"},
                 {250, 48, 28, 28, 64, 64, 40, 48, 40, 40, 48});
    CheckHeaders(t.w.strgrdFrequency, {"Grid name", "Class", "Cell count", "Presences", "Absences"}, {92, 44, 60, 60, 60});
    CheckHeaders(t.w.strgrdChi2, {"Grid name", "degr fr.", "Chi2 presences", "Chi2 absences"}, {92, 44, 90, 90});
    CheckHeaders(t.w.strgrdChi2a, {"Grid name", "Class", "CP P", "CP A", "Chi2 + sign."}, {92, 44, 40, 40, 80});
    CheckHeaders(t.w.strgrdBayesTable, {"Grid Name", "Class", "Pres.(n)", "CP P", "Abs.(n)", "CP A", "Prior P"},
                 {92, 36, 40, 40, 40, 40, 40});
    QCOMPARE(t.w.tables().Chi2a.RowCount(), 1);
    QVERIFY(t.w.strgrdChi2a->isHidden());
    QVERIFY(t.w.lblChi2test2->isHidden());
  }

  void startResetsTheRunState() {
    TestWindow t;
    // Leave traces everywhere the start must clear.
    t.w.workspace().AddDataDef(TDataDef{});
    t.w.workspace().QuietAudit = true;
    t.w.Memo1->setPlainText("old configuration");
    t.w.registerWorkFile("/tmp/old.bin");
    t.w.chckbxErrorProp->setChecked(false);
    t.w.rdgrpConfLevel->setEnabled(false);
    t.w.tbcntrlMain->SetTabIndex(2);
    t.w.FormActivate();

    QCOMPARE(t.w.workspace().DataDefCount, 0);
    for (const auto& slot : t.w.workspace().DataDefs) QVERIFY(!slot.has_value());
    QVERIFY(!t.w.workspace().QuietAudit);
    QVERIFY(t.w.Memo1->toPlainText().isEmpty());
    QVERIFY(t.w.runLog().WorkFiles().empty());
    QVERIFY(t.w.chckbxErrorProp->isChecked());
    QCOMPARE(t.w.chckbxErrorProp->text(), QString("Consider uncertainty (bootstrapping and error propagation)"));
    QVERIFY(t.w.rdgrpConfLevel->isEnabled());
    QCOMPARE(t.w.lblConfigFileName->text(), QString("Unknown"));
    QCOMPARE(t.w.tbcntrlMain->TabIndex(), 0);
    QVERIFY(!t.w.grpbxDefineData->isHidden());
    QVERIFY(t.w.grpbxMap->isHidden());
    QCOMPARE(t.w.stsbrPanel0->text(), QString("Current activity:"));
    QCOMPARE(t.w.stsbrPanel1->text(), QString("Defining data configuration"));

    TRadioGroup* conf = t.w.rdgrpConfLevel;
    QCOMPARE(conf->title(), QString(" Minimal evidence level filter: show only ... evidence "));
    QCOMPARE(conf->Items(), QStringList({"(all)", "vweak", "weak", "mod", "strong", "vstrong"}));
    QCOMPARE(conf->ItemIndex(), 0);
    QCOMPARE(conf->Columns(), 6);
    // Six columns: all items on one line, left to right.
    const QList<QRadioButton*> radios = conf->findChildren<QRadioButton*>();
    QCOMPARE(radios.size(), 6);
    for (int i = 1; i < 6; ++i) {
      QCOMPARE(radios[i]->y(), radios[0]->y());
      QVERIFY(radios[i]->x() > radios[i - 1]->x());
    }

    const auto& lines = t.w.runLog().Lines();
    QCOMPARE(lines.size(), std::size_t{4});
    QCOMPARE(lines[0], std::string(kMainCaption));
    QCOMPARE(lines[2], std::string(60, '-'));
    QVERIFY(lines[3].starts_with("Starting Karvelo run at "));
  }

  void runStartsOnlyOnce() {
    TestWindow t;
    t.w.FormActivate();
    t.w.log("a step's line");
    t.w.registerWorkFile("/tmp/work.bin");
    t.w.Status(4);
    t.w.FormActivate();
    QCOMPARE(t.w.runLog().Lines().size(), std::size_t{5});
    QCOMPARE(t.w.runLog().WorkFiles().size(), std::size_t{1});
    QVERIFY(t.w.btbttnKarvelo->isEnabled());
  }

  void showingTheWindowStartsTheRun() {
    TestWindow t;
    QVERIFY(!t.w.RunStarted());
    t.w.show();
    QTRY_VERIFY(t.w.RunStarted());
    QCOMPARE(t.w.runLog().Lines().size(), std::size_t{4});
  }

  void uncertaintyBoxEnablesTheEvidenceFilter() {
    TestWindow t;
    t.w.FormActivate();
    t.w.chckbxErrorProp->setChecked(false);
    QVERIFY(!t.w.rdgrpConfLevel->isEnabled());
    t.w.chckbxErrorProp->setChecked(true);
    QVERIFY(t.w.rdgrpConfLevel->isEnabled());
  }

  void statusTextsReachThePanelsAndPendingEventsRun() {
    TestWindow t;
    t.w.FormActivate();
    bool ran = false;
    QMetaObject::invokeMethod(&t.w, [&ran] { ran = true; }, Qt::QueuedConnection);
    t.w.status2("1: Reading file header");
    // status2 refreshes the window, so an event queued during a long step is handled there.
    QVERIFY(ran);
    QCOMPARE(t.w.stsbrPanel2->text(), QString("1: Reading file header"));
    t.w.status1("Auditing data configuration");
    QCOMPARE(t.w.stsbrPanel1->text(), QString("Auditing data configuration"));
  }

  void buttonsSitOnTheTabsOfTheirSteps() {
    TestWindow t;
    const std::pair<const char*, QGroupBox*> places[] = {
        {"bttnNewFile", t.w.grpbxDefineData},   {"btbttnSubmit", t.w.grpbxDefineData},
        {"btbttnConfigurationFile", t.w.grpbxDefineData}, {"btbttnLoadConfig", t.w.grpbxAudit},
        {"btbttnAudit", t.w.grpbxAudit},        {"btbttnSubmitFinal", t.w.grpbxAudit},
        {"btbttnGraphicalAnalysis", t.w.grpbxAudit}, {"btbttnKarvelo", t.w.grpbxMap},
        {"Memo1", t.w.grpbxAudit},              {"chckbxErrorProp", t.w.grpbxMap},
        {"bttbOpenValData", t.w.grpbxValidateA}, {"btbttnLoadValData", t.w.grpbxValidateA},
        {"btbttnPredMap", t.w.grpbxValidate},   {"btbttnEvaluate", t.w.grpbxValidate},
        {"strgrdValData", t.w.grpbxValidate},   {"imgROC", t.w.grpbxValidate},
    };
    for (const auto& [name, tab] : places) QVERIFY2(tab->isAncestorOf(t.w.findChild<QWidget*>(name)), name);
    QVERIFY(t.w.grpbxDefineData->isAncestorOf(t.w.findChild<QWidget*>("imgData")));
    QVERIFY(t.w.grpbxMap->isAncestorOf(t.w.findChild<QWidget*>("imgKarvelo")));
  }

  void nothingIsClippedOrOverlapping() {
    TestWindow t;
    t.w.FormActivate();
    // The viewer as it shows a probability map with validation points, laid out.
    t.w.frmMapViewer()->chckbxPoints->show();
    t.w.frmMapViewer()->layout()->activate();
    t.w.frmEvaluation()->layout()->activate();
    t.w.frmWeights()->layout()->activate();
    t.w.frmFolds()->layout()->activate();
    t.w.frmCrossValidation()->layout()->activate();
    for (QWidget* window : {static_cast<QWidget*>(&t.w), static_cast<QWidget*>(t.w.frmINFO()), static_cast<QWidget*>(t.w.frmAbout()),
                            static_cast<QWidget*>(t.w.frmLegend()), static_cast<QWidget*>(t.w.frmGraphicalAnalysis()),
                            static_cast<QWidget*>(t.w.frmMapViewer()), static_cast<QWidget*>(t.w.frmEvaluation()),
                            static_cast<QWidget*>(t.w.frmWeights()), static_cast<QWidget*>(t.w.frmFolds()),
                            static_cast<QWidget*>(t.w.frmCrossValidation())}) {
      const QStringList faults = LayoutFaults(window);
      if (!faults.isEmpty()) QFAIL(qPrintable(window->objectName() + ":\n" + faults.join("\n")));
      // Every window fits a 1024 x 768 screen with room for a title bar and a task bar.
      window->adjustSize();
      QVERIFY2(window->width() <= 1024 && window->height() <= 768 - 80,
               qPrintable(QString("%1 is %2 x %3").arg(window->objectName()).arg(window->width()).arg(window->height())));
    }
  }

  // Not a check: with KARVELO_SCREENSHOT_DIR set, saves each tab (with its hidden parts shown) for
  // a look at the layout.
  void saveScreenshots() {
    const QByteArray dir = qgetenv("KARVELO_SCREENSHOT_DIR");
    if (dir.isEmpty()) QSKIP("KARVELO_SCREENSHOT_DIR not set");
    TestWindow t;
    t.w.show();
    t.w.FormActivate();
    t.w.grpbxScan->show();
    t.w.grpbxBayesOutput->show();
    t.w.lblMessage->show();
    t.w.strgrdChi2a->show();
    t.w.lblChi2test2->show();
    t.w.mmValdata->show();
    t.w.status2("(Idle)");
    t.w.gaugeRange(0, 100);
    for (int i = 0; i < 4; ++i) {
      t.w.tbcntrlMain->SetTabIndex(i);
      t.w.gaugeProgress(i * 30);
      QVERIFY(t.w.grab().save(QString("%1/tab%2.png").arg(QString(dir)).arg(i + 1)));
    }
    t.w.frmINFO()->show();
    QVERIFY(t.w.frmINFO()->grab().save(QString(dir) + "/settings.png"));
    t.w.frmAbout()->show();
    QVERIFY(t.w.frmAbout()->grab().save(QString(dir) + "/about.png"));
  }
};

int RunMainWindowTests(int argc, char** argv) {
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_mainwindow.moc"
