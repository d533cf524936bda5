// The About box: logo, title, version and a few lines on what Karvelo does.
#pragma once

#include <QDialog>

class QLabel;
class QPixmap;
class QPlainTextEdit;
class QPushButton;

namespace karvelo {

class TfrmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmAbout(QWidget* parent = nullptr);

  // The square logo: a small grey ramp of cells with one red cell, like a probability map.
  static QPixmap Logo(int size);

  QLabel* imgLogo;
  QLabel* lblTitle;
  QLabel* lblVersion;  // the same text as --version and the run log's credit line
  QPlainTextEdit* mmAbout;
  QPushButton* btbttnOK;
};

}  // namespace karvelo
