// A grid's rows in file order, parsed in blocks on the run's threads.
#pragma once

#include <cstdio>
#include <memory>
#include <vector>

#include "core/datadef.h"
#include "core/gridfile.h"
#include "core/threadpool.h"

namespace karvelo {

// Gives, row after row, the ncols values that GridReader gives for the same row (ncols x ReadValue,
// then ReadLine), and throws the same error at the same row. Text is read in large pieces and cut
// at the file's line ends (LF, or CR in a file of CR line ends); the lines of a batch of rows are
// parsed on the pool's threads. A line that is not a plain row (fewer values than ncols, a value
// that does not parse, a token longer than a reader takes, a line longer than MaxLineLength, a
// row past the end of the file) hands the rest of the grid to a GridReader from that row's start,
// so every quirk and message of the plain reader stays. The caller does everything
// else (masks, counts, the gauge) on its own thread, row by row, as before.
class GridRows {
 public:
  // valueBudget bounds the memory of one batch of parsed values; textBytes the text read at once
  // (more when one line is longer). Together less than the plain reader's buffer, so that no step
  // needs more memory than it did. Small figures are for tests that cross batch and buffer
  // boundaries.
  GridRows(const TDataDef& def, ThreadPool& pool, std::size_t valueBudget = 512 << 10,
           std::size_t textBytes = 384 << 10);
  ~GridRows();
  GridRows(const GridRows&) = delete;
  GridRows& operator=(const GridRows&) = delete;

  // The next row's ncols values; valid until the next call.
  const double* Next();
  // True once a row needed the plain reader (for tests).
  bool UsedPlainReader() const { return plain_ != nullptr; }

 private:
  void LoadBatch();
  bool FillText(std::size_t keepFrom);  // drops text before keepFrom, reads more; false at the end
  const double* NextPlain();

  TDataDef def_;
  ThreadPool& pool_;
  std::size_t ncols_;
  int rowsLeft_;  // rows not yet put into a batch
  std::FILE* file_ = nullptr;
  std::vector<char> text_;
  std::size_t textEnd_ = 0;
  long long textBase_ = 0;  // file offset of text_[0]
  bool eof_ = false;
  std::size_t rowStart_ = 0;  // in text_: where the first row not yet batched starts
  std::size_t batchRows_;
  std::vector<double> values_;
  struct Line {
    std::size_t begin, end;
    bool ok;
  };
  std::vector<Line> lines_;
  std::size_t next_ = 0;
  GridReader::Place cells_;  // where the cells start, with the file's line break and announced count
  long long rowsGiven_ = 0;
  std::unique_ptr<GridReader> plain_;
  std::vector<double> row_;
};

}  // namespace karvelo
