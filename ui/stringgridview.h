// A table view that shows a TextGrid: its fixed row 0 as the header, further fixed rows alike, its column widths, its cells.
#pragma once

#include <QAbstractTableModel>
#include <QBrush>
#include <QTableView>

#include "core/textgrid.h"

namespace karvelo {

// The view's model reads the TextGrid's cells when the view draws them: a table of a million
// validation records costs the window only the rows on screen.
class TextGridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TextGridModel(TextGrid& grid, QObject* parent = nullptr) : QAbstractTableModel(parent), grid_(&grid) {}

  TextGrid& Grid() const { return *grid_; }
  bool Attached() const { return grid_ != nullptr; }
  // The header row (model row 0) is shown as the column headings when the grid has fixed rows.
  int HeaderRows() const { return grid_ && grid_->fixedRows > 0 && grid_->RowCount() > 0 ? 1 : 0; }
  // Takes the grid's size and cells as they are now.
  void Reload();
  // Lets go of the grid, which is about to be destroyed: the model is empty from now on.
  void Detach();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  QBrush fixedBackground;  // the look of fixed rows below the header, set by the view

 private:
  TextGrid* grid_;
  int rows_ = 0, cols_ = 0, header_ = 0;
};

// The engine fills the TextGrid; the window calls Refresh() afterwards. The view never changes
// the grid, so what the log prints and what the user sees come from the same cells.
class TStringGridView : public QTableView {
  Q_OBJECT
 public:
  TStringGridView(TextGrid& model, QWidget* parent = nullptr);

  TextGrid& Model() { return model_->Grid(); }
  const TextGrid& Model() const { return model_->Grid(); }

  // The grid's owner calls this before destroying the grid while the view may still be shown (a
  // window's members go before its child widgets, which still answer the header's size questions).
  void Detach() { model_->Detach(); }

  // Takes size, header and cells from the grid. The grid's column widths are minimums: a column
  // is widened to its widest text, header included, so that no number is ever cut short; the
  // table scrolls when the columns outgrow it.
  void Refresh();
  // Pixels a column needs beyond its text's advance for the text to show whole.
  int CellTextPadding() const;

  // What the view shows: rows below the header, a cell's text, a column's heading.
  int rowCount() const { return model_->rowCount(); }
  int columnCount() const { return model_->columnCount(); }
  QString CellText(int viewRow, int col) const;
  QString HeaderText(int col) const;
  // The view row of the current cell, or -1.
  int currentRow() const;

  // Model row of a view row (the header row is not a view row).
  int ModelRow(int viewRow) const { return viewRow + model_->HeaderRows(); }
  // The model row of the current selection, or -1.
  int SelectedModelRow() const;

 private:
  int ContentWidth(int col) const;

  TextGridModel* model_;  // a child of the view
};

}  // namespace karvelo
