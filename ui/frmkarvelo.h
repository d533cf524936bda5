// The main window: the four workflow tabs, status bar and gauge, and the run it starts and ends.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>

#include "core/datadef.h"
#include "core/gridfile.h"
#include "core/runlog.h"
#include "core/runtables.h"
#include "core/shell.h"
#include "core/textgrid.h"
#include "core/workspace.h"
#include "render/qimage_canvas.h"
#include "ui/dialoghooks.h"
#include "validation/valdata.h"
#include "workflow/insight.h"
#include "workflow/session.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace karvelo {

class TGauge;
class TPictureView;
class TRadioGroup;
class TStringGridView;
class TTabControl;
class TfrmAbout;
class TfrmEvaluation;
class TfrmFolds;
class TfrmInsight;
class TfrmWeights;
class TfrmGraphicalAnalysis;
class TfrmINFO;
class TfrmLegend;
class TfrmMapViewer;
struct MapPoint;
struct PriorControls;

// The window is the Shell of every step it runs: status panels, gauge, run log, work files and
// the dialogs (through `hooks`).
// Status panel 1 per tab: what the user is doing there.
inline constexpr const char* kTabActivities[] = {"Defining data configuration", "Auditing data configuration",
                                                 "Mapping Bayesian probability", "Validating prediction map"};

class TfrmKarvelo : public QMainWindow, public Shell {
  Q_OBJECT
 public:
  explicit TfrmKarvelo(QWidget* parent = nullptr);
  ~TfrmKarvelo() override;

  // --- Run lifecycle -----------------------------------------------------------------------
  // Starts the run; only the first call does anything. Called when the window first becomes
  // active; tests call it directly.
  void FormActivate();
  // Ends the run: closing log line, Karvelo.log in the working directory, work files deleted.
  // Only the first call does anything. Called from closeEvent.
  void FormClose();
  // A termination signal: the window closes as on the user's close, without asking; a running step
  // is cancelled first and a dialog waiting for the user is dismissed. Messages go to the log only.
  void CloseOnSignal();
  bool RunStarted() const { return phase_ != RunPhase::NotStarted; }

  // Enables the workflow buttons for stage nr (0, 1, 3, 4); other values change nothing.
  void Status(int nr);
  // Status() for the session's stage: the one place where a stage becomes a number.
  void ShowStage();
  // Shows the group box of the selected tab and resets panel texts and gauge.
  void tbcntrlMainChange();
  void Settings1Click();
  void AboutKarvelo1Click();
  // "Open run report": the report written from the run so far, then opened in the browser.
  void OpenRunReport1Click();

  // --- Tab 1: data configuration ----------------------------------------------------------
  void bttnNewFileClick();
  void btbttnPresenceIndicatorClick();
  void btbttnAbsenceIndicatorClick();
  void btbttnClassifyClick();
  void btbttnSubmitClick();
  void Deletethisline1Click();
  void btbttnConfigurationFileClick();

  // --- Tab 2: configuration file and audit ----------------------------------------------
  void btbttnLoadConfigClick();
  void btbttnAuditClick();
  void btbttnSubmitFinalClick();
  // Offers the auxiliary grids of the configuration in the graphical-analysis window and shows it.
  void btbttnGraphicalAnalysisClick();
  // Lets pending window events run, then repaints the window.
  void GeneralRefresh();

  // --- Tab 3: priors and the Bayesian map ----------------------------------------------------
  // Manual priors (item 0, or none) can be typed; calculated ones cannot.
  void rdgrpPriorClick();
  // Leaving a prior field: a number from 0 to 1 puts its complement into the other field,
  // anything else "0.5" into both; then PriorP and PriorA follow the two fields.
  void edtPriorPExit();
  void edtPriorAExit();
  // The evidence filter only means something for the uncertainty run.
  void chckbxErrorPropClick();
  // The map button: the plain run, or the uncertainty run when chckbxErrorProp is ticked.
  void btbttnKarveloClick();
  // Whether a mapping run is under way (the window keeps handling events during it).
  bool MappingRunning() const { return busy_ == Busy::Mapping; }
  // The status bar's "Cancel": asks the running step to stop at its next row.
  void bttnCancelClick();

