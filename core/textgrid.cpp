// Text tables held as one packed string per row.
#include "core/textgrid.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace karvelo {

namespace {

constexpr unsigned char kLongCell = 0xFF;

// The cell at the front of packed[pos...], and the position after it; nothing past the end.
bool NextCell(const std::string& packed, std::size_t& pos, std::string_view& cell) {
  if (pos >= packed.size()) return false;
  std::size_t length = static_cast<unsigned char>(packed[pos++]);
  if (length == kLongCell) {
    std::uint32_t n = 0;
    for (int b = 0; b < 4; ++b) n |= static_cast<std::uint32_t>(static_cast<unsigned char>(packed[pos++])) << (8 * b);
    length = n;
  }
  cell = std::string_view(packed).substr(pos, length);
  pos += length;
  return true;
}

void AppendCell(std::string& packed, std::string_view cell) {
  if (cell.size() > UINT32_MAX) throw std::length_error("table cell too long");
  if (cell.size() < kLongCell) {
    packed.push_back(static_cast<char>(cell.size()));
  } else {
    packed.push_back(static_cast<char>(kLongCell));
    const auto n = static_cast<std::uint32_t>(cell.size());
    for (int b = 0; b < 4; ++b) packed.push_back(static_cast<char>((n >> (8 * b)) & 0xFF));
  }
  packed.append(cell);
}

}  // namespace

std::vector<std::string> TextGrid::Unpacked(const std::string& packed, int cols) {
  std::vector<std::string> cells(static_cast<std::size_t>(cols));
  std::size_t pos = 0;
  std::string_view cell;
  for (std::size_t c = 0; c < cells.size() && NextCell(packed, pos, cell); ++c) cells[c] = cell;
  return cells;
}

std::string TextGrid::Packed(const std::vector<std::string>& cells) {
  // Trailing empty cells are left out: a row of empty cells takes no memory.
  std::size_t used = cells.size();
  while (used > 0 && cells[used - 1].empty()) --used;
  std::string packed;
  for (std::size_t c = 0; c < used; ++c) AppendCell(packed, cells[c]);
  return packed;
}

void TextGrid::SetSize(int cols, int rows) {
  if (cols < 0 || rows < 0) throw std::out_of_range("negative table size");
  rowTexts_.resize(static_cast<std::size_t>(rows));
  // Rows keep the cells inside the new width; a row's missing cells are empty, so growing the
  // table (row by row, as the imports do) touches no row that was there.
  if (cols < cols_) {
    for (std::string& row : rowTexts_) {
      if (!row.empty()) row = Packed(Unpacked(row, cols));
    }
  }
  cols_ = cols;
  rows_ = rows;
  if (static_cast<int>(widths_.size()) < cols) widths_.resize(static_cast<std::size_t>(cols), 64);
}

std::string TextGrid::Cell(int col, int row) const {
  if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return {};
  const std::string& packed = rowTexts_[static_cast<std::size_t>(row)];
  std::size_t pos = 0;
  std::string_view cell;
  for (int c = 0; c <= col; ++c) {
    if (!NextCell(packed, pos, cell)) return {};
  }
  return std::string(cell);
}

void TextGrid::SetCell(int col, int row, std::string text) {
  if (col < 0 || row < 0 || col >= cols_ || row >= rows_) throw std::out_of_range("table cell outside the table");
  std::string& packed = rowTexts_[static_cast<std::size_t>(row)];
  std::vector<std::string> cells = Unpacked(packed, cols_);
  cells[static_cast<std::size_t>(col)] = std::move(text);
  packed = Packed(cells);
}

std::vector<std::string> TextGrid::Row(int row) const {
  if (row < 0 || row >= rows_) return std::vector<std::string>(static_cast<std::size_t>(cols_));
  return Unpacked(rowTexts_[static_cast<std::size_t>(row)], cols_);
}

void TextGrid::SetRow(int row, const std::vector<std::string>& texts) {
  if (row < 0 || row >= rows_) throw std::out_of_range("table cell outside the table");
  std::vector<std::string> cells = Unpacked(rowTexts_[static_cast<std::size_t>(row)], cols_);
  for (std::size_t c = 0; c < cells.size() && c < texts.size(); ++c) cells[c] = texts[c];
  rowTexts_[static_cast<std::size_t>(row)] = Packed(cells);
}

void TextGrid::ClearRow(int row) {
  if (row < 0 || row >= rows_) throw std::out_of_range("table cell outside the table");
  std::string().swap(rowTexts_[static_cast<std::size_t>(row)]);
}

void TextGrid::ReorderRows(int first, const std::vector<int>& order) {
  if (first < 0 || first + static_cast<long long>(order.size()) > rows_) throw std::out_of_range("rows outside the table");
  const std::size_t n = order.size(), available = static_cast<std::size_t>(rows_ - first);
  bool increasing = true;
  for (std::size_t i = 0; i < n; ++i) {
    if (order[i] < 0 || static_cast<std::size_t>(order[i]) >= available) throw std::out_of_range("rows outside the table");
    if (i > 0 && order[i] <= order[i - 1]) increasing = false;
  }
  auto at = [&](std::size_t i) -> std::string& { return rowTexts_[static_cast<std::size_t>(first) + i]; };
  // A second array of a million rows would be the validation's largest allocation, so the rows
  // move in place: rows kept in their order (the lookup) move up one by one, a permutation (the
  // sort) cycle by cycle.
  if (increasing) {
    for (std::size_t i = 0; i < n; ++i) {
      if (static_cast<std::size_t>(order[i]) != i) at(i) = std::move(at(static_cast<std::size_t>(order[i])));
    }
    return;
  }
  std::vector<bool> placed(available, false);
  bool permutation = n == available;
  for (std::size_t i = 0; permutation && i < n; ++i) {
    permutation = !placed[static_cast<std::size_t>(order[i])];
    placed[static_cast<std::size_t>(order[i])] = true;
  }
  if (!permutation) {
    std::vector<std::string> moved(n);
    for (std::size_t i = 0; i < n; ++i) moved[i] = std::move(at(static_cast<std::size_t>(order[i])));
    for (std::size_t i = 0; i < n; ++i) at(i) = std::move(moved[i]);
    return;
  }
  std::fill(placed.begin(), placed.end(), false);
  for (std::size_t start = 0; start < n; ++start) {
    if (placed[start]) continue;
    std::string held = std::move(at(start));
    std::size_t i = start;
    for (;;) {
      placed[i] = true;
      const auto from = static_cast<std::size_t>(order[i]);
      if (from == start) {
        at(i) = std::move(held);
        break;
      }
      at(i) = std::move(at(from));
      i = from;
    }
  }
}

void TextGrid::SetColWidth(int col, int width) {
  if (col < 0) return;
  if (col >= static_cast<int>(widths_.size())) widths_.resize(static_cast<std::size_t>(col) + 1, 64);
  widths_[static_cast<std::size_t>(col)] = width;
}

}  // namespace karvelo
