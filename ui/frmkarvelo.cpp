// The main window's handlers: each reads its controls, calls one workflow step and shows the result.
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
#include "validation/binarymap.h"
#include "ui/frmgraphicalanalysis.h"
#include "ui/frminfo.h"
#include "ui/frmlegend.h"
#include "ui/frmmapviewer.h"
#include "ui/gauge.h"
#include "ui/pictureview.h"
#include "ui/radiogroup.h"
#include "ui/stringgridview.h"
#include "ui/tabcontrol.h"
#include "report/runreport.h"
#include "workflow/configure.h"
#include "workflow/insight.h"
#include "workflow/runrecord.h"
#include "workflow/mapping.h"
#include "workflow/rasters.h"
#include "workflow/validation.h"
#include "validation/lookup.h"
#include "validation/aucintervals.h"
#include "validation/gain.h"
#include "validation/roc.h"
#include "stats/statstext.h"
#include "core/numfmt.h"
#include "validation/valdata.h"

namespace karvelo {


void TfrmKarvelo::FormActivate() {
  if (phase_ != RunPhase::NotStarted) return;
  phase_ = RunPhase::Open;
  SessionOptions options;
  options.folder = folder_;
  // A second window (or a batch run) in the same folder would mix its files with this run's.
  if (!session_.Open(options)) {
    phase_ = RunPhase::Ended;  // nothing of this window's may touch the folder, not even at its close
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
  if (phase_ == RunPhase::Ended) return;
  phase_ = RunPhase::Ended;
  // The report of the run goes before the log, which names it; a failure to write it is a warning.
  if (session_.IsOpen()) WriteRunReport(session_);
  status2("Saving logfile ...");
  // A log that cannot be written is reported, and the run still ends: the user must always be
  // able to close the program, and the work files are still removed.
  session_.Close(false, [this] { status2("Cleaning up ..."); });
}

void TfrmKarvelo::CloseOnSignal() {
  closeRequest_ = CloseRequest::BySignal;
  if (busy_ != Busy::None) session_.Run().RequestCancel();
  // A dialog waiting for the user would hold the step, and with it the close.
  if (QWidget* modal = QApplication::activeModalWidget()) {
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
  }
  if (busy_ == Busy::None) QTimer::singleShot(0, this, &QWidget::close);
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
    // A configuration changed since the last map: its weights no longer hold.
    if (!r.karvelo) {
      btbttnWeights->setEnabled(false);
      frmWeights_->Clear();
    }
    if (r.graphicalAnalysis >= 0) btbttnGraphicalAnalysis->setEnabled(r.graphicalAnalysis == 1);
    UpdateInsightButtons();
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
  status1(kTabActivities[index]);
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
  const StepOutcome outcome = session_.RunStep(stepName, handler, busy_ != Busy::None);
  if (outcome == StepOutcome::Failed) tbcntrlMain->setEnabled(true);
  if (outcome == StepOutcome::Failed || (outcome == StepOutcome::Cancelled && lastOutcome_ == StepOutcome::Done)) {
    lastOutcome_ = outcome;
  }
}

void TfrmKarvelo::RunLongStep(const std::function<void()>& handler, bool usesWorkFiles, const std::string& stepName, Busy kind) {
  // The buttons are disabled, but a click already queued, or a call from a test, must not start
  // a second step inside the first.
  if (busy_ != Busy::None) return;
  busy_ = kind;
  lastOutcome_ = StepOutcome::Done;
  session_.Run().ClearCancel();
  tbcntrlMain->setEnabled(false);
  bttnCancel->setEnabled(true);
  // The step's results are put in place together when it ends; a cancel leaves every earlier
  // result as it was. A step that fails keeps the results it finished, as each file is whole.
  RunHandler(handler, stepName);
  const bool cancelled = lastOutcome_ == StepOutcome::Cancelled;
  if (lastOutcome_ != StepOutcome::Done && usesWorkFiles) DiscardWorkFiles();
  session_.Run().ClearCancel();
  bttnCancel->setEnabled(false);
  tbcntrlMain->setEnabled(true);
  busy_ = Busy::None;
  if (cancelled) {
    status2("Cancelled.");
    gaugeProgress(0);
  }
  if (closeRequest_ != CloseRequest::None) QTimer::singleShot(0, this, &QWidget::close);
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
  if (busy_ != Busy::None) session_.Run().RequestCancel();
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
  ImportRasterStep(session_, picked, 1, target);
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
    // The configuration is no longer the one in its file.
    configurationFile_.reset();
    UpdateInsightButtons();
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
    configurationFile_.reset();
    UpdateInsightButtons();
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
    configurationFile_ = std::filesystem::absolute(*path);
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
    configurationFile_ = std::filesystem::absolute(*path);
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
  RunLongStep([this] {
    const AuditResult outcome = Audit(session_);
    RefreshTables();
    if (!outcome.ran) return;
    ShowStage();
    btbttnGraphicalAnalysis->setEnabled(true);
    strgrdChi2a->hide();
    lblChi2test2->hide();
  }, true, "the audit", Busy::Audit);
}

void TfrmKarvelo::btbttnSubmitFinalClick() {
  RunLongStep([this] {
    // The tab-3 side of the submission depends only on RandomAbsences, which the engine sets
    // before it writes any class file; it stands even when writing one fails.
    try {
      Submit(session_);
    } catch (...) {
      ShowRandomAbsences();
      throw;
    }
    ShowRandomAbsences();
    grpbxBayesOutput->hide();
    ShowTab(2);
    ShowStage();
  }, true, "the final submission");
}

void TfrmKarvelo::ShowRandomAbsences() {
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
  if (busy_ == Busy::Mapping || busy_ == Busy::Insight) return;
  PriorControls c = ReadPriorControls();
  PriorEntry(c, presence, session_.Ws());
  ShowPriorControls(c);
}

void TfrmKarvelo::edtPriorPExit() { PriorExit(true); }

void TfrmKarvelo::edtPriorAExit() { PriorExit(false); }

void TfrmKarvelo::chckbxErrorPropClick() { rdgrpConfLevel->setEnabled(chckbxErrorProp->isChecked()); }

void TfrmKarvelo::btbttnKarveloClick() {
  // GeneralRefresh lets a second click through while a run works; that run would share its files.
  if (busy_ == Busy::Mapping) return;
  if (session_.Ws().DataDefCount < 1) {
    message("No dataconfiguration defined!\nRestart or import configuration file first.");
    return;
  }
  const bool uncertainty = chckbxErrorProp->isChecked();
  RunLongStep([this, uncertainty] { MapRun(uncertainty); }, true, "the mapping run", Busy::Mapping);
  // The step's pictures are in place only once it has ended.
  frmWeights_->LoadPictures();
}

void TfrmKarvelo::MapRun(bool uncertainty) {
  // The fields show the run's priors at its end; typing into them meanwhile would be lost.
  edtPriorP->setReadOnly(true);
  edtPriorA->setReadOnly(true);
  // However the run ends, the window is usable again afterwards.
  struct RunEnd {
    TfrmKarvelo* w;
    ~RunEnd() {
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
  btbttnWeights->setEnabled(false);
  frmWeights_->Clear();
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
  if (mapped) {
    // Only the pictures this run wrote.
    std::vector<EffectsPicture> pictures;
    for (const EffectsPicture& p : EffectsPictures(session_.Ws(), session_.Run())) {
      if (std::find(result.written.begin(), result.written.end(), p.file) != result.written.end()) pictures.push_back(p);
    }
    frmWeights_->SetResult(result.weights, pictures);
    btbttnWeights->setEnabled(true);
  }
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
    OpenPoints(session_, validationFile_, *path);
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
    UpdateInsightButtons();
    btbttnPredMap->setEnabled(false);
    btbttnEvaluate->setEnabled(false);
    imgROC->hide();
    HideEvaluationExtras();
  });
  // Also after a refused file: what is open decides what the steps score on.
  UpdateInsightButtons();
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
    const auto skipped = ImportPoints(session_, validationFile_, validationRecords_);
    FillValDataTable(validationRecords_, session_.Tables().ValData);
    if (skipped) validationNotes_.push_back(*skipped);
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
    const std::string report = LookUpMap(session_, predictiveMap_, *path, asciiGrid, validationRecords_);
    // The notes of an earlier lookup or evaluation belong to another map.
    validationNotes_.resize(SkippedLinesNote(validationFile_) ? 1 : 0);
    validationNotes_.push_back(report);
    ShowValidationNotes();
    btbttnEvaluate->setEnabled(true);
  }, false, "the map lookup");
  // The table shows whatever the lookup did to the records, also when it stopped half-way.
  FillValDataTable(validationRecords_, session_.Tables().ValData);
  strgrdValData->Refresh();
}

