// The main window: layout of the four tabs, the start and end of the run, status and gauge.
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
// Status panel 1 per tab.
const char* const kActivities[] = {"Defining data configuration", "Auditing data configuration", "Mapping Bayesian probability",
                                   "Validating prediction map"};

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

  frmLegend_ = new TfrmLegend(session_.Ws(), reporter(), this);
  frmAbout_ = new TfrmAbout(this);
  frmINFO_ = new TfrmINFO(this);
  frmGraphicalAnalysis_ = new TfrmGraphicalAnalysis(session_.Ws(), *this);
  frmMapViewer_ = new TfrmMapViewer(hooks, this);
  const QString viewHint = "Double-click to view the map at full resolution";
  for (TPictureView* picture : {imgData, imgKarvelo, imgROC}) picture->setToolTip(viewHint);
  connect(imgData, &TPictureView::DoubleClicked, this, &TfrmKarvelo::imgDataDblClick);
  connect(imgKarvelo, &TPictureView::DoubleClicked, this, &TfrmKarvelo::imgKarveloDblClick);
  connect(imgROC, &TPictureView::DoubleClicked, this, &TfrmKarvelo::imgROCDblClick);

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
  AboutKarvelo1 = Named(info->addAction("About Karvelo"), "AboutKarvelo1");
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
  for (const char* activity : kActivities) w1 = std::max(w1, fm.horizontalAdvance(activity) + 10);
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

  grpbxValidateA = NewGroup(grpbxValidate, "grpbxValidateA", " a: Validation data ", QRect(10, 20, 360, 226));
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
  spndtX = newColumn("lblColumnX", "Column X:", "spndtX", 56, lblColumnX);
  spndtY = newColumn("lblColumnY", "Column Y:", "spndtY", 84, lblColumnY);
  spndtVAL = newColumn("lblColumnVAL", "Column Validation data:", "spndtVAL", 112, lblColumnVAL);

  auto newCodeList = [this](const char* name, int x) {
    auto* box = Named(new QComboBox(grpbxValidateA), name);
    box->setGeometry(x, 146, 80, 22);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setEditText("choose");
    return box;
  };
  lblFINDS = NewLabel(grpbxValidateA, "lblFINDS", "Code FINDS=", QRect(10, 149, 84, 16));
  cmbbxFINDS = newCodeList("cmbbxFINDS", 94);
  lblNONFINDS = NewLabel(grpbxValidateA, "lblNONFINDS", "NON-FINDS=", QRect(184, 149, 80, 16));
  cmbbxNONFINDS = newCodeList("cmbbxNONFINDS", 266);

  btbttnLoadValData = NewButton(grpbxValidateA, "btbttnLoadValData", "a: Import+sort validation data", QRect(10, 184, 340, 30));
  btbttnLoadValData->setToolTip("Press to import validation data with current settings for X, Y and Data columns");
  btbttnLoadValData->setEnabled(false);

  btbttnPredMap = NewButton(grpbxValidate, "btbttnPredMap", "b: Load probability map from file", QRect(10, 258, 360, 30));
  btbttnPredMap->setToolTip("Press to load a predictive map (*.asc) from file");
  btbttnPredMap->setEnabled(false);
  btbttnEvaluate = NewButton(grpbxValidate, "btbttnEvaluate", "c: Evaluate accuracy (ROC+AUC)", QRect(10, 298, 360, 30));
  btbttnEvaluate->setToolTip("Press to calculate ROC and AUC with validation data");
  btbttnEvaluate->setEnabled(false);

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
  lblAucInterval = NewLabel(grpbxValidate, "lblAucInterval", "", QRect(382, 24 + kRocPictureSize + 4, kRocPictureSize, 64));
  lblAucInterval->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblAucInterval->setWordWrap(true);
  lblAucInterval->hide();
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
}

void TfrmKarvelo::LayOutTables() {
  LayOutRunTables(session_.Tables());
  RefreshTables();
  UpdateDataConfigurationMenu();
  strgrdChi2a->hide();
  lblChi2test2->hide();
}

void TfrmKarvelo::FormActivate() {
  if (runStarted_) return;
  runStarted_ = true;
  SessionOptions options;
  options.folder = folder_;
  // A second window (or a batch run) in the same folder would mix its files with this run's.
  if (!session_.Open(options)) {
    runEnded_ = true;  // nothing of this window's may touch the folder, not even at its close
    QTimer::singleShot(0, this, &QWidget::close);
    return;
  }
  LayOutTables();
  tbcntrlMain->SetTabIndex(0);
  tbcntrlMainChange();
  session_.Ws().ClearDataDefs();
  btbttnConfigurationFile->setEnabled(false);
  btbttnGraphicalAnalysis->setEnabled(false);
  chckbxErrorProp->setChecked(true);
  rdgrpConfLevel->setEnabled(true);
  session_.Ws().QuietAudit = false;
  lblConfigFileName->setText("Unknown");
  rdgrpConfLevel->setTitle(" Minimal evidence level filter: show only ... evidence ");
  rdgrpConfLevel->SetItems({"(all)", "vweak", "weak", "mod", "strong", "vstrong"});
  rdgrpConfLevel->SetItemIndex(0);
  rdgrpConfLevel->SetColumns(6);
  Memo1->clear();
  session_.Log().ClearWorkFiles();
  Status(0);
}

