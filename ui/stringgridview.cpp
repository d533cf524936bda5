// Copying a TextGrid into the table widget.
#include "ui/stringgridview.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace karvelo {

TStringGridView::TStringGridView(TextGrid& model, QWidget* parent) : QTableWidget(parent), model_(&model) {
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  verticalHeader()->hide();
  verticalHeader()->setMinimumSectionSize(12);
  verticalHeader()->setDefaultSectionSize(18);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setMinimumSectionSize(10);
  horizontalHeader()->setStretchLastSection(false);
  setWordWrap(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

void TStringGridView::Refresh() {
  const int cols = model_->ColCount();
  const int header = HeaderRows();
  setColumnCount(cols);
  setRowCount(model_->RowCount() - header);
  horizontalHeader()->setVisible(header == 1);
  if (header == 1) {
    QStringList labels;
    for (int c = 0; c < cols; ++c) labels << QString::fromStdString(model_->Cell(c, 0));
    setHorizontalHeaderLabels(labels);
  }
  // Fixed rows below the first look like the header and cannot be selected.
  const QBrush fixedBackground = palette().brush(QPalette::Button);
  for (int r = header; r < model_->RowCount(); ++r) {
    const bool fixed = r < model_->fixedRows;
    for (int c = 0; c < cols; ++c) {
      const QString text = QString::fromStdString(model_->Cell(c, r));
      QTableWidgetItem* it = item(r - header, c);
      if (it) {
        it->setText(text);
      } else {
        it = new QTableWidgetItem(text);
        setItem(r - header, c, it);
      }
      it->setFlags(fixed ? Qt::ItemIsEnabled : Qt::ItemIsSelectable | Qt::ItemIsEnabled);
      it->setBackground(fixed ? fixedBackground : QBrush());
    }
  }
  for (int c = 0; c < cols; ++c) setColumnWidth(c, std::max(model_->ColWidth(c), ContentWidth(c)));
}

int TStringGridView::CellTextPadding() const {
  // The style insets an item's text by its focus frame margin plus one on each side, and the grid
  // line takes one pixel of the column.
  return 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + (showGrid() ? 1 : 0);
}

int TStringGridView::ContentWidth(int col) const {
  // Advances are fractional and the style elides at the fraction: round up.
  const QFontMetricsF fm(font());
  qreal widest = 0;
  for (int r = HeaderRows(); r < model_->RowCount(); ++r) {
    const std::string& text = model_->Cell(col, r);
    if (!text.empty()) widest = std::max(widest, fm.horizontalAdvance(QString::fromStdString(text)));
  }
  int width = widest > 0 ? static_cast<int>(std::ceil(widest)) + CellTextPadding() : 0;
  if (HeaderRows() == 1) width = std::max(width, horizontalHeader()->sectionSizeHint(col));
  return width;
}

int TStringGridView::SelectedModelRow() const {
  const QList<QTableWidgetItem*> items = selectedItems();
  if (items.isEmpty()) return -1;
  return ModelRow(items.front()->row());
}

}  // namespace karvelo
