// The main window's construction: menu, the four tabs and the status bar, laid out as fixed geometry.
#include "ui/frmkarvelo.h"


#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QFocusEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QDateTime>
#include <QTimer>
#include <algorithm>
#include <ctime>

#include "audit/audit.h"
#include "audit/graphical.h"
#include "config/configfile.h"
#include "config/configtable.h"
#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/filecheck.h"
#include "core/memory.h"
#include "core/outputnames.h"
#include "core/textsafe.h"
#include "core/numfmt.h"
#include "gis/raster.h"
#include "mapping/bayesmap.h"
#include "mapping/priors.h"
#include "mapping/uncertainty.h"
#include "ui/appearance.h"
#include "ui/frmabout.h"
#include "ui/frmevaluation.h"
#include "ui/frmfolds.h"
#include "ui/frminsight.h"
#include "ui/frmweights.h"
#include "ui/frmgraphicalanalysis.h"
#include "ui/frminfo.h"
#include "ui/frmlegend.h"
#include "ui/frmmapviewer.h"
#include "ui/gauge.h"
#include "ui/pictureview.h"
#include "ui/radiogroup.h"
#include "ui/stringgridview.h"
#include "ui/tabcontrol.h"
#include "workflow/configure.h"
#include "workflow/mapping.h"
#include "validation/lookup.h"
#include "validation/aucintervals.h"
#include "validation/gain.h"
#include "validation/roc.h"
#include "stats/statstext.h"
#include "core/numfmt.h"
#include "validation/valdata.h"


namespace karvelo {

namespace {

constexpr int kClientWidth = 798;
constexpr int kClientHeight = 568;
constexpr int kPictureSize = 300;
const QRect kTabGroupRect(16, 40, 745, 465);

template <class W>
W* Named(W* w, const char* name) {
  w->setObjectName(name);
  return w;
}

QPushButton* NewButton(QWidget* parent, const char* name, const char* caption, const QRect& where) {
  auto* b = Named(new QPushButton(caption, parent), name);
  b->setGeometry(where);
  return b;
}

QLabel* NewLabel(QWidget* parent, const char* name, const char* caption, const QRect& where) {
  auto* l = Named(new QLabel(caption, parent), name);
  l->setGeometry(where);
  return l;
}

// Only the active and inactive groups: a disabled control keeps the platform's grey text.
void SetTextColour(QWidget* w, const QColor& colour) {
  QPalette pal = w->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    pal.setColor(group, QPalette::WindowText, colour);
    pal.setColor(group, QPalette::ButtonText, colour);
  }
  w->setPalette(pal);
}

QGroupBox* NewGroup(QWidget* parent, const char* name, const char* caption, const QRect& where) {
  auto* g = Named(new QGroupBox(caption, parent), name);
  g->setGeometry(where);
  return g;
}

}  // namespace