void TfrmKarvelo::FormClose() {
  if (runEnded_) return;
  runEnded_ = true;
  status2("Saving logfile ...");
  // A log that cannot be written is reported, and the run still ends: the user must always be
  // able to close the program, and the work files are still removed.
  session_.Close(false, [this] { status2("Cleaning up ..."); });
}

void TfrmKarvelo::CloseOnSignal() {
  closingOnSignal_ = true;
  if (stepRunning_) {
    closeAfterStep_ = true;
    session_.Run().RequestCancel();
  }
  // A dialog waiting for the user would hold the step, and with it the close.
  if (QWidget* modal = QApplication::activeModalWidget()) {
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
  }
  if (!stepRunning_) QTimer::singleShot(0, this, &QWidget::close);
}

void TfrmKarvelo::Status(int nr) {
  struct Row {
    int nr;
    bool newFile, submit, configurationFile, loadConfig, audit, submitFinal, karvelo;
    int graphicalAnalysis;  // -1: unchanged
  };
  static constexpr Row kRows[] = {
      {0, true, false, false, true, false, false, false, 0},
      {1, true, true, true, true, true, false, false, 0},
      {3, true, true, true, true, true, true, false, 1},
      {4, true, true, true, true, true, true, true, -1},
  };
  for (const Row& r : kRows) {
    if (r.nr != nr) continue;
    bttnNewFile->setEnabled(r.newFile);
    btbttnSubmit->setEnabled(r.submit);
    btbttnConfigurationFile->setEnabled(r.configurationFile);
    btbttnLoadConfig->setEnabled(r.loadConfig);
    btbttnAudit->setEnabled(r.audit);
    btbttnSubmitFinal->setEnabled(r.submitFinal);
    btbttnKarvelo->setEnabled(r.karvelo);
    if (r.graphicalAnalysis >= 0) btbttnGraphicalAnalysis->setEnabled(r.graphicalAnalysis == 1);
    return;
  }
}

void TfrmKarvelo::ShowStage() {
  switch (session_.CurrentStage()) {
    case Stage::Start: Status(0); break;
    case Stage::Configured: Status(1); break;
    case Stage::Audited: Status(3); break;
    case Stage::Submitted: Status(4); break;
  }
}

void TfrmKarvelo::tbcntrlMainChange() {
  QGroupBox* const groups[] = {grpbxDefineData, grpbxAudit, grpbxMap, grpbxValidate};
  const int index = tbcntrlMain->TabIndex();
  for (int i = 0; i < 4; ++i) groups[i]->setVisible(i == index);
  if (index < 0 || index > 3) return;
  status1(kActivities[index]);
  status2("(Idle)");
  gaugeProgress(0);
}

void TfrmKarvelo::ShowTab(int index) {
  // The control reports a change only when the tab differs.
  if (tbcntrlMain->TabIndex() == index) {
    tbcntrlMainChange();
  } else {
    tbcntrlMain->SetTabIndex(index);
  }
}

void TfrmKarvelo::RunHandler(const std::function<void()>& handler, const std::string& stepName) {
  // The session's policy: a file error or a lack of memory is the step's failure, with its message;
  // a cancel its stop, without one (the long step around it reports "Cancelled.").
  // A long step's results go in place together at its end; a handler of a click outside one (a
  // dialog's drawings, say) puts each file in place as it is done.
  switch (session_.RunStep(stepName, handler, stepRunning_)) {
    case StepOutcome::Failed:
      stepFailed_ = true;
      tbcntrlMain->setEnabled(true);
      break;
    case StepOutcome::Cancelled:
      stepCancelled_ = true;
      break;
    case StepOutcome::Done:
      break;
  }
}

void TfrmKarvelo::RunLongStep(const std::function<void()>& handler, bool usesWorkFiles, const std::string& stepName) {
  // The buttons are disabled, but a click already queued, or a call from a test, must not start
  // a second step inside the first.
  if (stepRunning_) return;
  stepRunning_ = true;
  stepCancelled_ = false;
  stepFailed_ = false;
  session_.Run().ClearCancel();
  tbcntrlMain->setEnabled(false);
  bttnCancel->setEnabled(true);
  // The step's results are put in place together when it ends; a cancel leaves every earlier
  // result as it was. A step that fails keeps the results it finished, as each file is whole.
  RunHandler(handler, stepName);
  const bool cancelled = stepCancelled_;
  if ((cancelled || stepFailed_) && usesWorkFiles) DiscardWorkFiles();
  session_.Run().ClearCancel();
  bttnCancel->setEnabled(false);
  tbcntrlMain->setEnabled(true);
  stepRunning_ = false;
  if (cancelled) {
    status2("Cancelled.");
    gaugeProgress(0);
  }
  if (closeAfterStep_) QTimer::singleShot(0, this, &QWidget::close);
}

void TfrmKarvelo::DiscardWorkFiles() {
  session_.DiscardWorkFiles();
  // The masks and class files are gone: the next step is the audit (or the configuration).
  if (session_.Ws().DataDefCount > 0) {
    Status(1);
  } else {
    Status(0);
  }
}

