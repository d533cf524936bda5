// The classification window's layout and handlers.
#include "ui/frmlegend.h"

#include "workflow/rasters.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "config/configfile.h"
#include "config/configtable.h"
#include "core/errors.h"
#include "gis/raster.h"
#include "ui/appearance.h"
#include "ui/pictureview.h"

namespace karvelo {

namespace {

constexpr int kRowsPerColumn = 10;
constexpr int kRowPitch = 24;

}  // namespace

// The histogram's "Preparing histograms ..." must show in this window's picture before the
// counting starts, which the main window's refresh alone does not repaint.
class TfrmLegend::HistogramShell : public ForwardingShell {
 public:
  HistogramShell(TfrmLegend& owner, Shell& inner) : ForwardingShell(inner), owner_(owner) {}
  void refresh() override {
    owner_.imgAUX1->Refresh();
    ForwardingShell::refresh();
  }

 private:
  TfrmLegend& owner_;
};

TfrmLegend::TfrmLegend(Session& session, QWidget* parent)
    : QDialog(parent),
      session_(session),
      ws_(session.Ws()),
      shell_(session.Reporter()),
      histogramCanvas_(kHistogramWidth, kHistogramHeight),
      histogramShell_(std::make_unique<HistogramShell>(*this, shell_)) {
  setObjectName("frmLegend");
  ApplyWindowFont(this);
  setWindowTitle("Classification");
  setFixedSize(778, 347);

  spndtLegendClasses = new QSpinBox(this);
  spndtLegendClasses->setObjectName("spndtLegendClasses");
  spndtLegendClasses->setRange(2, MaxClasses);
  spndtLegendClasses->setValue(bounds_.n);
  spndtLegendClasses->setGeometry(8, 10, 48, 22);
  lblLegendClasses = new QLabel("number of classes", this);
  lblLegendClasses->setObjectName("lblLegendClasses");
  lblLegendClasses->setGeometry(62, 12, 120, 18);
  lblProposal = new QLabel("Proposal", this);
  lblProposal->setObjectName("lblProposal");
  lblProposal->setGeometry(188, 12, 52, 18);
  cmbbxProposal = new QComboBox(this);
  cmbbxProposal->setObjectName("cmbbxProposal");
  cmbbxProposal->setGeometry(242, 9, 191, 22);
  for (Proposal p : kProposals) {
    cmbbxProposal->addItem(QString::fromUtf8(ProposalCaption(p).data(), static_cast<int>(ProposalCaption(p).size())),
                           static_cast<int>(p));
  }

  grpbxLegend = new QGroupBox(" Legend properties ", this);
  grpbxLegend->setObjectName("grpbxLegend");
  grpbxLegend->setGeometry(8, 38, 425, 274);
  for (int k = 1; k <= MaxClasses; ++k) {
    const std::size_t i = static_cast<std::size_t>(k - 1);
    const int x = k <= kRowsPerColumn ? 10 : 218;
    const int y = 20 + ((k - 1) % kRowsPerColumn) * kRowPitch;
    Edit[i] = new QLineEdit(grpbxLegend);
    Edit[i]->setObjectName(QString("Edit%1").arg(k));
    Edit[i]->setGeometry(x, y, 73, 20);
    Separator[i] = new QLabel("-", grpbxLegend);
    Separator[i]->setObjectName(QString("lblSeparator%1").arg(k));
    Separator[i]->setGeometry(x + 78, y + 2, 10, 16);
    Separator[i]->setAlignment(Qt::AlignCenter);
    Label[i] = new QLabel(grpbxLegend);
    Label[i]->setObjectName(QString("Label%1").arg(k));
    Label[i]->setGeometry(x + 92, y + 2, 100, 16);

    // The edit's text is what "Ready" stores, whether or not the label below follows it.
    connect(Edit[i], &QLineEdit::textEdited, this, [this, k, i](const QString& text) {
      bounds_.edits[i] = text.toStdString();
      if (k >= 2 && !FollowsOnExit(k)) Editlegend(k);
    });
    // Every field is checked when the user leaves it; a few follow only then.
    Edit[i]->installEventFilter(this);
  }

  btbttnLegendReady = new QPushButton("Ready", this);
  btbttnLegendReady->setObjectName("btbttnLegendReady");
  btbttnLegendReady->setGeometry(8, 318, 100, 24);
  btbttnDrawHistogram = new QPushButton("Draw (refresh) histograms for absences/presences", this);
  btbttnDrawHistogram->setObjectName("btbttnDrawHistogram");
  btbttnDrawHistogram->setGeometry(442, 8, kHistogramWidth, 24);
  // Return in a bound field must not close the window the way a default button would.
  btbttnLegendReady->setAutoDefault(false);
  btbttnDrawHistogram->setAutoDefault(false);

  imgAUX1 = new TPictureView(histogramCanvas_, this);
  imgAUX1->setObjectName("imgAUX1");
  imgAUX1->move(442, 36);

  connect(spndtLegendClasses, &QSpinBox::valueChanged, this, &TfrmLegend::spndtLegendClassesChange);
  connect(cmbbxProposal, &QComboBox::currentIndexChanged, this, &TfrmLegend::cmbbxProposalChange);
  connect(btbttnLegendReady, &QPushButton::clicked, this, &TfrmLegend::btbttnLegendReadyClick);
  connect(btbttnDrawHistogram, &QPushButton::clicked, this, &TfrmLegend::btbttnDrawHistogramClick);
}

TfrmLegend::~TfrmLegend() = default;

void TfrmLegend::spndtLegendClassesChange() {
  requested_ = spndtLegendClasses->value();
  Propose();
}

void TfrmLegend::cmbbxProposalChange() { Propose(); }

Proposal TfrmLegend::ChosenProposal() const {
  const QVariant data = cmbbxProposal->currentData();
  return data.isValid() ? static_cast<Proposal>(data.toInt()) : Proposal::RoundedSteps;
}

void TfrmLegend::Propose() {
  const Proposal p = ChosenProposal();
  bounds_.n = requested_;
  if (p == Proposal::RoundedSteps) {
    ProposeBounds(bounds_, ws_.CurrentDataDef.minvalue, ws_.CurrentDataDef.maxvalue);
  } else {
    try {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      ProposeBounds(bounds_, ws_.CurrentDataDef, p, requested_, shell_);
      QApplication::restoreOverrideCursor();
    } catch (const std::exception& e) {
      // A grid that cannot be read again (or a stop) leaves today's proposal in place.
      QApplication::restoreOverrideCursor();
      bounds_.n = requested_;
      ProposeBounds(bounds_, ws_.CurrentDataDef.minvalue, ws_.CurrentDataDef.maxvalue);
      shell_.message(e.what(), MessageKind::Error);
    }
    shell_.gaugeProgress(0);
  }
  if (spndtLegendClasses->value() != bounds_.n) {
    const QSignalBlocker block(spndtLegendClasses);
    spndtLegendClasses->setValue(bounds_.n);
  }
  ShowBounds();
}

void TfrmLegend::OfferProposals() {
  const Proposal chosen = ChosenProposal();
  const QSignalBlocker block(cmbbxProposal);
  cmbbxProposal->clear();
  for (Proposal p : kProposals) {
    if (!ProposalOffered(p, ws_.CurrentDataDef.minvalue)) continue;
    cmbbxProposal->addItem(QString::fromUtf8(ProposalCaption(p).data(), static_cast<int>(ProposalCaption(p).size())),
                           static_cast<int>(p));
  }
  const int at = cmbbxProposal->findData(static_cast<int>(chosen));
  cmbbxProposal->setCurrentIndex(at >= 0 ? at : 0);
}

void TfrmLegend::ShowBounds() {
  accepted_ = bounds_.edits;
  for (std::size_t i = 0; i < MaxClasses; ++i) {
    Edit[i]->setText(QString::fromStdString(bounds_.edits[i]));
    Label[i]->setText(QString::fromStdString(bounds_.labels[i]));
  }
  for (std::size_t i = 0; i < MaxClasses; ++i) {
    for (QWidget* w : {static_cast<QWidget*>(Edit[i]), static_cast<QWidget*>(Separator[i]), static_cast<QWidget*>(Label[i])}) {
      w->setVisible(static_cast<int>(i) < bounds_.n);
    }
  }
}

void TfrmLegend::Editlegend(int k) {
  if (k < 2 || k > MaxClasses) return;
  const std::size_t i = static_cast<std::size_t>(k - 1);
  if (karvelo::Editlegend(bounds_, k, Edit[i]->text().toStdString())) {
    Label[i - 1]->setText(QString::fromStdString(bounds_.labels[i - 1]));
  }
}

bool TfrmLegend::CheckEdit(int k) {
  const std::size_t i = static_cast<std::size_t>(k - 1);
  const std::string text = Edit[i]->text().toStdString();
  if (text == accepted_[i]) return true;  // passing through a field is no edit
  const std::optional<std::string> problem = EditProblem(bounds_, k, text);
  if (!problem) {
    accepted_[i] = text;
    return true;
  }
  // The label above followed the text as it was typed (a number, just not above its
  // neighbour): both go back to the last text that stood.
  bounds_.edits[i] = accepted_[i];
  Edit[i]->setText(QString::fromStdString(accepted_[i]));
  if (k >= 2) {
    bounds_.labels[i - 1] = accepted_[i];
    Label[i - 1]->setText(QString::fromStdString(accepted_[i]));
  }
  shell_.message(*problem);
  return false;
}

void TfrmLegend::LeaveEdit(int k) {
  if (CheckEdit(k) && FollowsOnExit(k)) Editlegend(k);
}

void TfrmLegend::PerformFinalization() { karvelo::PerformFinalization(bounds_, ws_.CurrentDataDef); }

bool TfrmLegend::FinishFocusedEdit() {
  for (int k = 1; k <= MaxClasses; ++k) {
    if (!Edit[static_cast<std::size_t>(k - 1)]->hasFocus()) continue;
    if (!CheckEdit(k)) return false;
    if (FollowsOnExit(k)) Editlegend(k);
  }
  return true;
}

void TfrmLegend::btbttnLegendReadyClick() {
  if (!FinishFocusedEdit()) return;
  if (const auto problem = BoundsProblem(bounds_)) {
    shell_.message(*problem);
    return;
  }
  PerformFinalization();
  accept();
}

bool TfrmLegend::AlignToObservationGrid() {
  const TDataDef& obs = ws_.DataDef(ws_.PresenceDefIndex);
  const std::string source = ws_.CurrentDataDef.FileName;
  const std::filesystem::path target = AlignedGridName(shell_.run().Folder(), source);
  shell_.status2("Aligning " + std::filesystem::path(source).filename().string());
  // The classes are the grid's values: nearest keeps every value as it is.
  const RasterResult outcome = AlignRasterStep(session_, obs.FileName, source, target, gis::Resampling::Nearest);
  shell_.status2("(Idle)");
  if (!AdoptGrid(ws_.CurrentDataDef, target.string(), shell_)) return false;
  if (!outcome.note.empty()) shell_.message(outcome.note);
  return true;
}

void TfrmLegend::btbttnDrawHistogramClick() {
  if (!FinishFocusedEdit()) return;
  try {
    if (const auto problem = BoundsProblem(bounds_)) {
      shell_.message(*problem);
      return;
    }
    // Bars counted over another area than the observations' would mean nothing.
    if (const auto problem = HistogramExtentProblem(ws_)) {
      if (shell_.ask(*problem, {kAlignToObservationsButton, "OK"}, 1) != 0) return;
      if (!AlignToObservationGrid()) return;
    }
    DrawClassHistogram(ws_, bounds_, histogramCanvas_, *histogramShell_);
  } catch (const FileError& e) {
    shell_.message(e.what(), MessageKind::Error);
  }
  imgAUX1->Refresh();
}

void TfrmLegend::ClearHistogram() {
  histogramCanvas_.FillRect(0, 0, histogramCanvas_.Width(), histogramCanvas_.Height(), kDefaultFace);
  imgAUX1->Refresh();
}

// Showing the window is its activation: each opening starts from freshly proposed bounds.
void TfrmLegend::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  OfferProposals();
  {
    // The number asked for last, even when the proposal left fewer.
    const QSignalBlocker block(spndtLegendClasses);
    spndtLegendClasses->setValue(requested_);
  }
  spndtLegendClassesChange();
}

bool TfrmLegend::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    for (int k = 1; k <= MaxClasses; ++k) {
      if (watched == Edit[static_cast<std::size_t>(k - 1)]) LeaveEdit(k);
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace karvelo