TfrmKarvelo::TfrmKarvelo(QWidget* parent)
    : QMainWindow(parent),
      session_(*this),
      imgDataCanvas_(kPictureSize, kPictureSize),
      imgKarveloCanvas_(kPictureSize, kPictureSize),
      imgROCCanvas_(kRocPictureSize, kRocPictureSize),
      imgGainCanvas_(kGainPictureSize, kGainPictureSize) {
  setObjectName("frmKarvelo");
  ApplyWindowFont(this);
  setWindowTitle(kMainCaption);
  hooks = DialogHooks::Interactive(this);
  // The window works in the folder it starts in, whatever the process does afterwards.
  {
    std::error_code ec;
    folder_ = std::filesystem::current_path(ec);
    session_.Run().SetFolder(folder_);
  }

  // The frequency table's class column has no width of its own at start; 44 is the table's default.
  session_.Tables().Frequency.SetSize(5, 1);
  for (int c = 0; c < 5; ++c) session_.Tables().Frequency.SetColWidth(c, 44);

  auto* client = new QWidget(this);
  client->setObjectName("client");
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);

  tbcntrlMain = Named(new TTabControl(client), "tbcntrlMain");
  tbcntrlMain->setGeometry(8, 15, 777, 513);
  for (const char* caption : {"1: Define data configuration", "2: Audit data configuration", "3: Map Bayesian probability",
                              "4: Validate with independent data"}) {
    tbcntrlMain->AddTab(caption);
  }
  connect(tbcntrlMain, &TTabControl::Change, this, &TfrmKarvelo::tbcntrlMainChange);

  BuildMenu();
  BuildDefineDataTab();
  BuildAuditTab();
  BuildMapTab();
  BuildValidateTab();
  BuildStatusBar(client);

  frmLegend_ = new TfrmLegend(session_, this);
  frmAbout_ = new TfrmAbout(this);
  frmINFO_ = new TfrmINFO(this);
  frmGraphicalAnalysis_ = new TfrmGraphicalAnalysis(session_.Ws(), *this);
  frmMapViewer_ = new TfrmMapViewer(hooks, this);
  frmEvaluation_ = new TfrmEvaluation(hooks, this);
  frmWeights_ = new TfrmWeights(this);
  frmFolds_ = new TfrmFolds(this);
  frmCrossValidation_ = new TfrmInsight("frmCrossValidation", this);
  frmImportance_ = new TfrmInsight("frmImportance", this);
  frmEvaluation_->askFile = [this](const FileDialogRequest& request) { return AskFile(request, picturesFolder_); };
  frmEvaluation_->openInViewer = [this](const std::filesystem::path& grid) { OpenMapViewer(grid, true); };
  const QString viewHint = "Double-click to view the map at full resolution";
  for (TPictureView* picture : {imgData, imgKarvelo, imgROC}) picture->setToolTip(viewHint);
  connect(imgData, &TPictureView::DoubleClicked, this, &TfrmKarvelo::imgDataDblClick);
  connect(imgKarvelo, &TPictureView::DoubleClicked, this, &TfrmKarvelo::imgKarveloDblClick);
  connect(imgROC, &TPictureView::DoubleClicked, this, &TfrmKarvelo::imgROCDblClick);
  // The thumbnail's labels are too small to read: the results window shows it at full size.
  imgGain->setToolTip("Double-click for the evaluation results with every picture at full size");
  connect(imgGain, &TPictureView::DoubleClicked, this, [this] {
    if (btbttnResults->isEnabled()) btbttnResultsClick();
  });

  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

TfrmKarvelo::~TfrmKarvelo() {
  // The tables go before the child widgets that show them.
  for (TStringGridView* view : {strgrdDataConfiguration, strgrdFrequency, strgrdChi2, strgrdChi2a, strgrdBayesTable, strgrdValData}) {
    view->Detach();
  }
}

void TfrmKarvelo::BuildMenu() {
  QMenu* info = menuBar()->addMenu("Info");
  info->setObjectName("Info1");
  Settings1 = Named(info->addAction("Settings"), "Settings1");
  OpenRunReport1 = Named(info->addAction("Open run report"), "OpenRunReport1");
  AboutKarvelo1 = Named(info->addAction("About Karvelo"), "AboutKarvelo1");
  connect(OpenRunReport1, &QAction::triggered, this, &TfrmKarvelo::OpenRunReport1Click);
  connect(Settings1, &QAction::triggered, this, &TfrmKarvelo::Settings1Click);
  connect(AboutKarvelo1, &QAction::triggered, this, &TfrmKarvelo::AboutKarvelo1Click);
}