void TfrmKarvelo::bttnCancelClick() {
  if (stepRunning_) session_.Run().RequestCancel();
}

// --- Tab 1 ------------------------------------------------------------------------------------

// pndlgNewFile: tab 1 picks grids with it, and tab 4 its predictive map.
FileDialogRequest TfrmKarvelo::GridFileDialog(bool rasters) {
  FileDialogRequest request;
  request.title = "Select new file from list";
  request.filter = "Ascii-grid (*.asg, *.asc)|*.asg;*.asc";
  // Tab 1 imports other rasters; the map of tab 4 must be a grid Karvelo wrote.
  if (rasters) request.filter += "|Rasters (*.tif, *.tiff, *.img, *.vrt, *.nc)|*.tif;*.tiff;*.img;*.vrt;*.nc";
  return request;
}

std::optional<std::filesystem::path> TfrmKarvelo::AskFile(FileDialogRequest request, std::filesystem::path& folder) {
  if (folder.empty()) folder = session_.Run().Folder();
  request.initialDir = folder.string();
  auto path = hooks.chooseFile(request);
  if (path && path->has_parent_path()) folder = path->parent_path();
  return path;
}

Rgb TfrmKarvelo::FaceRgb() const {
  const QColor face = palette().color(QPalette::Button);
  return Rgb{static_cast<std::uint8_t>(face.red()), static_cast<std::uint8_t>(face.green()), static_cast<std::uint8_t>(face.blue())};
}

std::optional<std::filesystem::path> TfrmKarvelo::OfferImport(const std::filesystem::path& picked) {
  const std::optional<std::string> driver = gis::RasterDriver(picked);
  // What GDAL cannot open goes to the grid reader, whose message names the fault.
  if (!driver || gis::IsAsciiGridDriver(*driver)) return picked;
  const std::filesystem::path folder = session_.Run().Folder();
  const std::string question = picked.filename().string() + " is a " + *driver +
                               " raster. Import it as an ASCII grid into " + folder.string() + "?";
  if (ask(question, {"Yes", "No"}, 1) != 0) return std::nullopt;
  const std::filesystem::path target = folder / picked.stem().concat(".asc");
  gis::ImportRaster(picked, 1, target);
  log("Imported " + picked.string() + " as " + target.string());
  return target;
}

void TfrmKarvelo::bttnNewFileClick() {
  RunLongStep([this] {
    auto path = AskFile(GridFileDialog(true), gridFolder_);
    if (!path) return;
    if (rdgrpNewFile->ItemIndex() == 0) {
      path = OfferImport(*path);
      if (!path) return;
    }
    grpbxScan->hide();
    // The picture shows the grid being scanned or nothing: a failed scan leaves no stale preview.
    imgDataCanvas_.FillRect(0, 0, imgDataCanvas_.Width(), imgDataCanvas_.Height(), kDefaultFace);
    imgData->Refresh();
    lblNewFile->setText(QString::fromStdString(path->filename().string()));
    const bool asciiGrid = rdgrpNewFile->ItemIndex() == 0;
    Canvas* preview = chckbxNewFile->isChecked() ? &imgDataCanvas_ : nullptr;
    const std::optional<ScanResult> scan = PickGrid(session_, path->string(), asciiGrid, preview);
    if (scan) {
      uniqueList_ = *scan;
      ShowUniqueValues();
      lblmin->setText(QString::fromStdString(scan->minText));
      lblmax->setText(QString::fromStdString(scan->maxText));
      btbttnClassify->setEnabled(true);
      if (preview) imgData->Refresh();
      grpbxScan->show();
      btbttnSubmit->setEnabled(false);
    }
    status2("(idle)");
    gaugeProgress(0);
  }, false, "reading the grid");
}

void TfrmKarvelo::ShowUniqueValues() {
  cmbbxUniqueValues->clear();
  for (const std::string& value : uniqueList_.unique) cmbbxUniqueValues->addItem(QString::fromStdString(value));
  cmbbxUniqueValues->setEditText(QString::fromStdString(uniqueList_.listText));
  selectedUniqueValue_ = -1;
  QColor colour = cmbbxUniqueValues->style()->standardPalette().color(QPalette::Base);
  if (uniqueList_.listColour == ListColour::Green) colour = QColor(0, 128, 0);
  if (uniqueList_.listColour == ListColour::Yellow) colour = QColor(255, 255, 0);
  for (QWidget* w : {static_cast<QWidget*>(cmbbxUniqueValues), static_cast<QWidget*>(cmbbxUniqueValues->lineEdit())}) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Base, colour);
    pal.setColor(QPalette::Button, colour);
    w->setPalette(pal);
  }
  btbttnPresenceIndicator->setEnabled(uniqueList_.indicatorsEnabled);
  btbttnAbsenceIndicator->setEnabled(uniqueList_.indicatorsEnabled);
}

void TfrmKarvelo::MarkIndicatorClick(bool presence) {
  RunHandler([this, presence] {
    const std::string shown = cmbbxUniqueValues->currentText().toStdString();
    if (!MarkIndicator(session_.Ws(), uniqueList_, shown, selectedUniqueValue_, presence, reporter())) return;
    btbttnClassify->setEnabled(false);
    btbttnSubmit->setEnabled(true);
    // The marked value is gone from the list, so its text is no longer on offer either; a list
    // emptied by the mark reads "(empty)".
    const bool emptied = uniqueList_.unique.empty();
    if (!emptied) uniqueList_.listText.clear();
    ShowUniqueValues();
  });
}

