// Tells the user when a probability map's decimals turn probabilities above 0 into 0.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/shell.h"

namespace karvelo {

// Counts, over a map's cells with data, those whose probability is above 0 but whose written
// text reads 0: such cells cannot be told apart, and a ROC over them loses their ranking.
class WrittenAsZero {
 public:
  WrittenAsZero(std::string file, int decimals) : file_(std::move(file)), decimals_(decimals) {}
  // One cell with data: its probability and the text written for it.
  void Add(double p, std::string_view text) {
    ++cells_;
    if (p > 0 && p < 1e-6 && ReadsZero(text)) ++lost_;
  }
  // Adds the counts of a part of the map (a block of rows made on another thread).
  void Merge(const WrittenAsZero& part) {
    cells_ += part.cells_;
    lost_ += part.lost_;
  }
  long long Cells() const { return cells_; }
  long long Lost() const { return lost_; }
  // "<n> cells of <file> (<p>%) hold probabilities below 0.000000005 and are written as
  // 0.00000000, ..." when any cell was lost.
  std::optional<std::string> Note() const;

 private:
  static bool ReadsZero(std::string_view text);
  std::string file_;
  int decimals_;
  long long cells_ = 0, lost_ = 0;
};

// Shows and logs the note, when there is one.
void ReportWrittenAsZero(const WrittenAsZero& count, Shell& shell);

}  // namespace karvelo
