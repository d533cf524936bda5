// The classification window: class bounds of the working record, edited by the user, and its histogram.
#pragma once

#include "workflow/session.h"

#include <QDialog>
#include <array>
#include <memory>

#include "config/classification.h"
#include "config/proposals.h"
#include "core/limits.h"
#include "core/shell.h"
#include "core/workspace.h"
#include "render/qimage_canvas.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace karvelo {

class TPictureView;

inline constexpr const char* kAlignToObservationsButton = "Align to the observation grid";

// Works on CurrentDataDef of the workspace it is given. The window lives for the whole run, so
// the number of classes chosen last is offered again at the next opening.
class TfrmLegend : public QDialog {
  Q_OBJECT
 public:
  // The session's reporter is where the histogram reports its errors and lets pending events run;
  // an alignment is a step of the session.
  explicit TfrmLegend(Session& session, QWidget* parent = nullptr);
  ~TfrmLegend() override;

  // Proposes fresh bounds for the current number of classes (edits are replaced) and shows rows
  // 1..n. Runs at every opening and every change of the number of classes.
  void spndtLegendClassesChange();
  // Proposes the chosen kind of bounds for the number of classes last asked for; when bounds
  // repeat, fewer classes remain and the number shown drops with them.
  void cmbbxProposalChange();
  // The proposal chosen in the drop-down.
  Proposal ChosenProposal() const;
  // Follows an edited lower bound of class k (2..20): Label k-1 takes the text when it is a number.
  void Editlegend(int k);
  // Leaving Edit k: a text that is no number, or not above the lower bound of class k - 1, is
  // refused with a message naming the class, and the field (and the label that followed it)
  // gets its last accepted text back. Returns whether the text stands.
  bool CheckEdit(int k);
  // Stores the classes into CurrentDataDef.
  void PerformFinalization();
  // Stores and closes, unless the bounds cannot be stored (the message says why).
  void btbttnLegendReadyClick();
  // Draws the histogram; a grid of another extent than the observation grid is offered the
  // alignment onto it instead.
  void btbttnDrawHistogramClick();
  // Blanks the histogram; the main window does this before each opening, so that the picture
  // never shows the previous grid's classes.
  void ClearHistogram();

  const ClassBounds& Bounds() const { return bounds_; }
  const QImageCanvas& HistogramCanvas() const { return histogramCanvas_; }

  QSpinBox* spndtLegendClasses;
  QLabel* lblLegendClasses;
  QLabel* lblProposal;
  QComboBox* cmbbxProposal;
  QGroupBox* grpbxLegend;
  std::array<QLineEdit*, MaxClasses> Edit{};       // Edit[k - 1] is Edit k
  std::array<QLabel*, MaxClasses> Separator{};
  std::array<QLabel*, MaxClasses> Label{};         // Label[k - 1] is Label k
  QPushButton* btbttnLegendReady;
  QPushButton* btbttnDrawHistogram;
  TPictureView* imgAUX1;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class HistogramShell;
  // Edits whose label follows when the user leaves them, rather than at every keystroke.
  static bool FollowsOnExit(int k) { return k == 2 || k == 3 || k == 5; }
  // Runs the leave-the-field reaction of the focused edit, as leaving it for a button would;
  // false when its text was refused.
  bool FinishFocusedEdit();
  // Leaving Edit k: the check, then the label's follow for the fields that follow on leaving.
  void LeaveEdit(int k);
  // Replaces the working record's grid by its copy aligned onto the observation grid.
  bool AlignToObservationGrid();
  void ShowBounds();
  void Propose();
  // The drop-down offers logarithmic steps only for a grid whose values are all above 0.
  void OfferProposals();

  Session& session_;
  Workspace& ws_;
  Shell& shell_;
  ClassBounds bounds_;
  std::array<std::string, MaxClasses> accepted_;  // the last text of each Edit that stood
  int requested_ = 8;  // the number of classes the user chose last
  QImageCanvas histogramCanvas_;
  std::unique_ptr<HistogramShell> histogramShell_;
};

}  // namespace karvelo