void TfrmKarvelo::btbttnPresenceIndicatorClick() { MarkIndicatorClick(true); }

void TfrmKarvelo::btbttnAbsenceIndicatorClick() { MarkIndicatorClick(false); }

void TfrmKarvelo::btbttnClassifyClick() {
  RunHandler([this] {
    btbttnPresenceIndicator->setEnabled(false);
    btbttnAbsenceIndicator->setEnabled(false);
    ClearIndicators(session_.Ws().CurrentDataDef);
    if (const auto problem = RangeProblem(session_.Ws().CurrentDataDef)) {
      message(*problem, MessageKind::Error);
      return;
    }
    // The histogram of the grid classified before belongs to another grid.
    frmLegend_->ClearHistogram();
    hooks.showModal(*frmLegend_);
    // The histogram may have put an aligned copy in the grid's place.
    lblNewFile->setText(QString::fromStdString(FileNameOf(session_.Ws().CurrentDataDef.FileName)));
    btbttnSubmit->setEnabled(true);
  });
}

void TfrmKarvelo::btbttnSubmitClick() {
  RunHandler([this] {
    if (!SubmitCurrentDataDef(session_.Ws(), session_.Tables().DataConfiguration, reporter())) return;
    strgrdDataConfiguration->Refresh();
    UpdateDataConfigurationMenu();
    for (QPushButton* b : {btbttnPresenceIndicator, btbttnAbsenceIndicator, btbttnClassify, btbttnSubmit}) b->setEnabled(false);
    UpdateConfigurationFileButton();
  });
}

void TfrmKarvelo::Deletethisline1Click() {
  RunHandler([this] {
    int row = strgrdDataConfiguration->SelectedModelRow();
    if (row < 0 && strgrdDataConfiguration->currentRow() >= 0) row = strgrdDataConfiguration->ModelRow(strgrdDataConfiguration->currentRow());
    if (row < 1) return;
    DeleteConfigurationRow(session_.Ws(), session_.Tables().DataConfiguration, row);
    strgrdDataConfiguration->Refresh();
    UpdateDataConfigurationMenu();
    strgrdDataConfiguration->viewport()->update();
    UpdateConfigurationFileButton();
  });
}

void TfrmKarvelo::UpdateDataConfigurationMenu() {
  const bool active = session_.Tables().DataConfiguration.RowCount() > 1;
  Deletethisline1->setEnabled(active);
  strgrdDataConfiguration->setContextMenuPolicy(active ? Qt::CustomContextMenu : Qt::NoContextMenu);
  strgrdDataConfiguration->setToolTip(active ? "Select 1 line and press right mouse key to delete this line" : "");
}

void TfrmKarvelo::UpdateConfigurationFileButton() {
  btbttnConfigurationFile->setEnabled(ConfigurationCanBeSaved(session_.Ws()));
}

namespace {

const char* const kConfigurationFilter = "Karvelo configuration file (*.txt)|*.txt";

}  // namespace

void TfrmKarvelo::btbttnConfigurationFileClick() {
  RunLongStep([this] {
    const bool checksOK = CheckConfiguration(session_, true);
    strgrdDataConfiguration->Refresh();
    status2("(Idle)");
    gaugeProgress(0);
    if (!checksOK) return;
    FileDialogRequest request;
    request.save = true;
    request.title = "Enter the name of the Configuration file";
    request.filter = kConfigurationFilter;
    request.defaultExt = "txt";
    request.fileName = "Karvelo Config";
    const auto path = AskFile(request, configurationFolder_);
    if (!path) {
      status2("(Idle)");
      gaugeProgress(0);
      return;
    }
    const ConfigFileView view = SaveConfigurationAs(session_, *path);
    ShowTab(1);
    lblConfigFileName->setText(QString::fromStdString(view.fileLabel));
    QStringList lines;
    for (const std::string& line : view.memo) lines << QString::fromStdString(line);
    Memo1->setPlainText(lines.join('\n'));
    ShowStage();
    status2("(Idle)");
    gaugeProgress(0);
  }, false, "saving the configuration");
}

// --- Tab 2 ------------------------------------------------------------------------------------

void TfrmKarvelo::btbttnLoadConfigClick() {
  RunLongStep([this] {
    FileDialogRequest request;
    request.filter = kConfigurationFilter;
    request.defaultExt = "*.txt";
    request.fileName = "Karvelo config";
    const auto path = AskFile(request, configurationFolder_);
    if (!path) return;
    // The engine reads the whole file before it replaces anything, so a malformed file throws
    // here with the configuration, the table and the labels as they were.
    const ConfigFileView view = LoadConfigurationFile(session_, *path);
    lblConfigFileName->setText(QString::fromStdString(view.fileLabel));
    QStringList lines;
    for (const std::string& line : view.memo) lines << QString::fromStdString(line);
    Memo1->setPlainText(lines.join('\n'));
    strgrdDataConfiguration->Refresh();
    UpdateDataConfigurationMenu();
    ShowStage();
  }, false, "loading the configuration");
}

