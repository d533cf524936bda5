// The window that shows and saves the histograms of two auxiliary grids and their scatterplot.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>
#include <vector>

#include "audit/graphical.h"
#include "core/workspace.h"
#include "render/qimage_canvas.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace karvelo {

class TPictureView;
class TfrmKarvelo;

// Shown modally from the main window, whose workspace it reads and through which it reports
// (messages, run log, gauge). It only displays: the configuration is left as it is.
class TfrmGraphicalAnalysis : public QDialog {
  Q_OBJECT
 public:
  TfrmGraphicalAnalysis(Workspace& ws, TfrmKarvelo& main);
  ~TfrmGraphicalAnalysis() override;

  // Replaces both lists by `entries` (each keeps its full path as item data) and selects the
  // first entry of each. With nothing to choose, showing is impossible and its button is off.
  void FillLists(const std::vector<GraphicalEntry>& entries);
  // The entry selected in a list, or nothing when the list is empty.
  std::optional<GraphicalEntry> Selected(const QComboBox& list) const;

  void FormShow();
  void ClearImages();
  void btbttnShowClick();
  void bttnCloseClick();
  // Escape and the window manager close the window the way "Close" does, so the main window
  // always returns to its post-audit state.
  void reject() override;

  QLabel* lblAUX1;
  QComboBox* cmbbxAUX1;
  QLabel* lblAUX2;
  QComboBox* cmbbxAUX2;
  QPushButton* btbttnShow;
  QPushButton* bttnClose;
  QLabel* lblHistogram1;
  TPictureView* imgAUX1;
  QLabel* lblHistogram2;
  TPictureView* imgAUX2;
  QLabel* lblScatter;
  TPictureView* imgScatter;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  class DrawingShell;
  void RefreshPictures();

  Workspace& ws_;
  TfrmKarvelo& main_;
  QImageCanvas aux1Canvas_;
  QImageCanvas aux2Canvas_;
  QImageCanvas scatterCanvas_;
  std::unique_ptr<DrawingShell> drawingShell_;
};

}  // namespace karvelo
