// A text table as the window shows it and the log prints it: cells, column widths, fixed rows.
#pragma once

#include <string>
#include <vector>

namespace karvelo {

class TextGrid {
 public:
  TextGrid() = default;
  TextGrid(int cols, int rows) { SetSize(cols, rows); }

  int ColCount() const { return cols_; }
  int RowCount() const { return rows_; }
  // Keeps the cells that stay inside the new size; new cells are empty.
  void SetSize(int cols, int rows);
  void SetRowCount(int rows) { SetSize(cols_, rows); }

  // Cells are addressed (column, row), row 0 being the header row where the table has one.
  std::string Cell(int col, int row) const;
  void SetCell(int col, int row, std::string text);
  std::vector<std::string> Row(int row) const;
  void SetRow(int row, const std::vector<std::string>& texts);
  void ClearRow(int row);
  // Puts the rows first, first + 1, ... in the order of `order` (row first + i gets the row that
  // was at first + order[i]), moving their cells instead of copying them.
  void ReorderRows(int first, const std::vector<int>& order);

  int ColWidth(int col) const { return col < static_cast<int>(widths_.size()) ? widths_[col] : 64; }
  void SetColWidth(int col, int width);

  int fixedRows = 1;

 private:
  // A table may hold a million validation records: each row is one string of its cells, each
  // cell a length (one byte, or 0xFF and four bytes) and its bytes. Cells past the end of a row
  // are empty. A row of four short cells takes some 60 bytes instead of 170 as separate strings.
  static std::vector<std::string> Unpacked(const std::string& packed, int cols);
  static std::string Packed(const std::vector<std::string>& cells);

  int cols_ = 0;
  int rows_ = 0;
  std::vector<std::string> rowTexts_;
  std::vector<int> widths_;
};

}  // namespace karvelo