void TfrmKarvelo::btbttnAuditClick() {
  // The audit's summary box speaks of the tables: they are filled and painted before it shows.
  auditRunning_ = true;
  struct AuditEnd {
    bool& flag;
    ~AuditEnd() { flag = false; }
  } auditEnd{auditRunning_};
  RunLongStep([this] {
    const AuditResult outcome = Audit(session_);
    RefreshTables();
    if (!outcome.ran) return;
    ShowStage();
    btbttnGraphicalAnalysis->setEnabled(true);
    strgrdChi2a->hide();
    lblChi2test2->hide();
  }, true, "the audit");
}

void TfrmKarvelo::btbttnSubmitFinalClick() {
  RunLongStep([this] {
    // The tab-3 side of the submission depends only on RandomAbsences, which the engine sets
    // before it writes any class file; it stands even when writing one fails.
    auto showRandomAbsences = [this] {
      lblMessage->setVisible(session_.Ws().RandomAbsences);
      if (session_.Ws().RandomAbsences) {
        rdgrpPrior->SetItemIndex(0);
        // As a click on "No calculation: enter values manually" would: the priors are typed.
        rdgrpPriorClick();
        rdgrpPrior->setEnabled(false);
      }
      // Why the prior choice is fixed, where the user looks for it.
      const QString why = session_.Ws().RandomAbsences ? lblMessage->text() : QString();
      for (QWidget* w : std::initializer_list<QWidget*>{rdgrpPrior, edtPriorP, edtPriorA}) w->setToolTip(why);
    };
    try {
      Submit(session_);
    } catch (...) {
      showRandomAbsences();
      throw;
    }
    showRandomAbsences();
    grpbxBayesOutput->hide();
    ShowTab(2);
    ShowStage();
  }, true, "the final submission");
}

void TfrmKarvelo::btbttnGraphicalAnalysisClick() {
  RunHandler([this] {
    // Rebuilt at every opening: the configuration may have changed since the last one.
    frmGraphicalAnalysis_->FillLists(GraphicalAnalysisLists(session_.Ws()).entries);
    hooks.showModal(*frmGraphicalAnalysis_);
  });
}

// --- Tab 3 ------------------------------------------------------------------------------------

void TfrmKarvelo::rdgrpPriorClick() {
  const bool manual = rdgrpPrior->ItemIndex() <= 0;
  edtPriorP->setEnabled(manual);
  edtPriorA->setEnabled(manual);
}

PriorControls TfrmKarvelo::ReadPriorControls() const {
  PriorControls c;
  c.choice = static_cast<PriorKind>(std::clamp(rdgrpPrior->ItemIndex(), 0, 2));
  c.textP = edtPriorP->text().toStdString();
  c.textA = edtPriorA->text().toStdString();
  return c;
}

void TfrmKarvelo::ShowPriorControls(const PriorControls& c) {
  edtPriorP->setText(QString::fromStdString(c.textP));
  edtPriorA->setText(QString::fromStdString(c.textA));
}

void TfrmKarvelo::PriorExit(bool presence) {
  // A run reads the fields once at its start and writes them back at its end; an entry in
  // between would change PriorP under the map being written.
  if (mappingRunning_) return;
  PriorControls c = ReadPriorControls();
  PriorEntry(c, presence, session_.Ws());
  ShowPriorControls(c);
}

void TfrmKarvelo::edtPriorPExit() { PriorExit(true); }

void TfrmKarvelo::edtPriorAExit() { PriorExit(false); }

void TfrmKarvelo::chckbxErrorPropClick() { rdgrpConfLevel->setEnabled(chckbxErrorProp->isChecked()); }

void TfrmKarvelo::btbttnKarveloClick() {
  // GeneralRefresh lets a second click through while a run works; that run would share its files.
  if (mappingRunning_) return;
  if (session_.Ws().DataDefCount < 1) {
    message("No dataconfiguration defined!\nRestart or import configuration file first.");
    return;
  }
  const bool uncertainty = chckbxErrorProp->isChecked();
  RunLongStep([this, uncertainty] { MapRun(uncertainty); }, true, "the mapping run");
}

