// The note on probabilities that a map's decimals write as 0.
#include "mapping/precisionnote.h"

#include "core/numfmt.h"

namespace karvelo {

bool WrittenAsZero::ReadsZero(std::string_view text) {
  for (char c : text) {
    if (c != '0' && c != '.' && c != ' ' && c != '-') return false;
  }
  return true;
}

std::optional<std::string> WrittenAsZero::Note() const {
  if (lost_ == 0 || cells_ == 0) return std::nullopt;
  const std::string zeros(static_cast<std::size_t>(decimals_), '0');
  const double percent = 100.0 * static_cast<double>(lost_) / static_cast<double>(cells_);
  return std::to_string(lost_) + " cells of " + file_ + " (" + FormatFixed(percent, 1) + "%) hold probabilities below 0." +
         zeros + "5 and are written as 0." + zeros +
         ", so they cannot be told apart. A larger prior or fewer grids keeps them apart.";
}

void ReportWrittenAsZero(const WrittenAsZero& count, Shell& shell) {
  if (const auto note = count.Note()) {
    shell.log(*note);
    shell.message(*note, MessageKind::Information);
  }
}

}  // namespace karvelo