void TfrmKarvelo::btbttnEvaluateClick() {
  const bool resultsShown = frmEvaluation_->isVisible();
  RunLongStep([this] { EvaluateStep(); }, false, "the evaluation");
  // The step's pictures are in place once it has ended; a results window left open follows it.
  if (!btbttnResults->isEnabled()) return;
  frmEvaluation_->LoadPictures();
  if (resultsShown) btbttnResultsClick();
}

void TfrmKarvelo::EvaluateStep() {
  const BinaryBoxReading binary = ReadBinaryBox(*cmbbxBinary);
  if (binary.refusal) {
    message(*binary.refusal);
    return;
  }
  // The evaluation rewrites the binary map that the viewer may be reading.
  if (binary.choice &&
      frmMapViewer_->File() == session_.Run().Output(BinaryMapFileName(std::filesystem::path(predictiveMap_.FileName).filename().string()))) {
    frmMapViewer_->Release();
  }
  imgROC->show();
  HideEvaluationExtras();
  EvaluationResult result;
  RunHandler([&] {
    EvaluationOptions options;
    options.findsText = cmbbxFINDS->currentText().toStdString();
    options.binary = binary.choice;
    options.compare = compareMap_;
    const int presence = session_.Ws().FindPresenceDefIndex();
    if (presence > 0) options.training = session_.Ws().DataDef(presence);
    result = Evaluate(session_, predictiveMap_, validationFile_, validationRecords_, options, imgROCCanvas_, imgGainCanvas_);
  });
  if (result.evaluated) {
    frmEvaluation_->SetResult(result, EvaluationPictures(result, session_.Run(), predictiveMap_.FileName), predictiveMap_.FileName);
    btbttnResults->setEnabled(true);
  }
  if (!result.codesLine.empty()) {
    // One line on the codes: the last evaluation's.
    if (!validationNotes_.empty() && validationNotes_.back().rfind("Finds: ", 0) == 0) validationNotes_.pop_back();
    validationNotes_.push_back(result.codesLine);
    ShowValidationNotes();
  }
  if (result.auc) {
    std::string aucLines = AucIntervalLine("DeLong", result.intervals.delong) + "\n" + AucIntervalLine("bootstrap", result.intervals.bootstrap);
    if (result.intervals.tieNote) aucLines += "\n" + *result.intervals.tieNote;
    lblAucInterval->setText(QString::fromStdString(aucLines));
    lblAucInterval->show();
  }
  if (result.evaluated) {
    std::string text = GainTitle(predictiveMap_.FileName) + ":";
    for (const GainRow& r : result.gain) {
      if (r.areaPercent == 10 || r.areaPercent == 20 || r.areaPercent == 50) text += "\n" + GainShortLine(r);
    }
    lblGain->setText(QString::fromStdString(text));
    lblGain->setVisible(!result.gain.empty());
    imgGain->setVisible(!result.gain.empty());
    imgGain->Refresh();
  }
  // A half-drawn picture without a curve is not a result.
  imgROC->setVisible(result.auc.has_value());
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
  btbttnResults->setEnabled(false);
  frmEvaluation_->Clear();
}