void TfrmKarvelo::MapRun(bool uncertainty) {
  mappingRunning_ = true;
  // The fields show the run's priors at its end; typing into them meanwhile would be lost.
  edtPriorP->setReadOnly(true);
  edtPriorA->setReadOnly(true);
  // However the run ends, the window is usable again afterwards.
  struct RunEnd {
    TfrmKarvelo* w;
    ~RunEnd() {
      w->mappingRunning_ = false;
      w->edtPriorP->setReadOnly(false);
      w->edtPriorA->setReadOnly(false);
      w->tbcntrlMain->setEnabled(true);
    }
  } runEnd{this};

  // The run rewrites the maps the viewer may be reading.
  frmMapViewer_->Release();
  // The uncertainty run's class test rests on the observed counts, not on the samples.
  lblBootstrap->setVisible(uncertainty);
  lblimg->hide();
  lblimg2->hide();
  mmIndependence->hide();
  tbcntrlMain->setEnabled(false);
  grpbxBayesOutput->show();
  // Cut back to its header so that afterwards its rows tell whether this run got to the class test.
  session_.Tables().Chi2a.SetRowCount(1);
  strgrdChi2a->hide();
  lblChi2test2->hide();

  MapOptions options;
  options.priors = ReadPriorControls();
  options.uncertainty = uncertainty;
  // The filter level is read once, as the run starts.
  options.evidence = kEvidenceLevels[std::clamp(rdgrpConfLevel->ItemIndex(), 0, 5)];
  options.geotiff = chckbxGeoTiff->isChecked();
  MapResult result;
  RunHandler([&] { result = Map(session_, options, imgKarveloCanvas_, FaceRgb()); }, "the mapping run");
  const bool mapped = result.mapped;

  // The prior step may have calculated the priors even when a later step stopped the run.
  ShowPriorControls(options.priors);
  RefreshTables();
  RefreshPictures();
  // Random absences re-ran the audit and the final submission inside the engine, past the
  // tab-2 handlers: leave the buttons as those would have.
  if (session_.Ws().RandomAbsences) {
    ShowStage();
    btbttnGraphicalAnalysis->setEnabled(true);
  }
  // A run that stopped before its class test has nothing new to show: its picture is blank.
  const bool tested = mapped || session_.Tables().Chi2a.RowCount() > 1;
  grpbxBayesOutput->setVisible(tested);
  strgrdChi2a->setVisible(tested);
  lblChi2test2->setVisible(tested);
  lblimg->setVisible(mapped);
  lblimg2->setVisible(mapped);
  // The picture shows the mean map of an uncertainty run, else the plain map.
  if (mapped) mappedFile_ = session_.Run().Output(uncertainty ? kMeanMapFile : kBayesMapFile);
  QStringList independence;
  for (const std::string& line : result.independence) independence << QString::fromStdString(line);
  mmIndependence->setPlainText(independence.join('\n'));
  mmIndependence->setVisible(mapped && !independence.isEmpty());
  if (!mapped) {
    status2("(Idle)");
    gaugeProgress(0);
  }
}

// --- Tab 4 ------------------------------------------------------------------------------------

void TfrmKarvelo::ShowCodeLists() {
  auto fill = [this](QComboBox* box, int selected) {
    box->clear();
    for (const std::string& code : validationFile_.codes) box->addItem(QString::fromStdString(code));
    box->setCurrentIndex(validationFile_.codes.empty() ? -1 : selected);
  };
  fill(cmbbxFINDS, validationFile_.findsIndex);
  fill(cmbbxNONFINDS, validationFile_.nonFindsIndex);
}

void TfrmKarvelo::bttbOpenValDataClick() {
  RunHandler([this] {
    FileDialogRequest request;
    request.filter = "Textfile (*.txt)|*.txt|Comma delimited file (*.csv)|*.csv|All files (*.*)|*.*";
    const auto path = AskFile(request, pointsFolder_);
    if (!path) return;
    QStringList raw;
    for (const std::string& line : ReadAllLines(*path)) raw << QString::fromLocal8Bit(line.data(), static_cast<qsizetype>(line.size()));
    mmValdata->setPlainText(raw.join('\n'));
    grpbxValidateA->setTitle(" a: Validation data (from:" + QString::fromStdString(path->filename().string()) + ") ");
    mmValdata->show();
    strgrdValData->hide();

    // The notes belong to the file shown, also when the new one is refused.
    validationNotes_.clear();
    ShowValidationNotes();
    OpenValidationFile(validationFile_, *path, reporter());
    validationRecords_.clear();
    {
      // The engine has already settled the columns and their code lists as the editors would:
      // moving the editors here must not screen the code column a second time.
      const QSignalBlocker block(spndtVAL);
      const int columns = std::max(1, validationFile_.ValColumnCount);
      for (auto [spin, value] : {std::pair{spndtX, validationFile_.ValColX}, std::pair{spndtY, validationFile_.ValColY},
                                 std::pair{spndtVAL, validationFile_.ValColVal}}) {
        spin->setRange(1, columns);
        spin->setValue(value);
      }
    }
    ShowCodeLists();

    btbttnLoadValData->setEnabled(true);
    btbttnPredMap->setEnabled(false);
    btbttnEvaluate->setEnabled(false);
    imgROC->hide();
    HideEvaluationExtras();
  });
}

void TfrmKarvelo::spndtVALChange() {
  if (validationFile_.path.empty()) return;
  RunHandler([this] {
    validationFile_.ValColVal = spndtVAL->value();
    CheckColValData(validationFile_, validationFile_.ValColVal, reporter());
    ShowCodeLists();
  });
}

void TfrmKarvelo::btbttnLoadValDataClick() {
  RunLongStep([this] { LoadValDataStep(); }, false, "importing the validation data");
}

void TfrmKarvelo::LoadValDataStep() {
  mmValdata->hide();
  strgrdValData->hide();
  imgROC->hide();
  HideEvaluationExtras();
  btbttnPredMap->setEnabled(false);
  btbttnEvaluate->setEnabled(false);
  // The gauge counts on while hidden and comes back however the import ends.
  Gauge1->hide();
  RunHandler([this] {
    validationFile_.ValColX = spndtX->value();
    validationFile_.ValColY = spndtY->value();
    validationFile_.ValColVal = spndtVAL->value();
    validationNotes_.clear();
    ShowValidationNotes();
    LoadValData(validationFile_, validationRecords_, reporter());
    FillValDataTable(validationRecords_, session_.Tables().ValData);
    if (const auto note = SkippedLinesNote(validationFile_)) validationNotes_.push_back(*note);
    ShowValidationNotes();
    strgrdValData->Refresh();
    strgrdValData->show();
    btbttnPredMap->setEnabled(true);
  });
  Gauge1->show();
}