void TfrmKarvelo::BuildStatusBar(QWidget* client) {
  stsbrStatus = Named(new QWidget(client), "stsbrStatus");
  stsbrStatus->setGeometry(0, kClientHeight - 24, 524, 24);
  auto newPanel = [this](const char* name, int x, int w) {
    auto* panel = Named(new QLabel(stsbrStatus), name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(x, 2, w, 21);
    return panel;
  };
  // Panels 0 and 1 grow where the font needs it so that their fixed texts are never cut off;
  // the status bar keeps its size.
  const QFontMetrics fm(font());
  const int w0 = std::max(80, fm.horizontalAdvance("Current activity:") + 10);
  int w1 = 150;
  for (const char* activity : kTabActivities) w1 = std::max(w1, fm.horizontalAdvance(activity) + 10);
  stsbrPanel0 = newPanel("stsbrPanel0", 0, w0);
  stsbrPanel0->setText("Current activity:");
  stsbrPanel1 = newPanel("stsbrPanel1", w0 + 2, w1);
  stsbrPanel2 = newPanel("stsbrPanel2", w0 + w1 + 4, 173);

  // "Cancel" sits between panel 2 and the gauge, enabled only while a long step runs.
  bttnCancel = Named(new QPushButton("Cancel", client), "bttnCancel");
  const int cancelWidth = std::max(66, QFontMetrics(bttnCancel->font()).horizontalAdvance("Cancel") + 20);
  bttnCancel->resize(cancelWidth, 24);
  bttnCancel->setEnabled(false);
  bttnCancel->setToolTip("Stop the running step at its next row");
  connect(bttnCancel, &QPushButton::clicked, this, &TfrmKarvelo::bttnCancelClick);
  Gauge1 = Named(new TGauge(client), "Gauge1");
  LayOutStatusBar();
}

void TfrmKarvelo::LayOutStatusBar() {
  // Panel 2 reaches to "Cancel" and the gauge; a text longer than that (a long file name) takes
  // room from the gauge, which keeps a short bar, so that the panel always shows its whole text.
  constexpr int kGaugeWidth = 160, kMinGaugeWidth = 60, kRightMargin = 12, kGap = 4;
  const int cancelWidth = bttnCancel->width();
  const int left = stsbrPanel2->x();
  const int needed = stsbrPanel2->fontMetrics().horizontalAdvance(stsbrPanel2->text()) + 2 * stsbrPanel2->frameWidth() + 8;
  const int right = kClientWidth - kRightMargin - cancelWidth - 2 * kGap;
  const int room = right - kGaugeWidth - left;
  const int width = std::clamp(needed, room, right - kMinGaugeWidth - left);
  stsbrPanel2->resize(width, stsbrPanel2->height());
  stsbrStatus->resize(left + width, stsbrStatus->height());
  const int cancelLeft = left + width + kGap;
  bttnCancel->setGeometry(cancelLeft, kClientHeight - 24, cancelWidth, 24);
  const int gaugeLeft = cancelLeft + cancelWidth + kGap;
  Gauge1->setGeometry(gaugeLeft, kClientHeight - 23, kClientWidth - kRightMargin - gaugeLeft, 22);
}

QGroupBox* TfrmKarvelo::NewTabGroup(const char* name, const char* caption) {
  QGroupBox* g = NewGroup(tbcntrlMain, name, caption, kTabGroupRect);
  g->hide();
  return g;
}

// Tab 1: picking grid files, giving them a role, and the table of the configuration so far.
void TfrmKarvelo::BuildDefineDataTab() {
  grpbxDefineData = NewTabGroup("grpbxDefineData", " 1: Define observation grid data and auxiliary grid data to be used for mapping ");

  GroupBox1 = NewGroup(grpbxDefineData, "GroupBox1", " Select grid data ", QRect(10, 24, 410, 300));
  rdgrpNewFile = Named(new TRadioGroup(" Type of file ", GroupBox1), "rdgrpNewFile");
  rdgrpNewFile->setGeometry(12, 18, 190, 40);
  rdgrpNewFile->SetItems({"Ascii-grid", "Other"});
  rdgrpNewFile->SetColumns(2);
  rdgrpNewFile->SetItemIndex(0);
  rdgrpNewFile->setEnabled(false);
  chckbxNewFile = Named(new QCheckBox("Display map", GroupBox1), "chckbxNewFile");
  chckbxNewFile->setGeometry(220, 32, 120, 18);
  chckbxNewFile->setChecked(true);
  bttnNewFile = NewButton(GroupBox1, "bttnNewFile", "...", QRect(12, 68, 32, 22));
  lblNewFile = NewLabel(GroupBox1, "lblNewFile", "File name", QRect(52, 70, 346, 18));

  // Hidden until a file has been scanned.
  grpbxScan = NewGroup(GroupBox1, "grpbxScan", " Scan and specify data: ", QRect(12, 98, 385, 145));
  grpbxScan->hide();

  // Left half, dark red: a role from one of the few unique values.
  lblEither = NewLabel(grpbxScan, "lblEither", "EITHER", QRect(8, 16, 60, 14));
  lblUniqueValues = NewLabel(grpbxScan, "lblUniqueValues", "Unique values:", QRect(8, 34, 80, 16));
  cmbbxUniqueValues = Named(new QComboBox(grpbxScan), "cmbbxUniqueValues");
  cmbbxUniqueValues->setGeometry(92, 32, 128, 20);
  cmbbxUniqueValues->setEditable(true);
  cmbbxUniqueValues->setInsertPolicy(QComboBox::NoInsert);
  lblEitherSelect = NewLabel(grpbxScan, "lblEitherSelect", "EITHER select Unique value and mark as: ", QRect(8, 56, 214, 16));
  btbttnPresenceIndicator = NewButton(grpbxScan, "btbttnPresenceIndicator", "presence indicator", QRect(8, 74, 104, 32));
  btbttnAbsenceIndicator = NewButton(grpbxScan, "btbttnAbsenceIndicator", "absence indicator", QRect(116, 74, 104, 32));

  // Right half, dark blue: a role from the continuous range.
  lblOr = NewLabel(grpbxScan, "lblOr", "OR", QRect(228, 16, 30, 14));
  lblContinuousRange = NewLabel(grpbxScan, "lblContinuousRange", "Continuous range:", QRect(228, 34, 120, 16));
  lblmin = NewLabel(grpbxScan, "lblmin", "", QRect(228, 54, 62, 16));
  lblmin->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lblTo = NewLabel(grpbxScan, "lblTo", "to", QRect(293, 54, 12, 16));
  lblmax = NewLabel(grpbxScan, "lblmax", "", QRect(308, 54, 69, 16));
  lblOr2 = NewLabel(grpbxScan, "lblOr2", "OR", QRect(228, 82, 20, 14));
  btbttnClassify = NewButton(grpbxScan, "btbttnClassify", "Classify", QRect(252, 72, 125, 34));

  const QColor darkRed(128, 0, 0);
  const QColor darkBlue(0, 0, 128);
  for (QWidget* w : std::initializer_list<QWidget*>{lblEither, lblUniqueValues, lblEitherSelect, btbttnPresenceIndicator,
                                                    btbttnAbsenceIndicator}) {
    SetTextColour(w, darkRed);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{lblOr, lblContinuousRange, lblmin, lblTo, lblmax, lblOr2, btbttnClassify}) {
    SetTextColour(w, darkBlue);
  }

  btbttnSubmit = NewButton(grpbxScan, "btbttnSubmit", "Add specified selection to data configuration", QRect(8, 112, 369, 26));
  btbttnSubmit->setToolTip("You can remove files from the configuration by selecting and deleting lines from the table below");

  btbttnConfigurationFile = NewButton(GroupBox1, "btbttnConfigurationFile",
                                      "Check consistency and save data configuration to file", QRect(12, 256, 385, 30));

  imgData = Named(new TPictureView(imgDataCanvas_, grpbxDefineData), "imgData");
  imgData->move(431, 24);

  strgrdDataConfiguration = Named(new TStringGridView(session_.Tables().DataConfiguration, grpbxDefineData), "strgrdDataConfiguration");
  strgrdDataConfiguration->setGeometry(16, 334, 713, 120);
  strgrdDataConfiguration->verticalHeader()->setDefaultSectionSize(16);
  strgrdDataConfiguration->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  pppmnDataConfiguration = new QMenu(strgrdDataConfiguration);
  pppmnDataConfiguration->setObjectName("pppmnDataConfiguration");
  Deletethisline1 = Named(pppmnDataConfiguration->addAction("Delete this line"), "Deletethisline1");
  connect(strgrdDataConfiguration, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (Deletethisline1->isEnabled()) pppmnDataConfiguration->popup(strgrdDataConfiguration->viewport()->mapToGlobal(at));
  });
  UpdateDataConfigurationMenu();

  connect(bttnNewFile, &QPushButton::clicked, this, &TfrmKarvelo::bttnNewFileClick);
  connect(btbttnPresenceIndicator, &QPushButton::clicked, this, &TfrmKarvelo::btbttnPresenceIndicatorClick);
  connect(btbttnAbsenceIndicator, &QPushButton::clicked, this, &TfrmKarvelo::btbttnAbsenceIndicatorClick);
  connect(btbttnClassify, &QPushButton::clicked, this, &TfrmKarvelo::btbttnClassifyClick);
  connect(btbttnSubmit, &QPushButton::clicked, this, &TfrmKarvelo::btbttnSubmitClick);
  connect(Deletethisline1, &QAction::triggered, this, &TfrmKarvelo::Deletethisline1Click);
  connect(btbttnConfigurationFile, &QPushButton::clicked, this, &TfrmKarvelo::btbttnConfigurationFileClick);
  // Picking from the list selects an entry; typing means no entry is selected.
  connect(cmbbxUniqueValues, &QComboBox::activated, this, [this](int index) { selectedUniqueValue_ = index; });
  connect(cmbbxUniqueValues->lineEdit(), &QLineEdit::textEdited, this, [this] { selectedUniqueValue_ = -1; });
}