  // --- Tab 4: validation ---------------------------------------------------------------------
  // Opens and screens a validation file: its raw text, the guessed columns and the code lists.
  void bttbOpenValDataClick();
  // The user moved the code column: the code lists follow it.
  void spndtVALChange();
  // Imports and sorts the records with the columns the spin editors show.
  void btbttnLoadValDataClick();
  // Looks a probability map up at the records and writes "ValDataComplete.txt".
  void btbttnPredMapClick();
  // The ROC curve and AUC of the map against the records, with cmbbxFINDS's code as finds.
  void btbttnEvaluateClick();
  // The intervals' label and the gain curve belong to one evaluation: hidden with the ROC.
  void HideEvaluationExtras();
  // The second map that the evaluation compares with: picked, or (when one is set) let go.
  void btbttnCompareClick();
  // The threshold table, the lines beyond the AUC and the pictures of the last evaluation.
  void btbttnResultsClick();
  // The weights of evidence and the effect pictures of the last mapping run.
  void btbttnWeightsClick();
  // Cross-validation of the saved configuration with tab 3's priors and evidence level, folds as
  // the folds dialog sets them; offered while no validation file is open.
  void btbttnCrossValidateClick();
  // The importance of each grid, scored on tab 4's validation file (with its column choices) when
  // one is open, else by a cross-validation.
  void btbttnImportanceClick();

  // --- Shell ----------------------------------------------------------------------------------
  void status1(std::string_view text) override;
  void status2(std::string_view text) override;
  void refresh() override { GeneralRefresh(); }
  void gaugeRange(int minimum, int maximum) override;
  void gaugeProgress(int progress) override;
  void log(std::string_view line) override { session_.Log().Append(line); }
  void registerWorkFile(const std::filesystem::path& path) override { session_.Log().RegisterWorkFile(path); }
  void message(std::string_view text, MessageKind kind = MessageKind::Warning) override;
  std::size_t ask(std::string_view text, const std::vector<std::string>& buttons, std::size_t fallback) override;
  std::optional<std::filesystem::path> chooseFile(const FileDialogRequest& request) override;

  // --- State of the run ---------------------------------------------------------------------
  Workspace& workspace() { return session_.Ws(); }
  RunLog& runLog() { return session_.Log(); }          // mmLog and mmTempFiles
  RunTables& tables() { return session_.Tables(); }
  Session& session() { return session_; }
  // Shows the current contents of every table model of the run.
  void RefreshTables();
  // Copies the pictures' canvases to the screen after a step drew on them.
  void RefreshPictures();
  QImageCanvas& imgDataCanvas() { return imgDataCanvas_; }
  // The validation file as screened and as the editors set it for the import.
  const ValidationFile& validationFile() const { return validationFile_; }
  // The map of tab 4's lookup; tab 1's CurrentDataDef is not disturbed by it.
  const TDataDef& predictiveMap() const { return predictiveMap_; }

  // Message boxes, file dialogs and modal windows; tests replace these so nothing blocks.
  DialogHooks hooks;

  TfrmINFO* frmINFO() const { return frmINFO_; }
  TfrmAbout* frmAbout() const { return frmAbout_; }
  TfrmLegend* frmLegend() const { return frmLegend_; }
  TfrmGraphicalAnalysis* frmGraphicalAnalysis() const { return frmGraphicalAnalysis_; }
  TfrmMapViewer* frmMapViewer() const { return frmMapViewer_; }
  TfrmEvaluation* frmEvaluation() const { return frmEvaluation_; }
  TfrmWeights* frmWeights() const { return frmWeights_; }
  TfrmFolds* frmFolds() const { return frmFolds_; }
  TfrmInsight* frmCrossValidation() const { return frmCrossValidation_; }
  TfrmInsight* frmImportance() const { return frmImportance_; }

