// A table widget that shows a TextGrid: its fixed row 0 as the header, further fixed rows alike, its column widths, its cells.
#pragma once

#include <QTableWidget>

#include "core/textgrid.h"

namespace karvelo {

// The engine fills the TextGrid; the window calls Refresh() afterwards. The widget never changes
// the model, so what the log prints and what the user sees come from the same cells.
class TStringGridView : public QTableWidget {
  Q_OBJECT
 public:
  TStringGridView(TextGrid& model, QWidget* parent = nullptr);

  TextGrid& Model() { return *model_; }
  const TextGrid& Model() const { return *model_; }

  // Copies size, header and cells from the model. The model's column widths are minimums: a column
  // is widened to its widest text, header included, so that no number is ever cut short; the
  // table scrolls when the columns outgrow it.
  void Refresh();
  // Pixels a column needs beyond its text's advance for the text to show whole.
  int CellTextPadding() const;

  // Model row of a widget row (the header row is not a widget row), and back.
  int ModelRow(int viewRow) const { return viewRow + HeaderRows(); }
  int ViewRow(int modelRow) const { return modelRow - HeaderRows(); }
  // The model row of the current selection, or -1.
  int SelectedModelRow() const;

 private:
  int ContentWidth(int col) const;
  int HeaderRows() const { return model_->fixedRows > 0 && model_->RowCount() > 0 ? 1 : 0; }

  TextGrid* model_;
};

}  // namespace karvelo