// Tab 2: the configuration file on the left, the audit and its results on the right.
void TfrmKarvelo::BuildAuditTab() {
  grpbxAudit = NewTabGroup("grpbxAudit", " 2: Audit data configuration ");

  btbttnLoadConfig = NewButton(grpbxAudit, "btbttnLoadConfig", "a. Load existing configuration file", QRect(12, 22, 300, 28));
  lblConfigFileCaption = NewLabel(grpbxAudit, "lblConfigFileCaption", "Current configuration file:", QRect(12, 58, 130, 16));
  lblConfigFileName = NewLabel(grpbxAudit, "lblConfigFileName", "", QRect(146, 58, 166, 16));
  Memo1 = Named(new QPlainTextEdit(grpbxAudit), "Memo1");
  Memo1->setGeometry(12, 80, 300, 373);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setReadOnly(true);

  btbttnAudit = NewButton(grpbxAudit, "btbttnAudit", "b. Audit data configuration (frequencies+Chi2)", QRect(328, 22, 405, 28));

  grpbxAuditResults = NewGroup(grpbxAudit, "grpbxAuditResults", " Audit results ", QRect(328, 56, 405, 350));
  lblGridCountResults = NewLabel(grpbxAuditResults, "lblGridCountResults", "Grid counting results", QRect(10, 18, 385, 16));
  strgrdFrequency = Named(new TStringGridView(session_.Tables().Frequency, grpbxAuditResults), "strgrdFrequency");
  strgrdFrequency->setGeometry(10, 36, 385, 140);
  lblChi2test1 = NewLabel(grpbxAuditResults, "lblChi2test1", "Chi-squared testing: goodness of fit of observed frequencies",
                          QRect(10, 184, 385, 16));
  strgrdChi2 = Named(new TStringGridView(session_.Tables().Chi2, grpbxAuditResults), "strgrdChi2");
  strgrdChi2->setGeometry(10, 202, 385, 102);
  btbttnGraphicalAnalysis = NewButton(grpbxAuditResults, "btbttnGraphicalAnalysis",
                                      "Graphical display of data relations (opens a new window)", QRect(10, 312, 385, 28));

  btbttnSubmitFinal = NewButton(grpbxAudit, "btbttnSubmitFinal", "c. Submit final data configuration for mapping",
                                QRect(328, 418, 405, 32));

  connect(btbttnLoadConfig, &QPushButton::clicked, this, &TfrmKarvelo::btbttnLoadConfigClick);
  connect(btbttnAudit, &QPushButton::clicked, this, &TfrmKarvelo::btbttnAuditClick);
  connect(btbttnSubmitFinal, &QPushButton::clicked, this, &TfrmKarvelo::btbttnSubmitFinalClick);
  connect(btbttnGraphicalAnalysis, &QPushButton::clicked, this, &TfrmKarvelo::btbttnGraphicalAnalysisClick);
}