void TfrmKarvelo::btbttnCompareClick() {
  RunHandler([this] {
    // Pressed again, the button lets the second map go.
    if (compareMap_) {
      compareMap_.reset();
    } else {
      compareMap_ = AskFile(GridFileDialog(), gridFolder_);
    }
    btbttnCompare->setChecked(compareMap_.has_value());
    btbttnCompare->setToolTip(compareMap_ ? "Compared with " + QString::fromStdString(compareMap_->string()) +
                                                " at the next evaluation; press to compare with none"
                                          : "Press to compare the map with a second map on the same points (paired DeLong test)");
  });
}

void TfrmKarvelo::btbttnWeightsClick() {
  frmWeights_->show();
  frmWeights_->raise();
  frmWeights_->activateWindow();
}

void TfrmKarvelo::btbttnResultsClick() {
  frmEvaluation_->show();
  frmEvaluation_->raise();
  frmEvaluation_->activateWindow();
}

// --- Cross-validation and importance -----------------------------------------------------------

namespace {

// The steps audit the configuration again: its summary box would interrupt them every time.
struct QuietAuditDuring {
  Workspace& ws;
  bool was;
  explicit QuietAuditDuring(Workspace& w) : ws(w), was(w.QuietAudit) { ws.QuietAudit = true; }
  ~QuietAuditDuring() { ws.QuietAudit = was; }
};

void ShowResultWindow(TfrmInsight& window) {
  window.show();
  window.raise();
  window.activateWindow();
}

}  // namespace

