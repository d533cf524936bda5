// The small dialog that asks how a cross-validation deals its folds: how many, and random cells or blocks.
#pragma once

#include <QDialog>

#include "workflow/insight.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace karvelo {

class TfrmFolds : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmFolds(QWidget* parent = nullptr);

  // The caption says what the folds are for (the cross-validation, or the importance scored by it).
  void SetPurpose(const QString& title, const QString& caption);
  // The choices as the steps take them: no block size for random cells or an automatic one.
  FoldOptions Options() const;

  QLabel* lblCaption;
  QLabel* lblFolds;
  QSpinBox* spndtFolds;
  QRadioButton* rdbttnRandom;
  QRadioButton* rdbttnBlocks;
  QLabel* lblBlockSize;
  QSpinBox* spndtBlockSize;  // 0 reads "automatic": a tenth of the grid's shorter side
  QLabel* lblHint;
  QPushButton* bttnRun;
  QPushButton* bttnCancel;

 private:
  void SplitChanged();
};

}  // namespace karvelo