  // --- Map viewer -------------------------------------------------------------------------------
  // Opened by a double click on a map picture: tab 1's grid, tab 3's last map, tab 4's looked-up
  // map. A probability map comes with the imported validation points, when there are any.
  void imgDataDblClick();
  void imgKarveloDblClick();
  void imgROCDblClick();

  // --- Controls (named as in the window's design) -------------------------------------------
  QAction* Settings1;
  QAction* AboutKarvelo1;
  QAction* OpenRunReport1;
  TTabControl* tbcntrlMain;
  QGroupBox* grpbxDefineData;
  QGroupBox* grpbxAudit;
  QGroupBox* grpbxMap;
  QGroupBox* grpbxValidate;
  QWidget* stsbrStatus;
  QLabel* stsbrPanel0;
  QLabel* stsbrPanel1;
  QLabel* stsbrPanel2;
  QPushButton* bttnCancel;
  TGauge* Gauge1;

  // Tab 1
  QGroupBox* GroupBox1;
  TRadioGroup* rdgrpNewFile;
  QCheckBox* chckbxNewFile;
  QPushButton* bttnNewFile;
  QLabel* lblNewFile;
  QGroupBox* grpbxScan;
  QLabel* lblEither;
  QLabel* lblUniqueValues;
  QComboBox* cmbbxUniqueValues;
  QLabel* lblEitherSelect;
  QPushButton* btbttnPresenceIndicator;
  QPushButton* btbttnAbsenceIndicator;
  QLabel* lblOr;
  QLabel* lblContinuousRange;
  QLabel* lblmin;
  QLabel* lblTo;
  QLabel* lblmax;
  QLabel* lblOr2;
  QPushButton* btbttnClassify;
  QPushButton* btbttnSubmit;
  QPushButton* btbttnConfigurationFile;
  TPictureView* imgData;
  TStringGridView* strgrdDataConfiguration;
  QMenu* pppmnDataConfiguration;
  QAction* Deletethisline1;

  // Tab 2
  QPushButton* btbttnLoadConfig;
  QLabel* lblConfigFileCaption;
  QLabel* lblConfigFileName;
  QPlainTextEdit* Memo1;
  QPushButton* btbttnAudit;
  QGroupBox* grpbxAuditResults;
  QLabel* lblGridCountResults;
  TStringGridView* strgrdFrequency;
  QLabel* lblChi2test1;
  TStringGridView* strgrdChi2;
  QPushButton* btbttnGraphicalAnalysis;
  QPushButton* btbttnSubmitFinal;

  // Tab 3
  TRadioGroup* rdgrpPrior;
  QLineEdit* edtPriorP;
  QLineEdit* edtPriorA;
  QLabel* Label11;
  QGroupBox* grpbxErrorPropagation;
  QCheckBox* chckbxErrorProp;
  QCheckBox* chckbxGeoTiff;  // off by default
  TRadioGroup* rdgrpConfLevel;
  QPushButton* btbttnKarvelo;
  QPushButton* btbttnWeights;  // enabled by a mapping run that got to its map
  QGroupBox* grpbxBayesOutput;
  QLabel* Label13;
  QLabel* lblMessage;
  TStringGridView* strgrdBayesTable;
  QLabel* lblChi2test2;
  TStringGridView* strgrdChi2a;
  QLabel* lblBootstrap;
  QPlainTextEdit* mmIndependence;
  TPictureView* imgKarvelo;
  QLabel* lblimg;
  QLabel* lblimg2;

