// The weights-of-evidence window: the classes' weights as in Weights.csv, and each grid's effect picture.
#pragma once

#include <QDialog>
#include <filesystem>
#include <vector>

#include "mapping/effects.h"
#include "mapping/weights.h"

class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace karvelo {

class TfrmWeights : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmWeights(QWidget* parent = nullptr);

  // Shows the rows of the last mapping run and a tab for each of its effect pictures.
  void SetResult(const std::vector<WeightsRow>& rows, const std::vector<EffectsPicture>& pictures);
  // Reads the pictures from their files: once the step that wrote them has put them in place.
  void LoadPictures();
  // Nothing to show: the window closes and forgets the last run.
  void Clear();

  QLabel* lblNote;
  QTableWidget* tblWeights;
  QTabWidget* tbEffects;
  QPushButton* bttnClose;

 private:
  std::vector<EffectsPicture> pictures_;
};

}  // namespace karvelo
