// The folds dialog: the number of folds, the split and the block side, laid out so that no text is cut.
#include "ui/frmfolds.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "core/limits.h"
#include "ui/appearance.h"

namespace karvelo {

namespace {

constexpr int kMostFoldsOffered = 20;  // more folds than this leave too few observations per fold to score

// Broken by hand: a wrapping label lets the layout squeeze the dialog below its height.
constexpr const char* kHint =
    "Random cells are optimistic when observations cluster: neighbouring cells share classes.\n"
    "Spatial blocks test the map on areas it has not seen: the honest choice for a map\n"
    "that will be used beyond its observations.";

}  // namespace

TfrmFolds::TfrmFolds(QWidget* parent) : QDialog(parent) {
  setObjectName("frmFolds");
  ApplyWindowFont(this);
  setWindowTitle("Cross-validation");

  lblCaption = new QLabel(this);
  lblCaption->setObjectName("lblCaption");
  lblFolds = new QLabel("Folds:", this);
  lblFolds->setObjectName("lblFolds");
  spndtFolds = new QSpinBox(this);
  spndtFolds->setObjectName("spndtFolds");
  spndtFolds->setRange(2, kMostFoldsOffered);
  spndtFolds->setValue(5);
  spndtFolds->setToolTip("Each fold is held out once and scored on a map made from the other folds");
  lblFolds->setBuddy(spndtFolds);

  rdbttnRandom = new QRadioButton("Random cells", this);
  rdbttnRandom->setObjectName("rdbttnRandom");
  rdbttnRandom->setChecked(true);
  rdbttnBlocks = new QRadioButton("Spatial blocks of cells", this);
  rdbttnBlocks->setObjectName("rdbttnBlocks");
  lblBlockSize = new QLabel("Block side (cells):", this);
  lblBlockSize->setObjectName("lblBlockSize");
  spndtBlockSize = new QSpinBox(this);
  spndtBlockSize->setObjectName("spndtBlockSize");
  spndtBlockSize->setRange(0, MaxGridExtent);
  spndtBlockSize->setSpecialValueText("automatic");
  spndtBlockSize->setValue(0);
  spndtBlockSize->setToolTip("The side of the square blocks dealt to the folds; automatic: a tenth of the grid's shorter side");
  lblBlockSize->setBuddy(spndtBlockSize);

  lblHint = new QLabel(kHint, this);
  lblHint->setObjectName("lblHint");
  bttnRun = new QPushButton("Run", this);
  bttnRun->setObjectName("bttnRun");
  bttnRun->setDefault(true);
  bttnCancel = new QPushButton("Cancel", this);
  bttnCancel->setObjectName("bttnCancel");
  connect(bttnRun, &QPushButton::clicked, this, &QDialog::accept);
  connect(bttnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(rdbttnRandom, &QRadioButton::toggled, this, [this] { SplitChanged(); });

  auto* form = new QFormLayout;
  form->addRow(lblFolds, spndtFolds);
  form->addRow(rdbttnRandom);
  form->addRow(rdbttnBlocks);
  form->addRow(lblBlockSize, spndtBlockSize);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(bttnRun);
  buttons->addWidget(bttnCancel);
  auto* all = new QVBoxLayout(this);
  all->addWidget(lblCaption);
  all->addLayout(form);
  all->addWidget(lblHint);
  all->addLayout(buttons);
  all->setSizeConstraint(QLayout::SetFixedSize);
  SetPurpose("Cross-validation", "Cross-validate the configuration with the priors and the evidence level of tab 3:");
  SplitChanged();
}

void TfrmFolds::SetPurpose(const QString& title, const QString& caption) {
  setWindowTitle(title);
  lblCaption->setText(caption);
}

FoldOptions TfrmFolds::Options() const {
  FoldOptions options;
  options.folds = spndtFolds->value();
  options.split = rdbttnBlocks->isChecked() ? FoldSplit::Blocks : FoldSplit::RandomCells;
  if (options.split == FoldSplit::Blocks && spndtBlockSize->value() > 0) options.blockSize = spndtBlockSize->value();
  return options;
}

void TfrmFolds::SplitChanged() {
  const bool blocks = rdbttnBlocks->isChecked();
  lblBlockSize->setEnabled(blocks);
  spndtBlockSize->setEnabled(blocks);
}

}  // namespace karvelo