void TfrmKarvelo::btbttnPredMapClick() {
  RunLongStep([this] {
    const auto path = AskFile(GridFileDialog(), gridFolder_);
    if (!path) return;
    imgROC->hide();
    HideEvaluationExtras();
    lblNewFile->setText(QString::fromStdString(path->filename().string()));
    // "ValDataComplete.txt" is about to be rewritten; until it is, it does not belong to this map.
    btbttnEvaluate->setEnabled(false);
    predictiveMap_ = TDataDef{};
    const bool asciiGrid = rdgrpNewFile->ItemIndex() == 0;
    LookUpPredictiveMap(predictiveMap_, *path, asciiGrid, validationRecords_, reporter());
    // The notes of an earlier lookup or evaluation belong to another map.
    validationNotes_.resize(SkippedLinesNote(validationFile_) ? 1 : 0);
    validationNotes_.push_back(LookupReportLine(validationRecords_));
    ShowValidationNotes();
    btbttnEvaluate->setEnabled(true);
  }, false, "the map lookup");
  // The table shows whatever the lookup did to the records, also when it stopped half-way.
  FillValDataTable(validationRecords_, session_.Tables().ValData);
  strgrdValData->Refresh();
}

void TfrmKarvelo::btbttnEvaluateClick() {
  RunLongStep([this] { EvaluateStep(); }, false, "the evaluation");
}

void TfrmKarvelo::EvaluateStep() {
  imgROC->show();
  HideEvaluationExtras();
  bool drawn = false;
  RunHandler([&] {
    RocCounts counts;
    const std::string findsText = cmbbxFINDS->currentText().toStdString();
    drawn = EvaluateRoc(predictiveMap_.FileName, validationFile_.path, findsText, predictiveMap_.minvalue,
                        predictiveMap_.maxvalue, validationRecords_, imgROCCanvas_, reporter(), &counts)
                .has_value();
    if (!drawn) return;
    // One line on the codes: the last evaluation's.
    if (!validationNotes_.empty() && validationNotes_.back().rfind("Finds: ", 0) == 0) validationNotes_.pop_back();
    validationNotes_.push_back(counts.codesLine);
    ShowValidationNotes();
    const AucIntervals intervals = EvaluateAucIntervals(counts, session_.Ws().Random, session_.Ws().FixedSeed, reporter());
    std::string aucLines = AucIntervalLine("DeLong", intervals.delong) + "\n" + AucIntervalLine("bootstrap", intervals.bootstrap);
    if (intervals.tieNote) aucLines += "\n" + *intervals.tieNote;
    lblAucInterval->setText(QString::fromStdString(aucLines));
    lblAucInterval->show();
    const std::vector<GainRow> gain =
        EvaluateGain(predictiveMap_.FileName, *ParseReal(Trimmed(findsText)), validationRecords_, imgGainCanvas_, reporter());
    std::string text = GainTitle(predictiveMap_.FileName) + ":";
    for (const GainRow& r : gain) {
      if (r.areaPercent == 10 || r.areaPercent == 20 || r.areaPercent == 50) {
        text += "\n" + GainShortLine(r);
      }
    }
    lblGain->setText(QString::fromStdString(text));
    lblGain->setVisible(!gain.empty());
    imgGain->setVisible(!gain.empty());
    imgGain->Refresh();
  });
  // A half-drawn picture without a curve is not a result.
  imgROC->setVisible(drawn);
  imgROC->Refresh();
}

void TfrmKarvelo::ShowValidationNotes() {
  std::string text;
  for (const std::string& line : validationNotes_) text += (text.empty() ? "" : "\n") + line;
  lblValNotes->setText(QString::fromStdString(text));
  lblValNotes->setToolTip(QString::fromStdString(text));
  lblValNotes->setVisible(!text.empty());
}

void TfrmKarvelo::HideEvaluationExtras() {
  lblAucInterval->hide();
  imgGain->hide();
  lblGain->hide();
}

// During a step the information windows open beside the window instead of waiting in a modal
// loop, which would hold the step until they close.
void TfrmKarvelo::Settings1Click() {
  if (stepRunning_) {
    frmINFO_->show();
    return;
  }
  hooks.showModal(*frmINFO_);
}
// --- Map viewer -------------------------------------------------------------------------------

std::vector<MapPoint> TfrmKarvelo::ValidationPoints() const {
  // The imported records with their numbers as read: finds and non-finds as the code lists say.
  std::vector<MapPoint> points;
  const auto finds = ParseReal(cmbbxFINDS->currentText().toStdString());
  const auto nonFinds = ParseReal(cmbbxNONFINDS->currentText().toStdString());
  const ValidationRecords& r = validationRecords_;
  for (std::size_t i = 0; i < r.size(); ++i) {
    if (!r.HasPosition(i)) continue;
    if (finds && r.Code(i) == *finds) points.push_back({r.X(i), r.Y(i), true});
    else if (nonFinds && r.Code(i) == *nonFinds) points.push_back({r.X(i), r.Y(i), false});
  }
  return points;
}

