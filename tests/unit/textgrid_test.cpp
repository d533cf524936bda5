// The packed text table against a plain table of strings, under random edits.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "core/textgrid.h"

namespace karvelo {
namespace {

// The plain table the packed one must behave as: a string per cell.
struct PlainGrid {
  std::vector<std::vector<std::string>> cells;  // [row][col]
  int cols = 0;
  void SetSize(int c, int r) {
    cells.resize(static_cast<std::size_t>(r));
    for (auto& row : cells) row.resize(static_cast<std::size_t>(c));
    cols = c;
  }
};

std::string RandomText(std::mt19937& rng) {
  // Mostly short numbers, some empty, some at and past the one-byte length, some with control
  // characters and bytes that look like the packed form's lengths.
  std::uniform_int_distribution<int> kind(0, 9);
  const int k = kind(rng);
  if (k == 0) return {};
  std::size_t length = k <= 6 ? 1 + rng() % 12 : (k == 7 ? 254 + rng() % 3 : (k == 8 ? 300 + rng() % 2000 : 1 + rng() % 6));
  std::string text(length, ' ');
  for (char& ch : text) ch = k == 9 ? static_cast<char>(rng() % 256) : static_cast<char>('0' + rng() % 10);
  return text;
}

void ExpectSame(const TextGrid& packed, const PlainGrid& plain) {
  ASSERT_EQ(packed.RowCount(), static_cast<int>(plain.cells.size()));
  ASSERT_EQ(packed.ColCount(), plain.cols);
  for (int r = 0; r < packed.RowCount(); ++r) {
    EXPECT_EQ(packed.Row(r), plain.cells[static_cast<std::size_t>(r)]) << "row " << r;
    for (int c = 0; c < packed.ColCount(); ++c) {
      ASSERT_EQ(packed.Cell(c, r), plain.cells[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);
    }
  }
  EXPECT_EQ(packed.Cell(packed.ColCount(), 0), "");  // outside: empty, as before
  EXPECT_EQ(packed.Cell(0, packed.RowCount()), "");
}

TEST(TextGrid, PackedRowsBehaveAsPlainCellsUnderRandomEdits) {
  std::mt19937 rng(20261209);
  for (int round = 0; round < 40; ++round) {
    TextGrid packed;
    PlainGrid plain;
    for (int step = 0; step < 200; ++step) {
      const int op = static_cast<int>(rng() % 7);
      const int rows = packed.RowCount(), cols = packed.ColCount();
      if (op == 0 || rows == 0 || cols == 0) {
        const int c = 1 + static_cast<int>(rng() % 6), r = 1 + static_cast<int>(rng() % 12);
        packed.SetSize(c, r);
        plain.SetSize(c, r);
      } else if (op <= 2) {
        const int c = static_cast<int>(rng() % cols), r = static_cast<int>(rng() % rows);
        std::string text = RandomText(rng);
        plain.cells[r][c] = text;
        packed.SetCell(c, r, std::move(text));
      } else if (op == 3) {
        const int r = static_cast<int>(rng() % rows);
        std::vector<std::string> texts(rng() % (cols + 2));
        for (auto& t : texts) t = RandomText(rng);
        for (std::size_t c = 0; c < texts.size() && c < static_cast<std::size_t>(cols); ++c) plain.cells[r][c] = texts[c];
        packed.SetRow(r, texts);
      } else if (op == 4) {
        const int r = static_cast<int>(rng() % rows);
        for (auto& t : plain.cells[r]) t.clear();
        packed.ClearRow(r);
      } else if (op == 5) {
        // A permutation of the rows from `first` (the sort), the kept ones in order (the lookup),
        // or some of them in any order.
        const int first = static_cast<int>(rng() % rows);
        std::vector<int> order(static_cast<std::size_t>(rows - first));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), rng);
        const int how = static_cast<int>(rng() % 3);
        if (how > 0) order.resize(rng() % (order.size() + 1));
        if (how == 1) std::sort(order.begin(), order.end());
        std::vector<std::vector<std::string>> moved;
        for (int from : order) moved.push_back(plain.cells[static_cast<std::size_t>(first + from)]);
        std::copy(moved.begin(), moved.end(), plain.cells.begin() + first);
        packed.ReorderRows(first, order);
        if (how > 0) {  // the rows left behind are given up, as the lookup does
          const int kept = first + static_cast<int>(order.size());
          packed.SetRowCount(kept);
          plain.SetSize(cols, kept);
        }
      } else {
        packed.SetRowCount(rows + 1);
        plain.SetSize(cols, rows + 1);
      }
      ExpectSame(packed, plain);
      if (HasFatalFailure()) return;
    }
  }
}

TEST(TextGrid, RefusesCellsAndRowOrdersOutsideTheTable) {
  TextGrid t(2, 3);
  EXPECT_THROW(t.SetCell(2, 0, "x"), std::out_of_range);
  EXPECT_THROW(t.SetCell(0, 3, "x"), std::out_of_range);
  EXPECT_THROW(t.ReorderRows(1, {0, 1, 2}), std::out_of_range);
  EXPECT_THROW(t.ReorderRows(0, {0, 3, 1}), std::out_of_range);
  EXPECT_THROW(t.ReorderRows(1, {-1}), std::out_of_range);
  EXPECT_THROW(t.SetSize(-1, 2), std::out_of_range);
}

}  // namespace
}  // namespace karvelo