void TfrmKarvelo::UpdateInsightButtons() {
  const bool configured = configurationFile_.has_value() && session_.CurrentStage() != Stage::Start;
  const bool pointsOpen = !validationFile_.path.empty();
  const QString noFile = "Save the configuration on tab 1 or load one on tab 2 first: these steps read its file";
  const QString file = configured ? QString::fromStdString(configurationFile_->filename().string()) : QString();
  btbttnCrossValidate->setEnabled(configured && !pointsOpen);
  btbttnImportance->setEnabled(configured);
  if (!configured) {
    btbttnCrossValidate->setToolTip(noFile);
    btbttnImportance->setToolTip(noFile);
    return;
  }
  btbttnCrossValidate->setToolTip(pointsOpen ? "A validation file is open: evaluate the map on its points (b, c) instead"
                                             : "Press to score maps of " + file +
                                                   ", each made without one fold of its observations, on the fold held out");
  btbttnImportance->setToolTip("Press to score the map of " + file + " without each grid and with each grid alone, " +
                               (pointsOpen ? "on the points of the open validation file" : "by cross-validation"));
}

InsightMapOptions TfrmKarvelo::ReadInsightOptions() const {
  InsightMapOptions options;
  options.priors = ReadPriorControls();
  // The level is enabled, and so means something to the user, only with the uncertainty box.
  if (chckbxErrorProp->isChecked()) options.evidence = kEvidenceLevels[std::clamp(rdgrpConfLevel->ItemIndex(), 0, 5)];
  return options;
}

void TfrmKarvelo::ShowResubmitted() {
  // The step loaded the configuration again, audited it and wrote its class files.
  RefreshTables();
  UpdateDataConfigurationMenu();
  ShowStage();
  if (session_.CurrentStage() == Stage::Submitted) ShowRandomAbsences();
  btbttnGraphicalAnalysis->setEnabled(session_.CurrentStage() != Stage::Start && session_.CurrentStage() != Stage::Configured);
}