  // Tab 4
  QGroupBox* grpbxValidateA;
  QPushButton* bttbOpenValData;
  QLabel* Label16;
  QLabel* lblColumnX;
  QSpinBox* spndtX;
  QLabel* lblColumnY;
  QSpinBox* spndtY;
  QLabel* lblColumnVAL;
  QSpinBox* spndtVAL;
  QLabel* lblFINDS;
  QComboBox* cmbbxFINDS;
  QLabel* lblNONFINDS;
  QComboBox* cmbbxNONFINDS;
  QPushButton* btbttnLoadValData;
  QPushButton* btbttnPredMap;
  QPushButton* btbttnEvaluate;
  // The raw file, the record table and the ROC picture take turns at one place.
  QWidget* pnlValidationView;
  QPlainTextEdit* mmValdata;
  TStringGridView* strgrdValData;
  TPictureView* imgROC;
  // Under the ROC picture: the AUC's two 95% intervals.
  QLabel* lblAucInterval;
  QLabel* lblValNotes;  // lines not read as records, what the lookup dropped, the codes taken
  // Beside the ROC, below the steps: the success-rate curve, scaled down, and the gain at 10, 20, 50%.
  TPictureView* imgGain;
  QLabel* lblGain;
  // Beside the lookup: a second map for the paired comparison; beside the evaluation: its results.
  QPushButton* btbttnCompare;
  QPushButton* btbttnResults;
  // Under the ROC's intervals: whether the evaluation also writes a binary map, and at what threshold.
  QLabel* lblBinary;
  QComboBox* cmbbxBinary;
  // Under the ROC's intervals: the steps that score the saved configuration itself.
  QPushButton* btbttnCrossValidate;
  QPushButton* btbttnImportance;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // The run: context, lock, log, workspace and tables. First, so that it outlives the widgets.
  Session session_;
  // What every step reports to: this window, with the session's log and run.
  Shell& reporter() { return session_.Reporter(); }
  // The folder the window started in: the run's working folder.
  std::filesystem::path folder_;
  // The grid dialog; with `rasters` it also lists the raster types tab 1 imports.
  static FileDialogRequest GridFileDialog(bool rasters = false);
  // A picked raster that is not an ASCII grid: asks to import it into the working folder and
  // gives the imported grid, or nothing when the user declines.
  std::optional<std::filesystem::path> OfferImport(const std::filesystem::path& picked);
  void BuildMenu();
  void BuildStatusBar(QWidget* client);
  void LayOutStatusBar();
  void BuildDefineDataTab();
  void BuildAuditTab();
  void BuildMapTab();
  void BuildValidateTab();
  QGroupBox* NewTabGroup(const char* name, const char* caption);

  void LayOutTables();