void TfrmKarvelo::OpenMapViewer(const std::filesystem::path& file, bool withPoints) {
  if (file.empty()) return;
  if (!frmMapViewer_->Open(file, withPoints ? ValidationPoints() : std::vector<MapPoint>{})) return;
  frmMapViewer_->show();
  frmMapViewer_->raise();
  frmMapViewer_->activateWindow();
}

void TfrmKarvelo::imgDataDblClick() {
  const TDataDef& def = session_.Ws().CurrentDataDef;
  if (def.GridFileType == TGridFileType::asciigrid && !grpbxScan->isHidden()) OpenMapViewer(def.FileName, false);
}

void TfrmKarvelo::imgKarveloDblClick() {
  if (lblimg->isVisibleTo(this)) OpenMapViewer(mappedFile_, true);
}

void TfrmKarvelo::imgROCDblClick() { OpenMapViewer(predictiveMap_.FileName, true); }

void TfrmKarvelo::AboutKarvelo1Click() {
  if (stepRunning_) {
    frmAbout_->show();
    return;
  }
  hooks.showModal(*frmAbout_);
}

void TfrmKarvelo::GeneralRefresh() {
  QCoreApplication::processEvents();
  repaint();
}

void TfrmKarvelo::status1(std::string_view text) {
  stsbrPanel1->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  GeneralRefresh();
}

void TfrmKarvelo::status2(std::string_view text) {
  stsbrPanel2->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  LayOutStatusBar();
  GeneralRefresh();
}

void TfrmKarvelo::gaugeRange(int minimum, int maximum) { Gauge1->SetRange(minimum, maximum); }

void TfrmKarvelo::gaugeProgress(int progress) {
  Gauge1->SetProgress(progress);
  // A long loop reports every row: let a click on Cancel (and repaints) through a few times a
  // second, without paying for the event loop on every row.
  if (!stepRunning_) return;
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (now - lastEventsAt_ >= 40) {
    lastEventsAt_ = now;
    QCoreApplication::processEvents();
  }
}

void TfrmKarvelo::message(std::string_view raw, MessageKind kind) {
  // Nobody is there to read a box while the window closes on a signal; the log keeps the text.
  if (closingOnSignal_) {
    log(EscapeControl(raw, true));
    return;
  }
  if (auditRunning_) {
    strgrdFrequency->Refresh();
    strgrdChi2->Refresh();
    GeneralRefresh();
  }
  // The last guard: file text quoted in a message shows its control bytes escaped.
  const std::string text = EscapeControl(raw, true);
  hooks.message(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), kind);
}

std::size_t TfrmKarvelo::ask(std::string_view text, const std::vector<std::string>& buttons, std::size_t fallback) {
  const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (!hooks.ask) {
    hooks.message(shown, MessageKind::Warning);
    return fallback;
  }
  QStringList captions;
  for (const std::string& b : buttons) captions << QString::fromStdString(b);
  const int answer = hooks.ask(shown, captions, static_cast<int>(fallback));
  return answer < 0 || answer >= static_cast<int>(buttons.size()) ? fallback : static_cast<std::size_t>(answer);
}

std::optional<std::filesystem::path> TfrmKarvelo::chooseFile(const FileDialogRequest& request) {
  return hooks.chooseFile(request);
}

void TfrmKarvelo::RefreshTables() {
  for (TStringGridView* view : {strgrdDataConfiguration, strgrdFrequency, strgrdChi2, strgrdChi2a, strgrdBayesTable, strgrdValData}) {
    view->Refresh();
  }
}

void TfrmKarvelo::RefreshPictures() {
  imgData->Refresh();
  imgKarvelo->Refresh();
  imgROC->Refresh();
  imgGain->Refresh();
}

bool TfrmKarvelo::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return QMainWindow::event(event);
}

// Some platforms never activate a window they show (offscreen, X without a window manager), so
// the run also starts once the event loop has shown the window.
void TfrmKarvelo::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  QTimer::singleShot(0, this, &TfrmKarvelo::FormActivate);
}

bool TfrmKarvelo::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && (watched == edtPriorP || watched == edtPriorA)) {
    // Another window or a popup taking the focus does not leave the field.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) PriorExit(watched == edtPriorP);
  }
  return QMainWindow::eventFilter(watched, event);
}

void TfrmKarvelo::closeEvent(QCloseEvent* event) {
  // Closing deletes the work files that a running step is still using: the step is asked to stop
  // first, and the window closes once it has.
  if (stepRunning_) {
    event->ignore();
    if (closeAfterStep_) return;
    if (closingOnSignal_) {
      closeAfterStep_ = true;
      session_.Run().RequestCancel();
      return;
    }
    if (hooks.ask && hooks.ask("A step is still running. Cancel it and close Karvelo?", {"Yes", "No"}, 1) == 0) {
      closeAfterStep_ = true;
      session_.Run().RequestCancel();
    }
    return;
  }
  FormClose();
  event->accept();
}

}  // namespace karvelo