// Tab 3: priors (a), uncertainty (b), the map button (c) and the results below them.
void TfrmKarvelo::BuildMapTab() {
  grpbxMap = NewTabGroup("grpbxMap", " 3: Map the Bayesian probability for the occurence of an event or a feature ");

  rdgrpPrior = Named(new TRadioGroup(" a: Calculation of prior probabilities for absence and presence ", grpbxMap), "rdgrpPrior");
  rdgrpPrior->setGeometry(8, 14, 430, 72);
  rdgrpPrior->SetItems({"No calculation: enter values manually",
                        "Calculate from relative frequencies of observed absence/presence",
                        "Calculate from spatially declustered absence/presence observations (slow!)"});
  rdgrpPrior->SetItemIndex(0);

  // The label's two ends name the edits below them.
  Label11 = NewLabel(grpbxMap, "Label11", "Presence     <-- Prior probability -->     Absence", QRect(446, 16, 291, 16));
  Label11->setAlignment(Qt::AlignCenter);
  edtPriorP = Named(new QLineEdit("0.5", grpbxMap), "edtPriorP");
  edtPriorP->setGeometry(446, 33, 56, 20);
  edtPriorA = Named(new QLineEdit("0.5", grpbxMap), "edtPriorA");
  edtPriorA->setGeometry(681, 33, 56, 20);

  // Between the two prior fields, where the map button's options begin.
  chckbxGeoTiff = Named(new QCheckBox("Also write GeoTIFFs", grpbxMap), "chckbxGeoTiff");
  chckbxGeoTiff->setGeometry(512, 34, 164, 18);
  chckbxGeoTiff->setToolTip("Write each result grid also as a compressed GeoTIFF (.tif) for a GIS");
  btbttnKarvelo = NewButton(grpbxMap, "btbttnKarvelo", "c: Map Bayesian probability of occurrence", QRect(446, 58, 291, 28));

  grpbxErrorPropagation = NewGroup(grpbxMap, "grpbxErrorPropagation", " b: Handling uncertainty ", QRect(8, 88, 729, 50));
  chckbxErrorProp = Named(new QCheckBox("Consider uncertainty (bootstrapping and error propagation)", grpbxErrorPropagation),
                          "chckbxErrorProp");
  const int checkWidth = chckbxErrorProp->sizeHint().width();
  chckbxErrorProp->setGeometry(6, 22, checkWidth, 18);
  // The evidence filter takes the rest of the line, its six items side by side.
  rdgrpConfLevel = Named(new TRadioGroup("", grpbxErrorPropagation), "rdgrpConfLevel");
  rdgrpConfLevel->setGeometry(checkWidth + 8, 6, 729 - checkWidth - 14, 40);
  connect(chckbxErrorProp, &QCheckBox::toggled, this, &TfrmKarvelo::chckbxErrorPropClick);

  // Hidden until a mapping run shows it.
  grpbxBayesOutput = NewGroup(grpbxMap, "grpbxBayesOutput", " Results Bayesian analysis ", QRect(8, 140, 729, 322));
  grpbxBayesOutput->hide();
  Label13 = NewLabel(grpbxBayesOutput, "Label13", "Table with conditional and prior probabilities per class per auxiliary variable",
                     QRect(8, 16, 398, 16));
  // The final submission shows it exactly when absences will be generated at random.
  lblMessage = NewLabel(grpbxBayesOutput, "lblMessage", "Absences will be generated at random locations conditional on prior probabilities",
                        QRect(6, 33, 406, 16));
  lblMessage->hide();
  strgrdBayesTable = Named(new TStringGridView(session_.Tables().BayesTable, grpbxBayesOutput), "strgrdBayesTable");
  strgrdBayesTable->setGeometry(8, 52, 398, 92);
  lblChi2test2 = NewLabel(grpbxBayesOutput, "lblChi2test2",
                          "Chi-squared testing: are condtional probabilities abs/pres different? ", QRect(8, 148, 398, 16));
  strgrdChi2a = Named(new TStringGridView(session_.Tables().Chi2a, grpbxBayesOutput), "strgrdChi2a");
  strgrdChi2a->setGeometry(8, 166, 398, 78);
  // Shown by the uncertainty run, whose class test still rests on the observed counts.
  lblBootstrap = NewLabel(grpbxBayesOutput, "lblBootstrap", "(Chi2 based on data, not on bootstrapping)", QRect(8, 246, 398, 16));
  lblBootstrap->hide();
  // After a run: the conditional-independence lines, as the log and `map` give them.
  mmIndependence = Named(new QPlainTextEdit(grpbxBayesOutput), "mmIndependence");
  mmIndependence->setGeometry(8, 264, 398, 34);
  mmIndependence->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  mmIndependence->setReadOnly(true);
  mmIndependence->hide();
  // On the results' caption line above the picture, the one free strip of the tab; shown with the results.
  btbttnWeights = NewButton(grpbxBayesOutput, "btbttnWeights", "Weights of evidence and effects of classes...", QRect(413, 0, 300, 17));
  btbttnWeights->setToolTip("W+, W-, contrast and studentized contrast of every class, and each grid's picture of its classes' "
                            "probabilities with their intervals");
  btbttnWeights->setEnabled(false);
  connect(btbttnWeights, &QPushButton::clicked, this, &TfrmKarvelo::btbttnWeightsClick);
  imgKarvelo = Named(new TPictureView(imgKarveloCanvas_, grpbxBayesOutput), "imgKarvelo");
  imgKarvelo->move(413, 17);  // below the frame line, which this style draws under the title
  // The picture fills the group's height, so its key sits in the left column, ending next to it.
  lblimg = NewLabel(grpbxBayesOutput, "lblimg", "Dark color=high probability", QRect(8, 300, 180, 16));
  lblimg2 = NewLabel(grpbxBayesOutput, "lblimg2", "Red color=filtered or outside area", QRect(190, 300, 216, 16));
  lblimg2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lblimg->hide();
  lblimg2->hide();

  connect(rdgrpPrior, &TRadioGroup::Click, this, [this] { rdgrpPriorClick(); });
  // OnExit: the fields act when the focus leaves them (see eventFilter), not on every keystroke.
  edtPriorP->installEventFilter(this);
  edtPriorA->installEventFilter(this);
  connect(btbttnKarvelo, &QPushButton::clicked, this, &TfrmKarvelo::btbttnKarveloClick);
}

