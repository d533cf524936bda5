// Text tables held as plain cells.
#include "core/textgrid.h"

#include <algorithm>
#include <stdexcept>

namespace karvelo {

void TextGrid::SetSize(int cols, int rows) {
  if (cols < 0 || rows < 0) throw std::out_of_range("negative table size");
  // Rows that were there keep their width unless the column count changes: growing a table row
  // by row stays linear.
  const bool widthChanges = cols != cols_;
  const std::size_t oldRows = cells_.size();
  cols_ = cols;
  rows_ = rows;
  cells_.resize(static_cast<std::size_t>(rows));
  for (std::size_t r = widthChanges ? 0 : std::min(oldRows, cells_.size()); r < cells_.size(); ++r) {
    cells_[r].resize(static_cast<std::size_t>(cols));
  }
  if (static_cast<int>(widths_.size()) < cols) widths_.resize(static_cast<std::size_t>(cols), 64);
}

const std::string& TextGrid::Cell(int col, int row) const {
  static const std::string empty;
  if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return empty;
  return cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

void TextGrid::SetCell(int col, int row, std::string text) {
  if (col < 0 || row < 0 || col >= cols_ || row >= rows_) throw std::out_of_range("table cell outside the table");
  cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)] = std::move(text);
}

std::vector<std::string> TextGrid::Row(int row) const {
  if (row < 0 || row >= rows_) return std::vector<std::string>(static_cast<std::size_t>(cols_));
  return cells_[static_cast<std::size_t>(row)];
}

void TextGrid::SetRow(int row, const std::vector<std::string>& texts) {
  for (int c = 0; c < cols_ && c < static_cast<int>(texts.size()); ++c) SetCell(c, row, texts[static_cast<std::size_t>(c)]);
}

void TextGrid::ClearRow(int row) {
  for (int c = 0; c < cols_; ++c) SetCell(c, row, {});
}

void TextGrid::ReorderRows(int first, const std::vector<int>& order) {
  if (first < 0 || first + static_cast<long long>(order.size()) > rows_) throw std::out_of_range("rows outside the table");
  std::vector<std::vector<std::string>> moved(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    moved[i] = std::move(cells_.at(static_cast<std::size_t>(first + order[i])));
  }
  for (std::size_t i = 0; i < order.size(); ++i) cells_[static_cast<std::size_t>(first) + i] = std::move(moved[i]);
}

void TextGrid::SetColWidth(int col, int width) {
  if (col < 0) return;
  if (col >= static_cast<int>(widths_.size())) widths_.resize(static_cast<std::size_t>(col) + 1, 64);
  widths_[static_cast<std::size_t>(col)] = width;
}

}  // namespace karvelo
