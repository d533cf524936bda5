// The settings view: the program's fixed limits, read-only.
#pragma once

#include <QDialog>

class QPushButton;
class QTableWidget;

namespace karvelo {

class TfrmINFO : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmINFO(QWidget* parent = nullptr);

  // Fills strgrdInfo and puts the focus on OK; runs each time the window becomes active.
  void FormActivate();

  QTableWidget* strgrdInfo;
  QPushButton* btbttnOK;

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
};

}  // namespace karvelo