// Tab 4: the validation data (a) and the two steps after it (b, c) on the left; the raw file,
// the record table or the ROC picture on the right.
void TfrmKarvelo::BuildValidateTab() {
  grpbxValidate = NewTabGroup("grpbxValidate", " 4: Validate prediction map with independent observations ");

  grpbxValidateA = NewGroup(grpbxValidate, "grpbxValidateA", " a: Validation data ", QRect(10, 20, 360, 200));
  bttbOpenValData = NewButton(grpbxValidateA, "bttbOpenValData", "...", QRect(10, 24, 32, 22));
  bttbOpenValData->setToolTip("Press to open file with validation data");
  Label16 = NewLabel(grpbxValidateA, "Label16", "File name", QRect(50, 27, 300, 16));

  // Arrows only: a typed column number would bypass the range the screening set.
  auto newColumn = [this](const char* labelName, const char* caption, const char* name, int y, QLabel*& label) {
    label = NewLabel(grpbxValidateA, labelName, caption, QRect(10, y + 3, 180, 16));
    auto* spin = Named(new QSpinBox(grpbxValidateA), name);
    spin->setGeometry(196, y, 56, 22);
    spin->setRange(0, 0);
    spin->setValue(0);
    if (auto* edit = spin->findChild<QLineEdit*>()) edit->setReadOnly(true);
    return spin;
  };
  spndtX = newColumn("lblColumnX", "Column X:", "spndtX", 52, lblColumnX);
  spndtY = newColumn("lblColumnY", "Column Y:", "spndtY", 78, lblColumnY);
  spndtVAL = newColumn("lblColumnVAL", "Column Validation data:", "spndtVAL", 104, lblColumnVAL);

  auto newCodeList = [this](const char* name, int x) {
    auto* box = Named(new QComboBox(grpbxValidateA), name);
    box->setGeometry(x, 134, 80, 22);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setEditText("choose");
    return box;
  };
  lblFINDS = NewLabel(grpbxValidateA, "lblFINDS", "Code FINDS=", QRect(10, 137, 84, 16));
  cmbbxFINDS = newCodeList("cmbbxFINDS", 94);
  lblNONFINDS = NewLabel(grpbxValidateA, "lblNONFINDS", "NON-FINDS=", QRect(184, 137, 80, 16));
  cmbbxNONFINDS = newCodeList("cmbbxNONFINDS", 266);

  btbttnLoadValData = NewButton(grpbxValidateA, "btbttnLoadValData", "a: Import+sort validation data", QRect(10, 164, 340, 28));
  btbttnLoadValData->setToolTip("Press to import validation data with current settings for X, Y and Data columns");
  btbttnLoadValData->setEnabled(false);

  // The second map and the results sit beside the steps they belong to.
  btbttnPredMap = NewButton(grpbxValidate, "btbttnPredMap", "b: Load probability map from file", QRect(10, 228, 232, 28));
  btbttnPredMap->setToolTip("Press to load a predictive map (*.asc) from file");
  btbttnPredMap->setEnabled(false);
  btbttnCompare = NewButton(grpbxValidate, "btbttnCompare", "Compare with map...", QRect(248, 228, 122, 28));
  btbttnCompare->setCheckable(true);
  btbttnCompare->setToolTip("Press to compare the map with a second map on the same points (paired DeLong test)");
  btbttnEvaluate = NewButton(grpbxValidate, "btbttnEvaluate", "c: Evaluate accuracy (ROC+AUC)", QRect(10, 264, 232, 28));
  btbttnEvaluate->setToolTip("Press to calculate ROC and AUC with validation data");
  btbttnEvaluate->setEnabled(false);
  btbttnResults = NewButton(grpbxValidate, "btbttnResults", "Evaluation results...", QRect(248, 264, 122, 28));
  btbttnResults->setToolTip("Press to see the threshold table, the Boyce index, the comparison and every picture at full size");
  btbttnResults->setEnabled(false);

  pnlValidationView = Named(new QWidget(grpbxValidate), "pnlValidationView");
  pnlValidationView->setGeometry(382, 24, kRocPictureSize, kRocPictureSize);
  const QRect place(0, 0, kRocPictureSize, kRocPictureSize);
  mmValdata = Named(new QPlainTextEdit(pnlValidationView), "mmValdata");
  mmValdata->setGeometry(place);
  mmValdata->setLineWrapMode(QPlainTextEdit::NoWrap);
  mmValdata->setReadOnly(true);
  mmValdata->hide();
  strgrdValData = Named(new TStringGridView(session_.Tables().ValData, pnlValidationView), "strgrdValData");
  strgrdValData->setGeometry(place);
  strgrdValData->hide();
  // Created last, so that it lies over the table it shares the place with.
  imgROC = Named(new TPictureView(imgROCCanvas_, pnlValidationView), "imgROC");
  imgROC->move(0, 0);
  imgROC->hide();
  // Room for a third line: the note on records tied at the lowest map value, wrapped.
  lblAucInterval = NewLabel(grpbxValidate, "lblAucInterval", "", QRect(382, 24 + kRocPictureSize + 4, kRocPictureSize, 56));
  lblAucInterval->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblAucInterval->setWordWrap(true);
  lblAucInterval->hide();
  lblBinary = NewLabel(grpbxValidate, "lblBinary", "Binary map at:", QRect(382, 441, 76, 16));
  cmbbxBinary = Named(new QComboBox(grpbxValidate), "cmbbxBinary");
  cmbbxBinary->setGeometry(460, 438, 272, 22);
  // A value can be typed beside the table's thresholds.
  cmbbxBinary->setEditable(true);
  cmbbxBinary->setInsertPolicy(QComboBox::NoInsert);
  cmbbxBinary->addItems(BinaryBoxItems());
  cmbbxBinary->setCurrentIndex(0);
  cmbbxBinary->setToolTip("Also write \"Binary of <map>.asc\": 1 at or above the threshold, 0 below; choose a threshold or type a value");
  // Below the evaluation: the steps that score the saved configuration on its own observations.
  btbttnCrossValidate = NewButton(grpbxValidate, "btbttnCrossValidate", "Cross-validate the configuration...", QRect(10, 300, 232, 28));
  btbttnImportance = NewButton(grpbxValidate, "btbttnImportance", "Grid importance...", QRect(248, 300, 122, 28));
  btbttnCrossValidate->setEnabled(false);
  btbttnImportance->setEnabled(false);
  imgGain = Named(new TPictureView(imgGainCanvas_, QSize(120, 120), grpbxValidate), "imgGain");
  imgGain->move(10, 336);
  imgGain->hide();
  lblGain = NewLabel(grpbxValidate, "lblGain", "", QRect(138, 336, 232, 64));
  lblGain->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblGain->hide();
  lblValNotes = NewLabel(grpbxValidate, "lblValNotes", "", QRect(138, 402, 232, 60));
  lblValNotes->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblValNotes->setWordWrap(true);
  lblValNotes->hide();

  connect(bttbOpenValData, &QPushButton::clicked, this, &TfrmKarvelo::bttbOpenValDataClick);
  connect(spndtVAL, &QSpinBox::valueChanged, this, &TfrmKarvelo::spndtVALChange);
  connect(btbttnLoadValData, &QPushButton::clicked, this, &TfrmKarvelo::btbttnLoadValDataClick);
  connect(btbttnPredMap, &QPushButton::clicked, this, &TfrmKarvelo::btbttnPredMapClick);
  connect(btbttnEvaluate, &QPushButton::clicked, this, &TfrmKarvelo::btbttnEvaluateClick);
  connect(btbttnCompare, &QPushButton::clicked, this, &TfrmKarvelo::btbttnCompareClick);
  connect(btbttnResults, &QPushButton::clicked, this, &TfrmKarvelo::btbttnResultsClick);
  connect(btbttnCrossValidate, &QPushButton::clicked, this, &TfrmKarvelo::btbttnCrossValidateClick);
  connect(btbttnImportance, &QPushButton::clicked, this, &TfrmKarvelo::btbttnImportanceClick);
}

void TfrmKarvelo::LayOutTables() {
  LayOutRunTables(session_.Tables());
  RefreshTables();
  UpdateDataConfigurationMenu();
  strgrdChi2a->hide();
  lblChi2test2->hide();
}

}  // namespace karvelo