  // Which step runs: the audit's messages repaint its tables first, a map run keeps the prior
  // fields as they were read.
  enum class Busy { None, Step, Audit, Mapping, Insight };
  // Runs a handler; a file error abandons it with the system's text, and the tab control that a
  // long step may have disabled is usable again.
  void RunHandler(const std::function<void()>& handler, const std::string& stepName = "this step");
  // Runs a long step: the tab control (and with it every button that starts a step) is disabled
  // and "Cancel" enabled for its duration, so no second step can start; a cancel ends it with
  // "Cancelled." in status panel 2. A step that works with the work files and does not finish
  // removes them, and the audit must be run again.
  // `stepName` names the step in the message when it runs out of memory ("Not enough memory for ...").
  void RunLongStep(const std::function<void()>& handler, bool usesWorkFiles, const std::string& stepName, Busy kind = Busy::Step);
  // After a step that left the work files unusable: they are removed and the audit comes next.
  void DiscardWorkFiles();
  // Shows uniqueList_ in cmbbxUniqueValues and enables the indicator buttons as it says.
  void ShowUniqueValues();
  void MarkIndicatorClick(bool presence);
  // The table's hint and right-click menu exist only while it holds a data row.
  void UpdateDataConfigurationMenu();
  // Saving needs a presence grid and a classified grid.
  void UpdateConfigurationFileButton();
  // Selects a tab as a click on it would, including the tab-change handling.
  void ShowTab(int index);
  // The widgets are the truth about the priors: the engine gets a copy before a run and the
  // window shows what the run made of it.
  PriorControls ReadPriorControls() const;
  void ShowPriorControls(const PriorControls& controls);
  void PriorExit(bool presence);
  // A mapping run, plain or with uncertainty (bootstrapping and error propagation), and the
  // window's state around it.
  void MapRun(bool uncertainty);
  // The bodies of the import and evaluation buttons, run as long steps.
  void LoadValDataStep();
  void EvaluateStep();
  // Both code lists from the validation file's codes and their proposed selections.
  void ShowCodeLists();
  // What the final submission shows on tab 3 when absences are drawn at random.
  void ShowRandomAbsences();
  // The configuration file the steps that load one work with: the one saved or loaded last, as
  // long as tab 1 has not changed the configuration since.
  std::optional<std::filesystem::path> configurationFile_;
  // The cross-validation and importance buttons follow the configuration file and tab 4's file.
  void UpdateInsightButtons();
  // Tab 3's priors, and its evidence level when the uncertainty box (which enables it) is ticked.
  InsightMapOptions ReadInsightOptions() const;
  // The window's state after a step that loaded, audited and submitted the configuration itself.
  void ShowResubmitted();
  QImageCanvas imgDataCanvas_;
  QImageCanvas imgKarveloCanvas_;
  QImageCanvas imgROCCanvas_;
  QImageCanvas imgGainCanvas_;
  ValidationFile validationFile_;
  ValidationRecords validationRecords_;
  std::vector<std::string> validationNotes_;
  // Shows the notes of tab 4's steps so far under the buttons.
  void ShowValidationNotes();
  TDataDef predictiveMap_;
  TfrmINFO* frmINFO_;
  TfrmAbout* frmAbout_;
  TfrmLegend* frmLegend_;
  TfrmGraphicalAnalysis* frmGraphicalAnalysis_;
  TfrmMapViewer* frmMapViewer_;
  TfrmEvaluation* frmEvaluation_;
  TfrmWeights* frmWeights_;
  TfrmFolds* frmFolds_;
  TfrmInsight* frmCrossValidation_;
  TfrmInsight* frmImportance_;
  // The map picked with "Compare with map...", none until then.
  std::optional<std::filesystem::path> compareMap_;
  std::filesystem::path mappedFile_;
  void OpenMapViewer(const std::filesystem::path& file, bool withPoints);
  std::vector<MapPoint> ValidationPoints() const;
  ScanResult uniqueList_;
  int selectedUniqueValue_ = -1;
  // Each kind of file dialog opens where the last file of its kind was picked, at first in the
  // working folder.
  std::optional<std::filesystem::path> AskFile(FileDialogRequest request, std::filesystem::path& folder);
  std::filesystem::path gridFolder_, configurationFolder_, pointsFolder_, picturesFolder_;
  // The window's face colour, for pictures whose background must match it.
  Rgb FaceRgb() const;
  // The one guard against a second step inside a running one.
  Busy busy_ = Busy::None;
  // The worst outcome of the handlers of the current long step (a failure or cancel inside it).
  StepOutcome lastOutcome_ = StepOutcome::Done;
  // Where the window's session stands: not opened yet, open, or ended (closed or refused).
  enum class RunPhase { NotStarted, Open, Ended };
  RunPhase phase_ = RunPhase::NotStarted;
  // A close asked for while a step runs waits for it to stop; one on a signal asks nobody.
  enum class CloseRequest { None, ByUser, BySignal };
  CloseRequest closeRequest_ = CloseRequest::None;
  // The gauge lets pending events (a click on Cancel) run now and then during a long loop.
  qint64 lastEventsAt_ = 0;
};

}  // namespace karvelo