void TfrmKarvelo::btbttnCrossValidateClick() {
  if (busy_ != Busy::None || !configurationFile_) return;
  frmFolds_->SetPurpose("Cross-validation", "Cross-validate " + QString::fromStdString(configurationFile_->filename().string()) +
                                                " with the priors and the evidence level of tab 3:");
  if (hooks.showModal(*frmFolds_) != QDialog::Accepted) return;
  const FoldOptions folds = frmFolds_->Options();
  const InsightMapOptions map = ReadInsightOptions();
  const std::filesystem::path config = *configurationFile_;
  frmCrossValidation_->Clear();
  CrossValidationResult result;
  bool finished = false;
  RunLongStep([&] {
    const QuietAuditDuring quiet(session_.Ws());
    result = CrossValidate(session_, config, map, folds);
    finished = result.refusal == InsightRefusal::None;
  }, true, "the cross-validation", Busy::Insight);
  ShowResubmitted();
  if (!finished || lastOutcome_ != StepOutcome::Done) return;
  frmCrossValidation_->SetCrossValidation(result, session_.Run().Output(kFoldsPictureFile));
  // The picture is in place only once the step has ended.
  frmCrossValidation_->LoadPicture();
  ShowResultWindow(*frmCrossValidation_);
}

void TfrmKarvelo::btbttnImportanceClick() {
  if (busy_ != Busy::None || !configurationFile_) return;
  const QString file = QString::fromStdString(configurationFile_->filename().string());
  std::optional<ImportancePoints> points;
  FoldOptions folds;
  if (!validationFile_.path.empty()) {
    points = ImportancePoints{validationFile_.path, spndtX->value(), spndtY->value(), spndtVAL->value(),
                              cmbbxFINDS->currentText().toStdString()};
  } else {
    frmFolds_->SetPurpose("Grid importance", "Score each grid of " + file + " by cross-validation, with the priors and the evidence level of tab 3:");
    if (hooks.showModal(*frmFolds_) != QDialog::Accepted) return;
    folds = frmFolds_->Options();
  }
  const InsightMapOptions map = ReadInsightOptions();
  const std::filesystem::path config = *configurationFile_;
  frmImportance_->Clear();
  ImportanceResult result;
  bool finished = false;
  RunLongStep([&] {
    const QuietAuditDuring quiet(session_.Ws());
    result = GridImportance(session_, config, map, points, folds);
    finished = result.refusal == InsightRefusal::None;
  }, true, "the importance of the grids", Busy::Insight);
  ShowResubmitted();
  if (!finished || lastOutcome_ != StepOutcome::Done) return;
  frmImportance_->SetImportance(result, session_.Run().Output(kImportancePictureFile));
  frmImportance_->LoadPicture();
  ShowResultWindow(*frmImportance_);
}

// During a step the information windows open beside the window instead of waiting in a modal
// loop, which would hold the step until they close.
void TfrmKarvelo::Settings1Click() {
  if (busy_ != Busy::None) {
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
  if (busy_ != Busy::None) {
    frmAbout_->show();
    return;
  }
  hooks.showModal(*frmAbout_);
}

void TfrmKarvelo::OpenRunReport1Click() {
  if (busy_ != Busy::None || !session_.IsOpen()) return;
  if (!session_.Record().HasResults()) {
    message("There is nothing to report yet: audit a configuration, make a map or evaluate one first.",
            MessageKind::Information);
    return;
  }
  const auto report = WriteRunReport(session_);
  if (!report) return;
  if (!hooks.openFile || !hooks.openFile(*report)) {
    message("The run report was written to " + report->string() + ", but no program could be started to show it.",
            MessageKind::Warning);
  }
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
  if (busy_ != Busy::None) {
    event->ignore();
    if (closeRequest_ == CloseRequest::BySignal) {
      session_.Run().RequestCancel();
      return;
    }
    if (closeRequest_ == CloseRequest::ByUser) return;
    if (hooks.ask && hooks.ask("A step is still running. Cancel it and close Karvelo?", {"Yes", "No"}, 1) == 0) {
      closeRequest_ = CloseRequest::ByUser;
      session_.Run().RequestCancel();
    }
    return;
  }
  FormClose();
  event->accept();
}

}  // namespace karvelo
