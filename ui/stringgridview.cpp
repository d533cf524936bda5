// Showing a TextGrid in a table view.
#include "ui/stringgridview.h"

#include <QFontMetricsF>
#include <QHeaderView>
#include <QStyle>
#include <algorithm>
#include <array>
#include <cmath>

namespace karvelo {

void TextGridModel::Reload() {
  beginResetModel();
  header_ = HeaderRows();
  rows_ = std::max(0, grid_->RowCount() - header_);
  cols_ = grid_->ColCount();
  endResetModel();
}

void TextGridModel::Detach() {
  beginResetModel();
  grid_ = nullptr;
  rows_ = cols_ = header_ = 0;
  endResetModel();
}

int TextGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TextGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : cols_; }

QVariant TextGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !grid_) return {};
  const int row = index.row() + header_;
  if (role == Qt::DisplayRole) return QString::fromStdString(grid_->Cell(index.column(), row));
  if (role == Qt::BackgroundRole && row < grid_->fixedRows) return fixedBackground;
  return {};
}

QVariant TextGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || header_ == 0 || !grid_) return {};
  return QString::fromStdString(grid_->Cell(section, 0));
}

Qt::ItemFlags TextGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid() || !grid_) return Qt::NoItemFlags;
  // Fixed rows below the first look like the header and cannot be selected.
  const bool fixed = index.row() + header_ < grid_->fixedRows;
  return fixed ? Qt::ItemIsEnabled : Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

TStringGridView::TStringGridView(TextGrid& model, QWidget* parent) : QTableView(parent), model_(new TextGridModel(model, this)) {
  setModel(model_);
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
  if (!model_->Attached()) return;
  model_->fixedBackground = palette().brush(QPalette::Button);
  model_->Reload();
  horizontalHeader()->setVisible(model_->HeaderRows() == 1);
  for (int c = 0; c < model_->columnCount(); ++c) setColumnWidth(c, std::max(Model().ColWidth(c), ContentWidth(c)));
}

QString TStringGridView::CellText(int viewRow, int col) const {
  return model_->data(model_->index(viewRow, col)).toString();
}

QString TStringGridView::HeaderText(int col) const { return model_->headerData(col, Qt::Horizontal).toString(); }

int TStringGridView::currentRow() const { return currentIndex().isValid() ? currentIndex().row() : -1; }

int TStringGridView::CellTextPadding() const {
  // The style insets an item's text by its focus frame margin plus one on each side, and the grid
  // line takes one pixel of the column.
  return 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + (showGrid() ? 1 : 0);
}

int TStringGridView::ContentWidth(int col) const {
  // Advances are fractional and the style elides at the fraction: round up. A long table (a
  // million validation records) is measured by the advances of its characters, kept per byte,
  // and only its widest text and the texts of other characters are laid out whole; kerning only
  // narrows a text, so the column is never too narrow.
  const QFontMetricsF fm(font());
  const TextGrid& grid = Model();
  constexpr int kMeasuredWhole = 2000;
  const bool longTable = grid.RowCount() - model_->HeaderRows() > kMeasuredWhole;
  std::array<qreal, 128> advance{};
  if (longTable) {
    for (int ch = 32; ch < 128; ++ch) advance[static_cast<std::size_t>(ch)] = fm.horizontalAdvance(QChar(ch));
  }
  auto whole = [&](const std::string& text) { return fm.horizontalAdvance(QString::fromStdString(text)); };
  qreal widest = 0;
  std::string widestText;
  for (int r = model_->HeaderRows(); r < grid.RowCount(); ++r) {
    const std::string text = grid.Cell(col, r);
    if (text.empty()) continue;
    if (!longTable) {
      widest = std::max(widest, whole(text));
      continue;
    }
    qreal sum = 0;
    bool plain = true;
    for (const char ch : text) {
      const auto byte = static_cast<unsigned char>(ch);
      if (byte < 32 || byte >= 128) {
        plain = false;
        break;
      }
      sum += advance[byte];
    }
    if (!plain) sum = whole(text);
    if (sum > widest) {
      widest = sum;
      widestText = text;
    }
  }
  if (longTable && !widestText.empty()) widest = std::max(widest, whole(widestText));
  int width = widest > 0 ? static_cast<int>(std::ceil(widest)) + CellTextPadding() : 0;
  if (model_->HeaderRows() == 1) width = std::max(width, horizontalHeader()->sectionSizeHint(col));
  return width;
}

int TStringGridView::SelectedModelRow() const {
  const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
  if (rows.isEmpty()) return -1;
  return ModelRow(rows.front().row());
}

}  // namespace karvelo
